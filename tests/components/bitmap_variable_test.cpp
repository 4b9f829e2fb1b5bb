// The bitmap variable driven through the host simulator, with real GDI
// bitmaps and the platform probe counting what the plug-in holds.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/gdi.h"
#include "tests/support/component_fixture.h"
#include "tests/support/failing_calls.h"

namespace {

using hostsim::Handle;
using hostsim::Host;

constexpr int16_t kPoisonTag = 0x7FFF;

struct Name16 {
    char bytes[32] = {};  // the host's 16 bytes, and room behind them
    explicit Name16(const char* text, size_t length = 0) {
        std::memcpy(bytes, text, length ? length : std::strlen(text));
    }
};

HostValue Poisoned(int16_t tag) {
    HostValue v;
    std::memset(&v, 0xAA, sizeof v);
    v.tag = tag;
    return v;
}

class BitmapVariable : public ComponentTest {
protected:
    BitmapVariable() : ComponentTest({"zqBitmapVariable"}) {}

    Handle NewVariable() { return host.Create("zqBitmapVariable"); }
    // A variable holding its own copy of `made`, which is deleted.
    Handle Holding(HBITMAP made) {
        Handle v = NewVariable();
        EXPECT_EQ(Store(v, made), 0);
        DeleteObject(made);
        return v;
    }

    int16_t Get(Handle v, const Name16& name, HostValue* value) {
        return host.CallSlot(v, 0, kSlotGetAttribute, v, static_cast<const char*>(name.bytes), 0u, value);
    }
    int16_t Set(Handle v, const Name16& name, HostValue value) {
        return host.CallSlot(v, 0, kSlotSetAttribute, v, static_cast<const char*>(name.bytes), 0u, &value);
    }
    // An integer attribute; fails the test when it is not answered.
    int32_t Read(Handle v, const char* name) {
        HostValue value = Poisoned(kTagAny);
        EXPECT_EQ(Get(v, Name16{name}, &value), 0) << name;
        EXPECT_EQ(value.tag, kTagInteger) << name;
        return IntegerPayload(&value);
    }
    HBITMAP Held(Handle v) { return BitmapOf(Read(v, "value")); }
    int16_t Store(Handle v, HBITMAP b) { return Set(v, Name16{"value"}, Host::Integer(Payload(b))); }
};

TEST_F(BitmapVariable, NewVariableIsEmpty) {
    Handle v = NewVariable();
    for (const char* name : {"value", "width", "height", "bitmap"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Read(v, name), 0);
    }
}

TEST_F(BitmapVariable, ValueIsAnsweredOnlyForAnIntegerOrAnyRequest) {
    Handle v = Holding(gdi::MakeDibSection(8, 4, 4));
    const struct {
        int16_t preset;
        bool served;
    } kCases[] = {{kTagInteger, true}, {kTagAny, true}, {kTagString, false}, {kTagEmpty, false}, {kTagFloat, false}, {kTagReference, false}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.preset);
        HostValue value = Poisoned(c.preset);
        const HostValue before = value;
        const int16_t r = Get(v, Name16{"value"}, &value);
        if (c.served) {
            EXPECT_EQ(r, 0);
            EXPECT_EQ(value.tag, kTagInteger);
            EXPECT_NE(IntegerPayload(&value), 0);
        } else {
            EXPECT_EQ(r, 1);
            EXPECT_EQ(std::memcmp(&value, &before, sizeof value), 0) << "a refused read wrote the value";
        }
    }
}

TEST_F(BitmapVariable, NamesAreMatchedOverSixteenBytesWithoutCase) {
    Handle v = Holding(gdi::MakeDibSection(24, 7, 5));
    const struct {
        Name16 name;
        bool served;
    } kCases[] = {
        {Name16{"VALUE"}, true},
        {Name16{"Width"}, true},
        {Name16{"HEIGHT"}, true},
        {Name16{"bitMap"}, true},
        {Name16{"values"}, false},
        {Name16{"widt"}, false},
        {Name16{"height\0x", 8}, false},     // a byte behind the terminator counts
        {Name16{"width\0\0\0\0\0\0\0\0\0\0\0x", 17}, true},  // byte 16 is not part of the name
        {Name16{"w\xC9" "dth"}, false},      // only A to Z fold
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name.bytes);
        HostValue value = Poisoned(kTagAny);
        const int16_t r = Get(v, c.name, &value);
        EXPECT_EQ(r, c.served ? 0 : 1);
        if (c.served) {
            EXPECT_EQ(value.tag, kTagInteger);
            const auto payload = static_cast<uint32_t>(IntegerPayload(&value));
            auto block = reinterpret_cast<HGLOBAL>(static_cast<uintptr_t>(payload));
            if (probe.TakeBlock(block)) GlobalFree(block);  // "bitmap" hands over a block
        } else {
            EXPECT_EQ(value.tag, kTagAny);
        }
    }
    HostValue width = Poisoned(kTagAny);
    Get(v, Name16{"WIDTH"}, &width);
    EXPECT_EQ(IntegerPayload(&width), 7);
}

