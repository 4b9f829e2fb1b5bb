#pragma once
// Where a bitmap goes on a printed page and how large, from the printer's
// measurements, the screen's resolution and the print settings. No platform
// calls: the printing code reads the numbers and passes them in.
#include <cstdint>

// What a printer reports for one orientation, in printer pixels.
struct PageMetrics {
    int32_t dpiX, dpiY;                       // LOGPIXELSX, LOGPIXELSY
    int32_t sheetWidth, sheetHeight;          // PHYSICALWIDTH, PHYSICALHEIGHT
    int32_t offsetX, offsetY;                 // printable area's corner on the sheet
    int32_t printableWidth, printableHeight;  // HORZRES, VERTRES
};

enum class Orientation : uint8_t { Automatic, Portrait, Landscape };
enum class Placement : uint8_t {
    Centred,          // on the sheet
    AtPosition,       // at the author's position, never outside the printable area
    PrintableCorner,  // at the printable area's top-left corner
};

struct PrintSettings {
    bool fitToPage;
    Orientation orientation;
    Placement placement;
};

// The orientation to print in, judged on the portrait measurements. Automatic
// turns the page when a fitted bitmap is wider than tall, or when an unfitted
// one has more pixels across than the portrait printable width.
bool WantsLandscape(const PrintSettings& settings, int32_t bitmapWidth, int32_t bitmapHeight,
                    const PageMetrics& portrait);

// A distance the author gave in inches: a whole number, a fraction, or
// anything else (which counts as 0).
struct Inches {
    enum Kind : uint8_t { None, Whole, Fraction } kind = None;
    int32_t whole = 0;
    double fraction = 0.0;
};

// Inches at `dpi`, truncated toward zero and saturated to the int32 range
// (a fraction that is not a number gives 0).
int32_t InchesToPixels(const Inches& inches, int32_t dpi);

struct PrintLayout {
    float scaleX, scaleY;   // printer pixels per bitmap pixel
    int32_t x, y;           // top-left, in the printer context (origin: printable corner)
    int32_t width, height;  // printer pixels
};

// The destination of the bitmap on the page, or false when there is none to
// compute: a resolution or printable side that is not positive, an empty
// bitmap, or a printed size past the int32 range. `positionX`/`positionY`
// are the sheet coordinates of placement 1, in printer pixels.
[[nodiscard]] bool ComputeLayout(const PrintSettings& settings, const PageMetrics& page, int32_t screenDpiX,
                                 int32_t screenDpiY, int32_t bitmapWidth, int32_t bitmapHeight, int32_t positionX,
                                 int32_t positionY, PrintLayout* out);
