// Display and capture end to end: the host simulator draws elements on 8-bit
// surfaces with guard zones, the platform probe counts what the plug-in holds.
#include <gtest/gtest.h>

#include <cstdlib>
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

constexpr uint8_t kBackground = 0xEE;
uint8_t SurfaceByte(int x, int y) { return gdi::PatternByte(x, y, 5); }
enum class Ref { Resolved, Unresolved, None };

class DisplayCapture : public ComponentTest {
protected:
    DisplayCapture() : ComponentTest({"zqDisplayBitmap", "zqCaptureBitmap", "zqBitmapVariable"}) {}

    Element& NewElement(ElementRect rect, int width, int rows, bool bottomUp, bool patterned = false) {
        Element& el = host.ElementOf(host.NewElement({rect, width, rows, bottomUp}));
        el.Fill(kBackground);
        for (int y = 0; patterned && y < rows; ++y)
            for (int x = 0; x < width; ++x) el.At(x, y) = SurfaceByte(x, y);
        return el;
    }
    void Store(ObjectId variable, HBITMAP given) {
        HostValue v = Host::Integer(Payload(given));
        ASSERT_EQ(host.SetAttributeById(variable, "value", &v), 0);
        DeleteObject(given);
    }
    Handle NewModifier(const char* type, ObjectId element, ObjectId variable, Ref ref = Ref::Resolved) {
        Handle m = host.Create(type, element);
        host.SetField(m, FieldOffset(type, "bitmapVariable"), ref == Ref::None ? Host::Empty() : Host::Reference(variable));
        host.SetUnresolvable(variable, ref == Ref::Unresolved);
        return m;
    }
};

// The surface against a bitmap of pattern `salt` placed at `at` (its first
// memory row on row at.bottom - 1), as far as the surface's memory reaches.
void ExpectShown(const Element& el, ElementRect at, int salt) {
    int wrong = 0;
    for (int y = 0; y < el.SurfaceRows(); ++y)
        for (int x = 0; x < std::abs(el.Stride()); ++x) {
            const bool in = x >= at.left && x < at.right && y >= at.top && y < at.bottom;
            const uint8_t want = in ? gdi::PatternByte(x - at.left, at.bottom - 1 - y, salt) : kBackground;
            if (el.At(x, y) != want && wrong++ < 3) ADD_FAILURE() << "pixel " << x << "," << y;
        }
}

TEST_F(DisplayCapture, DisplayShowsAndHidesWithOneHook) {
    Element& el = NewElement({10, 20, 11, 21}, 64, 64, false);
    const ObjectId picture = host.IdOf(host.Create("zqBitmapVariable"));
    Store(picture, gdi::MakeDibSection(8, 40, 30));
    Handle display = NewModifier("zqDisplayBitmap", el.id(), picture);
    Handle copy = nullptr;
    const struct { uint32_t code, qualifier; int16_t result; size_t hooks; bool copied; } kSteps[] = {
        {301, 0, 0, 1, false}, {301, 0, 0, 1, false}, {302, 0, 0, 0, false}, {302, 0, 1, 0, false},
        {2002, 9, 1, 0, false}, {301, 0, 0, 1, false}, {2002, 9, 0, 0, false}, {301, 0, 0, 1, false},
        {303, 0, 1, 1, false}, {302, 1, 1, 1, false},
        // A copy made without Construct starts hidden, whatever its block held.
        {2002, 0, 1, 1, true}, {301, 0, 0, 2, true}, {302, 0, 0, 1, true}, {302, 0, 0, 0, false}};
    for (const auto& s : kSteps) {
        SCOPED_TRACE(std::to_string(s.code) + "/" + std::to_string(s.qualifier) + (s.copied ? " copy" : ""));
        if (s.copied && !copy) copy = host.CopyConstruct(display, el.id());
        EXPECT_EQ(host.Deliver(s.copied ? copy : display, s.code, s.qualifier), s.result);
        EXPECT_EQ(el.Hooks().size(), s.hooks);
    }
    EXPECT_EQ(Attribute(el.id(), "width"), 40);
    EXPECT_EQ(Attribute(el.id(), "height"), 30);
}

