#pragma once
// BMP files without the platform: header parsing and validation, and RLE
// decoding. The result is a plan that the Win32 reader carries out: the
// description to make the DIB section from, where the pixel data lies in the
// file, and how its rows go into the section. Everything here treats the
// file as untrusted: every size is checked, every read stays in its buffer.
#include <cstddef>
#include <cstdint>

[[nodiscard]] bool CheckedMul(uint32_t a, uint32_t b, uint32_t* out);
[[nodiscard]] bool CheckedAdd(uint32_t a, uint32_t b, uint32_t* out);

constexpr uint32_t kBmpFileHeaderSize = 14;
constexpr uint32_t kBmpInfoHeaderSize = 40;
constexpr int32_t kBmpMaxDimension = 32768;          // px, either side
constexpr uint32_t kBmpMaxImageBytes = 256u << 20;   // pixel memory of one bitmap
// An RLE file may describe at most this many pixel bytes per byte of data;
// real encoders stay below 128 (a run of 255 pixels in 2 bytes).
constexpr uint32_t kBmpMaxRleExpansion = 256;

// Bytes of one row of a device-independent bitmap: padded to 4 bytes.
constexpr uint64_t DibStrideBytes(uint64_t widthPx, uint32_t bitsPerPixel) {
    return (widthPx * bitsPerPixel + 31) / 32 * 4;
}
// The first bytes of a file that hold everything the parser reads: file
// header, the largest info header, masks and a full 256-entry palette.
constexpr uint32_t kBmpMaxHeadBytes = 14 + 124 + 16 + 4 * 256;

enum class BmpStatus : uint8_t {
    Ok,
    NotBmp,          // no "BM" signature, or too short for a file header
    BadHeaderSize,   // info header of an unknown size
    BadPlanes,
    BadBitCount,
    BadCompression,  // unknown, or not allowed at this bit count or row order
    BadDimensions,   // width or height zero, negative or above the cap
    BadDensity,      // resolution fields beyond any real device
    TooLarge,        // pixel memory above the cap, or more than the data can fill
    BadPalette,      // more colours than the bit count allows, or none
    BadMasks,        // bit-field masks empty, overlapping, split or too wide
    BadOffset,       // pixel data overlaps the headers or starts past the end
    BadSize,         // a size field claims more than the file holds
    Truncated,       // the file ends inside a header, the palette or the pixels
    BadRle,          // RLE data that leaves the bitmap or is cut inside a code
    BadIndex,        // a pixel names a colour past the end of a short palette
    // Reasons of the reader alone, from the platform rather than the file:
    Unreadable,      // the file could not be opened, sized or read in full
    NoResources,     // no memory, or no section of the planned layout
};

const char* BmpStatusName(BmpStatus status);

enum class BmpEncoding : uint8_t {
    Rows,        // file rows are the section's rows
    Rle8,
    Rle4,
    MaskedRows,  // bit fields the platform draws wrongly: converted to 8-8-8
};

struct BmpPlan {
    // The DIB section's description as a packed BITMAPINFO: a 40-byte
    // BITMAPINFOHEADER (always bottom-up, BI_RGB or BI_BITFIELDS), then the
    // three masks or the colour table. infoBytes of it are used.
    uint8_t info[kBmpInfoHeaderSize + 4 * 256];
    uint32_t infoBytes;

    int32_t widthPx;
    int32_t heightPx;        // positive
    uint16_t bitCount;
    uint32_t paletteCount;   // colour table entries, 0 above 8 bits
    uint32_t strideBytes;    // one row, padded to 4 bytes
    uint32_t imageBytes;     // strideBytes * heightPx: the section's pixel memory

    BmpEncoding encoding;
    bool topDown;            // file rows run top row first: flip after reading
    bool checkIndices;       // short palette: every pixel index must be in it
    uint32_t dataOffset;     // file offset of the pixel data
    uint32_t dataBytes;      // bytes to read there (rows: imageBytes; RLE: the code)

    // MaskedRows: the file's own layout, converted into a 32-bit section.
    uint16_t fileBitCount;   // 16 or 32
    uint32_t fileStrideBytes;
    uint32_t masks[3];       // red, green, blue
};

// `head` holds the first min(fileBytes, kBmpMaxHeadBytes) bytes of a file of
// fileBytes bytes. Fills `plan` on Ok; nothing else is read.
[[nodiscard]] BmpStatus PlanBmp(const uint8_t* head, size_t headBytes, uint64_t fileBytes,
                                BmpPlan* plan);

// Decodes RLE8 or RLE4 `code` into `rows` (imageBytes, bottom row first),
// which the caller has zeroed: pixels the code skips keep colour 0.
[[nodiscard]] BmpStatus DecodeRle(const BmpPlan& plan, const uint8_t* code, size_t codeBytes,
                                  uint8_t* rows);

// MaskedRows: converts dataBytes of file rows into `rows` (imageBytes,
// 8-8-8 with a zero fourth byte, bottom row first), scaling each channel to
// 8 bits with rounding.
void ConvertMaskedRows(const BmpPlan& plan, const uint8_t* fileRows, uint8_t* rows);

// For a short palette: every pixel of `rows` names one of its colours.
[[nodiscard]] BmpStatus CheckIndices(const BmpPlan& plan, const uint8_t* rows);

// Reverses the order of `heightPx` rows of `strideBytes` in place.
void FlipRows(uint8_t* rows, uint32_t strideBytes, uint32_t heightPx);
