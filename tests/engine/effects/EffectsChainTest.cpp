#include "engine/effects/EffectsChain.h"
#include "TestSignals.h"

#include <gtest/gtest.h>

#include <complex>
#include <limits>
#include <memory>

using namespace brivola;

namespace
{
SoundParams allAt (double v)
{
    SoundParams p;
    p.values.fill (v);
    return p;
}

SoundParams with (SoundParams::Index i, double v, SoundParams p = {})
{
    p[i] = v;
    return p;
}

double magnitudeAt (const BiquadCoefficients& c, double frequency, double sampleRate)
{
    const std::complex<double> z1 = std::polar (1.0, -2.0 * std::numbers::pi * frequency / sampleRate);
    const std::complex<double> z2 = z1 * z1;
    return std::abs ((c.b0 + c.b1 * z1 + c.b2 * z2) / (1.0 + c.a1 * z1 + c.a2 * z2));
}

// Owns a prepared chain and runs signals through it in fixed chunks.
struct Chain
{
    std::unique_ptr<EffectsChain> fx = std::make_unique<EffectsChain>();
    double fs;

    explicit Chain (double sampleRate, const SoundParams& p = {}) : fs (sampleRate)
    {
        fx->prepare (sampleRate, 512);
        fx->configure (p);
    }

    // Processes `in` (mono to both channels, or stereo) in chunks; returns the left output (and
    // the right one through `right`).
    std::vector<double> run (const std::vector<double>& in, std::size_t chunk = 512, std::vector<double>* right = nullptr,
                             const std::vector<double>* chime = nullptr)
    {
        std::vector<double> l = in, r = in;
        for (std::size_t pos = 0; pos < in.size(); pos += chunk)
        {
            const std::size_t n = std::min (chunk, in.size() - pos);
            const double* c = chime != nullptr ? chime->data() + pos : nullptr;
            fx->process (l.data() + pos, r.data() + pos, c, c, n);
        }
        if (right != nullptr)
            *right = r;
        return l;
    }

    std::vector<double> silence (double seconds, std::size_t chunk = 512)
    {
        return run (std::vector<double> (static_cast<std::size_t> (seconds * fs), 0.0), chunk);
    }

    std::size_t samples (double seconds) const { return static_cast<std::size_t> (seconds * fs); }
};

std::vector<double> sine (double frequency, double amplitude, std::size_t n, double fs)
{
    std::vector<double> x (n);
    for (std::size_t i = 0; i < n; ++i)
        x[i] = amplitude * std::sin (2.0 * std::numbers::pi * frequency * static_cast<double> (i) / fs);
    return x;
}
} // namespace

//==============================================================================
TEST (EffectsTargets, AllParametersAtZero)
{
    const auto t = effectsTargets (SoundParams {}, 48000.0);
    EXPECT_DOUBLE_EQ (t.loudnessGain, std::pow (10.0, 1.0 / 20.0));
    EXPECT_EQ (t.lowPassCutoff, 16000.0);
    EXPECT_NEAR (t.lowPassQ, 1.0839, 1e-4);
    EXPECT_EQ (t.formantGainDb, 0.0);
    EXPECT_EQ (t.width, 0.5);
    for (double v : { t.saturationMix, t.chorusMix, t.phaserAmount, t.delaySend, t.delayFeedback, t.reverbSend, t.subAmount,
                      t.shimmerAmount })
        EXPECT_EQ (v, 0.0);
}

