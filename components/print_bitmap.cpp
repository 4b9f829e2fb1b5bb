// zqPrintBitmap: prints a bitmap variable's picture on one page.
#include <windows.h>
#include <commdlg.h>

#include <cstddef>
#include <cstdint>

#include "components/bitmap_exchange.h"
#include "components/modifiers.h"
#include "imaging/bitmaps.h"
#include "imaging/print_layout.h"
#include "platform/owners.h"
#include "framework/host_value.h"
#include "framework/lifecycle.h"
#include "framework/variable_lookup.h"

namespace {

constexpr size_t kBitmapVariable = 10;
constexpr size_t kShowDialog = 52;
constexpr size_t kFitToPage = 56;
constexpr size_t kOrientation = 60;
constexpr size_t kPlacement = 66;
constexpr size_t kPositionX = 72;
constexpr size_t kPositionY = 114;

constexpr Field kFields[] = {
    {0, FieldKind::Event, "event", 301},
    {kBitmapVariable, FieldKind::Value, "bitmapVariable"},
    {kShowDialog, FieldKind::Boolean, "showDialog"},
    {kFitToPage, FieldKind::Boolean, "fitToPage"},
    {kOrientation, FieldKind::Integer, "orientation"},  // 0 automatic, 2 landscape, else portrait
    {kPlacement, FieldKind::Integer, "placement"},      // 0 centred, 1 at the position, else top-left
    {kPositionX, FieldKind::Value, "positionX"},        // inches: integer, float or a variable
    {kPositionY, FieldKind::Value, "positionY"},
};
ModifierState state;

static_assert(DefaultsSize(kFields) == 156);

// The ANSI records as the platform lays them out on 32-bit Windows.
static_assert(sizeof(PRINTDLGA) == 66);
static_assert(offsetof(PRINTDLGA, hDC) == 16);
static_assert(offsetof(PRINTDLGA, Flags) == 20);
static_assert(sizeof(DOCINFOA) == 20);

constexpr DWORD kDefaultPrinter = PD_RETURNDEFAULT | PD_RETURNDC;
constexpr DWORD kChoosePrinter = PD_HIDEPRINTTOFILE | PD_RETURNDC | PD_NOPAGENUMS | PD_NOSELECTION;
static_assert(kDefaultPrinter == 0x500 && kChoosePrinter == 0x10010C);

constexpr char kDocumentName[] = "ZErovod";

// The printer of one run: its context and the device-mode and device-names
// blocks the print dialog handed over, all released when the run ends.
class PrinterJob {
public:
    PrinterJob() {
        record_.lStructSize = sizeof record_;
        record_.hwndOwner = sys().GetActiveWindow();
    }
    ~PrinterJob() {
        if (dc_) sys().DeleteDC(dc_);
        if (record_.hDevMode) sys().GlobalFree(record_.hDevMode);
        if (record_.hDevNames) sys().GlobalFree(record_.hDevNames);
    }
    PrinterJob(const PrinterJob&) = delete;
    PrinterJob& operator=(const PrinterJob&) = delete;

    HDC dc() const { return dc_; }

    // Runs the print dialog with `flags` over the same record, so a shown
    // dialog starts from the default printer and the orientation set here.
    // A context it returns replaces the one held.
    [[nodiscard]] bool Ask(DWORD flags) {
        record_.Flags = flags;
        record_.hDC = nullptr;
        const BOOL ok = sys().PrintDlgA(&record_);
        const HDC made = record_.hDC;
        record_.hDC = nullptr;
        if (made) {
            if (dc_) sys().DeleteDC(dc_);
            dc_ = made;
        }
        return ok && made;
    }

