#include "imaging/colour_match.h"

#include <cstdlib>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

inline uint32_t Red(uint32_t c) { return c >> 16 & 0xFF; }
inline uint32_t Green(uint32_t c) { return c >> 8 & 0xFF; }
inline uint32_t Blue(uint32_t c) { return c & 0xFF; }

// Squared distance from v to the span [lo, lo + size - 1], and to its far end.
inline int Near(int v, int lo, int size) {
    const int d = v < lo ? lo - v : v > lo + size - 1 ? v - (lo + size - 1) : 0;
    return d * d;
}
inline int Far(int v, int lo, int size) {
    const int a = v - lo, b = lo + size - 1 - v;
    return a * a > b * b ? a * a : b * b;
}

// Of `from` (n indices into `colours`, ascending), those that can be nearest
// somewhere in the box of `size` at (r0, g0, b0), into `to`: a colour whose
// nearest distance to the box exceeds the smallest farthest distance of any
// colour is never the nearest inside it.
int Prune(const uint32_t* colours, const uint8_t* from, int n, int r0, int g0, int b0, int size, uint8_t* to) {
    int nearest[kMaxSurfaceColours];
    int bound = 1 << 30;
    for (int k = 0; k < n; ++k) {
        const uint32_t c = colours[from[k]];
        const int r = static_cast<int>(c >> 16 & 0xFF), g = static_cast<int>(c >> 8 & 0xFF), b = static_cast<int>(c & 0xFF);
        nearest[k] = Near(r, r0, size) + Near(g, g0, size) + Near(b, b0, size);
        const int far = Far(r, r0, size) + Far(g, g0, size) + Far(b, b0, size);
        if (far < bound) bound = far;
    }
    int near = 0;
    for (int k = 0; k < n; ++k)
        if (nearest[k] <= bound) to[near++] = from[k];

    // Then a colour beaten everywhere in the box by the one nearest to its
    // centre goes too. How much nearer the centre's colour j is than i,
    // d(p, j) - d(p, i) = 2 p.(i - j) + |j|^2 - |i|^2, is linear in p: its
    // largest value in the box is at a corner. A box that keeps only j has
    // one answer everywhere.
    const int centre = size / 2;
    int j = to[0], best = 1 << 30;
    for (int k = 0; k < near; ++k) {
        const uint32_t c = colours[to[k]];
        const int dr = static_cast<int>(c >> 16 & 0xFF) - (r0 + centre), dg = static_cast<int>(c >> 8 & 0xFF) - (g0 + centre),
                  db = static_cast<int>(c & 0xFF) - (b0 + centre);
        if (dr * dr + dg * dg + db * db < best) best = dr * dr + dg * dg + db * db, j = to[k];
    }
    const uint32_t cj = colours[j];
    const int jr = static_cast<int>(cj >> 16 & 0xFF), jg = static_cast<int>(cj >> 8 & 0xFF), jb = static_cast<int>(cj & 0xFF);
    const int lo[3] = {r0, g0, b0};
    int kept = 0;
    for (int k = 0; k < near; ++k) {
        const int i = to[k];
        const uint32_t c = colours[i];
        const int step[3] = {static_cast<int>(c >> 16 & 0xFF) - jr, static_cast<int>(c >> 8 & 0xFF) - jg,
                             static_cast<int>(c & 0xFF) - jb};
        int most = jr * jr + jg * jg + jb * jb - static_cast<int>((c >> 16 & 0xFF) * (c >> 16 & 0xFF) +
                                                                   (c >> 8 & 0xFF) * (c >> 8 & 0xFF) + (c & 0xFF) * (c & 0xFF));
        for (int a = 0; a < 3; ++a) most += 2 * step[a] * (step[a] > 0 ? lo[a] + size - 1 : lo[a]);
        // Ties go to the lower index: j below i need only never be farther.
        const bool beaten = i != j && (j < i ? most <= 0 : most < 0);
        if (!beaten) to[kept++] = static_cast<uint8_t>(i);
    }
    return kept;
}

// (over * a + under * (255 - a)) / 255 rounded, for each channel. Red and
// blue share one multiply in two 16-bit lanes; x / 255 rounded is
// (x + 128 + ((x + 128) >> 8)) >> 8, exact for x up to 255 * 255.
inline uint32_t Blend(uint32_t over, uint32_t under, uint32_t a) {
    uint32_t rb = (over & 0xFF00FF) * a + (under & 0xFF00FF) * (255 - a) + 0x800080;
    rb = (rb + (rb >> 8 & 0xFF00FF)) >> 8 & 0xFF00FF;
    uint32_t g = (over >> 8 & 0xFF) * a + (under >> 8 & 0xFF) * (255 - a) + 128;
    g = (g + (g >> 8)) >> 8;
    return rb | g << 8;
}

}  // namespace