TEST (EffectsTargets, EachParameterMapsToItsAmounts)
{
    struct Case
    {
        SoundParams::Index index;
        double value;
        double EffectsTargets::*field;
        double expected;
    };
    const Case cases[] = {
        { SoundParams::reverb, 1.0, &EffectsTargets::reverbSend, 1.7 },
        { SoundParams::reverb, 0.25, &EffectsTargets::reverbSend, 0.225 },
        { SoundParams::reverb, 0.75, &EffectsTargets::reverbSend, 1.075 },
        { SoundParams::chorus, 1.0, &EffectsTargets::chorusMix, 0.95 },
        { SoundParams::chorus, 0.25, &EffectsTargets::chorusMix, 0.2 },
        { SoundParams::filter, 1.0, &EffectsTargets::lowPassCutoff, 400.0 },
        { SoundParams::filter, 0.25, &EffectsTargets::lowPassQ, std::pow (10.0, 6.7 / 20.0) }, // resonance peak
        { SoundParams::sat, 1.0, &EffectsTargets::saturationMix, 0.55 },
        { SoundParams::sat, 1.0, &EffectsTargets::saturationSteepness, 0.45 },
        { SoundParams::delay, 1.0, &EffectsTargets::delaySend, 0.75 },
        { SoundParams::delay, 1.0, &EffectsTargets::delayFeedback, 0.55 },
        { SoundParams::width, 1.0, &EffectsTargets::width, 0.65 },
        { SoundParams::sub, 1.0, &EffectsTargets::subAmount, 0.9 },
        { SoundParams::shimmer, 0.5, &EffectsTargets::shimmerAmount, 0.5 },
        { SoundParams::phaser, 1.0, &EffectsTargets::phaserAmount, 0.9 },
        { SoundParams::formant, 1.0, &EffectsTargets::formantGainDb, 8.0 },
        // Loudness in dB: 1 at rest; attack 0.4 gives +2.5, filter 1 gives +1 + 1.2, width 1 +4.7 ...
        { SoundParams::attack, 0.4, &EffectsTargets::loudnessDb, 3.5 },
        { SoundParams::attack, 1.0, &EffectsTargets::loudnessDb, 1.0 },
        { SoundParams::filter, 1.0, &EffectsTargets::loudnessDb, 2.2 },
        { SoundParams::width, 1.0, &EffectsTargets::loudnessDb, 5.7 },
        { SoundParams::formant, 1.0, &EffectsTargets::loudnessDb, -3.5 },
    };
    for (const auto& c : cases)
    {
        const auto t = effectsTargets (with (c.index, c.value), 48000.0);
        EXPECT_NEAR (t.*c.field, c.expected, 1e-9) << "index " << c.index << " value " << c.value;
    }

    // The low-pass never goes above 0.45 × rate.
    EXPECT_EQ (effectsTargets (SoundParams {}, 22050.0).lowPassCutoff, 0.45 * 22050.0);
}

//==============================================================================
TEST (EffectsChain, AtRestTheChainIsTheLowPassTimesTheStagesFixedGains)
{
    const double fs = 48000.0;
    Chain c (fs);
    const auto& lp = c.fx->lowPassCoefficientsInUse();
    const auto want = lowPassCoefficients (16000.0, std::pow (10.0, 0.7 / 20.0), fs);
    EXPECT_DOUBLE_EQ (lp.b0, want.b0);
    EXPECT_DOUBLE_EQ (lp.a1, want.a1);
    for (const auto& f : c.fx->formantCoefficientsInUse())
        for (double hz : { 100.0, 700.0, 1150.0, 2500.0, 12000.0 })
            EXPECT_NEAR (magnitudeAt (f, hz, fs), 1.0, 1e-12);
    for (auto e : { SwitchableEffect::sub, SwitchableEffect::shimmer, SwitchableEffect::delay, SwitchableEffect::phaser })
        EXPECT_FALSE (c.fx->isActive (e));

    // Quiet tones stay under every threshold, so the chain is linear: two low-pass stages, the
    // glue's makeup, the loudness gain +1 dB, the output gain +1.5 dB and the bus and limiter
    // makeups (no chorus, no saturation, width 0.5 and no reverb at rest).
    DynamicsStage glue, bus, limiter;
    glue.prepare (glueDynamics, fs);
    bus.prepare (busDynamics, fs);
    limiter.prepare (limiterDynamics, fs);
    const double fixedGain = glue.autoMakeup() * std::pow (10.0, 1.0 / 20.0) * 1.1885022274370185 * bus.autoMakeup()
                             * limiter.autoMakeup();
    for (double hz : { 1000.0, 16000.0 })
    {
        Chain chain (fs);
        const auto out = chain.run (sine (hz, 0.01, chain.samples (0.5), fs));
        const double gain = test::toneAmplitude (out, chain.samples (0.25), chain.samples (0.5), hz, fs) / 0.01;
        const double lpGain = std::pow (magnitudeAt (want, hz, fs), 2.0);
        EXPECT_NEAR (gain, lpGain * fixedGain, 1e-6 * fixedGain) << hz;
    }
}

