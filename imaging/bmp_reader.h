#pragma once
// Reads a BMP file into a new bottom-up DIB section.
#include <cstdint>

#include "imaging/bmp_format.h"
#include "platform/platform.h"

// Sets *bitmap to null, then to the new DIB section on success; the caller
// deletes it. 1 when a bitmap was made, 0 otherwise; nothing is left
// allocated on failure. Reads 1-, 4-, 8-, 24-bit palette and RGB files,
// 16- and 32-bit RGB and bit-field files, RLE8 and RLE4, top-down rows,
// short palettes, pixel data at bfOffBits, and 12-, 40-, 52-, 56-, 108- and
// 124-byte info headers; every header field is checked against the file.
int LoadBmpFile(const char* path, HBITMAP* bitmap);

// The same, giving the reason when no bitmap was made (Ok when one was).
BmpStatus ReadBmpFile(const char* path, HBITMAP* bitmap);

// Uncompressed rows are read straight into the section a chunk at a time,
// each chunk's pages touched before its read.
inline constexpr uint32_t kBmpReadChunkBytes = 1u << 20;
inline constexpr uint32_t kBmpReadPageBytes = 4096;
