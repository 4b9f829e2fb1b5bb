// The lifecycle when the host calls out of order or hands over nothing.
#include <gtest/gtest.h>

#include "components/modifiers.h"
#include "framework/host_value.h"
#include "framework/lifecycle.h"
#include "hostsim/testing.h"
#include "tests/support/failing_calls.h"
#include "tests/support/platform_probe.h"

namespace {

constexpr Field kFields[] = {
    {0, FieldKind::Event, "event", 301},
    {10, FieldKind::Integer, "count", 7},
    {16, FieldKind::Value, "value"},
    {58, FieldKind::Plain16, "plain", 0},
};

ModifierState state;
extern const ModifierType kProbeType;
constexpr ModifierType kProbeType{
    .name = "zqProbe", .instanceSize = 60, .fields = kFields, .state = &state, .onEvent = ActionNotBuilt};

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
    probe.ForgetGlobals();
}

TEST_F(LifecycleEdges, NoMemoryForTheDefaultsStillConstructsDefaults) {
    PlatformProbe probe;
    ForEachFailingCall(
        probe, [&] { std::memset(block, 0xCD, 16); },
        [&] { return host.CallSlot(block, 0, kSlotConstruct, block); },
        [&](const FaultRun&, int16_t r) {
            EXPECT_EQ(r, 0);
            ExpectDefaults();
            EXPECT_EQ(probe.LockedGlobals(), 0);
            if (state.defaults) {
                sys().GlobalFree(state.defaults);
                state.defaults = nullptr;
            }
            EXPECT_EQ(probe.LiveGlobals(), 0);
        });
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
