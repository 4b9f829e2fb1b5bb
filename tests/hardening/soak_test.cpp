// The soak in CI: the cycles of the full-length command (bench/soak_main.cpp),
// fewer of them; and the judge of flatness that both use.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/hardening/soak.h"

namespace {

// Each interval shows every picture at every amount: 60 cycles of 20
// messages (30 pictures, 4 amounts). Scaled pixels differ by amount, and
// what the later components allocate for them reaches its high-water mark
// only once every pair has been seen.
constexpr int kMessages = 7200;
constexpr int kSampleEvery = 1200;

TEST(Soak, ResourcesStayFlatOverAllEightComponents) {
    const soak::Run run = soak::RunSoak(kMessages, kSampleEvery);
    soak::PrintSamples(stdout, run.samples);
    for (const std::string& f : run.faults) ADD_FAILURE() << f;
    ASSERT_EQ(run.samples.size(), 1u + kMessages / kSampleEvery);
    for (const std::string& g : soak::Growth(run.samples, soak::kPrivateBytesSlack)) ADD_FAILURE() << g;
}

// Warm-up is the first interval; after it any growth of a count fails, and
// of private bytes only past the slack.
TEST(Soak, GrowthIsJudgedAfterWarmUp) {
    using S = soak::Sample;
    const S start{0, 0, 0, 0, 0, 0, 1000}, warm{20, 5, 1, 9, 7, 0, 900000};
    auto grown = [&](S last) { return soak::Growth({start, warm, warm, last}, 1000).size(); };
    const struct {
        const char* name;
        S last;
        size_t complaints;
    } kCases[] = {
        {"flat", warm, 0},
        {"shrinks", {60, 4, 0, 8, 6, 0, 800000}, 0},
        {"private bytes within the slack", {60, 5, 1, 9, 7, 0, 901000}, 0},
        {"private bytes past the slack", {60, 5, 1, 9, 7, 0, 901001}, 1},
        {"one more GDI object", {60, 6, 1, 9, 7, 0, 900000}, 1},
        {"one more USER object", {60, 5, 2, 9, 7, 0, 900000}, 1},
        {"one more text block", {60, 5, 1, 10, 7, 0, 900000}, 1},
        {"one more global block", {60, 5, 1, 9, 8, 0, 900000}, 1},
        {"one more open file", {60, 5, 1, 9, 7, 1, 900000}, 1},
    };
    for (const auto& c : kCases) EXPECT_EQ(grown(c.last), c.complaints) << c.name;
    EXPECT_EQ(soak::Growth({start, warm}, 0).size(), 1u) << "two samples cannot show flatness";
}

}  // namespace
