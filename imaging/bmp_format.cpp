#include "imaging/bmp_format.h"

#include <cstring>

namespace {

constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3;
constexpr uint32_t kCoreHeaderSize = 12;
// 10,000,000 px/m is 254,000 dpi: no device comes near it.
constexpr uint32_t kMaxDensity = 10000000;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool KnownInfoSize(uint32_t size) {
    // BITMAPINFOHEADER, its V2 and V3 extensions with masks, V4 and V5.
    return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

// A mask must be one run of set bits inside the pixel.
bool GoodMask(uint32_t mask, uint16_t bitCount) {
    if (mask == 0) return false;
    if (bitCount < 32 && (mask >> bitCount) != 0) return false;
    uint32_t low = mask & (~mask + 1);  // lowest set bit
    uint32_t run = mask + low;          // carries through the run; 0 when it reaches bit 31
    return (run & mask) == 0;
}

// The platform draws bit-field channels of 5 to 8 bits exactly; narrower or
// wider ones come out in wrong colours, so those files are converted.
bool PlatformDrawsMask(uint32_t mask) {
    const int width = __builtin_popcount(mask);
    return width >= 5 && width <= 8;
}

}  // namespace

bool CheckedMul(uint32_t a, uint32_t b, uint32_t* out) {
    uint64_t r = static_cast<uint64_t>(a) * b;
    if (r > UINT32_MAX) return false;
    *out = static_cast<uint32_t>(r);
    return true;
}

bool CheckedAdd(uint32_t a, uint32_t b, uint32_t* out) {
    uint32_t r = a + b;
    if (r < a) return false;
    *out = r;
    return true;
}

const char* BmpStatusName(BmpStatus status) {
    switch (status) {
    case BmpStatus::Ok: return "Ok";
    case BmpStatus::NotBmp: return "NotBmp";
    case BmpStatus::BadHeaderSize: return "BadHeaderSize";
    case BmpStatus::BadPlanes: return "BadPlanes";
    case BmpStatus::BadBitCount: return "BadBitCount";
    case BmpStatus::BadCompression: return "BadCompression";
    case BmpStatus::BadDimensions: return "BadDimensions";
    case BmpStatus::BadDensity: return "BadDensity";
    case BmpStatus::TooLarge: return "TooLarge";
    case BmpStatus::BadPalette: return "BadPalette";
    case BmpStatus::BadMasks: return "BadMasks";
    case BmpStatus::BadOffset: return "BadOffset";
    case BmpStatus::BadSize: return "BadSize";
    case BmpStatus::Truncated: return "Truncated";
    case BmpStatus::BadRle: return "BadRle";
    case BmpStatus::BadIndex: return "BadIndex";
    }
    return "?";
}

BmpStatus PlanBmp(const uint8_t* head, size_t headBytes, uint64_t fileBytes, BmpPlan* plan) {
    if (headBytes > fileBytes) headBytes = static_cast<size_t>(fileBytes);
    if (headBytes < kBmpFileHeaderSize + 4 || head[0] != 'B' || head[1] != 'M')
        return BmpStatus::NotBmp;
    // Files beyond 4 GiB cannot be described by the header's 32-bit fields.
    if (fileBytes > UINT32_MAX) return BmpStatus::TooLarge;
    const uint32_t fileSize = static_cast<uint32_t>(fileBytes);
    const uint32_t bfSize = Le32(head + 2);
    const uint32_t bfOffBits = Le32(head + 10);
    const uint32_t headerSize = Le32(head + 14);
    const uint8_t* h = head + kBmpFileHeaderSize;

    const bool core = headerSize == kCoreHeaderSize;
    if (!core && !KnownInfoSize(headerSize)) return BmpStatus::BadHeaderSize;
    if (kBmpFileHeaderSize + headerSize > headBytes) return BmpStatus::Truncated;

    int64_t width, height;
    uint16_t planes, bitCount;
    uint32_t compression = kBiRgb, sizeImage = 0, xDensity = 0, yDensity = 0, clrUsed = 0;
    if (core) {
        width = Le16(h + 4);
        height = Le16(h + 6);
        planes = Le16(h + 8);
        bitCount = Le16(h + 10);
    } else {
        width = static_cast<int32_t>(Le32(h + 4));
        height = static_cast<int32_t>(Le32(h + 8));
        planes = Le16(h + 12);
        bitCount = Le16(h + 14);
        compression = Le32(h + 16);
        sizeImage = Le32(h + 20);
        xDensity = Le32(h + 24);
        yDensity = Le32(h + 28);
        clrUsed = Le32(h + 32);
    }

    if (planes != 1) return BmpStatus::BadPlanes;
    switch (bitCount) {
    case 1: case 4: case 8: case 24: break;
    case 16: case 32: if (!core) break; [[fallthrough]];
    default: return BmpStatus::BadBitCount;
    }
    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (width <= 0 || height <= 0 || width > kBmpMaxDimension || height > kBmpMaxDimension)
        return BmpStatus::BadDimensions;
    if (xDensity > kMaxDensity || yDensity > kMaxDensity) return BmpStatus::BadDensity;

    BmpEncoding encoding = BmpEncoding::Rows;
    switch (compression) {
    case kBiRgb: break;
    case kBiRle8:
        if (bitCount != 8) return BmpStatus::BadCompression;
        encoding = BmpEncoding::Rle8;
        break;
    case kBiRle4:
        if (bitCount != 4) return BmpStatus::BadCompression;
        encoding = BmpEncoding::Rle4;
        break;
    case kBiBitfields:
        if (bitCount != 16 && bitCount != 32) return BmpStatus::BadCompression;
        break;
    default: return BmpStatus::BadCompression;
    }
    // RLE codes run bottom-up by definition; a top-down RLE file has no meaning.
    if (topDown && encoding != BmpEncoding::Rows) return BmpStatus::BadCompression;

    // Masks follow a 40-byte header, and are part of the longer ones.
    uint32_t tableStart = kBmpFileHeaderSize + headerSize;
    uint32_t masks[3] = {};
    if (compression == kBiBitfields) {
        uint32_t at = kBmpFileHeaderSize + kBmpInfoHeaderSize;
        if (headerSize == kBmpInfoHeaderSize) tableStart += 12;
        if (tableStart > headBytes) return BmpStatus::Truncated;
        for (int i = 0; i < 3; ++i) masks[i] = Le32(head + at + 4 * i);
        for (int i = 0; i < 3; ++i) {
            if (!GoodMask(masks[i], bitCount)) return BmpStatus::BadMasks;
            if (masks[i] & masks[(i + 1) % 3]) return BmpStatus::BadMasks;
        }
        if (!PlatformDrawsMask(masks[0]) || !PlatformDrawsMask(masks[1]) || !PlatformDrawsMask(masks[2]))
            encoding = BmpEncoding::MaskedRows;
    }

    uint32_t paletteCount = 0;
    const uint32_t entryBytes = core ? 3 : 4;
    if (bitCount <= 8) {
        const uint32_t full = 1u << bitCount;
        if (core) {
            // The core header has no colour count: the palette runs up to the pixels.
            if (bfOffBits < tableStart) return BmpStatus::BadOffset;
            paletteCount = (bfOffBits - tableStart) / entryBytes;
            if (paletteCount > full) paletteCount = full;
        } else {
            if (clrUsed > full) return BmpStatus::BadPalette;
            paletteCount = clrUsed ? clrUsed : full;
        }
        if (paletteCount == 0) return BmpStatus::BadPalette;
    }
    const uint32_t tableEnd = tableStart + entryBytes * paletteCount;  // small: no overflow
    if (tableEnd > headBytes) return BmpStatus::Truncated;
    if (bfOffBits < tableEnd) return BmpStatus::BadOffset;
    if (bfOffBits > fileSize) return BmpStatus::Truncated;
    if (bfSize > fileSize) return BmpStatus::BadSize;

    // Sizes: width and height are capped, so 64-bit arithmetic cannot overflow.
    const bool converted = encoding == BmpEncoding::MaskedRows;
    const uint16_t sectionBits = converted ? 32 : bitCount;
    const uint64_t fileStride = ((static_cast<uint64_t>(width) * bitCount + 31) / 32) * 4;
    const uint64_t stride = ((static_cast<uint64_t>(width) * sectionBits + 31) / 32) * 4;
    const uint64_t image = stride * static_cast<uint64_t>(height);
    const uint64_t fileImage = fileStride * static_cast<uint64_t>(height);
    if (image > kBmpMaxImageBytes || fileImage > kBmpMaxImageBytes) return BmpStatus::TooLarge;
    const uint32_t strideBytes = static_cast<uint32_t>(stride);
    const uint32_t imageBytes = static_cast<uint32_t>(image);

    const uint32_t available = fileSize - bfOffBits;
    if (sizeImage > available) return BmpStatus::BadSize;
    uint32_t dataBytes;
    if (encoding == BmpEncoding::Rows || converted) {
        dataBytes = static_cast<uint32_t>(fileImage);
        if (dataBytes > available) return BmpStatus::Truncated;
    } else {
        dataBytes = sizeImage ? sizeImage : available;
        // Allocate no more than the code can fill.
        uint32_t limit;
        if (!CheckedMul(dataBytes, kBmpMaxRleExpansion, &limit)) limit = UINT32_MAX;
        if (imageBytes > limit) return BmpStatus::TooLarge;
    }

    std::memset(plan, 0, sizeof *plan);
    uint8_t* info = plan->info;
    const bool bitfields = compression == kBiBitfields;
    Put32(info + 0, kBmpInfoHeaderSize);
    Put32(info + 4, static_cast<uint32_t>(width));
    Put32(info + 8, static_cast<uint32_t>(height));  // the section is bottom-up
    Put16(info + 12, 1);
    Put16(info + 14, sectionBits);
    Put32(info + 16, bitfields && !converted ? kBiBitfields : kBiRgb);
    Put32(info + 20, imageBytes);
    Put32(info + 24, xDensity);
    Put32(info + 28, yDensity);
    Put32(info + 32, paletteCount);
    Put32(info + 36, 0);
    plan->infoBytes = kBmpInfoHeaderSize;
    if (bitfields && !converted) {
        for (int i = 0; i < 3; ++i) Put32(info + kBmpInfoHeaderSize + 4 * i, masks[i]);
        plan->infoBytes += 12;
    }
    for (uint32_t i = 0; i < paletteCount; ++i) {
        const uint8_t* e = head + tableStart + entryBytes * i;
        uint8_t* q = info + kBmpInfoHeaderSize + 4 * i;
        q[0] = e[0];  // blue
        q[1] = e[1];  // green
        q[2] = e[2];  // red
        q[3] = 0;
    }
    plan->infoBytes += 4 * paletteCount;

    plan->widthPx = static_cast<int32_t>(width);
    plan->heightPx = static_cast<int32_t>(height);
    plan->bitCount = sectionBits;
    plan->fileBitCount = bitCount;
    plan->fileStrideBytes = static_cast<uint32_t>(fileStride);
    for (int i = 0; i < 3; ++i) plan->masks[i] = masks[i];
    plan->paletteCount = paletteCount;
    plan->strideBytes = strideBytes;
    plan->imageBytes = imageBytes;
    plan->encoding = encoding;
    plan->topDown = topDown;
    plan->checkIndices = bitCount <= 8 && paletteCount < (1u << bitCount);
    plan->dataOffset = bfOffBits;
    plan->dataBytes = dataBytes;
    return BmpStatus::Ok;
}

namespace {

// Writes RLE pixels into a bottom-up buffer, refusing any that fall outside it.
class RlePainter {
public:
    RlePainter(const BmpPlan& plan, uint8_t* rows)
        : rows_(rows), stride_(plan.strideBytes), width_(static_cast<uint32_t>(plan.widthPx)),
          height_(static_cast<uint32_t>(plan.heightPx)), four_(plan.encoding == BmpEncoding::Rle4),
          padded_(four_ ? plan.strideBytes * 2 : plan.strideBytes) {}

