// The host objects as the plug-in walks them: every service method is
// reachable by the raw-offset walk, and walks that ignore the interface
// number are caught.
#include <gtest/gtest.h>

#include <set>

#include "hostsim/testing.h"
#include "tests/hostsim/fake_plugin.h"
#include "tests/hostsim/walk.h"

using hostsim::Host;
using hostsim::TestHost;

namespace {

struct Method {
    const char* name;
    int service;  // -1: the stream object
    MethodId id;
};

constexpr Method kRowOneMethods[] = {
    {"VisitValue", kWalkService, host_method::kVisitValue},
    {"GetAttributeById", kValueService, host_method::kGetAttributeById},
    {"SetAttributeById", kValueService, host_method::kSetAttributeById},
    {"AddElementHook", kValueService, host_method::kAddElementHook},
    {"CopyValue", kValueService, host_method::kCopyValue},
    {"ReleaseValue", kValueService, host_method::kReleaseValue},
    {"ResolveReference", kValueService, host_method::kResolveReference},
    {"RemoveElementHook", kValueService, host_method::kRemoveElementHook},
    {"Allocate", kMemoryService, host_method::kAllocate},
    {"Free", kMemoryService, host_method::kFree},
    {"ConvertValue", kConversionService, host_method::kConvertValue},
};

TEST(HostLayout, ServicesRecordHoldsTwentyDistinctHandles) {
    TestHost host;
    std::set<uint32_t> handles;
    for (int n = 0; n < kServiceCount; ++n) {
        const uint32_t h = walk::W(reinterpret_cast<uintptr_t>(host.ServicesRecord()) + 4 * n);
        EXPECT_NE(h, 0u) << "service " << n;
        handles.insert(h);
    }
    EXPECT_EQ(handles.size(), static_cast<size_t>(kServiceCount));
}

// Row-1 methods sit on interface 1, whose `this` is not the handle: a walk
// that ignores the interface number must not reach them.
TEST(HostLayout, RowOneMethodsLiveOnASecondInterface) {
    TestHost host;
    for (const Method& m : kRowOneMethods) {
        SCOPED_TRACE(m.name);
        const walk::Target t = walk::Find(host.ServiceHandle(m.service), m.id.row, m.id.column);
        EXPECT_EQ(t.iface, 1);
        EXPECT_NE(t.self, reinterpret_cast<uintptr_t>(host.ServiceHandle(m.service)));
        EXPECT_NE(t.function, 0u);
    }
}

TEST(HostLayout, WalksThatIgnoreTheInterfaceNumberAreRefused) {
    for (const Method& m : kRowOneMethods) {
        SCOPED_TRACE(m.name);
        Host host;
        void* h = host.ServiceHandle(m.service);
        uint32_t args[4] = {};
        EXPECT_EQ(walk::NaiveCall(h, m.id.row, m.id.column, args, args + 1, args + 2, args + 3), hostsim::kBadCall);
        EXPECT_EQ(walk::ClassTableCall(h, m.id.row, m.id.column, args, args + 1, args + 2, args + 3),
                  hostsim::kBadCall);
        EXPECT_EQ(host.Errors().size(), 2u);
        EXPECT_TRUE(hostsim::HasError(host, "row 1 column " + std::to_string(m.id.column)));
    }
}

TEST(HostLayout, MemoryServiceWorksThroughTheWalk) {
    TestHost host;
    void* mem = host.ServiceHandle(kMemoryService);
    void* block = nullptr;
    ASSERT_EQ(walk::Call(mem, 1, 14, &block, 100u), 0);
    ASSERT_NE(block, nullptr);
    std::memset(block, 'x', 100);
    EXPECT_EQ(host.LiveBlocks(hostsim::Side::Plugin), 1);
    EXPECT_EQ(walk::Call(mem, 1, 16, block), 0);
    EXPECT_EQ(host.LiveBlocks(), 0);
}

TEST(HostLayout, ServicesWithoutMethodsReportCalls) {
    Host host;
    EXPECT_EQ(walk::Call(host.ServiceHandle(0), 1, 4, 0u), hostsim::kBadCall);
    EXPECT_EQ(walk::Call(host.ServiceHandle(kMemoryService), 1, 15, 0u), hostsim::kBadCall);
    EXPECT_EQ(host.Errors().size(), 2u);
    EXPECT_TRUE(hostsim::HasError(host, "row 1 column 15"));
}

// An instance is its own handle; row 0 has its registered slots and the
// host's component methods, with `this` = the instance block.
TEST(HostLayout, InstanceRowZeroMixesSlotsAndHostMethods) {
    TestHost host;
    host.LoadLinked(fake::Entries());
    const hostsim::ObjectId element = host.NewElement({{0, 0, 8, 8}, 16, 16, false});
    hostsim::Handle inst = host.Create("fkModifier", element);
    ASSERT_NE(inst, nullptr);

    const walk::Target own = walk::Find(inst, 0, kSlotConstruct);
    EXPECT_EQ(own.self, reinterpret_cast<uintptr_t>(inst));
    EXPECT_EQ(own.function, reinterpret_cast<uintptr_t>(host.Type("fkModifier")->Slot(0, kSlotConstruct)));

    uint32_t parent = 0;
    EXPECT_EQ(walk::Call(inst, 0, 32, &parent), 0);
    EXPECT_EQ(parent, element);
    // A modifier that registered no GetAttribute does not serve one.
    HostValue v = Host::Integer(5);
    char name[16] = "value";
    EXPECT_EQ(walk::Call(inst, 0, 22, static_cast<const char*>(name), 0u, &v), hostsim::kNotFound);
    EXPECT_EQ(v.tag, kTagInteger);
}

TEST(HostLayout, FreshInstanceBlocksArePoisoned) {
    TestHost host;
    host.LoadLinked(fake::Entries());
    hostsim::Handle inst = host.Create("fkModifier");
    // CopyConstruct leaves `plain` alone, so the host's poison must show there.
    hostsim::Handle copy = host.CopyConstruct(inst);
    int32_t plain;
    std::memcpy(&plain, copy + offsetof(fake::Modifier, plain), 4);
    EXPECT_EQ(static_cast<uint32_t>(plain), 0xCDCDCDCDu);
}

}  // namespace

