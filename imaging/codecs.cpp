#include "imaging/codecs.h"

#include "imaging/bitmaps.h"
#include "imaging/bmp_format.h"
#include "platform/owners.h"

namespace {

// The factory of Windows 7 and later, which Wine serves too.
constexpr CLSID kImagingFactory = {0xcacaf262, 0x9370, 0x4615, {0xa1, 0x3b, 0x9f, 0x55, 0x39, 0xda, 0x4c, 0x0a}};

// File names reach the codecs as wide texts; ours hold at most 255 bytes.
constexpr int kWidePathChars = 260;
using WidePath = wchar_t[kWidePathChars];

bool Widen(const char* path, WidePath& wide) {
    return sys().MultiByteToWideChar(CP_ACP, 0, path, -1, wide, kWidePathChars) > 0;
}

bool MakeFactory(UniqueCom<IWICImagingFactory>& factory) {
    return SUCCEEDED(sys().CoCreateInstance(kImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                            __uuidof(IWICImagingFactory),
                                            reinterpret_cast<void**>(factory.out())));
}

// Formats that carry alpha of their own; palette formats carry it in their
// colours (a transparent GIF or PNG entry).
bool HasTransparency(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame, const GUID& format, bool* alpha) {
    static const GUID* const kWithAlpha[] = {
        &GUID_WICPixelFormat32bppBGRA,  &GUID_WICPixelFormat32bppRGBA,  &GUID_WICPixelFormat32bppPBGRA,
        &GUID_WICPixelFormat32bppPRGBA, &GUID_WICPixelFormat64bppRGBA,  &GUID_WICPixelFormat64bppBGRA,
        &GUID_WICPixelFormat64bppPRGBA, &GUID_WICPixelFormat64bppPBGRA, &GUID_WICPixelFormat128bppRGBAFloat,
    };
    static const GUID* const kIndexed[] = {
        &GUID_WICPixelFormat1bppIndexed, &GUID_WICPixelFormat2bppIndexed,
        &GUID_WICPixelFormat4bppIndexed, &GUID_WICPixelFormat8bppIndexed,
    };
    *alpha = false;
    for (const GUID* g : kWithAlpha)
        if (IsEqualGUID(format, *g)) *alpha = true;
    for (const GUID* g : kIndexed) {
        if (!IsEqualGUID(format, *g)) continue;
        UniqueCom<IWICPalette> palette;
        BOOL withAlpha = FALSE;
        if (FAILED(sys().WicCreatePalette(factory, palette.out())) ||
            FAILED(sys().WicCopyPalette(frame, palette.get())) ||
            FAILED(sys().WicPaletteHasAlpha(palette.get(), &withAlpha)))
            return false;
        *alpha = withAlpha != FALSE;
    }
    return true;
}

// Rows a band at a time from a 32-bit source into 24-bit bottom-up rows.
bool CopyPacked(IWICBitmapSource* source, UINT width, UINT height, uint8_t* rows, uint32_t stride) {
    constexpr UINT kBandRows = 64;
    const UINT bandStride = width * 4;
    LockedGlobal band{kScratchMemory, static_cast<size_t>(bandStride) * kBandRows};
    if (!band) return false;
    for (UINT top = 0; top < height; top += kBandRows) {
        const UINT n = height - top < kBandRows ? height - top : kBandRows;
        const WICRect rect{0, static_cast<INT>(top), static_cast<INT>(width), static_cast<INT>(n)};
        if (FAILED(sys().WicCopyPixels(source, &rect, bandStride, bandStride * n, band.bytes()))) return false;
        for (UINT r = 0; r < n; ++r)
            PackToThreeBytes(band.bytes() + r * bandStride, rows + (height - 1 - top - r) * stride, width);
    }
    return true;
}

// The decoded frame, converted, straight into a new section; COM is up.
[[nodiscard]] HBITMAP Decode(const WidePath& path) {
    UniqueCom<IWICImagingFactory> factory;
    if (!MakeFactory(factory)) return nullptr;
    UniqueCom<IWICBitmapDecoder> decoder;
    if (FAILED(sys().WicCreateDecoder(factory.get(), path, decoder.out()))) return nullptr;
    UniqueCom<IWICBitmapFrameDecode> frame;
    if (FAILED(sys().WicGetFrame(decoder.get(), 0, frame.out()))) return nullptr;

    // The reader's caps, before any pixel memory is taken.
    UINT width = 0, height = 0;
    if (FAILED(sys().WicGetSize(frame.get(), &width, &height))) return nullptr;
    if (width < 1 || height < 1 || width > static_cast<UINT>(kBmpMaxDimension) ||
        height > static_cast<UINT>(kBmpMaxDimension))
        return nullptr;
    WICPixelFormatGUID given;
    if (FAILED(sys().WicGetPixelFormat(frame.get(), &given))) return nullptr;
    bool alpha = false;
    if (!HasTransparency(factory.get(), frame.get(), given, &alpha)) return nullptr;
    const uint32_t bitCount = alpha ? 32 : 24;
    const uint64_t stride = DibStrideBytes(width, bitCount);
    if (stride * height > kBmpMaxImageBytes) return nullptr;

    // Formats the converter takes to 24 bits directly; it refuses grey and
    // palette pictures there (Wine), and those go through 32 bits.
    const bool direct = alpha || IsEqualGUID(given, GUID_WICPixelFormat24bppBGR);
    UniqueCom<IWICFormatConverter> converter;
    if (FAILED(sys().WicCreateConverter(factory.get(), converter.out())) ||
        FAILED(sys().WicInitializeConverter(converter.get(), frame.get(),
                                            direct && !alpha ? GUID_WICPixelFormat24bppBGR
                                                             : GUID_WICPixelFormat32bppBGRA)))
        return nullptr;

    BITMAPINFO info{};
    // Bottom-up, as the BMP reader makes them.
    info.bmiHeader = RowsHeader(static_cast<LONG>(width), static_cast<LONG>(height), static_cast<WORD>(bitCount));
    void* bits = nullptr;
    UniqueBitmap section{sys().CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0)};
    if (!section || !bits) return nullptr;
    BITMAP bm;
    if (sys().GetObjectA(section.get(), sizeof bm, &bm) != static_cast<int>(sizeof bm) ||
        static_cast<uint64_t>(bm.bmWidthBytes) != stride || bm.bmHeight != static_cast<LONG>(height))
        return nullptr;
    auto* rows = static_cast<uint8_t*>(bits);
    if (direct) {
        // The codecs give the top row first; the section keeps it last.
        const UINT bytes = static_cast<UINT>(stride * height);
        if (FAILED(sys().WicCopyPixels(converter.get(), nullptr, static_cast<UINT>(stride), bytes, rows)))
            return nullptr;
        FlipRows(rows, static_cast<uint32_t>(stride), height);
    } else if (!CopyPacked(converter.get(), width, height, rows, static_cast<uint32_t>(stride))) {
        return nullptr;
    }
    return section.release();
}

