#pragma once
// Helpers of the BMP tests: little-endian fields and decoded pixels.
#include <windows.h>

#include <cstdint>
#include <algorithm>
#include <vector>

#include "tests/support/gdi.h"

namespace bmptest {

inline uint32_t Le32(const std::vector<uint8_t>& d, size_t at) {
    return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | static_cast<uint32_t>(d[at + 3]) << 24;
}
inline uint16_t Le16(const std::vector<uint8_t>& d, size_t at) {
    return static_cast<uint16_t>(d[at] | d[at + 1] << 8);
}

// Pixels as 0x00RRGGBB, top row first, through the platform's conversion.
inline std::vector<uint32_t> Pixels(HBITMAP b) {
    std::vector<uint32_t> out = gdi::Colours32(b);
    const size_t width = static_cast<size_t>(gdi::RecordOf(b).bmWidth);
    for (size_t top = 0, bottom = out.size(); width && top + width < bottom; top += width, bottom -= width)
        std::swap_ranges(out.begin() + top, out.begin() + top + width, out.begin() + bottom - width);
    for (auto& p : out) p &= 0xFFFFFF;
    return out;
}

}  // namespace bmptest
