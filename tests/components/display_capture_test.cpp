// Display and capture end to end: the host simulator draws elements on 8-bit
// surfaces with guard zones, the platform probe counts what the plug-in holds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "components/modifiers.h"
#include "framework/host_value.h"
#include "hostsim/testing.h"
#include "tests/components/gdi_util.h"
#include "tests/support/platform_probe.h"

namespace {

using hostsim::Handle;
using hostsim::Host;
using hostsim::ObjectId;

constexpr uint8_t kBackground = 0xEE;
constexpr int kSalt = 3;
uint8_t SurfaceByte(int x, int y) { return gdi::PatternByte(x, y, 5); }

class DisplayCapture : public ::testing::Test {
protected:
    void SetUp() override {
        host.LoadLinked({{"zqDisplayBitmap", zqDisplayBitmap},
                         {"zqCaptureBitmap", zqCaptureBitmap},
                         {"zqBitmapVariable", zqBitmapVariable}});
        // The defaults blocks live as long as the process.
        for (const char* type : {"zqDisplayBitmap", "zqCaptureBitmap"}) host.CallTypeSlot(type, 0, kSlotClassInit);
        probe.globals_.clear();
    }
    void TearDown() override {
        host.Teardown();
        EXPECT_EQ(probe.LiveHandles(), 0);
        for (const std::string& e : probe.Errors()) ADD_FAILURE() << "platform: " << e;
    }

    hostsim::Element& NewElement(ElementRect rect, int width, int rows, bool bottomUp, bool patterned = false) {
        hostsim::Element& el = host.ElementOf(host.NewElement({rect, width, rows, bottomUp}));
        el.Fill(kBackground);
        for (int y = 0; patterned && y < rows; ++y)
            for (int x = 0; x < width; ++x) el.At(x, y) = SurfaceByte(x, y);
        return el;
    }
    ObjectId NewVariable() { return host.IdOf(host.Create("zqBitmapVariable")); }
    void Store(ObjectId variable, HBITMAP b) {
        HostValue v = Host::Integer(static_cast<int32_t>(reinterpret_cast<uintptr_t>(b)));
        char name[16] = "value";
        Handle h = host.HandleOf(variable);
        ASSERT_EQ(host.CallSlot(h, 0, kSlotSetAttribute, h, static_cast<const char*>(name), 0u, &v), 0);
        DeleteObject(b);
    }
    int32_t Attribute(ObjectId id, const char* name) {
        HostValue v = Host::Integer(0);
        host.GetAttributeById(id, name, &v);
        return IntegerPayload(&v);
    }
    HBITMAP Held(ObjectId variable) {
        return reinterpret_cast<HBITMAP>(static_cast<uintptr_t>(static_cast<uint32_t>(Attribute(variable, "value"))));
    }
    Handle NewModifier(const char* type, ObjectId element, size_t variableField, const HostValue& variable) {
        Handle m = host.Create(type, element);
        host.SetField(m, variableField, variable);
        return m;
    }
    Handle NewDisplay(ObjectId element, ObjectId variable) {
        return NewModifier("zqDisplayBitmap", element, 20, Host::Reference(variable));
    }
    Handle NewCapture(ObjectId element, const HostValue& variable) {
        return NewModifier("zqCaptureBitmap", element, 10, variable);
    }

