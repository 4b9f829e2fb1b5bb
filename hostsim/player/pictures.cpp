#include "hostsim/player/pictures.h"

#include <algorithm>
#include <cstring>

namespace zqplay {
namespace {

void Put16(std::vector<uint8_t>& file, size_t at, uint16_t v) { std::memcpy(&file[at], &v, 2); }
void Put32(std::vector<uint8_t>& file, size_t at, uint32_t v) { std::memcpy(&file[at], &v, 4); }

constexpr uint32_t kFileHeaderBytes = 14;
constexpr uint32_t kInfoHeaderBytes = 40;

// The 14-byte file header and the 40-byte info header of an uncompressed,
// bottom-up BMP; the caller adds the palette and the rows.
std::vector<uint8_t> BmpHeaders(int width, int height, uint16_t bitsPerPixel, uint32_t paletteEntries,
                                uint32_t imageBytes) {
    const uint32_t offBits = kFileHeaderBytes + kInfoHeaderBytes + paletteEntries * 4;
    std::vector<uint8_t> file(offBits + imageBytes, 0);
    Put16(file, 0, 0x4D42);  // "BM"
    Put32(file, 2, static_cast<uint32_t>(file.size()));
    Put32(file, 10, offBits);
    Put32(file, 14, kInfoHeaderBytes);
    Put32(file, 18, static_cast<uint32_t>(width));
    Put32(file, 22, static_cast<uint32_t>(height));  // positive: bottom row first
    Put16(file, 26, 1);                              // planes
    Put16(file, 28, bitsPerPixel);
    Put32(file, 34, imageBytes);
    Put32(file, 46, paletteEntries);
    return file;
}

uint8_t ColourIndex(int red7, int green7, int blue3) { return static_cast<uint8_t>(red7 << 5 | green7 << 2 | blue3); }

// Each style marks its top-left corner, so that a picture turned or
// mirrored on its way shows in a snapshot.
uint8_t TestPixel(PictureStyle style, int x, int y, int width, int height) {
    const int side = std::max(1, std::min(width, height) / 4);
    switch (style) {
        case PictureStyle::Grey: return static_cast<uint8_t>(x + 2 * y);  // every row differs
        case PictureStyle::Bars: {
            static const uint8_t kBars[] = {ColourIndex(7, 7, 3), ColourIndex(7, 7, 0), ColourIndex(0, 7, 3),
                                            ColourIndex(0, 7, 0), ColourIndex(7, 0, 3), ColourIndex(7, 0, 0),
                                            ColourIndex(0, 0, 3), ColourIndex(2, 2, 1)};
            if (x < side && y < side) return ColourIndex(0, 0, 0);
            return kBars[x * 8 / width];
        }
        case PictureStyle::Checker: {
            const int cell = std::max(1, std::min(width, height) / 6);
            if (x < cell && y < cell) return ColourIndex(7, 0, 0);
            return (x / cell + y / cell) % 2 ? ColourIndex(7, 4, 0) : ColourIndex(0, 1, 2);
        }
        case PictureStyle::Gradient:
            if (x < side && y < side) return ColourIndex(7, 7, 3);
            return ColourIndex(x * 8 / width, y * 8 / height, 1);
    }
    return 0;
}

Palette MakeGrey() {
    Palette p{};
    for (uint32_t i = 0; i < 256; ++i) p[i] = i * 0x010101u;
    return p;
}

Palette MakeColour() {
    Palette p{};
    for (uint32_t i = 0; i < 256; ++i) {
        const uint32_t r = (i >> 5) * 255 / 7, g = ((i >> 2) & 7) * 255 / 7, b = (i & 3) * 255 / 3;
        p[i] = r << 16 | g << 8 | b;
    }
    return p;
}

}  // namespace

const Palette& GreyPalette() {
    static const Palette p = MakeGrey();
    return p;
}

const Palette& ColourPalette() {
    static const Palette p = MakeColour();
    return p;
}

std::vector<uint8_t> TestPictureFile(int width, int height, PictureStyle style) {
    const uint32_t rowBytes = (static_cast<uint32_t>(width) + 3) & ~3u;
    std::vector<uint8_t> file = BmpHeaders(width, height, 8, 256, rowBytes * static_cast<uint32_t>(height));
    const Palette& palette = style == PictureStyle::Grey ? GreyPalette() : ColourPalette();
    for (int i = 0; i < 256; ++i) Put32(file, kFileHeaderBytes + kInfoHeaderBytes + 4 * i, palette[i]);
    const size_t offBits = kFileHeaderBytes + kInfoHeaderBytes + 256 * 4;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            file[offBits + static_cast<size_t>(height - 1 - y) * rowBytes + x] = TestPixel(style, x, y, width, height);
    return file;
}

Picture SurfacePicture(const hostsim::Element& element, bool wholeSurface) {
    int left = 0, top = 0, right = element.SurfaceWidth(), bottom = element.SurfaceRows();
    if (!wholeSurface) {
        const ElementRect r = element.rect();
        left = std::max<int>(left, r.left);
        top = std::max<int>(top, r.top);
        right = std::min<int>(right, r.right);
        bottom = std::min<int>(bottom, r.bottom);
    }
    Picture p;
    if (left >= right || top >= bottom) return p;
    GdiFlush();
    RGBQUAD table[256] = {};
    const UINT colours = GetDIBColorTable(static_cast<HDC>(element.Dc()), 0, 256, table);
    p.width = right - left;
    p.height = bottom - top;
    p.rgb.resize(static_cast<size_t>(p.width) * p.height * 3);
    uint8_t* out = p.rgb.data();
    for (int y = top; y < bottom; ++y) {
        const uint8_t* row = element.Row(y);
        for (int x = left; x < right; ++x) {
            const uint8_t index = row[x];
            const RGBQUAD c = index < colours ? table[index] : RGBQUAD{0, 0, 0, 0};
            *out++ = c.rgbRed;
            *out++ = c.rgbGreen;
            *out++ = c.rgbBlue;
        }
    }
    return p;
}

bool BitmapFormat(HBITMAP bitmap, int& width, int& height, int& bitsPerPixel) {
    BITMAP bm;
    if (!bitmap || GetObjectA(bitmap, sizeof bm, &bm) != sizeof bm) return false;
    width = bm.bmWidth;
    height = bm.bmHeight;
    bitsPerPixel = bm.bmBitsPixel * bm.bmPlanes;
    return true;
}

Picture BitmapPicture(HBITMAP bitmap) {
    Picture p;
    int width, height, bits;
    if (!BitmapFormat(bitmap, width, height, bits) || width <= 0 || height <= 0 || width > 32768 ||
        height > 32768)
        return p;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    const size_t rowBytes = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    std::vector<uint8_t> bgr(rowBytes * height);
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, bitmap, 0, static_cast<UINT>(height), bgr.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows != height) return p;
    p.width = width;
    p.height = height;
    p.rgb.resize(static_cast<size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) p.rgb[(static_cast<size_t>(y) * width + x) * 3 + c] = bgr[y * rowBytes + x * 3 + 2 - c];
    return p;
}

std::vector<uint8_t> EncodeBmp(const Picture& picture) {
    const uint32_t rowBytes = (static_cast<uint32_t>(picture.width) * 3 + 3) & ~3u;
    std::vector<uint8_t> file =
        BmpHeaders(picture.width, picture.height, 24, 0, rowBytes * static_cast<uint32_t>(picture.height));
    const size_t offBits = kFileHeaderBytes + kInfoHeaderBytes;
    for (int y = 0; y < picture.height; ++y) {
        uint8_t* row = &file[offBits + static_cast<size_t>(picture.height - 1 - y) * rowBytes];
        const uint8_t* in = &picture.rgb[static_cast<size_t>(y) * picture.width * 3];
        for (int x = 0; x < picture.width; ++x) {  // the file keeps blue, green, red
            row[x * 3] = in[x * 3 + 2];
            row[x * 3 + 1] = in[x * 3 + 1];
            row[x * 3 + 2] = in[x * 3];
        }
    }
    return file;
}

uint32_t PixelChecksum(const Picture& picture) {
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t byte : picture.rgb) {
        crc ^= byte;
        for (int k = 0; k < 8; ++k) crc = crc >> 1 ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

}  // namespace zqplay
