#pragma once
// Bitmaps as the components hand them around: checked, duplicated and
// stretched in their own format.
#include <cstdint>

#include "platform/platform.h"

// True when `handle` names a live bitmap.
[[nodiscard]] bool IsBitmap(HBITMAP handle);

// True when `handle` is a bitmap and its record was read into `bm`; nothing
// may be computed from the record otherwise.
[[nodiscard]] bool ReadBitmapRecord(HBITMAP handle, BITMAP* bm);

// The header of uncompressed rows at `bitCount` bits: bottom row first for a
// positive height, top row first for a negative one.
inline BITMAPINFOHEADER RowsHeader(LONG width, LONG height, WORD bitCount) {
    return {sizeof(BITMAPINFOHEADER), width, height, 1, bitCount, BI_RGB, 0, 0, 0, 0, 0};
}

// A copy of `source` in its own format: a DIB section gives a DIB section of
// the same depth and colour table, a device-dependent bitmap a
// device-dependent one. Null when `source` is not a bitmap or any step fails
// (no context, no bitmap, the source selected elsewhere, the copy not
// filled); nothing is left behind then.
[[nodiscard]] HBITMAP DuplicateBitmap(HBITMAP source);

// The largest bitmap StretchBitmap makes: what the BMP reader accepts, so a
// scaled picture can always be saved and read back.
inline constexpr int32_t kMaxBitmapSidePx = 32768;
inline constexpr uint32_t kMaxBitmapBytes = 256u << 20;  // pixel memory, rows padded to 4 bytes

// The whole of `source` drawn onto a new bitmap of widthPx x heightPx in the
// source's format, as DuplicateBitmap makes it. DIB sections of 16, 24 and 32
// bits are resampled (imaging/resample.h: box down, linear up); palette
// pictures and device bitmaps are stretched colour on colour, each pixel kept
// or dropped whole, so their indices stay indices. Null,
// with nothing left behind, when `source` is not a bitmap, either side is
// below 1 or above kMaxBitmapSidePx, the pixel memory at the source's depth
// would exceed kMaxBitmapBytes, or any step fails.
[[nodiscard]] HBITMAP StretchBitmap(HBITMAP source, int32_t widthPx, int32_t heightPx);