    PlatformProbe probe;  // outlives the host, which releases through it
    hostsim::TestHost host;
};

// Surface bytes against a picture of `bm` pixels (memory row k is the k-th
// row from the bottom) placed at `at`; everything else is the background.
void ExpectShown(const hostsim::Element& el, ElementRect at, int salt) {
    int wrong = 0;
    for (int y = 0; y < el.SurfaceRows(); ++y)
        for (int x = 0; x < el.SurfaceWidth(); ++x) {
            const bool inside = x >= at.left && x < at.right && y >= at.top && y < at.bottom;
            const uint8_t want = inside ? gdi::PatternByte(x - at.left, at.bottom - 1 - y, salt) : kBackground;
            if (el.At(x, y) != want && wrong++ < 3) ADD_FAILURE() << "pixel " << x << "," << y;
        }
    EXPECT_EQ(wrong, 0);
}

TEST_F(DisplayCapture, DisplayShowsAndHidesWithOneHook) {
    hostsim::Element& el = NewElement({10, 20, 11, 21}, 64, 64, false);
    const ObjectId picture = NewVariable();
    Store(picture, gdi::MakeDibSection(8, 40, 30));
    Handle display = NewDisplay(el.id(), picture);
    const struct { uint32_t code, qualifier; int16_t result; size_t hooks; } kSteps[] = {
        {301, 0, 0, 1}, {301, 0, 0, 1}, {302, 0, 0, 0}, {302, 0, 1, 0}, {2002, 9, 1, 0},
        {301, 0, 0, 1}, {2002, 9, 0, 0}, {301, 0, 0, 1}, {303, 0, 1, 1}, {302, 1, 1, 1}};
    for (const auto& s : kSteps) {
        SCOPED_TRACE(std::to_string(s.code) + "/" + std::to_string(s.qualifier));
        EXPECT_EQ(host.Deliver(display, s.code, s.qualifier), s.result);
        EXPECT_EQ(el.Hooks().size(), s.hooks);
    }
    EXPECT_EQ(Attribute(el.id(), "width"), 40);
    EXPECT_EQ(Attribute(el.id(), "height"), 30);
    // A copy made without Construct starts hidden, whatever its block held.
    Handle copy = host.CopyConstruct(display, el.id());
    EXPECT_EQ(host.Deliver(copy, 2002, 0), 1);
    EXPECT_EQ(host.Deliver(copy, 301, 0), 0);
    EXPECT_EQ(el.Hooks().size(), 2u);
    host.Deliver(copy, 302, 0);
    host.Deliver(display, 302, 0);
}

TEST_F(DisplayCapture, DisplayDrawsUprightAndClipsToTheSurface) {
    const struct { const char* name; ElementRect rect; int width, rows; } kCases[] = {
        {"inside", {10, 20, 11, 21}, 640, 480},
        {"over the left and top", {-7, -4, 0, 0}, 64, 64},
        {"over the right and bottom", {50, 45, 0, 0}, 62, 60},  // stride 64: two padding columns
        {"outside", {100, 100, 0, 0}, 64, 64},
    };
    for (const auto& c : kCases)
        for (const bool bottomUp : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (bottomUp ? ", bottom-up" : ", top-down"));
            hostsim::Element& el = NewElement(c.rect, c.width, c.rows, bottomUp);
            const ObjectId picture = NewVariable();
            Store(picture, gdi::MakeDibSection(8, 40, 30, kSalt));
            Handle display = NewDisplay(el.id(), picture);
            ASSERT_EQ(host.Deliver(display, 301, 0), 0);
            el.Fill(kBackground);
            const std::vector<hostsim::DrawCall> calls = host.Draw(el.id());
            ASSERT_EQ(calls.size(), 1u);
            EXPECT_EQ(calls[0].result, 1);
            ElementRect visible = el.rect();
            visible.right = std::min<int16_t>(visible.right, static_cast<int16_t>(std::abs(el.Stride())));
            visible.bottom = std::min<int16_t>(visible.bottom, static_cast<int16_t>(c.rows));
            // Rows and columns keep their place in the picture; only the visible part lands.
            int wrong = 0;
            for (int y = 0; y < c.rows; ++y)
                for (int x = 0; x < c.width; ++x) {
                    const bool in = x >= visible.left && x < visible.right && y >= visible.top && y < visible.bottom;
                    const int left = el.rect().left, bottom = el.rect().bottom;
                    const uint8_t want = in ? gdi::PatternByte(x - left, bottom - 1 - y, kSalt) : kBackground;
                    if (el.At(x, y) != want && wrong++ < 3) ADD_FAILURE() << "pixel " << x << "," << y;
                }
            EXPECT_EQ(wrong, 0);
            host.Deliver(display, 302, 0);
        }
}

