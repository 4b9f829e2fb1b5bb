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
    case BmpStatus::Unreadable: return "Unreadable";
    case BmpStatus::NoResources: return "NoResources";
    }
    return "?";
}

namespace {

// What the headers say, gathered stage by stage.
struct BmpHeaders {
    size_t headBytes;
    uint32_t fileSize, bfSize, bfOffBits, headerSize;
    bool core;
    int64_t width, height;  // height made positive
    bool topDown;
    uint16_t bitCount;
    uint32_t compression = kBiRgb, sizeImage = 0, xDensity = 0, yDensity = 0, clrUsed = 0;
    BmpEncoding encoding = BmpEncoding::Rows;
    uint32_t tableStart;  // masks or colours start here
    uint32_t masks[3] = {};
    uint32_t entryBytes;  // of one colour
    uint32_t paletteCount = 0;
};

struct BmpSizes {
    uint16_t sectionBits;
    uint32_t fileStrideBytes, strideBytes, imageBytes, dataBytes;
};

// The file header and the info header: the picture's shape and depth.
BmpStatus ReadHeaders(const uint8_t* head, size_t headBytes, uint64_t fileBytes, BmpHeaders* b) {
    if (headBytes > fileBytes) headBytes = static_cast<size_t>(fileBytes);
    b->headBytes = headBytes;
    if (headBytes < kBmpFileHeaderSize + 4 || head[0] != 'B' || head[1] != 'M') return BmpStatus::NotBmp;
    // Files beyond 4 GiB cannot be described by the header's 32-bit fields.
    if (fileBytes > UINT32_MAX) return BmpStatus::TooLarge;
    b->fileSize = static_cast<uint32_t>(fileBytes);
    b->bfSize = Le32(head + 2);
    b->bfOffBits = Le32(head + 10);
    b->headerSize = Le32(head + 14);
    const uint8_t* h = head + kBmpFileHeaderSize;

    b->core = b->headerSize == kCoreHeaderSize;
    if (!b->core && !KnownInfoSize(b->headerSize)) return BmpStatus::BadHeaderSize;
    if (kBmpFileHeaderSize + b->headerSize > headBytes) return BmpStatus::Truncated;

    uint16_t planes;
    if (b->core) {
        b->width = Le16(h + 4);
        b->height = Le16(h + 6);
        planes = Le16(h + 8);
        b->bitCount = Le16(h + 10);
    } else {
        b->width = static_cast<int32_t>(Le32(h + 4));
        b->height = static_cast<int32_t>(Le32(h + 8));
        planes = Le16(h + 12);
        b->bitCount = Le16(h + 14);
        b->compression = Le32(h + 16);
        b->sizeImage = Le32(h + 20);
        b->xDensity = Le32(h + 24);
        b->yDensity = Le32(h + 28);
        b->clrUsed = Le32(h + 32);
    }

    if (planes != 1) return BmpStatus::BadPlanes;
    switch (b->bitCount) {
    case 1: case 4: case 8: case 24: break;
    case 16: case 32: if (!b->core) break; [[fallthrough]];
    default: return BmpStatus::BadBitCount;
    }
    b->topDown = b->height < 0;
    if (b->topDown) b->height = -b->height;
    if (b->width <= 0 || b->height <= 0 || b->width > kBmpMaxDimension || b->height > kBmpMaxDimension)
        return BmpStatus::BadDimensions;
    if (b->xDensity > kMaxDensity || b->yDensity > kMaxDensity) return BmpStatus::BadDensity;
    return BmpStatus::Ok;
}

BmpStatus ReadEncoding(BmpHeaders* b) {
    switch (b->compression) {
    case kBiRgb: break;
    case kBiRle8:
        if (b->bitCount != 8) return BmpStatus::BadCompression;
        b->encoding = BmpEncoding::Rle8;
        break;
    case kBiRle4:
        if (b->bitCount != 4) return BmpStatus::BadCompression;
        b->encoding = BmpEncoding::Rle4;
        break;
    case kBiBitfields:
        if (b->bitCount != 16 && b->bitCount != 32) return BmpStatus::BadCompression;
        break;
    default: return BmpStatus::BadCompression;
    }
    // RLE codes run bottom-up by definition; a top-down RLE file has no meaning.
    if (b->topDown && b->encoding != BmpEncoding::Rows) return BmpStatus::BadCompression;
    return BmpStatus::Ok;
}

// Masks follow a 40-byte header, and are part of the longer ones.
BmpStatus ReadMasks(const uint8_t* head, BmpHeaders* b) {
    b->tableStart = kBmpFileHeaderSize + b->headerSize;
    if (b->compression != kBiBitfields) return BmpStatus::Ok;
    const uint32_t at = kBmpFileHeaderSize + kBmpInfoHeaderSize;
    if (b->headerSize == kBmpInfoHeaderSize) b->tableStart += 12;
    if (b->tableStart > b->headBytes) return BmpStatus::Truncated;
    uint32_t* masks = b->masks;
    for (int i = 0; i < 3; ++i) masks[i] = Le32(head + at + 4 * i);
    for (int i = 0; i < 3; ++i) {
        if (!GoodMask(masks[i], b->bitCount)) return BmpStatus::BadMasks;
        if (masks[i] & masks[(i + 1) % 3]) return BmpStatus::BadMasks;
    }
    if (!PlatformDrawsMask(masks[0]) || !PlatformDrawsMask(masks[1]) || !PlatformDrawsMask(masks[2]))
        b->encoding = BmpEncoding::MaskedRows;
    return BmpStatus::Ok;
}

// The colour table, and where the pixels start.
BmpStatus ReadPalette(BmpHeaders* b) {
    b->entryBytes = b->core ? 3 : 4;
    if (b->bitCount <= 8) {
        const uint32_t full = 1u << b->bitCount;
        if (b->core) {
            // The core header has no colour count: the palette runs up to the pixels.
            if (b->bfOffBits < b->tableStart) return BmpStatus::BadOffset;
            b->paletteCount = (b->bfOffBits - b->tableStart) / b->entryBytes;
            if (b->paletteCount > full) b->paletteCount = full;
        } else {
            if (b->clrUsed > full) return BmpStatus::BadPalette;
            b->paletteCount = b->clrUsed ? b->clrUsed : full;
        }
        if (b->paletteCount == 0) return BmpStatus::BadPalette;
    }
    const uint32_t tableEnd = b->tableStart + b->entryBytes * b->paletteCount;  // small: no overflow
    if (tableEnd > b->headBytes) return BmpStatus::Truncated;
    if (b->bfOffBits < tableEnd) return BmpStatus::BadOffset;
    if (b->bfOffBits > b->fileSize) return BmpStatus::Truncated;
    if (b->bfSize > b->fileSize) return BmpStatus::BadSize;
    return BmpStatus::Ok;
}

// The section's memory and the bytes to read for it.
BmpStatus ComputeSizes(const BmpHeaders& b, BmpSizes* z) {
    // Width and height are capped, so 64-bit arithmetic cannot overflow.
    const bool converted = b.encoding == BmpEncoding::MaskedRows;
    z->sectionBits = converted ? 32 : b.bitCount;
    const uint64_t fileStride = DibStrideBytes(static_cast<uint64_t>(b.width), b.bitCount);
    const uint64_t stride = DibStrideBytes(static_cast<uint64_t>(b.width), z->sectionBits);
    const uint64_t image = stride * static_cast<uint64_t>(b.height);
    const uint64_t fileImage = fileStride * static_cast<uint64_t>(b.height);
    if (image > kBmpMaxImageBytes || fileImage > kBmpMaxImageBytes) return BmpStatus::TooLarge;
    z->fileStrideBytes = static_cast<uint32_t>(fileStride);
    z->strideBytes = static_cast<uint32_t>(stride);
    z->imageBytes = static_cast<uint32_t>(image);

    const uint32_t available = b.fileSize - b.bfOffBits;
    if (b.sizeImage > available) return BmpStatus::BadSize;
    if (b.encoding == BmpEncoding::Rows || converted) {
        z->dataBytes = static_cast<uint32_t>(fileImage);
        if (z->dataBytes > available) return BmpStatus::Truncated;
    } else {
        z->dataBytes = b.sizeImage ? b.sizeImage : available;
        // Allocate no more than the code can fill.
        uint32_t limit;
        if (!CheckedMul(z->dataBytes, kBmpMaxRleExpansion, &limit)) limit = UINT32_MAX;
        if (z->imageBytes > limit) return BmpStatus::TooLarge;
    }
    return BmpStatus::Ok;
}

// The section's header, masks and colours, and how to read the pixels.
void FillPlan(const uint8_t* head, const BmpHeaders& b, const BmpSizes& z, BmpPlan* plan) {
    const bool converted = b.encoding == BmpEncoding::MaskedRows;
    const bool bitfields = b.compression == kBiBitfields;
    std::memset(plan, 0, sizeof *plan);
    uint8_t* info = plan->info;
    Put32(info + 0, kBmpInfoHeaderSize);
    Put32(info + 4, static_cast<uint32_t>(b.width));
    Put32(info + 8, static_cast<uint32_t>(b.height));  // the section is bottom-up
    Put16(info + 12, 1);
    Put16(info + 14, z.sectionBits);
    Put32(info + 16, bitfields && !converted ? kBiBitfields : kBiRgb);
    Put32(info + 20, z.imageBytes);
    Put32(info + 24, b.xDensity);
    Put32(info + 28, b.yDensity);
    Put32(info + 32, b.paletteCount);
    Put32(info + 36, 0);
    plan->infoBytes = kBmpInfoHeaderSize;
    if (bitfields && !converted) {
        for (int i = 0; i < 3; ++i) Put32(info + kBmpInfoHeaderSize + 4 * i, b.masks[i]);
        plan->infoBytes += 12;
    }
    for (uint32_t i = 0; i < b.paletteCount; ++i) {
        const uint8_t* e = head + b.tableStart + b.entryBytes * i;
        uint8_t* q = info + kBmpInfoHeaderSize + 4 * i;
        q[0] = e[0];  // blue
        q[1] = e[1];  // green
        q[2] = e[2];  // red
        q[3] = 0;
    }
    plan->infoBytes += 4 * b.paletteCount;

    plan->widthPx = static_cast<int32_t>(b.width);
    plan->heightPx = static_cast<int32_t>(b.height);
    plan->bitCount = z.sectionBits;
    plan->fileBitCount = b.bitCount;
    plan->fileStrideBytes = z.fileStrideBytes;
    for (int i = 0; i < 3; ++i) plan->masks[i] = b.masks[i];
    plan->paletteCount = b.paletteCount;
    plan->strideBytes = z.strideBytes;
    plan->imageBytes = z.imageBytes;
    plan->encoding = b.encoding;
    plan->topDown = b.topDown;
    plan->checkIndices = b.bitCount <= 8 && b.paletteCount < (1u << b.bitCount);
    plan->dataOffset = b.bfOffBits;
    plan->dataBytes = z.dataBytes;
}

}  // namespace

BmpStatus PlanBmp(const uint8_t* head, size_t headBytes, uint64_t fileBytes, BmpPlan* plan) {
    BmpHeaders headers;
    BmpSizes sizes;
    BmpStatus status = ReadHeaders(head, headBytes, fileBytes, &headers);
    if (status == BmpStatus::Ok) status = ReadEncoding(&headers);
    if (status == BmpStatus::Ok) status = ReadMasks(head, &headers);
    if (status == BmpStatus::Ok) status = ReadPalette(&headers);
    if (status == BmpStatus::Ok) status = ComputeSizes(headers, &sizes);
    if (status == BmpStatus::Ok) FillPlan(head, headers, sizes, plan);
    return status;
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
