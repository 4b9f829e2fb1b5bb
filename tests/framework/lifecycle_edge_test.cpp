// The lifecycle when the host calls out of order or hands over nothing.
#include <gtest/gtest.h>

#include "components/modifiers.h"
#include "framework/host_value.h"
#include "framework/lifecycle.h"
#include "hostsim/testing.h"
#include "tests/support/platform_probe.h"

namespace {

constexpr Field kFields[] = {
    {0, FieldKind::Event, 301},
    {10, FieldKind::Integer, 7},
    {16, FieldKind::Value},
    {58, FieldKind::Plain16, 0},
};

ModifierState state;
constexpr ModifierType kProbeType{"zqProbe", 60, kFields, 4, DefaultsSize(kFields), &state,
                                  ActionNotBuilt, nullptr, nullptr, nullptr, nullptr};

void HOSTAPI ProbeEntry(RegistrationRecord* record) { Modifier<kProbeType>::Register(record); }

class LifecycleEdges : public ::testing::Test {
protected:
    void SetUp() override {
        host.Register("zqProbe", ProbeEntry);
        block = host.Create("zqProbe");
        ForgetDefaults();
    }
    void TearDown() override {
        host.Destroy(block);
        ForgetDefaults();
    }
    // As if ClassInit had never run.
    void ForgetDefaults() {
        if (state.defaults) RealPlatform().GlobalFree(state.defaults);
        state.defaults = nullptr;
    }
    void ExpectDefaults() {
        const auto event = LoadAt<EventValue>(block, 0);
        EXPECT_EQ(event.tag, kTagEvent);
        EXPECT_EQ(event.code, 301u);
        EXPECT_EQ(LoadAt<int32_t>(block, 12), 7);
        EXPECT_EQ(LoadAt<int16_t>(block, 16), kTagEmpty);
        EXPECT_EQ(LoadAt<int16_t>(block, 58), 0);
    }
    hostsim::TestHost host;
    uint8_t* block = nullptr;
};

TEST_F(LifecycleEdges, ConstructBeforeClassInitMakesTheDefaultsItself) {
    PlatformProbe probe;
    std::memset(block, 0xCD, 16);
    EXPECT_EQ(host.CallSlot(block, 0, kSlotConstruct, block), 0);
    ExpectDefaults();
    EXPECT_NE(state.defaults, nullptr);
    EXPECT_EQ(probe.LockedGlobals(), 0) << "the defaults block is unlocked before the slot returns";
    EXPECT_EQ(probe.LiveGlobals(), 1) << "made once, kept for the process";
    probe.globals_.clear();
}

TEST_F(LifecycleEdges, NoMemoryForTheDefaultsStillConstructsDefaults) {
    PlatformProbe probe;
    for (int n = 1; n <= 2; ++n) {  // the allocation, then the lock
        SCOPED_TRACE(n);
        std::memset(block, 0xCD, 16);
        {
            FailNthCall fault{probe, n};
            EXPECT_EQ(host.CallSlot(block, 0, kSlotConstruct, block), 0);
            EXPECT_TRUE(fault.Fired());
        }
        ExpectDefaults();
        if (state.defaults) {
            sys().GlobalFree(state.defaults);
            state.defaults = nullptr;
        }
    }
    EXPECT_EQ(probe.LiveGlobals(), 0);
}

TEST_F(LifecycleEdges, MissingInstanceOrMessageIsLeftAlone) {
    EXPECT_EQ(lifecycle::Construct(kProbeType, nullptr), 0);
    EXPECT_EQ(lifecycle::CopyConstruct(kProbeType, nullptr, block), 0);
    EXPECT_EQ(lifecycle::Destruct(kProbeType, nullptr), 0);
    EXPECT_EQ(host.CallSlot(block, 0, kSlotHandleMessage, block, static_cast<MessageRecord*>(nullptr)), 1);
    int16_t version = 9;
    EXPECT_EQ(lifecycle::SavedSize(kProbeType, nullptr, nullptr, &version, nullptr), 0);
    EXPECT_EQ(version, 0);
    EXPECT_EQ(lifecycle::Activate(kProbeType, nullptr), 3);
    EXPECT_EQ(lifecycle::Deactivate(kProbeType, nullptr), 0);
}

}  // namespace
