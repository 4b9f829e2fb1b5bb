// libFuzzer target: the resampler at any sizes, formats, masks and row
// orders. The input holds a format byte, four 16-bit sides, three masks and
// a row-order byte, then the source pixels (repeated to fill the picture).
// Pictures, and the pass between them, are capped at 16,384 pixels so that
// each run stays quick.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/resample.h"

namespace {

constexpr size_t kHeaderBytes = 1 + 4 * 2 + 3 * 4 + 1;
constexpr uint64_t kMaxPixels = 1 << 14;

template <typename T>
T Take(const uint8_t*& p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    p += sizeof v;
    return v;
}

struct Picture {
    std::vector<uint8_t> bytes;  // rows exactly as long as the pixels: an overrun shows
    PixelRows rows;
    Picture(int32_t w, int32_t h, int bpp, bool bottomUp) : bytes(static_cast<size_t>(w) * h * bpp) {
        const ptrdiff_t stride = static_cast<ptrdiff_t>(w) * bpp;
        rows = {bottomUp ? bytes.data() + stride * (h - 1) : bytes.data(), bottomUp ? -stride : stride, w, h};
    }
    uint8_t* Row(int32_t y) const { return rows.top + rows.strideBytes * y; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeaderBytes + 1) return 0;
    const uint8_t* p = data;
    const auto format = static_cast<PixelFormat>(Take<uint8_t>(p) % 5);
    int32_t side[4];
    for (int32_t& s : side) s = 1 + Take<uint16_t>(p) % 4096;
    const uint32_t red = Take<uint32_t>(p), green = Take<uint32_t>(p), blue = Take<uint32_t>(p);
    const bool bottomUp = Take<uint8_t>(p) & 1;
    // The pass across makes toW x fromH pixels: capped too.
    if (uint64_t(side[0]) * side[1] > kMaxPixels || uint64_t(side[2]) * side[3] > kMaxPixels ||
        uint64_t(side[2]) * side[1] > kMaxPixels)
        return 0;

    const int bpp = format == PixelFormat::Bgr24 ? 3 : format == PixelFormat::Masked16 ? 2 : 4;
    Picture from{side[0], side[1], bpp, bottomUp}, to{side[2], side[3], bpp, bottomUp};
    const size_t pixelBytes = size - kHeaderBytes;
    for (size_t i = 0; i < from.bytes.size(); ++i) from.bytes[i] = p[i % pixelBytes];
    const ResampleLayout layout{format, red, green, blue};
    if (!ResamplePixels(from.rows, to.rows, layout)) return 0;

    // Box and linear weights make each result channel a blend of source
    // values: none may fall outside the source's range.
    if (format == PixelFormat::Bgr24 || format == PixelFormat::Bgrx32) {
        for (int c = 0; c < bpp; ++c) {
            uint8_t lo = 255, hi = 0;
            for (int32_t y = 0; y < side[1]; ++y)
                for (int32_t x = 0; x < side[0]; ++x) {
                    lo = std::min(lo, from.Row(y)[x * bpp + c]);
                    hi = std::max(hi, from.Row(y)[x * bpp + c]);
                }
            for (int32_t y = 0; y < side[3]; ++y)
                for (int32_t x = 0; x < side[2]; ++x) {
                    const uint8_t v = to.Row(y)[x * bpp + c];
                    if (v < lo || v > hi) std::abort();
                }
        }
    }
    return 0;
}
