// The print component: its layout under every x87 precision, then the action
// through the host simulator with a fake printer at the platform seam (memory
// contexts standing in for printer contexts, with chosen page measurements).
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "imaging/print_layout.h"
#include "tests/support/gdi.h"
#include "tests/support/component_fixture.h"
#include "tests/support/failing_calls.h"
#include "tests/support/x87_precision.h"

namespace {

using hostsim::Handle;
using hostsim::Host;
using hostsim::ObjectId;
using Box = std::array<int, 4>;  // left, top, width, height

// 600 dpi, a 5000 x 7000 sheet, printable area 4800 x 6600 from (50, 100).
constexpr PageMetrics kPortrait{600, 600, 5000, 7000, 50, 100, 4800, 6600};
constexpr PageMetrics Turned(PageMetrics m) {
    return {m.dpiY, m.dpiX, m.sheetHeight, m.sheetWidth, m.offsetY, m.offsetX, m.printableHeight, m.printableWidth};
}

// Whatever precision the host left the x87 in: 0.33333333 in is 199.999998
// printer pixels (200 at 24 bits), and the fitted scale 3.52 x 6.25 is 22.
TEST(PrintLayout, SameUnderEveryX87Precision) {
    for (const unsigned precision : {_PC_24, _PC_53, _PC_64}) {
        X87Precision setting{precision};
        ASSERT_EQ(X87Precision::Current(), precision);
        EXPECT_EQ(InchesToPixels({Inches::Fraction, 0, 0.33333333}, 600), 199) << precision;
        PrintLayout got{};
        ASSERT_TRUE(ComputeLayout({true, Orientation::Automatic, Placement::Centred}, Turned(kPortrait), 96, 96, 300, 200, 0, 0, &got));
        EXPECT_EQ((Box{got.x, got.y, got.width, got.height}), (Box{100, 250, 6600, 4400})) << precision;
    }
}

// --- the fake printer ---

const HWND kActiveWindow = reinterpret_cast<HWND>(0x5150);

struct FakePrinter {
    PageMetrics page = kPortrait, chosen = kPortrait;  // the default printer; the dialog's
    int screenDpi = 96;
    bool cancel = false;                     // the user cancels the dialog
    SIZE_T devModeBytes = sizeof(DEVMODEA);  // 0: no device-mode block
    std::vector<std::string> log;            // printer calls in order
    std::map<HDC, std::pair<PageMetrics, short>> dcs;  // portrait page, orientation
    PRINTDLGA record{};                      // as the last PrintDlgA got it
    short dialogOrientation = 0;             // in the device mode the dialog started from
    HDC dialogDc = nullptr, blitDc = nullptr;
    Box at{}, from{};
    int mode = 0;
    HGDIOBJ source = nullptr;
} printer;

BOOL(WINAPI* probedStretchBlt)(HDC, int, int, int, int, HDC, int, int, int, int, DWORD);

HGLOBAL NewBlock(SIZE_T bytes, short orientation) {
    PlatformProbe& p = PlatformProbe::Current();
    HGLOBAL h = p.inner().GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    p.CountBlock(h);
    if (bytes >= sizeof(DEVMODEA)) {
        auto* dm = static_cast<DEVMODEA*>(GlobalLock(h));
        *dm = DEVMODEA{};
        dm->dmSize = sizeof(DEVMODEA);
        dm->dmFields = DM_ORIENTATION;
        dm->dmOrientation = orientation;
        GlobalUnlock(h);
    }
    return h;
}
void DropBlock(HGLOBAL& h) {
    if (PlatformProbe::Current().TakeBlock(h)) PlatformProbe::Current().inner().GlobalFree(h);
    h = nullptr;
}
int Step(const char* name, bool failable = true) {
    printer.log.push_back(name);
    return failable && PlatformProbe::Current().ShouldFail(name) ? SP_ERROR : 1;
}

// Each call hands back new blocks and a new context, as the dialog may.
BOOL WINAPI FakePrintDlg(LPPRINTDLGA pd) {
    const bool dialog = !(pd->Flags & PD_RETURNDEFAULT);
    printer.record = *pd;
    char name[32];
    std::snprintf(name, sizeof name, "PrintDlgA %#lx", pd->Flags);  // 0x500 default, 0x10010c dialog
    if (Step(name) <= 0) return FALSE;
    short orientation = DMORIENT_PORTRAIT;
    if (pd->hDevMode && GlobalSize(pd->hDevMode) >= sizeof(DEVMODEA)) {
        orientation = static_cast<const DEVMODEA*>(GlobalLock(pd->hDevMode))->dmOrientation;
        GlobalUnlock(pd->hDevMode);
    }
    if (dialog) printer.dialogOrientation = orientation;
    if (dialog && printer.cancel) return FALSE;
    DropBlock(pd->hDevMode);
    DropBlock(pd->hDevNames);
    if (printer.devModeBytes) pd->hDevMode = NewBlock(printer.devModeBytes, orientation);
    pd->hDevNames = NewBlock(64, 0);
    pd->hDC = PlatformProbe::Current().inner().CreateCompatibleDC(nullptr);
    PlatformProbe::Current().CountDc(pd->hDC);
    printer.dcs[pd->hDC] = {dialog ? printer.chosen : printer.page, orientation};
    if (dialog) printer.dialogDc = pd->hDC;
    return TRUE;
}
HDC WINAPI FakeResetDC(HDC dc, const DEVMODEA* dm) {
    if (Step(dm->dmOrientation == DMORIENT_LANDSCAPE ? "ResetDCA landscape" : "ResetDCA portrait") <= 0) return nullptr;
    printer.dcs.at(dc).second = dm->dmOrientation;
    return dc;
}
int WINAPI FakeDeviceCaps(HDC dc, int index) {
    auto it = printer.dcs.find(dc);
    if (it == printer.dcs.end()) return index == LOGPIXELSX || index == LOGPIXELSY ? printer.screenDpi : 0;
    const PageMetrics m = it->second.second == DMORIENT_LANDSCAPE ? Turned(it->second.first) : it->second.first;
    const std::map<int, int> caps{{LOGPIXELSX, m.dpiX},       {LOGPIXELSY, m.dpiY},     {PHYSICALWIDTH, m.sheetWidth},
                                  {PHYSICALHEIGHT, m.sheetHeight}, {PHYSICALOFFSETX, m.offsetX},
                                  {PHYSICALOFFSETY, m.offsetY}, {HORZRES, m.printableWidth}, {VERTRES, m.printableHeight}};
    return caps.at(index);
}
int WINAPI FakeStartDoc(HDC, const DOCINFOA* d) {
    const bool plain = d->cbSize == 20 && !d->lpszOutput && !d->lpszDatatype && !d->fwType;
    return Step(plain && std::string(d->lpszDocName) == "ZErovod" ? "StartDocA" : "StartDocA odd record");
}
int WINAPI FakeStartPage(HDC) { return Step("StartPage"); }
int WINAPI FakeEndPage(HDC) { return Step("EndPage"); }
int WINAPI FakeEndDoc(HDC) { return Step("EndDoc", false); }
int WINAPI FakeAbortDoc(HDC) { return Step("AbortDoc", false); }
BOOL WINAPI RecordStretchBlt(HDC d, int x, int y, int w, int h, HDC s, int sx, int sy, int sw, int sh, DWORD rop) {
    printer.log.push_back(rop == SRCCOPY ? "StretchBlt" : "StretchBlt odd rop");
    printer.blitDc = d;
    printer.at = {x, y, w, h};
    printer.from = {sx, sy, sw, sh};
    printer.mode = GetStretchBltMode(d);
    printer.source = GetCurrentObject(s, OBJ_BITMAP);
    return probedStretchBlt(d, x, y, w, h, s, sx, sy, sw, sh, rop);
}

std::vector<std::string> Printed(bool landscape, bool dialog = false) {
    std::vector<std::string> log{"PrintDlgA 0x500", "ResetDCA portrait"};
    if (landscape) log.push_back("ResetDCA landscape");
    if (dialog) log.push_back("PrintDlgA 0x10010c");
    log.insert(log.end(), {"StartDocA", "StartPage", "StretchBlt", "EndPage", "EndDoc"});
    return log;
}

constexpr uint32_t kEvent = 301;

class PrintBitmap : public ComponentTest {
protected:
    PrintBitmap() : ComponentTest({"zqPrintBitmap", "zqBitmapVariable"}) {}

