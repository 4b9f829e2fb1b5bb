// Prints one picture on the real default printer through zqPrintBitmap, and
// says where the page layout puts it for that printer's measurements, so that
// print_pdf.py can find it on the PDF page the printer makes.
//   print_page.exe WIDTH HEIGHT FIT ORIENTATION PLACEMENT X_INCHES Y_INCHES DIALOG
// DIALOG: none (not shown), ok or cancel (shown and answered).
// Prints one line: result=N landscape=0|1 sheet=W,H dpi=X,Y box=X,Y,W,H
// (the box in sheet pixels from the sheet's top-left corner).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "components/modifiers.h"
#include "components/print_settings.h"
#include "imaging/print_layout.h"
#include "framework/host_value.h"
#include "hostsim/host.h"
#include "tests/components/dialog_driver.h"
#include "tests/support/components.h"
#include "tests/support/dib_info.h"

namespace {

// Quadrants in four colours that survive the trip through PostScript and PDF,
// so a turned or mirrored picture shows: red, green / blue, black.
HBITMAP MakeQuadrants(int width, int height) {
    std::vector<uint8_t> info = DibInfoStorage(width, height, 24);
    void* bits = nullptr;
    HBITMAP b = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(info.data()), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!b) return nullptr;
    const int stride = (width * 3 + 3) & ~3;
    for (int row = 0; row < height; ++row) {
        const int y = height - 1 - row;  // bottom-up
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2, bottom = y >= height / 2;
            const COLORREF c = !bottom ? (right ? RGB(0, 160, 0) : RGB(255, 0, 0)) : (right ? RGB(0, 0, 0) : RGB(0, 0, 255));
            uint8_t* p = static_cast<uint8_t*>(bits) + row * stride + x * 3;
            p[0] = GetBValue(c), p[1] = GetGValue(c), p[2] = GetRValue(c);
        }
    }
    return b;
}

PageMetrics Measure(HDC dc) {
    return {GetDeviceCaps(dc, LOGPIXELSX),      GetDeviceCaps(dc, LOGPIXELSY),      GetDeviceCaps(dc, PHYSICALWIDTH),
            GetDeviceCaps(dc, PHYSICALHEIGHT),  GetDeviceCaps(dc, PHYSICALOFFSETX), GetDeviceCaps(dc, PHYSICALOFFSETY),
            GetDeviceCaps(dc, HORZRES),         GetDeviceCaps(dc, VERTRES)};
}

// The default printer's measurements in one orientation.
bool MeasureDefault(short orientation, PageMetrics* out) {
    PRINTDLGA pd{};
    pd.lStructSize = sizeof pd;
    pd.Flags = PD_RETURNDEFAULT | PD_RETURNDC;
    if (!PrintDlgA(&pd)) return false;
    auto* dm = static_cast<DEVMODEA*>(GlobalLock(pd.hDevMode));
    dm->dmOrientation = orientation;
    const bool reset = ResetDCA(pd.hDC, dm) != nullptr;
    GlobalUnlock(pd.hDevMode);
    *out = Measure(pd.hDC);
    DeleteDC(pd.hDC);
    GlobalFree(pd.hDevMode);
    GlobalFree(pd.hDevNames);
    return reset;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 9) {
        std::fprintf(stderr, "usage: print_page W H FIT ORIENTATION PLACEMENT X Y none|ok|cancel\n");
        return 2;
    }
    const int w = std::atoi(argv[1]), h = std::atoi(argv[2]);
    const int32_t orientation = std::atoi(argv[4]), placement = std::atoi(argv[5]);
    const PrintSettings settings = PrintSettingsFromCodes(std::atoi(argv[3]) != 0, orientation, placement);
    const double xInches = std::atof(argv[6]), yInches = std::atof(argv[7]);
    const std::string dialog = argv[8];

    PageMetrics page{};
    if (!MeasureDefault(DMORIENT_PORTRAIT, &page)) {
        std::printf("no default printer\n");
        return 1;
    }
    const PageMetrics portrait = page;
    const bool landscape = WantsLandscape(settings, w, h, portrait);
    if (landscape && !MeasureDefault(DMORIENT_LANDSCAPE, &page)) return 1;
    HDC screen = GetDC(nullptr);
    const int screenX = GetDeviceCaps(screen, LOGPIXELSX), screenY = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    const int32_t posX = InchesToPixels({Inches::Fraction, 0, xInches}, portrait.dpiX);
    const int32_t posY = InchesToPixels({Inches::Fraction, 0, yInches}, portrait.dpiY);
    PrintLayout layout{};
    if (!ComputeLayout(settings, page, screenX, screenY, w, h, posX, posY, &layout)) return 1;

    hostsim::Host host;
    host.LoadLinked({{"zqPrintBitmap", zqPrintBitmap}, {"zqBitmapVariable", zqBitmapVariable}});
    const hostsim::ObjectId picture = host.IdOf(host.Create("zqBitmapVariable"));
    HBITMAP source = MakeQuadrants(w, h);
    HostValue value = hostsim::Host::Integer(static_cast<int32_t>(reinterpret_cast<uintptr_t>(source)));
    host.SetAttributeById(picture, "value", &value);
    DeleteObject(source);

    hostsim::Handle printer = host.Create("zqPrintBitmap");
    const auto at = [](const char* field) { return FieldOffset("zqPrintBitmap", field); };
    host.SetField(printer, at("bitmapVariable"), hostsim::Host::Reference(picture));
    StoreAt(printer, at("showDialog"), BooleanValue{kTagBoolean, static_cast<int16_t>(dialog != "none")});
    StoreAt(printer, at("fitToPage"), BooleanValue{kTagBoolean, static_cast<int16_t>(settings.fitToPage)});
    StoreAt(printer, at("orientation"), IntegerValue{kTagInteger, orientation});
    StoreAt(printer, at("placement"), IntegerValue{kTagInteger, placement});
    host.SetField(printer, at("positionX"), hostsim::Host::Float(xInches));
    host.SetField(printer, at("positionY"), hostsim::Host::Float(yInches));

    int16_t result;
    bool answered = true;
    if (dialog == "none") {
        result = host.Deliver(printer, 301, 0);
    } else {
        DialogDriver driver({{dialog == "ok" ? DialogStep::PressOk : DialogStep::PressCancel, ""}});
        result = host.Deliver(printer, 301, 0);
        answered = driver.Finish();
    }
    std::printf("result=%d landscape=%d sheet=%d,%d dpi=%d,%d box=%d,%d,%d,%d dialog=%s\n", result, landscape ? 1 : 0,
                page.sheetWidth, page.sheetHeight, page.dpiX, page.dpiY, layout.x + page.offsetX,
                layout.y + page.offsetY, layout.width, layout.height, answered ? "answered" : "not-seen");
    host.Teardown();
    return host.Errors().empty() ? 0 : 1;
}
