// The scale component driven through the host simulator with a real bitmap
// variable, real GDI bitmaps and the platform probe around the plug-in.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "imaging/resample.h"
#include "tests/support/gdi.h"
#include "tests/support/component_fixture.h"
#include "tests/support/failing_calls.h"
#include "tests/support/x87_precision.h"

namespace {

using hostsim::Handle;
using hostsim::Host;
using hostsim::ObjectId;

constexpr uint32_t kEvent = 301;
constexpr int32_t kPercent = 0, kPixels = 1;
const size_t kBitmapVariableField = FieldOffset("zqScaleBitmap", "bitmapVariable");
const size_t kAmountField = FieldOffset("zqScaleBitmap", "amount");
const size_t kInPixelsField = FieldOffset("zqScaleBitmap", "inPixels");

class ScaleBitmap : public ComponentTest {
protected:
    ScaleBitmap() : ComponentTest({"zqScaleBitmap", "zqBitmapVariable"}) {}

    Handle NewScaler(ObjectId variable, const HostValue& amount, int32_t inPixels) {
        Handle s = host.Create("zqScaleBitmap");
        host.SetField(s, kBitmapVariableField, variable ? Host::Reference(variable) : Host::Empty());
        host.SetField(s, kAmountField, amount);
        StoreAt(s, kInPixelsField, IntegerValue{kTagInteger, inPixels});
        return s;
    }
    std::pair<int, int> SizeOf(ObjectId variable) {
        const BITMAP bm = gdi::RecordOf(Held(variable));
        return {bm.bmWidth, bm.bmHeight};
    }
    // Fires and checks the outcome: a picture of toW x toH, or (toW 0) result 1
    // and the variable's bitmap untouched. Nothing of the action's stays.
    void Expect(Handle scaler, ObjectId variable, int toW, int toH, const HostValue* carried = nullptr,
                uint32_t event = kEvent, uint32_t qualifier = 0) {
        const HBITMAP before = Held(variable);
        const int bitmaps = probe.LiveBitmaps();
        EXPECT_EQ(host.Deliver(scaler, event, qualifier, carried), toW ? 0 : 1);
        if (toW) {
            EXPECT_EQ(SizeOf(variable), std::make_pair(toW, toH));
        } else {
            EXPECT_EQ(Held(variable), before);
        }
        EXPECT_EQ(probe.LiveDcs(), 0);
        EXPECT_EQ(probe.LiveBitmaps(), bitmaps) << "the variable's bitmap replaced, the action's deleted";
    }
};

struct SizeCase {
    const char* name;
    int fromW, fromH;
    HostValue amount;
    int32_t inPixels;
    int toW, toH;  // 0: refused
};

TEST_F(ScaleBitmap, NewSizeFromTheAmount) {
    const SizeCase kCases[] = {
        {"percent", 200, 100, Host::Integer(50), kPercent, 100, 50},
        {"percent point", 100, 100, Host::Point(200, 50), kPercent, 200, 50},
        {"percent float truncates", 10, 10, Host::Float(33.3), kPercent, 3, 3},
        {"150% of odd sides", 3, 5, Host::Float(150), kPercent, 4, 7},
        {"100% keeps the size", 29, 5, Host::Integer(100), kPercent, 29, 5},
        {"zero is one pixel", 20, 20, Host::Integer(0), kPercent, 1, 1},
        {"half a pixel is one", 50, 50, Host::Integer(1), kPercent, 1, 1},
        {"pixels", 10, 7, Host::Integer(64), kPixels, 64, 64},
        {"pixels point", 10, 7, Host::Point(640, 480), kPixels, 640, 480},
        {"pixels float truncates", 10, 7, Host::Float(10.9), kPixels, 10, 10},
        {"any non-zero switch is pixels", 10, 7, Host::Integer(3), -1, 3, 3},
        {"widest side", 1024, 1, Host::Point(3200, 100), kPercent, 32768, 1},
        {"negative", 10, 10, Host::Integer(-1), kPercent, 0, 0},
        {"one side negative", 10, 10, Host::Point(5, -1), kPixels, 0, 0},
        {"not a number", 10, 10, Host::Float(std::nan("")), kPixels, 0, 0},
        {"infinite", 10, 10, Host::Float(INFINITY), kPercent, 0, 0},
        {"empty amount", 10, 10, Host::Empty(), kPercent, 0, 0},
        {"side past the cap", 1024, 1, Host::Point(3201, 100), kPercent, 0, 0},
        {"pixel memory past the cap", 10, 10, Host::Integer(16385), kPixels, 0, 0},
        {"a billion pixels", 10, 10, Host::Float(1e9), kPixels, 0, 0},
        {"ten million percent", 10, 10, Host::Float(1e7), kPercent, 0, 0},
        {"percent past int range", 200, 100, Host::Integer(INT_MAX), kPercent, 0, 0},
    };
    for (const SizeCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const ObjectId v = NewPictureVariable(gdi::MakeDibSection(8, c.fromW, c.fromH));
        Expect(NewScaler(v, c.amount, c.inPixels), v, c.toW, c.toH);
    }
}

// Products whose 80-bit value lies just under the whole pixel that double
// precision gives; a host may run with either precision.
TEST_F(ScaleBitmap, PercentSizeDoesNotDependOnTheX87Precision) {
    const struct { int fromW; double percent; int toW; } kCases[] = {
        {1000, 33.3, 333}, {1000, 0.7, 7}, {500, 4.6, 23}, {2000, 10.1, 202}};
    for (const unsigned precision : {_PC_64, _PC_53}) {
        X87Precision setting{precision};
        ASSERT_EQ(X87Precision::Current(), precision);
        for (const auto& c : kCases) {
            SCOPED_TRACE(std::to_string(precision == _PC_64 ? 64 : 53) + " bits: " + std::to_string(c.fromW) +
                         " px at " + std::to_string(c.percent) + "%");
            const ObjectId v = NewPictureVariable(gdi::MakeDibSection(8, c.fromW, 1));
            Expect(NewScaler(v, Host::Float(c.percent), kPercent), v, c.toW, 1);
        }
    }
}

TEST_F(ScaleBitmap, AmountFromTheMessageOrAVariableIsReadAtEachMessage) {
    const ObjectId picture = NewPictureVariable(gdi::MakeDibSection(24, 200, 100));
    const ObjectId number = host.NewIntegerVariable(50);
    Handle byMessage = NewScaler(picture, Host::MessageData(), kPercent);
    Handle byVariable = NewScaler(picture, Host::Reference(number), kPercent);
    const HostValue carried[] = {Host::Integer(200), Host::Point(50, 200), Host::Reference(number), Host::Empty()};
    Expect(byMessage, picture, 400, 200, &carried[0]);
    Expect(byMessage, picture, 200, 400, &carried[1]);
    Expect(byMessage, picture, 100, 200, &carried[2]);
    Expect(byMessage, picture, 0, 0, &carried[3]);
    Expect(byVariable, picture, 50, 100);
    host.SetVariableValue(number, Host::Float(10.5));
    Expect(byVariable, picture, 5, 10);
    host.SetVariableValue(number, host.String("50"));
    Expect(byVariable, picture, 0, 0);
}

TEST_F(ScaleBitmap, NothingChangesWithoutTheEventOrAPicture) {
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    const ObjectId picture = NewPictureVariable(gdi::MakeDibSection(8, 10, 10));
    const ObjectId notABitmap = host.NewIntegerVariable(Payload(brush));
    const ObjectId unresolvable = NewPictureVariable(gdi::MakeDibSection(8, 10, 10));
    host.SetUnresolvable(unresolvable);
    Expect(NewScaler(picture, Host::Integer(50), kPercent), picture, 0, 0, nullptr, kEvent + 1);
    Expect(NewScaler(picture, Host::Integer(50), kPercent), picture, 0, 0, nullptr, kEvent, 7);
    const ObjectId empty = NewPictureVariable(nullptr);
    Expect(NewScaler(empty, Host::Integer(50), kPercent), empty, 0, 0);
    Expect(NewScaler(0, Host::Integer(50), kPercent), picture, 0, 0);
    Expect(NewScaler(unresolvable, Host::Integer(50), kPercent), unresolvable, 0, 0);
    // A handle lent by something that is not a bitmap variable is never measured or stretched.
    for (int32_t mode : {kPercent, kPixels})
        EXPECT_EQ(host.Deliver(NewScaler(notABitmap, Host::Integer(50), mode), kEvent, 0), 1);
    EXPECT_EQ(IntegerPayload(&host.VariableValue(notABitmap)), Payload(brush));
    DeleteObject(brush);
}

struct Source {
    const char* name;
    HBITMAP (*make)();
    bool section;
};

// Stretched one way and shrunk the other: a DIB section stays a DIB section
// of the source's depth, masks and colour table; a device bitmap stays one.
TEST_F(ScaleBitmap, KeepsTheFormatOfThePicture) {
    const Source kSources[] = {
        {"section1", [] { return gdi::MakeDibSection(1, 13, 6); }, true},
        {"section8", [] { return gdi::MakeDibSection(8, 11, 6); }, true},
        {"section16", [] { return gdi::MakeDibSection(16, 5, 8); }, true},
        {"section32", [] { return gdi::MakeDibSection(32, 6, 2); }, true},
        {"device32", [] { return gdi::MakeDeviceBitmap(10, 8); }, false},
        {"deviceMono", [] { return gdi::MakeMonoBitmap(17, 4); }, false},
    };
    for (const Source& s : kSources) {
        SCOPED_TRACE(s.name);
        HBITMAP source = s.make();
        DIBSECTION want{};
        GetObjectA(source, sizeof want, &want);
        const auto colours = s.section ? gdi::SectionColours(source) : std::vector<RGBQUAD>{};
        const ObjectId v = NewPictureVariable(source);
        Expect(NewScaler(v, Host::Point(300, 50), kPercent), v, want.dsBm.bmWidth * 3, want.dsBm.bmHeight / 2);
        DIBSECTION got{};
        const int bytes = GetObjectA(Held(v), sizeof got, &got);
        EXPECT_EQ(bytes == sizeof got, s.section) << "a DIB section";
        EXPECT_EQ(got.dsBm.bmBitsPixel, want.dsBm.bmBitsPixel);
        if (!s.section) continue;
        EXPECT_EQ(got.dsBmih.biCompression, want.dsBmih.biCompression);
        EXPECT_TRUE(std::equal(got.dsBitfields, got.dsBitfields + 3, want.dsBitfields));
        EXPECT_TRUE(gdi::SamePalette(gdi::SectionColours(Held(v)), colours));
    }
}

// Palette pictures keep their indices: the result is the platform's own
// colour-on-colour stretch, byte for byte. The context's default mode would
// AND the dropped pixels into the kept ones.
TEST_F(ScaleBitmap, StretchesPalettePicturesPixelForPixel) {
    const struct {
        const char* name;
        int bits, fromW, fromH, toW, toH;
    } kCases[] = {{"8-bit shrink", 8, 12, 6, 5, 3}, {"8-bit enlarge", 8, 3, 2, 7, 5},
                  {"4-bit odd factor", 4, 13, 7, 5, 4}, {"1-bit mixed", 1, 9, 6, 20, 4}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        HBITMAP source = gdi::MakeDibSection(c.bits, c.fromW, c.fromH);
        HBITMAP want = gdi::MakeDibSection(c.bits, c.toW, c.toH);
        HDC from = CreateCompatibleDC(nullptr), to = CreateCompatibleDC(nullptr);
        HGDIOBJ oldFrom = SelectObject(from, source), oldTo = SelectObject(to, want);
        SetStretchBltMode(to, COLORONCOLOR);
        StretchBlt(to, 0, 0, c.toW, c.toH, from, 0, 0, c.fromW, c.fromH, SRCCOPY);
        SelectObject(from, oldFrom);
        SelectObject(to, oldTo);
        DeleteDC(from);
        DeleteDC(to);
        const ObjectId v = NewPictureVariable(source);
        Expect(NewScaler(v, Host::Point(c.toW, c.toH), kPixels), v, c.toW, c.toH);
        EXPECT_EQ(gdi::ReadDib(Held(v)).pixels, gdi::ReadDib(want).pixels);
        DeleteObject(want);
    }
}

// True-colour pictures are resampled. The reference is the resampler, which
// the native tests hold to Pillow's resize, run on the pixels as the platform
// reads them: what is checked here is that the section's rows, row order,
// masks and alpha reach it and come back as the platform sees them.
TEST_F(ScaleBitmap, ResamplesTrueColourPictures) {
    const struct {
        const char* name;
        int bits, fromW, fromH, toW, toH;
        int tolerance;  // levels of 8 bits; a 5-bit channel moves in steps of 8
    } kCases[] = {{"24-bit half", 24, 12, 6, 6, 3, 1},      {"24-bit odd factor", 24, 13, 7, 5, 4, 1},
                  {"24-bit enlarge", 24, 3, 2, 7, 5, 1},    {"24-bit mixed", 24, 9, 6, 20, 4, 1},
                  {"32-bit alpha shrink", 32, 12, 9, 5, 4, 1}, {"32-bit alpha enlarge", 32, 4, 3, 9, 7, 1},
                  {"16-bit 5-5-5", 16, 14, 9, 5, 13, 9}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        HBITMAP source = gdi::MakeDibSection(c.bits, c.fromW, c.fromH);
        std::vector<uint32_t> from = gdi::Colours32(source), want(static_cast<size_t>(c.toW) * c.toH);
        const auto translucent = [](uint32_t p) { return p >> 24 != 0 && p >> 24 != 255; };
        if (c.bits == 32) {  // Colours32() leaves the fourth byte as the section holds it
            ASSERT_TRUE(std::any_of(from.begin(), from.end(), translucent)) << "a picture with alpha";
        }
        const auto rows = [](std::vector<uint32_t>& px, int w, int h) {  // bottom-up
            return PixelRows{reinterpret_cast<uint8_t*>(px.data() + static_cast<size_t>(w) * (h - 1)),
                             -static_cast<ptrdiff_t>(w) * 4, w, h};
        };
        ASSERT_TRUE(ResamplePixels(rows(from, c.fromW, c.fromH), rows(want, c.toW, c.toH),
                                   {c.bits == 32 ? PixelFormat::Bgra32 : PixelFormat::Bgrx32, 0, 0, 0}));
        const ObjectId v = NewPictureVariable(source);
        Expect(NewScaler(v, Host::Point(c.toW, c.toH), kPixels), v, c.toW, c.toH);
        const std::vector<uint32_t> got = gdi::Colours32(Held(v));
        ASSERT_EQ(got.size(), want.size());
        int worst = 0;
        for (size_t i = 0; i < got.size(); ++i)
            for (int shift = 0; shift < (c.bits == 32 ? 32 : 24); shift += 8)
                worst = std::max(worst, std::abs(int(got[i] >> shift & 0xFF) - int(want[i] >> shift & 0xFF)));
        EXPECT_LE(worst, c.tolerance);
    }
}

// Each failable platform call fails in turn. A failure that spoils the copy
// answers 1 and leaves the variable as it was; one that does not (a selection
// put back) answers 0 with the new picture. Nothing is left behind either way.
// Palette pictures take the platform's stretch, true-colour ones the resampler.
TEST_F(ScaleBitmap, FailedPlatformCallsNeverHalfScale) {
    for (const int bits : {8, 24}) {
        SCOPED_TRACE(std::to_string(bits) + " bits");
        ObjectId v = 0;
        Handle scaler = nullptr;
        HBITMAP before = nullptr;
        ForEachFailingCall(
            probe,
            [&] {
                v = NewPictureVariable(gdi::MakeDibSection(bits, 20, 10));
                scaler = NewScaler(v, Host::Integer(50), kPercent);
                before = Held(v);
            },
            [&] { return host.Deliver(scaler, kEvent, 0); },
            [&](const FaultRun& run, int16_t r) {
                EXPECT_EQ(probe.LiveBitmaps(), 1);
                EXPECT_EQ(probe.LiveHandles(), 1) << "only the variable's picture";
                EXPECT_EQ(SizeOf(v).first, r == 0 ? 10 : 20);
                if (!run.fired) {
                    EXPECT_EQ(r, 0);
                }
                if (r != 0) {
                    EXPECT_EQ(r, 1);
                    EXPECT_EQ(Held(v), before);
                }
                host.Destroy(scaler);
                host.Destroy(host.HandleOf(v));
            });
    }
}

}  // namespace