// A picture's rows as the encoder takes them: top row first, in one of the
// formats below, with the colours of a palette picture.
struct EncoderRows {
    const GUID* format = nullptr;
    uint32_t bitCount = 0;
    uint32_t stride = 0;
    uint32_t colourCount = 0;
    WICColor colours[256] = {};
    LockedGlobal rows;
};

bool TakeRows(HBITMAP picture, PictureFormat container, EncoderRows* out) {
    BITMAP bm;
    if (!ReadBitmapRecord(picture, &bm) || bm.bmWidth < 1 || bm.bmHeight < 1) return false;
    const uint32_t depth = static_cast<uint32_t>(bm.bmPlanes) * bm.bmBitsPixel;
    const bool png = container == PictureFormat::Png;
    if (png && (depth == 1 || depth == 4 || depth == 8)) {
        out->bitCount = 8;
        out->format = &GUID_WICPixelFormat8bppIndexed;
    } else if (png && depth == 32) {
        out->bitCount = 32;
        out->format = &GUID_WICPixelFormat32bppBGRA;  // 24-bit below when it carries no alpha
    } else {
        out->bitCount = 24;
        out->format = &GUID_WICPixelFormat24bppBGR;
    }
    const uint64_t stride = DibStrideBytes(static_cast<uint64_t>(bm.bmWidth), out->bitCount);
    const uint64_t bytes = stride * static_cast<uint64_t>(bm.bmHeight);
    if (bytes > kBmpMaxImageBytes) return false;
    out->stride = static_cast<uint32_t>(stride);

    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } info{};
    // Top row first, asked for explicitly: a top-down section reports a positive height.
    info.header = RowsHeader(bm.bmWidth, -bm.bmHeight, static_cast<WORD>(out->bitCount));
    UniqueDc dc{sys().CreateCompatibleDC(nullptr)};
    if (!dc || !out->rows.Allocate(kScratchMemory, static_cast<size_t>(bytes))) return false;
    if (depth == 1 || depth == 4) {
        // At their own depth, with their own colours: asked for at 8 bits,
        // the platform maps them onto a palette of its choosing. Widened here.
        info.header.biBitCount = static_cast<WORD>(depth);
        const uint64_t packedStride = DibStrideBytes(static_cast<uint64_t>(bm.bmWidth), depth);
        LockedGlobal packed;
        if (!packed.Allocate(kScratchMemory, static_cast<size_t>(packedStride * bm.bmHeight)) ||
            sys().GetDIBits(dc.get(), picture, 0, static_cast<UINT>(bm.bmHeight), packed.get(),
                            reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS) != bm.bmHeight)
            return false;
        for (LONG y = 0; y < bm.bmHeight; ++y)
            WidenIndices(packed.bytes() + y * packedStride, depth, out->rows.bytes() + y * stride,
                         static_cast<size_t>(bm.bmWidth));
    } else if (sys().GetDIBits(dc.get(), picture, 0, static_cast<UINT>(bm.bmHeight), out->rows.get(),
                               reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS) != bm.bmHeight) {
        return false;
    }

    if (out->bitCount == 32 && !HasAlpha(out->rows.bytes(), stride, bm.bmHeight, bm.bmWidth)) {
        // Opaque after all: the same pixels, packed to three bytes.
        const uint64_t packedStride = DibStrideBytes(static_cast<uint64_t>(bm.bmWidth), 24);
        for (LONG y = 0; y < bm.bmHeight; ++y)
            PackToThreeBytes(out->rows.bytes() + y * stride, out->rows.bytes() + y * packedStride,
                             static_cast<size_t>(bm.bmWidth));
        out->bitCount = 24;
        out->format = &GUID_WICPixelFormat24bppBGR;
        out->stride = static_cast<uint32_t>(packedStride);
    }
    if (out->bitCount == 8) {
        // A widened 1- or 4-bit picture has only its own few colours.
        out->colourCount = depth == 8 ? 256 : 1u << depth;
        for (uint32_t i = 0; i < out->colourCount; ++i) {
            const RGBQUAD& c = info.colours[i];
            out->colours[i] = 0xFF000000u | (c.rgbRed << 16) | (c.rgbGreen << 8) | c.rgbBlue;
        }
    }
    return true;
}