TEST_F(BitmapVariable, OnlyValueIsWritableAndOnlyWithAHandleOrLongReference) {
    Handle v = NewVariable();
    HBITMAP source = gdi::MakeDibSection(8, 6, 3);
    ASSERT_EQ(Store(v, source), 0);
    const HBITMAP held = Held(v);
    const struct {
        const char* name;
        HostValue value;
    } kCases[] = {
        {"width", Host::Integer(99)},
        {"height", Host::Integer(99)},
        {"bitmap", Host::Integer(Payload(source))},
        {"error", Host::Integer(Payload(source))},
        {"value", Host::Float(1.0)},
        {"value", Host::Reference(host.IdOf(v))},
        {"value", Host::Empty()},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(std::string(c.name) + " tag " + std::to_string(c.value.tag));
        EXPECT_EQ(Set(v, Name16{c.name}, c.value), 1);
        EXPECT_EQ(Held(v), held);
        EXPECT_EQ(Read(v, "width"), 6);
    }
    DeleteObject(source);
}

struct Source {
    const char* name;
    HBITMAP (*make)();
    bool section;  // pixel memory exposed
};

const Source kSources[] = {
    {"section1", [] { return gdi::MakeDibSection(1, 13, 5); }, true},
    {"section4", [] { return gdi::MakeDibSection(4, 9, 4); }, true},
    {"section8", [] { return gdi::MakeDibSection(8, 11, 6); }, true},
    {"section16", [] { return gdi::MakeDibSection(16, 5, 7); }, true},
    {"section24", [] { return gdi::MakeDibSection(24, 3, 4); }, true},
    {"section32", [] { return gdi::MakeDibSection(32, 6, 2); }, true},
    {"device32", [] { return gdi::MakeDeviceBitmap(10, 8); }, false},
    {"deviceMono", [] { return gdi::MakeMonoBitmap(17, 3); }, false},
};

void PrintTo(const Source& s, std::ostream* os) { *os << s.name; }

class StoredBitmap : public BitmapVariable, public ::testing::WithParamInterface<Source> {};

// The variable keeps its own copy in the source's format, with its pixels,
// after the writer has deleted the bitmap it passed.
TEST_P(StoredBitmap, KeepsFormatAndPixelsAfterTheWriterDeletesItsOwn) {
    HBITMAP source = GetParam().make();
    ASSERT_NE(source, nullptr);
    const BITMAP want = gdi::RecordOf(source);
    const gdi::Dib wantDib = gdi::ReadDib(source);
    const auto wantColours = GetParam().section ? gdi::SectionColours(source) : std::vector<RGBQUAD>{};

    Handle v = Holding(source);

    const HBITMAP held = Held(v);
    ASSERT_NE(held, nullptr);
    EXPECT_NE(held, source);
    const BITMAP got = gdi::RecordOf(held);
    EXPECT_EQ(got.bmWidth, want.bmWidth);
    EXPECT_EQ(got.bmHeight, want.bmHeight);
    EXPECT_EQ(got.bmBitsPixel, want.bmBitsPixel);
    EXPECT_EQ(got.bmBits != nullptr, GetParam().section) << "exposed pixel memory";
    EXPECT_EQ(Read(v, "width"), want.bmWidth);
    EXPECT_EQ(Read(v, "height"), want.bmHeight);
    const gdi::Dib gotDib = gdi::ReadDib(held);
    EXPECT_EQ(gotDib.lines, want.bmHeight);
    EXPECT_EQ(gotDib.pixels, wantDib.pixels);
    EXPECT_TRUE(gdi::SamePalette(gotDib.palette, wantDib.palette));
    if (GetParam().section) {
        EXPECT_TRUE(gdi::SamePalette(gdi::SectionColours(held), wantColours)) << "colour table";
    }
    EXPECT_EQ(probe.LiveBitmaps(), 1);
}