// A host that installed the hook and answered a status keeps calling it: the
// display must still remove it, on hiding and when it goes.
TEST_F(DisplayCapture, DisplayRemovesAHookTheHostInstalledWithAStatus) {
    for (HostStatus status : {HostStatus{1}, HostStatus{0x7FFF}}) {
        for (bool destroy : {false, true}) {
            SCOPED_TRACE(std::to_string(status) + (destroy ? " destroyed" : " hidden"));
            Element& el = NewElement({10, 20, 11, 21}, 64, 64, false);
            const ObjectId picture = host.IdOf(host.Create("zqBitmapVariable"));
            Store(picture, gdi::MakeDibSection(8, 40, 30));
            Handle display = NewModifier("zqDisplayBitmap", el.id(), picture);
            host.SetHookInstallStatus(status);
            EXPECT_EQ(host.Deliver(display, 301, 0), 0);
            host.SetHookInstallStatus(0);
            ASSERT_EQ(el.Hooks().size(), 1u);
            if (destroy) {
                host.Destroy(display);
            } else {
                EXPECT_EQ(host.Deliver(display, 302, 0), 0);
            }
            EXPECT_TRUE(el.Hooks().empty());
        }
    }
}

// The hook goes with the instance that installed it; a copy of the block's
// bytes (the host's, before CopyConstruct) never takes it along.
TEST_F(DisplayCapture, DisplayHookGoesWithItsInstanceNeverWithACopy) {
    using Copy = Host::CopyStart;
    const struct { const char* name; bool copy, destroyCopy, assign; size_t hooks; } kCases[] = {
        {"original destroyed", false, false, false, 0},
        {"original assigned over, then destroyed", false, false, true, 0},
        {"copy hidden", true, false, false, 1},
        {"copy destroyed", true, true, false, 1},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        Element& el = NewElement({10, 20, 11, 21}, 64, 64, false);
        const ObjectId picture = host.IdOf(host.Create("zqBitmapVariable"));
        Store(picture, gdi::MakeDibSection(8, 40, 30, 3));
        Handle display = NewModifier("zqDisplayBitmap", el.id(), picture);
        ASSERT_EQ(host.Deliver(display, 301, 0), 0);
        if (c.copy) {
            Handle copy = host.CopyConstruct(display, el.id(), Copy::SourceBytes);
            if (c.destroyCopy) {
                host.Destroy(copy);
            } else {
                EXPECT_EQ(host.Deliver(copy, 302, 0), 1);
                EXPECT_EQ(host.Deliver(copy, 2002, 0), 1);
            }
        } else {
            if (c.assign) {
                EXPECT_EQ(host.Assign(display, host.Create("zqDisplayBitmap", el.id())), 0);
            }
            host.Destroy(display);
        }
        ASSERT_EQ(el.Hooks().size(), c.hooks);
        el.Fill(kBackground);
        const std::vector<hostsim::DrawCall> calls = host.Draw(el.id());  // a freed block's hook fails here
        ASSERT_EQ(calls.size(), c.hooks);
        ExpectShown(el, c.hooks ? el.rect() : ElementRect{}, 3);
        if (c.hooks) {
            EXPECT_EQ(calls[0].instance, display);
        }
    }
}

