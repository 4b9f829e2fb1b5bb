// The print component: its page layout as plain numbers, then the action
// through the host simulator with a fake printer at the platform seam (memory
// contexts standing in for printer contexts, chosen page measurements).
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "components/modifiers.h"
#include "files/print_layout.h"
#include "framework/host_value.h"
#include "hostsim/testing.h"
#include "tests/components/gdi_util.h"
#include "tests/support/platform_probe.h"

namespace {

using hostsim::Handle;
using hostsim::Host;
using hostsim::ObjectId;

// 600 dpi, a 5000 x 7000 sheet, printable area 4800 x 6600 from (50, 100).
constexpr PageMetrics kPortrait{600, 600, 5000, 7000, 50, 100, 4800, 6600};
constexpr PageMetrics Turned(PageMetrics m) {
    return {m.dpiY, m.dpiX, m.sheetHeight, m.sheetWidth, m.offsetY, m.offsetX, m.printableHeight, m.printableWidth};
}

using Box = std::array<int, 4>;  // left, top, width, height

// --- the layout ---

struct LayoutCase {
    const char* name;
    PrintSettings settings;
    PageMetrics page;
    int screenDpi, bitmapW, bitmapH, positionX, positionY;
    bool ok;
    Box at;
};

TEST(PrintLayout, PlacesAndScales) {
    constexpr PageMetrics kLandscape = Turned(kPortrait);
    constexpr PageMetrics kOddSheet{96, 96, 101, 51, 0, 0, 101, 51};
    constexpr PageMetrics kNonSquare{600, 300, 5000, 7000, 50, 100, 4800, 6600};
    const LayoutCase kCases[] = {
        // 600 / 96 = 6.25; centred on the sheet, then shifted to the printable corner.
        {"unscaled centred", {false, 0, 0}, kPortrait, 96, 300, 200, 0, 0, true, {1512, 2775, 1875, 1250}},
        // fx = 6600 / 1875 = 3.52, fy = 3.84: the scale is 22.0 exactly, not 21.99999988.
        {"fit landscape", {true, 0, 2}, kLandscape, 96, 300, 200, 0, 0, true, {0, 0, 6600, 4400}},
        {"fit tall", {true, 0, 2}, kPortrait, 96, 200, 300, 0, 0, true, {0, 0, 4400, 6600}},
        {"fit enlarges", {true, 0, 2}, kPortrait, 96, 10, 10, 0, 0, true, {0, 0, 4800, 4800}},
        {"at 1.5 in, 2 in", {false, 0, 1}, kPortrait, 96, 3, 3, 900, 1200, true, {850, 1100, 18, 18}},
        {"at 0 in: the printable edge", {false, 0, 1}, kPortrait, 96, 3, 3, 0, 0, true, {0, 0, 18, 18}},
        {"far right: nothing limits it", {false, 0, 1}, kPortrait, 96, 3, 3, INT_MAX, 100, true, {INT_MAX - 50, 0, 18, 18}},
        {"any other placement: the corner", {false, 0, 7}, kPortrait, 96, 3, 3, 900, 900, true, {0, 0, 18, 18}},
        {"larger than the sheet", {false, 0, 0}, kPortrait, 96, 2000, 2000, 0, 0, true, {-3800, -2850, 12500, 12500}},
        // 101 / 2 = 50; 50 - 50.5 = -0.5 truncates to 0, not -1.
        {"centre truncates toward zero", {false, 0, 0}, kOddSheet, 96, 101, 51, 0, 0, true, {0, 0, 101, 51}},
        {"axes scale apart", {false, 0, 2}, kNonSquare, 120, 300, 200, 0, 0, true, {0, 0, 1500, 500}},
        {"no screen resolution", {false, 0, 0}, kPortrait, 0, 300, 200, 0, 0, false, {}},
        {"no printer resolution", {false, 0, 0}, {0, 600, 5000, 7000, 0, 0, 4800, 6600}, 96, 30, 20, 0, 0, false, {}},
        {"no printable area", {true, 0, 0}, {600, 600, 5000, 7000, 0, 0, 0, 6600}, 96, 30, 20, 0, 0, false, {}},
        {"empty bitmap", {false, 0, 0}, kPortrait, 96, 0, 20, 0, 0, false, {}},
        {"printed size past int32", {false, 0, 2}, {INT_MAX, 600, 5000, 7000, 0, 0, 4800, 6600}, 1, 2, 2, 0, 0,
         false, {}},
    };
    for (const LayoutCase& c : kCases) {
        SCOPED_TRACE(c.name);
        PrintLayout got{};
        ASSERT_EQ(ComputeLayout(c.settings, c.page, c.screenDpi, c.screenDpi, c.bitmapW, c.bitmapH, c.positionX,
                                c.positionY, &got),
                  c.ok);
        if (!c.ok) continue;
        EXPECT_EQ((Box{got.x, got.y, got.width, got.height}), c.at);
    }
}

TEST(PrintLayout, OrientationAndInches) {
    struct Turn {
        int32_t orientation;
        bool fit;
        int w, h;
        bool landscape;
    };
    const Turn kTurns[] = {
        {2, false, 1, 100, true},      {1, false, 9000, 1, false},  {7, true, 300, 200, false},
        {0, true, 300, 200, true},     {0, true, 200, 300, false},  {0, true, 200, 200, false},
        {0, false, 4801, 1, true},     {0, false, 4800, 9000, false},
    };
    for (const Turn& t : kTurns) {
        SCOPED_TRACE(testing::Message() << t.orientation << (t.fit ? " fit " : " ") << t.w << "x" << t.h);
        EXPECT_EQ(WantsLandscape({t.fit, t.orientation, 0}, t.w, t.h, kPortrait), t.landscape);
    }
    struct Distance {
        Inches inches;
        int32_t px;  // at 600 dpi
    };
    const Distance kDistances[] = {
        {{Inches::Whole, 2}, 1200},
        {{Inches::Fraction, 0, 1.5}, 900},
        {{Inches::Fraction, 0, -0.0009}, 0},
        {{Inches::Fraction, 0, -0.25}, -150},
        {{Inches::None, 5, 5.0}, 0},
        {{Inches::Fraction, 0, std::nan("")}, 0},
        {{Inches::Whole, INT_MAX / 2}, INT_MAX},
        {{Inches::Whole, INT_MIN / 2}, INT_MIN},
        {{Inches::Fraction, 0, 1e300}, INT_MAX},
        {{Inches::Fraction, 0, -INFINITY}, INT_MIN},
    };
    for (const Distance& d : kDistances) {
        SCOPED_TRACE(testing::Message() << d.inches.kind << " " << d.inches.whole << " " << d.inches.fraction);
        EXPECT_EQ(InchesToPixels(d.inches, 600), d.px);
    }
}

// --- the fake printer ---

const HWND kActiveWindow = reinterpret_cast<HWND>(0x5150);

struct FakePrinter {
    PageMetrics page = kPortrait;    // the default printer, portrait
    PageMetrics chosen = kPortrait;  // the printer picked in the dialog
    int screenDpi = 96;
    bool cancel = false;            // the user cancels the dialog
    SIZE_T devModeBytes = sizeof(DEVMODEA);  // 0: no device-mode block
    std::vector<std::string> log;  // printer calls in order
    std::map<HDC, std::pair<PageMetrics, short>> dcs;  // printer contexts: portrait page, orientation
    PRINTDLGA seen{};              // the record at the last PrintDlgA
    HDC dialogDc = nullptr;        // the context the dialog returned
    short dialogOrientation = 0;   // in the device mode the dialog started from
    struct Blit {
        HDC dc;
        int x, y, w, h, sx, sy, sw, sh, mode;
        HGDIOBJ source;
        DWORD rop;
    } blit{};
} printer;

BOOL(WINAPI* probedStretchBlt)(HDC, int, int, int, int, HDC, int, int, int, int, DWORD);

std::string Hex(unsigned v) {
    char text[16];
    std::snprintf(text, sizeof text, "%#x", v);
    return text;
}

HGLOBAL NewBlock(SIZE_T bytes) {
    PlatformProbe& p = PlatformProbe::Current();
    HGLOBAL h = p.inner().GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    p.globals_.insert(h);
    return h;
}
void DropBlock(HGLOBAL& h) {
    if (!h) return;
    PlatformProbe::Current().globals_.erase(h);
    PlatformProbe::Current().inner().GlobalFree(h);
    h = nullptr;
}
short OrientationIn(HGLOBAL mode) {
    const auto* dm = static_cast<const DEVMODEA*>(GlobalLock(mode));
    const short o = dm->dmOrientation;
    GlobalUnlock(mode);
    return o;
}

// The default printer, or the dialog's: new device blocks and a context each time.
BOOL WINAPI FakePrintDlg(LPPRINTDLGA pd) {
    PlatformProbe& p = PlatformProbe::Current();
    printer.log.push_back("PrintDlgA " + Hex(pd->Flags));
    printer.seen = *pd;
    if (p.ShouldFail("PrintDlgA")) return FALSE;
    const bool dialog = !(pd->Flags & PD_RETURNDEFAULT);
    const short orientation = pd->hDevMode ? OrientationIn(pd->hDevMode) : DMORIENT_PORTRAIT;
    if (dialog) printer.dialogOrientation = orientation;
    if (dialog && printer.cancel) return FALSE;
    DropBlock(pd->hDevMode);  // the dialog hands back blocks of its own
    DropBlock(pd->hDevNames);
    if (printer.devModeBytes) {
        pd->hDevMode = NewBlock(printer.devModeBytes);
        if (printer.devModeBytes >= sizeof(DEVMODEA)) {
            auto* dm = static_cast<DEVMODEA*>(GlobalLock(pd->hDevMode));
            dm->dmSize = sizeof(DEVMODEA);
            dm->dmFields = DM_ORIENTATION;
            dm->dmOrientation = orientation;
            GlobalUnlock(pd->hDevMode);
        }
    }
    pd->hDevNames = NewBlock(64);
    pd->hDC = p.inner().CreateCompatibleDC(nullptr);
    p.dcs_.insert(pd->hDC);
    printer.dcs[pd->hDC] = {dialog ? printer.chosen : printer.page, orientation};
    if (dialog) printer.dialogDc = pd->hDC;
    return TRUE;
}
HDC WINAPI FakeResetDC(HDC dc, const DEVMODEA* dm) {
    printer.log.push_back("ResetDCA " + std::to_string(dm->dmOrientation));
    if (PlatformProbe::Current().ShouldFail("ResetDCA")) return nullptr;
    printer.dcs.at(dc).second = dm->dmOrientation;
    return dc;
}
int WINAPI FakeDeviceCaps(HDC dc, int index) {
    auto it = printer.dcs.find(dc);
    if (it == printer.dcs.end())  // the screen
        return index == LOGPIXELSX || index == LOGPIXELSY ? printer.screenDpi
                                                          : PlatformProbe::Current().inner().GetDeviceCaps(dc, index);
    const PageMetrics m = it->second.second == DMORIENT_LANDSCAPE ? Turned(it->second.first) : it->second.first;
    switch (index) {
        case LOGPIXELSX: return m.dpiX;
        case LOGPIXELSY: return m.dpiY;
        case PHYSICALWIDTH: return m.sheetWidth;
        case PHYSICALHEIGHT: return m.sheetHeight;
        case PHYSICALOFFSETX: return m.offsetX;
        case PHYSICALOFFSETY: return m.offsetY;
        case HORZRES: return m.printableWidth;
        case VERTRES: return m.printableHeight;
    }
    return 0;
}
int WINAPI FakeStartDoc(HDC dc, const DOCINFOA* doc) {
    const bool plain = doc->cbSize == 20 && !doc->lpszOutput && !doc->lpszDatatype && doc->fwType == 0;
    printer.log.push_back(std::string("StartDocA ") + doc->lpszDocName + (plain ? "" : " (odd record)"));
    EXPECT_TRUE(printer.dcs.count(dc));
    return PlatformProbe::Current().ShouldFail("StartDocA") ? SP_ERROR : 1;
}
int WINAPI FakeStartPage(HDC) {
    printer.log.push_back("StartPage");
    return PlatformProbe::Current().ShouldFail("StartPage") ? SP_ERROR : 1;
}
int WINAPI FakeEndPage(HDC) {
    printer.log.push_back("EndPage");
    return PlatformProbe::Current().ShouldFail("EndPage") ? SP_ERROR : 1;
}
int WINAPI FakeEndDoc(HDC) {
    printer.log.push_back("EndDoc");
    return 1;
}
BOOL WINAPI RecordStretchBlt(HDC d, int x, int y, int w, int h, HDC s, int sx, int sy, int sw, int sh, DWORD rop) {
    printer.log.push_back("StretchBlt");
    printer.blit = {d, x, y, w, h, sx, sy, sw, sh, GetStretchBltMode(d), GetCurrentObject(s, OBJ_BITMAP), rop};
    return probedStretchBlt(d, x, y, w, h, s, sx, sy, sw, sh, rop);
}

std::vector<std::string> Printed(std::vector<std::string> resets, bool dialog = false) {
    std::vector<std::string> log{"PrintDlgA 0x500"};
    log.insert(log.end(), resets.begin(), resets.end());
    if (dialog) log.push_back("PrintDlgA 0x10010c");
    log.insert(log.end(), {"StartDocA ZErovod", "StartPage", "StretchBlt", "EndPage", "EndDoc"});
    return log;
}

constexpr uint32_t kEvent = 301;
constexpr size_t kVariableField = 10, kDialogField = 52, kFitField = 56, kOrientationField = 60,
                 kPlacementField = 66, kPositionXField = 72, kPositionYField = 114;

class PrintBitmap : public ::testing::Test {
protected:
    void SetUp() override {
        host.LoadLinked({{"zqPrintBitmap", zqPrintBitmap}, {"zqBitmapVariable", zqBitmapVariable}});
        host.CallTypeSlot("zqPrintBitmap", 0, kSlotClassInit);
        probe.globals_.clear();  // the defaults block lives as long as the process
        printer = FakePrinter{};
        Platform& t = probe.table();
        probedStretchBlt = t.StretchBlt;
        t.StretchBlt = RecordStretchBlt;
        t.PrintDlgA = FakePrintDlg;
        t.ResetDCA = FakeResetDC;
        t.GetDeviceCaps = FakeDeviceCaps;
        t.StartDocA = FakeStartDoc;
        t.StartPage = FakeStartPage;
        t.EndPage = FakeEndPage;
        t.EndDoc = FakeEndDoc;
        t.GetActiveWindow = []() WINAPI -> HWND { return kActiveWindow; };
    }
    void TearDown() override {
        host.Teardown();
        EXPECT_EQ(probe.LiveHandles(), 0);
        for (const std::string& e : probe.Errors()) ADD_FAILURE() << "platform: " << e;
    }

