// The nearest-colour search against a brute-force search over the same
// palette, on palettes made to break pruning: ties, duplicates, few colours.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "imaging/colour_match.h"

namespace {

int BruteNearest(const std::vector<uint32_t>& p, int r, int g, int b) {
    int best = 0;
    long bestD = -1;
    for (size_t i = 0; i < p.size(); ++i) {
        const long dr = static_cast<long>(p[i] >> 16 & 255) - r, dg = static_cast<long>(p[i] >> 8 & 255) - g,
                   db = static_cast<long>(p[i] & 255) - b;
        const long d = dr * dr + dg * dg + db * db;
        if (bestD < 0 || d < bestD) bestD = d, best = static_cast<int>(i);
    }
    return best;
}

std::vector<uint32_t> Palette(const std::string& kind) {
    std::mt19937 rng(7);
    std::vector<uint32_t> p;
    if (kind == "random") {
        for (int i = 0; i < 256; ++i) p.push_back(rng() & 0xFFFFFF);
    } else if (kind == "3-3-2") {
        for (int i = 0; i < 256; ++i) p.push_back(Rgb((i >> 5) * 255 / 7, (i >> 2 & 7) * 255 / 7, (i & 3) * 85));
    } else if (kind == "greys") {
        for (int i = 0; i < 256; ++i) p.push_back(i * 0x010101u);
    } else if (kind == "duplicates") {  // every colour twice, the later copy must never win
        for (int i = 0; i < 128; ++i) p.push_back(rng() & 0xFFFFFF);
        for (int i = 0; i < 128; ++i) p.push_back(p[i]);
    } else if (kind == "ties") {  // pairs 2 apart on every axis: their midpoints are tied
        for (int i = 0; i < 64; ++i) {
            const uint32_t c = rng() & 0xFEFEFE;
            p.push_back(c);
            p.push_back(c + 0x020202 > 0xFFFFFF ? c - 0x020202 : c + 0x020202);
            p.push_back(c ^ 0x020000);
            p.push_back(c ^ 0x000002);
        }
    } else if (kind == "one colour") {
        p.push_back(0x123456);
    } else if (kind == "two corners") {
        p = {0x000000, 0xFFFFFF};
    } else if (kind == "17 clustered") {  // a crowd in one cell, far from most of the cube
        for (int i = 0; i < 17; ++i) p.push_back(Rgb(100 + i % 3, 100 + i % 5, 100 + i % 7));
    } else if (kind == "tie at a cell corner") {  // (8,8,8) is 147 from both, and nearer to neither
        p = {0x010101, 0x0F0F0F};
    } else if (kind == "all alike") {
        p.assign(256, 0x808080);
    }
    return p;
}

TEST(ColourMatch, NearestIsTheBruteForceAnswerOnEveryPalette) {
    const char* kPalettes[] = {"random", "3-3-2", "greys", "duplicates", "ties",
                               "one colour", "two corners", "17 clustered", "tie at a cell corner", "all alike"};
    std::mt19937 rng(11);
    ColourMatcher m;
    for (const char* kind : kPalettes) {
        SCOPED_TRACE(kind);
        const std::vector<uint32_t> p = Palette(kind);
        m.Use(p.data(), static_cast<int>(p.size()));
        std::vector<uint32_t> asked;
        for (int i = 0; i < 60000; ++i) asked.push_back(rng() & 0xFFFFFF);
        for (uint32_t c : p)  // around every palette colour, and the midpoints of the ties
            for (uint32_t d : {0x000000u, 0x010101u, 0x010000u, 0x000001u, 0x000100u})
                asked.push_back((c + d) & 0xFFFFFF);
        for (int v = 0; v < 256; v += 7)  // cell edges and corners
            asked.push_back(Rgb(v, 255 - v, v | 7));
        for (int v = 0; v < 256; v += 8)
            for (int corner = 0; corner < 8; ++corner)
                asked.push_back(Rgb(v + (corner & 1) * 7, v + (corner >> 1 & 1) * 7, v + (corner >> 2) * 7));
        int wrong = 0;
        for (int round = 0; round < 2; ++round)  // searched, then from the table
            for (uint32_t c : asked) {
                const int r = c >> 16, g = c >> 8 & 255, b = c & 255;
                const int want = BruteNearest(p, r, g, b);
                if (m.Nearest(r, g, b) != want && wrong++ < 3)
                    ADD_FAILURE() << std::hex << c << " gave " << int(m.Nearest(r, g, b)) << " not " << want;
            }
    }
}

TEST(ColourMatch, AnotherPaletteIsNeverAnsweredFromTheOldOnesWork) {
    std::vector<uint32_t> a = Palette("random"), b = a;
    std::swap(b[3], b[200]);  // same colours, other indices
    ColourMatcher m;
    for (const auto* p : {&a, &b, &a}) {
        m.Use(p->data(), 256);
        for (uint32_t c : a) EXPECT_EQ(m.Nearest(c >> 16, c >> 8 & 255, c & 255), BruteNearest(*p, c >> 16, c >> 8 & 255, c & 255));
    }
    m.Use(a.data(), 20);  // a prefix: fewer colours
    EXPECT_EQ(m.Nearest(a[200] >> 16, a[200] >> 8 & 255, a[200] & 255),
              BruteNearest({a.begin(), a.begin() + 20}, a[200] >> 16, a[200] >> 8 & 255, a[200] & 255));
}

}  // namespace