TEST (EffectsChain, FullScaleSquareNeverExceedsMinusOneDecibel)
{
    const double ceiling = std::pow (10.0, -1.0 / 20.0);
    for (double fs : { 44100.0, 48000.0, 96000.0 })
        for (double level : { 0.0, 1.0 })
        {
            SCOPED_TRACE (::testing::Message() << fs << " Hz, parameters at " << level);
            Chain c (fs, allAt (level));
            std::vector<double> in (c.samples (2.0));
            for (std::size_t i = 0; i < in.size(); ++i)
                in[i] = (i / 55) % 2 == 0 ? 1.0 : -1.0;
            std::vector<double> right;
            const auto left = c.run (in, 512, &right);
            EXPECT_LE (test::peakOf (left), ceiling);
            EXPECT_LE (test::peakOf (right), ceiling);
            EXPECT_GT (test::peakOf (left), 0.8); // driven into the clipper, not silenced
        }
}

TEST (EffectsChain, ReverbSendRampsLinearlyOverFiftyMillisecondsAndIdenticalValuesRestartNothing)
{
    const double fs = 48000.0;
    Chain c (fs);
    c.silence (0.01); // keep the chain awake through the checks
    const std::size_t n = static_cast<std::size_t> (0.05 * fs);
    c.fx->configure (with (SoundParams::reverb, 1.0));

    std::vector<double> x (1, 0.001);
    for (std::size_t i = 1; i <= n; ++i)
    {
        c.run (x, 1);
        ASSERT_NEAR (c.fx->levels().reverbSend, 1.7 * static_cast<double> (i) / static_cast<double> (n), 1e-12) << i;
        if (i == n / 2)
            c.fx->configure (with (SoundParams::reverb, 1.0));
    }
    EXPECT_EQ (c.fx->levels().reverbSend, 1.7);
    c.fx->configure (with (SoundParams::reverb, 1.0));
    c.run (x, 1);
    EXPECT_EQ (c.fx->levels().reverbSend, 1.7);
}

TEST (EffectsChain, DelayRingsOutAfterSwitchingOffThenStopsAndRestartsFromEmptyLines)
{
    const double fs = 48000.0;
    const std::size_t echo = static_cast<std::size_t> (0.28 * fs);
    Chain c (fs, with (SoundParams::delay, 1.0));
    ASSERT_TRUE (c.fx->isActive (SwitchableEffect::delay));

    // A click, then the delay is switched off 0.1 s later: the echo due at 0.28 s still sounds.
    std::vector<double> click (c.samples (0.1), 0.0);
    click[0] = 0.5;
    c.run (click);
    c.fx->configure (SoundParams {});
    const auto after = c.silence (0.3, 1);
    const std::size_t echoAt = echo - click.size();
    EXPECT_GT (test::peakOf (after, echoAt - 2000, echoAt + 2000), 0.01);

    // The delay stops exactly floor(0.33 fs) + 128 samples after the switch.
    Chain timing (fs, with (SoundParams::delay, 1.0));
    timing.silence (0.01);
    timing.fx->configure (SoundParams {});
    const std::size_t tail = static_cast<std::size_t> (0.33 * fs) + 128;
    EXPECT_EQ (timing.fx->effectTailSamples (SwitchableEffect::delay), tail);
    std::vector<double> one (1, 0.001);
    std::size_t ran = 0;
    while (timing.fx->isActive (SwitchableEffect::delay) && ran < 2 * tail)
    {
        timing.run (one, 1);
        ++ran;
    }
    EXPECT_EQ (ran, tail);

    // Back on: the lines start empty, so the old click never comes back.
    std::vector<double> loaded (c.samples (0.1), 0.0);
    loaded[0] = 0.5;
    Chain again (fs, with (SoundParams::delay, 1.0));
    again.run (loaded);
    again.fx->configure (SoundParams {});
    again.silence (0.5);
    ASSERT_FALSE (again.fx->isActive (SwitchableEffect::delay));
    again.fx->configure (with (SoundParams::delay, 1.0));
    const auto restarted = again.run (std::vector<double> (again.samples (1.0), 0.0));
    EXPECT_LT (test::peakOf (restarted), 1e-6);
}

