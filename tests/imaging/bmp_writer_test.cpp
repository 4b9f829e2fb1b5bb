#include "imaging/bmp_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "imaging/bmp_reader.h"
#include "tests/imaging/bmp_test_util.h"
#include "tests/support/failing_calls.h"
#include "tests/support/files.h"
#include "tests/support/platform_probe.h"

using namespace bmptest;

namespace {

const TempFolder scratch;
std::string Scratch(const std::string& name) { return scratch / name; }

struct LayoutCase {
    const char* name;
    int width, height, bits;
    uint32_t offBits, clrUsed, stride;
};

// Every header field of the file, against the bitmap it came from.
TEST(BmpWriter, WritesTheFileLayoutAtEveryDepth) {
    const LayoutCase kCases[] = {
        {"monochrome", 10, 3, 1, 62, 2, 4},
        {"4-bit", 9, 2, 4, 118, 16, 8},
        {"8-bit", 100, 100, 8, 1078, 256, 100},
        {"16-bit", 5, 4, 16, 262198, 65536, 12},
        {"24-bit 3 px wide", 3, 5, 24, 54, 0, 12},
        {"32-bit", 7, 2, 32, 54, 0, 28},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        PlatformProbe probe;
        HBITMAP b = gdi::MakeDibSection(c.bits, c.width, c.height);
        ASSERT_TRUE(b);
        const std::string path = Scratch("layout.bmp");
        ASSERT_EQ(SaveBmpFile(path.c_str(), b), 1);
        std::vector<uint8_t> f = FileBytes(path);
        const uint32_t image = c.stride * c.height;
        ASSERT_EQ(f.size(), c.offBits + image);
        EXPECT_EQ(f[0], 'B');
        EXPECT_EQ(f[1], 'M');
        EXPECT_EQ(Le32(f, 2), c.offBits + image);  // bfSize
        EXPECT_EQ(Le32(f, 6), 0u);                  // both reserved words
        EXPECT_EQ(Le32(f, 10), c.offBits);          // bfOffBits
        EXPECT_EQ(Le32(f, 14), 40u);                // biSize
        EXPECT_EQ(Le32(f, 18), static_cast<uint32_t>(c.width));
        EXPECT_EQ(Le32(f, 22), static_cast<uint32_t>(c.height));
        EXPECT_EQ(Le16(f, 26), 1);                  // biPlanes
        EXPECT_EQ(Le16(f, 28), c.bits);             // biBitCount
        EXPECT_EQ(Le32(f, 30), 0u);                 // BI_RGB
        EXPECT_EQ(Le32(f, 34), image);              // biSizeImage
        EXPECT_EQ(Le32(f, 38), 0u);                 // densities
        EXPECT_EQ(Le32(f, 42), 0u);
        EXPECT_EQ(Le32(f, 46), c.clrUsed);          // kept although the conversion clears it
        EXPECT_EQ(Le32(f, 50), 0u);                 // biClrImportant

        // Palette: the bitmap's colours up to 8 bits, zero at 16.
        std::vector<RGBQUAD> table = gdi::SectionColours(b);
        for (uint32_t i = 0; i < c.clrUsed; ++i) {
            uint32_t entry = Le32(f, 54 + 4 * i);
            uint32_t want = 0;
            if (i < table.size())
                want = table[i].rgbBlue | table[i].rgbGreen << 8 | table[i].rgbRed << 16;
            ASSERT_EQ(entry, want) << "entry " << i;
        }
        // Rows: the section's own bytes, bottom row first, padded.
        std::vector<uint8_t> rows(f.begin() + c.offBits, f.end());
        EXPECT_EQ(rows, gdi::SectionBytes(b));

        DeleteObject(b);
        EXPECT_EQ(probe.LiveHandles(), 0);
        DeleteFileA(path.c_str());
    }
}

// Forces the conversion path by hiding that the bitmap is a DIB section.
int WINAPI GetObjectNoSection(HANDLE h, int n, LPVOID out) {
    if (n == sizeof(DIBSECTION)) n = sizeof(BITMAP);
    return PlatformProbe::Current().inner().GetObjectA(h, n, out);
}

int gFullConversions = 0;
int WINAPI CountingGetDIBits(HDC dc, HBITMAP b, UINT first, UINT n, LPVOID bits, LPBITMAPINFO info, UINT usage) {
    if (n > 1) ++gFullConversions;
    return PlatformProbe::Current().inner().GetDIBits(dc, b, first, n, bits, info, usage);
}

TEST(BmpWriter, SectionRowsWrittenDirectlyEqualTheConversion) {
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        SCOPED_TRACE(bits);
        const std::string direct = Scratch("direct.bmp"), converted = Scratch("converted.bmp");
        HBITMAP b = gdi::MakeDibSection(bits, 33, 17, 5);
        ASSERT_TRUE(b);
        {
            PlatformProbe probe;
            probe.table().GetDIBits = CountingGetDIBits;
            gFullConversions = 0;
            ASSERT_EQ(SaveBmpFile(direct.c_str(), b), 1);
            EXPECT_EQ(gFullConversions, 0) << "the section's rows were converted";
        }
        {
            PlatformProbe probe;
            probe.table().GetObjectA = GetObjectNoSection;
            probe.table().GetDIBits = CountingGetDIBits;
            gFullConversions = 0;
            ASSERT_EQ(SaveBmpFile(converted.c_str(), b), 1);
            EXPECT_EQ(gFullConversions, 1);
        }
        std::vector<uint8_t> a = FileBytes(direct), c = FileBytes(converted);
        ASSERT_FALSE(a.empty());
        EXPECT_TRUE(a == c) << "sizes " << a.size() << " and " << c.size();
        DeleteObject(b);
        DeleteFileA(direct.c_str());
        DeleteFileA(converted.c_str());
    }
}