// Encodes `rows` into the file `path`; COM is up. *opened tells whether the
// file was created, so that a failure can take it away again.
bool Encode(const WidePath& path, PictureFormat container, const BITMAP& bm, EncoderRows& rows, bool* opened) {
    UniqueCom<IWICImagingFactory> factory;
    if (!MakeFactory(factory)) return false;
    UniqueCom<IWICStream> stream;
    if (FAILED(sys().WicCreateStream(factory.get(), stream.out()))) return false;
    if (FAILED(sys().WicOpenStream(stream.get(), path, GENERIC_WRITE))) return false;
    *opened = true;
    UniqueCom<IWICBitmapEncoder> encoder;
    const GUID& kind = container == PictureFormat::Png ? GUID_ContainerFormatPng : GUID_ContainerFormatJpeg;
    if (FAILED(sys().WicCreateEncoder(factory.get(), kind, encoder.out())) ||
        FAILED(sys().WicInitializeEncoder(encoder.get(), stream.get())))
        return false;
    UniqueCom<IWICBitmapFrameEncode> frame;
    UniqueCom<IPropertyBag2> options;
    if (FAILED(sys().WicCreateFrame(encoder.get(), frame.out(), options.out()))) return false;
    if (container == PictureFormat::Jpeg && FAILED(sys().WicSetQuality(options.get(), 0.9f))) return false;
    if (FAILED(sys().WicInitializeFrame(frame.get(), options.get())) ||
        FAILED(sys().WicSetFrameSize(frame.get(), static_cast<UINT>(bm.bmWidth), static_cast<UINT>(bm.bmHeight))))
        return false;
    // The encoder answers with the format it will take; ours must be it.
    WICPixelFormatGUID format = *rows.format;
    if (FAILED(sys().WicSetFrameFormat(frame.get(), &format)) || !IsEqualGUID(format, *rows.format)) return false;
    if (rows.colourCount) {
        UniqueCom<IWICPalette> palette;
        if (FAILED(sys().WicCreatePalette(factory.get(), palette.out())) ||
            FAILED(sys().WicInitializePalette(palette.get(), rows.colours, rows.colourCount)) ||
            FAILED(sys().WicSetFramePalette(frame.get(), palette.get())))
            return false;
    }
    const UINT bytes = rows.stride * static_cast<UINT>(bm.bmHeight);
    if (FAILED(sys().WicWritePixels(frame.get(), static_cast<UINT>(bm.bmHeight), rows.stride, bytes,
                                    rows.rows.bytes())) ||
        FAILED(sys().WicCommitFrame(frame.get())) || FAILED(sys().WicCommitEncoder(encoder.get())))
        return false;
    return true;
}

}  // namespace

bool ReadCodecPicture(const char* path, HBITMAP* bitmap) {
    *bitmap = nullptr;
    WidePath wide;
    if (!Widen(path, wide)) return false;
    ComApartment com;
    if (!com) return false;
    *bitmap = Decode(wide);
    return *bitmap != nullptr;
}

bool WriteCodecPicture(const char* path, HBITMAP picture, PictureFormat format) {
    if (format != PictureFormat::Png && format != PictureFormat::Jpeg) return false;
    WidePath wide;
    if (!Widen(path, wide)) return false;
    BITMAP bm;
    if (!ReadBitmapRecord(picture, &bm)) return false;
    EncoderRows rows;
    if (!TakeRows(picture, format, &rows)) return false;
    bool opened = false, written = false;
    {
        ComApartment com;
        if (com) written = Encode(wide, format, bm, rows, &opened);
    }
    // Every codec object is gone, so the file is closed: a half-written
    // picture must not stay under the name.
    if (!written && opened) sys().DeleteFileA(path);
    return written;
}