    // Room for n more pixels on the current row. Some encoders code the
    // row's padding as pixels too: those are allowed and dropped.
    bool Fits(uint32_t n) const { return y_ < height_ && x_ <= padded_ && n <= padded_ - x_; }

    void Put(uint8_t index) {
        if (x_ >= width_) {
            ++x_;
            return;
        }
        uint8_t* row = rows_ + static_cast<size_t>(y_) * stride_;
        if (four_) {
            uint8_t& b = row[x_ / 2];
            b = (x_ & 1) ? static_cast<uint8_t>((b & 0xF0) | (index & 0x0F))
                         : static_cast<uint8_t>((b & 0x0F) | (index << 4));
        } else {
            row[x_] = index;
        }
        ++x_;
    }

    void EndLine() {
        x_ = 0;
        ++y_;
    }

    bool Move(uint32_t dx, uint32_t dy) {
        if (x_ > padded_ || dx > padded_ - x_ || dy > height_ - y_) return false;
        x_ += dx;
        y_ += dy;
        return true;
    }

    bool AtEnd() const { return y_ >= height_; }

private:
    uint8_t* rows_;
    uint32_t stride_, width_, height_;
    bool four_;
    uint32_t padded_;  // pixels that fit in a row with its padding
    uint32_t x_ = 0, y_ = 0;
};

}  // namespace

BmpStatus DecodeRle(const BmpPlan& plan, const uint8_t* code, size_t codeBytes, uint8_t* rows) {
    const bool four = plan.encoding == BmpEncoding::Rle4;
    RlePainter paint(plan, rows);
    size_t at = 0;
    while (at + 2 <= codeBytes) {
        const uint8_t count = code[at], value = code[at + 1];
        at += 2;
        if (count > 0) {  // a run: one colour, or two alternating in RLE4
            if (!paint.Fits(count)) return BmpStatus::BadRle;
            for (uint32_t i = 0; i < count; ++i)
                paint.Put(four ? ((i & 1) ? value & 0x0F : value >> 4) : value);
            continue;
        }
        switch (value) {
        case 0:  // end of line
            if (paint.AtEnd()) return BmpStatus::BadRle;
            paint.EndLine();
            break;
        case 1:  // end of bitmap
            return BmpStatus::Ok;
        case 2:  // delta: move right and up
            if (at + 2 > codeBytes) return BmpStatus::BadRle;
            if (!paint.Move(code[at], code[at + 1])) return BmpStatus::BadRle;
            at += 2;
            break;
        default: {  // literal pixels, padded to a 16-bit boundary
            const uint32_t n = value;
            size_t bytes = four ? (n + 1) / 2 : n;
            bytes += bytes & 1;
            if (bytes > codeBytes - at || !paint.Fits(n)) return BmpStatus::BadRle;
            for (uint32_t i = 0; i < n; ++i)
                paint.Put(four ? ((i & 1) ? code[at + i / 2] & 0x0F : code[at + i / 2] >> 4)
                               : code[at + i]);
            at += bytes;
        }
        }
    }
    // The code ran out before its end mark: a cut file, unless every row
    // was reached.
    return paint.AtEnd() ? BmpStatus::Ok : BmpStatus::BadRle;
}

void ConvertMaskedRows(const BmpPlan& plan, const uint8_t* fileRows, uint8_t* rows) {
    struct Channel {
        uint32_t mask, shift, max;
    } channels[3];
    for (int i = 0; i < 3; ++i) {
        const uint32_t mask = plan.masks[i];
        channels[i].mask = mask;
        channels[i].shift = mask ? static_cast<uint32_t>(__builtin_ctz(mask)) : 0;
        channels[i].max = mask >> channels[i].shift;
    }
    const uint32_t width = static_cast<uint32_t>(plan.widthPx);
    const uint32_t height = static_cast<uint32_t>(plan.heightPx);
    const bool wide = plan.fileBitCount == 32;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* in = fileRows + static_cast<size_t>(y) * plan.fileStrideBytes;
        uint8_t* out = rows + static_cast<size_t>(plan.topDown ? height - 1 - y : y) * plan.strideBytes;
        for (uint32_t x = 0; x < width; ++x) {
            const uint32_t v = wide ? Le32(in + 4 * x) : Le16(in + 2 * x);
            for (int c = 0; c < 3; ++c) {
                const Channel& ch = channels[c];
                if (ch.max == 0) continue;
                const uint64_t level = (v & ch.mask) >> ch.shift;
                // Blue, green, red in memory order: red is channel 0.
                out[4 * x + 2 - c] = static_cast<uint8_t>((level * 255 + ch.max / 2) / ch.max);
            }
            out[4 * x + 3] = 0;
        }
    }
}

