// HostCall finds a method through the host's object layout, interface offsets included.
#include <gtest/gtest.h>

#include <cstring>

#include "framework/host_calls.h"

namespace {

struct Seen {
    void* self = nullptr;
    uint32_t a = 0, b = 0;
    int calls = 0;
} seen;

int16_t HOSTAPI Wrong(void*, uint32_t, uint32_t) { return 99; }
int16_t HOSTAPI Right(void* self, uint32_t a, uint32_t b) {
    seen = {self, a, b, seen.calls + 1};
    return 7;
}

// One object with two interfaces; the method sits on interface 1.
struct FakeObject {
    alignas(4) uint8_t memory[128] = {};
    SlotEntry classRow[4] = {};
    SlotEntry ownRow[4] = {};
    SlotEntry* classRows[2] = {nullptr, classRow};
    SlotEntry* ownRows[2] = {nullptr, ownRow};
    int32_t offsets[2] = {28, 60};
    Descriptor classDescriptor{classRows, offsets};
    Descriptor ownDescriptor{ownRows, offsets};

    uint8_t* Base() { return memory; }
    void* Handle() { return memory + 100; }

    FakeObject() {
        auto put = [&](size_t at, const void* p) { std::memcpy(memory + at, &p, 4); };
        put(100 - 8, Base());                   // handle - 8: the base block
        put(20, memory + 28);                   // B + 20: the primary interface
        put(28 - 4, &classDescriptor);          // P - 4: the class descriptor
        put(60 - 4, &ownDescriptor);            // interface 1 - 4: its own descriptor
        classRow[3] = {reinterpret_cast<void*>(&Wrong), 1};
        ownRow[3] = {reinterpret_cast<void*>(&Right), 0};
    }
};

TEST(HostCall, WalksToTheInterfaceTheClassDescriptorNames) {
    FakeObject object;
    seen = {};
    EXPECT_EQ(HostCall(object.Handle(), MethodId{1, 3}, 11u, 22u), 7);
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.self, object.Base() + 60);
    EXPECT_EQ(seen.a, 11u);
    EXPECT_EQ(seen.b, 22u);
}

TEST(HostCall, MissingObjectIsNotCalled) {
    seen = {};
    EXPECT_EQ(HostCall(nullptr, MethodId{1, 3}, 1u, 2u), kNoHostObject);
    EXPECT_EQ(seen.calls, 0);
}

TEST(HostCall, NoServicesRecordMeansNoServices) {
    void* saved = ServicesRecord();
    SetServicesRecord(nullptr);
    EXPECT_EQ(Service(kValueService), nullptr);
    void* block = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(Allocate(&block, 10), kNoHostObject);
    EXPECT_EQ(block, reinterpret_cast<void*>(0x1234));
    SetServicesRecord(saved);
}

}  // namespace
