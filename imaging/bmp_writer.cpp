#include "imaging/bmp_writer.h"

#include <cstddef>
#include <cstring>

#include "imaging/bmp_format.h"
#include "platform/owners.h"

namespace {

#pragma pack(push, 1)
struct BmpFileHeader {
    uint16_t bfType;       // 0: "BM"
    uint32_t bfSize;       // 2
    uint16_t bfReserved1;  // 6
    uint16_t bfReserved2;  // 8
    uint32_t bfOffBits;    // 10
};
#pragma pack(pop)
static_assert(sizeof(BmpFileHeader) == 14);
static_assert(offsetof(BmpFileHeader, bfSize) == 2);
static_assert(offsetof(BmpFileHeader, bfOffBits) == 10);
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(sizeof(BITMAP) == 24);

bool WriteAll(HFILE file, const void* data, uint32_t bytes) {
    return sys()._hwrite(file, static_cast<LPCCH>(data), static_cast<long>(bytes)) ==
           static_cast<long>(bytes);
}

// The memory of `section` when it is laid out as the file's rows would be:
// a bottom-up DIB section of one plane, the layout's stride, and an encoding
// the conversion writes unchanged. Null otherwise. Reads the record only.
const uint8_t* SectionRows(HBITMAP section, const DibLayout& layout, uint32_t* heightPx) {
    DIBSECTION ds;
    if (sys().GetObjectA(section, sizeof ds, &ds) != static_cast<int>(sizeof ds)) return nullptr;
    const BITMAPINFOHEADER& h = ds.dsBmih;
    const auto* bits = static_cast<const uint8_t*>(ds.dsBm.bmBits);
    if (!bits || ds.dsBm.bmPlanes != 1 || h.biHeight < 0) return nullptr;
    if (static_cast<uint32_t>(ds.dsBm.bmWidthBytes) != layout.strideBytes) return nullptr;
    bool plain = h.biCompression == BI_RGB;
    if (h.biCompression == BI_BITFIELDS) {
        // The conversion writes 5-5-5 at 16 bits and 8-8-8 at 32.
        const DWORD* m = ds.dsBitfields;
        plain = (h.biBitCount == 16 && m[0] == 0x7C00 && m[1] == 0x03E0 && m[2] == 0x001F) ||
                (h.biBitCount == 32 && m[0] == 0xFF0000 && m[1] == 0xFF00 && m[2] == 0xFF);
    }
    if (!plain || h.biBitCount != ds.dsBm.bmBitsPixel) return nullptr;
    *heightPx = static_cast<uint32_t>(ds.dsBm.bmHeight);
    return bits;
}

// The platform's conversion of scan lines [0, lines) into `rows`, through a
// scratch copy of the file's header: the conversion rewrites header fields
// (biClrUsed comes back 0), and only the colour table it writes is kept.
bool ConvertRows(HDC dc, HBITMAP bitmap, BITMAPINFO* info, const DibLayout& layout, UINT lines, void* rows) {
    const uint32_t infoBytes = sizeof(BITMAPINFOHEADER) + 4 * layout.paletteCount;
    LockedGlobal scratch(kZeroedMemory, infoBytes);
    if (!scratch) return false;
    std::memcpy(scratch.get(), info, infoBytes);
    auto* converted = static_cast<BITMAPINFO*>(scratch.get());
    if (sys().GetDIBits(dc, bitmap, 0, lines, rows, converted, DIB_RGB_COLORS) != static_cast<int>(lines))
        return false;
    std::memcpy(info->bmiColors, converted->bmiColors, 4 * layout.paletteCount);
    return true;
}

}  // namespace

BITMAPINFOHEADER InfoHeaderFor(const BITMAP& bm, const DibLayout& layout) {
    BITMAPINFOHEADER h{};
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = bm.bmWidth;
    h.biHeight = bm.bmHeight;  // positive: rows bottom row first
    h.biPlanes = bm.bmPlanes;
    h.biBitCount = bm.bmBitsPixel;  // the bitmap's own, not the rounded depth
    h.biCompression = BI_RGB;
    h.biSizeImage = layout.imageBytes;
    h.biClrUsed = layout.paletteCount;
    return h;
}

bool ComputeDibLayout(const BITMAP& bm, DibLayout* layout) {
    const uint16_t depth = static_cast<uint16_t>(bm.bmPlanes * bm.bmBitsPixel);
    uint32_t d = depth <= 1 ? 1 : depth <= 4 ? 4 : depth <= 8 ? 8 : depth <= 16 ? 16 : depth <= 24 ? 24 : 32;
    if (depth == 0) d = 4;
    layout->paletteCount = d < 24 ? 1u << d : 0;
    if (bm.bmWidth < 0 || bm.bmHeight < 0) return false;
    const uint64_t stride = DibStrideBytes(static_cast<uint64_t>(bm.bmWidth), bm.bmBitsPixel);
    if (stride > UINT32_MAX) return false;
    layout->strideBytes = static_cast<uint32_t>(stride);
    return CheckedMul(layout->strideBytes, static_cast<uint32_t>(bm.bmHeight), &layout->imageBytes);
}

int SaveBmpFile(const char* path, HBITMAP bitmap) {
    BITMAP bm;
    if (!sys().GetObjectA(bitmap, sizeof bm, &bm)) return 0;
    DibLayout layout;
    if (!ComputeDibLayout(bm, &layout)) return 0;
    // The file's info header, described from the bitmap's own record, and P
    // zero palette entries that the conversion fills.
    const uint32_t infoBytes = sizeof(BITMAPINFOHEADER) + 4 * layout.paletteCount;
    LockedGlobal infoBlock{kZeroedMemory, infoBytes};
    if (!infoBlock) return 0;
    auto* info = static_cast<BITMAPINFO*>(infoBlock.get());
    info->bmiHeader = InfoHeaderFor(bm, layout);

    UniqueDc dc{sys().CreateCompatibleDC(nullptr)};
    if (!dc) return 0;
    // A section's own memory is written as it is when the conversion of its
    // first scan line (which also fills the colour table) equals the first
    // row in memory and differs from the last: otherwise the order is unknown.
    const void* rows = nullptr;
    uint32_t heightPx = 0;
    if (const uint8_t* memory = SectionRows(bitmap, layout, &heightPx)) {
        const size_t stride = layout.strideBytes;
        LockedGlobal firstLine(kScratchMemory, stride);
        if (firstLine && ConvertRows(dc.get(), bitmap, info, layout, 1, firstLine.get()) &&
            std::memcmp(firstLine.get(), memory, stride) == 0 &&
            (heightPx <= 1 || std::memcmp(firstLine.get(), memory + (heightPx - 1) * stride, stride) != 0))
            rows = memory;
    }
    LockedGlobal pixels;
    if (!rows) {
        // A conversion that fails would leave the rows undefined: no file.
        if (!pixels.Allocate(kScratchMemory, layout.imageBytes)) return 0;
        if (!ConvertRows(dc.get(), bitmap, info, layout, static_cast<UINT>(bm.bmHeight), pixels.get()))
            return 0;
        rows = pixels.get();
    }

    BmpFileHeader file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof(BmpFileHeader) + infoBytes;
    if (!CheckedAdd(file.bfOffBits, layout.imageBytes, &file.bfSize)) return 0;

    UniqueFile out{sys()._lcreat(path, 0)};
    if (!out) return 0;
    if (!WriteAll(out.get(), &file, sizeof file)) return 0;
    if (!WriteAll(out.get(), info, infoBytes)) return 0;
    if (!WriteAll(out.get(), rows, layout.imageBytes)) return 0;
    return out.Close() ? 1 : 0;
}
