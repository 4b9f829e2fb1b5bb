#include "imaging/bitmaps.h"

#include "imaging/bmp_format.h"
#include "imaging/resample.h"
#include "platform/owners.h"

namespace {

constexpr DWORD kSourceCopy = SRCCOPY;  // 0x00CC0020

static_assert(sizeof(BITMAP) == 24);
// A scaled picture must stay one the BMP reader takes back.
static_assert(kMaxBitmapSidePx == kBmpMaxDimension);
static_assert(kMaxBitmapBytes == kBmpMaxImageBytes);
static_assert(kMaxBitmapSidePx == kResampleMaxSidePx);

// The whole of `source` (described by `bm`) onto a new bitmap of the given
// size in the source's format: copied when the size is the same, stretched
// otherwise.
[[nodiscard]] HBITMAP DrawInFormat(HBITMAP source, const BITMAP& bm, int widthPx, int heightPx) {
    UniqueDc from{sys().CreateCompatibleDC(nullptr)};
    if (!from) return nullptr;
    UniqueDc to{sys().CreateCompatibleDC(from.get())};
    if (!to) return nullptr;
    // A bitmap selected in some other context cannot be selected here; a
    // copy blitted from the context's default bitmap would be garbage.
    SelectGuard sourceIn{from.get(), source};
    if (!sourceIn) return nullptr;
    // Compatible with a context holding the source: a DIB section gives a DIB
    // section of its format, a device-dependent bitmap one of its format.
    UniqueBitmap copy{sys().CreateCompatibleBitmap(from.get(), widthPx, heightPx)};
    if (!copy) return nullptr;
    {
        SelectGuard copyIn{to.get(), copy.get()};
        if (!copyIn) return nullptr;
        if (widthPx == bm.bmWidth && heightPx == bm.bmHeight) {
            if (!sys().BitBlt(to.get(), 0, 0, widthPx, heightPx, from.get(), 0, 0, kSourceCopy)) return nullptr;
        } else {
            // A new context shrinks in BLACKONWHITE mode, which ANDs the
            // pixels it drops into the ones it keeps: colours come out wrong.
            if (!sys().SetStretchBltMode(to.get(), COLORONCOLOR)) return nullptr;
            if (!sys().StretchBlt(to.get(), 0, 0, widthPx, heightPx, from.get(), 0, 0, bm.bmWidth, bm.bmHeight,
                                  kSourceCopy))
                return nullptr;
        }
    }
    return copy.release();
}

// How the resampler reads a DIB section of 16, 24 or 32 bits; false for
// palette pictures, whose indices cannot be averaged.
bool ResampledLayout(const DIBSECTION& ds, ResampleLayout* layout) {
    const bool masked = ds.dsBmih.biCompression == BI_BITFIELDS;
    switch (ds.dsBm.bmBitsPixel) {
        case 16:
            *layout = {PixelFormat::Masked16, 0x7C00, 0x03E0, 0x001F};  // 5-5-5 unless masks say otherwise
            if (masked) *layout = {PixelFormat::Masked16, ds.dsBitfields[0], ds.dsBitfields[1], ds.dsBitfields[2]};
            return true;
        case 24:
            *layout = {PixelFormat::Bgr24, 0, 0, 0};
            return true;
        case 32:
            *layout = {PixelFormat::Bgra32, 0, 0, 0};  // all alpha 0 is read as none
            if (masked && (ds.dsBitfields[0] != 0xFF0000 || ds.dsBitfields[1] != 0xFF00 || ds.dsBitfields[2] != 0xFF))
                *layout = {PixelFormat::Masked32, ds.dsBitfields[0], ds.dsBitfields[1], ds.dsBitfields[2]};
            return true;
        default:
            return false;
    }
}

// A section's rows, top row first. Under Wine a top-down section reports a
// positive height too; the sections that reach here are the variables'
// CreateCompatibleBitmap copies, which are always bottom-up.
PixelRows RowsOf(const DIBSECTION& ds) {
    const ptrdiff_t stride = ds.dsBm.bmWidthBytes;
    auto* bits = static_cast<uint8_t*>(ds.dsBm.bmBits);
    if (ds.dsBmih.biHeight < 0) return {bits, stride, ds.dsBm.bmWidth, ds.dsBm.bmHeight};
    return {bits + stride * (ds.dsBm.bmHeight - 1), -stride, ds.dsBm.bmWidth, ds.dsBm.bmHeight};
}

// The whole of a true-colour DIB section resampled onto a new section of the
// given size and the same format, made as DrawInFormat makes it. The pixel
// memory of both is read and written directly: GDI has no drawing pending on
// a section it has just made, and under Wine none on any section, so no
// flush is needed.
[[nodiscard]] HBITMAP ResampleInFormat(HBITMAP source, const DIBSECTION& ds, const ResampleLayout& layout,
                                       int widthPx, int heightPx) {
    UniqueDc from{sys().CreateCompatibleDC(nullptr)};
    if (!from) return nullptr;
    SelectGuard sourceIn{from.get(), source};
    if (!sourceIn) return nullptr;
    UniqueBitmap copy{sys().CreateCompatibleBitmap(from.get(), widthPx, heightPx)};
    if (!copy) return nullptr;
    DIBSECTION made;
    if (sys().GetObjectA(copy.get(), sizeof made, &made) != static_cast<int>(sizeof made) || !made.dsBm.bmBits ||
        made.dsBm.bmBitsPixel != ds.dsBm.bmBitsPixel)
        return nullptr;
    if (!ResamplePixels(RowsOf(ds), RowsOf(made), layout)) return nullptr;
    return copy.release();
}

}  // namespace

