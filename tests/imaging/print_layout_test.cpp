// The print layout as plain numbers. Built into the Windows print test and
// natively under the sanitizers.
#include "imaging/print_layout.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <utility>

namespace {

using Box = std::array<int, 4>;  // left, top, width, height

// 600 dpi, a 5000 x 7000 sheet, printable area 4800 x 6600 from (50, 100).
constexpr PageMetrics kPortrait{600, 600, 5000, 7000, 50, 100, 4800, 6600};

// What the action cannot reach through a sane printer: truncation, saturation, refusals.
TEST(PrintLayout, EdgesOfTheArithmetic) {
    struct Case {
        const char* name;
        PageMetrics page;
        int screenDpi, w, h;
        Placement placement;
        int positionX;
        bool ok;
        Box at;
    };
    const Case kCases[] = {
        // x: 101 div 2 = 50, 50 - 49.5 = 0.5; y: 25 - 25.5 = -0.5 truncates to 0, not -1.
        {"centre in whole pixels, truncated", {96, 96, 101, 50, 0, 0, 101, 50}, 96, 99, 51, Placement::Centred, 0, true, {0, 0, 99, 51}},
        {"larger than the sheet", kPortrait, 96, 2000, 2000, Placement::Centred, 0, true, {-3800, -2850, 12500, 12500}},
        {"nothing limits the right edge", kPortrait, 96, 3, 3, Placement::AtPosition, INT_MAX, true, {INT_MAX - 50, 0, 18, 18}},
        {"axes scale apart", {600, 300, 5000, 7000, 0, 0, 4800, 6600}, 120, 300, 200, Placement::PrintableCorner, 0, true, {0, 0, 1500, 500}},
        {"no printable area", {600, 600, 5000, 7000, 0, 0, 4800, 0}, 96, 30, 20, Placement::Centred, 0, false, {}},
        {"empty bitmap", kPortrait, 96, 0, 20, Placement::Centred, 0, false, {}},
        {"printed size past int32", {INT_MAX, 600, 5000, 7000, 0, 0, 4800, 6600}, 1, 2, 2, Placement::PrintableCorner, 0, false, {}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        PrintLayout got{};
        ASSERT_EQ(ComputeLayout({false, Orientation::Automatic, c.placement}, c.page, c.screenDpi, c.screenDpi, c.w, c.h, c.positionX, 0,
                                &got),
                  c.ok);
        if (c.ok) {
            EXPECT_EQ((Box{got.x, got.y, got.width, got.height}), c.at);
        }
    }
    const std::pair<Inches, int32_t> kInches[] = {
        {{Inches::Whole, 2}, 1200},           {{Inches::Fraction, 0, -0.25}, -150},
        {{Inches::None, 5, 5.0}, 0},          {{Inches::Fraction, 0, std::nan("")}, 0},
        {{Inches::Whole, INT_MAX / 2}, INT_MAX}, {{Inches::Fraction, 0, -1e300}, INT_MIN},
    };
    for (const auto& [inches, px] : kInches) EXPECT_EQ(InchesToPixels(inches, 600), px) << inches.fraction;
}

}  // namespace