BmpStatus CheckIndices(const BmpPlan& plan, const uint8_t* rows) {
    if (!plan.checkIndices) return BmpStatus::Ok;
    const uint32_t width = static_cast<uint32_t>(plan.widthPx);
    const uint32_t limit = plan.paletteCount;
    for (uint32_t y = 0; y < static_cast<uint32_t>(plan.heightPx); ++y) {
        const uint8_t* row = rows + static_cast<size_t>(y) * plan.strideBytes;
        uint32_t bad = 0;
        switch (plan.bitCount) {
        case 8:
            for (uint32_t x = 0; x < width; ++x) bad |= row[x] >= limit;
            break;
        case 4:
            for (uint32_t x = 0; x < width; ++x)
                bad |= ((x & 1) ? row[x / 2] & 0x0F : row[x / 2] >> 4) >= limit;
            break;
        case 1:
            for (uint32_t x = 0; x < width; ++x) bad |= ((row[x / 8] >> (7 - x % 8)) & 1) >= limit;
            break;
        }
        if (bad) return BmpStatus::BadIndex;
    }
    return BmpStatus::Ok;
}

void FlipRows(uint8_t* rows, uint32_t strideBytes, uint32_t heightPx) {
    if (heightPx < 2) return;
    uint8_t* top = rows;
    uint8_t* bottom = rows + static_cast<size_t>(heightPx - 1) * strideBytes;
    uint8_t chunk[1024];
    for (; top < bottom; top += strideBytes, bottom -= strideBytes) {
        for (uint32_t done = 0; done < strideBytes;) {
            uint32_t n = strideBytes - done < sizeof chunk ? strideBytes - done : sizeof chunk;
            std::memcpy(chunk, top + done, n);
            std::memcpy(top + done, bottom + done, n);
            std::memcpy(bottom + done, chunk, n);
            done += n;
        }
    }
}