TEST_F(DisplayCapture, DisplayDrawsNothingWithoutReadablePixels) {
    const struct { const char* name; HBITMAP bitmap; bool reference, resolvable; } kCases[] = {
        {"empty variable", nullptr, true, true},
        {"unresolved reference", gdi::MakeDibSection(8, 40, 30), true, false},
        {"no reference", gdi::MakeDibSection(8, 40, 30), false, true},
        {"device-dependent bitmap", gdi::MakeDeviceBitmap(40, 30), true, true},
        {"1 bit per pixel", gdi::MakeDibSection(1, 40, 30), true, true},
        {"4 bits per pixel", gdi::MakeDibSection(4, 40, 30), true, true},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        hostsim::Element& el = NewElement({10, 20, 50, 50}, 64, 64, true);
        const ObjectId picture = NewVariable();
        if (c.bitmap) Store(picture, c.bitmap);
        host.SetUnresolvable(picture, !c.resolvable);
        Handle display = NewModifier("zqDisplayBitmap", el.id(), 20, c.reference ? Host::Reference(picture) : Host::Empty());
        ASSERT_EQ(host.Deliver(display, 301, 0), 0);
        const std::vector<hostsim::DrawCall> calls = host.Draw(el.id());
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].result, 1);
        ExpectShown(el, {0, 0, 0, 0}, 0);
    }
}

TEST_F(DisplayCapture, DisplayFollowsTheVariableAtEachDraw) {
    hostsim::Element& el = NewElement({4, 6, 5, 7}, 64, 64, false);
    const ObjectId picture = NewVariable();
    Store(picture, gdi::MakeDibSection(8, 40, 30, 1));
    Handle display = NewDisplay(el.id(), picture);
    ASSERT_EQ(host.Deliver(display, 301, 0), 0);

    Store(picture, gdi::MakeDibSection(8, 40, 30, 2));  // same size: shows at once
    el.Fill(kBackground);
    EXPECT_EQ(host.Draw(el.id())[0].result, 1);
    ExpectShown(el, {4, 6, 44, 36}, 2);

    Store(picture, gdi::MakeDibSection(8, 20, 10, 3));  // smaller: one draw resizes
    el.Fill(kBackground);
    EXPECT_EQ(host.Draw(el.id())[0].result, 0);
    ExpectShown(el, {0, 0, 0, 0}, 0);
    EXPECT_EQ(Attribute(el.id(), "width"), 20);
    EXPECT_EQ(Attribute(el.id(), "height"), 10);
    EXPECT_EQ(host.Draw(el.id())[0].result, 1);
    ExpectShown(el, {4, 6, 24, 16}, 3);
    host.Deliver(display, 302, 0);
}

// The captured picture, top row first.
std::vector<uint8_t> Pixels(HBITMAP b, int* width, int* height) {
    const BITMAP bm = gdi::RecordOf(b);
    const gdi::Dib dib = gdi::ReadDib(b);
    *width = bm.bmWidth;
    *height = bm.bmHeight;
    std::vector<uint8_t> out;
    const int stride = (bm.bmWidth + 3) & ~3;
    for (int y = bm.bmHeight - 1; y >= 0 && bm.bmBitsPixel == 8; --y)
        out.insert(out.end(), dib.pixels.begin() + y * stride, dib.pixels.begin() + y * stride + bm.bmWidth);
    return out;
}

TEST_F(DisplayCapture, CaptureTakesTheVisiblePartUpright) {
    const struct { const char* name; ElementRect rect; RECT visible; } kCases[] = {
        {"odd width", {3, 5, 18, 12}, {3, 5, 18, 12}},
        {"even width", {3, 5, 19, 12}, {3, 5, 19, 12}},
        {"over the left and top", {-3, -2, 9, 6}, {0, 0, 9, 6}},
        {"over the right and bottom", {60, 58, 70, 70}, {60, 58, 64, 64}},
    };
    for (const auto& c : kCases)
        for (const bool bottomUp : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (bottomUp ? ", bottom-up" : ", top-down"));
            hostsim::Element& el = NewElement(c.rect, 64, 64, bottomUp, true);
            const ObjectId picture = NewVariable();
            Handle capture = NewCapture(el.id(), Host::Reference(picture));
            EXPECT_EQ(host.Deliver(capture, 301, 0), 0);
            EXPECT_TRUE(el.Hooks().empty());
            EXPECT_EQ(probe.LiveBitmaps(), 1) << "only the variable's copy remains";
            int w = 0, h = 0;
            const std::vector<uint8_t> got = Pixels(Held(picture), &w, &h);
            ASSERT_EQ(w, c.visible.right - c.visible.left);
            ASSERT_EQ(h, c.visible.bottom - c.visible.top);
            ASSERT_EQ(got.size(), static_cast<size_t>(w * h));
            for (int i = 0; i < w * h; ++i)
                ASSERT_EQ(got[i], SurfaceByte(c.visible.left + i % w, c.visible.top + i / w)) << "pixel " << i;
            host.Destroy(host.HandleOf(picture));
        }
}

