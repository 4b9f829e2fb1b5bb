// The path tokens on the real platform; the platform-free cases are in
// paths_core_test.cpp.
#include "paths/paths.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// The real platform: the system drive and the test program's own folder.
TEST(PathsUnderWine, UsesRealSystemDriveAndProgramFolder) {
    char program[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, program, MAX_PATH), 0u);
    std::string folder(program, std::strrchr(program, '\\'));

    char native[kTextBuffer], dir[kTextBuffer], file[kTextBuffer];
    ExpandPath("<player>/x.bmp", native, dir, file);
    EXPECT_EQ(std::string(native), folder + "\\x.bmp");
    EXPECT_EQ(std::string(dir), folder + "\\");

    char system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryA(system, MAX_PATH), 2u);
    ExpandPath("/<boot>/windows/x.bmp", native, dir, file);
    EXPECT_EQ(std::string(native), std::string(system, 2) + "\\windows\\x.bmp");
    EXPECT_EQ(GetFileAttributesA(dir), GetFileAttributesA((std::string(system, 2) + "\\windows").c_str()));
}

}  // namespace
