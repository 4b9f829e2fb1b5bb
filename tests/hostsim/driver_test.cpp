// The registration driver, the instance lifecycle as the host drives it,
// messages, variables and references.
#include <gtest/gtest.h>

#include <fstream>

#include "hostsim/testing.h"
#include "tests/hostsim/fake_plugin.h"
#include "tests/hostsim/walk.h"

using hostsim::Handle;
using hostsim::Host;
using hostsim::ObjectId;
using hostsim::TestHost;
using hostsim::EntryPoint;

namespace {

void HOSTAPI SixteenCharacterName(RegistrationRecord* r) {
    r->instanceSize = 8;
    r->componentKind = kKindModifier;
    if (r->phase == 0) std::memcpy(r->componentName, "abcdefghijklmnop", 16);
}

void HOSTAPI WritesTheServicesField(RegistrationRecord* r) {
    r->instanceSize = 8;
    r->componentKind = kKindModifier;
    if (r->phase == 1) r->services = nullptr;
}

TEST(HostDriver, CataloguesWhatEachPhaseWrote) {
    TestHost host;
    host.LoadLinked(fake::Entries());
    ASSERT_EQ(host.Catalogue().size(), 2u);
    const hostsim::ComponentType* m = host.Type("fkModifier");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->entryName, "fkModifier");
    EXPECT_EQ(m->baseClassName, "_MComponent");
    EXPECT_EQ(m->baseCount, 1);
    EXPECT_EQ(m->instanceSize, 66u);
    EXPECT_EQ(m->componentKind, kKindModifier);
    ASSERT_EQ(m->phases.size(), 3u);
    EXPECT_TRUE(m->phases[0].changed.empty());
    EXPECT_TRUE(m->phases[1].changed.empty());
    EXPECT_EQ(m->phases[2].changed.size(), 13u);

    std::vector<std::pair<int, int>> slots;
    for (const hostsim::SlotWrite& w : m->slots) {
        slots.emplace_back(w.row, w.slot);
        EXPECT_EQ(w.flags, 1);
    }
    const std::vector<std::pair<int, int>> expected = {{0, 7},  {0, 8},  {0, 9},  {0, 13}, {0, 14},
                                                       {0, 17}, {0, 18}, {0, 19}, {0, 25}, {0, 34},
                                                       {0, 35}, {0, 37}, {1, 0}};
    EXPECT_EQ(slots, expected);
    // Entries nobody wrote keep the host's poison.
    EXPECT_EQ(reinterpret_cast<uintptr_t>(m->rawRows[0][0].function), 0xCDCDCDCDu);
    EXPECT_EQ(m->rawRows[1][0].function, m->Slot(1, 0));

    const hostsim::ComponentType* v = host.Type("fkVariable");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->componentKind, kKindVariable);
    EXPECT_EQ(v->instanceSize, 4u);
}

TEST(HostDriver, NameOfSixteenCharactersNeedsNoTerminator) {
    TestHost host;
    host.Register("sixteen", SixteenCharacterName);
    const hostsim::ComponentType& t = host.Catalogue().at(0);
    EXPECT_EQ(t.name, "abcdefghijklmnop");
    EXPECT_EQ(std::string(t.rawName.data(), 16), "abcdefghijklmnop");
    EXPECT_EQ(t.baseCount, 0);
}

void HOSTAPI CopiesNameWithTerminator(RegistrationRecord* r) {
    r->instanceSize = 4;
    r->componentKind = kKindVariable;
    if (r->phase == 0) std::memcpy(r->componentName, "zqBitmapVariable", 17);
}

