// Test helper for the interop driver (interop.py), run under Wine.
//   bmpdump <in.bmp> <out.raw> [<in.bmp> <out.raw> ...]
//     reads each file with LoadBmpFile; prints "<in> loaded" or "<in> refused"
//     and for a loaded file writes its pixels: width and height (32-bit
//     little-endian), then R, G, B per pixel, top row first.
//   bmpdump --make <bits> <width> <height> <out.bmp> <out.raw>
//     makes a DIB section with a fixed pattern at that depth, writes it with
//     SaveBmpFile and its pixels as above.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/bmp_reader.h"
#include "imaging/bmp_writer.h"
#include "tests/support/dib_info.h"
#include "tests/support/gdi.h"

namespace {

bool DumpPixels(HBITMAP b, const char* path) { return gdi::WriteRawPixels(b, path, false); }

// A pattern with every palette entry in use and smooth and sharp changes.
HBITMAP MakePattern(int bits, int width, int height) {
    std::vector<uint8_t> block = DibInfoStorage(width, height, bits);
    auto* info = reinterpret_cast<BITMAPINFO*>(block.data());
    if (bits <= 8) {
        info->bmiHeader.biClrUsed = 1u << bits;
        for (int i = 0; i < (1 << bits); ++i)
            info->bmiColors[i] = RGBQUAD{static_cast<BYTE>(i * 37), static_cast<BYTE>(255 - i * 3),
                                         static_cast<BYTE>((i * 91) ^ 0x5A), 0};
    }
    void* p = nullptr;
    HBITMAP b = CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &p, nullptr, 0);
    if (!b) return nullptr;
    const int stride = ((width * bits + 31) / 32) * 4;
    auto* rows = static_cast<uint8_t*>(p);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t v = static_cast<uint32_t>(x * 7 + y * 13 + ((x ^ y) & 5) * 40);
            uint8_t* row = rows + y * stride;
            switch (bits) {
            case 1: if (v & 8) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8)); break;
            case 4: row[x / 2] |= static_cast<uint8_t>((v & 15) << ((x & 1) ? 0 : 4)); break;
            case 8: row[x] = static_cast<uint8_t>(v); break;
            case 16: {
                const uint16_t c = static_cast<uint16_t>((x & 31) << 10 | (y & 31) << 5 | (v & 31));
                std::memcpy(row + 2 * x, &c, 2);
                break;
            }
            default: {
                uint8_t* px = row + x * (bits / 8);
                px[0] = static_cast<uint8_t>(v);
                px[1] = static_cast<uint8_t>(x * 255 / (width > 1 ? width - 1 : 1));
                px[2] = static_cast<uint8_t>(y * 255 / (height > 1 ? height - 1 : 1));
                if (bits == 32) px[3] = 0;
            }
            }
        }
    return b;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 7 && std::strcmp(argv[1], "--make") == 0) {
        HBITMAP b = MakePattern(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
        if (!b || SaveBmpFile(argv[5], b) != 1 || !DumpPixels(b, argv[6])) return 2;
        DeleteObject(b);
        return 0;
    }
    if (argc < 3 || argc % 2 == 0) {
        std::fprintf(stderr, "usage: bmpdump <in.bmp> <out.raw> ... | --make <bits> <w> <h> <out.bmp> <out.raw>\n");
        return 2;
    }
    for (int i = 1; i + 1 < argc; i += 2) {
        HBITMAP b = nullptr;
        if (LoadBmpFile(argv[i], &b) == 1) {
            if (!DumpPixels(b, argv[i + 1])) return 2;
            DeleteObject(b);
            std::printf("%s loaded\n", argv[i]);
        } else {
            std::printf("%s refused\n", argv[i]);
        }
    }
    std::fflush(stdout);
    return 0;
}
