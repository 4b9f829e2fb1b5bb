#pragma once
// Which codec a picture file goes to: by its first bytes when it is read, by
// its name when it is written. Platform-free.
#include <cstddef>
#include <cstdint>

enum class PictureFormat : uint8_t { Bmp, Png, Jpeg, Gif, Tiff };

// Enough of a file's start to tell every format below apart.
inline constexpr size_t kPictureSignatureBytes = 8;

// The format whose signature `head` starts with; Bmp for anything else, so
// the BMP reader refuses it with its own reason.
[[nodiscard]] PictureFormat FormatBySignature(const uint8_t* head, size_t bytes);

// ".png" gives Png, ".jpg" and ".jpeg" Jpeg, in any case; every other name Bmp.
[[nodiscard]] PictureFormat FormatByName(const char* path);

// True when a 32-bit picture's fourth bytes are not all zero: it carries
// alpha. BMP files without alpha store zeros there. Rows of `widthPx` pixels,
// each `rowStep` bytes after the one before (negative: bottom-up in memory).
[[nodiscard]] bool HasAlpha(const uint8_t* firstRow, ptrdiff_t rowStep, int rowCount, int widthPx);

// Four bytes a pixel (B, G, R, unused) to three, `count` pixels; `to` may be
// `from` itself.
void PackToThreeBytes(const uint8_t* from, uint8_t* to, size_t count);

// Pixels of 1 or 4 bits (the first at a byte's top) to one byte each,
// `count` pixels.
void WidenIndices(const uint8_t* from, uint32_t bits, uint8_t* to, size_t count);
