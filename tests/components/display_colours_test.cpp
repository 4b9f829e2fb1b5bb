// Pictures of every depth shown in the surface's own colours: each surface
// byte against a brute-force search over the colour table the platform reports
// for the surface, with the picture's colours as the platform reads them back.
// And the two capture mends: any install status, no lookup without a picture.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "tests/support/gdi.h"
#include "tests/support/component_fixture.h"
#include "tests/support/failing_calls.h"

namespace {

using hostsim::Element;
using hostsim::Handle;
using hostsim::Host;
using hostsim::ObjectId;

constexpr uint32_t R(uint32_t c) { return c >> 16 & 255; }
constexpr uint32_t G(uint32_t c) { return c >> 8 & 255; }
constexpr uint32_t B(uint32_t c) { return c & 255; }

int BruteNearest(const std::vector<uint32_t>& table, uint32_t c) {
    int best = 0, bestD = 1 << 30;
    for (size_t i = 0; i < table.size(); ++i) {
        const int dr = int(R(table[i])) - int(R(c)), dg = int(G(table[i])) - int(G(c)), db = int(B(table[i])) - int(B(c));
        if (dr * dr + dg * dg + db * db < bestD) bestD = dr * dr + dg * dg + db * db, best = static_cast<int>(i);
    }
    return best;
}

std::vector<uint32_t> SurfaceColours(const char* kind) {
    std::vector<uint32_t> c;
    std::mt19937 rng(3);
    for (int i = 0; i < 256; ++i)
        c.push_back(std::string(kind) == "random" ? rng() & 0xFFFFFF
                                                  : ((i >> 5) * 255 / 7) << 16 | ((i >> 2 & 7) * 255 / 7) << 8 | (i & 3) * 85);
    return c;
}

std::vector<uint32_t> TableOf(HDC dc) {  // the platform's word on the surface's colours
    RGBQUAD q[256];
    const UINT n = GetDIBColorTable(dc, 0, 256, q);
    std::vector<uint32_t> t;
    for (UINT i = 0; i < n; ++i) t.push_back(RGB(q[i].rgbBlue, q[i].rgbGreen, q[i].rgbRed));  // 0x00RRGGBB
    return t;
}

enum class Alpha { None, Zero, Mixed };
struct PictureKind {
    const char* name;
    int bits;
    DWORD compression;
    uint32_t masks[3];
    Alpha alpha;
    bool device;
};
const PictureKind kKinds[] = {
    {"1-bit", 1, BI_RGB, {}, Alpha::None, false},
    {"4-bit", 4, BI_RGB, {}, Alpha::None, false},
    {"16-bit 5-5-5", 16, BI_RGB, {}, Alpha::None, false},
    {"16-bit 5-6-5", 16, BI_BITFIELDS, {0xF800, 0x07E0, 0x001F}, Alpha::None, false},
    {"16-bit 3-3-2 fields", 16, BI_BITFIELDS, {0x00E0, 0x001C, 0x0003}, Alpha::None, false},
    {"24-bit", 24, BI_RGB, {}, Alpha::None, false},
    {"32-bit, fourth bytes zero", 32, BI_RGB, {}, Alpha::Zero, false},
    {"32-bit with alpha", 32, BI_RGB, {}, Alpha::Mixed, false},
    {"32-bit 10-10-10 fields", 32, BI_BITFIELDS, {0x3FF00000, 0x000FFC00, 0x000003FF}, Alpha::None, false},
    {"device-dependent", 32, BI_RGB, {}, Alpha::None, true},
};

// A bottom-up picture of random bytes, made with Win32 directly.
HBITMAP MakePicture(const PictureKind& k, int w, int h, std::mt19937& rng) {
    if (k.device) return gdi::MakeDeviceBitmap(w, h, static_cast<int>(rng() % 50));
    struct {
        BITMAPINFOHEADER header;
        uint32_t extra[256];
    } info{};
    info.header = {sizeof info.header, w, h, 1, static_cast<WORD>(k.bits), k.compression, 0, 0, 0, 0, 0};
    for (int i = 0; i < 256; ++i) info.extra[i] = k.compression == BI_BITFIELDS ? (i < 3 ? k.masks[i] : 0) : rng() & 0xFFFFFF;
    void* bits = nullptr;
    HBITMAP b = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!b) return b;
    const size_t bytes = static_cast<size_t>(((w * k.bits + 31) / 32) * 4) * h;
    auto* p = static_cast<uint8_t*>(bits);
    for (size_t i = 0; i < bytes; ++i) {
        p[i] = static_cast<uint8_t>(rng());
        if (i % 4 == 3 && k.alpha == Alpha::Zero) p[i] = 0;
        if (i % 4 == 3 && k.alpha == Alpha::Mixed && p[i] % 3 != 2) p[i] = p[i] % 3 ? 255 : 0;
    }
    return b;
}

