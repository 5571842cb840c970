// The scope picture: trigger, wave, bands, smoothing, silence and idle.
#include "editor/ScopeAnalysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using namespace brivola;

namespace
{
struct Scope
{
    OutputCapture capture;
    ScopeAnalysis analysis;
    ScopeView view;
    double phase = 0.0;

    explicit Scope (double rate)
    {
        capture.prepare (rate);
        capture.setCaptureEnabled (true);
    }

    void feed (const std::vector<double>& mono)
    {
        capture.captureScope (mono.data(), mono.data(), mono.size());
    }

    void sine (double hz, double rate, std::size_t n, double amplitude = 0.8)
    {
        std::vector<double> s (n);
        for (auto& v : s)
        {
            v = amplitude * std::sin (phase);
            phase += 2.0 * M_PI * hz / rate;
        }
        feed (s);
    }

    void constant (double value, std::size_t n) { feed (std::vector<double> (n, value)); }
};

std::size_t tallest (const std::array<float, ScopeAnalysis::numBands>& bars)
{
    return static_cast<std::size_t> (std::max_element (bars.begin(), bars.end()) - bars.begin());
}
} // namespace

TEST (ScopeAnalysis, A440SineStandsStillAndItsBandIsTallest)
{
    Scope s (44100.0);
    s.sine (440.0, 44100.0, 4096);
    ASSERT_EQ (scopeTick (s.view, s.analysis, s.capture), ScopeOutcome::picture);
    auto previous = s.view.wave;
    EXPECT_GT (previous[0], 0.0f);
    EXPECT_LT (previous[0], 0.8f * 2.0f * float (M_PI) * 440.0f / 44100.0f + 1e-4f);

    for (int picture = 0; picture < 5; ++picture)
    {
        s.sine (440.0, 44100.0, 735);
        EXPECT_EQ (scopeTick (s.view, s.analysis, s.capture), ScopeOutcome::nothing);
        s.sine (440.0, 44100.0, 735);
        ASSERT_EQ (scopeTick (s.view, s.analysis, s.capture), ScopeOutcome::picture);

        // Within one sample's phase step of the last picture everywhere.
        float worst = 0.0f;
        for (std::size_t i = 0; i < ScopeAnalysis::waveSize; ++i)
            worst = std::max (worst, std::abs (s.view.wave[i] - previous[i]));
        EXPECT_LT (worst, 0.8f * 2.0f * float (M_PI) * 440.0f / 44100.0f + 1e-4f);
        previous = s.view.wave;
    }

    // The band whose range holds 440 Hz: 50 × 320^(b/32) ≤ 440 < 50 × 320^((b+1)/32) for b = 12.
    EXPECT_EQ (s.view.bars[tallest (s.view.bars)], s.view.bars[12]);
    EXPECT_GT (s.view.bars[12], 0.7f); // a 0.8 sine under the window: about −16 dB
    EXPECT_LT (s.view.bars[25], s.view.bars[12] - 0.3f);
}