TEST (EffectsChain, NaNFromAVoiceIsZeroedAtTheInput)
{
    const double fs = 48000.0;
    auto in = sine (440.0, 0.3, 8192, fs);
    auto zeroed = in;
    in[1000] = std::numeric_limits<double>::quiet_NaN();
    zeroed[1000] = 0.0;
    std::vector<double> chime (in.size(), 0.0);
    chime[3000] = std::numeric_limits<double>::infinity();

    Chain a (fs, allAt (1.0)), b (fs, allAt (1.0));
    const auto got = a.run (in, 512, nullptr, &chime);
    const auto want = b.run (zeroed);
    EXPECT_EQ (got, want);
    EXPECT_EQ (a.fx->faultResetCount(), 0u);
}

TEST (EffectsChain, OverflowInsideTheChainResetsItOnceAndTheOutputStaysFinite)
{
    const double fs = 48000.0;
    Chain c (fs, allAt (1.0));
    c.run (sine (300.0, 0.5, 4096, fs));

    // Finite at the input, but the resonant filters overflow to infinity and NaN.
    std::vector<double> huge (512, 1e308);
    std::vector<double> right;
    const auto out = c.run (huge, 512, &right);
    EXPECT_EQ (c.fx->faultResetCount(), 1u);
    for (std::size_t i = 0; i < out.size(); ++i)
    {
        ASSERT_TRUE (std::isfinite (out[i]));
        ASSERT_TRUE (std::isfinite (right[i]));
    }

    // After the reset the chain plays normally again, with no further resets.
    const auto later = c.run (sine (300.0, 0.5, c.samples (0.5), fs));
    EXPECT_EQ (c.fx->faultResetCount(), 1u);
    EXPECT_GT (test::peakOf (later, later.size() / 2), 0.05);
}

TEST (EffectsChain, SleepsAfterTheTailOfSilenceAndWakesOnTheFirstNonZeroSample)
{
    const double fs = 48000.0;
    Chain c (fs, allAt (1.0));
    c.run (sine (300.0, 0.5, c.samples (0.5), fs));
    const std::size_t tail = c.fx->tailLengthSamples();
    EXPECT_EQ (tail, reverbResponseLength (fs) + 48000u + 8192u);

    // Silence one chunk short of the tail: still awake. The next chunk completes it.
    const std::size_t chunk = 512;
    std::size_t silent = 0;
    std::vector<double> zeros (chunk, 0.0);
    bool allClean = true;
    while (silent + chunk < tail)
    {
        const auto out = c.run (zeros, chunk);
        for (double v : out)
            allClean = allClean && test::zeroOrNormal (v);
        silent += chunk;
        ASSERT_FALSE (c.fx->isAsleep()) << silent;
    }
    c.run (zeros, chunk);
    EXPECT_TRUE (c.fx->isAsleep());
    EXPECT_TRUE (allClean) << "a subnormal reached the output while the tails decayed";

    // Asleep: zeros stay zeros; one non-zero chime sample wakes it.
    EXPECT_EQ (test::peakOf (c.run (zeros, chunk)), 0.0);
    std::vector<double> chime (chunk, 0.0);
    chime[100] = 0.5;
    const auto woken = c.run (zeros, chunk, nullptr, &chime);
    EXPECT_FALSE (c.fx->isAsleep());
    EXPECT_GT (test::peakOf (woken) + test::peakOf (c.run (zeros, chunk)), 0.1);
}

