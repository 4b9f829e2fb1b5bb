// Numbered picture names in the root of the system drive. The system
// directory comes through the seam and names a scratch drive letter, so no
// real drive root is ever written.
#include "paths/numbered_name.h"
#include "tests/components/import_save_fixture.h"

namespace io_test {
namespace {

// A drive letter of this Wine prefix mapped onto a fresh folder of its own,
// so that "the root of a drive" is a scratch folder. The mapping lives in
// $WINEPREFIX/dosdevices and is made and removed by the shell.
class TempDrive {
public:
    TempDrive();  // ok() is false when no letter could be mapped
    ~TempDrive();
    TempDrive(const TempDrive&) = delete;
    TempDrive& operator=(const TempDrive&) = delete;
    bool ok() const { return letter_ != 0; }
    std::string root() const { return std::string(1, letter_) + ":"; }  // "Q:"
    std::string operator/(const std::string& name) const { return root() + "\\" + name; }
    std::vector<std::string> Files() const;  // names in the root, sorted
    void Clear() const;                      // deletes every file in the root

private:
    char letter_ = 0;
    std::string unixFolder_;
    std::string link_;
};

template <class Condition>
bool WaitFor(Condition ready, int milliseconds) {
    for (int waited = 0; waited <= milliseconds; waited += 20) {
        if (ready()) return true;
        Sleep(20);
    }
    return false;
}

// Runs a command line through the Unix shell; Wine gives no handle to wait on.
void RunShell(const std::string& command) {
    std::string line = "/bin/sh -c \"" + command + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessA("Z:\\bin\\sh", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process)) {
        if (process.hThread) CloseHandle(process.hThread);
        if (process.hProcess) CloseHandle(process.hProcess);
    }
}

TempDrive::TempDrive() {
    const char* prefix = std::getenv("WINEPREFIX");
    if (!prefix || prefix[0] != '/') return;
    const std::string id = UniqueName();
    unixFolder_ = "/tmp/zq-io-drive-" + id;
    std::string windowsFolder = "Z:" + unixFolder_;
    std::replace(windowsFolder.begin(), windowsFolder.end(), '/', '\\');
    if (!CreateDirectoryA(windowsFolder.c_str(), nullptr)) return;
    // A marker only this folder holds tells our mapping from anybody else's.
    const std::string marker = "zq-drive-" + id + ".tag";
    if (!WriteFileBytes(windowsFolder + "\\" + marker, Bytes{1})) return;

    for (char letter = 'Y'; letter >= 'M'; --letter) {
        const std::string root = std::string(1, letter) + ":\\";
        if (GetFileAttributesA(root.c_str()) != INVALID_FILE_ATTRIBUTES) continue;  // in use
        const std::string link = std::string(prefix) + "/dosdevices/" + static_cast<char>(letter - 'A' + 'a') + ":";
        // A link left dangling by a crashed run is taken over; a live one is not.
        RunShell("l='" + link + "'; if [ -L \\\"$l\\\" ] && [ ! -e \\\"$l\\\" ]; then rm -f \\\"$l\\\"; fi; ln -s '" +
                 unixFolder_ + "' \\\"$l\\\"");
        if (WaitFor([&] { return FileExists(root + marker); }, 3000)) {
            DeleteFileA((root + marker).c_str());
            letter_ = letter;
            link_ = link;
            return;
        }
    }
}

TempDrive::~TempDrive() {
    if (letter_) {
        Clear();
        RunShell("rm -f '" + link_ + "'; rmdir '" + unixFolder_ + "'");
        const std::string root = this->root() + "\\";
        WaitFor([&] { return GetFileAttributesA(root.c_str()) == INVALID_FILE_ATTRIBUTES; }, 3000);
    } else if (!unixFolder_.empty()) {
        RunShell("rm -rf '" + unixFolder_ + "'");
    }
}

std::vector<std::string> TempDrive::Files() const { return FilesIn(root()); }
void TempDrive::Clear() const { RemoveFilesIn(root()); }


std::string systemDirectory;  // what the platform is said to answer; "" = the call fails
UINT WINAPI SystemDirectory(LPSTR out, UINT size) {
    if (systemDirectory.empty()) return 0;
    lstrcpynA(out, systemDirectory.c_str(), static_cast<int>(size));
    return static_cast<UINT>(systemDirectory.size());
}

// The probe's _lcreat, and the failable-call count at the first _lcreat.
HFILE(WINAPI* probedCreate)(LPCSTR, int) = nullptr;
PlatformProbe* counting = nullptr;
int firstCreateAt = -1;
HFILE WINAPI NoteCreate(LPCSTR path, int attributes) {
    if (firstCreateAt < 0) firstCreateAt = counting->Calls() + 1;
    return probedCreate(path, attributes);
}

class NumberedNames : public ImportSaveTest {
protected:
    void SetUp() override {
        ImportSaveTest::SetUp();
        ASSERT_TRUE(drive.ok()) << "no drive letter could be mapped onto a scratch folder";
        systemDirectory = drive.root() + "\\WINDOWS\\SYSTEM";
        probe.table().GetSystemDirectoryA = SystemDirectory;
        picture = NewBitmapVariable();
        ASSERT_TRUE(WriteFileBytes(dir / "p.bmp", source));
        Load(picture, dir / "p.bmp");
        saver = NewSaver(false, false, Host::Empty(), picture);
    }
    Bytes Contents(const std::string& name) {
        Bytes b;
        EXPECT_TRUE(ReadFileBytes(drive / name, &b)) << name;
        return b;
    }

