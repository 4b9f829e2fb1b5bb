#include "imaging/colour_match.h"

#include <cstdlib>
#include <cstring>

namespace {

inline uint32_t Red(uint32_t c) { return c >> 16 & 0xFF; }
inline uint32_t Green(uint32_t c) { return c >> 8 & 0xFF; }
inline uint32_t Blue(uint32_t c) { return c & 0xFF; }

// Squared distance from v to the span [lo, lo + 7], and to its far end.
inline int Near(int v, int lo) {
    const int d = v < lo ? lo - v : v > lo + 7 ? v - (lo + 7) : 0;
    return d * d;
}
inline int Far(int v, int lo) {
    const int a = v - lo, b = lo + 7 - v;
    return a * a > b * b ? a * a : b * b;
}

// x / 255 rounded to nearest, exact for x up to 255 * 255.
inline uint32_t DivideBy255(uint32_t x) { return (x + 128 + ((x + 128) >> 8)) >> 8; }

}  // namespace

ColourMatcher::ColourMatcher() {
    std::memset(colours_, 0, sizeof colours_);
    std::memset(cells_, 0, sizeof cells_);
    std::memset(chunks_, 0, sizeof chunks_);
}

ColourMatcher::~ColourMatcher() {
    for (Cell* chunk : chunks_) std::free(chunk);
}

void ColourMatcher::Use(const uint32_t* colours, int count) {
    if (count < 0) count = 0;
    if (count > kMaxSurfaceColours) count = kMaxSurfaceColours;
    if (count == count_ && std::memcmp(colours, colours_, sizeof(uint32_t) * count) == 0) return;
    for (int i = 0; i < count; ++i) colours_[i] = colours[i] & 0xFFFFFF;
    count_ = count;
    std::memset(cells_, 0, sizeof cells_);  // the chunks stay, for the next palette's cells
    used_ = 0;
}

uint8_t ColourMatcher::SearchAll(uint32_t r, uint32_t g, uint32_t b) const {
    int best = 0;
    int bestDistance = 1 << 30;
    for (int i = 0; i < count_; ++i) {
        const int dr = static_cast<int>(Red(colours_[i])) - static_cast<int>(r);
        const int dg = static_cast<int>(Green(colours_[i])) - static_cast<int>(g);
        const int db = static_cast<int>(Blue(colours_[i])) - static_cast<int>(b);
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return static_cast<uint8_t>(best);
}

ColourMatcher::Cell* ColourMatcher::Build(uint32_t cell) {
    const int chunk = used_ / kCellsPerChunk;
    if (!chunks_[chunk]) {
        chunks_[chunk] = static_cast<Cell*>(std::malloc(sizeof(Cell) * kCellsPerChunk));
        if (!chunks_[chunk]) return nullptr;  // every colour of the cell is then searched in full
    }
    Cell* c = chunks_[chunk] + used_ % kCellsPerChunk;
    ++used_;
    std::memset(c->known, 0, sizeof c->known);

    // A colour whose nearest distance to the cell exceeds the smallest
    // farthest distance of any colour is never the nearest inside it.
    const int r0 = static_cast<int>(cell >> 10) << 3, g0 = static_cast<int>(cell >> 5 & 31) << 3,
              b0 = static_cast<int>(cell & 31) << 3;
    int nearest[kMaxSurfaceColours];
    int bound = 1 << 30;
    for (int i = 0; i < count_; ++i) {
        const int r = static_cast<int>(Red(colours_[i])), g = static_cast<int>(Green(colours_[i])),
                  b = static_cast<int>(Blue(colours_[i]));
        nearest[i] = Near(r, r0) + Near(g, g0) + Near(b, b0);
        const int far = Far(r, r0) + Far(g, g0) + Far(b, b0);
        if (far < bound) bound = far;
    }
    int n = 0;
    for (int i = 0; i < count_; ++i)
        if (nearest[i] <= bound) c->candidate[n++] = static_cast<uint8_t>(i);
    c->candidates = static_cast<uint16_t>(n);
    cells_[cell] = c;
    return c;
}

uint8_t ColourMatcher::Miss(uint32_t cell, uint32_t at, uint32_t r, uint32_t g, uint32_t b) {
    Cell* c = cells_[cell];
    if (!c && !(c = Build(cell))) return SearchAll(r, g, b);
    int best = 0;
    int bestDistance = 1 << 30;
    for (int k = 0; k < c->candidates; ++k) {
        const uint32_t colour = colours_[c->candidate[k]];
        const int dr = static_cast<int>(Red(colour)) - static_cast<int>(r);
        const int dg = static_cast<int>(Green(colour)) - static_cast<int>(g);
        const int db = static_cast<int>(Blue(colour)) - static_cast<int>(b);
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = c->candidate[k];
        }
    }
    c->known[at] = static_cast<uint16_t>(best + 1);
    return static_cast<uint8_t>(best);
}