    // A bitmap variable holding a w x h picture (empty for 0), and its handle.
    ObjectId NewVariable(int w, int h) {
        const ObjectId v = host.IdOf(host.Create("zqBitmapVariable"));
        if (w) {
            HBITMAP source = gdi::MakeDibSection(24, w, h);
            HostValue value = Host::Integer(static_cast<int32_t>(reinterpret_cast<uintptr_t>(source)));
            EXPECT_EQ(host.SetAttributeById(v, "value", &value), 0);
            DeleteObject(source);
        }
        return v;
    }
    HGDIOBJ Held(ObjectId variable) {
        HostValue v = Host::Integer(0);
        host.GetAttributeById(variable, "value", &v);
        return reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(static_cast<uint32_t>(IntegerPayload(&v))));
    }
    struct Settings {
        bool dialog, fit;
        int32_t orientation, placement;
        HostValue x = Host::Empty(), y = Host::Empty();
    };
    Handle NewPrinter(ObjectId variable, const Settings& s) {
        Handle p = host.Create("zqPrintBitmap");
        host.SetField(p, kVariableField, variable ? Host::Reference(variable) : Host::Empty());
        StoreAt(p, kDialogField, BooleanValue{kTagBoolean, static_cast<int16_t>(s.dialog ? 7 : 0)});
        StoreAt(p, kFitField, BooleanValue{kTagBoolean, static_cast<int16_t>(s.fit ? 1 : 0)});
        StoreAt(p, kOrientationField, IntegerValue{kTagInteger, s.orientation});
        StoreAt(p, kPlacementField, IntegerValue{kTagInteger, s.placement});
        host.SetField(p, kPositionXField, s.x);
        host.SetField(p, kPositionYField, s.y);
        return p;
    }

