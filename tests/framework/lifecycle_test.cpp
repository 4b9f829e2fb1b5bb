// The modifier lifecycle of all seven modifiers, driven through the host simulator.
#include <gtest/gtest.h>

#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "components/modifiers.h"
#include "framework/host_value.h"
#include "hostsim/host.h"
#include "tests/support/components.h"
#include "tests/support/golden.h"

namespace {

using hostsim::Handle;
using hostsim::Host;

// The seven modifiers, each with its own field table: the lifecycle must do
// what the table says; the golden images pin the tables themselves.
using Kind = FieldKind;

class Lifecycle : public ::testing::TestWithParam<Component> {
protected:
    void SetUp() override {
        host.SetErrorHandler([](const std::string& e) { ADD_FAILURE() << "host: " << e; });
        for (const Component& c : kComponents) host.Register(c.name, c.entry);
    }
    void TearDown() override {
        host.Teardown();
        EXPECT_EQ(host.LiveBlocks(), 0);
    }

    // Gives every field a value other than its default, as an author would.
    void Configure(Handle instance, const std::string& text) {
        int n = 0;
        for (const Field& f : Fields()) {
            ++n;
            switch (f.kind) {
                case Kind::Event: StoreAt(instance, f.offset, EventValue{kTagEvent, 900u + n, 7u}); break;
                case Kind::Boolean: StoreAt(instance, f.offset, BooleanValue{kTagBoolean, 1}); break;
                case Kind::Integer: StoreAt(instance, f.offset, IntegerValue{kTagInteger, 40 + n}); break;
                case Kind::Value: host.SetField(instance, f.offset, host.String(text + std::to_string(n))); break;
                case Kind::Plain8:
                case Kind::RunState8: StoreAt<int8_t>(instance, f.offset, 5); break;
                case Kind::Plain16: StoreAt<int16_t>(instance, f.offset, 6); break;
            }
        }
    }

    // Saved fields of two instances hold equal values; strings in their own blocks.
    void ExpectSameSettings(Handle a, Handle b) {
        for (const Field& f : Fields()) {
            SCOPED_TRACE(f.offset);
            if (f.kind == Kind::Value) {
                const auto va = LoadAt<HostValue>(a, f.offset), vb = LoadAt<HostValue>(b, f.offset);
                EXPECT_EQ(va.tag, vb.tag);
                EXPECT_EQ(Host::Text(va), Host::Text(vb));
                if (va.tag == kTagString) {
                    EXPECT_NE(LoadAt<char*>(a, f.offset + 14), LoadAt<char*>(b, f.offset + 14));
                }
            } else if (IsSaved(f.kind)) {
                const size_t n = f.kind == Kind::Event ? 10 : f.kind == Kind::Integer ? 6 : 4;
                EXPECT_EQ(0, std::memcmp(a + f.offset, b + f.offset, n));
            }
        }
    }

    void ExpectDefaults(Handle instance) {
        for (const Field& f : Fields()) {
            SCOPED_TRACE(f.offset);
            switch (f.kind) {
                case Kind::Event: {
                    const auto e = LoadAt<EventValue>(instance, f.offset);
                    EXPECT_EQ(e.tag, kTagEvent);
                    EXPECT_EQ(e.code, static_cast<uint32_t>(f.initial));
                    EXPECT_EQ(e.qualifier, 0u);
                    break;
                }
                case Kind::Boolean:
                    EXPECT_EQ(LoadAt<int16_t>(instance, f.offset), kTagBoolean);
                    EXPECT_EQ(LoadAt<int16_t>(instance, f.offset + 2), f.initial);
                    break;
                case Kind::Integer:
                    EXPECT_EQ(LoadAt<int16_t>(instance, f.offset), kTagInteger);
                    EXPECT_EQ(LoadAt<int32_t>(instance, f.offset + 2), f.initial);
                    break;
                case Kind::Value: EXPECT_EQ(LoadAt<int16_t>(instance, f.offset), kTagEmpty); break;
                case Kind::Plain8:
                case Kind::RunState8: EXPECT_EQ(LoadAt<int8_t>(instance, f.offset), f.initial); break;
                case Kind::Plain16: EXPECT_EQ(LoadAt<int16_t>(instance, f.offset), f.initial); break;
            }
        }
    }

    std::span<const Field> Fields() const { return GetParam().type->fields; }
    uint32_t Size() const { return GetParam().type->instanceSize; }

