// The platform-free BMP code. Built into the Windows reader test and natively
// under the sanitizers.
#include "imaging/bmp_format.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/bmp_builder.h"

using namespace bmptest;

namespace {

TEST(BmpFormat, CheckedArithmeticRefusesOverflow) {
    struct Case {
        uint32_t a, b;
        bool mulOk, addOk;
    } const kCases[] = {
        {0, 0xFFFFFFFF, true, true},
        {0x10000, 0x10000, false, true},
        {0xFFFF, 0x10001, true, true},
        {0xFFFFFFFF, 1, true, false},
        {0x80000000, 2, false, true},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.a);
        uint32_t r = 7;
        EXPECT_EQ(CheckedMul(c.a, c.b, &r), c.mulOk);
        if (c.mulOk) {
            EXPECT_EQ(r, c.a * c.b);
        }
        EXPECT_EQ(CheckedAdd(c.a, c.b, &r), c.addOk);
        if (c.addOk) {
            EXPECT_EQ(r, c.a + c.b);
        }
    }
}

// Dimensions up to the cap plan; one more does not.
TEST(BmpFormat, CapsDimensions) {
    for (int32_t width : {kBmpMaxDimension, kBmpMaxDimension + 1}) {
        SCOPED_TRACE(width);
        BmpBuilder b;
        b.width = width;
        b.height = 1;
        b.bits = 1;
        b.palette = {0x000000, 0xFFFFFF};
        b.pixels.assign(kBmpMaxDimension / 8 + 4, 0);
        std::vector<uint8_t> f = b.Build();
        BmpPlan plan;
        BmpStatus s = PlanBmp(f.data(), f.size() < kBmpMaxHeadBytes ? f.size() : kBmpMaxHeadBytes, f.size(), &plan);
        EXPECT_EQ(s, width <= kBmpMaxDimension ? BmpStatus::Ok : BmpStatus::BadDimensions) << BmpStatusName(s);
    }
}

}  // namespace