TEST_P(StoredBitmap, StoringTheVariablesOwnHandleKeepsIt) {
    HBITMAP source = GetParam().make();
    Handle v = NewVariable();
    ASSERT_EQ(Store(v, source), 0);
    const gdi::Dib want = gdi::ReadDib(source);
    DeleteObject(source);

    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(Store(v, Held(v)), 0);
        EXPECT_EQ(gdi::ReadDib(Held(v)).pixels, want.pixels) << "round " << round;
    }
    EXPECT_EQ(probe.LiveBitmaps(), 1);
}

INSTANTIATE_TEST_SUITE_P(Kinds, StoredBitmap, ::testing::ValuesIn(kSources),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BitmapVariable, NullOrNonBitmapEmptiesTheVariable) {
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    HDC dc = CreateCompatibleDC(nullptr);
    const struct {
        const char* name;
        int32_t payload;
        int16_t result;
    } kCases[] = {
        {"null", 0, 0},
        {"brush", Payload(reinterpret_cast<HBITMAP>(brush)), 1},
        {"device context", Payload(reinterpret_cast<HBITMAP>(dc)), 1},
        {"no handle at all", 0x00BADBAD, 1},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        Handle v = Holding(gdi::MakeDibSection(8, 4, 4));
        EXPECT_EQ(Set(v, Name16{"value"}, Host::Integer(c.payload)), c.result);
        for (const char* name : {"value", "width", "height", "bitmap"}) EXPECT_EQ(Read(v, name), 0) << name;
        EXPECT_EQ(probe.LiveBitmaps(), 0) << "the old bitmap is deleted";
        host.Destroy(v);
    }
    DeleteDC(dc);
    DeleteObject(brush);
}

// Layout of the packed block for each depth, pixels checked against GetDIBits.
struct PackedCase {
    const char* name;
    int bits, width, height;
    uint32_t palette;     // P
    uint32_t bitsOffset;  // 48 + 4P
    uint32_t imageBytes;  // S
};

const PackedCase kPacked[] = {
    {"bits8_100x100", 8, 100, 100, 256, 1072, 10000},
    {"bits24_3wide", 24, 3, 5, 0, 48, 60},  // rows of 9 bytes padded to 12
    {"bits16", 16, 5, 3, 65536, 262192, 36},
    {"bits1", 1, 33, 2, 2, 56, 16},
    {"bits4", 4, 3, 3, 16, 112, 12},
    {"bits32", 32, 2, 2, 0, 48, 16},
};

void PrintTo(const PackedCase& c, std::ostream* os) { *os << c.name; }

class PackedBlock : public BitmapVariable, public ::testing::WithParamInterface<PackedCase> {};

TEST_P(PackedBlock, HasTheLayoutAndThePixelsOfTheBitmap) {
    const PackedCase& c = GetParam();
    Handle v = Holding(gdi::MakeDibSection(c.bits, c.width, c.height));

    const auto block = reinterpret_cast<HGLOBAL>(static_cast<uintptr_t>(static_cast<uint32_t>(Read(v, "bitmap"))));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(probe.LockedGlobals(), 0) << "handed over locked";
    EXPECT_EQ(GlobalFlags(block) & GMEM_LOCKCOUNT, 0u);
    const SIZE_T total = c.bitsOffset + c.imageBytes;
    EXPECT_GE(GlobalSize(block), total);
    const auto* p = static_cast<const uint8_t*>(GlobalLock(block));
    ASSERT_NE(p, nullptr);
    BITMAPINFOHEADER h;
    std::memcpy(&h, p + 4, sizeof h);
    EXPECT_EQ(LoadAt<uint32_t>(p, 0), c.bitsOffset);
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, c.width);
    EXPECT_EQ(h.biHeight, c.height);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, c.bits);
    EXPECT_EQ(h.biCompression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(h.biSizeImage, c.imageBytes);
    EXPECT_EQ(h.biXPelsPerMeter, 0);
    EXPECT_EQ(h.biYPelsPerMeter, 0);
    EXPECT_EQ(h.biClrUsed, c.palette) << "the conversion's 0 must not stay";
    EXPECT_EQ(h.biClrImportant, 0u);
    EXPECT_EQ(LoadAt<uint32_t>(p, 44 + 4 * c.palette), 0u) << "spare bytes";

    const gdi::Dib want = gdi::ReadDib(Held(v));
    ASSERT_EQ(want.pixels.size(), c.imageBytes);
    EXPECT_EQ(std::memcmp(p + c.bitsOffset, want.pixels.data(), c.imageBytes), 0) << "pixels";
    if (c.bits <= 8) {
        EXPECT_EQ(std::memcmp(p + 44, want.palette.data(), 4 * c.palette), 0) << "palette";
    }
    GlobalUnlock(block);
    probe.TakeBlock(block);  // the caller owns it
    GlobalFree(block);
}

