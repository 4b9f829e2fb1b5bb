// Reading texts out of host values, and attribute names.
#include <gtest/gtest.h>

#include <string>

#include "framework/attribute_name.h"
#include "framework/host_value.h"

namespace {

HostValue MakeString(const std::string& text, uint32_t length, uint32_t capacity) {
    HostValue v{};
    StoreAt(&v, 0, StringValue{kTagString, kNoOwner, capacity, length, const_cast<char*>(text.c_str())});
    return v;
}

TEST(HostValue, ReadTextKeepsAtMost255Characters) {
    const std::string long300(300, 'x');
    const std::string hello = "hello";
    struct Case {
        const char* name;
        HostValue value;
        std::string expected;
    } cases[] = {
        {"300 characters", MakeString(long300, 300, 301), std::string(255, 'x')},
        {"255 characters", MakeString(long300, 255, 256), std::string(255, 'x')},
        {"empty", MakeString(hello, 0, 1), ""},
        {"length within the text", MakeString(hello, 3, 6), "hel"},
        {"length past the block", MakeString(hello, 50, 6), "hello"},
        {"no text block", MakeString(hello, 5, 6), ""},
        {"integer", HostValue{kTagInteger, {}}, ""},
        {"object value", HostValue{kTagObjectValue, {}}, ""},
    };
    StoreAt<char*>(&cases[5].value, 14, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TextBuffer out;
        std::memset(out, 0xAA, sizeof out);
        const size_t n = ReadText(c.value, out);
        EXPECT_EQ(std::string(out), c.expected);
        EXPECT_EQ(n, c.expected.size());
    }
}

TEST(HostValue, ReferenceIdSitsWhereTheTagSays) {
    HostValue ref{kTagReference, {}};
    StoreAt<uint32_t>(&ref, 2, 41);
    StoreAt<uint32_t>(&ref, 10, 99);
    EXPECT_EQ(ReferenceId(ref), 41u);
    ref.tag = kTagLongReference;
    EXPECT_EQ(ReferenceId(ref), 99u);
}

TEST(AttributeName, MatchesSixteenBytesFoldingOnlyLetters) {
    auto padded = [](const char* s) {
        std::string n(s);
        n.resize(16, '\0');
        return n;
    };
    struct Case {
        std::string given;
        bool matches;
    } cases[] = {
        {padded("error"), true},
        {padded("ERROR"), true},
        {padded("ErRoR"), true},
        {padded("errors"), false},
        {padded("erro"), false},
        {std::string("error\0x\0\0\0\0\0\0\0\0\0", 16), false},  // bytes behind the terminator count
        {padded("error_"), false},
        {padded("ERROR\x7f"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.given);
        EXPECT_EQ(NameIsOver16Bytes(c.given.data(), "error"), c.matches);
    }
    EXPECT_FALSE(NameIsOver16Bytes(nullptr, "error"));
    // Only A to Z fold: '@' and '`' differ by the same bit.
    EXPECT_FALSE(NameIsOver16Bytes(padded("valu@").data(), "valu`"));
}

}  // namespace