    TempDrive drive;
    const Bytes source = MakeBmp(4, 3, 8);
    ObjectId picture = 0;
    Handle saver = nullptr;
};

using Names = std::vector<std::string>;

TEST_F(NumberedNames, FirstFreeNumberIsTakenAndReusedOnceItsFileIsGone) {
    EXPECT_EQ(Fire(saver), 0);
    EXPECT_EQ(drive.Files(), (Names{"image000.bmp"}));
    EXPECT_EQ(Fire(saver), 0);
    EXPECT_EQ(drive.Files(), (Names{"image000.bmp", "image001.bmp"}));
    ASSERT_TRUE(DeleteFileA((drive / "image000.bmp").c_str()));
    EXPECT_EQ(Fire(saver), 0);
    EXPECT_EQ(drive.Files(), (Names{"image000.bmp", "image001.bmp"}));
    EXPECT_EQ(Contents("image000.bmp"), source);
    EXPECT_EQ(Contents("image001.bmp"), source);
    EXPECT_EQ(PictureOf(picture), (Picture{4, 3})) << "the picture stays the variable's";
    EXPECT_EQ(probe.LiveHandles(), 1);
}

TEST_F(NumberedNames, NothingIsWrittenWhenAllThousandNamesAreTaken) {
    char name[32];
    for (int n = 0; n < kNumberedNames; ++n) {
        wsprintfA(name, "image%03d.bmp", n);
        ASSERT_TRUE(WriteFileBytes(drive / name, {})) << name;
    }
    EXPECT_EQ(Fire(saver), 0);
    const Names files = drive.Files();
    EXPECT_EQ(files.size(), 1000u);
    EXPECT_EQ(files.back(), "image999.bmp");
    for (const char* probeName : {"image000.bmp", "image500.bmp", "image999.bmp"}) EXPECT_TRUE(Contents(probeName).empty());

    TextBuffer path = "x";
    MakeNumberedFileName("image", path);
    EXPECT_STREQ(path, "");
    ASSERT_TRUE(DeleteFileA((drive / "image999.bmp").c_str()));
    MakeNumberedFileName("image", path);
    EXPECT_EQ(path, drive / "image999.bmp") << "the last name is still a name";
    EXPECT_EQ(probe.OpenFiles(), 0);
}

// "/<boot>" stands for the same drive as the numbered names.
TEST_F(NumberedNames, BootTokenNamesTheSystemDrive) {
    const ObjectId name = host.NewStringVariable("/<boot>/b.bmp");
    EXPECT_EQ(Fire(NewSaver(false, true, Host::Reference(name), picture)), 0);
    EXPECT_EQ(Contents("b.bmp"), source);
    EXPECT_EQ(TextOf(name), drive.root() + "/b.bmp");

    const ObjectId copy = NewBitmapVariable();
    host.SetVariableValue(name, host.String("/<BOOT>/b.bmp"));
    EXPECT_EQ(Fire(NewImporter(false, true, Host::Reference(name), copy)), 0);
    EXPECT_EQ(PictureOf(copy), (Picture{4, 3}));
    EXPECT_EQ(TextOf(name), drive.root() + "/b.bmp");
}

// The folder is the system directory's drive, or the current drive's root
// when the directory does not start with a drive.
TEST_F(NumberedNames, FolderIsTheSystemDrive) {
    char before[MAX_PATH];
    GetCurrentDirectoryA(sizeof before, before);
    ASSERT_TRUE(SetCurrentDirectoryA((drive.root() + "\\").c_str()));
    struct Case {
        std::string systemDirectory, expect;
    } cases[] = {
        {drive.root() + "\\WINDOWS\\SYSTEM", drive / "image000.bmp"},
        {drive.root(), drive / "image000.bmp"},
        {"X", "\\image000.bmp"},
        {"\\\\server\\share", "\\image000.bmp"},
        {"", "\\image000.bmp"},  // no system directory at all
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.systemDirectory);
        systemDirectory = c.systemDirectory;
        TextBuffer path = "";
        MakeNumberedFileName("image", path);
        EXPECT_EQ(path, c.expect);
        EXPECT_EQ(drive.Files(), (Names{"image000.bmp"})) << "reserved with an empty file";
        EXPECT_TRUE(Contents("image000.bmp").empty());
        drive.Clear();
    }
    SetCurrentDirectoryA(before);
}

