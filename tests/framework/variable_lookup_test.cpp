// Variable references turned into values, and strings handed back to the host.
#include <gtest/gtest.h>

#include <string>

#include "components/modifiers.h"
#include "framework/host_value.h"
#include "framework/variable_lookup.h"
#include "hostsim/host.h"

namespace {

using hostsim::Handle;
using hostsim::Host;

class HostFixture : public ::testing::Test {
protected:
    void SetUp() override {
        host.SetErrorHandler([](const std::string& e) { ADD_FAILURE() << "host: " << e; });
        host.LoadLinked({{"zqDeleteFile", zqDeleteFile}});
        instance = host.Create("zqDeleteFile");
    }
    void TearDown() override {
        host.Destroy(instance);
        host.Teardown();
        EXPECT_EQ(host.LiveBlocks(), 0);
    }
    Host host;
    Handle instance = nullptr;
    ModifierState type;
};

TEST_F(HostFixture, LiteralComesBackUntouched) {
    HostValue literal = host.String("c:/a.bmp");
    const HostValue before = literal;
    HostObject found = reinterpret_cast<HostObject>(0x5A5A);
    EXPECT_EQ(VariableLookup(type, instance, &literal, &found), &literal);
    EXPECT_EQ(0, std::memcmp(&literal, &before, sizeof literal));
    EXPECT_EQ(found, reinterpret_cast<HostObject>(0x5A5A)) << "the handle is written for references only";
}

TEST_F(HostFixture, ReferenceReadsTheVariableIntoTheTypesBuffer) {
    const auto id = host.NewStringVariable("/<boot>/tmp/x.bmp");
    for (HostValue ref : {Host::Reference(id), Host::LongReference(id)}) {
        SCOPED_TRACE(ref.tag);
        HostObject found = nullptr;
        const HostValue* result = VariableLookup(type, instance, &ref, &found);
        EXPECT_EQ(result, &type.lookup);
        EXPECT_EQ(Host::Text(*result), "/<boot>/tmp/x.bmp");
        EXPECT_EQ(found, host.HandleOf(id));
    }
}

TEST_F(HostFixture, UnresolvableReferenceIsReadById) {
    const auto id = host.NewStringVariable("by id");
    host.SetUnresolvable(id);
    HostValue ref = Host::Reference(id);
    HostObject found = reinterpret_cast<HostObject>(0x5A5A);
    const HostValue* result = VariableLookup(type, instance, &ref, &found);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(Host::Text(*result), "by id");

    // An object that answers with an object value gets its id written at 6.
    const auto other = host.NewIntegerVariable(5);
    host.SetUnresolvable(other);
    host.SetAnswersObjectValue(other);
    HostValue longRef = Host::LongReference(other);
    result = VariableLookup(type, instance, &longRef);
    EXPECT_EQ(result->tag, kTagObjectValue);
    EXPECT_EQ(LoadAt<uint32_t>(result, 6), other);
}

TEST_F(HostFixture, SecondLookupReplacesTheFirstInTheSameBuffer) {
    HostValue first = Host::Reference(host.NewStringVariable("first"));
    HostValue second = Host::Reference(host.NewIntegerVariable(42));
    const HostValue* a = VariableLookup(type, instance, &first);
    EXPECT_EQ(Host::Text(*a), "first");
    const HostValue* b = VariableLookup(type, instance, &second);
    EXPECT_EQ(a, b);
    EXPECT_EQ(b->tag, kTagInteger);
    EXPECT_EQ(IntegerPayload(b), 42);
}

TEST_F(HostFixture, StoredTextFollowsTheOwnerRule) {
    for (bool keep : {false, true}) {
        SCOPED_TRACE(keep ? "host keeps the block" : "host copies the text");
        host.SetKeepStoredStrings(keep);
        const auto id = host.NewStringVariable("");
        for (const std::string& text : {std::string(), std::string(255, 'p')}) {
            EXPECT_TRUE(StoreText(instance, host.HandleOf(id), 0, text.c_str()));
            EXPECT_EQ(Host::Text(host.VariableValue(id)), text);
            EXPECT_TRUE(StoreText(instance, nullptr, id, (text + "!").c_str()));
            EXPECT_EQ(Host::Text(host.VariableValue(id)), text + "!");
        }
        EXPECT_EQ(host.LiveBlocks(hostsim::Side::Plugin), 0) << "the plug-in frees what the host did not take";
    }
}

TEST_F(HostFixture, NoBlockFromTheHostStoresNothing) {
    const auto id = host.NewStringVariable("kept");
    host.FailNextAllocations(1);
    EXPECT_FALSE(StoreText(instance, host.HandleOf(id), 0, "new"));
    EXPECT_EQ(Host::Text(host.VariableValue(id)), "kept");
}

}  // namespace