namespace {

// A test may keep two hosts alive; each object's methods act on its own host.
TEST(HostLayout, TwoLiveHostsKeepTheirOwnState) {
    TestHost older;
    TestHost newer;
    void* block = nullptr;
    ASSERT_EQ(walk::Call(older.ServiceHandle(kMemoryService), 1, 14, &block, 8u), 0);
    EXPECT_EQ(older.LiveBlocks(), 1);
    EXPECT_EQ(newer.LiveBlocks(), 0);
    EXPECT_EQ(walk::Call(older.ServiceHandle(kMemoryService), 1, 16, block), 0);
    EXPECT_EQ(older.LiveBlocks(), 0);
}

}  // namespace

namespace {

TEST(HostLayout, WritesOutsideAnInstanceBlockAreCaught) {
    const struct {
        uint32_t event;
        const char* error;
    } kCases[] = {
        {fake::kOverrunEvent, "past the end of its 66-byte instance block"},
        {fake::kUnderrunEvent, "header in front of its instance block"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.error);
        Host host;
        host.LoadLinked(fake::Entries());
        hostsim::Handle inst = host.Create("fkModifier");
        host.Deliver(inst, c.event, 0);
        EXPECT_TRUE(hostsim::HasError(host, c.error));
        host.ClearErrors();
        host.Deliver(inst, fake::kEvent, 0);  // repaired: the next call is clean
        EXPECT_TRUE(host.Errors().empty());
    }
}

}  // namespace
