// Elements and drawing hooks: the records a hook receives, and a surface
// whose stride sign matches the DIB the host draws with.
#include <windows.h>

#include <gtest/gtest.h>

#include "hostsim/testing.h"
#include "tests/hostsim/fake_plugin.h"
#include "tests/hostsim/walk.h"

using hostsim::Handle;
using hostsim::Host;
using hostsim::ObjectId;
using hostsim::TestHost;

namespace {

constexpr ElementRect kRect{10, 20, 50, 50};

uint32_t InstallHook(Host& host, ObjectId element, Handle inst) {
    HookRecord record{};
    record.kind = 1;
    record.instance = inst;
    record.one = 1;
    HostValue flags = Host::Integer(0);
    EXPECT_EQ(walk::Call(host.ServiceHandle(kValueService), 1, 7, element, &record, &flags), 0);
    return record.hookId;
}

TEST(HostDraw, HookGetsTheRecordsAndPaintsTheDibBothStrideSigns) {
    for (const bool bottomUp : {false, true}) {
        SCOPED_TRACE(bottomUp ? "bottom-up, negative stride" : "top-down, positive stride");
        TestHost host;
        host.LoadLinked(fake::Entries());
        const ObjectId el = host.NewElement({kRect, 62, 60, bottomUp});
        hostsim::Element& element = host.ElementOf(el);
        element.Fill(0xEE);
        Handle inst = host.Create("fkModifier", el);
        const uint32_t id = InstallHook(host, el, inst);
        EXPECT_NE(id, 0u);
        ASSERT_EQ(element.Hooks().size(), 1u);
        EXPECT_EQ(element.Hooks()[0].id, id);

        const std::vector<hostsim::DrawCall> calls = host.Draw(el);
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].result, 1);
        const SurfaceRecord& s = fake::Seen().surface;
        EXPECT_EQ(s.rows, 60);
        EXPECT_EQ(s.stride, bottomUp ? -64 : 64);  // 62 pixels padded to 4 bytes
        EXPECT_EQ(s.pixels, element.Pixels());
        EXPECT_EQ(s.dc, element.Dc());
        EXPECT_EQ(fake::Seen().rect.left, kRect.left);
        EXPECT_EQ(fake::Seen().rect.bottom, kRect.bottom);
        EXPECT_EQ(fake::Seen().draw[0], hostsim::kPoison);

        // The DC holds the DIB whose bits are the surface.
        HDC dc = static_cast<HDC>(element.Dc());
        DIBSECTION dib{};
        ASSERT_EQ(GetObjectA(GetCurrentObject(dc, OBJ_BITMAP), sizeof dib, &dib), static_cast<int>(sizeof dib));
        EXPECT_EQ(dib.dsBm.bmBits, element.Pixels());
        // GDI must see the hook's pixels where the hook meant them.
        for (const POINT p : {POINT{10, 20}, POINT{49, 20}, POINT{10, 49}, POINT{49, 49}, POINT{30, 35}}) {
            const int v = (p.x + 3 * p.y) & 0xFF;
            EXPECT_EQ(GetPixel(dc, p.x, p.y), RGB(v, v, v)) << p.x << "," << p.y;
            EXPECT_EQ(element.At(p.x, p.y), v);
        }
        for (const POINT p : {POINT{9, 20}, POINT{50, 49}, POINT{10, 19}, POINT{10, 50}})
            EXPECT_EQ(GetPixel(dc, p.x, p.y), RGB(0xEE, 0xEE, 0xEE)) << p.x << "," << p.y;
    }
}

TEST(HostDraw, RefreshDrawsAndRemovedHooksStayQuiet) {
    TestHost host;
    host.LoadLinked(fake::Entries());
    const ObjectId el = host.NewElement({kRect, 64, 64, false});
    Handle inst = host.Create("fkModifier", el);
    const uint32_t id = InstallHook(host, el, inst);

    EXPECT_EQ(walk::Call(inst, 0, 41, 1u), 0);
    EXPECT_EQ(fake::Seen().hookCalls, 1);
    EXPECT_EQ(host.ElementOf(el).RefreshFlags(), std::vector<uint32_t>{1});

    EXPECT_EQ(walk::Call(host.ServiceHandle(kValueService), 1, 36, el, 1u, id), 0);
    EXPECT_TRUE(host.Draw(el).empty());
    EXPECT_EQ(walk::Call(inst, 0, 41, 0u), 0);
    EXPECT_EQ(fake::Seen().hookCalls, 1);
}

