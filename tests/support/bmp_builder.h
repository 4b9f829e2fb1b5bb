#pragma once
// Builds BMP files inline for the tests; every field can be set or broken.
#include <cstdint>
#include <optional>
#include <vector>

namespace bmptest {

struct BmpBuilder {
    uint32_t headerSize = 40;
    int32_t width = 4, height = 2;
    uint16_t planes = 1, bits = 8;
    uint32_t compression = 0;       // BI_RGB
    uint32_t sizeImage = 0;
    uint32_t xDensity = 2835, yDensity = 2835;
    uint32_t clrUsed = 0;
    std::vector<uint32_t> masks;    // after a 40-byte header, or inside a longer one
    std::vector<uint32_t> palette;  // 0x00RRGGBB each
    std::vector<uint8_t> pixels;    // as stored in the file
    uint32_t gap = 0;               // bytes between palette and pixels
    std::optional<uint32_t> bfSize, bfOffBits;
    char signature[2] = {'B', 'M'};

    std::vector<uint8_t> Build() const {
        std::vector<uint8_t> f;
        auto put16 = [&](uint32_t v) { f.push_back(uint8_t(v)); f.push_back(uint8_t(v >> 8)); };
        auto put32 = [&](uint32_t v) { put16(v & 0xFFFF); put16(v >> 16); };
        const bool core = headerSize == 12;
        const bool masksInHeader = headerSize >= 52;
        const uint32_t maskBytes = masksInHeader ? 0 : 4 * static_cast<uint32_t>(masks.size());
        const uint32_t paletteBytes = (core ? 3 : 4) * static_cast<uint32_t>(palette.size());
        const uint32_t off = 14 + headerSize + maskBytes + paletteBytes + gap;
        f.push_back(uint8_t(signature[0]));
        f.push_back(uint8_t(signature[1]));
        put32(bfSize.value_or(off + static_cast<uint32_t>(pixels.size())));
        put32(0);
        put32(bfOffBits.value_or(off));
        put32(headerSize);
        if (core) {
            put16(static_cast<uint32_t>(width));
            put16(static_cast<uint32_t>(height));
            put16(planes);
            put16(bits);
        } else {
            put32(static_cast<uint32_t>(width));
            put32(static_cast<uint32_t>(height));
            put16(planes);
            put16(bits);
            put32(compression);
            put32(sizeImage);
            put32(xDensity);
            put32(yDensity);
            put32(clrUsed);
            put32(0);
            for (uint32_t i = 40; i < headerSize; i += 4)
                put32(masksInHeader && (i - 40) / 4 < masks.size() ? masks[(i - 40) / 4] : 0);
            if (!masksInHeader)
                for (uint32_t m : masks) put32(m);
        }
        for (uint32_t c : palette) {
            f.push_back(uint8_t(c));        // blue
            f.push_back(uint8_t(c >> 8));   // green
            f.push_back(uint8_t(c >> 16));  // red
            if (!core) f.push_back(0);
        }
        f.insert(f.end(), gap, 0xEE);
        f.insert(f.end(), pixels.begin(), pixels.end());
        return f;
    }
};

}  // namespace bmptest
