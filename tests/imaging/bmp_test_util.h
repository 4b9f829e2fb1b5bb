#pragma once
// Helpers of the BMP tests: bitmaps with known pixels, files, decoded pixels.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/dib_info.h"

namespace bmptest {

inline std::string TempPath(const std::string& name) {
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    // One name per process: CTest runs test cases of several executables at once.
    return std::string(dir) + "zq" + std::to_string(GetCurrentProcessId()) + "_" + name;
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::vector<uint8_t> data;
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return data;
    data.resize(GetFileSize(f, nullptr));
    DWORD got = 0;
    if (!data.empty()) ReadFile(f, data.data(), static_cast<DWORD>(data.size()), &got, nullptr);
    data.resize(got);
    CloseHandle(f);
    return data;
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& data) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD put = 0;
    if (!data.empty()) WriteFile(f, data.data(), static_cast<DWORD>(data.size()), &put, nullptr);
    CloseHandle(f);
}

inline uint32_t Le32(const std::vector<uint8_t>& d, size_t at) {
    return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | static_cast<uint32_t>(d[at + 3]) << 24;
}
inline uint16_t Le16(const std::vector<uint8_t>& d, size_t at) {
    return static_cast<uint16_t>(d[at] | d[at + 1] << 8);
}

// A bottom-up DIB section made through sys() (so a probe counts it), its
// rows filled with a pattern that differs from row to row and its colour
// table with distinct colours. 16 bits is 5-5-5.
inline HBITMAP MakeSection(int width, int height, int bits, uint32_t seed = 1) {
    std::vector<uint8_t> block = DibInfoStorage(width, height, bits);
    auto* info = reinterpret_cast<BITMAPINFO*>(block.data());
    if (bits <= 8) {
        info->bmiHeader.biClrUsed = 1u << bits;
        for (uint32_t i = 0; i < (1u << bits); ++i)
            info->bmiColors[i] = RGBQUAD{static_cast<BYTE>(i * 7 + seed), static_cast<BYTE>(255 - i),
                                         static_cast<BYTE>(i * 13), 0};
    }
    void* bits_ = nullptr;
    HBITMAP b = sys().CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits_, nullptr, 0);
    if (!b) return nullptr;
    const int stride = ((width * bits + 31) / 32) * 4;
    const int usedBits = width * bits;
    auto* p = static_cast<uint8_t*>(bits_);
    uint32_t x = seed * 2654435761u;
    for (int y = 0; y < height; ++y)
        for (int i = 0; i < stride; ++i) {
            x = x * 1103515245u + 12345u;
            uint8_t v = static_cast<uint8_t>(x >> 16);
            if (bits == 16 && (i & 1)) v &= 0x7F;            // 5-5-5 has no top bit
            if (i * 8 >= usedBits) v = 0;                     // padding stays clean
            else if (i * 8 + 8 > usedBits) v &= static_cast<uint8_t>(0xFF00 >> (usedBits % 8));
            p[y * stride + i] = v;
        }
    GdiFlush();
    return b;
}

// Pixels as 0x00RRGGBB, top row first, through the platform's conversion.
inline std::vector<uint32_t> Pixels(HBITMAP b) {
    BITMAP bm{};
    GetObjectA(b, sizeof bm, &bm);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = bm.bmWidth;
    info.bmiHeader.biHeight = -bm.bmHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    std::vector<uint32_t> out(static_cast<size_t>(bm.bmWidth) * bm.bmHeight);
    HDC dc = CreateCompatibleDC(nullptr);
    GetDIBits(dc, b, 0, bm.bmHeight, out.data(), &info, DIB_RGB_COLORS);
    DeleteDC(dc);
    for (auto& p : out) p &= 0xFFFFFF;
    return out;
}

// The section's own bytes: rows as stored, padding included.
inline std::vector<uint8_t> SectionBytes(HBITMAP b) {
    DIBSECTION ds{};
    if (GetObjectA(b, sizeof ds, &ds) != sizeof ds || !ds.dsBm.bmBits) return {};
    auto* p = static_cast<const uint8_t*>(ds.dsBm.bmBits);
    return {p, p + static_cast<size_t>(ds.dsBm.bmWidthBytes) * ds.dsBm.bmHeight};
}

inline std::vector<RGBQUAD> ColourTable(HBITMAP b) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, b);
    RGBQUAD table[256];
    UINT n = GetDIBColorTable(dc, 0, 256, table);
    SelectObject(dc, old);
    DeleteDC(dc);
    return {table, table + n};
}

}  // namespace bmptest