    // What a run may hold: contexts and global blocks. The variables' bitmaps stay.
    int Kept() const {
        return probe.LiveDcs() + static_cast<int>(probe.screenDcs_.size()) + probe.LiveGlobals();
    }

    PlatformProbe probe;  // outlives the host, which releases through it
    hostsim::TestHost host;
};

struct PageCase {
    const char* name;
    int w, h;
    bool fit;
    int32_t orientation, placement;
    double x, y;  // inches; NaN: a string
    bool landscape;
    Box at;  // in the printer context
};

TEST_F(PrintBitmap, OrientationPlacementAndSizeOnThePage) {
    const double kText = std::nan("");
    const PageCase kCases[] = {
        {"unscaled, centred on the sheet", 300, 200, false, 0, 0, 0, 0, false, {1512, 2775, 1875, 1250}},
        {"fit, wide turns landscape", 300, 200, true, 0, 2, 0, 0, true, {0, 0, 6600, 4400}},
        {"fit, tall stays portrait, at 1.5 in", 200, 300, true, 0, 1, 1.5, 2, false, {850, 1100, 4400, 6600}},
        {"fit, square stays portrait", 200, 200, true, 0, 5, 0, 0, false, {0, 0, 4800, 4800}},
        {"wider than the printable width", 4801, 10, false, 0, 2, 0, 0, true, {0, 0, 30006, 62}},
        {"as wide as the printable width", 4800, 10, false, 0, 2, 0, 0, false, {0, 0, 30000, 62}},
        {"landscape asked, text position", 10, 300, false, 2, 1, 0, kText, true, {0, 0, 62, 1875}},
        {"portrait asked", 5000, 10, false, 7, 1, -3, 1, false, {0, 500, 31250, 62}},
    };
    for (const PageCase& c : kCases) {
        SCOPED_TRACE(c.name);
        printer.log.clear();
        const ObjectId picture = NewVariable(c.w, c.h);
        auto inches = [&](double v) {
            if (std::isnan(v)) return host.String("1");
            return v == std::floor(v) ? Host::Integer(static_cast<int32_t>(v)) : Host::Float(v);
        };
        Handle p = NewPrinter(picture, {false, c.fit, c.orientation, c.placement, inches(c.x), inches(c.y)});
        const int bitmaps = probe.LiveBitmaps();
        EXPECT_EQ(host.Deliver(p, kEvent, 0), 0);
        std::vector<std::string> resets{"ResetDCA 1"};
        if (c.landscape) resets.push_back("ResetDCA 2");
        EXPECT_EQ(printer.log, Printed(resets));
        EXPECT_EQ(printer.seen.lStructSize, 66u);
        EXPECT_EQ(printer.seen.hwndOwner, kActiveWindow);
        const FakePrinter::Blit& b = printer.blit;
        EXPECT_EQ((Box{b.x, b.y, b.w, b.h}), c.at);
        EXPECT_EQ((Box{b.sx, b.sy, b.sw, b.sh}), (Box{0, 0, c.w, c.h}));
        EXPECT_EQ(b.source, Held(picture)) << "the variable's own bitmap, lent";
        EXPECT_EQ(b.mode, COLORONCOLOR);
        EXPECT_EQ(b.rop, static_cast<DWORD>(SRCCOPY));
        EXPECT_EQ(Kept(), 0);
        EXPECT_EQ(probe.LiveBitmaps(), bitmaps) << "the variable's bitmap is lent, not deleted";
        host.Destroy(p);
    }
}

