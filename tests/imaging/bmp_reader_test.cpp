#include "imaging/bmp_reader.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/support/bmp_builder.h"
#include "tests/imaging/bmp_test_util.h"
#include "tests/support/failing_calls.h"
#include "tests/support/files.h"
#include "tests/support/platform_probe.h"

using namespace bmptest;

namespace {

const TempFolder scratch;
std::string Scratch(const std::string& name) { return scratch / name; }

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF,
                   kBlack = 0, kGrey = 0x808080;

// Loads `file` under a probe; on success returns the pixels, top row first.
struct Loaded {
    BmpStatus result;
    bool bitmap;
    int bitCount;
    std::vector<uint32_t> pixels;
};
Loaded Load(const std::vector<uint8_t>& file) {
    const std::string path = Scratch("reader.bmp");
    WriteFileBytes(path, file);
    PlatformProbe probe;
    HBITMAP b = reinterpret_cast<HBITMAP>(0x1234);
    Loaded out{ReadBmpFile(path.c_str(), &b), b != nullptr, 0, {}};
    if (b) {
        BITMAP bm{};
        GetObjectA(b, sizeof bm, &bm);
        out.bitCount = bm.bmBitsPixel;
        out.pixels = Pixels(b);
        DeleteObject(b);
        probe.TakeBitmap(b);
    }
    EXPECT_EQ(probe.LiveHandles(), 0);
    EXPECT_TRUE(probe.Errors().empty());
    DeleteFileA(path.c_str());
    return out;
}

struct VariantCase {
    const char* name;
    BmpBuilder file;
    std::vector<uint32_t> pixels;  // top row first
    int bitCount;
};

BmpBuilder Pal8(int32_t height, std::vector<uint8_t> pixels) {
    BmpBuilder b;
    b.width = 3;
    b.height = height;
    b.clrUsed = 3;
    b.palette = {kRed, kGreen, kBlue};
    b.pixels = std::move(pixels);
    return b;
}

std::vector<VariantCase> Variants() {
    std::vector<VariantCase> v;
    // 3 px wide at 8 bits: rows of 3 bytes padded to 4.
    v.push_back({"short palette, bottom-up", Pal8(2, {0, 1, 2, 0, 2, 2, 1, 0}),
                 {kBlue, kBlue, kGreen, kRed, kGreen, kBlue}, 8});
    v.push_back({"top-down", Pal8(-2, {0, 1, 2, 0, 2, 2, 1, 0}),
                 {kRed, kGreen, kBlue, kBlue, kBlue, kGreen}, 8});
    BmpBuilder gap = Pal8(2, {0, 1, 2, 0, 2, 2, 1, 0});
    gap.gap = 37;  // pixels at bfOffBits, not behind the palette
    v.push_back({"pixels at bfOffBits", gap, {kBlue, kBlue, kGreen, kRed, kGreen, kBlue}, 8});
    BmpBuilder dirty = Pal8(2, {0, 1, 2, 0x77, 2, 2, 1, 0x99});  // padding bytes are not pixels
    v.push_back({"padding ignored", dirty, {kBlue, kBlue, kGreen, kRed, kGreen, kBlue}, 8});

    for (uint32_t size : {108u, 124u}) {
        BmpBuilder b = Pal8(2, {0, 1, 2, 0, 2, 2, 1, 0});
        b.headerSize = size;
        v.push_back({size == 108 ? "V4 header" : "V5 header", b,
                     {kBlue, kBlue, kGreen, kRed, kGreen, kBlue}, 8});
    }

    BmpBuilder mono;
    mono.width = 10;
    mono.height = 1;
    mono.bits = 1;
    mono.palette = {kBlack, kWhite};
    mono.pixels = {0xA5, 0xC0, 0, 0};  // 1010010111
    v.push_back({"1-bit", mono,
                 {kWhite, kBlack, kWhite, kBlack, kBlack, kWhite, kBlack, kWhite, kWhite, kWhite}, 1});

    BmpBuilder rle8 = Pal8(3, {});
    rle8.width = 4;
    rle8.compression = 1;
    rle8.clrUsed = 4;
    rle8.palette = {kBlack, kRed, kGreen, kBlue};
    rle8.pixels = {
        4, 1,              // bottom row: 4 x red
        0, 0,              // end of line
        0, 3, 2, 3, 1, 0,  // literal 2 3 1, padded
        0, 0,
        0, 2, 1, 0,        // delta: right 1
        2, 3,              // 2 x blue
        0, 1,              // end of bitmap
    };
    v.push_back({"RLE8", rle8,
                 {kBlack, kBlue, kBlue, kBlack, kGreen, kBlue, kRed, kBlack, kRed, kRed, kRed, kRed}, 8});

    // Some encoders code each row's padding as pixels: 3 px wide, runs of 4.
    BmpBuilder rle8pad = rle8;
    rle8pad.width = 3;
    rle8pad.height = 2;
    rle8pad.pixels = {3, 1, 1, 0, 0, 0, 4, 2, 0, 0, 0, 1};
    v.push_back({"RLE8 with coded padding", rle8pad, {kGreen, kGreen, kGreen, kRed, kRed, kRed}, 8});

    BmpBuilder rle4 = rle8;
    rle4.width = 5;
    rle4.height = 2;
    rle4.bits = 4;
    rle4.compression = 2;
    rle4.pixels = {
        5, 0x12,              // 1 2 1 2 1
        0, 0,
        0, 3, 0x31, 0x20,     // literal 3 1 2, padded to a word
        0, 2, 1, 0,           // delta: right 1
        1, 0x30,              // one blue
        0, 1,
    };
    v.push_back({"RLE4", rle4,
                 {kBlue, kRed, kGreen, kBlack, kBlue, kRed, kGreen, kRed, kGreen, kRed}, 4});

    BmpBuilder rgb565;
    rgb565.width = 3;
    rgb565.height = 1;
    rgb565.bits = 16;
    rgb565.compression = 3;
    rgb565.masks = {0xF800, 0x07E0, 0x001F};
    rgb565.pixels = {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0, 0};
    v.push_back({"16-bit 5-6-5 bit fields", rgb565, {kRed, kGreen, kBlue}, 16});

    BmpBuilder rgb555 = rgb565;
    rgb555.compression = 0;
    rgb555.masks.clear();
    rgb555.pixels = {0x00, 0x7C, 0xE0, 0x03, 0xFF, 0x7F, 0, 0};
    v.push_back({"16-bit 5-5-5", rgb555, {kRed, kGreen, kWhite}, 16});

    BmpBuilder bgr32;
    bgr32.width = 2;
    bgr32.height = 1;
    bgr32.bits = 32;
    bgr32.compression = 3;
    bgr32.headerSize = 124;
    bgr32.masks = {0x000000FF, 0x0000FF00, 0x00FF0000};  // red in the low byte
    bgr32.pixels = {0xFF, 0, 0, 0, 0, 0, 0x80, 0};
    v.push_back({"32-bit bit fields in a V5 header", bgr32, {kRed, 0x000080}, 32});

    BmpBuilder rgb32 = bgr32;
    rgb32.headerSize = 40;
    rgb32.masks = {0xFF0000, 0xFF00, 0xFF};
    v.push_back({"32-bit bit fields after the header", rgb32, {kBlue, 0x800000}, 32});

    // Channels the platform cannot draw are converted to 8 bits each, rounded.
    BmpBuilder argb4444 = rgb565;
    argb4444.width = 2;
    argb4444.height = -1;
    argb4444.masks = {0x0F00, 0x00F0, 0x000F};
    argb4444.pixels = {0x00, 0xFF, 0x80, 0xF0};  // alpha bits are not colour
    v.push_back({"16-bit 4-4-4 bit fields, converted", argb4444, {kRed, 0x008800}, 32});

    BmpBuilder rgb1010 = rgb565;
    rgb1010.width = 2;
    rgb1010.bits = 32;
    rgb1010.masks = {0x3FF00000, 0x000FFC00, 0x000003FF};
    rgb1010.pixels = {0, 0, 0xF0, 0x3F, 0x00, 0x02, 0, 0xC0};
    v.push_back({"32-bit 10-10-10 bit fields, converted", rgb1010, {kRed, 0x000080}, 32});

    BmpBuilder rgb24;
    rgb24.width = 2;
    rgb24.height = -2;
    rgb24.bits = 24;
    rgb24.pixels = {0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0x80, 0x80, 0x80, 0, 0xFF, 0, 0, 0};
    v.push_back({"24-bit top-down", rgb24, {kRed, kBlue, kGrey, kGreen}, 24});

    BmpBuilder core = rgb24;
    core.headerSize = 12;
    core.height = 2;
    v.push_back({"core header, 24-bit", core, {kGrey, kGreen, kRed, kBlue}, 24});

    BmpBuilder core8 = Pal8(2, {0, 1, 2, 0, 2, 2, 1, 0});
    core8.headerSize = 12;  // 3-byte palette entries, as many as fit before the pixels
    v.push_back({"core header, short palette", core8, {kBlue, kBlue, kGreen, kRed, kGreen, kBlue}, 8});
    return v;
}

TEST(BmpReader, ReadsTheVariantsOtherToolsWrite) {
    for (const auto& c : Variants()) {
        SCOPED_TRACE(c.name);
        Loaded l = Load(c.file.Build());
        ASSERT_EQ(l.result, BmpStatus::Ok) << BmpStatusName(l.result);
        EXPECT_TRUE(l.bitmap);
        EXPECT_EQ(l.bitCount, c.bitCount);
        EXPECT_EQ(l.pixels, c.pixels);
    }
}

// The section is bottom-up whatever the file's row order.
TEST(BmpReader, StoresTopDownFilesBottomUp) {
    const std::string path = Scratch("topdown.bmp");
    WriteFileBytes(path, Pal8(-2, {0, 1, 2, 0, 2, 2, 1, 0}).Build());
    HBITMAP b = nullptr;
    ASSERT_EQ(LoadBmpFile(path.c_str(), &b), 1);
    EXPECT_EQ(gdi::SectionBytes(b), (std::vector<uint8_t>{2, 2, 1, 0, 0, 1, 2, 0}));
    DeleteObject(b);
    DeleteFileA(path.c_str());
}

struct BadCase {
    const char* name;
    std::function<void(BmpBuilder&)> mutate;
    std::function<void(std::vector<uint8_t>&)> cut;
    BmpStatus why;
};

// Refused for this reason, with nothing made.
void ExpectRefused(const Loaded& l, BmpStatus why) {
    EXPECT_EQ(l.result, why) << BmpStatusName(l.result) << ", not " << BmpStatusName(why);
    EXPECT_FALSE(l.bitmap);
}

TEST(BmpReader, RefusesMalformedFilesCleanly) {
    auto none = [](std::vector<uint8_t>&) {};
    auto keep = [](BmpBuilder&) {};
    const BadCase kCases[] = {
        {"not BM", [](BmpBuilder& b) { b.signature[0] = 'X'; }, none, BmpStatus::NotBmp},
        {"empty", keep, [](std::vector<uint8_t>& f) { f.clear(); }, BmpStatus::NotBmp},
        {"13 bytes", keep, [](std::vector<uint8_t>& f) { f.resize(13); }, BmpStatus::NotBmp},
        {"cut inside the info header", keep, [](std::vector<uint8_t>& f) { f.resize(40); }, BmpStatus::Truncated},
        {"cut inside the palette", keep, [](std::vector<uint8_t>& f) { f.resize(60); }, BmpStatus::Truncated},
        {"last row cut by one byte", keep, [](std::vector<uint8_t>& f) { f.pop_back(); }, BmpStatus::BadSize},
        {"header size 41", [](BmpBuilder& b) { b.headerSize = 41; }, none, BmpStatus::BadHeaderSize},
        {"header size 64", [](BmpBuilder& b) { b.headerSize = 64; }, none, BmpStatus::BadHeaderSize},
        {"2 planes", [](BmpBuilder& b) { b.planes = 2; }, none, BmpStatus::BadPlanes},
        {"2 bits", [](BmpBuilder& b) { b.bits = 2; }, none, BmpStatus::BadBitCount},
        {"0 bits", [](BmpBuilder& b) { b.bits = 0; }, none, BmpStatus::BadBitCount},
        {"compression 4 (JPEG)", [](BmpBuilder& b) { b.compression = 4; }, none, BmpStatus::BadCompression},
        {"RLE8 at 4 bits", [](BmpBuilder& b) { b.compression = 1; b.bits = 4; }, none, BmpStatus::BadCompression},
        {"bit fields at 8 bits", [](BmpBuilder& b) { b.compression = 3; b.masks = {0xE0, 0x1C, 0x3}; }, none, BmpStatus::BadCompression},
        {"width 0", [](BmpBuilder& b) { b.width = 0; }, none, BmpStatus::BadDimensions},
        {"negative width", [](BmpBuilder& b) { b.width = -3; }, none, BmpStatus::BadDimensions},
        {"height 0", [](BmpBuilder& b) { b.height = 0; }, none, BmpStatus::BadDimensions},
        {"height INT_MIN", [](BmpBuilder& b) { b.height = INT32_MIN; }, none, BmpStatus::BadDimensions},
        {"width 32769", [](BmpBuilder& b) { b.width = 32769; }, none, BmpStatus::BadDimensions},
        {"huge, with a matching bfSize", [](BmpBuilder& b) { b.width = 30000; b.height = 30000; b.bfSize = 0xFFFFFFF0; }, none, BmpStatus::BadSize},
        {"257 colours at 8 bits", [](BmpBuilder& b) { b.clrUsed = 257; }, none, BmpStatus::BadPalette},
        {"3 colours at 1 bit", [](BmpBuilder& b) { b.bits = 1; b.clrUsed = 3; }, none, BmpStatus::BadPalette},
        {"bfOffBits inside the palette", [](BmpBuilder& b) { b.bfOffBits = 60; }, none, BmpStatus::BadOffset},
        {"bfOffBits past the end", [](BmpBuilder& b) { b.bfOffBits = 100000; }, none, BmpStatus::Truncated},
        {"bfOffBits leaves too few pixels", [](BmpBuilder& b) { b.bfOffBits = 14 + 40 + 12 + 1; }, none, BmpStatus::Truncated},
        {"bfSize above the file", [](BmpBuilder& b) { b.bfSize = 0x7DDDDDDD; }, none, BmpStatus::BadSize},
        {"biSizeImage above the data", [](BmpBuilder& b) { b.sizeImage = 9; }, none, BmpStatus::BadSize},
        {"absurd density", [](BmpBuilder& b) { b.xDensity = 30000000; }, none, BmpStatus::BadDensity},
        {"negative density", [](BmpBuilder& b) { b.yDensity = 0xFFFFFFFF; }, none, BmpStatus::BadDensity},
        {"index past a short palette", [](BmpBuilder& b) { b.pixels[1] = 3; }, none, BmpStatus::BadIndex},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        BmpBuilder b = Pal8(2, {0, 1, 2, 0, 2, 2, 1, 0});
        c.mutate(b);
        std::vector<uint8_t> f = b.Build();
        c.cut(f);
        ExpectRefused(Load(f), c.why);
    }
}

TEST(BmpReader, RefusesBadMasksAndRleCleanly) {
    struct Case {
        const char* name;
        uint16_t bits;
        uint32_t compression;
        std::vector<uint32_t> masks;
        std::vector<uint8_t> code;
        int32_t height;
        BmpStatus why;
    };
    const Case kCases[] = {
        {"empty blue mask", 16, 3, {0xFF00, 0x00FF, 0}, {}, 2, BmpStatus::BadMasks},
        {"overlapping masks", 16, 3, {0xF800, 0x0FE0, 0x001F}, {}, 2, BmpStatus::BadMasks},
        {"split mask", 16, 3, {0xF000, 0x0F0F, 0x00F0}, {}, 2, BmpStatus::BadMasks},
        {"mask wider than 16 bits", 16, 3, {0x1F0000, 0x07E0, 0x001F}, {}, 2, BmpStatus::BadMasks},
        {"run past the row", 8, 1, {}, {5, 1, 0, 1}, 2, BmpStatus::BadRle},
        {"literal past the row", 8, 1, {}, {0, 5, 1, 1, 1, 1, 1, 0}, 2, BmpStatus::BadRle},
        {"literal cut by the end of the data", 8, 1, {}, {0, 4, 1, 1}, 2, BmpStatus::BadRle},
        {"delta past the right edge", 8, 1, {}, {0, 2, 5, 0, 0, 1}, 2, BmpStatus::BadRle},
        {"delta past the top", 8, 1, {}, {0, 2, 0, 3, 0, 1}, 2, BmpStatus::BadRle},
        {"delta cut", 8, 1, {}, {0, 2, 1}, 2, BmpStatus::BadRle},
        {"pixels above the top", 8, 1, {}, {0, 0, 0, 0, 1, 1}, 2, BmpStatus::BadRle},
        {"line end past the top", 8, 1, {}, {0, 0, 0, 0, 0, 0, 0, 1}, 2, BmpStatus::BadRle},
        {"code cut before its end", 8, 1, {}, {4, 1, 0, 0}, 2, BmpStatus::BadRle},
        {"RLE4 run past the padded row", 4, 2, {}, {9, 0x11, 0, 1}, 2, BmpStatus::BadRle},
        {"delta past the padded row", 4, 2, {}, {8, 0x11, 0, 2, 1, 0, 0, 1}, 2, BmpStatus::BadRle},
        {"top-down RLE", 8, 1, {}, {4, 1, 0, 1}, -2, BmpStatus::BadCompression},
        {"RLE index past the palette", 8, 1, {}, {2, 7, 0, 1}, 2, BmpStatus::BadIndex},
        {"RLE expanding past the cap", 8, 1, {}, {0, 1}, 32000, BmpStatus::TooLarge},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        BmpBuilder b;
        b.width = 4;
        b.height = c.height;
        b.bits = c.bits;
        b.compression = c.compression;
        b.masks = c.masks;
        if (c.bits <= 8) {
            b.palette = {kBlack, kRed, kGreen};
            b.clrUsed = 3;
        }
        b.pixels = c.code.empty() ? std::vector<uint8_t>(16, 0) : c.code;
        ExpectRefused(Load(b.Build()), c.why);
    }
}

// A missing file, and one that the platform cannot open.
TEST(BmpReader, MissingFileFails) {
    Loaded l{};
    PlatformProbe probe;
    HBITMAP b = reinterpret_cast<HBITMAP>(0x1234);
    EXPECT_EQ(ReadBmpFile(Scratch("no_such_file.bmp").c_str(), &b), BmpStatus::Unreadable);
    EXPECT_EQ(b, nullptr);
    EXPECT_EQ(probe.LiveHandles(), 0);
}

// Each failable platform call fails in turn: result 0, a null bitmap and
// nothing held; the run with no failure loads.
TEST(BmpReader, EveryFailureReleasesEverything) {
    BmpBuilder rle = Variants()[7].file;  // RLE8: the code takes a buffer of its own
    ASSERT_EQ(rle.compression, 1u);
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
    } const kCases[] = {{"rows", Pal8(-2, {0, 1, 2, 0, 2, 2, 1, 0}).Build()}, {"RLE8", rle.Build()}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::string path = Scratch("fault.bmp");
        WriteFileBytes(path, c.file);
        PlatformProbe probe;
        ForEachFailingCall(
            probe,
            [&] {
                HBITMAP b = reinterpret_cast<HBITMAP>(0x1234);
                const BmpStatus r = ReadBmpFile(path.c_str(), &b);
                return std::make_pair(r, b);
            },
            [&](const FaultRun& run, std::pair<BmpStatus, HBITMAP> result) {
                const auto [r, b] = result;
                if (!run.fired) {
                    EXPECT_EQ(r, BmpStatus::Ok);
                    DeleteObject(b);
                    probe.TakeBitmap(b);
                    return;
                }
                // The platform's failure, never blamed on the file.
                EXPECT_TRUE(r == BmpStatus::Unreadable || r == BmpStatus::NoResources) << BmpStatusName(r);
                EXPECT_EQ(b, nullptr);
                EXPECT_EQ(probe.LiveHandles(), 0);
            });
        DeleteFileA(path.c_str());
    }
}

}  // namespace
