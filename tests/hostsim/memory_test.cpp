// The memory tracker and the ownership of string blocks: every misuse the
// plug-in could make of a block must surface as a host error.
#include <gtest/gtest.h>

#include <functional>

#include "hostsim/testing.h"
#include "tests/hostsim/fake_plugin.h"
#include "tests/hostsim/walk.h"

using hostsim::Handle;
using hostsim::Host;
using hostsim::TestHost;

namespace {

void* Allocate(Host& host, uint32_t size) {
    void* block = nullptr;
    walk::Call(host.ServiceHandle(kMemoryService), 1, 14, &block, size);
    return block;
}
void Free(Host& host, void* block) { walk::Call(host.ServiceHandle(kMemoryService), 1, 16, block); }
char* TextOf(const HostValue& v) { return reinterpret_cast<char*>(walk::W(reinterpret_cast<uintptr_t>(&v) + 14)); }
int32_t OwnerOf(const HostValue& v) { return static_cast<int32_t>(walk::W(reinterpret_cast<uintptr_t>(&v) + 2)); }

struct Misuse {
    const char* name;
    std::function<void(Host&)> act;
    const char* error;
};

TEST(HostMemory, CatchesEveryMisuseOfABlock) {
    const Misuse kCases[] = {
        {"double free",
         [](Host& h) {
             void* b = Allocate(h, 8);
             Free(h, b);
             Free(h, b);
         },
         "freed twice"},
        {"plug-in frees a block the host lent",
         [](Host& h) {
             HostValue s = h.String("lent");
             Free(h, TextOf(s));
         },
         "freed a block the host owns"},
        {"block never freed", [](Host& h) { Allocate(h, 8); }, "never freed"},
        {"free of an address the host never gave",
         [](Host& h) {
             static char local[8];
             Free(h, local);
         },
         "never given out"},
        {"write past the end",
         [](Host& h) {
             auto* b = static_cast<char*>(Allocate(h, 4));
             std::memcpy(b, "abcde", 5);
             Free(h, b);
         },
         "past the end"},
        {"copied value never released",
         [](Host& h) {
             HostValue src = h.String("copied"), dst{};
             walk::Call(h.ServiceHandle(kValueService), 1, 25, &dst, &src);
         },
         "never released"},
        {"field byte-copied from a plug-in string",
         [](Host& h) {
             h.LoadLinked(fake::Entries());
             Handle inst = h.Create("fkModifier");
             auto* text = static_cast<char*>(Allocate(h, 4));
             StringValue v{kTagString, kNoOwner, 4, 3, text};
             std::memcpy(inst + offsetof(fake::Modifier, source), &v, sizeof v);
             h.Destroy(inst);  // Destruct releases what the field seems to own
         },
         "block the plug-in owns"},
    };
    for (const Misuse& c : kCases) {
        SCOPED_TRACE(c.name);
        Host host;
        c.act(host);
        host.Teardown();
        EXPECT_TRUE(hostsim::HasError(host, c.error)) << (host.Errors().empty() ? "no error" : host.Errors()[0]);
    }
}

TEST(HostMemory, AllocationFailureLeavesThePointerNull) {
    TestHost host;
    host.FailNextAllocations(1);
    void* block = nullptr;
    EXPECT_NE(walk::Call(host.ServiceHandle(kMemoryService), 1, 14, &block, 16u), 0);
    EXPECT_EQ(block, nullptr);
    block = Allocate(host, 16);
    EXPECT_NE(block, nullptr);
    Free(host, block);
}

// Both branches of the owner rule, and the caller-as-owner form: the
// plug-in frees its block exactly when the owner is -1 or itself.
TEST(HostOwnerRule, EachModeLeavesTheRightSideToFree) {
    struct Case {
        hostsim::StoredStrings mode;
        const char* name;
    } const kCases[] = {
        {hostsim::StoredStrings::Copy, "copy"},
        {hostsim::StoredStrings::Keep, "keep"},
        {hostsim::StoredStrings::OwnerIsCaller, "owner is caller"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        TestHost host;
        host.LoadLinked(fake::Entries());
        host.SetStoredStrings(c.mode);
        const hostsim::ObjectId var = host.NewStringVariable("old");
        Handle inst = host.Create("fkModifier");
        const HostValue id = Host::Integer(static_cast<int32_t>(var));
        for (int round = 0; round < 2; ++round) {  // the second store replaces the first
            EXPECT_EQ(host.Deliver(inst, fake::kStoreEvent, 0, &id), 0);
            const int32_t owner = fake::Seen().storedOwner;
            const int32_t self = static_cast<int32_t>(reinterpret_cast<uintptr_t>(inst));
            switch (c.mode) {
                case hostsim::StoredStrings::Copy: EXPECT_EQ(owner, kNoOwner); break;
                case hostsim::StoredStrings::Keep:
                    EXPECT_NE(owner, kNoOwner);
                    EXPECT_NE(owner, self);
                    break;
                case hostsim::StoredStrings::OwnerIsCaller: EXPECT_EQ(owner, self); break;
            }
            EXPECT_EQ(Host::Text(host.VariableValue(var)), "stored");
            EXPECT_EQ(host.LiveBlocks(hostsim::Side::Plugin), 0);
        }
    }
}

TEST(HostOwnerRule, FreeingAgainstTheRuleIsCaught) {
    struct Case {
        bool keep;
        fake::FreePolicy policy;
        const char* error;
    } const kCases[] = {
        {true, fake::FreePolicy::Always, "freed a block the host owns"},
        {false, fake::FreePolicy::Never, "never freed"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.error);
        Host host;
        host.LoadLinked(fake::Entries());
        host.SetKeepStoredStrings(c.keep);
        fake::Seen().storePolicy = c.policy;
        const HostValue id = Host::Integer(static_cast<int32_t>(host.NewStringVariable("")));
        host.Deliver(host.Create("fkModifier"), fake::kStoreEvent, 0, &id);
        host.Teardown();
        EXPECT_TRUE(hostsim::HasError(host, c.error));
    }
}

TEST(HostValues, CopyValueGivesAnIndependentString) {
    TestHost host;
    host.LoadLinked(fake::Entries());
    Handle inst = host.Create("fkModifier");
    HostValue src = host.String("twelve chars");
    auto* field = reinterpret_cast<HostValue*>(inst + offsetof(fake::Modifier, source));
    field->tag = kTagEmpty;
    ASSERT_EQ(walk::Call(host.ServiceHandle(kValueService), 1, 25, field, &src), 0);
    EXPECT_NE(TextOf(*field), TextOf(src));
    EXPECT_EQ(Host::Text(*field), "twelve chars");
    EXPECT_NE(OwnerOf(*field), kNoOwner);
    TextOf(src)[0] = 'X';
    EXPECT_EQ(Host::Text(*field), "twelve chars");
}

// Construct and friends pass a pointer to the field, Destruct the field.
TEST(HostValues, ReleaseValueTakesBothForms) {
    for (const bool direct : {true, false}) {
        SCOPED_TRACE(direct ? "field address" : "address of a pointer to the field");
        TestHost host;
        host.LoadLinked(fake::Entries());
        Handle inst = host.Create("fkModifier");
        host.SetField(inst, offsetof(fake::Modifier, source), host.String("owned"));
        auto* field = reinterpret_cast<HostValue*>(inst + offsetof(fake::Modifier, source));
        char* text = TextOf(*field);
        ASSERT_TRUE(host.IsLiveBlock(text));
        if (direct) walk::Call(host.ServiceHandle(kValueService), 1, 26, inst, field);
        else walk::Call(host.ServiceHandle(kValueService), 1, 26, inst, &field);
        EXPECT_FALSE(host.IsLiveBlock(text));
        EXPECT_EQ(field->tag, kTagString);  // the plug-in clears the tag itself
        field->tag = kTagEmpty;
    }
}

TEST(HostValues, ReleaseValueRefusesAPointerOutsideTheInstance) {
    Host host;
    host.LoadLinked(fake::Entries());
    Handle inst = host.Create("fkModifier");
    HostValue elsewhere = Host::Integer(1);
    HostValue* p = &elsewhere;
    EXPECT_NE(walk::Call(host.ServiceHandle(kValueService), 1, 26, inst, &p), 0);
    EXPECT_TRUE(hostsim::HasError(host, "ReleaseValue"));
}

}  // namespace
