#pragma once
// Writes bitmaps as BMP files: 14-byte file header, 40-byte info header,
// palette, rows bottom-up and padded to 4 bytes.
#include <cstdint>

#include "platform/platform.h"

// Palette entries and pixel bytes of a bitmap's device-independent form,
// from its BITMAP record: depth rounded up to 1, 4, 8, 16, 24 or 32 bits;
// P = 2^depth below 24 bits (65,536 zero entries at 16), else 0.
struct DibLayout {
    uint32_t paletteCount;  // P
    uint32_t strideBytes;   // one row, padded to 4 bytes
    uint32_t imageBytes;    // S
};
// False when a size does not fit in 32 bits.
[[nodiscard]] bool ComputeDibLayout(const BITMAP& bm, DibLayout* layout);

// The 40-byte info header of a bitmap's device-independent form, every field
// from its own record: rows bottom row first, no compression.
BITMAPINFOHEADER InfoHeaderFor(const BITMAP& bm, const DibLayout& layout);

// Writes `bitmap` to `path` (created or truncated). 1 when all three parts
// were written in full and the file closed, else 0; everything taken is
// released either way. A file cut short by a failed write stays as written.
int SaveBmpFile(const char* path, HBITMAP bitmap);