// A device-dependent bitmap goes through the conversion: a monochrome one
// from a memory context, a screen-format one from the screen.
TEST(BmpWriter, WritesDeviceDependentBitmaps) {
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(nullptr);
    struct Case {
        const char* name;
        HDC from;
    } const kCases[] = {{"memory DC", mem}, {"screen", screen}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        HBITMAP b = CreateCompatibleBitmap(c.from, 13, 7);
        ASSERT_TRUE(b);
        HGDIOBJ old = SelectObject(mem, b);
        PatBlt(mem, 0, 0, 13, 7, WHITENESS);
        PatBlt(mem, 2, 1, 5, 3, BLACKNESS);
        SelectObject(mem, old);
        BITMAP bm;
        GetObjectA(b, sizeof bm, &bm);
        const std::string path = Scratch("ddb.bmp");
        ASSERT_EQ(SaveBmpFile(path.c_str(), b), 1);
        std::vector<uint8_t> f = FileBytes(path);
        ASSERT_GE(f.size(), 54u);
        EXPECT_EQ(Le16(f, 28), bm.bmBitsPixel);
        HBITMAP back = nullptr;
        ASSERT_EQ(LoadBmpFile(path.c_str(), &back), 1);
        EXPECT_EQ(Pixels(back), Pixels(b));
        DeleteObject(back);
        DeleteObject(b);
        DeleteFileA(path.c_str());
    }
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
}

TEST(BmpWriter, MissingDirectoryFailsAndCreatesNothing) {
    PlatformProbe probe;
    HBITMAP b = gdi::MakeDibSection(24, 4, 4);
    const std::string path = Scratch("no_such_dir\\a.bmp");
    EXPECT_EQ(SaveBmpFile(path.c_str(), b), 0);
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
    DeleteObject(b);
    EXPECT_EQ(probe.LiveHandles(), 0);
}

TEST(BmpWriter, TruncatesAnExistingFile) {
    const std::string path = Scratch("truncate.bmp");
    WriteFileBytes(path, std::vector<uint8_t>(100000, 0x5A));
    HBITMAP b = gdi::MakeDibSection(24, 3, 3);
    ASSERT_EQ(SaveBmpFile(path.c_str(), b), 1);
    EXPECT_EQ(FileBytes(path).size(), 54u + 12 * 3);
    DeleteObject(b);
    DeleteFileA(path.c_str());
}