TEST_F(DisplayCapture, CaptureWithoutPictureOrVariableKeepsTheOldValue) {
    const struct { const char* name; ElementRect rect; bool reference, resolvable; uint32_t code; int16_t result; } kCases[] = {
        {"zero width", {5, 5, 5, 20}, true, true, 301, 0},
        {"negative height", {5, 20, 30, 10}, true, true, 301, 0},
        {"outside the surface", {70, 5, 90, 20}, true, true, 301, 0},
        {"empty bitmapVariable", {5, 5, 30, 20}, false, true, 301, 0},
        {"unresolved reference", {5, 5, 30, 20}, true, false, 301, 0},
        {"another event", {5, 5, 30, 20}, true, true, 302, 1},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        hostsim::Element& el = NewElement(c.rect, 64, 64, true, true);
        const ObjectId picture = NewVariable();
        Store(picture, gdi::MakeDibSection(8, 5, 5));
        const HBITMAP before = Held(picture);
        const int bitmaps = probe.LiveBitmaps();
        host.SetUnresolvable(picture, !c.resolvable);
        Handle capture = NewCapture(el.id(), c.reference ? Host::Reference(picture) : Host::Empty());
        EXPECT_EQ(host.Deliver(capture, c.code, 0), c.result);
        EXPECT_EQ(el.Refreshes(), c.result == 0 ? 1 : 0);
        host.SetUnresolvable(picture, false);
        EXPECT_EQ(Held(picture), before);
        EXPECT_EQ(probe.LiveBitmaps(), bitmaps);
        EXPECT_EQ(probe.LiveGlobals() + probe.LiveDcs(), 0);
    }
}

TEST_F(DisplayCapture, CaptureReleasesEverythingAndStoresNoBadPictureWhateverCallFails) {
    hostsim::Element& el = NewElement({3, 5, 18, 12}, 64, 64, true, true);
    const ObjectId picture = NewVariable();
    Store(picture, gdi::MakeDibSection(8, 5, 5));
    Handle capture = NewCapture(el.id(), Host::Reference(picture));
    for (int n = 1;; ++n) {
        SCOPED_TRACE(n);
        bool fired;
        {
            FailNthCall fault{probe, n};
            EXPECT_EQ(host.Deliver(capture, 301, 0), 0);
            fired = fault.Fired();
        }
        SCOPED_TRACE(probe.FailedCall());
        EXPECT_EQ(probe.LiveGlobals() + probe.LiveDcs(), 0);
        EXPECT_LE(probe.LiveBitmaps(), 1);
        // The old picture, none (the variable's own copy failed) or the right one.
        int w = 0, h = 0;
        const std::vector<uint8_t> got = Pixels(Held(picture), &w, &h);
        if (w == 15) {
            ASSERT_EQ(got.size(), 15u * 7u);
            for (int i = 0; i < 15 * 7; ++i) ASSERT_EQ(got[i], SurfaceByte(3 + i % 15, 5 + i / 15)) << "pixel " << i;
        }
        if (!fired) {
            EXPECT_EQ(w, 15);
            break;
        }
        if (w == 15) Store(picture, gdi::MakeDibSection(8, 5, 5));
    }
}

TEST_F(DisplayCapture, CapturedPictureDisplaysOnAnotherSurface) {
    hostsim::Element& source = NewElement({7, 9, 32, 26}, 64, 64, true, true);  // 25 x 17
    hostsim::Element& target = NewElement({30, 2, 31, 3}, 80, 40, false);
    const ObjectId picture = NewVariable();
    ASSERT_EQ(host.Deliver(NewCapture(source.id(), Host::Reference(picture)), 301, 0), 0);
    Handle display = NewDisplay(target.id(), picture);
    ASSERT_EQ(host.Deliver(display, 301, 0), 0);
    ASSERT_EQ(target.rect().right, 55);
    ASSERT_EQ(target.rect().bottom, 19);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 25; ++x) ASSERT_EQ(target.At(30 + x, 2 + y), SurfaceByte(7 + x, 9 + y)) << x << "," << y;
    host.Deliver(display, 302, 0);
}

}  // namespace