    void SetUp() override {
        ComponentTest::SetUp();
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
        t.AbortDoc = FakeAbortDoc;
        t.GetActiveWindow = []() WINAPI -> HWND { return kActiveWindow; };
    }

    // A bitmap variable holding a w x h picture (empty for 0).
    ObjectId NewVariable(int w, int h) { return NewPictureVariable(w ? gdi::MakeDibSection(24, w, h) : nullptr); }
    Handle NewPrinter(ObjectId variable, bool dialog, bool fit, int32_t orientation, int32_t placement,
                      const HostValue& x = Host::Empty(), const HostValue& y = Host::Empty()) {
        const auto at = [](const char* field) { return FieldOffset("zqPrintBitmap", field); };
        Handle p = host.Create("zqPrintBitmap");
        host.SetField(p, at("bitmapVariable"), variable ? Host::Reference(variable) : Host::Empty());
        StoreAt(p, at("showDialog"), BooleanValue{kTagBoolean, static_cast<int16_t>(dialog ? 7 : 0)});
        StoreAt(p, at("fitToPage"), BooleanValue{kTagBoolean, static_cast<int16_t>(fit ? 1 : 0)});
        StoreAt(p, at("orientation"), IntegerValue{kTagInteger, orientation});
        StoreAt(p, at("placement"), IntegerValue{kTagInteger, placement});
        host.SetField(p, at("positionX"), x);
        host.SetField(p, at("positionY"), y);
        return p;
    }
    // What a run may hold: contexts and global blocks (the variables keep their bitmaps).
    int Kept() const { return probe.LiveDcs() + probe.LiveScreenDcs() + probe.LiveGlobals(); }
};

TEST_F(PrintBitmap, OrientationPlacementAndSizeOnThePage) {
    struct Case {
        const char* name;
        int w, h;
        bool fit;
        int32_t orientation, placement;
        double x, y;  // inches; a whole number goes as an integer, NaN as a string
        bool landscape;
        Box at;
    };
    const double kText = std::nan("");
    const Case kCases[] = {
        // 600 / 96 = 6.25; centred on the sheet, then moved to the printable corner's origin.
        {"unscaled, centred", 300, 200, false, 0, 0, 0, 0, false, {1512, 2775, 1875, 1250}},
        // fx = 6600 / 1875 = 3.52, fy = 3.84: the scale is 22.0 exactly.
        {"fit, wide turns landscape", 300, 200, true, 0, 2, 0, 0, true, {0, 0, 6600, 4400}},
        {"fit, tall stays portrait, at 1.5 in", 200, 300, true, 0, 1, 1.5, 2, false, {850, 1100, 4400, 6600}},
        {"fit, square stays portrait", 200, 200, true, 0, 5, 0, 0, false, {0, 0, 4800, 4800}},
        {"more pixels than the printable width", 4801, 10, false, 0, 2, 0, 0, true, {0, 0, 30006, 62}},
        {"as many as the printable width", 4800, 10, false, 0, 2, 0, 0, false, {0, 0, 30000, 62}},
        {"landscape asked, text position", 10, 300, false, 2, 1, 0, kText, true, {0, 0, 62, 1875}},
        {"portrait asked, left of the sheet", 5000, 10, false, 7, 1, -3, 1, false, {0, 500, 31250, 62}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        printer.log.clear();
        const ObjectId picture = NewVariable(c.w, c.h);
        auto inches = [&](double v) {
            if (std::isnan(v)) return host.String("1");
            return v == std::floor(v) ? Host::Integer(static_cast<int32_t>(v)) : Host::Float(v);
        };
        const int bitmaps = probe.LiveBitmaps();
        EXPECT_EQ(host.Deliver(NewPrinter(picture, false, c.fit, c.orientation, c.placement, inches(c.x), inches(c.y)),
                               kEvent, 0),
                  0);
        EXPECT_EQ(printer.log, Printed(c.landscape));
        EXPECT_EQ(printer.at, c.at);
        EXPECT_EQ(printer.from, (Box{0, 0, c.w, c.h}));
        EXPECT_EQ(printer.source, Held(picture)) << "the variable's own bitmap, lent";
        EXPECT_EQ(printer.mode, COLORONCOLOR);
        EXPECT_EQ(printer.record.lStructSize, 66u);
        EXPECT_EQ(printer.record.hwndOwner, kActiveWindow);
        EXPECT_EQ(Kept(), 0);
        EXPECT_EQ(probe.LiveBitmaps(), bitmaps) << "nothing deleted or left behind";
    }
}

// The dialog starts from the default printer with the orientation chosen;
// the printer picked there is measured again.
TEST_F(PrintBitmap, DialogPicksThePrinter) {
    Handle p = NewPrinter(NewVariable(300, 200), true, false, 2, 2);
    printer.cancel = true;
    EXPECT_EQ(host.Deliver(p, kEvent, 0), 0);
    EXPECT_EQ(printer.log, (std::vector<std::string>{"PrintDlgA 0x500", "ResetDCA portrait", "ResetDCA landscape",
                                                     "PrintDlgA 0x10010c"}));
    EXPECT_EQ(printer.dialogOrientation, DMORIENT_LANDSCAPE);
    EXPECT_EQ(Kept(), 0);

    printer = FakePrinter{};
    printer.chosen = {300, 300, 2500, 3500, 0, 0, 2500, 3500};
    EXPECT_EQ(host.Deliver(p, kEvent, 0), 0);
    EXPECT_EQ(printer.log, Printed(true, true));
    EXPECT_EQ(printer.blitDc, printer.dialogDc);
    EXPECT_EQ(printer.at, (Box{0, 0, 937, 625}));
}

// No page and nothing kept: no picture to print, or a printer that reports
// what cannot be printed on.
TEST_F(PrintBitmap, NothingToPrintOn) {
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    const ObjectId picture = NewVariable(30, 20), empty = NewVariable(0, 0), unresolvable = NewVariable(30, 20);
    const ObjectId notABitmap = host.NewIntegerVariable(static_cast<int32_t>(reinterpret_cast<uintptr_t>(brush)));
    host.SetUnresolvable(unresolvable);
    struct Case {
        const char* name;
        ObjectId variable;
        uint32_t qualifier;
        void (*set)(FakePrinter&);
        bool printerAsked;
    };
    const auto none = [](FakePrinter&) {};
    const Case kCases[] = {
        {"other qualifier", picture, 3, none, false},
        {"no variable", 0, 0, none, false},
        {"empty variable", empty, 0, none, false},
        {"not a bitmap", notABitmap, 0, none, false},
        {"unresolvable", unresolvable, 0, none, false},
        {"no device mode", picture, 0, [](FakePrinter& f) { f.devModeBytes = 0; }, true},
        {"device mode too small", picture, 0, [](FakePrinter& f) { f.devModeBytes = 8; }, true},
        {"no screen resolution", picture, 0, [](FakePrinter& f) { f.screenDpi = 0; }, true},
        {"no printer resolution", picture, 0, [](FakePrinter& f) { f.page.dpiX = 0; }, true},
        {"dialog's printer without resolution", picture, 0, [](FakePrinter& f) { f.chosen.dpiY = 0; }, true},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        printer = FakePrinter{};
        c.set(printer);
        EXPECT_EQ(host.Deliver(NewPrinter(c.variable, true, true, 0, 0), kEvent, c.qualifier), c.qualifier ? 1 : 0);
        EXPECT_EQ(!printer.log.empty(), c.printerAsked);
        EXPECT_EQ(printer.blitDc, nullptr);
        EXPECT_EQ(Kept(), 0);
    }
    DeleteObject(brush);
}

// Whatever call fails, the action answers 0 and keeps no context, device-mode
// or device-names block. Only a failure while drawing still ends the (empty)
// page and the document; a started job that fails otherwise is cancelled.
TEST_F(PrintBitmap, EveryFailureReleasesThePrinter) {
    const ObjectId picture = NewVariable(300, 200);
    Handle p = NewPrinter(picture, true, true, 0, 1, Host::Reference(host.NewFloatVariable(0.5)), Host::Float(0.25));
    ForEachFailingCall(
        probe, [&] { printer = FakePrinter{}; },
        [&] { return host.Deliver(p, kEvent, 0); },
        [&](const FaultRun& run, int16_t r) {
            EXPECT_EQ(r, 0);
            EXPECT_EQ(Kept(), 0);
            if (!run.fired) {
                EXPECT_EQ(printer.log, Printed(true, true));
                EXPECT_EQ(printer.at, (Box{200, 100, 6600, 4400})) << "0.5 in from a variable, 0.25 in, landscape";
                return;
            }
            const bool drawing =
                run.call == "CreateCompatibleDC" || run.call == "SelectObject" || run.call == "SetStretchBltMode" ||
                run.call == "StretchBlt";
            EXPECT_EQ(!printer.log.empty() && printer.log.back() == "EndDoc", drawing);
            EXPECT_EQ(printer.log.empty(), run.call == "GetObjectA");
            EXPECT_EQ(!printer.log.empty() && printer.log.back() == "AbortDoc",
                      run.call == "StartPage" || run.call == "EndPage");
            if (printer.blitDc) {
                EXPECT_EQ(printer.source, Held(picture)) << "drawn without the picture selected";
            }
        });
}

}  // namespace