TEST (EffectsChain, ReverbSkipsItsConvolutionOnceItsInputWasSilentForTheTail)
{
    const double fs = 8000.0; // a short tail keeps the test quick
    Chain c (fs, with (SoundParams::reverb, 1.0));
    c.run (sine (300.0, 0.5, c.samples (0.2), fs));
    EXPECT_TRUE (c.fx->isReverbRunning());

    // Reverb off: after its ramp the send is silent, the convolution runs on for the tail, then stops.
    c.fx->configure (SoundParams {});
    const auto tone = sine (300.0, 0.05, c.samples (1.0), fs);
    std::size_t ran = 0;
    while (c.fx->isReverbRunning() && ran < 3 * c.fx->tailLengthSamples())
    {
        c.run (tone, 128);
        ran += tone.size();
    }
    EXPECT_FALSE (c.fx->isReverbRunning());
    EXPECT_GE (ran, c.fx->tailLengthSamples());
    EXPECT_FALSE (c.fx->isAsleep()); // the dry path keeps playing

    c.fx->configure (with (SoundParams::reverb, 1.0));
    c.run (tone, 128);
    EXPECT_TRUE (c.fx->isReverbRunning());
}

TEST (EffectsChain, ReverbSendCarriesTheSignalIntoTheLongTail)
{
    // A short quiet click: the dry path (filters and look-ahead dynamics) is silent half a second
    // later, the reverb still rings; with the send at 0 nothing is left there.
    const double fs = 48000.0;
    std::vector<double> click (static_cast<std::size_t> (1.5 * fs), 0.0);
    for (std::size_t i = 0; i < 64; ++i)
        click[i] = 0.05;
    Chain wet (fs, with (SoundParams::reverb, 1.0)), dry (fs);
    const auto withReverb = wet.run (click);
    const auto withoutReverb = dry.run (click);
    const std::size_t from = static_cast<std::size_t> (0.5 * fs);
    EXPECT_GT (test::peakOf (withReverb, from), 1e-6);
    EXPECT_EQ (test::peakOf (withoutReverb, from), 0.0);
}

TEST (EffectsChain, EveryEffectStaysStableAtTheLowestRates)
{
    // Below 13 kHz the shimmer's 6500 Hz low-pass and the phaser's top frequency would sit above
    // Nyquist; they are held at 0.45 × rate so the filters stay stable.
    for (double fs : { 1000.0, 4000.0, 11025.0 })
    {
        SCOPED_TRACE (fs);
        Chain c (fs, allAt (1.0));
        const auto out = c.run (sine (110.0, 0.5, static_cast<std::size_t> (3.0 * fs), fs));
        EXPECT_EQ (c.fx->faultResetCount(), 0u);
        EXPECT_GT (test::peakOf (out, out.size() / 2), 0.05);
        EXPECT_LE (test::peakOf (out), std::pow (10.0, -1.0 / 20.0));
    }
}

TEST (EffectsChain, ImpulseResponseLengthAndLevelFollowTheRate)
{
    auto at44 = std::make_unique<EffectsChain>();
    auto at96 = std::make_unique<EffectsChain>();
    at44->prepare (44100.0, 512);
    at96->prepare (96000.0, 512);
    EXPECT_EQ (at96->reverbResponse().left.size(), 769920u);
    EXPECT_EQ (at96->reverbResponse().right.size(), 769920u);

    auto rms = [] (const ReverbResponse& r) {
        double e = 0.0;
        for (std::size_t i = 0; i < r.left.size(); ++i)
            e += r.left[i] * r.left[i] + r.right[i] * r.right[i];
        return std::sqrt (e / (2.0 * static_cast<double> (r.left.size())));
    };
    EXPECT_NEAR (rms (at44->reverbResponse()), 0.0012589254117941675, 1e-15);
    EXPECT_NEAR (rms (at96->reverbResponse()) / rms (at44->reverbResponse()), 44100.0 / 96000.0, 1e-12);
}

TEST (EffectsChain, InvalidRateFallsBackTo44100)
{
    for (double rate : { 0.0, 500000.0, std::numeric_limits<double>::quiet_NaN() })
    {
        auto fx = std::make_unique<EffectsChain>();
        fx->prepare (rate, 512);
        EXPECT_EQ (fx->sampleRate(), 44100.0);
    }
}