TEST_F(PrintBitmap, PositionsFromVariablesAreReadAtEachPrint) {
    const ObjectId picture = NewVariable(3, 3);
    const ObjectId x = host.NewFloatVariable(1.0), y = host.NewIntegerVariable(1);
    Handle p = NewPrinter(picture, {false, false, 1, 1, Host::Reference(x), Host::Reference(y)});
    EXPECT_EQ(host.Deliver(p, kEvent, 0), 0);
    EXPECT_EQ(printer.blit.x, 550);
    EXPECT_EQ(printer.blit.y, 500);
    host.SetVariableValue(x, Host::Float(2.25));
    EXPECT_EQ(host.Deliver(p, kEvent, 0), 0);
    EXPECT_EQ(printer.blit.x, 1300);
}

// The dialog starts from the default printer with the orientation chosen;
// its own printer is measured again, and whatever it returned is released.
TEST_F(PrintBitmap, DialogPicksThePrinter) {
    const ObjectId picture = NewVariable(300, 200);
    Handle p = NewPrinter(picture, {true, false, 2, 2});
    printer.cancel = true;
    EXPECT_EQ(host.Deliver(p, kEvent, 0), 0);
    EXPECT_EQ(printer.log, (std::vector<std::string>{"PrintDlgA 0x500", "ResetDCA 1", "ResetDCA 2",
                                                     "PrintDlgA 0x10010c"}));
    EXPECT_EQ(printer.dialogOrientation, DMORIENT_LANDSCAPE);
    EXPECT_EQ(Kept(), 0);

    printer.cancel = false;
    printer.chosen = {300, 300, 2500, 3500, 0, 0, 2500, 3500};
    printer.log.clear();
    EXPECT_EQ(host.Deliver(p, kEvent, 0), 0);
    EXPECT_EQ(printer.log, Printed({"ResetDCA 1", "ResetDCA 2"}, true));
    EXPECT_EQ(printer.blit.dc, printer.dialogDc);
    EXPECT_EQ((Box{printer.blit.x, printer.blit.y, printer.blit.w, printer.blit.h}), (Box{0, 0, 937, 625}));
}

