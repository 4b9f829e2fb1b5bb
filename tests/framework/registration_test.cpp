// The entry points as the host drives them: phases 0, 1 and 2 on its record.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "components/modifiers.h"
#include "framework/host_calls.h"
#include "framework/registration.h"

namespace {

using EntryPoint = void(HOSTAPI*)(RegistrationRecord*);

struct Expected {
    const char* name;
    uint32_t instanceSize;
    uint32_t kind;
    std::vector<std::pair<int, int>> slots;  // (row, slot)
};

const std::vector<std::pair<int, int>> kModifierSlots = {{0, 7},  {0, 34}, {0, 8},  {0, 9},  {0, 35}, {0, 17},
                                                         {0, 19}, {0, 18}, {0, 37}, {0, 13}, {0, 14}, {0, 25}};

std::vector<std::pair<int, int>> With(std::vector<std::pair<int, int>> base, size_t at, std::pair<int, int> extra) {
    base.insert(base.begin() + at, extra);
    return base;
}

const Expected kComponents[] = {
    {"zqPrintBitmap", 160, 1, kModifierSlots},
    {"zqDisplayBitmap", 68, 1, With(kModifierSlots, 12, {1, 0})},
    {"zqDeleteFile", 54, 1, With(kModifierSlots, 5, {0, 22})},
    {"zqCaptureBitmap", 52, 1, With(kModifierSlots, 12, {1, 0})},
    {"zqBitmapVariable", 4, 5, {{0, 7}, {0, 34}, {0, 8}, {0, 9}, {0, 22}, {0, 23}}},
    {"zqScaleBitmap", 100, 1, kModifierSlots},
    {"zqSaveBitmap", 106, 1, kModifierSlots},
    {"zqImportBitmap", 106, 1, kModifierSlots},
};

// A record as the host hands it over: poisoned, with two rows of slots.
struct Record {
    RegistrationRecord r;
    SlotEntry rows[2][64];
    Record() {
        std::memset(&r, 0xA5, sizeof r);
        std::memset(rows, 0xA5, sizeof rows);
        for (auto& row : r.slotRows) row = nullptr;
        r.slotRows[0] = rows[0];
        r.slotRows[1] = rows[1];
        r.baseCount = 0;
    }
    void Call(EntryPoint entry, int16_t phase, void* services) {
        r.phase = phase;
        r.services = services;
        entry(&r);
    }
    static bool Poisoned(const SlotEntry& e) {
        SlotEntry p;
        std::memset(&p, 0xA5, sizeof p);
        return std::memcmp(&e, &p, sizeof p) == 0;
    }
};

EntryPoint Linked(const std::string& name) {
    if (name == "zqImportBitmap") return zqImportBitmap;
    if (name == "zqSaveBitmap") return zqSaveBitmap;
    if (name == "zqDisplayBitmap") return zqDisplayBitmap;
    if (name == "zqScaleBitmap") return zqScaleBitmap;
    if (name == "zqCaptureBitmap") return zqCaptureBitmap;
    if (name == "zqPrintBitmap") return zqPrintBitmap;
    if (name == "zqDeleteFile") return zqDeleteFile;
    return zqBitmapVariable;
}

// `linked`: the entry point shares this executable's services copy.
void CheckRegistration(EntryPoint entry, const Expected& c, bool linked) {
    SCOPED_TRACE(c.name);
    Record rec;
    int services[20] = {};
    rec.Call(entry, 0, services);
    char name[16] = {};
    std::memcpy(name, c.name, strnlen(c.name, sizeof name));
    EXPECT_EQ(0, std::memcmp(rec.r.componentName, name, 16));
    EXPECT_EQ(rec.r.instanceSize, c.instanceSize);
    EXPECT_EQ(rec.r.componentKind, c.kind);
    EXPECT_EQ(rec.r.baseCount, 0) << "phase 0 registers the name only";

    rec.Call(entry, 1, services);
    EXPECT_EQ(0, std::memcmp(rec.r.baseClassName, "_MComponent\0\0\0\0\0", 16));
    EXPECT_EQ(rec.r.baseCount, 1);

    rec.Call(entry, 2, services);
    std::vector<std::pair<int, int>> written;
    for (int row = 0; row < 2; ++row)
        for (int slot = 0; slot < 64; ++slot) {
            const SlotEntry& e = rec.rows[row][slot];
            if (Record::Poisoned(e)) continue;
            written.push_back({row, slot});
            EXPECT_NE(e.function, nullptr) << row << "," << slot;
            EXPECT_EQ(e.word, 1) << "flags of " << row << "," << slot;
        }
    auto expected = c.slots;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(written, expected);
    if (linked) {
        EXPECT_EQ(ServicesRecord(), services);
    }
}

TEST(Registration, LinkedEntryPointsRegisterEveryComponent) {
    for (const Expected& c : kComponents) CheckRegistration(Linked(c.name), c, true);
}

TEST(Registration, DllEntryPointsRegisterEveryComponent) {
    HMODULE dll = LoadLibraryA("zqbitmap.dll");
    ASSERT_NE(dll, nullptr);
    for (const Expected& c : kComponents) {
        auto entry = reinterpret_cast<EntryPoint>(GetProcAddress(dll, c.name));
        ASSERT_NE(entry, nullptr) << c.name;
        CheckRegistration(entry, c, false);
    }
    FreeLibrary(dll);
}

TEST(Registration, NameIsCutBeforeASpaceAndAtSixteenBytes) {
    struct Case {
        const char* name;
        const char bytes[16];
    } cases[] = {
        {"zqBitmapVariable", {'z', 'q', 'B', 'i', 't', 'm', 'a', 'p', 'V', 'a', 'r', 'i', 'a', 'b', 'l', 'e'}},
        {"zqBitmapVariableLonger", {'z', 'q', 'B', 'i', 't', 'm', 'a', 'p', 'V', 'a', 'r', 'i', 'a', 'b', 'l', 'e'}},
        {"zqDeleteFile", "zqDeleteFile"},
        {"abc def", "abc"},
        {" lead", " lead"},  // character 0 is always taken
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Record rec;
        CopyComponentName(&rec.r, c.name);
        EXPECT_EQ(0, std::memcmp(rec.r.componentName, c.bytes, 16));
        EXPECT_EQ(rec.r.unused16, 0xA5) << "byte 16 belongs to the host";
    }
}

TEST(Registration, PhaseEdgeCases) {
    int servicesA[20] = {}, servicesB[20] = {};

    // A second phase-1 call on a record that holds a base class changes nothing.
    Record rec;
    rec.Call(zqDeleteFile, 1, servicesA);
    std::memcpy(rec.r.baseClassName, "_Other\0\0\0\0\0\0\0\0\0", 16);
    rec.Call(zqDeleteFile, 1, servicesA);
    EXPECT_EQ(0, std::memcmp(rec.r.baseClassName, "_Other", 7));
    EXPECT_EQ(rec.r.baseCount, 1);

    // Phase 3 writes only the size and kind, and captures services.
    Record other;
    other.Call(zqScaleBitmap, 3, servicesB);
    EXPECT_EQ(other.r.instanceSize, 100u);
    EXPECT_EQ(other.r.componentKind, 1u);
    EXPECT_EQ(other.r.componentName[0], static_cast<char>(0xA5));
    EXPECT_EQ(other.r.baseCount, 0);
    EXPECT_TRUE(Record::Poisoned(other.rows[0][7]));
    EXPECT_EQ(ServicesRecord(), servicesB);

    // Phase 0 leaves the services copy alone.
    Record third;
    third.Call(zqSaveBitmap, 0, servicesA);
    EXPECT_EQ(ServicesRecord(), servicesB);

    // A base count already above the level keeps its class too.
    Record deeper;
    deeper.r.baseCount = 2;
    deeper.Call(zqPrintBitmap, 1, servicesA);
    EXPECT_EQ(deeper.r.baseCount, 2);
    EXPECT_EQ(deeper.r.baseClassName[0], static_cast<char>(0xA5));

    // A host that gives no row gets no entries written through it.
    Record rowless;
    rowless.r.slotRows[1] = nullptr;
    rowless.Call(zqDisplayBitmap, 2, servicesA);
    EXPECT_FALSE(Record::Poisoned(rowless.rows[0][25]));
    EXPECT_TRUE(Record::Poisoned(rowless.rows[1][0]));
}

}  // namespace
