// Resamples one raw picture from stdin to stdout for resample_pillow.py:
//   resample_tool FORMAT fromW fromH toW toH top-down|bottom-up
// FORMAT is bgr24, bgrx32, bgra32, or masked16:R:G:B with hexadecimal masks.
// Rows are packed top row first on both sides; in memory they are padded
// and, for bottom-up, stored last row first, as a DIB section holds them.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/resample.h"

namespace {

struct Stored {
    std::vector<uint8_t> bytes;
    PixelRows rows;
};

Stored Make(int w, int h, int bpp, bool bottomUp) {
    const ptrdiff_t stride = (w * bpp + 3) / 4 * 4 + 4;
    Stored s{std::vector<uint8_t>(static_cast<size_t>(stride) * h, 0xA5), {}};
    uint8_t* top = bottomUp ? s.bytes.data() + stride * (h - 1) : s.bytes.data();
    s.rows = {top, bottomUp ? -stride : stride, w, h};
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7) return 2;
    const std::string name = argv[1];
    ResampleLayout layout{name == "bgr24"    ? PixelFormat::Bgr24
                       : name == "bgrx32" ? PixelFormat::Bgrx32
                       : name == "bgra32" ? PixelFormat::Bgra32
                                          : PixelFormat::Masked16,
                       0, 0, 0};
    if (layout.format == PixelFormat::Masked16 &&
        std::sscanf(argv[1], "masked16:%x:%x:%x", &layout.redMask, &layout.greenMask, &layout.blueMask) != 3)
        return 2;
    const int bpp = layout.format == PixelFormat::Bgr24 ? 3 : layout.format == PixelFormat::Masked16 ? 2 : 4;
    const int sw = std::atoi(argv[2]), sh = std::atoi(argv[3]), dw = std::atoi(argv[4]), dh = std::atoi(argv[5]);
    const bool bottomUp = std::strcmp(argv[6], "bottom-up") == 0;
    Stored from = Make(sw, sh, bpp, bottomUp), to = Make(dw, dh, bpp, bottomUp);
    for (int y = 0; y < sh; ++y)
        if (std::fread(from.rows.top + from.rows.strideBytes * y, 1, sw * bpp, stdin) != size_t(sw) * bpp) return 3;
    if (!ResamplePixels(from.rows, to.rows, layout)) return 4;
    for (int y = 0; y < dh; ++y) std::fwrite(to.rows.top + to.rows.strideBytes * y, 1, dw * bpp, stdout);
    return 0;
}