TEST(HostDraw, RemovingAHookThatIsNotThereIsReported) {
    const struct {
        const char* name;
        uint32_t kind;
        bool sameId;
    } kCases[] = {{"other kind", 3, true}, {"unknown id", 1, false}};
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        Host host;
        host.LoadLinked(fake::Entries());
        const ObjectId el = host.NewElement({kRect, 64, 64, false});
        const uint32_t id = InstallHook(host, el, host.Create("fkModifier", el));
        EXPECT_NE(walk::Call(host.ServiceHandle(kValueService), 1, 36, el, c.kind, c.sameId ? id : id + 1), 0);
        EXPECT_TRUE(hostsim::HasError(host, "RemoveElementHook"));
        EXPECT_EQ(host.ElementOf(el).Hooks().size(), 1u);
    }
}

TEST(HostDraw, ElementSizeFollowsWidthAndHeight) {
    TestHost host;
    const ObjectId el = host.NewElement({kRect, 64, 64, false});
    void* values = host.ServiceHandle(kValueService);
    char width[16] = "width", height[16] = "HEIGHT";
    HostValue v = Host::Integer(7);
    EXPECT_EQ(walk::Call(values, 1, 6, el, static_cast<const char*>(width), 0u, &v), 0);
    v = Host::Integer(9);
    EXPECT_EQ(walk::Call(values, 1, 6, el, static_cast<const char*>(height), 0u, &v), 0);
    const ElementRect r = host.ElementOf(el).rect();
    EXPECT_EQ(r.right - r.left, 7);
    EXPECT_EQ(r.bottom - r.top, 9);
    v.tag = kTagAny;
    EXPECT_EQ(walk::Call(values, 1, 5, el, static_cast<const char*>(width), 0u, &v), 0);
    EXPECT_EQ(walk::W(reinterpret_cast<uintptr_t>(&v) + 2), 7u);
}

// The host keeps a hook its instance left installed; drawing would call freed memory.
TEST(HostDraw, HookOfADestroyedInstanceIsReportedNotCalled) {
    Host host;
    host.LoadLinked(fake::Entries());
    const ObjectId el = host.NewElement({kRect, 64, 64, false});
    Handle inst = host.Create("fkModifier", el);
    InstallHook(host, el, inst);
    host.Destroy(inst);
    EXPECT_EQ(host.ElementOf(el).Hooks().size(), 1u);
    EXPECT_TRUE(host.Draw(el).empty());
    EXPECT_TRUE(hostsim::HasError(host, "belongs to a destroyed instance"));
}

TEST(HostDraw, HookWritingTheHostsRectangleIsReported) {
    Host host;
    host.LoadLinked(fake::Entries());
    const ObjectId el = host.NewElement({kRect, 64, 64, false});
    InstallHook(host, el, host.Create("fkModifier", el));
    fake::Seen().hookWritesRect = true;
    host.Draw(el);
    EXPECT_TRUE(hostsim::HasError(host, "wrote into the host's draw"));
    EXPECT_EQ(host.ElementOf(el).rect().left, kRect.left);
}

TEST(HostDraw, WritesOutsideTheSurfaceAreCaught) {
    for (const int side : {-1, 1}) {
        SCOPED_TRACE(side < 0 ? "before the first byte" : "after the last byte");
        Host host;
        host.LoadLinked(fake::Entries());
        const ObjectId el = host.NewElement({kRect, 62, 60, side > 0});
        InstallHook(host, el, host.Create("fkModifier", el));
        host.Draw(el);
        EXPECT_TRUE(host.Errors().empty());
        fake::Seen().hookWritesOutside = side;
        host.Draw(el);
        EXPECT_TRUE(hostsim::HasError(host, "outside the surface"));
        EXPECT_TRUE(host.ElementOf(el).GuardsIntact());  // restored for the next draw
    }
}

}  // namespace