// A name whose file exists but cannot be opened for reading is taken: the
// save moves on instead of truncating it or giving up.
TEST_F(NumberedNames, ExistingFileThatCannotBeOpenedIsNeverTruncated) {
    const Bytes precious = MakeBmp(2, 2, 24, 99);
    ASSERT_TRUE(WriteFileBytes(drive / "image000.bmp", precious));
    {
        HANDLE locked = CreateFileA((drive / "image000.bmp").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                    nullptr);
        ASSERT_NE(locked, INVALID_HANDLE_VALUE);
        EXPECT_EQ(Fire(saver), 0);
        CloseHandle(locked);
    }
    EXPECT_EQ(drive.Files(), (Names{"image000.bmp", "image001.bmp"}));
    EXPECT_EQ(Contents("image000.bmp"), precious);
    EXPECT_EQ(Contents("image001.bmp"), source);

    // The same when the open fails for any other reason.
    ASSERT_TRUE(DeleteFileA((drive / "image001.bmp").c_str()));
    {
        FailNthCall fault{probe, 1};
        EXPECT_EQ(Fire(saver), 0);
        EXPECT_EQ(probe.FailedCall(), "_lopen");
    }
    EXPECT_EQ(Contents("image000.bmp"), precious);
    EXPECT_EQ(Contents("image001.bmp"), source);
}

// Every failable call of a numbered save, failed in turn. Once the name is
// reserved, a failing writer leaves the reserved file empty or cut short;
// before that, nothing is written; nothing leaks either way.
TEST_F(NumberedNames, EveryFailureLeaksNothingAndAReservedNameKeepsItsFile) {
    probedCreate = probe.table()._lcreat;
    counting = &probe;
    probe.table()._lcreat = NoteCreate;
    int emptyReserved = 0;  // failures that left the reserved file empty
    ForEachFailingCall(
        probe,
        [&] {
            drive.Clear();
            firstCreateAt = -1;
        },
        [&] { return Fire(saver); },
        [&](const FaultRun& run, int16_t r) {
            EXPECT_EQ(r, 0);
            EXPECT_EQ(probe.LiveHandles(), 1) << "only the variable's picture";
            EXPECT_EQ(PictureOf(picture), (Picture{4, 3}));
            const Names files = drive.Files();
            if (!run.fired) {
                EXPECT_EQ(files, (Names{"image000.bmp"}));
                EXPECT_EQ(Contents("image000.bmp"), source);
                return;
            }
            ASSERT_GT(firstCreateAt, 0);
            if (run.n < firstCreateAt) {  // an open that fails on a missing name changes nothing
                EXPECT_EQ(files, (Names{"image000.bmp"}));
            } else if (run.n == firstCreateAt) {  // the reservation itself failed
                EXPECT_EQ(files, Names{});
            } else {
                ASSERT_EQ(files, (Names{"image000.bmp"})) << "the reserved name stays on disk";
                const Bytes saved = Contents("image000.bmp");
                ASSERT_LE(saved.size(), source.size());
                EXPECT_TRUE(std::equal(saved.begin(), saved.end(), source.begin())) << "no more than a cut-short file";
                // Failures the writer works around still give the whole file.
                if (run.call != "_hwrite") {
                    EXPECT_TRUE(saved.empty() || saved == source);
                }
                emptyReserved += saved.empty();
            }
        });
    EXPECT_GT(emptyReserved, 0) << "no failure after the reservation left its file empty";
}

}  // namespace
}  // namespace io_test