ColourMatcher::ColourMatcher() {
    std::memset(colours_, 0, sizeof colours_);
    std::memset(cells_, 0, sizeof cells_);
    std::memset(blocks_, 0, sizeof blocks_);
    std::memset(chunks_, 0, sizeof chunks_);
}

ColourMatcher::~ColourMatcher() {
    for (Cell* chunk : chunks_) std::free(chunk);
}

void ColourMatcher::Use(const uint32_t* colours, int count) {
    if (count < 0) count = 0;
    if (count > kMaxSurfaceColours) count = kMaxSurfaceColours;
    if (count == count_ && std::memcmp(colours, colours_, sizeof(uint32_t) * count) == 0) return;
    for (int i = 0; i < kMaxSurfaceColours; ++i) colours_[i] = i < count ? colours[i] & 0xFFFFFF : 0;
    count_ = count;
    std::memset(cells_, 0, sizeof cells_);  // the chunks stay, for the next palette's cells
    for (Block& b : blocks_) b.built = false;
    used_ = 0;
    built_ = 0;
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

const ColourMatcher::Block& ColourMatcher::BlockOf(uint32_t cell) {
    const uint32_t br = cell >> 12, bg = cell >> 7 & 7, bb = cell >> 2 & 7;
    Block& b = blocks_[br << 6 | bg << 3 | bb];
    if (!b.built) {
        uint8_t all[kMaxSurfaceColours];
        for (int i = 0; i < count_; ++i) all[i] = static_cast<uint8_t>(i);
        b.candidates = static_cast<uint16_t>(
            Prune(colours_, all, count_, static_cast<int>(br << 5), static_cast<int>(bg << 5), static_cast<int>(bb << 5), 32, b.candidate));
        b.built = true;
    }
    return b;
}

void ColourMatcher::Build(uint32_t cell) {
    // A cell inside a block can only keep colours its block kept.
    const Block& block = BlockOf(cell);
    uint8_t kept[kMaxSurfaceColours];
    const int n = Prune(colours_, block.candidate, block.candidates, static_cast<int>(cell >> 10) << 3,
                        static_cast<int>(cell >> 5 & 31) << 3, static_cast<int>(cell & 31) << 3, 8, kept);
    ++built_;
    if (n == 1) {
        cells_[cell] = OneColourCells() + kept[0];
        return;
    }
    const int chunk = used_ / kCellsPerChunk;
    if (!chunks_[chunk]) {
        chunks_[chunk] = static_cast<Cell*>(std::malloc(sizeof(Cell) * kCellsPerChunk));
        if (!chunks_[chunk]) return;  // every colour of the cell is then searched in full
    }
    Cell* c = chunks_[chunk] + used_ % kCellsPerChunk;
    ++used_;
    // Filled whole, an eighth at a time: most eighths keep one colour, and
    // the rest search the few they keep.
    const int r0 = static_cast<int>(cell >> 10) << 3, g0 = static_cast<int>(cell >> 5 & 31) << 3,
              b0 = static_cast<int>(cell & 31) << 3;
    for (int e = 0; e < 8; ++e) {
        const int er = r0 | (e >> 2) << 2, eg = g0 | (e >> 1 & 1) << 2, eb = b0 | (e & 1) << 2;
        uint8_t left[kMaxSurfaceColours];
        const int m = Prune(colours_, kept, n, er, eg, eb, 4, left);
        uint8_t* at = c->index + ((er & 7) << 6 | (eg & 7) << 3 | (eb & 7));
        if (m == 1) {
            for (int i = 0; i < 16; ++i) std::memset(at + ((i >> 2) << 6 | (i & 3) << 3), left[0], 4);
            continue;
        }
        // Distances by axis, added up; candidates in ascending order, so a
        // strict compare leaves ties with the lowest index.
        int best[64];
        uint8_t who[64];
        for (int k = 0; k < m; ++k) {
            const uint32_t colour = colours_[left[k]];
            int dr[4], dg[4], db[4];
            for (int i = 0; i < 4; ++i) {
                dr[i] = (er + i - static_cast<int>(Red(colour))) * (er + i - static_cast<int>(Red(colour)));
                dg[i] = (eg + i - static_cast<int>(Green(colour))) * (eg + i - static_cast<int>(Green(colour)));
                db[i] = (eb + i - static_cast<int>(Blue(colour))) * (eb + i - static_cast<int>(Blue(colour)));
            }
            for (int i = 0; i < 64; ++i) {
                const int d = dr[i >> 4] + dg[i >> 2 & 3] + db[i & 3];
                if (k == 0 || d < best[i]) {
                    best[i] = d;
                    who[i] = left[k];
                }
            }
        }
        for (int i = 0; i < 64; ++i) at[(i >> 4) << 6 | (i >> 2 & 3) << 3 | (i & 3)] = who[i];
    }
    cells_[cell] = c;
}

uint8_t ColourMatcher::Miss(uint32_t cell, uint32_t at) {
    Build(cell);
    if (const Cell* c = cells_[cell]) return c->index[at];
    return SearchAll((cell >> 10) << 3 | at >> 6, (cell >> 5 & 31) << 3 | (at >> 3 & 7), (cell & 31) << 3 | (at & 7));
}

ColourMatcher::Cell* ColourMatcher::OneColourCells() {
    static Cell* const cells = [] {
        static Cell one[kMaxSurfaceColours];
        for (int i = 0; i < kMaxSurfaceColours; ++i) {
            std::memset(one[i].index, i, sizeof one[i].index);
        }
        return one;
    }();
    return cells;
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


namespace {

// Straight alpha over the colours `out` shows. Alpha 255 blends to the
// picture's own colour exactly; alpha 0 leaves the byte, even where another
// index shows the same colour.
void BlendRow(ColourMatcher& m, const uint8_t* p, int count, uint8_t* out) {
    int x = 0;
#if defined(__SSE2__)
    // Four pixels at a time in 16-bit lanes: the blend costs less than the lookup.
    const __m128i zero = _mm_setzero_si128(), full = _mm_set1_epi16(255), half = _mm_set1_epi16(128);
    for (; x + 4 <= count; x += 4) {
        const __m128i over = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * x));  // B G R A
        const __m128i under = _mm_set_epi32(static_cast<int>(m.Colour(out[x + 3])), static_cast<int>(m.Colour(out[x + 2])),
                                            static_cast<int>(m.Colour(out[x + 1])), static_cast<int>(m.Colour(out[x])));
        __m128i mixed[2];
        for (int h = 0; h < 2; ++h) {
            const __m128i o = h ? _mm_unpackhi_epi8(over, zero) : _mm_unpacklo_epi8(over, zero);
            const __m128i u = h ? _mm_unpackhi_epi8(under, zero) : _mm_unpacklo_epi8(under, zero);
            const __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(o, 0xFF), 0xFF);
            __m128i t = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(o, a), _mm_mullo_epi16(u, _mm_sub_epi16(full, a))), half);
            mixed[h] = _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
        }
        // Each blend's cell and place in it, from 0x..RRGGBB, four at once.
        const __m128i c = _mm_packus_epi16(mixed[0], mixed[1]);
        const __m128i cell = _mm_or_si128(
            _mm_or_si128(_mm_and_si128(_mm_srli_epi32(c, 9), _mm_set1_epi32(0x7C00)),
                         _mm_and_si128(_mm_srli_epi32(c, 6), _mm_set1_epi32(0x3E0))),
            _mm_and_si128(_mm_srli_epi32(c, 3), _mm_set1_epi32(0x1F)));
        const __m128i at = _mm_or_si128(
            _mm_or_si128(_mm_and_si128(_mm_srli_epi32(c, 10), _mm_set1_epi32(0x1C0)),
                         _mm_and_si128(_mm_srli_epi32(c, 5), _mm_set1_epi32(0x38))),
            _mm_and_si128(c, _mm_set1_epi32(7)));
        alignas(16) uint32_t cells[4], ats[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(cells), cell);
        _mm_store_si128(reinterpret_cast<__m128i*>(ats), at);
        for (int k = 0; k < 4; ++k)
            if (p[4 * (x + k) + 3]) out[x + k] = m.Lookup(cells[k], ats[k]);
    }
#endif
    for (; x < count; ++x) {
        const uint32_t a = p[4 * x + 3];
        if (a == 0) continue;
        const uint32_t c = Blend(Rgb(p[4 * x + 2], p[4 * x + 1], p[4 * x]), m.Colour(out[x]), a);
        out[x] = m.Nearest(Red(c), Green(c), Blue(c));
    }
}

// No test for runs of one colour: in a photograph the branch goes either way
// by pixel, and a mispredicted branch costs more than the lookup.
template <class Read>
void Opaque(ColourMatcher& m, int count, uint8_t* out, Read read) {
    for (int x = 0; x < count; ++x) {
        const uint32_t c = read(x);
        out[x] = m.Nearest(Red(c), Green(c), Blue(c));
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
            BlendRow(m, p, count, out);
        }
        return true;
    }
    default:
        return false;
    }
}