TEST(HostDriver, WritingTheHostsBytesIsReported) {
    const struct {
        const char* name;
        EntryPoint fn;
        const char* error;
    } kCases[] = {
        {"services field", WritesTheServicesField, "fields of the registration record that are the host's"},
        {"terminator after a 16-character name", CopiesNameWithTerminator, "between the fields"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        Host host;
        host.Register(c.name, c.fn);
        EXPECT_TRUE(hostsim::HasError(host, c.error));
    }
}

TEST(HostDriver, ClassInitRunsOnceBeforeTheFirstConstruct) {
    TestHost host;
    host.LoadLinked(fake::Entries());
    Handle a = host.Create("fkModifier");
    host.Create("fkModifier");
    host.CopyConstruct(a);
    EXPECT_EQ(fake::Seen().classInits, 1);
    EXPECT_EQ(reinterpret_cast<fake::Modifier*>(a)->event.code, fake::kEvent);  // from the defaults
}

TEST(HostDriver, MessageRecordCarriesCodeQualifierAndValue) {
    TestHost host;
    host.LoadLinked(fake::Entries());
    Handle inst = host.Create("fkModifier");
    const HostValue carried = Host::Point(3, -4);
    EXPECT_EQ(host.Deliver(inst, fake::kEvent, 0, &carried), 0);
    EXPECT_EQ(host.Deliver(inst, fake::kEvent, 1), 1);
    const uint8_t* m = fake::Seen().message;
    EXPECT_EQ(walk::W(reinterpret_cast<uintptr_t>(m) + 12), fake::kEvent);
    EXPECT_EQ(walk::W(reinterpret_cast<uintptr_t>(m) + 16), 1u);
    EXPECT_EQ(m[38], 0);  // no value carried: empty
    for (int i : {0, 11, 20, 37}) EXPECT_EQ(m[i], hostsim::kPoison) << i;
    host.Deliver(inst, fake::kEvent, 0, &carried);
    EXPECT_EQ(std::memcmp(fake::Seen().message + 38, &carried, sizeof carried), 0);
}

TEST(HostDriver, ActivateEnumerateAndCopies) {
    TestHost host;
    host.LoadLinked(fake::Entries());
    Handle a = host.Create("fkModifier");
    EXPECT_EQ(host.Activate(a), 3);
    EXPECT_EQ(host.Deactivate(a), 0);
    ASSERT_EQ(host.Interests(a).size(), 2u);
    EXPECT_EQ(host.Interests(a)[0].mode, kInterestOn);
    EXPECT_EQ(host.Interests(a)[1].mode, kInterestOff);
    EXPECT_EQ(host.Interests(a)[1].field, a);
    EXPECT_EQ(host.EnumerateValues(a), (std::vector<void*>{a, a + 20}));

    host.SetField(a, offsetof(fake::Modifier, source), host.String("shared?"));
    Handle b = host.CopyConstruct(a);
    Handle c = host.Create("fkModifier");
    EXPECT_EQ(host.Assign(c, a), 0);
    for (Handle copy : {b, c}) {
        const auto* field = reinterpret_cast<HostValue*>(copy + 20);
        EXPECT_EQ(Host::Text(*field), "shared?");
        EXPECT_NE(walk::W(reinterpret_cast<uintptr_t>(field) + 14), walk::W(reinterpret_cast<uintptr_t>(a) + 34));
    }
    host.Destroy(a);
    EXPECT_EQ(Host::Text(*reinterpret_cast<HostValue*>(b + 20)), "shared?");
}

// Host variables of each kind: resolved by either reference kind, read in
// their own type or as text, written through row 0 column 23.
TEST(HostVariables, ResolveAndReadEachKind) {
    TestHost host;
    const struct {
        const char* name;
        ObjectId id;
        int16_t tag;
        const char* text;
    } kCases[] = {
        {"string", host.NewStringVariable("abc"), kTagString, "abc"},
        {"integer", host.NewIntegerVariable(-12), kTagInteger, "-12"},
        {"float", host.NewFloatVariable(2.5), kTagFloat, "2.5"},
        {"point", host.NewPointVariable(3, 4), kTagPoint, "3,4"},
    };
    void* values = host.ServiceHandle(kValueService);
    char name[16] = "Value";
    for (const auto& c : kCases) {
        for (const HostValue& ref : {Host::Reference(c.id), Host::LongReference(c.id)}) {
            SCOPED_TRACE(std::string(c.name) + (ref.tag == kTagReference ? " by reference" : " by long reference"));
            Handle var = nullptr;
            ASSERT_EQ(walk::Call(values, 1, 28, &ref, static_cast<Handle>(nullptr), &var), 0);
            ASSERT_EQ(var, host.HandleOf(c.id));
            HostValue v{};
            v.tag = kTagAny;
            EXPECT_EQ(walk::Call(var, 0, 22, static_cast<const char*>(name), 0u, &v), 0);
            EXPECT_EQ(v.tag, c.tag);
            v.tag = kTagString;
            EXPECT_EQ(walk::Call(var, 0, 22, static_cast<const char*>(name), 0u, &v), 0);
            EXPECT_EQ(Host::Text(v), c.text);
        }
    }
    HostValue seven = Host::Integer(7);
    Handle intVar = host.HandleOf(kCases[1].id);
    EXPECT_EQ(walk::Call(intVar, 0, 23, static_cast<const char*>(name), 0u, &seven), 0);
    EXPECT_EQ(walk::W(reinterpret_cast<uintptr_t>(&host.VariableValue(kCases[1].id)) + 2), 7u);
}

TEST(HostVariables, UnresolvableVariableIsStillReadableById) {
    TestHost host;
    const ObjectId id = host.NewStringVariable("by id");
    host.SetUnresolvable(id);
    void* values = host.ServiceHandle(kValueService);
    const HostValue ref = Host::Reference(id);
    Handle var = nullptr;
    EXPECT_NE(walk::Call(values, 1, 28, &ref, static_cast<Handle>(nullptr), &var), 0);
    EXPECT_EQ(var, nullptr);
    char name[16] = "value";
    HostValue v{};
    v.tag = kTagAny;
    EXPECT_EQ(walk::Call(values, 1, 5, id, static_cast<const char*>(name), 0u, &v), 0);
    EXPECT_EQ(Host::Text(v), "by id");
    host.SetAnswersObjectValue(id);
    v.tag = kTagAny;
    EXPECT_EQ(walk::Call(values, 1, 5, id, static_cast<const char*>(name), 0u, &v), 0);
    EXPECT_EQ(v.tag, kTagObjectValue);
}

// A plug-in variable answers through its own slots, by handle and by id, and
// the conversion service turns a long reference into its value.
TEST(HostVariables, PluginVariableAndConversion) {
    TestHost host;
    host.LoadLinked(fake::Entries());
    Handle source = host.Create("fkVariable");
    Handle target = host.Create("fkVariable");
    void* values = host.ServiceHandle(kValueService);
    char name[16] = "value";
    HostValue v = Host::Integer(1234);
    ASSERT_EQ(walk::Call(values, 1, 6, host.IdOf(source), static_cast<const char*>(name), 0u, &v), 0);

    const HostValue ref = Host::Reference(host.IdOf(source));
    Handle found = nullptr;
    ASSERT_EQ(walk::Call(values, 1, 28, &ref, target, &found), 0);
    EXPECT_EQ(found, source);
    v = Host::Empty();
    v.tag = kTagAny;
    EXPECT_EQ(walk::Call(found, 0, 22, static_cast<const char*>(name), 0u, &v), 0);
    EXPECT_EQ(walk::W(reinterpret_cast<uintptr_t>(&v) + 2), 1234u);

    HostValue longRef = Host::LongReference(host.IdOf(source));
    EXPECT_EQ(walk::Call(target, 0, 23, static_cast<const char*>(name), 0u, &longRef), 0);
    EXPECT_EQ(*reinterpret_cast<int32_t*>(target), 1234);

    const struct {
        const char* name;
        HostValue value;
    } kRefused[] = {
        {"short reference", Host::Reference(host.IdOf(source))},
        {"host variable", Host::LongReference(host.NewIntegerVariable(5))},
        {"no such object", Host::LongReference(99999)},
    };
    for (const auto& c : kRefused) {
        SCOPED_TRACE(c.name);
        HostValue out = Host::Integer(0);
        EXPECT_NE(walk::Call(host.ServiceHandle(kConversionService), 1, 0, target, &c.value, &out), 0);
        EXPECT_EQ(walk::W(reinterpret_cast<uintptr_t>(&out) + 2), 0u);
    }
}

// The real plug-in, when it has been built next to the tests: every
// component registers, and every modifier goes through the host's whole
// lifecycle without a host error (poisoned fields saved, leaks, bad frees).
TEST(HostDriver, LoadsTheDllAndDrivesEveryComponent) {
    if (!std::ifstream("zqbitmap.dll")) GTEST_SKIP() << "zqbitmap.dll not built";
    TestHost host;
    ASSERT_TRUE(host.LoadDll("zqbitmap.dll"));
    ASSERT_EQ(host.Catalogue().size(), 8u);
    for (const hostsim::ComponentType& t : host.Catalogue()) {
        SCOPED_TRACE(t.entryName);
        EXPECT_EQ(t.name, t.entryName);
        EXPECT_EQ(t.baseClassName, "_MComponent");
        Handle a = host.Create(t.name);
        ASSERT_NE(a, nullptr);
        Handle b = host.CopyConstruct(a);
        EXPECT_EQ(host.Assign(b, a), 0);
        if (t.IsModifier()) {
            const std::vector<uint8_t> saved = host.Save(a);
            EXPECT_EQ(host.Load(b, saved), 0);
            EXPECT_EQ(host.Save(b), saved);
            EXPECT_EQ(host.Load(b, saved, 1), 1);
            EXPECT_EQ(host.Activate(a), 3);
            EXPECT_EQ(host.Deactivate(a), 0);
            for (void* field : host.EnumerateValues(a))
                EXPECT_TRUE(field >= a && static_cast<uint8_t*>(field) < a + t.instanceSize);
        }
        host.Destroy(b);
        host.Destroy(a);
    }
}

}  // namespace