    // Only the orientation of the device mode changes; the context is reset
    // to it. A block that is missing, too small or cannot be locked stops the run.
    [[nodiscard]] bool Orient(short orientation) {
        const HGLOBAL block = record_.hDevMode;
        if (!block || sys().GlobalSize(block) < offsetof(DEVMODEA, dmOrientation) + sizeof(short)) return false;
        auto* mode = static_cast<DEVMODEA*>(sys().GlobalLock(block));
        if (!mode) return false;
        mode->dmOrientation = orientation;
        const HDC reset = sys().ResetDCA(dc_, mode);
        sys().GlobalUnlock(block);
        return reset != nullptr;
    }

private:
    PRINTDLGA record_{};
    HDC dc_ = nullptr;
};

class ScreenDc {
public:
    ScreenDc() : dc_(sys().GetDC(nullptr)) {}
    ~ScreenDc() {
        if (dc_) sys().ReleaseDC(nullptr, dc_);
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    explicit operator bool() const { return dc_ != nullptr; }
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

PageMetrics Measure(HDC printer) {
    PageMetrics m;
    m.dpiX = sys().GetDeviceCaps(printer, LOGPIXELSX);
    m.dpiY = sys().GetDeviceCaps(printer, LOGPIXELSY);
    m.sheetWidth = sys().GetDeviceCaps(printer, PHYSICALWIDTH);
    m.sheetHeight = sys().GetDeviceCaps(printer, PHYSICALHEIGHT);
    m.offsetX = sys().GetDeviceCaps(printer, PHYSICALOFFSETX);
    m.offsetY = sys().GetDeviceCaps(printer, PHYSICALOFFSETY);
    m.printableHeight = sys().GetDeviceCaps(printer, VERTRES);
    m.printableWidth = sys().GetDeviceCaps(printer, HORZRES);
    return m;
}

// A position field as the author set it, through its variable if it names one.
// Read at once: the next lookup reuses the buffer.
Inches ReadInches(uint8_t* instance, size_t offset) {
    const auto* field = reinterpret_cast<const HostValue*>(instance + offset);
    const HostValue* value = VariableLookup(state, instance, field);
    if (value->tag == kTagInteger) return {Inches::Whole, IntegerPayload(value), 0.0};
    if (value->tag == kTagFloat) return {Inches::Fraction, 0, LoadAt<FloatValue>(value, 0).value};
    return {};
}

struct Placed {
    Inches x, y;  // used by placement 1 only
};

[[nodiscard]] bool Lay(const PrintSettings& settings, const PageMetrics& page, const BITMAP& bm,
                       const Placed& at, PrintLayout* layout) {
    ScreenDc screen;
    if (!screen) return false;
    const int32_t screenX = sys().GetDeviceCaps(screen.get(), LOGPIXELSX);
    const int32_t screenY = sys().GetDeviceCaps(screen.get(), LOGPIXELSY);
    const bool positioned = settings.placement == kPlaceAtPosition;
    const int32_t x = positioned ? InchesToPixels(at.x, page.dpiX) : 0;
    const int32_t y = positioned ? InchesToPixels(at.y, page.dpiY) : 0;
    return ComputeLayout(settings, page, screenX, screenY, bm.bmWidth, bm.bmHeight, x, y, layout);
}

// An empty page when no memory context can be had or the printer cannot take
// the bitmap: stretching the context's default 1x1 bitmap would print a
// black or white block instead of the picture.
void Draw(HDC printer, HBITMAP picture, const BITMAP& bm, const PrintLayout& at) {
    UniqueDc memory{sys().CreateCompatibleDC(printer)};
    if (!memory) return;
    const HGDIOBJ previous = sys().SelectObject(memory.get(), picture);
    if (!previous) return;
    // The default (black on white) mode shrinks colour bitmaps badly.
    sys().SetStretchBltMode(printer, COLORONCOLOR);
    sys().StretchBlt(printer, at.x, at.y, at.width, at.height, memory.get(), 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
    sys().SelectObject(memory.get(), previous);
}

void PrintPicture(uint8_t* instance, HBITMAP picture) {
    BITMAP bm;
    // A handle that does not describe a bitmap has no size to lay out: no page.
    if (!ReadBitmapRecord(picture, &bm)) return;
    const PrintSettings settings{IsOn(instance, kFitToPage), LoadAt<IntegerValue>(instance, kOrientation).value,
                                 LoadAt<IntegerValue>(instance, kPlacement).value};

    PrinterJob job;
    if (!job.Ask(kDefaultPrinter)) return;  // no default printer
    if (!job.Orient(DMORIENT_PORTRAIT)) return;
    PageMetrics page = Measure(job.dc());
    Placed at;
    if (settings.placement == kPlaceAtPosition) {
        at.x = ReadInches(instance, kPositionX);
        at.y = ReadInches(instance, kPositionY);
    }
    if (WantsLandscape(settings, bm.bmWidth, bm.bmHeight, page)) {
        if (!job.Orient(DMORIENT_LANDSCAPE)) return;
        page = Measure(job.dc());
    }
    PrintLayout layout;
    if (!Lay(settings, page, bm, at, &layout)) return;

    if (IsOn(instance, kShowDialog)) {
        if (!job.Ask(kChoosePrinter)) return;  // cancelled
        // The chosen printer may differ in resolution, sheet and orientation:
        // measure it, or the picture prints at another printer's size.
        if (!Lay(settings, Measure(job.dc()), bm, at, &layout)) return;
    }

    DOCINFOA doc{sizeof doc, kDocumentName, nullptr, nullptr, 0};
    if (sys().StartDocA(job.dc(), &doc) <= 0) return;
    // A started job that cannot be finished is cancelled, not left to the spooler.
    if (sys().StartPage(job.dc()) <= 0) {
        sys().AbortDoc(job.dc());
        return;
    }
    Draw(job.dc(), picture, bm, layout);
    if (sys().EndPage(job.dc()) > 0) {
        sys().EndDoc(job.dc());
    } else {
        sys().AbortDoc(job.dc());
    }
}

// Answers 0 whenever the event matched, printed or not.
SlotResult Print(uint8_t* instance, const MessageRecord&) {
    // Lent: the variable's own bitmap, neither copied nor deleted here.
    if (const HBITMAP picture = BorrowBitmap(FindBitmapVariable(instance, kBitmapVariable)))
        PrintPicture(instance, picture);
    return kSlotDone;
}

}  // namespace

ZQ_MODIFIER(zqPrintBitmap, .instanceSize = 160, .fields = kFields, .state = &state, .onEvent = Print);