INSTANTIATE_TEST_SUITE_P(Depths, PackedBlock, ::testing::ValuesIn(kPacked),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BitmapVariable, PackedBlockOfADeviceBitmapHasItsPixels) {
    HBITMAP source = gdi::MakeDeviceBitmap(9, 4);
    const BITMAP bm = gdi::RecordOf(source);
    Handle v = Holding(source);
    const auto block = reinterpret_cast<HGLOBAL>(static_cast<uintptr_t>(static_cast<uint32_t>(Read(v, "bitmap"))));
    ASSERT_NE(block, nullptr);
    const auto* p = static_cast<const uint8_t*>(GlobalLock(block));
    const uint32_t offset = LoadAt<uint32_t>(p, 0);
    EXPECT_EQ(LoadAt<uint16_t>(p, 18), bm.bmBitsPixel);
    const gdi::Dib want = gdi::ReadDib(Held(v));
    EXPECT_EQ(std::memcmp(p + offset, want.pixels.data(), want.pixels.size()), 0);
    GlobalUnlock(block);
    probe.TakeBlock(block);
    GlobalFree(block);
}

// Copies made by the host are separate bitmaps; destroying one leaves the
// other readable, and assigning over a variable deletes what it held.
TEST_F(BitmapVariable, CopiesAreIndependent) {
    HBITMAP source = gdi::MakeDibSection(8, 12, 9);
    const gdi::Dib want = gdi::ReadDib(source);
    Handle a = Holding(source);

    Handle copied = host.CopyConstruct(a);
    Handle assigned = Holding(gdi::MakeDibSection(24, 2, 2));
    EXPECT_EQ(host.Assign(assigned, a), 0);
    EXPECT_EQ(probe.LiveBitmaps(), 3) << "assignment deletes the bitmap it replaces";

    EXPECT_NE(Held(copied), Held(a));
    EXPECT_NE(Held(assigned), Held(a));
    host.Destroy(a);
    for (Handle v : {copied, assigned}) {
        EXPECT_EQ(Read(v, "width"), 12);
        EXPECT_EQ(gdi::ReadDib(Held(v)).pixels, want.pixels);
    }
    EXPECT_EQ(host.Assign(copied, copied), 0);
    EXPECT_EQ(gdi::ReadDib(Held(copied)).pixels, want.pixels) << "assigned to itself";

    Handle empty = NewVariable();
    Handle fromEmpty = host.CopyConstruct(empty);  // the host's block starts as poison
    EXPECT_EQ(Read(fromEmpty, "value"), 0);
    EXPECT_EQ(host.Assign(assigned, empty), 0);
    EXPECT_EQ(Read(assigned, "value"), 0);
    EXPECT_EQ(probe.LiveBitmaps(), 1);
}

TEST_F(BitmapVariable, LongReferenceIsConvertedByTheHost) {
    HBITMAP source = gdi::MakeDibSection(4, 8, 8);
    const gdi::Dib want = gdi::ReadDib(source);
    Handle from = Holding(source);

    Handle to = NewVariable();
    ASSERT_EQ(Set(to, Name16{"value"}, Host::LongReference(host.IdOf(from))), 0);
    EXPECT_NE(Held(to), Held(from));
    EXPECT_EQ(gdi::ReadDib(Held(to)).pixels, want.pixels);

    // A reference the host cannot convert: its status comes back, nothing changes.
    const HBITMAP held = Held(to);
    const int16_t r = Set(to, Name16{"value"}, Host::LongReference(host.NewIntegerVariable(5)));
    EXPECT_NE(r, 0);
    EXPECT_NE(r, 1) << "the host's own status";
    EXPECT_EQ(Held(to), held);
}

