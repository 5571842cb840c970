#include "engine/effects/GrainShifter.h"
#include "engine/effects/Saturator.h"
#include "TestSignals.h"

#include <gtest/gtest.h>

#include <memory>

using namespace brivola;

TEST (GrainShifterTables, SawAndTriangleHavePeakOneAndTheirShapes)
{
    const auto& saw = grainSawTable();
    const auto& tri = grainTriangleTable();
    double sawPeak = 0.0, triPeak = 0.0;
    for (std::size_t i = 0; i < grainTableSize; ++i)
    {
        sawPeak = std::max (sawPeak, std::abs (saw[i]));
        triPeak = std::max (triPeak, std::abs (tri[i]));
    }
    EXPECT_NEAR (sawPeak, 1.0, 1e-12);
    EXPECT_NEAR (triPeak, 1.0, 1e-12);

    // The saw is θ/2 on (-π, π) before scaling: rising through 0 at θ = 0 and odd; the
    // triangle peaks at θ = π/2 and is 0 at 0 and π.
    EXPECT_NEAR (saw[0], 0.0, 1e-12);
    EXPECT_NEAR (saw[1024] / saw[512], 2.0, 1e-3);
    EXPECT_NEAR (saw[1024] + saw[4096 - 1024], 0.0, 1e-12);
    EXPECT_NEAR (tri[1024], 1.0, 1e-12);
    EXPECT_NEAR (tri[2048], 0.0, 1e-12);
    EXPECT_NEAR (tri[3072], -1.0, 1e-12);
    EXPECT_NEAR (tri[512], 0.5, 1e-3);
}

TEST (GrainShifter, SubDropsAnOctaveAndShimmerRisesOne)
{
    const double fs = 48000.0;
    struct Case
    {
        const char* name;
        GrainShifterSettings settings;
        double ratio;
    };
    for (const Case& c : { Case { "sub", subShifterSettings, 0.5 }, Case { "shimmer", shimmerShifterSettings, 2.0 } })
    {
        SCOPED_TRACE (c.name);
        auto shifter = std::make_unique<GrainShifter>();
        shifter->prepare (c.settings, fs);
        const double f = 600.0;
        std::vector<double> out;
        for (std::size_t i = 0; i < static_cast<std::size_t> (fs); ++i)
            out.push_back (shifter->process (std::sin (2.0 * std::numbers::pi * f * static_cast<double> (i) / fs)));

        // The strongest component of the output lies about an octave away (grain restarts move
        // the exact line by up to a grain rate), and little of the original pitch is left.
        const std::size_t begin = static_cast<std::size_t> (0.2 * fs), end = static_cast<std::size_t> (fs);
        double strongest = 0.0, strongestAt = 0.0;
        for (double g = 0.4 * f; g <= 2.4 * f; g += 1.0)
        {
            const double a = test::toneAmplitude (out, begin, end, g, fs);
            if (a > strongest)
            {
                strongest = a;
                strongestAt = g;
            }
        }
        EXPECT_NEAR (strongestAt / (f * c.ratio), 1.0, 0.1);
        EXPECT_GT (strongest, 0.3);
        EXPECT_LT (test::toneAmplitude (out, begin, end, f, fs), 0.25 * strongest);
    }
}

TEST (Saturator, TapsAreASymmetricLowPassSummingToOne)
{
    const auto& h = Saturator::taps();
    double sum = 0.0;
    for (std::size_t i = 0; i < h.size(); ++i)
    {
        sum += h[i];
        EXPECT_NEAR (h[i], h[h.size() - 1 - i], 1e-15);
    }
    EXPECT_NEAR (sum, 1.0, 1e-12);
    // Each polyphase branch sums to a quarter, so a constant passes the 4x upsampler unchanged.
    for (std::size_t phase = 0; phase < 4; ++phase)
    {
        double branch = 0.0;
        for (std::size_t m = phase; m < h.size(); m += 4)
            branch += h[m];
        EXPECT_NEAR (branch, 0.25, 1e-3);
    }
}

TEST (Saturator, TableFollowsTheCurveAndIsRebuiltOnlyForRealChanges)
{
    Saturator s;
    s.prepare();
    s.setSteepness (0.45);
    const double pi = std::numbers::pi;
    for (std::size_t i : { 0u, 1000u, 3000u, 4095u })
    {
        const double x = static_cast<double> (i) / 4095.0 * 2.0 - 1.0;
        EXPECT_DOUBLE_EQ (s.tableEntry (i), x * 48.0 * 20.0 * pi / 180.0 / (45.0 * std::abs (x) + pi));
    }
    EXPECT_EQ (s.tableEntry (2047), 0.0); // |x| < 0.001
    s.setSteepness (0.455);
    EXPECT_EQ (s.tableSteepness(), 0.45);
    s.setSteepness (0.47);
    EXPECT_EQ (s.tableSteepness(), 0.47);
}

TEST (Saturator, LowToneThroughTheLinearTableComesOutScaledAndDelayedByBothFilters)
{
    // At steepness 0 the table is x / 3: the oversampled path is then linear, a low tone comes out
    // at a third of its level, 15 samples late (two filters of 31.5 samples' delay at 4x, and the
    // output taken at the last of the four oversampled values).
    const double fs = 48000.0, f = 500.0;
    Saturator s;
    s.prepare();
    std::vector<double> out;
    for (int i = 0; i < 4000; ++i)
        out.push_back (s.process (0.9 * std::sin (2.0 * std::numbers::pi * f * i / fs), 1.0, 0.0));
    for (int i = 200; i < 4000; i += 37)
        EXPECT_NEAR (out[i], 0.3 * std::sin (2.0 * std::numbers::pi * f * (i - 15.0) / fs), 2e-3) << i;

    // Dry gain 1, wet 0 passes the input untouched.
    Saturator dry;
    dry.prepare();
    EXPECT_EQ (dry.process (0.3, 0.0, 1.0), 0.3);
}
