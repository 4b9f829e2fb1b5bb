// The stream object: what is written is what is read back, ValueSize agrees
// with WriteValue, and reads into compact fields stay inside them.
#include <gtest/gtest.h>

#include "hostsim/testing.h"
#include "tests/hostsim/fake_plugin.h"
#include "tests/hostsim/walk.h"

using hostsim::Handle;
using hostsim::Host;
using hostsim::TestHost;

namespace {

int16_t ValueSize(Handle s, const void* v, uint32_t* n) { return walk::Call(s, 1, 4, v, n); }
int16_t Write(Handle s, const void* v) { return walk::Call(s, 1, 5, v); }
int16_t Read(Handle s, void* v) { return walk::Call(s, 1, 6, v); }

struct Kind {
    const char* name;
    HostValue value;
    size_t meaningful;  // bytes of the value that must survive the round trip
};

std::vector<Kind> Kinds(Host& host) {
    HostValue longRef = Host::LongReference(4711);
    std::memset(longRef.payload, 0x5A, 8);  // the host's own bytes ahead of the id
    return {
        {"empty", Host::Empty(), 2},
        {"integer", Host::Integer(-123456), 6},
        {"point", Host::Point(-3, 700), 6},
        {"float", Host::Float(-2.5e-3), 10},
        {"boolean", Host::Boolean(true), 4},
        {"event", Host::Event(301, 0xFFFFFFFF), 10},
        {"string", host.String("a file.bmp"), 0},
        {"empty string", host.String(""), 0},
        {"long reference", longRef, 14},
        {"reference", Host::Reference(1234), 6},
        {"message data", Host::MessageData(), 2},
    };
}

TEST(HostStream, EveryKindRoundTripsAndValueSizeAgrees) {
    TestHost host;
    host.LoadLinked(fake::Entries());
    Handle inst = host.Create("fkModifier");  // its value field takes the reads
    auto* field = reinterpret_cast<HostValue*>(inst + offsetof(fake::Modifier, source));
    for (const Kind& k : Kinds(host)) {
        SCOPED_TRACE(k.name);
        Handle out = host.OpenStream();
        uint32_t size = 0;
        ASSERT_EQ(ValueSize(out, &k.value, &size), 0);
        ASSERT_EQ(Write(out, &k.value), 0);
        const std::vector<uint8_t> bytes = host.StreamBytes(out);
        EXPECT_EQ(bytes.size(), size);
        host.CloseStream(out);

        Handle in = host.OpenStream(bytes);
        ASSERT_EQ(Read(in, field), 0);
        EXPECT_EQ(host.StreamReadPosition(in), bytes.size());
        host.CloseStream(in);
        EXPECT_EQ(field->tag, k.value.tag);
        if (k.value.tag == kTagString) {
            EXPECT_EQ(Host::Text(*field), Host::Text(k.value));
            EXPECT_NE(walk::W(reinterpret_cast<uintptr_t>(field) + 14),
                      walk::W(reinterpret_cast<uintptr_t>(&k.value) + 14));
        } else {
            EXPECT_EQ(std::memcmp(field, &k.value, k.meaningful), 0);
        }
    }
}

// A boolean field is 4 bytes, an integer 6, an event 10: the next field
// starts right behind it and must survive the read.
TEST(HostStream, CompactReadsWriteOnlyTheirBytes) {
    const struct {
        const char* name;
        HostValue value;
        size_t bytes;
    } kCases[] = {
        {"boolean", Host::Boolean(true), 4},
        {"integer", Host::Integer(77), 6},
        {"event", Host::Event(302, 9), 10},
        {"point", Host::Point(1, 2), 6},
    };
    TestHost host;
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        Handle out = host.OpenStream();
        Write(out, &c.value);
        Handle in = host.OpenStream(host.StreamBytes(out));
        uint8_t buffer[64];
        std::memset(buffer, 0xAA, sizeof buffer);
        ASSERT_EQ(Read(in, buffer), 0);
        EXPECT_EQ(std::memcmp(buffer, &c.value, c.bytes), 0);
        for (size_t i = c.bytes; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], 0xAA) << "byte " << i;
        host.CloseStream(out);
        host.CloseStream(in);
    }
}

TEST(HostStream, SaveThenLoadRestoresEverySavedField) {
    TestHost host;
    host.LoadLinked(fake::Entries());
    Handle a = host.Create("fkModifier");
    auto* m = reinterpret_cast<fake::Modifier*>(a);
    m->event.qualifier = 5;
    m->flag.value = 0;
    m->count.value = -42;
    host.SetField(a, offsetof(fake::Modifier, source), host.String("C:\\pics\\a.bmp"));
    const std::vector<uint8_t> saved = host.Save(a);

    Handle b = host.Create("fkModifier");
    ASSERT_EQ(host.Load(b, saved), 0);
    auto* n = reinterpret_cast<fake::Modifier*>(b);
    EXPECT_EQ(std::memcmp(n, m, 20), 0);  // event and both compact fields
    EXPECT_EQ(Host::Text(n->source), "C:\\pics\\a.bmp");
    EXPECT_EQ(host.Load(b, saved, 1), 1);  // a version the fake refuses
}

TEST(HostStream, DisagreementsWithTheSavedFormAreReported) {
    struct Case {
        const char* name;
        bool savedSizeOffByOne, loadSkipsLast, truncate;
        const char* error;
    } const kCases[] = {
        {"SavedSize differs from Save", true, false, false, "SavedSize said"},
        {"Load leaves bytes unread", false, true, false, "Load read"},
        {"Load reads past the end", false, false, true, "past the end"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Host host;
        host.LoadLinked(fake::Entries());
        Handle a = host.Create("fkModifier");
        fake::Seen().savedSizeOffByOne = c.savedSizeOffByOne;
        std::vector<uint8_t> saved = host.Save(a);
        fake::Seen().savedSizeOffByOne = false;
        fake::Seen().loadSkipsLast = c.loadSkipsLast;
        if (c.truncate) saved.resize(saved.size() - 2);
        host.Load(host.Create("fkModifier"), saved);
        fake::Seen().loadSkipsLast = false;
        EXPECT_TRUE(hostsim::HasError(host, c.error));
    }
}

TEST(HostStream, UnknownTagIsRefused) {
    Host host;
    Handle s = host.OpenStream();
    HostValue poison;
    std::memset(&poison, 0xCD, sizeof poison);
    uint32_t n = 0;
    EXPECT_NE(ValueSize(s, &poison, &n), 0);
    EXPECT_NE(Write(s, &poison), 0);
    EXPECT_TRUE(host.StreamBytes(s).empty());
    EXPECT_EQ(host.Errors().size(), 2u);
}

}  // namespace