// Colour (and, from the section's memory, alpha) of every pixel, bottom row first.
struct Pixels {
    std::vector<uint32_t> colour;
    std::vector<uint8_t> alpha;
};
Pixels ReadBack(HBITMAP b, int w, int h, bool alpha) {
    Pixels p{gdi::Colours32(b), std::vector<uint8_t>(static_cast<size_t>(w) * h, 255)};
    EXPECT_EQ(p.colour.size(), p.alpha.size());
    const auto* memory = static_cast<const uint8_t*>(gdi::RecordOf(b).bmBits);
    for (size_t i = 0; i < p.colour.size(); ++i) {
        p.colour[i] &= 0xFFFFFF;
        if (alpha) p.alpha[i] = memory[4 * i + 3];
    }
    return p;
}

// What each surface byte must be after `picture` is drawn at `at` over `before`.
void ExpectNearest(const Element& el, const std::vector<uint8_t>& before, const std::vector<uint32_t>& table,
                   const Pixels& picture, ElementRect at) {
    const int columns = std::abs(el.Stride());
    int wrong = 0;
    for (int y = 0; y < el.SurfaceRows(); ++y)
        for (int x = 0; x < columns; ++x) {
            const uint8_t old = before[y * columns + x];
            int want = old;
            if (x >= at.left && x < at.right && y >= at.top && y < at.bottom) {
                const size_t i = static_cast<size_t>(at.bottom - 1 - y) * (at.right - at.left) + (x - at.left);
                const double a = picture.alpha[i] / 255.0;
                const uint32_t c = picture.colour[i], u = table[old];
                auto mix = [&](uint32_t s, uint32_t d) { return static_cast<uint32_t>(std::floor(s * a + d * (1 - a) + 0.5)); };
                if (a > 0) want = BruteNearest(table, mix(R(c), R(u)) << 16 | mix(G(c), G(u)) << 8 | mix(B(c), B(u)));
            }
            if (el.At(x, y) != want && wrong++ < 3)
                ADD_FAILURE() << "pixel " << x << "," << y << ": " << int(el.At(x, y)) << " not " << want;
        }
}

class DisplayColours : public ComponentTest {
protected:
    DisplayColours() : ComponentTest({"zqDisplayBitmap", "zqCaptureBitmap", "zqBitmapVariable"}) {}

    // A display of `picture` (stored, then deleted) on a new element, shown once.
    Handle Show(Element& el, HBITMAP picture) {
        const ObjectId variable = NewPictureVariable(picture);
        Handle display = host.Create("zqDisplayBitmap", el.id());
        host.SetField(display, FieldOffset("zqDisplayBitmap", "bitmapVariable"), Host::Reference(variable));
        EXPECT_EQ(host.Deliver(display, 301, 0), 0);
        return display;
    }
    // The hook of `modifier` called on `el` as the host calls it, but with no surface context.
    int16_t HookWithoutContext(Handle modifier, Element& el) {
        ElementRect rect = el.rect();
        DrawRecord draw{};
        draw.rect = &rect;
        SurfaceRecord surface{};
        surface.rows = static_cast<int16_t>(el.SurfaceRows());
        surface.stride = el.Stride();
        surface.pixels = el.Pixels();
        return host.CallSlot(modifier, kHookRow, kSlotHookCallback, modifier, &draw, &surface);
    }
    std::vector<uint8_t> Scramble(const Element& el) {  // random bytes: alpha blends over many colours
        std::vector<uint8_t> s(static_cast<size_t>(std::abs(el.Stride())) * el.SurfaceRows());
        for (uint8_t& b : s) b = static_cast<uint8_t>(rng());
        for (int y = 0; y < el.SurfaceRows(); ++y)
            for (int x = 0; x < std::abs(el.Stride()); ++x) el.At(x, y) = s[y * std::abs(el.Stride()) + x];
        return s;
    }

    std::mt19937 rng{17};
};

TEST_F(DisplayColours, EveryDepthDrawsTheNearestSurfaceColourOfEachPixel) {
    constexpr int kW = 37, kH = 23;
    const struct { const char* name; int16_t left, top; } kPlaces[] = {
        {"inside", 5, 7}, {"over the left and top", -6, -3}, {"over the right and bottom", 40, 35}};
    for (const PictureKind& kind : kKinds)
        for (const char* colours : {"random", "3-3-2"})
            for (const auto& place : kPlaces)
                for (const bool bottomUp : {false, true}) {
                    SCOPED_TRACE(std::string(kind.name) + ", " + colours + ", " + place.name + (bottomUp ? ", bottom-up" : ", top-down"));
                    Element& el = host.ElementOf(host.NewElement(
                        {{place.left, place.top, static_cast<int16_t>(place.left + 1), static_cast<int16_t>(place.top + 1)},
                         62, 48, bottomUp, SurfaceColours(colours)}));  // 2 padding columns
                    HBITMAP picture = MakePicture(kind, kW, kH, rng);
                    ASSERT_TRUE(picture);
                    const Pixels expected = ReadBack(picture, kW, kH, kind.alpha == Alpha::Mixed);
                    Show(el, picture);
                    ASSERT_EQ(el.Width(), kW);
                    const std::vector<uint8_t> before = Scramble(el);
                    ASSERT_EQ(host.Draw(el.id()).at(0).result, 1);
                    ExpectNearest(el, before, TableOf(static_cast<HDC>(el.Dc())), expected, el.rect());
                }
}