    Host host;
};

TEST_P(Lifecycle, RegistersItsSizeAndConstructsDefaults) {
    const auto* type = host.Type(GetParam().name);
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(type->instanceSize, Size());
    Handle a = host.Create(GetParam().name);
    ExpectDefaults(a);
    // The whole block, bytes no slot may write included.
    ExpectGolden(std::string(GetParam().name) + ".defaults", HexImage(a, Size()));
    host.Destroy(a);
}

// The bytes saved with every setting changed: what stored projects hold.
TEST_P(Lifecycle, SavesTheBytesStoredProjectsHold) {
    Handle a = host.Create(GetParam().name);
    Configure(a, "saved");
    const std::vector<uint8_t> bytes = host.Save(a);
    ExpectGolden(std::string(GetParam().name) + ".saved", HexImage(bytes.data(), bytes.size()));
    host.Destroy(a);
}

TEST_P(Lifecycle, CopyConstructCopiesSettingsButNoPlainField) {
    Handle source = host.Create(GetParam().name);
    Configure(source, "copy");
    Handle copy = host.CopyConstruct(source);
    ExpectSameSettings(source, copy);
    for (const Field& f : Fields()) {
        if (f.kind == Kind::RunState8) {
            EXPECT_EQ(copy[f.offset], f.initial) << "run-time state at " << f.offset;
        } else if (!IsSaved(f.kind)) {
            EXPECT_EQ(copy[f.offset], hostsim::kPoison) << "plain field at " << f.offset;
        }
    }
    host.Destroy(source);
    host.Destroy(copy);
}

TEST_P(Lifecycle, AssignResetsThenCopies) {
    Handle source = host.Create(GetParam().name);
    Configure(source, "src");
    Handle destination = host.Create(GetParam().name);
    Configure(destination, "old");  // plain fields now hold non-defaults too
    EXPECT_EQ(host.Assign(destination, source), 0);
    ExpectSameSettings(source, destination);
    for (const Field& f : Fields()) {
        const int32_t plain = f.kind == Kind::Plain8    ? LoadAt<int8_t>(destination, f.offset)
                              : f.kind == Kind::Plain16 ? LoadAt<int16_t>(destination, f.offset)
                                                        : f.initial;
        EXPECT_EQ(plain, f.initial) << f.offset;
    }

    // Assigning an instance to itself keeps its settings.
    Handle before = host.CopyConstruct(source);
    EXPECT_EQ(host.Assign(source, source), 0);
    ExpectSameSettings(before, source);
    for (Handle h : {source, destination, before}) host.Destroy(h);
}

TEST_P(Lifecycle, SaveThenLoadRoundTripsEverySavedField) {
    Handle source = host.Create(GetParam().name);
    Configure(source, std::string(300, 'n'));
    int16_t version = 0x7FFF;
    const uint32_t size = host.SavedSize(source, &version);
    EXPECT_EQ(version, 0);
    const std::vector<uint8_t> bytes = host.Save(source);
    EXPECT_EQ(bytes.size(), size);

    Handle loaded = host.Create(GetParam().name);
    EXPECT_EQ(host.Load(loaded, bytes, 0), 0);
    ExpectSameSettings(source, loaded);

    Handle refused = host.Create(GetParam().name);
    EXPECT_EQ(host.Load(refused, bytes, 1), 1);
    ExpectDefaults(refused);
    for (Handle h : {source, loaded, refused}) host.Destroy(h);
}

TEST_P(Lifecycle, EnumeratesEventsAndValuesInOffsetOrder) {
    Handle a = host.Create(GetParam().name);
    std::vector<void*> expected;
    for (const Field& f : Fields())
        if (IsVisited(f.kind)) expected.push_back(a + f.offset);
    EXPECT_EQ(host.EnumerateValues(a), expected);
    host.Destroy(a);
}

TEST_P(Lifecycle, ActivateAndDeactivateAskForEveryEvent) {
    Handle a = host.Create(GetParam().name);
    EXPECT_EQ(host.Activate(a), 3);
    EXPECT_EQ(host.Deactivate(a), 0);
    std::vector<std::pair<int16_t, void*>> expected, seen;
    for (int16_t mode : {kInterestOn, kInterestOff})
        for (const Field& f : Fields())
            if (f.kind == Kind::Event) expected.push_back({mode, a + f.offset});
    for (const auto& i : host.Interests(a)) seen.push_back({i.mode, i.field});
    EXPECT_EQ(seen, expected);
    host.Destroy(a);
}

TEST_P(Lifecycle, AnotherEventIsNotThisModifiers) {
    Handle a = host.Create(GetParam().name);
    const auto before = std::vector<uint8_t>(a, a + Size());
    EXPECT_EQ(host.Deliver(a, 555, 0), 1);
    EXPECT_EQ(host.Deliver(a, 301, 1), 1) << "the qualifier differs";
    EXPECT_EQ(std::vector<uint8_t>(a, a + Size()), before);
    host.Destroy(a);
}

INSTANTIATE_TEST_SUITE_P(AllModifiers, Lifecycle, ::testing::ValuesIn(Modifiers()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
