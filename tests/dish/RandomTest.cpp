#include "dish/Random.h"

#include <gtest/gtest.h>

using namespace brivola;

TEST (Random, Hash01MatchesTheIntegerMixer)
{
    // Reference values computed by hand from the mixer's definition.
    EXPECT_EQ (hash01 (0), 0.0);
    std::uint32_t v = 1;
    v *= 0x85EBCA6Bu; v ^= v >> 13; v *= 0xC2B2AE35u; v ^= v >> 16;
    EXPECT_EQ (hash01 (1), double (v) / 4294967296.0);
    for (std::uint32_t x : { 1u, 77u, 0xFFFFFFFFu, goldenHashKey })
    {
        EXPECT_GE (hash01 (x), 0.0);
        EXPECT_LT (hash01 (x), 1.0);
    }
}

TEST (Random, Mulberry32KnownSequence)
{
    // The first outputs of Mulberry32 seeded with 1, as the published JavaScript version gives
    // them (a = 1; t = a += 0x6D2B79F5; ...).
    Mulberry32 rng { 1 };
    const double first = rng.next();
    std::uint32_t z = 1u + 0x6D2B79F5u;
    z = (z ^ (z >> 15)) * (z | 1u);
    z ^= z + (z ^ (z >> 7)) * (z | 61u);
    EXPECT_EQ (first, double (z ^ (z >> 14)) / 4294967296.0);
    EXPECT_EQ (rng.state, 1u + 0x6D2B79F5u);
    EXPECT_NEAR (first, 0.6270739405881613, 1e-15);
}
