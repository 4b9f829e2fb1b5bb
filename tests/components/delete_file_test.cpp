// The delete-file component end to end: the host simulator delivers its
// event, real files in a temporary folder are deleted under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/component_fixture.h"
#include "tests/support/failing_calls.h"
#include "tests/support/files.h"

namespace {

using hostsim::Handle;
using hostsim::Host;

constexpr uint32_t kEvent = 301;
const size_t kSourceField = FieldOffset("zqDeleteFile", "fileName");

class DeleteFileComponent : public ComponentTest {
protected:
    DeleteFileComponent() : ComponentTest({"zqDeleteFile"}) {}

    void SetUp() override {
        ComponentTest::SetUp();
        char temp[MAX_PATH];
        ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
        folder = std::string(temp) + "zqdel" + std::to_string(GetCurrentProcessId()) + "\\";
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
        ASSERT_EQ(folder[1], ':') << "the temporary folder is on a drive";
        deleter = host.Create("zqDeleteFile");
    }
    void TearDown() override {
        ComponentTest::TearDown();
        for (const std::string& f : made) DeleteFileA(f.c_str());
        RemoveDirectoryA(folder.c_str());
    }

    // A file in the temporary folder; removed at the end if still there.
    std::string NewFile(const std::string& name) {
        const std::string path = folder + name;
        EXPECT_TRUE(WriteFileBytes(path, {1})) << path;
        made.push_back(path);
        return path;
    }
    // The portable name of a native path on the system drive.
    static std::string BootName(const std::string& native) { return "/<boot>" + Portable(native.substr(2)); }

    int32_t Error() {
        HostValue v{};
        v.tag = kTagAny;
        EXPECT_EQ(GetError("error", &v), 0);
        EXPECT_EQ(v.tag, kTagInteger);
        return IntegerPayload(&v);
    }
    int16_t GetError(const char* name, HostValue* v, size_t length = 0) {
        char bytes[32] = {};
        std::memcpy(bytes, name, length ? length : std::strlen(name));
        return host.CallSlot(deleter, 0, kSlotGetAttribute, deleter, static_cast<const char*>(bytes), 0u, v);
    }
    int16_t Fire(const HostValue* carried = nullptr) { return host.Deliver(deleter, kEvent, 0, carried); }

