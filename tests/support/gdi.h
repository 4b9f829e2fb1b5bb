#pragma once
// Real GDI bitmaps for the tests, made and read with Win32 directly (not
// through the plug-in's seam), so what the plug-in does is checked
// independently.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tests/support/dib_info.h"

namespace gdi {

// Deterministic, position-dependent bytes: every row and column differs.
inline uint8_t PatternByte(int x, int y, int salt) { return static_cast<uint8_t>(x * 7 + y * 13 + salt * 29 + (x ^ y)); }

// A bottom-up DIB section of `bits` per pixel, its pixel memory and (up to
// 8 bits) a palette filled with pattern bytes; 16 bits is 5-5-5, top bit clear.
inline HBITMAP MakeDibSection(int bits, int width, int height, int salt = 1) {
    std::vector<uint8_t> info = DibInfoStorage(width, height, bits);
    auto* bi = reinterpret_cast<BITMAPINFO*>(info.data());
    if (bits <= 8) {
        const int colours = 1 << bits;
        bi->bmiHeader.biClrUsed = colours;
        for (int i = 0; i < colours; ++i)
            bi->bmiColors[i] = RGBQUAD{PatternByte(i, 1, salt), PatternByte(i, 2, salt), PatternByte(i, 3, salt), 0};
    }
    void* pixels = nullptr;
    HBITMAP b = CreateDIBSection(nullptr, bi, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (!b || !pixels) return b;
    // Padding bits stay 0: a copy need not keep them.
    const int rowBits = width * bits;
    const int stride = ((rowBits + 31) / 32) * 4;
    auto* p = static_cast<uint8_t*>(pixels);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < stride; ++x) {
            const int used = rowBits - x * 8;
            const uint8_t mask = used >= 8 ? 0xFF : used <= 0 ? 0 : static_cast<uint8_t>(0xFF << (8 - used));
            p[y * stride + x] = PatternByte(x, y, salt) & mask & (bits == 16 && (x & 1) ? 0x7F : 0xFF);
        }
    return b;
}

// A device-dependent bitmap compatible with the screen, filled with a pattern.
inline HBITMAP MakeDeviceBitmap(int width, int height, int salt = 1) {
    HDC screen = GetDC(nullptr);
    HBITMAP b = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    if (!b) return b;
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<uint32_t> px(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            px[y * width + x] = RGB(PatternByte(x, y, salt), PatternByte(x, y, salt + 1), PatternByte(x, y, salt + 2));
    HDC dc = CreateCompatibleDC(nullptr);
    SetDIBits(dc, b, 0, height, px.data(), &bi, DIB_RGB_COLORS);
    DeleteDC(dc);
    return b;
}

// A 1-bit device-dependent bitmap: what a fresh memory context makes.
inline HBITMAP MakeMonoBitmap(int width, int height) {
    std::vector<uint8_t> rows(static_cast<size_t>((width + 15) / 16 * 2) * height);
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = PatternByte(static_cast<int>(i), 0, 3);
    return CreateBitmap(width, height, 1, 1, rows.data());
}

inline BITMAP RecordOf(HGDIOBJ b) {
    BITMAP bm{};
    GetObjectA(b, sizeof bm, &bm);
    return bm;
}

// Every pixel as the platform converts it to 32 bits, rows bottom-up; the
// fourth byte as the conversion leaves it.
inline std::vector<uint32_t> Colours32(HBITMAP b) {
    const BITMAP bm = RecordOf(b);
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), bm.bmWidth, bm.bmHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<uint32_t> px(static_cast<size_t>(bm.bmWidth) * bm.bmHeight);
    HDC dc = CreateCompatibleDC(nullptr);
    if (GetDIBits(dc, b, 0, bm.bmHeight, px.data(), &bi, DIB_RGB_COLORS) != bm.bmHeight) px.clear();
    DeleteDC(dc);
    return px;
}

// A picture for the Python drivers: width and height (32-bit little-endian),
// then R, G, B per pixel, top row first, and with `alpha` A too (the fourth
// byte at 32 bits, else 255). False when it cannot be read or written.
inline bool WriteRawPixels(HBITMAP b, const char* path, bool alpha) {
    const BITMAP bm = RecordOf(b);
    const std::vector<uint32_t> px = Colours32(b);
    if (px.empty() && bm.bmWidth * bm.bmHeight != 0) return false;
    std::vector<uint8_t> out(8);
    std::memcpy(out.data(), &bm.bmWidth, 4);
    std::memcpy(out.data() + 4, &bm.bmHeight, 4);
    for (int y = bm.bmHeight - 1; y >= 0; --y)
        for (int x = 0; x < bm.bmWidth; ++x) {
            const uint32_t c = px[static_cast<size_t>(y) * bm.bmWidth + x];
            for (int shift : {16, 8, 0}) out.push_back(static_cast<uint8_t>(c >> shift));
            if (alpha) out.push_back(bm.bmBitsPixel == 32 ? static_cast<uint8_t>(c >> 24) : 255);
        }
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    const bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    return std::fclose(f) == 0 && ok;
}

// The section's own bytes: rows as stored, padding included.
inline std::vector<uint8_t> SectionBytes(HBITMAP b) {
    DIBSECTION ds{};
    if (GetObjectA(b, sizeof ds, &ds) != sizeof ds || !ds.dsBm.bmBits) return {};
    auto* p = static_cast<const uint8_t*>(ds.dsBm.bmBits);
    return {p, p + static_cast<size_t>(ds.dsBm.bmWidthBytes) * ds.dsBm.bmHeight};
}

// The bitmap's pixels and palette in its own depth, bottom-up, as GetDIBits
// gives them with a header built here.
struct Dib {
    std::vector<uint8_t> pixels;
    std::vector<RGBQUAD> palette;
    int lines = 0;
};
inline Dib ReadDib(HBITMAP b) {
    const BITMAP bm = RecordOf(b);
    Dib out;
    std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    auto* bi = reinterpret_cast<BITMAPINFO*>(info.data());
    bi->bmiHeader = {sizeof(BITMAPINFOHEADER), bm.bmWidth, bm.bmHeight, 1, bm.bmBitsPixel, BI_RGB, 0, 0, 0, 0, 0};
    const int stride = ((bm.bmWidth * bm.bmBitsPixel + 31) / 32) * 4;
    out.pixels.assign(static_cast<size_t>(stride) * bm.bmHeight, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    out.lines = GetDIBits(dc, b, 0, bm.bmHeight, out.pixels.data(), bi, DIB_RGB_COLORS);
    DeleteDC(dc);
    if (bm.bmBitsPixel <= 8) out.palette.assign(bi->bmiColors, bi->bmiColors + (1 << bm.bmBitsPixel));
    return out;
}

inline bool SamePalette(const std::vector<RGBQUAD>& a, const std::vector<RGBQUAD>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(RGBQUAD)) == 0);
}

// The colour table of a DIB section, as the section itself holds it.
inline std::vector<RGBQUAD> SectionColours(HBITMAP b) {
    std::vector<RGBQUAD> colours(256);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, b);
    const UINT n = GetDIBColorTable(dc, 0, 256, colours.data());
    SelectObject(dc, old);
    DeleteDC(dc);
    colours.resize(n);
    return colours;
}

}  // namespace gdi
