// libFuzzer target: the nearest-colour search and the row conversions with
// any palette, picture layout and pixels. The input holds a palette size,
// that many colours, a layout, then the row bytes. Every answer is checked
// against a search over the whole palette; ASan catches reads past the row.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/colour_match.h"

namespace {

int BruteNearest(const uint32_t* p, int n, uint32_t c) {
    int best = 0, bestD = 1 << 30;
    for (int i = 0; i < n; ++i) {
        const int dr = int(p[i] >> 16 & 255) - int(c >> 16 & 255), dg = int(p[i] >> 8 & 255) - int(c >> 8 & 255),
                  db = int(p[i] & 255) - int(c & 255);
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestD) bestD = d, best = i;
    }
    return best;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int n = data[0] + 1;
    size_t at = 1;
    uint32_t palette[256];
    for (int i = 0; i < n; ++i, at += 3)
        palette[i] = at + 3 <= size ? Rgb(data[at], data[at + 1], data[at + 2]) : 0;
    if (at >= size) return 0;
    ColourMatcher& m = ProcessColourMatcher();  // the process's one: palettes follow each other in it
    m.Use(palette, n);

    const uint8_t kind = data[at++];
    static const int kDepths[] = {1, 4, 16, 24, 32};
    PixelLayout layout;
    layout.bitsPerPixel = kDepths[kind % 5];
    layout.straightAlpha = kind & 8;
    uint32_t table[16] = {};
    layout.table = table;
    layout.tableSize = kind >> 4;
    for (int i = 0; i < 16 && at + 3 <= size; ++i, at += 3) table[i] = Rgb(data[at], data[at + 1], data[at + 2]);
    if (kind & 0x40)
        for (uint32_t& mask : layout.masks) {
            if (at + 4 > size) break;
            std::memcpy(&mask, data + at, 4);
            at += 4;
        }
    if (at >= size) return 0;

    // The rest is the row, in a block of its own size so reads past it show.
    const size_t rowBytes = size - at;
    const int pixels = static_cast<int>(rowBytes * 8 / layout.bitsPerPixel);
    const int first = pixels ? data[at] % (pixels > 4 ? pixels / 4 : 1) : 0;
    const int count = pixels - first;
    uint8_t* row = static_cast<uint8_t*>(std::malloc(rowBytes));
    std::memcpy(row, data + at, rowBytes);
    std::vector<uint8_t> out(count > 0 ? count : 0, 0);
    for (int x = 0; x < count; ++x) out[x] = row[x % rowBytes];
    const std::vector<uint8_t> before = out;
    if (!ConvertRow(m, layout, row, first, count, out.data())) __builtin_trap();

    // Opaque 24-bit pixels: every index is the brute-force one.
    if (layout.bitsPerPixel == 24)
        for (int x = 0; x < count; ++x) {
            const uint8_t* p = row + 3 * (first + x);
            if (out[x] != BruteNearest(palette, n, Rgb(p[2], p[1], p[0]))) __builtin_trap();
        }
    if (layout.bitsPerPixel == 32 && layout.straightAlpha && !(layout.masks[0] | layout.masks[1] | layout.masks[2]))
        for (int x = 0; x < count; ++x) {
            const uint8_t* p = row + 4 * (first + x);
            if (p[3] == 0 && out[x] != before[x]) __builtin_trap();
            if (p[3] == 255 && out[x] != BruteNearest(palette, n, Rgb(p[2], p[1], p[0]))) __builtin_trap();
        }
    for (uint8_t v : out)
        if (v >= n && layout.bitsPerPixel != 32) __builtin_trap();
    std::free(row);
    return 0;
}