    std::string folder;
    std::vector<std::string> made;
    Handle deleter = nullptr;
};

enum class Via { Literal, Reference, LongReference, MessageReference, MessageLiteral };

struct SourceCase {
    const char* name;
    Via via;
    bool writesBack;  // only a reference of tag 115 to a string variable
};

const SourceCase kSourceCases[] = {
    {"Literal", Via::Literal, false},
    {"Reference", Via::Reference, true},
    {"LongReference", Via::LongReference, false},
    {"MessageCarriesReference", Via::MessageReference, true},
    {"MessageCarriesLiteral", Via::MessageLiteral, false},
};

void PrintTo(const SourceCase& c, std::ostream* os) { *os << c.name; }

class DeleteFileSource : public DeleteFileComponent, public ::testing::WithParamInterface<SourceCase> {};

TEST_P(DeleteFileSource, DeletesTheNamedFileAndWritesBackOnlyThroughAReference) {
    const std::string path = NewFile("victim.bmp");
    const std::string name = BootName(path);
    const hostsim::ObjectId variable = host.NewStringVariable(name);
    int16_t r = -1;
    switch (GetParam().via) {
        case Via::Literal:
            host.SetField(deleter, kSourceField, host.String(name));
            r = Fire();
            break;
        case Via::Reference:
            host.SetField(deleter, kSourceField, Host::Reference(variable));
            r = Fire();
            break;
        case Via::LongReference:
            host.SetField(deleter, kSourceField, Host::LongReference(variable));
            r = Fire();
            break;
        case Via::MessageReference: {
            host.SetField(deleter, kSourceField, Host::MessageData());
            const HostValue carried = Host::Reference(variable);
            r = Fire(&carried);
            break;
        }
        case Via::MessageLiteral: {
            host.SetField(deleter, kSourceField, Host::MessageData());
            const HostValue carried = host.String(name);
            r = Fire(&carried);
            break;
        }
    }
    EXPECT_EQ(r, 0);
    EXPECT_EQ(Error(), 0);
    EXPECT_FALSE(FileExists(path));
    // The expanded path with forward slashes, not the name the author gave.
    EXPECT_EQ(Host::Text(host.VariableValue(variable)), GetParam().writesBack ? Portable(path) : name);
}

INSTANTIATE_TEST_SUITE_P(Sources, DeleteFileSource, ::testing::ValuesIn(kSourceCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DeleteFileComponent, PlayerTokenNamesTheHostProgramsFolder) {
    char program[MAX_PATH];
    GetModuleFileNameA(nullptr, program, sizeof program);
    std::string dir = program;
    dir.resize(dir.rfind('\\') + 1);
    const std::string leaf = "zqdel" + std::to_string(GetCurrentProcessId()) + ".tmp";
    ASSERT_TRUE(WriteFileBytes(dir + leaf, {1})) << dir + leaf;
    made.push_back(dir + leaf);
    host.SetField(deleter, kSourceField, host.String("<player>/" + leaf));
    EXPECT_EQ(Fire(), 0);
    EXPECT_FALSE(FileExists(dir + leaf));
}

TEST_F(DeleteFileComponent, MissingFileGivesErrorSixAndALaterSuccessZero) {
    EXPECT_EQ(Error(), 0) << "after construction";
    const std::string path = folder + "missing.bmp";
    const hostsim::ObjectId variable = host.NewStringVariable(path);
    host.SetField(deleter, kSourceField, Host::Reference(variable));
    EXPECT_EQ(Fire(), 1);
    EXPECT_EQ(Error(), 6);
    EXPECT_EQ(Host::Text(host.VariableValue(variable)), path) << "not written after a failure";

    EXPECT_EQ(host.Deliver(deleter, kEvent + 1, 0), 1) << "another event";
    EXPECT_EQ(host.Deliver(deleter, kEvent, 1), 1) << "another qualifier";
    EXPECT_EQ(Error(), 6) << "untouched by messages that are not its event";

    ASSERT_TRUE(WriteFileBytes(path, {1})) << path;
    made.push_back(path);
    EXPECT_EQ(Fire(), 0);
    EXPECT_EQ(Error(), 0);
    EXPECT_FALSE(FileExists(path));
}

TEST_F(DeleteFileComponent, NoStringGivesAnEmptyNameAndFails) {
    const hostsim::ObjectId number = host.NewIntegerVariable(42);
    const HostValue kSources[] = {Host::Empty(), Host::Integer(7), Host::Reference(number), Host::Reference(999999)};
    for (const HostValue& source : kSources) {
        SCOPED_TRACE(source.tag);
        host.SetField(deleter, kSourceField, source);
        EXPECT_EQ(Fire(), 1);
        EXPECT_EQ(Error(), 6);
    }
    EXPECT_EQ(host.VariableValue(number).tag, kTagInteger);
}

// Native paths of 128 characters or more are deleted too, and a name of
// 300 characters is cut to its first 255 before it is expanded.
TEST_F(DeleteFileComponent, LongNamesAreDeleted) {
    const size_t kPathLength = 200;
    ASSERT_LT(folder.size() + 10, kPathLength);
    const std::string path200 = NewFile(std::string(kPathLength - folder.size() - 4, 'p') + ".bmp");
    ASSERT_EQ(path200.size(), kPathLength);
    const hostsim::ObjectId variable = host.NewStringVariable(BootName(path200));
    host.SetField(deleter, kSourceField, Host::Reference(variable));
    EXPECT_EQ(Fire(), 0);
    EXPECT_EQ(Error(), 0);
    EXPECT_FALSE(FileExists(path200));
    EXPECT_EQ(Host::Text(host.VariableValue(variable)), Portable(path200));

    const std::string path255 = NewFile(std::string(255 - folder.size(), 'q'));
    ASSERT_EQ(path255.size(), 255u);
    const std::string name300 = path255 + std::string(45, 'z');
    host.SetField(deleter, kSourceField, host.String(name300));
    EXPECT_EQ(Fire(), 0);
    EXPECT_EQ(Error(), 0);
    EXPECT_FALSE(FileExists(path255));
}

TEST_F(DeleteFileComponent, ErrorAttributeIgnoresCaseOverSixteenBytes) {
    host.SetField(deleter, kSourceField, host.String(folder + "missing"));
    ASSERT_EQ(Fire(), 1);
    const struct {
        const char* name;
        size_t length;
        bool served;
    } kCases[] = {
        {"error", 0, true},   {"ERROR", 0, true},     {"Error", 0, true},
        {"errors", 0, false}, {"erro", 0, false},     {"error\0x", 7, false},
        {"value", 0, false},  {"\xC5rror", 0, false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        HostValue v;
        std::memset(&v, 0xAA, sizeof v);
        v.tag = 0x7FFF;
        const int16_t r = GetError(c.name, &v, c.length);
        EXPECT_EQ(r, c.served ? 0 : 1);
        EXPECT_EQ(v.tag, c.served ? kTagInteger : 0x7FFF);
        if (c.served) {
            EXPECT_EQ(IntegerPayload(&v), 6);
        }
    }
}

// The write-back text block: freed by the plug-in unless the host took it.
// The simulator reports a block freed twice, freed by the wrong side or
// never freed.
TEST_F(DeleteFileComponent, WriteBackTextFollowsTheOwnerRule) {
    const struct {
        const char* name;
        hostsim::StoredStrings mode;
    } kCases[] = {
        {"host copies", hostsim::StoredStrings::Copy},
        {"host keeps the block", hostsim::StoredStrings::Keep},
        {"host names the caller as owner", hostsim::StoredStrings::OwnerIsCaller},
    };
    int n = 0;
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        host.SetStoredStrings(c.mode);
        const std::string path = NewFile("owned" + std::to_string(++n) + ".bmp");
        const hostsim::ObjectId variable = host.NewStringVariable(BootName(path));
        host.SetField(deleter, kSourceField, Host::Reference(variable));
        EXPECT_EQ(Fire(), 0);
        EXPECT_FALSE(FileExists(path));
        EXPECT_EQ(Host::Text(host.VariableValue(variable)), Portable(path));
        EXPECT_EQ(host.LiveBlocks(hostsim::Side::Plugin), 0) << "the plug-in's blocks are freed or taken";
    }
    EXPECT_TRUE(host.Errors().empty());
}

TEST_F(DeleteFileComponent, NoTextBlockFromTheHostSkipsTheWriteBack) {
    const std::string path = NewFile("noblock.bmp");
    const std::string name = BootName(path);
    const hostsim::ObjectId variable = host.NewStringVariable(name);
    host.SetField(deleter, kSourceField, Host::Reference(variable));
    host.FailNextAllocations(1);
    EXPECT_EQ(Fire(), 0);
    EXPECT_EQ(Error(), 0) << "the file is gone";
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(Host::Text(host.VariableValue(variable)), name);
}

TEST_F(DeleteFileComponent, PlatformRefusalGivesErrorSixAndKeepsTheFile) {
    const std::string path = NewFile("refused.bmp");
    const hostsim::ObjectId variable = host.NewStringVariable(BootName(path));
    host.SetField(deleter, kSourceField, Host::Reference(variable));
    ForEachFailingCall(
        probe, [&] { return Fire(); },
        [&](const FaultRun& run, int16_t r) {
            EXPECT_EQ(probe.LiveHandles(), 0);
            if (!run.fired) {
                EXPECT_EQ(r, 0);
                EXPECT_EQ(Error(), 0);
                EXPECT_FALSE(FileExists(path));
                return;
            }
            EXPECT_EQ(r, 1);
            EXPECT_EQ(Error(), 6);
            EXPECT_TRUE(FileExists(path));
            EXPECT_EQ(Host::Text(host.VariableValue(variable)), BootName(path));
        });
}

}  // namespace
