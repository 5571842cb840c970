#include "engine/effects/Biquad.h"
#include "engine/effects/FeedbackDelay.h"
#include "engine/effects/GrainShifter.h"
#include "engine/effects/Phaser.h"
#include "engine/effects/Ramp.h"
#include "TestSignals.h"

#include <gtest/gtest.h>

#include <complex>
#include <memory>
#include <limits>

using namespace brivola;

namespace
{
double magnitudeAt (const BiquadCoefficients& c, double frequency, double sampleRate)
{
    const std::complex<double> z1 = std::polar (1.0, -2.0 * std::numbers::pi * frequency / sampleRate);
    const std::complex<double> z2 = z1 * z1;
    return std::abs ((c.b0 + c.b1 * z1 + c.b2 * z2) / (1.0 + c.a1 * z1 + c.a2 * z2));
}
} // namespace

TEST (Ramp, FirstTargetSnapsLaterTargetsMoveLinearlyAndLandExactly)
{
    Ramp r;
    r.prepare (4);
    r.setTarget (0.3);
    EXPECT_EQ (r.next(), 0.3);

    r.setTarget (1.0);
    EXPECT_DOUBLE_EQ (r.next(), 0.3 + 0.7 / 4);
    EXPECT_DOUBLE_EQ (r.next(), 0.3 + 0.7 / 2);
    EXPECT_DOUBLE_EQ (r.next(), 0.3 + 0.7 * 3 / 4);
    EXPECT_EQ (r.next(), 1.0);
    EXPECT_FALSE (r.isRamping());
    EXPECT_EQ (r.next(), 1.0);
}

TEST (Ramp, SameTargetDoesNotRestartButNaNAlwaysCountsAsNew)
{
    Ramp r;
    r.prepare (10);
    r.setTarget (0.0);
    r.setTarget (1.0);
    for (int i = 0; i < 5; ++i)
        r.next();
    r.setTarget (1.0); // same target mid-ramp: keeps going
    for (int i = 0; i < 5; ++i)
        r.next();
    EXPECT_EQ (r.current, 1.0);

    r.setTarget (std::numeric_limits<double>::quiet_NaN());
    EXPECT_TRUE (r.isRamping());
    r.setTarget (std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ (r.remaining, 10u);
}

TEST (Biquad, CookbookDesignsHaveTheirDefiningGains)
{
    const double fs = 48000.0;
    // Low-pass: gain Q at the cutoff, unity at DC.
    const auto lp = lowPassCoefficients (1000.0, 2.0, fs);
    EXPECT_NEAR (magnitudeAt (lp, 1000.0, fs), 2.0, 1e-9);
    EXPECT_NEAR (magnitudeAt (lp, 1.0, fs), 1.0, 1e-6);

    // Peak: the full gain at its centre, unity far away.
    const auto pk = peakingCoefficients (700.0, 1.5, 8.0, fs);
    EXPECT_NEAR (20.0 * std::log10 (magnitudeAt (pk, 700.0, fs)), 8.0, 1e-9);
    EXPECT_NEAR (magnitudeAt (pk, 20.0, fs), 1.0, 1e-3);

    // High shelf: the full (negative) gain near Nyquist, half of it in dB at the corner.
    const auto hs = highShelfCoefficients (2500.0, -8.0, fs);
    EXPECT_NEAR (20.0 * std::log10 (magnitudeAt (hs, 23999.0, fs)), -8.0, 0.01);
    EXPECT_NEAR (20.0 * std::log10 (magnitudeAt (hs, 2500.0, fs)), -4.0, 1e-9);
    EXPECT_NEAR (magnitudeAt (hs, 10.0, fs), 1.0, 1e-3);

    // The phaser's all-pass passes every frequency at unity.
    const auto ap = Phaser::allPassCoefficients (900.0, fs);
    for (double f : { 50.0, 900.0, 5000.0, 20000.0 })
        EXPECT_NEAR (magnitudeAt (ap, f, fs), 1.0, 1e-9);
}

TEST (Decay, FiltersAndFeedbackLinesEndInExactZerosWithoutSubnormals)
{
    const double fs = 48000.0;

    // Resonant low-pass, the most slowly decaying all-pass chain, the echo at the chain's largest
    // feedback and the shimmer shifter with its feedback ring.
    Biquad lp;
    const auto lpc = lowPassCoefficients (400.0, 2.0, fs);
    Phaser phaser;
    phaser.prepare (fs);
    FeedbackDelay delay;
    delay.prepare (fs);
    auto shimmer = std::make_unique<GrainShifter>();
    shimmer->prepare (shimmerShifterSettings, fs);

    bool allClean = true;
    double lastL = 1.0, lastP = 1.0, lastD = 1.0, lastS = 1.0;
    const std::size_t n = static_cast<std::size_t> (60.0 * fs);
    for (std::size_t i = 0; i < n; ++i)
    {
        const double x = i == 0 ? 1.0 : 0.0;
        lastL = lp.process (x, lpc);
        double pl = 0.0, pr = 0.0;
        phaser.process (x, -x, pl, pr);
        lastP = std::max (std::abs (pl), std::abs (pr));
        lastD = delay.process (x, 1.0, 0.55);
        lastS = shimmer->process (x);
        allClean = allClean && test::zeroOrNormal (lastL) && test::zeroOrNormal (pl) && test::zeroOrNormal (pr)
                   && test::zeroOrNormal (lastD) && test::zeroOrNormal (lastS);
    }
    EXPECT_TRUE (allClean);
    EXPECT_EQ (lastL, 0.0);
    EXPECT_EQ (lastP, 0.0);
    EXPECT_EQ (lastD, 0.0);
    EXPECT_EQ (lastS, 0.0);
    EXPECT_EQ (lp.y1, 0.0);
    EXPECT_EQ (lp.y2, 0.0);
}

TEST (FeedbackDelay, EchoesAfterTheLineLengthAndFeedsBackWhatItPlayed128SamplesEarlier)
{
    const double fs = 1000.0; // line of 280 samples
    FeedbackDelay d;
    d.prepare (fs);
    std::vector<double> out;
    for (int i = 0; i < 1000; ++i)
        out.push_back (d.process (i == 0 ? 1.0 : 0.0, 0.5, 0.25));

    EXPECT_EQ (out[280], 0.5);
    // The echo at 280 enters the ring and returns 128 samples later into the line: 280 + 128 + 280.
    EXPECT_EQ (out[688], 0.5 * 0.25);
    double others = 0.0;
    for (std::size_t i = 0; i < out.size(); ++i)
        if (i != 280 && i != 688)
            others += std::abs (out[i]);
    EXPECT_EQ (others, 0.0);
}
