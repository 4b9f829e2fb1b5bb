#include "imaging/print_layout.h"
#include "imaging/sse_rounding.h"

#include <algorithm>
#include <cstdint>
#include <limits>


namespace {

constexpr double kIntLimit = 2147483648.0;  // 2^31

// Toward zero; false for a value (or not-a-number) outside the int32 range.
bool Truncate(double v, int32_t* out) {
    if (!(v > -kIntLimit - 1.0 && v < kIntLimit)) return false;
    *out = static_cast<int32_t>(v);
    return true;
}

int32_t Saturate(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

}  // namespace

bool WantsLandscape(const PrintSettings& settings, int32_t bitmapWidth, int32_t bitmapHeight,
                    const PageMetrics& portrait) {
    if (settings.orientation == Orientation::Landscape) return true;
    if (settings.orientation != Orientation::Automatic) return false;
    // A square bitmap stays portrait. Unfitted, the bitmap's own pixel count
    // is compared, not its printed size.
    if (settings.fitToPage) return bitmapWidth > bitmapHeight;
    return portrait.printableWidth < bitmapWidth;
}

int32_t InchesToPixels(const Inches& inches, int32_t dpi) {
    switch (inches.kind) {
        case Inches::Whole: return Saturate(static_cast<int64_t>(inches.whole) * dpi);
        case Inches::Fraction: {
            const double px = inches.fraction * dpi;
            if (px != px) return 0;
            if (px >= kIntLimit) return std::numeric_limits<int32_t>::max();
            if (px <= -kIntLimit) return std::numeric_limits<int32_t>::min();
            return static_cast<int32_t>(px);
        }
        case Inches::None: break;
    }
    return 0;
}

bool ComputeLayout(const PrintSettings& settings, const PageMetrics& page, int32_t screenDpiX, int32_t screenDpiY,
                   int32_t bitmapWidth, int32_t bitmapHeight, int32_t positionX, int32_t positionY,
                   PrintLayout* out) {
    if (bitmapWidth <= 0 || bitmapHeight <= 0) return false;
    // No resolution would divide by zero; no printable side would fit the
    // bitmap to nothing or mirror it.
    if (page.dpiX <= 0 || page.dpiY <= 0 || screenDpiX <= 0 || screenDpiY <= 0) return false;
    if (page.printableWidth <= 0 || page.printableHeight <= 0) return false;

    // Unscaled, the bitmap prints at the size it has on the screen.
    float sx = static_cast<float>(page.dpiX) / static_cast<float>(screenDpiX);
    float sy = static_cast<float>(page.dpiY) / static_cast<float>(screenDpiY);
    if (settings.fitToPage) {
        // Enlarge or reduce, keeping proportions, until one side meets the
        // printable area; the smaller factor wins, the vertical one on a tie.
        const float fx = static_cast<float>(page.printableWidth) / (static_cast<float>(bitmapWidth) * sx);
        const float fy = static_cast<float>(page.printableHeight) / (static_cast<float>(bitmapHeight) * sy);
        const float f = fy > fx ? fx : fy;
        sx = f * sx;
        sy = f * sy;
    }
    PrintLayout layout{sx, sy, 0, 0, 0, 0};
    if (!Truncate(static_cast<float>(bitmapWidth) * sx, &layout.width)) return false;
    if (!Truncate(static_cast<float>(bitmapHeight) * sy, &layout.height)) return false;

    // Sheet coordinates first; the context's origin is the printable corner.
    int64_t x, y;
    if (settings.placement == Placement::Centred) {
        // Centred on the sheet, not on the printable area; the printer clips.
        int32_t cx, cy;
        if (!Truncate(static_cast<double>(page.sheetWidth / 2) - 0.5 * bitmapWidth * static_cast<double>(sx), &cx))
            return false;
        if (!Truncate(static_cast<double>(page.sheetHeight / 2) - 0.5 * bitmapHeight * static_cast<double>(sy), &cy))
            return false;
        x = cx;
        y = cy;
    } else if (settings.placement == Placement::AtPosition) {
        // Never left of or above the printable area.
        x = std::max(positionX, page.offsetX);
        y = std::max(positionY, page.offsetY);
    } else {
        x = page.offsetX;
        y = page.offsetY;
    }
    layout.x = Saturate(x - page.offsetX);
    layout.y = Saturate(y - page.offsetY);
    *out = layout;
    return true;
}
