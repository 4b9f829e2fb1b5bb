// The open and save dialogs: the real ones on the virtual display, answered
// from a second thread, and the dialog record through the seam.
#include "tests/components/dialog_driver.h"
#include "tests/components/import_save_fixture.h"

namespace io_test {
namespace {

using namespace std::string_literals;

const std::vector<std::string> kOpenTypes = {"Pictures (*.bmp;*.png;*.jpg;*.jpeg;*.gif;*.tif;*.tiff)",
                                             "Bitmap files (*.bmp)", "All files (*.*)"};
const std::vector<std::string> kSaveTypes = {"Bitmap files (*.bmp)", "PNG pictures (*.png)",
                                             "JPEG pictures (*.jpg;*.jpeg)", "All files (*.*)"};

// Dialogs that return at once mean no X display, or a wineserver of this
// prefix that was started without one (wineserver -k, or another prefix).
constexpr char kNoDialog[] = "no dialog appeared: no display, or the prefix's wineserver has none";

class RealDialogs : public ImportSaveTest {
protected:
    void SetUp() override {
        ImportSaveTest::SetUp();
        ASSERT_TRUE(WriteFileBytes(dir / "old.bmp", MakeBmp(3, 2, 8)));
        ASSERT_TRUE(WriteFileBytes(dir / "pick.bmp", MakeBmp(6, 5, 24)));
        picture = NewBitmapVariable();
        Load(picture, dir / "old.bmp");
        name = host.NewStringVariable(Portable(dir / "start.bmp"));
    }
    ObjectId picture = 0;
    ObjectId name = 0;
};

TEST_F(RealDialogs, ImportConfirmReadsTheChosenFileWithTheDefaultExtension) {
    Handle importer = NewImporter(true, true, Host::Reference(name), picture);
    DialogDriver driver({{DialogStep::Confirm, dir / "pick"}});
    EXPECT_EQ(Fire(importer), 0);
    ASSERT_TRUE(driver.Finish()) << kNoDialog;
    EXPECT_EQ(driver.Seen()[0].types, kOpenTypes);
    EXPECT_NE(driver.Seen()[0].initialName.find("start.bmp"), std::string::npos) << driver.Seen()[0].initialName;
    EXPECT_EQ(PictureOf(picture), (Picture{6, 5}));
    EXPECT_EQ(TextOf(name), Portable(dir / "pick.bmp"));
    EXPECT_EQ(probe.LiveHandles(), 1);
}

TEST_F(RealDialogs, ImportCancelReadsNothingAndWritesBackTheEmptyString) {
    Handle importer = NewImporter(true, true, Host::Reference(name), picture);
    DialogDriver driver({{DialogStep::Cancel, ""}});
    EXPECT_EQ(Fire(importer), 1);
    ASSERT_TRUE(driver.Finish()) << kNoDialog;
    EXPECT_EQ(PictureOf(picture), (Picture{3, 2})) << "the old picture stays";
    EXPECT_EQ(TextOf(name), "");
    EXPECT_EQ(probe.LiveHandles(), 1);
}

TEST_F(RealDialogs, SaveConfirmWritesTheChosenFileWithTheDefaultExtension) {
    Handle saver = NewSaver(true, true, Host::Reference(name), picture);
    DialogDriver driver({{DialogStep::Confirm, dir / "out"}});
    EXPECT_EQ(Fire(saver), 0);
    ASSERT_TRUE(driver.Finish()) << kNoDialog;
    EXPECT_EQ(driver.Seen()[0].types, kSaveTypes);
    EXPECT_NE(driver.Seen()[0].initialName.find("start.bmp"), std::string::npos) << driver.Seen()[0].initialName;
    Bytes saved, original;
    ASSERT_TRUE(ReadFileBytes(dir / "out.bmp", &saved));
    ASSERT_TRUE(ReadFileBytes(dir / "old.bmp", &original));
    EXPECT_EQ(saved, original);
    EXPECT_EQ(TextOf(name), Portable(dir / "out.bmp"));
}

TEST_F(RealDialogs, SaveCancelWritesNothingAndWritesBackTheEmptyString) {
    Handle saver = NewSaver(true, true, Host::Reference(name), picture);
    DialogDriver driver({{DialogStep::Cancel, ""}});
    EXPECT_EQ(Fire(saver), 0);
    ASSERT_TRUE(driver.Finish()) << kNoDialog;
    EXPECT_FALSE(FileExists(dir / "start.bmp"));
    EXPECT_EQ(TextOf(name), "");
    EXPECT_EQ(PictureOf(picture), (Picture{3, 2}));
}

TEST_F(RealDialogs, SaveOverAnExistingFileAsksFirstThenReplacesIt) {
    Handle saver = NewSaver(true, false, Host::Empty(), picture);
    DialogDriver driver({{DialogStep::Confirm, dir / "pick.bmp"}, {DialogStep::AnswerYes, ""}});
    EXPECT_EQ(Fire(saver), 0);
    ASSERT_TRUE(driver.Finish()) << "the dialog did not ask before replacing";
    EXPECT_EQ(driver.Seen()[0].initialName, "") << "without useFileName the dialog starts empty";
    Bytes saved, original;
    ASSERT_TRUE(ReadFileBytes(dir / "pick.bmp", &saved));
    ASSERT_TRUE(ReadFileBytes(dir / "old.bmp", &original));
    EXPECT_EQ(saved, original);
}

// ---- the dialog record, through the seam ----

struct Shown {
    int calls = 0;
    OPENFILENAMEA record{};
    std::string filters;  // up to and with the closing empty string
    std::string initialName, defaultExtension;
};
Shown shown;
std::string answer;  // what the user "chooses"
bool confirm = true;
const HWND kActive = reinterpret_cast<HWND>(0x2468);

HWND WINAPI ActiveWindow() { return kActive; }
BOOL WINAPI RecordDialog(LPOPENFILENAMEA ofn) {
    ++shown.calls;
    shown.record = *ofn;
    const char* f = ofn->lpstrFilter;
    size_t n = 0;
    while (f && !(f[n] == '\0' && f[n + 1] == '\0')) ++n;
    shown.filters.assign(f ? f : "", f ? n + 2 : 0);
    shown.initialName = ofn->lpstrFile ? ofn->lpstrFile : "";
    shown.defaultExtension = ofn->lpstrDefExt ? ofn->lpstrDefExt : "";
    if (!confirm) return FALSE;
    lstrcpynA(ofn->lpstrFile, answer.c_str(), static_cast<int>(ofn->nMaxFile));
    return TRUE;
}

class DialogRecord : public ImportSaveTest, public ::testing::WithParamInterface<bool> {
protected:
    bool importing() const { return GetParam(); }
    void SetUp() override {
        ImportSaveTest::SetUp();
        shown = Shown{};
        answer.clear();
        confirm = true;
        probe.table().GetActiveWindow = ActiveWindow;
        probe.table().GetOpenFileNameA = RecordDialog;
        probe.table().GetSaveFileNameA = RecordDialog;
        ASSERT_TRUE(WriteFileBytes(dir / "a.bmp", MakeBmp(3, 2, 8)));
        picture = NewBitmapVariable();
        Load(picture, dir / "a.bmp");
    }
    Handle NewModifier(bool useFileName, const HostValue& fileName) {
        return importing() ? NewImporter(true, useFileName, fileName, picture)
                           : NewSaver(true, useFileName, fileName, picture);
    }
    ObjectId picture = 0;
};

TEST_P(DialogRecord, FieldsOfTheRecord) {
    const ObjectId name = host.NewStringVariable("<player>/x/../a.bmp");
    static std::string program;
    program = dir / "host.exe";
    probe.table().GetModuleFileNameA = [](HMODULE, LPSTR out, DWORD size) WINAPI -> DWORD {
        lstrcpynA(out, program.c_str(), static_cast<int>(size));
        return static_cast<DWORD>(program.size());
    };
    answer = dir / "a.bmp";
    confirm = true;
    Fire(NewModifier(true, Host::Reference(name)));
    ASSERT_EQ(shown.calls, 1);
    const OPENFILENAMEA& r = shown.record;
    EXPECT_EQ(r.lStructSize, 76u);
    EXPECT_EQ(r.hwndOwner, kActive);
    EXPECT_EQ(r.hInstance, nullptr);
    const std::string open = "Pictures (*.bmp;*.png;*.jpg;*.jpeg;*.gif;*.tif;*.tiff)\0*.bmp;*.png;*.jpg;*.jpeg;*.gif;"
                             "*.tif;*.tiff\0Bitmap files (*.bmp)\0*.bmp\0All files (*.*)\0*.*\0\0"s;
    const std::string save = "Bitmap files (*.bmp)\0*.bmp\0PNG pictures (*.png)\0*.png\0JPEG pictures "
                             "(*.jpg;*.jpeg)\0*.jpg;*.jpeg\0All files (*.*)\0*.*\0\0"s;
    EXPECT_EQ(shown.filters, importing() ? open : save);
    EXPECT_EQ(r.lpstrCustomFilter, nullptr);
    EXPECT_EQ(r.nFilterIndex, 0u);
    EXPECT_EQ(r.nMaxFile, 256u);
    EXPECT_EQ(r.lpstrFileTitle, nullptr);
    EXPECT_EQ(r.lpstrInitialDir, nullptr);
    EXPECT_EQ(r.lpstrTitle, nullptr);
    EXPECT_EQ(r.Flags, 0x200002u);
    EXPECT_EQ(shown.defaultExtension, "bmp");
    EXPECT_EQ(r.lpfnHook, nullptr);
    EXPECT_EQ(r.lpTemplateName, nullptr);
    EXPECT_EQ(shown.initialName, dir / "x\\..\\a.bmp") << "the expanded name, not yet normalised";
}

// What the dialog gives back, from the 255-character name to a failure of
// the dialog itself, and what is written back for it.
TEST_P(DialogRecord, AnswersOfTheDialog) {
    const std::string head = dir.path() + "\\";
    const std::string longest = head + std::string(255 - head.size() - 4, 'd') + ".bmp";
    ASSERT_EQ(longest.size(), 255u);
    ASSERT_TRUE(WriteFileBytes(longest, MakeBmp(7, 1, 8)));
    struct Case {
        const char* name;
        bool confirm;
        std::string answer;
        bool used;
    } cases[] = {
        {"short name", true, dir / "a.bmp", true},
        {"255 characters", true, longest, true},
        {"dialog fails or is cancelled", false, dir / "a.bmp", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        confirm = c.confirm;
        answer = c.answer;
        shown = Shown{};
        const ObjectId name = host.NewStringVariable(dir / "start.bmp");
        const int16_t r = Fire(NewModifier(true, Host::Reference(name)));
        EXPECT_EQ(shown.calls, 1);
        EXPECT_EQ(r, importing() && !c.used ? 1 : 0);
        EXPECT_EQ(TextOf(name), c.used ? Portable(c.answer) : "");
        if (!importing() && c.used) {
            EXPECT_TRUE(FileExists(c.answer));
        }
    }
    EXPECT_FALSE(FileExists(dir / "start.bmp"));
    EXPECT_EQ(probe.LiveHandles(), 1);
}

INSTANTIATE_TEST_SUITE_P(ImportAndSave, DialogRecord, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Import" : "Save"; });

}  // namespace
}  // namespace io_test