TEST_F(DisplayCapture, DisplayDrawsUprightInsideTheSurfaceOrNothing) {
    using Make = HBITMAP (*)();
    const Make dib8 = [] { return gdi::MakeDibSection(8, 40, 30, 3); };
    const struct { const char* name; ElementRect rect; int width, rows; Make make; Ref ref; bool drawn; } kCases[] = {
        {"inside", {10, 20, 11, 21}, 640, 480, dib8, Ref::Resolved, true},
        {"over the left and top", {-7, -4, 0, 0}, 64, 64, dib8, Ref::Resolved, true},
        {"over the right and bottom", {50, 45, 0, 0}, 62, 60, dib8, Ref::Resolved, true},  // 2 padding columns
        {"outside", {100, 100, 0, 0}, 64, 64, dib8, Ref::Resolved, true},
        {"empty variable", {10, 20, 50, 50}, 64, 64, nullptr, Ref::Resolved, false},
        {"unresolved reference", {10, 20, 50, 50}, 64, 64, dib8, Ref::Unresolved, false},
        {"no reference", {10, 20, 50, 50}, 64, 64, dib8, Ref::None, false},
        // Pictures of other depths are converted: display_colours_test.cpp.
    };
    for (const auto& c : kCases)
        for (const bool bottomUp : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (bottomUp ? ", bottom-up" : ", top-down"));
            Element& el = NewElement(c.rect, c.width, c.rows, bottomUp);
            const ObjectId picture = host.IdOf(host.Create("zqBitmapVariable"));
            if (c.make) Store(picture, c.make());
            Handle display = NewModifier("zqDisplayBitmap", el.id(), picture, c.ref);
            ASSERT_EQ(host.Deliver(display, 301, 0), 0);
            el.Fill(kBackground);
            const std::vector<hostsim::DrawCall> calls = host.Draw(el.id());
            ASSERT_EQ(calls.size(), 1u);
            EXPECT_EQ(calls[0].result, 1);
            ExpectShown(el, c.drawn ? el.rect() : ElementRect{}, 3);
        }
}

TEST_F(DisplayCapture, DisplayFollowsTheVariableAtEachDraw) {
    Element& el = NewElement({4, 6, 5, 7}, 64, 64, false);
    const ObjectId picture = host.IdOf(host.Create("zqBitmapVariable"));
    Store(picture, gdi::MakeDibSection(8, 40, 30, 1));
    ASSERT_EQ(host.Deliver(NewModifier("zqDisplayBitmap", el.id(), picture), 301, 0), 0);
    const struct { int width, height, salt; int16_t result; ElementRect shown; } kSteps[] = {
        {40, 30, 2, 1, {4, 6, 44, 36}},  // same size: shows at once
        {20, 10, 3, 0, {}},              // another size: the element takes it, nothing drawn
        {0, 0, 3, 1, {4, 6, 24, 16}},    // and the next draw shows it
    };
    for (const auto& s : kSteps) {
        if (s.width) Store(picture, gdi::MakeDibSection(8, s.width, s.height, s.salt));
        el.Fill(kBackground);
        EXPECT_EQ(host.Draw(el.id()).at(0).result, s.result);
        ExpectShown(el, s.shown, s.salt);
    }
    EXPECT_EQ(Attribute(el.id(), "width"), 20);
}

// True when `b` is an 8-bit picture of the surface pattern over `area`.
bool HoldsSurface(HBITMAP b, RECT area) {
    const BITMAP bm = gdi::RecordOf(b);
    const gdi::Dib dib = gdi::ReadDib(b);  // bottom-up, rows padded to 4 bytes
    if (bm.bmBitsPixel != 8 || bm.bmWidth != area.right - area.left || bm.bmHeight != area.bottom - area.top)
        return false;
    for (int y = 0; y < bm.bmHeight; ++y)
        for (int x = 0; x < bm.bmWidth; ++x)
            if (dib.pixels[(bm.bmHeight - 1 - y) * ((bm.bmWidth + 3) & ~3) + x] != SurfaceByte(area.left + x, area.top + y))
                return false;
    return true;
}

