#pragma once
// Resampling of true-colour pixels without the platform, so a scaled picture
// has the same pixels everywhere. Separable: each row is resampled across,
// rounded to 8 bits per channel, then the rows are combined down. An axis
// that shrinks averages a box of S/D source pixels around each result pixel;
// one that grows interpolates linearly between the two nearest; weights are
// normalised over the source pixels that exist, so the edges clamp; an axis
// that keeps its size is copied. These are the box and bilinear filters of
// the usual image libraries, with their 22-bit fixed-point weights.
#include <cstddef>
#include <cstdint>

enum class PixelFormat : uint8_t {
    Bgr24,     // 3 bytes a pixel
    Bgrx32,    // 4 bytes, the fourth averaged like a colour
    Bgra32,    // 4 bytes, straight alpha: colours averaged premultiplied, so
               // transparent pixels bleed nothing; all alpha 0 counts as none
    Masked16,  // 2 bytes, little-endian, channels at the masks (any widths)
    Masked32,  // 4 bytes, channels at the masks; bits outside them become 0
};

struct ResampleLayout {
    PixelFormat format;
    uint32_t redMask, greenMask, blueMask;  // Masked16 and Masked32 only: contiguous
};

// Rows of pixels, the top row at `top`; a negative stride walks a bottom-up
// picture. Each row holds at least widthPx pixels.
struct PixelRows {
    uint8_t* top;
    ptrdiff_t strideBytes;
    int32_t widthPx, heightPx;
};

// The largest side either picture may have.
inline constexpr int32_t kResampleMaxSidePx = 32768;

// Resamples all of `from` onto all of `to`, both in `layout`. False, with
// `to` untouched, when a side is below 1 or above kResampleMaxSidePx, the
// masks are not contiguous, or there is no memory for the weights and a few
// rows.
[[nodiscard]] bool ResamplePixels(const PixelRows& from, const PixelRows& to, const ResampleLayout& layout);