TEST_F(PrintBitmap, NoPrinterCallWithoutAPicture) {
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    const ObjectId picture = NewVariable(10, 10), empty = NewVariable(0, 0);
    const ObjectId notABitmap = host.NewIntegerVariable(static_cast<int32_t>(reinterpret_cast<uintptr_t>(brush)));
    const ObjectId unresolvable = NewVariable(10, 10);
    host.SetUnresolvable(unresolvable);
    struct Case {
        const char* name;
        ObjectId variable;
        uint32_t event, qualifier;
        int16_t result;
    };
    const Case kCases[] = {
        {"other event", picture, kEvent + 1, 0, 1}, {"other qualifier", picture, kEvent, 3, 1},
        {"no variable", 0, kEvent, 0, 0},           {"empty variable", empty, kEvent, 0, 0},
        {"not a bitmap", notABitmap, kEvent, 0, 0}, {"unresolvable", unresolvable, kEvent, 0, 0},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        printer.log.clear();
        EXPECT_EQ(host.Deliver(NewPrinter(c.variable, {true, true, 0, 0}), c.event, c.qualifier), c.result);
        EXPECT_TRUE(printer.log.empty()) << printer.log.front();
    }
    DeleteObject(brush);
}

// A printer that reports what cannot be printed on: no page, nothing kept.
TEST_F(PrintBitmap, UnusablePrinterPrintsNothing) {
    struct Case {
        const char* name;
        void (*set)(FakePrinter&);
    };
    const Case kCases[] = {
        {"no device mode", [](FakePrinter& f) { f.devModeBytes = 0; }},
        {"device mode too small", [](FakePrinter& f) { f.devModeBytes = 8; }},
        {"no screen resolution", [](FakePrinter& f) { f.screenDpi = 0; }},
        {"no printer resolution", [](FakePrinter& f) { f.page.dpiX = 0; }},
        {"dialog's printer without resolution", [](FakePrinter& f) { f.chosen.dpiY = 0; }},
    };
    const ObjectId picture = NewVariable(30, 20);
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        printer = FakePrinter{};
        c.set(printer);
        EXPECT_EQ(host.Deliver(NewPrinter(picture, {true, false, 0, 0}), kEvent, 0), 0);
        ASSERT_FALSE(printer.log.empty());
        EXPECT_NE(printer.log.back(), "EndDoc");
        EXPECT_EQ(printer.blit.dc, nullptr);
        EXPECT_EQ(Kept(), 0);
    }
}