namespace {

// Only instances switched on for the message's event get it; switching off
// ends that, and the event is read from the field when the message goes out.
TEST(HostDriver, SendReachesInterestedInstancesOnly) {
    TestHost host;
    host.LoadLinked(fake::Entries());
    Handle on = host.Create("fkModifier");
    Handle off = host.Create("fkModifier");
    Handle never = host.Create("fkModifier");
    host.Activate(on);
    host.Activate(off);
    host.Deactivate(off);
    (void)never;
    auto sent = host.Send(fake::kEvent, 0);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].instance, on);
    EXPECT_EQ(sent[0].result, 0);
    EXPECT_TRUE(host.Send(fake::kEvent, 1).empty());
    reinterpret_cast<fake::Modifier*>(on)->event.qualifier = 1;
    EXPECT_EQ(host.Send(fake::kEvent, 1).size(), 1u);
}

}  // namespace

namespace {

TEST(HostDriver, LoadDllReportsWhatIsMissing) {
    const struct {
        const char* path;
        const char* error;
    } kCases[] = {
        {"no-such-plugin.dll", "LoadLibrary failed"},
        {"kernel32.dll", "does not export zqImportBitmap"},  // loads, but exports none of the eight
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.path);
        Host host;
        EXPECT_FALSE(host.LoadDll(c.path));
        EXPECT_TRUE(host.Catalogue().empty());
        EXPECT_TRUE(hostsim::HasError(host, c.error));
    }
}

}  // namespace
