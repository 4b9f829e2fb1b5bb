#include "imaging/bmp_writer.h"

#include <cstddef>
#include <cstring>

#include "imaging/bmp_format.h"
#include "platform/owners.h"

namespace {

constexpr UINT kHeaderBlockFlags = GMEM_MOVEABLE | GMEM_ZEROINIT;  // 0x0042
constexpr UINT kPixelBufferFlags = GMEM_MOVEABLE;                  // 0x0002

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

// The 40-byte header of the file, every field from the bitmap's record.
BITMAPINFOHEADER HeaderFor(const BITMAP& bm, const DibLayout& layout) {
    BITMAPINFOHEADER h{};
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = bm.bmWidth;
    h.biHeight = bm.bmHeight;
    h.biPlanes = bm.bmPlanes;
    h.biBitCount = bm.bmBitsPixel;
    h.biCompression = BI_RGB;
    h.biSizeImage = layout.imageBytes;
    h.biClrUsed = layout.paletteCount;
    return h;
}

// Releases a header block from its locked pointer.
struct InfoOwner {
    BITMAPINFO* info;
    ~InfoOwner() { FreeBmpInfo(info); }
};

bool WriteAll(HFILE file, const void* data, uint32_t bytes) {
    return sys()._hwrite(file, static_cast<LPCCH>(data), static_cast<long>(bytes)) ==
           static_cast<long>(bytes);
}

// True when `section` is a bottom-up DIB section whose memory holds exactly
// the rows the conversion would write. The conversion of its first scan line
// settles it (and fills `info`'s colour table): it must equal the first row
// in memory and differ from the last, or the order stays unknown.
bool RowsAreFinal(HDC dc, HBITMAP section, BITMAPINFO* info, const DibLayout& layout,
                  const void** rows) {
    DIBSECTION ds;
    if (sys().GetObjectA(section, sizeof ds, &ds) != static_cast<int>(sizeof ds)) return false;
    const BITMAPINFOHEADER& h = ds.dsBmih;
    const auto* bits = static_cast<const unsigned char*>(ds.dsBm.bmBits);
    if (!bits || ds.dsBm.bmPlanes != 1 || h.biHeight < 0) return false;
    if (static_cast<uint32_t>(ds.dsBm.bmWidthBytes) != layout.strideBytes) return false;
    bool plain = h.biCompression == BI_RGB;
    if (h.biCompression == BI_BITFIELDS) {
        // The conversion writes 5-5-5 at 16 bits and 8-8-8 at 32.
        const DWORD* m = ds.dsBitfields;
        plain = (h.biBitCount == 16 && m[0] == 0x7C00 && m[1] == 0x03E0 && m[2] == 0x001F) ||
                (h.biBitCount == 32 && m[0] == 0xFF0000 && m[1] == 0xFF00 && m[2] == 0xFF);
    }
    if (!plain || h.biBitCount != ds.dsBm.bmBitsPixel) return false;

    LockedGlobal probe(kPixelBufferFlags, layout.strideBytes);
    if (!probe) return false;
    if (sys().GetDIBits(dc, section, 0, 1, probe.get(), info, DIB_RGB_COLORS) != 1) return false;
    const std::size_t stride = layout.strideBytes;
    const std::size_t height = static_cast<std::size_t>(ds.dsBm.bmHeight);
    if (std::memcmp(probe.get(), bits, stride) != 0) return false;
    if (height > 1 && std::memcmp(probe.get(), bits + (height - 1) * stride, stride) == 0)
        return false;
    *rows = bits;
    return true;
}

}  // namespace

bool ComputeDibLayout(const BITMAP& bm, DibLayout* layout) {
    const uint16_t depth = static_cast<uint16_t>(bm.bmPlanes * bm.bmBitsPixel);
    uint32_t d = depth <= 1 ? 1 : depth <= 4 ? 4 : depth <= 8 ? 8 : depth <= 16 ? 16 : depth <= 24 ? 24 : 32;
    if (depth == 0) d = 4;
    layout->paletteCount = d < 24 ? 1u << d : 0;
    if (bm.bmWidth < 0 || bm.bmHeight < 0) return false;
    uint32_t rowBits;
    if (!CheckedMul(static_cast<uint32_t>(bm.bmWidth), bm.bmBitsPixel, &rowBits)) return false;
    if (!CheckedAdd(rowBits, 31, &rowBits)) return false;
    layout->strideBytes = rowBits / 32 * 4;
    return CheckedMul(layout->strideBytes, static_cast<uint32_t>(bm.bmHeight), &layout->imageBytes);
}

BITMAPINFO* MakeBmpInfo(HBITMAP bitmap) {
    BITMAP bm;
    if (!sys().GetObjectA(bitmap, sizeof bm, &bm)) return nullptr;
    DibLayout layout;
    if (!ComputeDibLayout(bm, &layout)) return nullptr;
    HGLOBAL block = sys().GlobalAlloc(kHeaderBlockFlags,
                                      sizeof(BITMAPINFOHEADER) + 4 * layout.paletteCount);
    if (!block) return nullptr;
    auto* info = static_cast<BITMAPINFO*>(sys().GlobalLock(block));
    if (!info) {
        sys().GlobalFree(block);
        return nullptr;
    }
    info->bmiHeader = HeaderFor(bm, layout);
    return info;
}

void FreeBmpInfo(BITMAPINFO* info) {
    if (!info) return;
    HGLOBAL block = sys().GlobalHandle(info);
    sys().GlobalUnlock(block);
    sys().GlobalFree(block);
}

int SaveBmpFile(const char* path, HBITMAP bitmap) {
    InfoOwner info{MakeBmpInfo(bitmap)};
    if (!info.info) return 0;
    BITMAP bm;
    if (!sys().GetObjectA(bitmap, sizeof bm, &bm)) return 0;
    DibLayout layout;
    if (!ComputeDibLayout(bm, &layout)) return 0;
    // What the conversion changes in the header (it resets biClrUsed to 0)
    // must not reach the file: the header is the one built from the record.
    const BITMAPINFOHEADER header = info.info->bmiHeader;

    UniqueDc dc{sys().CreateCompatibleDC(nullptr)};
    if (!dc) return 0;
    const void* rows = nullptr;
    LockedGlobal pixels;
    if (!RowsAreFinal(dc.get(), bitmap, info.info, layout, &rows)) {
        if (!pixels.Allocate(kPixelBufferFlags, layout.imageBytes)) return 0;
        info.info->bmiHeader = header;
        // A conversion that fails would leave the rows undefined: no file.
        if (sys().GetDIBits(dc.get(), bitmap, 0, static_cast<UINT>(bm.bmHeight), pixels.get(),
                            info.info, DIB_RGB_COLORS) == 0)
            return 0;
        rows = pixels.get();
    }
    info.info->bmiHeader = header;

    const uint32_t infoBytes = sizeof(BITMAPINFOHEADER) + 4 * layout.paletteCount;
    BmpFileHeader file{};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof(BmpFileHeader) + infoBytes;
    if (!CheckedAdd(file.bfOffBits, layout.imageBytes, &file.bfSize)) return 0;

    UniqueFile out{sys()._lcreat(path, 0)};
    if (!out) return 0;
    if (!WriteAll(out.get(), &file, sizeof file)) return 0;
    if (!WriteAll(out.get(), info.info, infoBytes)) return 0;
    if (!WriteAll(out.get(), rows, layout.imageBytes)) return 0;
    return out.Close() ? 1 : 0;
}