TEST (ScopeAnalysis, WithoutARisingCrossingTheWaveStartsAtTheOldestSample)
{
    Scope s (44100.0);
    s.constant (0.5, 4096);
    ASSERT_EQ (scopeTick (s.view, s.analysis, s.capture), ScopeOutcome::picture);
    for (const float v : s.view.wave)
        EXPECT_EQ (v, 0.5f);

    // A ramp that only falls: k = 0 as well, so the wave is the first 512 copied samples.
    Scope r (44100.0);
    std::vector<double> ramp (4096);
    for (std::size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = 1.0 - 2.0 * static_cast<double> (i) / 4096.0;
    r.feed (ramp);
    ASSERT_EQ (scopeTick (r.view, r.analysis, r.capture), ScopeOutcome::picture);
    EXPECT_FLOAT_EQ (r.view.wave[0], static_cast<float> (ramp[4096 - 1024]));
    EXPECT_FLOAT_EQ (r.view.wave[511], static_cast<float> (ramp[4096 - 1024 + 511]));
}

TEST (ScopeAnalysis, BandTables)
{
    const auto at44 = ScopeAnalysis::buildBands (44100.0);
    EXPECT_EQ (at44[0].first, 2u);
    EXPECT_EQ (at44[0].end, 3u);
    for (const auto& band : at44)
    {
        EXPECT_LT (band.first, band.end);
        EXPECT_LE (band.end, ScopeAnalysis::numBins);
    }

    // At 8 kHz the bands above about 4 kHz start beyond the last bin and stay empty.
    const auto at8 = ScopeAnalysis::buildBands (8000.0);
    int empty = 0;
    for (std::size_t b = 0; b < ScopeAnalysis::numBands; ++b)
    {
        const double f0 = 50.0 * std::pow (320.0, b / 32.0);
        const bool beyond = f0 / (8000.0 / 2048.0) >= 1024.0;
        EXPECT_EQ (at8[b].first >= at8[b].end, beyond) << b;
        empty += beyond ? 1 : 0;
    }
    EXPECT_GE (empty, 7);
}

TEST (ScopeAnalysis, At8kHzTheTopBarsStayEmpty)
{
    Scope s (8000.0);
    std::mt19937 random (7);
    std::uniform_real_distribution<double> noise (-0.9, 0.9);
    std::vector<double> samples (4096);
    for (auto& v : samples)
        v = noise (random);
    s.feed (samples);
    ASSERT_EQ (scopeTick (s.view, s.analysis, s.capture), ScopeOutcome::picture);

    const auto& bands = s.analysis.getBands();
    for (std::size_t b = 0; b < ScopeAnalysis::numBands; ++b)
    {
        if (bands[b].first >= bands[b].end)
            EXPECT_EQ (s.view.bars[b], 0.0f) << b;
        else
            EXPECT_GT (s.view.bars[b], 0.0f) << b;
    }
    EXPECT_EQ (s.view.bars[31], 0.0f);
}

TEST (ScopeAnalysis, SmoothingHalvesAfterSilenceAndANewPreparationStartsAfresh)
{
    Scope s (44100.0);
    s.sine (1000.0, 44100.0, 4096);
    scopeTick (s.view, s.analysis, s.capture);
    scopeTick (s.view, s.analysis, s.capture);
    const std::size_t bin = 46; // 1000 Hz / 21.53 Hz
    const double loud = s.analysis.getSmoothed (bin);
    ASSERT_GT (loud, 0.01);

    // Fresh sine gives the same magnitude: the smoothed value moves halfway towards it.
    s.sine (1000.0, 44100.0, 4096);
    scopeTick (s.view, s.analysis, s.capture);
    scopeTick (s.view, s.analysis, s.capture);
    const double target = loud * 2.0; // first analysis started from 0
    EXPECT_NEAR (s.analysis.getSmoothed (bin), 0.5 * loud + 0.5 * target, target * 0.02);

    const double before = s.analysis.getSmoothed (bin);
    s.constant (0.0, 4096);
    scopeTick (s.view, s.analysis, s.capture);
    EXPECT_DOUBLE_EQ (s.analysis.getSmoothed (bin), before * 0.5);
    for (const float v : s.view.wave)
        ASSERT_EQ (v, 0.0f);
    EXPECT_GT (s.view.bars[tallest (s.view.bars)], 0.0f);

    // A new preparation (at another rate) clears the smoothing and rebuilds the bands.
    s.capture.prepare (8000.0);
    s.capture.setCaptureEnabled (true);
    s.view = {};
    ASSERT_EQ (scopeTick (s.view, s.analysis, s.capture), ScopeOutcome::picture);
    EXPECT_EQ (s.analysis.getSmoothed (bin), 0.0);
    EXPECT_EQ (s.analysis.getBands()[31].first, ScopeAnalysis::buildBands (8000.0)[31].first);
}

TEST (ScopeAnalysis, SilenceDecaysToZeroThenIdleIsSentOnce)
{
    Scope s (44100.0);
    s.sine (440.0, 44100.0, 4096);
    ASSERT_EQ (scopeTick (s.view, s.analysis, s.capture), ScopeOutcome::picture);
    s.constant (0.0, 4096);

    int pictures = 0, idles = 0, ticks = 0;
    for (; ticks < 400; ++ticks)
    {
        const auto outcome = scopeTick (s.view, s.analysis, s.capture);
        pictures += outcome == ScopeOutcome::picture ? 1 : 0;
        idles += outcome == ScopeOutcome::idle ? 1 : 0;
    }
    // About −6 dB per analysis down to −70 dB: a handful of decaying pictures, then one idle,
    // then nothing.
    EXPECT_GE (pictures, 5);
    EXPECT_LE (pictures, 40);
    EXPECT_EQ (idles, 1);

    // Sound again: pictures again, and a later silence gets a fresh idle.
    s.sine (440.0, 44100.0, 100);
    auto outcome = scopeTick (s.view, s.analysis, s.capture);
    if (outcome == ScopeOutcome::nothing)
        outcome = scopeTick (s.view, s.analysis, s.capture);
    EXPECT_EQ (outcome, ScopeOutcome::picture);
}

TEST (ScopeAnalysis, TinyNoiseNeverGoesIdle)
{
    Scope s (44100.0);
    std::vector<double> hiss (4096);
    for (std::size_t i = 0; i < hiss.size(); ++i)
        hiss[i] = (i % 2 == 0 ? 1e-7 : -1e-7);
    s.feed (hiss);
    for (int t = 0; t < 200; ++t)
        EXPECT_NE (scopeTick (s.view, s.analysis, s.capture), ScopeOutcome::idle);
}

TEST (ScopeAnalysis, CaptureOffClearsThePhaseSoTheNextCaptureStartsWithAPicture)
{
    Scope s (44100.0);
    s.sine (440.0, 44100.0, 4096);
    EXPECT_EQ (scopeTick (s.view, s.analysis, s.capture), ScopeOutcome::picture);
    s.capture.setCaptureEnabled (false);
    EXPECT_EQ (scopeTick (s.view, s.analysis, s.capture), ScopeOutcome::nothing);
    EXPECT_FALSE (s.view.phase);
    s.capture.setCaptureEnabled (true);
    EXPECT_EQ (scopeTick (s.view, s.analysis, s.capture), ScopeOutcome::picture);
}

TEST (ScopeAnalysis, RoundingToThreeDecimals)
{
    EXPECT_FLOAT_EQ (roundScopeValue (0.12345f), 0.123f);
    EXPECT_FLOAT_EQ (roundScopeValue (-0.0125f), -0.013f);
    EXPECT_FLOAT_EQ (roundScopeValue (1.0f), 1.0f);
    EXPECT_EQ (roundScopeValue (0.0004f), 0.0f);
}
