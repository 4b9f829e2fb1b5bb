// zqPrintBitmap: prints a bitmap variable's picture on one page.
#include <windows.h>
#include <commdlg.h>

#include <cstddef>
#include <cstdint>

#include "components/bitmap_exchange.h"
#include "components/modifiers.h"
#include "components/print_settings.h"
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
    UniqueScreenDc screen;
    if (!screen) return false;
    const int32_t screenX = sys().GetDeviceCaps(screen.get(), LOGPIXELSX);
    const int32_t screenY = sys().GetDeviceCaps(screen.get(), LOGPIXELSY);
    const bool positioned = settings.placement == Placement::AtPosition;
    const int32_t x = positioned ? InchesToPixels(at.x, page.dpiX) : 0;
    const int32_t y = positioned ? InchesToPixels(at.y, page.dpiY) : 0;
    return ComputeLayout(settings, page, screenX, screenY, bm.bmWidth, bm.bmHeight, x, y, layout);
}

// An empty page when no memory context can be had, the printer cannot take
// the bitmap or its stretch mode: stretching the context's default 1x1
// bitmap would print a black or white block instead of the picture, and the
// default mode would print it with wrong colours.
void Draw(HDC printer, HBITMAP picture, const BITMAP& bm, const PrintLayout& at) {
    UniqueDc memory{sys().CreateCompatibleDC(printer)};
    if (!memory) return;
    SelectGuard pictureIn{memory.get(), picture};
    if (!pictureIn) return;
    // The default (black on white) mode shrinks colour bitmaps badly.
    if (!sys().SetStretchBltMode(printer, COLORONCOLOR)) return;
    sys().StretchBlt(printer, at.x, at.y, at.width, at.height, memory.get(), 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
}

void PrintPicture(uint8_t* instance, HBITMAP picture) {
    BITMAP bm;
    // A handle that does not describe a bitmap has no size to lay out: no page.
    if (!ReadBitmapRecord(picture, &bm)) return;
    const PrintSettings settings = PrintSettingsFromCodes(IsOn(instance, kFitToPage),
                                                          LoadAt<IntegerValue>(instance, kOrientation).value,
                                                          LoadAt<IntegerValue>(instance, kPlacement).value);

    PrinterJob job;
    if (!job.Ask(kDefaultPrinter)) return;  // no default printer
    if (!job.Orient(DMORIENT_PORTRAIT)) return;
    PageMetrics page = Measure(job.dc());
    Placed at;
    if (settings.placement == Placement::AtPosition) {
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
