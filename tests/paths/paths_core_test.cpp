// The platform-free path tokens, with the two platform texts given by the test.
// Built into the Windows paths test and natively under the sanitizers.
#include "paths/paths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string gSystemDir;
std::string gProgram;

// A platform text cut to the buffer, as the Win32 half hands them over.
std::size_t Give(const std::string& text, char* out, std::size_t size) {
    const std::string cut = text.substr(0, size - 1);
    std::memcpy(out, cut.c_str(), cut.size() + 1);
    return cut.size();
}
std::size_t FakeSystemDirectory(char* out, std::size_t size) { return Give(gSystemDir, out, size); }
std::size_t FakeProgramFile(char* out, std::size_t size) { return Give(gProgram, out, size); }

// The host program at C:\APP\HOST.EXE on a system in C:\WINDOWS\SYSTEM.
class Paths : public ::testing::Test {
protected:
    void SetUp() override {
        gSystemDir = "C:\\WINDOWS\\SYSTEM";
        gProgram = "C:\\APP\\HOST.EXE";
    }

    struct Expanded {
        std::string native, folder, file;
    };
    static Expanded Expand(const std::string& name) {
        // Poisoned, so an output left unwritten shows.
        char native[kTextBuffer + 8], folder[kTextBuffer + 8], file[kTextBuffer + 8];
        std::memset(native, 0xAA, sizeof native);
        std::memset(folder, 0xAA, sizeof folder);
        std::memset(file, 0xAA, sizeof file);
        ExpandPathFrom(name.c_str(), FakeSystemDirectory, FakeProgramFile, native, folder, file);
        // Nothing past the 256-byte buffers.
        for (std::size_t i = kTextBuffer; i < sizeof native; ++i) {
            EXPECT_EQ(static_cast<unsigned char>(native[i]), 0xAA);
            EXPECT_EQ(static_cast<unsigned char>(folder[i]), 0xAA);
            EXPECT_EQ(static_cast<unsigned char>(file[i]), 0xAA);
        }
        return {native, folder, file};
    }
};

struct ExpandCase {
    const char* name;
    const char* native;
    const char* folder;
    const char* file;
};

TEST_F(Paths, ExpandsTokensAndSplits) {
    const ExpandCase kCases[] = {
        {"<player>/pics/a.bmp", "C:\\APP\\pics\\a.bmp", "C:\\APP\\pics\\", "a.bmp"},
        {"<PLAYER>/a.bmp", "C:\\APP\\a.bmp", "C:\\APP\\", "a.bmp"},
        {"<Player>a.bmp", "C:\\APPa.bmp", "C:\\", "APPa.bmp"},
        {"/<boot>/tmp/a.bmp", "C:\\tmp\\a.bmp", "C:\\tmp\\", "a.bmp"},
        {"/<BOOT>/a.bmp", "C:\\a.bmp", "C:\\", "a.bmp"},
        {"d:/data/a", "d:\\data\\a", "d:\\data\\", "a"},
        {"pics/x.y.bmp", "pics\\x.y.bmp", "pics\\", "x.y.bmp"},
        {"C:a.bmp", "C:a.bmp", "C:", "a.bmp"},
        {"a.bmp", "a.bmp", "", "a.bmp"},
        {"d:/data/", "d:\\data\\", "d:\\data\\", ""},
        {"", "", "", ""},
        // A token only counts at the start.
        {"x/<player>/a", "x\\<player>\\a", "x\\<player>\\", "a"},
        // "/<boot>" is tested before "<player>".
        {"/<boot><player>", "C:<player>", "C:", "<player>"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        Expanded e = Expand(c.name);
        EXPECT_EQ(e.native, c.native);
        EXPECT_EQ(e.folder, c.folder);
        EXPECT_EQ(e.file, c.file);
    }
}

TEST_F(Paths, BootWithoutDriveLetterGivesNoPrefix) {
    for (const char* dir : {"\\\\server\\system", "", "C"}) {
        SCOPED_TRACE(dir);
        gSystemDir = dir;
        EXPECT_EQ(Expand("/<boot>/a.bmp").native, "\\a.bmp");
    }
}

TEST_F(Paths, PlayerWithoutBackslashGivesNoPrefix) {
    gProgram = "HOST.EXE";
    EXPECT_EQ(Expand("<player>/a.bmp").native, "\\a.bmp");
}

// Prefix and rest must stay below 256 characters together, or the prefix is left out.
TEST_F(Paths, DropsPrefixThatWouldReach256Characters) {
    gProgram = "C:\\" + std::string(37, 'p') + "\\HOST.EXE";  // a 40-character folder
    const std::string folder = gProgram.substr(0, 40);
    // Rest of 215 characters: 255 in all, kept.
    std::string rest(215, 'a');
    rest[0] = '\\';
    EXPECT_EQ(Expand("<player>" + rest).native, folder + rest);
    // Rest of 216: 256 in all, the prefix goes.
    rest += 'a';
    EXPECT_EQ(Expand("<player>" + rest).native, rest);
    // The drive is 2 characters: a 255-character name always keeps it.
    rest = std::string(248, 'b');
    rest[0] = '\\';
    EXPECT_EQ(Expand("/<boot>" + rest).native, "C:" + rest);
}

TEST_F(Paths, LongNamesNeverOverrunTheBuffers) {
    // A 300-character name (more than any host text) and a 255-character program name.
    gProgram = "C:\\" + std::string(240, 'p') + "\\" + std::string(11, 'h');
    for (std::string name : {std::string(300, 'x'), "<player>/" + std::string(290, 'y'),
                             "/<boot>/" + std::string(290, 'z')}) {
        SCOPED_TRACE(name.substr(0, 10));
        Expanded e = Expand(name);
        EXPECT_LE(e.native.size(), 255u);
        EXPECT_LE(e.folder.size(), 255u);
        EXPECT_LE(e.file.size(), 255u);
    }
}

TEST(PortablePath, TurnsBackslashesAndDropsOverlongPaths) {
    struct Case {
        std::string in, out;
    } const kCases[] = {
        {"C:\\APP\\pics\\a.bmp", "C:/APP/pics/a.bmp"},
        {"a.bmp", "a.bmp"},
        {"", ""},
        {std::string(255, '\\'), std::string(255, '/')},
        {std::string(256, 'a'), ""},
        {std::string(400, 'a'), ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.in.size());
        char out[kTextBuffer + 8];
        std::memset(out, 0xAA, sizeof out);
        PortablePath(c.in.c_str(), out);
        EXPECT_EQ(std::string(out), c.out);
        EXPECT_EQ(static_cast<unsigned char>(out[kTextBuffer]), 0xAA);
    }
}

}  // namespace
