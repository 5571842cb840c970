#include "engine/effects/DynamicsStage.h"
#include "TestSignals.h"

#include <gtest/gtest.h>

#include <memory>

using namespace brivola;

namespace
{
struct Case
{
    const char* name;
    DynamicsSettings settings;
};

const Case stages[] = { { "glue", glueDynamics }, { "bus", busDynamics }, { "limiter", limiterDynamics } };

double db (double v) { return 20.0 * std::log10 (v); }
} // namespace

TEST (DynamicsStage, StaticCurveIsUnityBelowThresholdContinuousAndMeetsTheRatioAtTheKneeEnd)
{
    for (const auto& c : stages)
    {
        SCOPED_TRACE (c.name);
        auto stage = std::make_unique<DynamicsStage>();
        stage->prepare (c.settings, 48000.0);
        const double e = std::pow (10.0, c.settings.thresholdDb / 20.0);
        const double g = std::pow (10.0, (c.settings.thresholdDb + c.settings.kneeDb) / 20.0);

        EXPECT_EQ (stage->staticCurve (0.5 * e), 0.5 * e);
        EXPECT_NEAR (stage->staticCurve (e * (1 + 1e-9)), e, 1e-8);
        EXPECT_NEAR (stage->staticCurve (g * (1 - 1e-12)), stage->staticCurve (g * (1 + 1e-12)), 1e-9);

        // Fifteen bisection steps put the knee's slope at g within a few percent of 1 / ratio.
        const double kneeSlope = (db (stage->staticCurve (g)) - db (stage->staticCurve (g / 1.001))) / db (1.001);
        EXPECT_NEAR (kneeSlope, 1.0 / c.settings.ratio, 0.05 / c.settings.ratio);
        EXPECT_GT (stage->kneeLambda(), 0.1);
        EXPECT_LT (stage->kneeLambda(), 10000.0);

        // Above the knee: exactly 1 / ratio dB per dB.
        EXPECT_NEAR ((db (stage->staticCurve (4 * g)) - db (stage->staticCurve (2 * g))) / db (2.0), 1.0 / c.settings.ratio, 1e-9);

        // Never louder than the input, and rising with it.
        double previous = 0.0;
        for (double d = 0.001; d < 100.0; d *= 1.07)
        {
            const double y = stage->staticCurve (d);
            EXPECT_LE (y, d * (1 + 1e-12));
            EXPECT_GT (y, previous);
            previous = y;
        }

        const double expectedMakeup = std::pow (10.0, c.settings.makeupDb / 20.0) * std::pow (1.0 / stage->staticCurve (1.0), 0.6);
        EXPECT_DOUBLE_EQ (stage->autoMakeup(), expectedMakeup);
        EXPECT_EQ (stage->lookAheadSamples(), 288u);
    }
}

TEST (DynamicsStage, ReleaseCurvePassesItsFourDefiningPoints)
{
    auto stage = std::make_unique<DynamicsStage>();
    stage->prepare (glueDynamics, 48000.0);
    const double scale = 0.25 * 48000.0;
    const double at[] = { 0.09, 0.16, 0.42, 0.98 };
    for (int h = 0; h < 4; ++h)
        EXPECT_NEAR (stage->releaseSamples (h), at[h] * scale, 1e-6 * scale) << "h=" << h;
}

TEST (DynamicsStage, QuietSignalPassesAtTheMakeupGainDelayedByTheLookAhead)
{
    // Straight after a reset the gain is already at rest: a signal below the threshold comes out
    // scaled by the makeup only, from the first sample on (no fade-in, no stuck silence).
    for (const auto& c : stages)
    {
        SCOPED_TRACE (c.name);
        auto stage = std::make_unique<DynamicsStage>();
        stage->prepare (c.settings, 48000.0);
        const std::size_t la = stage->lookAheadSamples();
        test::Noise noise;
        std::vector<double> in (4000), outL (4000), outR (4000);
        for (std::size_t i = 0; i < in.size(); ++i)
        {
            in[i] = 0.05 * noise.next();
            double l = in[i], r = -in[i];
            stage->process (l, r);
            outL[i] = l;
            outR[i] = r;
        }
        for (std::size_t i = 0; i < la; ++i)
            ASSERT_EQ (outL[i], 0.0);
        for (std::size_t i = la; i < in.size(); ++i)
        {
            ASSERT_NEAR (outL[i], in[i - la] * stage->autoMakeup(), 1e-12) << i;
            ASSERT_NEAR (outR[i], -in[i - la] * stage->autoMakeup(), 1e-12) << i;
        }
    }
}

TEST (DynamicsStage, LoudBurstIsHeldNearTheCurveThenTheGainRecovers)
{
    const double fs = 48000.0;
    auto stage = std::make_unique<DynamicsStage>();
    stage->prepare (busDynamics, fs);
    const std::size_t la = stage->lookAheadSamples();

    // 0.5 s of a 4.0 peak square wave, then a quiet 0.01 one.
    std::vector<double> out;
    const std::size_t loud = static_cast<std::size_t> (0.5 * fs);
    const std::size_t total = loud + static_cast<std::size_t> (1.5 * fs);
    for (std::size_t i = 0; i < total; ++i)
    {
        const double level = i < loud ? 4.0 : 0.01;
        double l = (i / 50) % 2 == 0 ? level : -level;
        double r = l;
        stage->process (l, r);
        out.push_back (l);
    }

    // Settled: the gain equals the curve's gain at d = 4 (within the smoothing's ripple).
    const double wanted = stage->staticCurve (4.0) * stage->autoMakeup();
    EXPECT_NEAR (test::peakOf (out, loud - 2000, loud), wanted, 0.05 * wanted);
    // The attack acts before the signal reaches the output (look-ahead): no big overshoot at onset.
    EXPECT_LT (test::peakOf (out, 0, la + 2000), 4.0 * stage->autoMakeup() * 0.6);
    // 1.5 s later the quiet signal is back at the makeup gain.
    EXPECT_NEAR (test::peakOf (out, total - 1000, total), 0.01 * stage->autoMakeup(), 1e-3 * 0.01);
}

TEST (DynamicsStage, NonFiniteInputIsTreatedAsSilence)
{
    auto stage = std::make_unique<DynamicsStage>();
    stage->prepare (limiterDynamics, 48000.0);
    const std::size_t la = stage->lookAheadSamples();
    bool finite = true;
    double atNan = 1.0;
    for (std::size_t i = 0; i < 2000; ++i)
    {
        double l = i == 100 ? std::numeric_limits<double>::quiet_NaN() : 0.2;
        double r = i == 100 ? std::numeric_limits<double>::infinity() : 0.2;
        stage->process (l, r);
        finite = finite && std::isfinite (l) && std::isfinite (r);
        if (i == 100 + la)
            atNan = l;
    }
    EXPECT_TRUE (finite);
    EXPECT_EQ (atNan, 0.0);
}
