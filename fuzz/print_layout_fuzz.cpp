// libFuzzer target: the print layout as the print component computes it, with
// any printer measurements, screen resolution, bitmap size, positions and
// settings. The input holds the fields in order, little-endian; missing bytes
// are zero.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "components/print_settings.h"
#include "imaging/print_layout.h"

namespace {

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    template <typename T>
    T Next() {
        unsigned char bytes[sizeof(T)] = {};
        for (unsigned char& b : bytes)
            if (at_ < size_) b = data_[at_++];
        T v;
        std::memcpy(&v, bytes, sizeof v);
        return v;
    }
    PageMetrics Page() {  // a braced list reads its fields in order
        return {Next<int32_t>(), Next<int32_t>(), Next<int32_t>(), Next<int32_t>(),
                Next<int32_t>(), Next<int32_t>(), Next<int32_t>(), Next<int32_t>()};
    }
    Inches Distance() {
        Inches d;
        d.kind = static_cast<Inches::Kind>(Next<uint8_t>() % 3);
        d.whole = Next<int32_t>();
        d.fraction = Next<double>();
        return d;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

// A fitted side stays inside the printable one, but for float rounding.
bool Within(int32_t side, int32_t limit) { return side <= limit + static_cast<double>(limit) / (1 << 20) + 1; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in(data, size);
    const bool fitToPage = in.Next<uint8_t>() & 1;
    const int32_t orientation = in.Next<int32_t>();
    const PrintSettings settings = PrintSettingsFromCodes(fitToPage, orientation, in.Next<int32_t>());
    const PageMetrics portrait = in.Page(), landscape = in.Page();
    const int32_t screenX = in.Next<int32_t>(), screenY = in.Next<int32_t>();
    const int32_t width = in.Next<int32_t>(), height = in.Next<int32_t>();
    const Inches atX = in.Distance(), atY = in.Distance();

    // As the component does: orient, measure again, place, lay out.
    const PageMetrics& page = WantsLandscape(settings, width, height, portrait) ? landscape : portrait;
    const bool positioned = settings.placement == Placement::AtPosition;
    const int32_t x = positioned ? InchesToPixels(atX, page.dpiX) : 0;
    const int32_t y = positioned ? InchesToPixels(atY, page.dpiY) : 0;
    PrintLayout got;
    if (!ComputeLayout(settings, page, screenX, screenY, width, height, x, y, &got)) return 0;

    Check(std::isfinite(got.scaleX) && std::isfinite(got.scaleY) && got.scaleX > 0 && got.scaleY > 0);
    Check(got.width >= 0 && got.height >= 0);
    if (positioned) Check(got.x >= 0 && got.y >= 0);  // never left of or above the printable area
    else if (settings.placement != Placement::Centred) Check(got.x == 0 && got.y == 0);
    if (settings.fitToPage) Check(Within(got.width, page.printableWidth) && Within(got.height, page.printableHeight));
    return 0;
}