bool IsBitmap(HBITMAP handle) { return handle && sys().GetObjectType(handle) == OBJ_BITMAP; }

bool ReadBitmapRecord(HBITMAP handle, BITMAP* bm) {
    if (!IsBitmap(handle)) return false;
    return sys().GetObjectA(handle, sizeof *bm, bm) == static_cast<int>(sizeof *bm);
}

HBITMAP DuplicateBitmap(HBITMAP source) {
    BITMAP bm;
    if (!ReadBitmapRecord(source, &bm)) return nullptr;
    return DrawInFormat(source, bm, bm.bmWidth, bm.bmHeight);
}

HBITMAP StretchBitmap(HBITMAP source, int32_t widthPx, int32_t heightPx) {
    if (widthPx < 1 || heightPx < 1 || widthPx > kMaxBitmapSidePx || heightPx > kMaxBitmapSidePx) return nullptr;
    BITMAP bm;
    if (!ReadBitmapRecord(source, &bm)) return nullptr;
    // Sides are capped, so the row bits fit 32 bits for any depth up to 32.
    const uint32_t bitsPerPixel = static_cast<uint32_t>(bm.bmPlanes) * bm.bmBitsPixel;
    if (bitsPerPixel == 0 || bitsPerPixel > 32) return nullptr;
    const uint64_t imageBytes = DibStrideBytes(static_cast<uint64_t>(widthPx), bitsPerPixel) * heightPx;
    if (imageBytes > kMaxBitmapBytes) return nullptr;
    // True-colour sections are resampled here; palette pictures and device
    // bitmaps are stretched by the platform, pixel for pixel.
    // A section describes itself in full, a device bitmap in a BITMAP record
    // only; no answer at all is a failure, not a reason to stretch coarsely.
    DIBSECTION ds;
    ResampleLayout layout;
    const int described = sys().GetObjectA(source, sizeof ds, &ds);
    if (described == 0) return nullptr;
    if (described == static_cast<int>(sizeof ds) && ds.dsBm.bmBits && ResampledLayout(ds, &layout))
        return ResampleInFormat(source, ds, layout, widthPx, heightPx);
    return DrawInFormat(source, bm, widthPx, heightPx);
}