// No context: a picture that is not 8-bit draws nothing; 8-bit bytes copy as ever.
TEST_F(DisplayColours, WithoutSurfaceColoursOnlyEightBitPicturesDraw) {
    for (const int bits : {8, 24, 4}) {
        SCOPED_TRACE(std::to_string(bits) + " bits");
        Element& el = host.ElementOf(host.NewElement({{3, 4, 4, 5}, 64, 40, true, {}}));
        Handle display = Show(el, gdi::MakeDibSection(bits, 20, 10, 2));
        const std::vector<uint8_t> before = Scramble(el);
        EXPECT_EQ(HookWithoutContext(display, el), 1);
        int changed = 0;
        for (int y = 0; y < el.SurfaceRows(); ++y)
            for (int x = 0; x < 64; ++x) changed += el.At(x, y) != before[y * 64 + x];
        if (bits == 8) EXPECT_GT(changed, 150);  // of 200 pattern bytes, a few equal what was there
        else EXPECT_EQ(changed, 0);
    }
}

// Whatever call fails, the hook releases all it took and draws the right
// picture or nothing; a surface table it could not read leaves the context's
// logical palette, the default one here.
TEST_F(DisplayColours, EveryFailingCallLeavesNothingHeldAndNoWrongPicture) {
    for (const PictureKind* kind : {&kKinds[1], &kKinds[5], &kKinds[9]}) {
        SCOPED_TRACE(kind->name);
        Element& el = host.ElementOf(host.NewElement({{2, 3, 3, 4}, 64, 40, false, SurfaceColours("random")}));
        HBITMAP picture = MakePicture(*kind, 30, 20, rng);
        const Pixels expected = ReadBack(picture, 30, 20, false);
        Show(el, picture);
        PALETTEENTRY e[20];
        const UINT n = GetPaletteEntries(static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), 0, 20, e);
        std::vector<uint32_t> fallback;
        for (UINT i = 0; i < n; ++i) fallback.push_back(RGB(e[i].peBlue, e[i].peGreen, e[i].peRed));
        std::vector<uint8_t> before;
        ForEachFailingCall(
            probe, [&] { before = Scramble(el); }, [&] { return host.Draw(el.id()).at(0).result; },
            [&](const FaultRun& run, int16_t result) {
                EXPECT_EQ(result, 1);
                EXPECT_EQ(probe.LiveGlobals() + probe.LiveDcs(), 0);
                bool untouched = true;
                for (int y = 0; y < el.SurfaceRows(); ++y)
                    for (int x = 0; x < 64; ++x) untouched &= el.At(x, y) == before[y * 64 + x];
                if (run.call == "GetDIBColorTable") ExpectNearest(el, before, fallback, expected, el.rect());
                else if (!untouched || !run.fired) ExpectNearest(el, before, TableOf(static_cast<HDC>(el.Dc())), expected, el.rect());
            });
    }
}

TEST_F(DisplayColours, CaptureRemovesItsHookWhateverTheStatusAndLooksUpOnlyWithAPicture) {
    const struct { const char* name; HostStatus status; bool noMemory, noContext, stored; int lookups; } kCases[] = {
        {"installed, status 0", 0, false, false, true, 1},
        {"installed, status 1", 1, false, false, true, 1},
        {"installed, status 0x7FFF", 0x7FFF, false, false, true, 1},
        {"no memory for the pixels", 0, true, false, false, 0},
        {"no surface context", 0, false, true, false, 0},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        Element& el = host.ElementOf(host.NewElement({{3, 5, 18, 12}, 64, 64, false, {}}));
        Scramble(el);
        const ObjectId variable = NewBitmapVariable();
        Handle capture = host.Create("zqCaptureBitmap", el.id());
        host.SetField(capture, FieldOffset("zqCaptureBitmap", "bitmapVariable"), Host::Reference(variable));
        host.SetHookInstallStatus(c.status);
        const int lookups = host.Resolutions();
        if (c.noContext) {
            EXPECT_EQ(HookWithoutContext(capture, el), 0);
        } else {
            FailNthCall fail(probe, c.noMemory ? 1 : 0);  // the first failable call: the pixel buffer
            EXPECT_EQ(host.Deliver(capture, 301, 0), 0);
        }
        host.SetHookInstallStatus(0);
        EXPECT_TRUE(el.Hooks().empty());
        EXPECT_EQ(host.Resolutions() - lookups, c.lookups);
        HostValue v = Host::Integer(0);
        host.GetAttributeById(variable, "width", &v);
        EXPECT_EQ(IntegerPayload(&v), c.stored ? 15 : 0);
    }
}

}  // namespace
