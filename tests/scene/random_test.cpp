// The generator that every scene load reseeds for the soft-jitter shadows.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "scene/random.h"

namespace {

std::uint32_t stateAfterDraws(std::uint32_t seed, std::uint64_t n) {
    Random r;
    r.seed(seed);
    for (std::uint64_t i = 0; i < n; ++i) r.next();
    return r.state;
}

std::uint32_t stateAfterSkip(std::uint32_t seed, std::uint64_t n) {
    Random r;
    r.seed(seed);
    r.skip(n);
    return r.state;
}

}  // namespace

TEST(Random, FirstDrawsFromSeedOne) {
    const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
    Random fresh;  // starts at seed 1
    for (int value : expected) EXPECT_EQ(fresh.next(), value);

    Random reseeded;
    reseeded.seed(777);
    reseeded.next();
    reseeded.seed(1);
    for (int value : expected) EXPECT_EQ(reseeded.next(), value);
}

TEST(Random, DrawsStayWithinFifteenBits) {
    Random r;
    int highest = 0;
    for (int i = 0; i < 100000; ++i) {
        const int value = r.next();
        ASSERT_GE(value, 0);
        ASSERT_LE(value, Random::kMax);
        if (value > highest) highest = value;
    }
    EXPECT_GT(highest, 32000);
}

TEST(Random, SkipEqualsSingleDraws) {
    for (std::uint32_t seed : {1u, 12345u, 0xffffffffu}) {
        for (std::uint64_t n : {0ull, 1ull, 2ull, 3ull, 7ull, 64ull, 1000ull, 65537ull, 1000003ull}) {
            EXPECT_EQ(stateAfterSkip(seed, n), stateAfterDraws(seed, n)) << "seed " << seed << ", n " << n;
        }
    }
}

TEST(Random, FillEqualsSingleDraws) {
    for (std::uint32_t seed : {1u, 12345u, 0xffffffffu}) {
        for (std::size_t n : {0u, 1u, 3u, 4u, 5u, 8u, 11u, 360u}) {
            Random one, many;
            one.seed(seed);
            many.seed(seed);
            std::vector<int> filled(n);
            many.fill(filled);
            for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(filled[i], one.next()) << "seed " << seed << ", draw " << i;
            EXPECT_EQ(many.state, one.state) << "seed " << seed << ", n " << n;
        }
    }
}

TEST(Random, SkipOverWholePeriods) {
    // The rule has full period 2^32, so whole periods change nothing.
    constexpr std::uint64_t kPeriod = 1ull << 32;
    EXPECT_EQ(stateAfterSkip(1, kPeriod), 1u);
    EXPECT_EQ(stateAfterSkip(1, 5 * kPeriod + 7), stateAfterDraws(1, 7));
    EXPECT_EQ(stateAfterSkip(99, ~0ull), stateAfterSkip(99, kPeriod - 1));
    // One short of a period is the step before the start.
    EXPECT_EQ(stateAfterSkip(1, kPeriod - 1) * Random::kMultiplier + Random::kIncrement, 1u);
}

TEST(Random, SkipThenDrawContinuesTheSequence) {
    Random skipped, drawn;
    skipped.skip(3);
    for (int i = 0; i < 3; ++i) drawn.next();
    EXPECT_EQ(skipped.next(), 26500);
    EXPECT_EQ(drawn.next(), 26500);
}
