// Import and save end to end through the host simulator: names from values,
// variables and message data, write-backs, hand-over of the bitmap, every
// failure path under fault injection, and the round trip.
#include <cstring>

#include "imaging/bmp_writer.h"
#include "tests/components/import_save_fixture.h"

namespace io_test {
namespace {

// A path of exactly 255 characters in `dir`, ending in ".bmp".
std::string LongestPath(const TempFolder& dir) {
    const std::string head = dir.path() + "\\";
    return head + std::string(255 - head.size() - 4, 'n') + ".bmp";
}

TEST_F(ImportSaveTest, OtherEventTouchesNoFile) {
    const ObjectId picture = NewBitmapVariable();
    const ObjectId name = host.NewStringVariable(Portable(dir / "a.bmp"));
    ASSERT_TRUE(WriteFileBytes(dir / "a.bmp", MakeBmp(3, 2, 8)));
    for (Handle h : {NewImporter(false, true, Host::Reference(name), picture),
                     NewSaver(false, true, Host::Reference(name), picture)}) {
        FailNthCall count{probe, 0};
        EXPECT_EQ(host.Deliver(h, kEvent + 1, 0), 1);
        EXPECT_EQ(host.Deliver(h, kEvent, 7), 1) << "the qualifier must match too";
        EXPECT_EQ(probe.Calls(), 0);
        EXPECT_EQ(TextOf(name), Portable(dir / "a.bmp"));
    }
    EXPECT_EQ(PictureOf(picture), Picture{});
}

// Where the import's name comes from, and what is written back.
TEST_F(ImportSaveTest, ImportReadsTheNamedFileAndWritesBackWhereItCameFromAVariable) {
    ASSERT_TRUE(WriteFileBytes(dir / "a.bmp", MakeBmp(5, 4, 8)));
    ASSERT_TRUE(WriteFileBytes(dir / "c.bmp", MakeBmp(7, 3, 24)));
    struct Case {
        const char* name;
        std::string configured;  // text of the literal or of the string variable
        bool throughVariable;
        std::string expectWriteBack;  // for the variable
        Picture expect;
    };
    const Case cases[] = {
        {"literal, native", dir / "a.bmp", false, "", {5, 4}},
        {"literal, portable", Portable(dir / "c.bmp"), false, "", {7, 3}},
        {"variable", Portable(dir / "a.bmp"), true, Portable(dir / "a.bmp"), {5, 4}},
        {"variable, 24 bits", dir / "c.bmp", true, Portable(dir / "c.bmp"), {7, 3}},
        {"variable, missing file", Portable(dir / "none.bmp"), true, "", {}},
        {"variable, not a BMP", Portable(dir.path()), true, "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ObjectId picture = NewBitmapVariable();
        const ObjectId name = host.NewStringVariable(c.configured);
        const HostValue value = c.throughVariable ? Host::Reference(name) : host.String(c.configured);
        Handle importer = NewImporter(false, true, value, picture);
        const bool found = c.expect.width != 0;
        EXPECT_EQ(Fire(importer), found ? 0 : 1);
        EXPECT_EQ(PictureOf(picture), c.expect);
        EXPECT_EQ(TextOf(name), c.throughVariable ? c.expectWriteBack : c.configured);
        EXPECT_EQ(probe.LiveBitmaps(), found ? 1 : 0) << "only the variable's copy lives on";
        host.Destroy(importer);
        host.Destroy(host.HandleOf(picture));
    }
}

TEST_F(ImportSaveTest, ImportWithoutANameOrWithANonStringNameReadsNothing) {
    const ObjectId picture = NewBitmapVariable();
    const ObjectId number = host.NewIntegerVariable(12);
    struct Case {
        const char* name;
        bool useFileName;
        HostValue value;
    } cases[] = {
        {"both switches off", false, host.String(dir / "a.bmp")},
        {"empty field", true, Host::Empty()},
        {"integer variable", true, Host::Reference(number)},
        {"integer literal", true, Host::Integer(3)},
    };
    ASSERT_TRUE(WriteFileBytes(dir / "a.bmp", MakeBmp(3, 2, 8)));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Handle importer = NewImporter(false, c.useFileName, c.value, picture);
        FailNthCall count{probe, 0};
        EXPECT_EQ(Fire(importer), 1);
        EXPECT_EQ(probe.Calls(), 0) << "an empty name opens nothing";
        EXPECT_EQ(host.VariableValue(number).tag, kTagInteger) << "only strings receive the name";
        host.Destroy(importer);
    }
    EXPECT_EQ(PictureOf(picture), Picture{});
}

TEST_F(ImportSaveTest, NamesCarriedByMessageData) {
    ASSERT_TRUE(WriteFileBytes(dir / "m.bmp", MakeBmp(6, 2, 4)));
    const ObjectId picture = NewBitmapVariable();
    Handle importer = NewImporter(false, true, Host::MessageData(), picture);

    const HostValue literal = host.String(Portable(dir / "m.bmp"));
    EXPECT_EQ(Fire(importer, &literal), 0);
    EXPECT_EQ(PictureOf(picture), (Picture{6, 2}));

    // A reference carried by the message receives the name used.
    const ObjectId name = host.NewStringVariable(dir / "m.bmp");
    const HostValue reference = Host::Reference(name);
    host.Destroy(host.HandleOf(picture));
    const ObjectId second = NewBitmapVariable();
    host.SetField(importer, FieldOffset("zqImportBitmap", "bitmapVariable"), Host::Reference(second));
    EXPECT_EQ(Fire(importer, &reference), 0);
    EXPECT_EQ(PictureOf(second), (Picture{6, 2}));
    EXPECT_EQ(TextOf(name), Portable(dir / "m.bmp"));

    // Nothing carried: no name, nothing read.
    EXPECT_EQ(Fire(importer), 1);
    EXPECT_EQ(PictureOf(second), (Picture{6, 2})) << "a failed import keeps the old picture";
}

// Only the first 255 characters of a name are used, whatever carries it.
TEST_F(ImportSaveTest, LongNamesAreCutTo255Characters) {
    const std::string path = LongestPath(dir);
    ASSERT_EQ(path.size(), 255u);
    ASSERT_TRUE(WriteFileBytes(path, MakeBmp(2, 2, 8)));
    const std::string configured = Portable(path) + std::string(45, 'x');

    for (int carrier = 0; carrier < 3; ++carrier) {
        SCOPED_TRACE(carrier == 0 ? "literal" : carrier == 1 ? "variable" : "message data");
        const ObjectId picture = NewBitmapVariable();
        const ObjectId name = host.NewStringVariable(configured);
        const HostValue value = carrier == 0 ? host.String(configured) : Host::Reference(name);
        Handle importer = NewImporter(false, true, carrier == 2 ? Host::MessageData() : value, picture);
        EXPECT_EQ(Fire(importer, carrier == 2 ? &value : nullptr), 0);
        EXPECT_EQ(PictureOf(picture), (Picture{2, 2}));
        EXPECT_EQ(TextOf(name), carrier == 0 ? configured : Portable(path));

        // The save cuts the same way and writes to the 255-character name.
        ASSERT_TRUE(DeleteFileA(path.c_str()));
        Handle saver = NewSaver(false, true, carrier == 2 ? Host::MessageData() : value, picture);
        if (carrier != 0) host.SetVariableValue(name, host.String(configured));
        EXPECT_EQ(Fire(saver, carrier == 2 ? &value : nullptr), 0);
        EXPECT_TRUE(FileExists(path));
        EXPECT_EQ(TextOf(name), carrier == 0 ? configured : Portable(path));
        host.Destroy(saver);
        host.Destroy(importer);
        host.Destroy(host.HandleOf(picture));
    }
}

std::string program;  // what the running program is said to be
DWORD WINAPI ProgramFile(HMODULE, LPSTR out, DWORD size) {
    lstrcpynA(out, program.c_str(), static_cast<int>(size));
    return static_cast<DWORD>(program.size());
}

TEST_F(ImportSaveTest, PathTokensAreExpandedAndTheExpandedNameWrittenBack) {
    program = dir / "host.exe";
    probe.table().GetModuleFileNameA = ProgramFile;
    ASSERT_TRUE(CreateDirectoryA((dir / "sub").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(dir / "sub\\t.bmp", MakeBmp(4, 4, 1)));
    const ObjectId picture = NewBitmapVariable();
    const ObjectId name = host.NewStringVariable("<player>/sub/t.bmp");
    EXPECT_EQ(Fire(NewImporter(false, true, Host::Reference(name), picture)), 0);
    EXPECT_EQ(PictureOf(picture), (Picture{4, 4}));
    EXPECT_EQ(TextOf(name), Portable(dir / "sub\\t.bmp"));

    host.SetVariableValue(name, host.String("<PLAYER>/sub/copy.bmp"));
    EXPECT_EQ(Fire(NewSaver(false, true, Host::Reference(name), picture)), 0);
    EXPECT_TRUE(FileExists(dir / "sub\\copy.bmp"));
    EXPECT_EQ(TextOf(name), Portable(dir / "sub\\copy.bmp"));
}

TEST_F(ImportSaveTest, SecondImportReplacesThePictureAndKeepsNoBitmapAlive) {
    ASSERT_TRUE(WriteFileBytes(dir / "a.bmp", MakeBmp(3, 2, 8)));
    ASSERT_TRUE(WriteFileBytes(dir / "b.bmp", MakeBmp(9, 5, 24)));
    const ObjectId picture = NewBitmapVariable();
    Load(picture, dir / "a.bmp");
    Load(picture, dir / "b.bmp");
    EXPECT_EQ(PictureOf(picture), (Picture{9, 5}));
    EXPECT_EQ(probe.LiveHandles(), 1);
}

TEST_F(ImportSaveTest, ImportIntoAMissingVariableStillSucceedsAndKeepsNothing) {
    ASSERT_TRUE(WriteFileBytes(dir / "a.bmp", MakeBmp(3, 2, 8)));
    const ObjectId gone = NewBitmapVariable();
    host.SetUnresolvable(gone);
    for (ObjectId variable : {ObjectId{0}, gone}) {
        SCOPED_TRACE(variable);
        EXPECT_EQ(Fire(NewImporter(false, true, host.String(dir / "a.bmp"), variable)), 0);
        EXPECT_EQ(probe.LiveHandles(), 0);
    }
}

TEST_F(ImportSaveTest, SaveWritesTheVariablesPictureAndKeepsIt) {
    ASSERT_TRUE(WriteFileBytes(dir / "a.bmp", MakeBmp(5, 3, 8)));
    const ObjectId picture = NewBitmapVariable();
    Load(picture, dir / "a.bmp");
    const HBITMAP held = Held(picture);

    const ObjectId name = host.NewStringVariable(Portable(dir / "out.bmp"));
    EXPECT_EQ(Fire(NewSaver(false, true, Host::Reference(name), picture)), 0);
    EXPECT_EQ(TextOf(name), Portable(dir / "out.bmp"));
    Bytes original, saved;
    ASSERT_TRUE(ReadFileBytes(dir / "a.bmp", &original));
    ASSERT_TRUE(ReadFileBytes(dir / "out.bmp", &saved));
    EXPECT_EQ(saved, original);

    // A literal is used but receives nothing; the picture stays the variable's.
    EXPECT_EQ(Fire(NewSaver(false, true, host.String(dir / "lit.bmp"), picture)), 0);
    EXPECT_TRUE(FileExists(dir / "lit.bmp"));
    EXPECT_EQ(Held(picture), held);
    EXPECT_EQ(PictureOf(picture), (Picture{5, 3}));
    EXPECT_EQ(probe.LiveHandles(), 1);
}

BOOL WINAPI UnexpectedDialog(LPOPENFILENAMEA) {
    ADD_FAILURE() << "no dialog without a picture";
    return FALSE;
}

TEST_F(ImportSaveTest, SaveWithoutAPictureDoesNothing) {
    const ObjectId empty = NewBitmapVariable();
    const ObjectId unresolvable = NewBitmapVariable();
    host.SetUnresolvable(unresolvable);
    const ObjectId notBitmap = host.NewStringVariable("text");
    for (ObjectId variable : {ObjectId{0}, empty, unresolvable, notBitmap}) {
        SCOPED_TRACE(variable);
        const ObjectId name = host.NewStringVariable(Portable(dir / "out.bmp"));
        Handle saver = NewSaver(true, true, Host::Reference(name), variable);
        probe.table().GetSaveFileNameA = UnexpectedDialog;
        FailNthCall count{probe, 0};
        EXPECT_EQ(Fire(saver), 0);
        EXPECT_EQ(probe.Calls(), 0);
        EXPECT_EQ(TextOf(name), Portable(dir / "out.bmp")) << "nothing is written back";
        EXPECT_FALSE(FileExists(dir / "out.bmp"));
    }
}

TEST_F(ImportSaveTest, SaveToAnUnwritableNameWritesBackTheEmptyString) {
    ASSERT_TRUE(WriteFileBytes(dir / "a.bmp", MakeBmp(3, 2, 8)));
    const ObjectId picture = NewBitmapVariable();
    Load(picture, dir / "a.bmp");
    for (const std::string& target : {dir / "no\\such\\folder.bmp", std::string()}) {
        SCOPED_TRACE(target);
        const ObjectId name = host.NewStringVariable(target);
        EXPECT_EQ(Fire(NewSaver(false, true, Host::Reference(name), picture)), 0);
        EXPECT_EQ(TextOf(name), "");
    }
}

// No block for the written-back text: nothing stored, nothing leaked, and the
// action itself goes on.
TEST_F(ImportSaveTest, NoMemoryForTheWriteBack) {
    ASSERT_TRUE(WriteFileBytes(dir / "a.bmp", MakeBmp(3, 2, 8)));
    const ObjectId picture = NewBitmapVariable();
    const ObjectId name = host.NewStringVariable(dir / "a.bmp");
    host.FailNextAllocations(1);
    EXPECT_EQ(Fire(NewImporter(false, true, Host::Reference(name), picture)), 0);
    EXPECT_EQ(PictureOf(picture), (Picture{3, 2}));
    EXPECT_EQ(TextOf(name), dir / "a.bmp");

    host.SetVariableValue(name, host.String(dir / "out.bmp"));
    host.FailNextAllocations(1);
    EXPECT_EQ(Fire(NewSaver(false, true, Host::Reference(name), picture)), 0);
    EXPECT_TRUE(FileExists(dir / "out.bmp"));
    EXPECT_EQ(TextOf(name), dir / "out.bmp");
    EXPECT_EQ(probe.LiveHandles(), 1);
}

// The write-back's text block: freed by the plug-in unless the host kept it.
TEST_F(ImportSaveTest, WriteBackBlocksAreFreedByWhoeverOwnsThem) {
    ASSERT_TRUE(WriteFileBytes(dir / "a.bmp", MakeBmp(3, 2, 8)));
    const ObjectId picture = NewBitmapVariable();
    for (auto mode : {hostsim::StoredStrings::Copy, hostsim::StoredStrings::Keep,
                      hostsim::StoredStrings::OwnerIsCaller}) {
        SCOPED_TRACE(static_cast<int>(mode));
        host.SetStoredStrings(mode);
        const ObjectId name = host.NewStringVariable(dir / "a.bmp");
        host.SetUnresolvable(name, mode == hostsim::StoredStrings::Keep);  // by id too
        EXPECT_EQ(Fire(NewImporter(false, true, Host::Reference(name), picture)), 0);
        EXPECT_EQ(TextOf(name), Portable(dir / "a.bmp"));
        EXPECT_EQ(host.LiveBlocks(hostsim::Side::Plugin), 0);
    }
}

// Every failable platform call of an import, failed in turn: the old picture
// stays unless the new one arrived, the name written back tells which, and
// nothing is left behind.
TEST_F(ImportSaveTest, EveryImportFailureLeaksNothing) {
    ASSERT_TRUE(WriteFileBytes(dir / "old.bmp", MakeBmp(3, 2, 8)));
    ASSERT_TRUE(WriteFileBytes(dir / "new.bmp", MakeBmp(5, 4, 24)));
    const ObjectId picture = NewBitmapVariable();
    const ObjectId name = host.NewStringVariable("");
    Handle importer = NewImporter(false, true, Host::Reference(name), picture);
    ForEachFailingCall(
        probe,
        [&] {
            Load(picture, dir / "old.bmp");
            host.SetVariableValue(name, host.String(dir / "new.bmp"));
        },
        [&] { return Fire(importer); },
        [&](const FaultRun& run, int16_t r) {
            EXPECT_EQ(probe.LiveHandles(), PictureOf(picture).width ? 1 : 0);
            EXPECT_EQ(probe.LockedGlobals(), 0);
            if (!run.fired) {
                EXPECT_EQ(r, 0);
                EXPECT_EQ(PictureOf(picture), (Picture{5, 4}));
            } else if (r == 1) {
                EXPECT_EQ(TextOf(name), "");
                EXPECT_EQ(PictureOf(picture), (Picture{3, 2})) << "a failed read keeps the old picture";
            } else {
                EXPECT_EQ(r, 0);
                EXPECT_EQ(TextOf(name), Portable(dir / "new.bmp"));
                // The variable itself may refuse a copy it could not make.
                const Picture now = PictureOf(picture);
                EXPECT_TRUE(now == (Picture{5, 4}) || now == (Picture{3, 2})) << now;
            }
        });
}

// Every failable platform call of a save to a named file: the file is
// complete exactly when the name is written back, and nothing leaks.
TEST_F(ImportSaveTest, EverySaveFailureLeaksNothing) {
    const Bytes source = MakeBmp(6, 3, 8);
    ASSERT_TRUE(WriteFileBytes(dir / "a.bmp", source));
    const ObjectId picture = NewBitmapVariable();
    Load(picture, dir / "a.bmp");
    const ObjectId name = host.NewStringVariable("");
    Handle saver = NewSaver(false, true, Host::Reference(name), picture);
    ForEachFailingCall(
        probe,
        [&] {
            DeleteFileA((dir / "out.bmp").c_str());
            host.SetVariableValue(name, host.String(dir / "out.bmp"));
        },
        [&] { return Fire(saver); },
        [&](const FaultRun& run, int16_t r) {
            EXPECT_EQ(r, 0);
            EXPECT_EQ(probe.LiveHandles(), 1) << "only the variable's picture";
            EXPECT_EQ(probe.LockedGlobals(), 0);
            Bytes saved;
            const bool complete = ReadFileBytes(dir / "out.bmp", &saved) && saved == source;
            EXPECT_EQ(TextOf(name), complete ? Portable(dir / "out.bmp") : "");
            EXPECT_EQ(PictureOf(picture), (Picture{6, 3}));
            if (!run.fired) {
                EXPECT_TRUE(complete);
            }
        });
}

// Import a file, save it: the saved bytes are what the writer makes for the
// bitmap the variable holds, and for files in the writer's layout they are
// the original bytes.
TEST_F(ImportSaveTest, RoundTrip) {
    struct Case {
        int width, height, bits;
    } cases[] = {{1, 1, 1}, {13, 5, 1}, {7, 3, 4}, {5, 4, 8}, {3, 2, 24}, {33, 7, 24}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "x" << c.bits);
        const Bytes original = MakeBmp(c.width, c.height, c.bits, c.width);
        ASSERT_TRUE(WriteFileBytes(dir / "in.bmp", original));
        const ObjectId picture = NewBitmapVariable();
        Load(picture, dir / "in.bmp");
        EXPECT_EQ(Fire(NewSaver(false, true, host.String(dir / "out.bmp"), picture)), 0);
        ASSERT_EQ(SaveBmpFile((dir / "writer.bmp").c_str(), Held(picture)), 1);
        Bytes saved, written;
        ASSERT_TRUE(ReadFileBytes(dir / "out.bmp", &saved));
        ASSERT_TRUE(ReadFileBytes(dir / "writer.bmp", &written));
        EXPECT_EQ(saved, written);
        EXPECT_EQ(saved, original);
        host.Destroy(host.HandleOf(picture));
    }
}

}  // namespace
}  // namespace io_test
