#pragma once
// Storage for a BITMAPINFO with room for 256 colours: the header of a
// bottom-up, uncompressed DIB of the given size and depth, palette zeroed.
// Test pictures fill the palette and rows their own way.
#include <windows.h>

#include <cstdint>
#include <vector>

inline std::vector<uint8_t> DibInfoStorage(int width, int height, int bits) {
    std::vector<uint8_t> block(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(block.data());
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = width;
    header->biHeight = height;
    header->biPlanes = 1;
    header->biBitCount = static_cast<WORD>(bits);
    header->biCompression = BI_RGB;
    return block;
}
