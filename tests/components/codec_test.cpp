// Import and save through the platform's codecs: every failure of COM or a
// codec call leaves the variable as it was, writes the empty name back,
// leaves no object, section, file or apartment behind; and the host's COM
// apartment is left as the action found it. The pixels themselves are
// compared with Pillow by tests/imaging/codecs.py.
#include "tests/components/import_save_fixture.h"

namespace io_test {
namespace {

class CodecRoute : public ImportSaveTest {
protected:
    // Pictures in the codecs' formats, written by the save component itself
    // from BMP files (the fault loops need files, not their pixels).
    void SetUp() override {
        ImportSaveTest::SetUp();
        ASSERT_TRUE(WriteFileBytes(dir / "old.bmp", MakeBmp(3, 2, 8)));
        ASSERT_TRUE(WriteFileBytes(dir / "rgb.bmp", MakeBmp(9, 7, 24)));
        ASSERT_TRUE(WriteFileBytes(dir / "palette.bmp", MakeBmp(9, 7, 8)));
        for (auto [from, to] : {std::pair{"rgb.bmp", "rgb.png"}, {"rgb.bmp", "rgb.jpg"}, {"palette.bmp", "palette.png"}}) {
            const ObjectId v = NewBitmapVariable();
            Load(v, dir / from);
            Handle saver = NewSaver(false, true, host.String(dir / to), v);
            ASSERT_EQ(Fire(saver), 0);
            host.Destroy(saver);
            host.Destroy(host.HandleOf(v));
            ASSERT_NE(GetFileAttributesA((dir / to).c_str()), INVALID_FILE_ATTRIBUTES) << to;
        }
    }
};

// The RGB file goes straight through the codecs; the palette file through
// their 32-bit conversion, a band at a time.
TEST_F(CodecRoute, EveryImportFailureKeepsTheOldPictureAndLeaksNothing) {
    for (const char* file : {"rgb.png", "rgb.jpg", "palette.png"}) {
        SCOPED_TRACE(file);
        const ObjectId picture = NewBitmapVariable();
        const ObjectId name = host.NewStringVariable("");
        Handle importer = NewImporter(false, true, Host::Reference(name), picture);
        ForEachFailingCall(
            probe,
            [&] {
                Load(picture, dir / "old.bmp");
                host.SetVariableValue(name, host.String(dir / file));
            },
            [&] { return Fire(importer); },
            [&](const FaultRun& run, int16_t r) {
                EXPECT_EQ(probe.LiveComObjects(), 0);
                EXPECT_EQ(probe.Apartments(), 0);
                EXPECT_EQ(probe.LiveHandles(), 1) << "only the variable's picture";
                EXPECT_EQ(probe.LockedGlobals(), 0);
                if (r == 1) {
                    EXPECT_TRUE(run.fired);
                    EXPECT_EQ(TextOf(name), "");
                    EXPECT_EQ(PictureOf(picture), (Picture{3, 2})) << "a failed read keeps the old picture";
                } else {
                    EXPECT_EQ(r, 0);
                    EXPECT_EQ(TextOf(name), Portable(dir / file));
                    const Picture now = PictureOf(picture);  // the variable may refuse a copy it cannot make
                    EXPECT_TRUE(now == (Picture{9, 7}) || (run.fired && now == (Picture{3, 2}))) << now;
                }
            });
        host.Destroy(importer);
        host.Destroy(host.HandleOf(picture));
    }
}

TEST_F(CodecRoute, EverySaveFailureLeavesNoFileUnderTheName) {
    const ObjectId picture = NewBitmapVariable();
    Load(picture, dir / "palette.png");
    for (const char* file : {"out.png", "out.jpeg"}) {
        SCOPED_TRACE(file);
        const ObjectId name = host.NewStringVariable("");
        Handle saver = NewSaver(false, true, Host::Reference(name), picture);
        ForEachFailingCall(
            probe,
            [&] {
                DeleteFileA((dir / file).c_str());
                host.SetVariableValue(name, host.String(dir / file));
            },
            [&] { return Fire(saver); },
            [&](const FaultRun& run, int16_t r) {
                EXPECT_EQ(r, 0);
                EXPECT_EQ(probe.LiveComObjects(), 0);
                EXPECT_EQ(probe.Apartments(), 0);
                EXPECT_EQ(probe.LiveHandles(), 1) << "only the variable's picture";
                const bool there = GetFileAttributesA((dir / file).c_str()) != INVALID_FILE_ATTRIBUTES;
                EXPECT_EQ(TextOf(name), there ? Portable(dir / file) : "");
                if (!run.fired) {
                    EXPECT_TRUE(there);
                } else if (there) {
                    // A DeleteFileA that fails after a failed write is the one
                    // way a file can stay; a failure before it leaves none.
                    EXPECT_EQ(run.call, "DeleteFileA");
                }
            });
        host.Destroy(saver);
    }
}

// The host's thread may be in no apartment, in one of its own, or in the
// multithreaded one: an import and a save work in each and leave it so.
TEST_F(CodecRoute, TheHostsApartmentIsLeftAsItWas) {
    const Platform& com = RealPlatform();
    enum class Start { None, SingleThreaded, MultiThreaded };
    for (Start start : {Start::None, Start::SingleThreaded, Start::MultiThreaded}) {
        SCOPED_TRACE(static_cast<int>(start));
        if (start != Start::None) {
            ASSERT_EQ(com.CoInitializeEx(nullptr, start == Start::MultiThreaded ? COINIT_MULTITHREADED
                                                                                : COINIT_APARTMENTTHREADED),
                      S_OK);
        }
        const ObjectId picture = NewBitmapVariable();
        Load(picture, dir / "rgb.png");
        EXPECT_EQ(PictureOf(picture), (Picture{9, 7}));
        Handle saver = NewSaver(false, true, host.String(dir / "again.png"), picture);
        EXPECT_EQ(Fire(saver), 0);
        EXPECT_NE(GetFileAttributesA((dir / "again.png").c_str()), INVALID_FILE_ATTRIBUTES);
        host.Destroy(saver);
        host.Destroy(host.HandleOf(picture));
        EXPECT_EQ(probe.Apartments(), 0);
        // What the thread is in now: a new single-threaded apartment, the one
        // it had (S_FALSE), or the multithreaded one still.
        const HRESULT now = com.CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        const HRESULT want[] = {S_OK, S_FALSE, RPC_E_CHANGED_MODE};
        EXPECT_EQ(now, want[static_cast<int>(start)]);
        if (SUCCEEDED(now)) com.CoUninitialize();
        if (start != Start::None) com.CoUninitialize();
    }
}

}  // namespace
}  // namespace io_test