ColourMatcher& ProcessColourMatcher() {
    static ColourMatcher matcher;
    return matcher;
}

FieldReader::FieldReader(uint32_t mask) {
    if (!mask) return;
    while (!(mask >> shift & 1)) ++shift;
    while (shift + length < 32 && (mask >> (shift + length) & 1)) ++length;
}

uint32_t FieldReader::operator()(uint32_t pixel) const {
    if (!length) return 0;
    const int move = shift - (8 - length);
    uint32_t v = move < 0 ? pixel << -move : pixel >> move;
    if (length >= 8) return v & 0xFF;
    v &= (0xFFu << (8 - length)) & 0xFF;
    return v | v >> length;
}

bool HasAlpha(const uint8_t* rows, size_t rowBytes, int rowCount, int width) {
    for (int y = 0; y < rowCount; ++y) {
        const uint8_t* p = rows + rowBytes * static_cast<size_t>(y) + 3;
        for (int x = 0; x < width; ++x)
            if (p[4 * x]) return true;
    }
    return false;
}

namespace {

template <class Read>
void Opaque(ColourMatcher& m, int count, uint8_t* out, Read read) {
    uint32_t last = 0xFFFFFFFF;  // no colour: runs of one colour are searched once
    uint8_t index = 0;
    for (int x = 0; x < count; ++x) {
        const uint32_t c = read(x);
        if (c != last) {
            last = c;
            index = m.Nearest(Red(c), Green(c), Blue(c));
        }
        out[x] = index;
    }
}

// Colours of a 1- or 4-bit picture's table as surface indices, once a row.
void Indexed(ColourMatcher& m, const PixelLayout& l, const uint8_t* row, int first, int count, uint8_t* out) {
    const int bits = l.bitsPerPixel;
    const int entries = 1 << bits;
    uint8_t index[16];
    for (int i = 0; i < entries; ++i) {
        const uint32_t c = i < l.tableSize && l.table ? l.table[i] : 0;
        index[i] = m.Nearest(Red(c), Green(c), Blue(c));
    }
    const int perByte = 8 / bits;
    for (int x = 0; x < count; ++x) {
        const int at = first + x;
        const int shift = 8 - bits * (at % perByte + 1);
        out[x] = index[row[at / perByte] >> shift & (entries - 1)];
    }
}

}  // namespace

bool ConvertRow(ColourMatcher& m, const PixelLayout& l, const uint8_t* row, int first, int count, uint8_t* out) {
    if (count <= 0) return true;
    if (m.Count() == 0) return false;
    const bool masked = l.masks[0] | l.masks[1] | l.masks[2];
    switch (l.bitsPerPixel) {
    case 1:
    case 4:
        Indexed(m, l, row, first, count, out);
        return true;
    case 16: {
        const FieldReader red(masked ? l.masks[0] : 0x7C00), green(masked ? l.masks[1] : 0x03E0),
            blue(masked ? l.masks[2] : 0x001F);
        const uint8_t* p = row + 2 * static_cast<size_t>(first);
        Opaque(m, count, out, [&](int x) {
            const uint32_t v = p[2 * x] | p[2 * x + 1] << 8;
            return Rgb(red(v), green(v), blue(v));
        });
        return true;
    }
    case 24: {
        const uint8_t* p = row + 3 * static_cast<size_t>(first);
        Opaque(m, count, out, [&](int x) { return Rgb(p[3 * x + 2], p[3 * x + 1], p[3 * x]); });
        return true;
    }
    case 32: {
        const uint8_t* p = row + 4 * static_cast<size_t>(first);
        if (masked) {
            const FieldReader red(l.masks[0]), green(l.masks[1]), blue(l.masks[2]);
            Opaque(m, count, out, [&](int x) {
                uint32_t v;
                std::memcpy(&v, p + 4 * x, 4);
                return Rgb(red(v), green(v), blue(v));
            });
        } else if (!l.straightAlpha) {
            Opaque(m, count, out, [&](int x) { return Rgb(p[4 * x + 2], p[4 * x + 1], p[4 * x]); });
        } else {
            for (int x = 0; x < count; ++x) {
                const uint32_t a = p[4 * x + 3];
                if (a == 0) continue;
                uint32_t r = p[4 * x + 2], g = p[4 * x + 1], b = p[4 * x];
                if (a != 255) {
                    const uint32_t under = m.Colour(out[x]);
                    r = DivideBy255(r * a + Red(under) * (255 - a));
                    g = DivideBy255(g * a + Green(under) * (255 - a));
                    b = DivideBy255(b * a + Blue(under) * (255 - a));
                }
                out[x] = m.Nearest(r, g, b);
            }
        }
        return true;
    }
    default:
        return false;
    }
}