// Every failable platform call, failed in turn: result 0 and nothing held.
// Covers each allocation, the DC, the create and each write, on the direct
// path (a section) and the conversion path (a DDB). A failed write leaves
// the part written so far, and nothing after it.
TEST(BmpWriter, EveryFailureReleasesEverything) {
    HDC mem = CreateCompatibleDC(nullptr);
    struct Case {
        const char* name;
        HBITMAP bitmap;
    } const kCases[] = {{"section", gdi::MakeDibSection(8, 9, 6)}, {"ddb", CreateCompatibleBitmap(mem, 9, 6)}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::string path = Scratch("fault.bmp");
        // The bytes a clean run writes.
        ASSERT_EQ(SaveBmpFile(path.c_str(), c.bitmap), 1);
        const std::vector<uint8_t> clean = FileBytes(path);
        std::set<std::string> failed;
        size_t lastPart = 0;  // what the previous failed write left
        PlatformProbe probe;
        ForEachFailingCall(
            probe, [&] { DeleteFileA(path.c_str()); },
            [&] { return SaveBmpFile(path.c_str(), c.bitmap); },
            [&](const FaultRun& run, int r) {
                EXPECT_EQ(probe.LiveHandles(), 0);
                const std::vector<uint8_t> written = FileBytes(path);
                if (!run.fired) {
                    EXPECT_EQ(r, 1);
                }
                if (r == 1) {
                    EXPECT_EQ(written, clean);
                }
                failed.insert(run.call);
                // A failed look at the section's rows falls back to the conversion:
                // still a whole, correct file. Anything else fails.
                if (run.call == "_lcreat" || run.call == "_hwrite" || run.call == "CreateCompatibleDC") {
                    EXPECT_EQ(r, 0);
                }
                if (run.call == "_hwrite") {
                    EXPECT_LT(written.size(), clean.size());
                    EXPECT_TRUE(std::equal(written.begin(), written.end(), clean.begin())) << "not a part of the file";
                    EXPECT_GT(written.size(), lastPart) << "an earlier write's part is gone";
                    lastPart = written.size();
                }
            });
        for (const char* call : {"GetObjectA", "GlobalAlloc", "GlobalLock", "CreateCompatibleDC", "_lcreat", "_hwrite"})
            EXPECT_TRUE(failed.count(call)) << call;
        DeleteObject(c.bitmap);
        DeleteFileA(path.c_str());
    }
    DeleteDC(mem);
}

// Every depth reads back to the same size, bit count, colour table and pixels.
TEST(BmpWriter, FilesReadBackExactly) {
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        SCOPED_TRACE(bits);
        HBITMAP b = gdi::MakeDibSection(bits, 37, 11, 9);
        const std::string path = Scratch("roundtrip.bmp");
        ASSERT_EQ(SaveBmpFile(path.c_str(), b), 1);
        PlatformProbe probe;
        HBITMAP back = nullptr;
        ASSERT_EQ(LoadBmpFile(path.c_str(), &back), 1);
        DIBSECTION a{}, r{};
        ASSERT_EQ(GetObjectA(b, sizeof a, &a), static_cast<int>(sizeof a));
        ASSERT_EQ(GetObjectA(back, sizeof r, &r), static_cast<int>(sizeof r));
        EXPECT_EQ(r.dsBm.bmWidth, 37);
        EXPECT_EQ(r.dsBm.bmHeight, 11);
        EXPECT_EQ(r.dsBm.bmBitsPixel, bits);
        std::vector<RGBQUAD> ta = gdi::SectionColours(b), tr = gdi::SectionColours(back);
        ASSERT_EQ(ta.size(), tr.size());
        EXPECT_EQ(std::memcmp(ta.data(), tr.data(), ta.size() * sizeof(RGBQUAD)), 0);
        EXPECT_EQ(gdi::SectionBytes(back), gdi::SectionBytes(b));
        EXPECT_EQ(Pixels(back), Pixels(b));
        DeleteObject(back);
        probe.TakeBitmap(back);
        EXPECT_EQ(probe.LiveHandles(), 0);
        DeleteObject(b);
        DeleteFileA(path.c_str());
    }
}

}  // namespace