// Whatever call fails, the action answers 0 and keeps nothing: no context,
// device-mode or device-names block. Only a failure while drawing still ends
// the (empty) page and the document.
TEST_F(PrintBitmap, EveryFailureReleasesThePrinter) {
    const ObjectId picture = NewVariable(300, 200);
    const ObjectId x = host.NewFloatVariable(0.5);
    Handle p = NewPrinter(picture, {true, true, 0, 1, Host::Reference(x), Host::Float(0.25)});
    for (int n = 1;; ++n) {
        printer.log.clear();
        printer.blit = {};
        FailNthCall fault{probe, n};
        EXPECT_EQ(host.Deliver(p, kEvent, 0), 0) << "call " << n;
        EXPECT_EQ(Kept(), 0) << "call " << n;
        if (!fault.Fired()) {
            EXPECT_EQ(printer.log, Printed({"ResetDCA 1", "ResetDCA 2"}, true));
            break;
        }
        const std::string failed = probe.FailedCall();
        SCOPED_TRACE("call " + std::to_string(n) + ": " + failed);
        const bool drawing = failed == "CreateCompatibleDC" || failed == "SelectObject" || failed == "StretchBlt";
        EXPECT_EQ(!printer.log.empty() && printer.log.back() == "EndDoc", drawing);
        if (failed == "GetObjectA") {
            EXPECT_TRUE(printer.log.empty());
        }
        if (failed == "CreateCompatibleDC") {
            EXPECT_EQ(printer.blit.dc, nullptr) << "drawn without a context";
        }
    }
}

}  // namespace