TEST_F(DisplayCapture, CaptureTakesTheVisiblePartUprightOrKeepsTheOldPicture) {
    const struct { const char* name; ElementRect rect; Ref ref; uint32_t code; RECT taken; } kCases[] = {
        {"odd width", {3, 5, 18, 12}, Ref::Resolved, 301, {3, 5, 18, 12}},
        {"even width", {3, 5, 19, 12}, Ref::Resolved, 301, {3, 5, 19, 12}},
        {"over the left and top", {-3, -2, 9, 6}, Ref::Resolved, 301, {0, 0, 9, 6}},
        {"over the right and bottom", {60, 58, 70, 70}, Ref::Resolved, 301, {60, 58, 64, 64}},
        {"zero width", {5, 5, 5, 20}, Ref::Resolved, 301, {}},
        {"negative height", {5, 20, 30, 10}, Ref::Resolved, 301, {}},
        {"outside", {70, 5, 90, 20}, Ref::Resolved, 301, {}},
        {"empty bitmapVariable", {5, 5, 30, 20}, Ref::None, 301, {}},
        {"unresolved reference", {5, 5, 30, 20}, Ref::Unresolved, 301, {}},
        {"another event", {5, 5, 30, 20}, Ref::Resolved, 302, {}},
    };
    for (const auto& c : kCases)
        for (const bool bottomUp : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (bottomUp ? ", bottom-up" : ", top-down"));
            Element& el = NewElement(c.rect, 64, 64, bottomUp, true);
            const ObjectId picture = host.IdOf(host.Create("zqBitmapVariable"));
            Store(picture, gdi::MakeDibSection(8, 5, 5));
            const HBITMAP old = Held(picture);
            const int bitmaps = probe.LiveBitmaps();
            EXPECT_EQ(host.Deliver(NewModifier("zqCaptureBitmap", el.id(), picture, c.ref), c.code, 0),
                      c.code == 301 ? 0 : 1);
            host.SetUnresolvable(picture, false);
            EXPECT_TRUE(el.Hooks().empty());
            EXPECT_EQ(probe.LiveBitmaps(), bitmaps) << "only the variable's copy remains";
            EXPECT_EQ(probe.LiveGlobals() + probe.LiveDcs(), 0);
            if (c.taken.right == c.taken.left) EXPECT_EQ(Held(picture), old);
            else EXPECT_TRUE(HoldsSurface(Held(picture), c.taken));
        }
}

TEST_F(DisplayCapture, CaptureReleasesEverythingAndStoresNoBadPictureWhateverCallFails) {
    Element& el = NewElement({3, 5, 18, 12}, 64, 64, true, true);
    const ObjectId picture = host.IdOf(host.Create("zqBitmapVariable"));
    Handle capture = NewModifier("zqCaptureBitmap", el.id(), picture);
    ForEachFailingCall(
        probe, [&] { return host.Deliver(capture, 301, 0); },
        [&](const FaultRun& run, int16_t r) {
            EXPECT_EQ(r, 0);
            EXPECT_EQ(probe.LiveGlobals() + probe.LiveDcs(), 0);
            EXPECT_LE(probe.LiveBitmaps(), 1);
            // None (nothing made yet, or the variable's own copy failed) or the right one.
            const int w = gdi::RecordOf(Held(picture)).bmWidth;
            EXPECT_TRUE(w == 0 || HoldsSurface(Held(picture), {3, 5, 18, 12}));
            if (!run.fired) {
                EXPECT_EQ(w, 15);
            }
        });
}

TEST_F(DisplayCapture, CapturedPictureDisplaysOnAnotherSurface) {
    Element& source = NewElement({7, 9, 32, 26}, 64, 64, true, true);  // 25 x 17
    Element& target = NewElement({30, 2, 31, 3}, 80, 40, false);
    const ObjectId picture = host.IdOf(host.Create("zqBitmapVariable"));
    ASSERT_EQ(host.Deliver(NewModifier("zqCaptureBitmap", source.id(), picture), 301, 0), 0);
    ASSERT_EQ(host.Deliver(NewModifier("zqDisplayBitmap", target.id(), picture), 301, 0), 0);
    ASSERT_EQ(target.rect().right, 55);
    ASSERT_EQ(target.rect().bottom, 19);
    for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 25; ++x) ASSERT_EQ(target.At(30 + x, 2 + y), SurfaceByte(7 + x, 9 + y)) << x << "," << y;
}

}  // namespace
