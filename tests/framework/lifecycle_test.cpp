// The modifier lifecycle of all seven modifiers, driven through the host simulator.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "components/modifiers.h"
#include "framework/host_value.h"
#include "hostsim/host.h"

namespace {

using hostsim::Handle;
using hostsim::Host;

enum class Kind { Event, Boolean, Integer, Value, Plain8, Plain16, RunState8 };

struct FieldSpec {
    size_t offset;
    Kind kind;
    int32_t initial;  // event code, compact payload, or the plain value Construct writes
};

struct ModifierCase {
    const char* name;
    uint32_t size;
    std::vector<FieldSpec> fields;
    std::vector<size_t> untouched;  // bytes no lifecycle slot writes
};

const ModifierCase kModifiers[] = {
    {"zqDeleteFile", 54, {{0, Kind::Event, 301}, {10, Kind::Value, 0}, {52, Kind::Plain16, 0}}, {}},
    {"zqPrintBitmap",
     160,
     {{0, Kind::Event, 301},
      {10, Kind::Value, 0},
      {52, Kind::Boolean, 0},
      {56, Kind::Boolean, 0},
      {60, Kind::Integer, 0},
      {66, Kind::Integer, 0},
      {72, Kind::Value, 0},
      {114, Kind::Value, 0}},
     {156, 157, 158, 159}},
    {"zqDisplayBitmap",
     68,
     {{0, Kind::Event, 301}, {10, Kind::Event, 302}, {20, Kind::Value, 0}, {62, Kind::RunState8, 0}},
     {63, 64, 65, 66, 67}},
    {"zqCaptureBitmap", 52, {{0, Kind::Event, 301}, {10, Kind::Value, 0}}, {}},
    {"zqScaleBitmap",
     100,
     {{0, Kind::Event, 301}, {10, Kind::Value, 0}, {52, Kind::Value, 0}, {94, Kind::Integer, 0}},
     {}},
    {"zqSaveBitmap",
     106,
     {{0, Kind::Event, 301}, {10, Kind::Value, 0}, {52, Kind::Boolean, 0}, {56, Kind::Boolean, 0}, {60, Kind::Value, 0}},
     {102, 103, 104, 105}},
    {"zqImportBitmap",
     106,
     {{0, Kind::Event, 301}, {10, Kind::Boolean, 0}, {14, Kind::Boolean, 0}, {18, Kind::Value, 0}, {60, Kind::Value, 0}},
     {102, 103, 104, 105}},
};

bool IsSaved(Kind k) { return k != Kind::Plain8 && k != Kind::Plain16 && k != Kind::RunState8; }
bool IsVisited(Kind k) { return k == Kind::Event || k == Kind::Value; }

class Lifecycle : public ::testing::TestWithParam<ModifierCase> {
protected:
    void SetUp() override {
        host.SetErrorHandler([](const std::string& e) { ADD_FAILURE() << "host: " << e; });
        host.LoadLinked({{"zqImportBitmap", zqImportBitmap},
                         {"zqSaveBitmap", zqSaveBitmap},
                         {"zqDisplayBitmap", zqDisplayBitmap},
                         {"zqScaleBitmap", zqScaleBitmap},
                         {"zqCaptureBitmap", zqCaptureBitmap},
                         {"zqPrintBitmap", zqPrintBitmap},
                         {"zqDeleteFile", zqDeleteFile},
                         {"zqBitmapVariable", zqBitmapVariable}});
    }
    void TearDown() override {
        host.Teardown();
        EXPECT_EQ(host.LiveBlocks(), 0);
    }

    // Gives every field a value other than its default, as an author would.
    void Configure(Handle instance, const std::string& text) {
        int n = 0;
        for (const FieldSpec& f : GetParam().fields) {
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
        for (const FieldSpec& f : GetParam().fields) {
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
        for (const FieldSpec& f : GetParam().fields) {
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
        for (size_t at : GetParam().untouched) EXPECT_EQ(instance[at], hostsim::kPoison) << "byte " << at;
    }

    Host host;
};

TEST_P(Lifecycle, RegistersItsSizeAndConstructsDefaults) {
    const auto* type = host.Type(GetParam().name);
    ASSERT_NE(type, nullptr);
    EXPECT_EQ(type->instanceSize, GetParam().size);
    Handle a = host.Create(GetParam().name);
    ExpectDefaults(a);
    host.Destroy(a);
}

TEST_P(Lifecycle, CopyConstructCopiesSettingsButNoPlainField) {
    Handle source = host.Create(GetParam().name);
    Configure(source, "copy");
    Handle copy = host.CopyConstruct(source);
    ExpectSameSettings(source, copy);
    for (const FieldSpec& f : GetParam().fields) {
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
    for (const FieldSpec& f : GetParam().fields) {
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
    for (const FieldSpec& f : GetParam().fields)
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
        for (const FieldSpec& f : GetParam().fields)
            if (f.kind == Kind::Event) expected.push_back({mode, a + f.offset});
    for (const auto& i : host.Interests(a)) seen.push_back({i.mode, i.field});
    EXPECT_EQ(seen, expected);
    host.Destroy(a);
}

TEST_P(Lifecycle, AnotherEventIsNotThisModifiers) {
    Handle a = host.Create(GetParam().name);
    const auto before = std::vector<uint8_t>(a, a + GetParam().size);
    EXPECT_EQ(host.Deliver(a, 555, 0), 1);
    EXPECT_EQ(host.Deliver(a, 301, 1), 1) << "the qualifier differs";
    EXPECT_EQ(std::vector<uint8_t>(a, a + GetParam().size), before);
    host.Destroy(a);
}

INSTANTIATE_TEST_SUITE_P(AllModifiers, Lifecycle, ::testing::ValuesIn(kModifiers),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
