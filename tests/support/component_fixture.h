#pragma once
// The one fixture of the component tests: the named components linked into
// the host simulator, each modifier's ClassInit run first (its defaults block
// lives as long as the process, so it is made before anything is counted),
// and the platform probe around the plug-in. After every test the host is
// torn down, and nothing may be left held, left live in the host or misused.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "framework/host_value.h"
#include "hostsim/testing.h"
#include "tests/support/components.h"
#include "tests/support/platform_probe.h"

// A bitmap as the integer payload that carries it.
inline int32_t Payload(HGDIOBJ h) { return static_cast<int32_t>(reinterpret_cast<uintptr_t>(h)); }
inline HBITMAP BitmapOf(int32_t payload) {
    return reinterpret_cast<HBITMAP>(static_cast<uintptr_t>(static_cast<uint32_t>(payload)));
}

class ComponentTest : public ::testing::Test {
protected:
    explicit ComponentTest(std::initializer_list<const char*> components) : names_(components) {}

    void SetUp() override {
        std::vector<hostsim::Entry> entries;
        for (const char* name : names_) {
            const Component* c = FindComponent(name);
            ASSERT_TRUE(c) << name;
            entries.push_back({name, c->entry});
        }
        host.LoadLinked(entries);
        for (const char* name : names_)
            if (FindComponent(name)->type) host.CallTypeSlot(name, 0, kSlotClassInit);
        probe.ForgetGlobals();
    }
    void TearDown() override {
        host.Teardown();
        EXPECT_EQ(probe.LiveHandles(), 0) << "left behind once every instance is gone: " << probe.LiveDcs()
                                          << " DCs, " << probe.LiveBitmaps() << " bitmaps, " << probe.LiveGlobals()
                                          << " global blocks, " << probe.OpenFiles() << " files";
        EXPECT_EQ(host.LiveBlocks(), 0) << "host memory left live";
        for (const std::string& e : probe.Errors()) ADD_FAILURE() << "platform: " << e;
    }

    // A bitmap variable holding its own copy of `picture` (empty for null);
    // the caller still owns `picture`.
    hostsim::ObjectId NewBitmapVariable(HBITMAP picture = nullptr) {
        const hostsim::ObjectId v = host.IdOf(host.Create("zqBitmapVariable"));
        if (picture) {
            HostValue value = hostsim::Host::Integer(Payload(picture));
            EXPECT_EQ(host.SetAttributeById(v, "value", &value), 0);
        }
        return v;
    }
    // The same, deleting `picture` afterwards: for pictures made for the call.
    hostsim::ObjectId NewPictureVariable(HBITMAP picture) {
        const hostsim::ObjectId v = NewBitmapVariable(picture);
        if (picture) DeleteObject(picture);
        return v;
    }
    int32_t Attribute(hostsim::ObjectId object, const char* name) {
        HostValue v = hostsim::Host::Integer(0);
        host.GetAttributeById(object, name, &v);
        return IntegerPayload(&v);
    }
    HBITMAP Held(hostsim::ObjectId variable) { return BitmapOf(Attribute(variable, "value")); }

    PlatformProbe probe;  // outlives the host, which releases through it
    hostsim::TestHost host;

private:
    std::vector<const char*> names_;
};