TEST_F(BitmapVariable, LongLoopLeaksNothing) {
    HBITMAP sources[] = {gdi::MakeDibSection(8, 16, 16), gdi::MakeDeviceBitmap(16, 16)};
    Handle keep = NewVariable();
    for (int i = 0; i < 400; ++i) {
        Handle v = NewVariable();
        ASSERT_EQ(Store(v, sources[i % 2]), 0);
        ASSERT_EQ(Store(v, Held(v)), 0);
        Handle c = host.CopyConstruct(v);
        ASSERT_EQ(host.Assign(keep, c), 0);
        const auto block = reinterpret_cast<HGLOBAL>(static_cast<uintptr_t>(static_cast<uint32_t>(Read(c, "bitmap"))));
        ASSERT_NE(block, nullptr);
        probe.TakeBlock(block);
        GlobalFree(block);
        host.Destroy(v);
        host.Destroy(c);
        ASSERT_EQ(probe.LiveGdiObjects(), 1) << "round " << i;
    }
    host.Destroy(keep);
    EXPECT_EQ(probe.LiveGdiObjects(), 0);
    for (HBITMAP s : sources) DeleteObject(s);
}

// Every failable platform call of a store fails once in turn. A store either
// holds a full copy of the source or is refused and keeps the old bitmap
// (only putting a selection back may fail without harm); nothing is left
// behind either way.
TEST_F(BitmapVariable, FailedStoreIsRefusedAndKeepsTheOldBitmap) {
    HBITMAP source = gdi::MakeDibSection(8, 5, 5, 7);
    const gdi::Dib want = gdi::ReadDib(source);
    Handle v = Holding(gdi::MakeDibSection(24, 3, 3));
    HBITMAP old = nullptr;
    int32_t oldWidth = 0;
    ForEachFailingCall(
        probe,
        [&] {
            old = Held(v);
            oldWidth = Read(v, "width");
        },
        [&] { return Store(v, source); },
        [&](const FaultRun& run, int16_t r) {
            EXPECT_EQ(probe.LiveBitmaps(), 1);
            EXPECT_EQ(probe.LiveDcs(), 0);
            EXPECT_EQ(probe.LiveGlobals(), 0);
            if (!run.fired) {
                EXPECT_EQ(r, 0);
            }
            if (r == 0) {
                EXPECT_EQ(gdi::ReadDib(Held(v)).pixels, want.pixels);
            } else {
                EXPECT_EQ(r, 1);
                EXPECT_EQ(Held(v), old);
                EXPECT_EQ(Read(v, "width"), oldWidth);
            }
        });
    DeleteObject(source);
}

TEST_F(BitmapVariable, FailedCopyLeavesTheDestinationEmpty) {
    HBITMAP source = gdi::MakeDibSection(8, 5, 5);
    const gdi::Dib want = gdi::ReadDib(source);
    Handle v = Holding(source);
    ForEachFailingCall(
        probe, [&] { return host.CopyConstruct(v); },
        [&](const FaultRun& run, Handle copy) {
            EXPECT_EQ(probe.LiveDcs(), 0);
            EXPECT_EQ(probe.LiveGlobals(), 0);
            if (!run.fired) {
                EXPECT_NE(Read(copy, "value"), 0);
            }
            if (Read(copy, "value") == 0) {
                EXPECT_EQ(probe.LiveBitmaps(), 1);
                EXPECT_EQ(Read(copy, "width"), 0);
            } else {
                EXPECT_EQ(gdi::ReadDib(Held(copy)).pixels, want.pixels);
            }
            host.Destroy(copy);
        });
}

TEST_F(BitmapVariable, FailedPackedBlockGivesZeroAndLeavesNothing) {
    Handle v = Holding(gdi::MakeDibSection(16, 4, 4));
    HostValue value;
    ForEachFailingCall(
        probe, [&] { value = Poisoned(kTagAny); },
        [&] { return Get(v, Name16{"bitmap"}, &value); },
        [&](const FaultRun& run, int16_t r) {
            EXPECT_EQ(r, 0);
            EXPECT_EQ(value.tag, kTagInteger);
            EXPECT_EQ(probe.LiveDcs(), 0);
            if (run.fired) {
                EXPECT_EQ(IntegerPayload(&value), 0);
                EXPECT_EQ(probe.LiveGlobals(), 0);
                return;
            }
            const auto payload = static_cast<uint32_t>(IntegerPayload(&value));
            auto block = reinterpret_cast<HGLOBAL>(static_cast<uintptr_t>(payload));
            ASSERT_NE(block, nullptr);
            probe.TakeBlock(block);
            GlobalFree(block);
        });
    EXPECT_EQ(Read(v, "width"), 4) << "reads never change the variable";
}

}  // namespace
