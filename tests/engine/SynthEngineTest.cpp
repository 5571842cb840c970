#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

using namespace brivola;
using test::liveCell;

namespace
{
constexpr int heart = 2, diamond = 3, gear = 5, star = 6, clover = 1;

double cents (double ratio) { return 1200.0 * std::log2 (ratio); }

/** An engine driven like the processor drives it: sub-blocks cut at dish ticks (60 per second), the
    dish update and the pings after each tick, the ping clock per chunk. */
class EngineTest : public ::testing::Test
{
protected:
    static constexpr double sampleRate = 44100.0;

    void SetUp() override
    {
        engine.prepare (sampleRate);
        SoundParams p;
        engine.applyParams (p);
    }

    /** Renders `samples` samples in chunks of 512; returns the left channel. */
    std::vector<double> run (int samples, std::uint64_t eventsPerTick = 0)
    {
        std::vector<double> out;
        std::vector<double> l (512), r (512);
        while (samples > 0)
        {
            const int chunk = std::min (samples, 512);
            int done = 0;
            while (done < chunk)
            {
                const int toTick = static_cast<int> (std::ceil (samplesPerTick - accumulator));
                const int n = std::min (chunk - done, std::max (toTick, 1));
                engine.render (l.data() + done, r.data() + done, n);
                done += n;
                accumulator += n;
                if (accumulator >= samplesPerTick)
                {
                    accumulator -= samplesPerTick;
                    engine.updateFromDish (cells, false);
                    engine.firePing (eventsPerTick);
                }
            }
            engine.advancePingClock (chunk);
            out.insert (out.end(), l.begin(), l.begin() + chunk);
            samples -= chunk;
        }
        return out;
    }

    int seconds (double s) const { return static_cast<int> (std::lround (s * sampleRate)); }

    SynthEngine engine;
    DishCells cells {};
    double samplesPerTick = sampleRate / 60.0;
    double accumulator = 0.0;
};

double peakOf (const std::vector<double>& x, std::size_t from = 0, std::size_t to = SIZE_MAX)
{
    double p = 0.0;
    for (std::size_t i = from; i < std::min (to, x.size()); ++i)
        p = std::max (p, std::abs (x[i]));
    return p;
}
} // namespace

//==============================================================================
TEST (EngineFormulas, EnvelopeSettingsFromAttack)
{
    struct Case
    {
        double k, attack, release, decay, drop;
    };
    for (const auto& c : { Case { 0.0, 0.002, 1.6, 2.8, 7.0 }, Case { 0.4, 0.002, 0.06, 0.45, 70.0 },
                           Case { 1.0, 0.6, 1.6, 2.8, 7.0 }, Case { 0.2, 0.002, 0.309839, 1.122497, 38.5 },
                           Case { 0.7, 0.034641, 0.309839, 1.122497, 38.5 } })
    {
        const auto e = envelopeSettingsFor (c.k);
        EXPECT_NEAR (e.attack, c.attack, 1e-6) << c.k;
        EXPECT_NEAR (e.release, c.release, 1e-6) << c.k;
        EXPECT_NEAR (e.decay, c.decay, 1e-6) << c.k;
        EXPECT_NEAR (e.sustainDrop, c.drop, 1e-9) << c.k;
    }
}

TEST (EngineFormulas, StartLevel)
{
    // 24 live cells of mass 1 at velocity 1: -10 log10 24 - 10 - 0.5 = -24.30 dB.
    EXPECT_NEAR (voiceLevelDb (24, 1.0, 1.0), -24.302, 0.001);
    EXPECT_NEAR (voiceLevelDb (1, 1.0, 1.0), -10.5, 1e-12);
    EXPECT_NEAR (voiceLevelDb (0, 1.0, 1.0), -10.5, 1e-12) << "no cells count as one";
    EXPECT_NEAR (voiceLevelDb (1, 30.0, 1.0), -18.0, 1e-12) << "mass adds at most 8 dB";
    EXPECT_NEAR (voiceLevelDb (1000000, 10.0, 1.0), -40.0, 1e-12) << "floor";
    EXPECT_NEAR (voiceLevelDb (1, 1.0, 0.5), -10.5 + 40.0 * std::log10 (0.5), 1e-12);
    EXPECT_NEAR (voiceLevelDb (1, 1.0, 0.0), -40.5, 1e-12) << "velocity takes at most 30 dB";
    EXPECT_NEAR (voiceLevelDb (1, 1.0, 1.5), -10.5, 1e-12);
}

TEST (EngineFormulas, DetuneIsAFixedFunctionOfTheId)
{
    EXPECT_EQ (cellDetuneCents (0), cellDetuneCents (0));
    for (std::int32_t id : { 0, 1, 2, 77, 16777215 })
    {
        EXPECT_GE (cellDetuneCents (id), -25.0);
        EXPECT_LE (cellDetuneCents (id), 25.0);
    }
    EXPECT_NE (cellDetuneCents (0), cellDetuneCents (1));
    // The hash of (7 id + 11) xor 0x9E3779B9, spread to +-25 cents.
    EXPECT_DOUBLE_EQ (cellDetuneCents (0), (2.0 * hash01 (11u ^ 0x9E3779B9u) - 1.0) * 25.0);
}

//==============================================================================
TEST_F (EngineTest, FreshEngineIsSilentAndRenderOverwrites)
{
    EXPECT_FALSE (engine.anySounding());
    std::vector<double> l (300, 7.0), r (300, -7.0);
    engine.render (l.data(), r.data(), 300);
    EXPECT_EQ (peakOf (l), 0.0);
    EXPECT_EQ (peakOf (r), 0.0);

    cells[0] = liveCell (1, heart, 4);
    engine.updateFromDish (cells, true);
    engine.noteOn (cells, false, 261.63, 1.0);
    std::vector<double> a (300, 0.0), b (300, 0.0), c (300, 5.0), d (300, 5.0);
    SynthEngine twin;
    twin.prepare (sampleRate);
    twin.applyParams (SoundParams {});
    twin.updateFromDish (cells, true);
    twin.noteOn (cells, false, 261.63, 1.0);
    engine.render (a.data(), b.data(), 300);
    twin.render (c.data(), d.data(), 300);
    EXPECT_EQ (a, c) << "the block is written, not added to";
    EXPECT_EQ (b, d);
}

TEST_F (EngineTest, TwentyFourCellsStartAtTheirLevelAndTheMeterUndoesTheCount)
{
    for (int i = 0; i < dishCapacity; ++i)
        cells[static_cast<std::size_t> (i)] = liveCell (i, -1, i % 8, 1.0);
    engine.updateFromDish (cells, true);
    engine.noteOn (cells, false, 261.63, 1.0);

    EXPECT_EQ (engine.activeCellCount(), 24u);
    const double want = std::pow (10.0, (-10.0 * std::log10 (24.0) - 10.5) / 20.0);
    for (int i = 0; i < dishCapacity; ++i)
    {
        const auto& v = engine.voice (i);
        EXPECT_EQ (v.cellId, i);
        EXPECT_TRUE (v.sounding);
        EXPECT_NEAR (v.envelope.peak, want, 1e-12);
        EXPECT_NEAR (20.0 * std::log10 (v.envelope.peak), -24.30, 0.005);
    }
}

TEST_F (EngineTest, DetuneDepthZeroPutsEveryVoiceOnTheBasePitch)
{
    for (int i = 0; i < 6; ++i)
        cells[static_cast<std::size_t> (i)] = liveCell (i * 11, -1, i);
    engine.updateFromDish (cells, true);
    engine.noteOn (cells, false, 300.0, 1.0);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ (engine.voice (i).frequency, 300.0);

    SoundParams p;
    p[SoundParams::detune] = 1.0;
    engine.applyParams (p);
    engine.noteOn (cells, false, 300.0, 1.0);
    const double cell0 = cents (engine.voice (0).frequency / 300.0);
    EXPECT_NEAR (cell0, cellDetuneCents (0), 1e-9);
    EXPECT_NE (cell0, 0.0);
    for (int i = 1; i < 6; ++i)
        EXPECT_NEAR (cents (engine.voice (i).frequency / 300.0), cellDetuneCents (i * 11), 1e-9);

    // Another engine, another note: the same cents for cell 0.
    SynthEngine other;
    other.prepare (48000.0);
    other.applyParams (p);
    other.updateFromDish (cells, true);
    other.noteOn (cells, false, 440.0, 0.3);
    EXPECT_NEAR (cents (other.voice (0).frequency / 440.0), cell0, 1e-9);
}

TEST_F (EngineTest, NoteOnStartsLiveCellsOnlyAndSoundsFromTheOnset)
{
    cells[0] = liveCell (1, heart, 4);
    cells[1] = liveCell (2, star, 1);
    cells[2] = liveCell (3, gear, 3);
    cells[2].dying = true;
    engine.updateFromDish (cells, true);

    const auto before = run (100);
    EXPECT_EQ (peakOf (before), 0.0) << "no note, no sound";
    engine.noteOn (cells, false, 261.63, 1.0);
    EXPECT_TRUE (engine.gateIsOn());
    EXPECT_EQ (engine.activeCellCount(), 2u);
    EXPECT_TRUE (engine.voice (0).sounding);
    EXPECT_TRUE (engine.voice (1).sounding);
    EXPECT_FALSE (engine.voice (2).sounding) << "a dying cell is not started";

    // The vibrato line delays every voice by 2.5 ms, moving by up to its depth around that.
    const auto after = run (seconds (0.2));
    const auto delay = static_cast<std::size_t> (0.0025 * (1.0 - 0.15) * sampleRate) - 1;
    EXPECT_EQ (peakOf (after, 0, delay), 0.0);
    EXPECT_GT (peakOf (after, delay, delay + 60), 0.0) << "sound from the onset, one vibrato delay later";
    EXPECT_GT (peakOf (after), 0.01);
}

TEST_F (EngineTest, ReleaseTakesTheEnvelopesReleaseTime)
{
    cells[0] = liveCell (5, heart, 0, 2.0);
    engine.updateFromDish (cells, true);
    engine.noteOn (cells, false, 261.63, 1.0);
    (void) run (seconds (0.5));

    engine.gateOff();
    engine.releaseAll();
    EXPECT_FALSE (engine.voice (0).envelope.holding);
    const double release = 0.05 * 2.0 + 1.6; // mass 2, "attack" 0
    EXPECT_DOUBLE_EQ (engine.voice (0).envelope.release, release);

    const auto tail = run (seconds (release + 0.1));
    const auto end = static_cast<std::size_t> (seconds (release));
    EXPECT_GT (peakOf (tail, end - 2000, end - 1000), 0.0);
    EXPECT_EQ (peakOf (tail, end + 600), 0.0) << "silent once the release time has passed";
    EXPECT_FALSE (engine.anySounding());
    EXPECT_FALSE (engine.voice (0).sounding);
    EXPECT_EQ (engine.voice (0).cellId, 5) << "the cell keeps its voice";
}

TEST_F (EngineTest, LegatoGlidesInThreeTicksOtherNotesJump)
{
    cells[0] = liveCell (1, -1, 0);
    engine.updateFromDish (cells, true);
    engine.noteOn (cells, false, 200.0, 1.0);
    EXPECT_EQ (engine.currentBaseFrequency(), 200.0);

    engine.noteOn (cells, true, 400.0, 1.0);
    EXPECT_EQ (engine.currentBaseFrequency(), 200.0);
    EXPECT_DOUBLE_EQ (engine.glideRemaining(), 0.05);
    std::vector<double> seen;
    for (int t = 0; t < 4; ++t)
    {
        engine.updateFromDish (cells, false);
        seen.push_back (engine.currentBaseFrequency());
    }
    EXPECT_NEAR (seen[0], 200.0 * std::pow (2.0, 1.0 / 3.0), 1e-9);
    EXPECT_NEAR (seen[1], 200.0 * std::pow (2.0, 2.0 / 3.0), 1e-9);
    EXPECT_EQ (seen[2], 400.0);
    EXPECT_EQ (seen[3], 400.0);
    EXPECT_EQ (engine.glideRemaining(), 0.0);
    EXPECT_EQ (engine.voice (0).frequency, 400.0) << "the voices follow the glide";

    engine.noteOn (cells, false, 100.0, 1.0);
    EXPECT_EQ (engine.currentBaseFrequency(), 100.0);
    EXPECT_EQ (engine.voice (0).frequency, 100.0);
}

TEST_F (EngineTest, AReplacingCellWaitsForSilenceAndForTheGate)
{
    cells[0] = liveCell (1, heart, 4);
    engine.updateFromDish (cells, true);
    engine.noteOn (cells, false, 261.63, 1.0);
    (void) run (seconds (0.3));

    // Another cell takes slot 0 while the first one's voice still sounds: 8 ms release first.
    cells[0] = liveCell (2, star, 1);
    engine.updateFromDish (cells, false);
    EXPECT_EQ (engine.voice (0).cellId, 1);
    EXPECT_FALSE (engine.voice (0).envelope.holding);
    EXPECT_NEAR (engine.voice (0).envelope.release, 0.008, 1e-15);

    (void) run (seconds (0.005));
    engine.updateFromDish (cells, false);
    EXPECT_EQ (engine.voice (0).cellId, 1) << "still above 0.001 after 5 ms";

    (void) run (seconds (0.01));
    EXPECT_LE (engine.voice (0).envelope.level(), 0.001);
    engine.updateFromDish (cells, false);
    EXPECT_EQ (engine.voice (0).cellId, 2);
    EXPECT_TRUE (engine.voice (0).sounding) << "the gate is on: the new cell starts";
    EXPECT_TRUE (engine.voice (0).envelope.holding);

    // With the gate off a newcomer is assigned but stays silent.
    engine.gateOff();
    engine.releaseAllFast();
    (void) run (seconds (0.02));
    cells[0] = liveCell (3, gear, 2);
    engine.updateFromDish (cells, false);
    EXPECT_EQ (engine.voice (0).cellId, 3);
    EXPECT_FALSE (engine.voice (0).envelope.holding);
    EXPECT_FALSE (engine.anySounding());
}

TEST_F (EngineTest, AVanishedCellReleasesAndFreesItsVoice)
{
    cells[0] = liveCell (9, heart, 1, 1.0);
    engine.updateFromDish (cells, true);
    engine.noteOn (cells, false, 261.63, 1.0);
    (void) run (seconds (0.1));

    cells[0] = Cell {};
    engine.updateFromDish (cells, false);
    EXPECT_FALSE (engine.voice (0).envelope.holding);
    EXPECT_EQ (engine.voice (0).cellId, 9) << "freed only after its release";
    (void) run (seconds (1.8));
    EXPECT_EQ (engine.voice (0).cellId, -1);
    EXPECT_EQ (engine.voice (0).timbre, nullptr);
    EXPECT_EQ (engine.voiceCellId (0), -1);
}

TEST_F (EngineTest, CellPositionSetsPanAndBrightness)
{
    cells[0] = liveCell (1, -1, 0, 1.0, 0.5, 0.0);
    cells[1] = liveCell (2, -1, 0, 1.0, -0.2, -2.0);
    cells[2] = liveCell (3, -1, 0, 1.0, 0.0, 2.0);
    engine.updateFromDish (cells, true);

    const double theta = (0.5 + 1.0) * std::numbers::pi / 4.0;
    EXPECT_DOUBLE_EQ (engine.voice (0).panLeft, std::cos (theta));
    EXPECT_DOUBLE_EQ (engine.voice (0).panRight, std::sin (theta));

    LowPassBiquad bright, dark;
    bright.setCutoff (16000.0, sampleRate);
    dark.setCutoff (400.0, sampleRate);
    EXPECT_DOUBLE_EQ (engine.voice (1).lowPass.b0, bright.b0) << "y = -2: the brightest, 16 kHz";
    EXPECT_DOUBLE_EQ (engine.voice (1).lowPass.a1, bright.a1);
    EXPECT_DOUBLE_EQ (engine.voice (2).lowPass.b0, dark.b0) << "y = 2: the darkest, 400 Hz";

    // Full width spreads the pan 3.5 times: x = 0.5 lands hard right.
    SoundParams p;
    p[SoundParams::width] = 1.0;
    engine.applyParams (p);
    EXPECT_DOUBLE_EQ (engine.panSpread(), 3.5);
    engine.updateFromDish (cells, true);
    EXPECT_NEAR (engine.voice (0).panLeft, 0.0, 1e-15);
    EXPECT_DOUBLE_EQ (engine.voice (0).panRight, 1.0);
}

TEST_F (EngineTest, FoldAmountFollowsProximitySmoothly)
{
    cells[0] = liveCell (1, heart, 4);
    cells[0].proximity = 0.5;
    engine.updateFromDish (cells, false);
    EXPECT_DOUBLE_EQ (engine.voice (0).fold.amount, 0.06);
    engine.updateFromDish (cells, false);
    EXPECT_DOUBLE_EQ (engine.voice (0).fold.amount, 0.06 + 0.44 * 0.12);
    EXPECT_DOUBLE_EQ (engine.voice (0).fold.compensationGain, std::pow (10.0, -engine.voice (0).fold.amount * 7.37 / 20.0));

    engine.updateFromDish (cells, true);
    EXPECT_EQ (engine.voice (0).fold.amount, 0.5);

    cells[0].dying = true;
    engine.updateFromDish (cells, true);
    EXPECT_EQ (engine.voice (0).fold.amount, 0.0);

    cells[0].dying = false;
    cells[0].proximity = 0.0005;
    engine.updateFromDish (cells, false);
    EXPECT_EQ (engine.voice (0).fold.amount, 0.0) << "amounts below 0.0001 snap to 0";
}

TEST_F (EngineTest, BendAndModulation)
{
    cells[0] = liveCell (1, heart, 4);
    engine.updateFromDish (cells, true);
    engine.noteOn (cells, false, 300.0, 1.0);
    engine.setBend (std::pow (2.0, 2.0 / 12.0));
    EXPECT_NEAR (engine.voice (0).frequency, 300.0 * std::pow (2.0, 2.0 / 12.0), 1e-9);
    engine.setBend (1.0);
    EXPECT_EQ (engine.voice (0).frequency, 300.0);

    engine.setModulation (0.25);
    EXPECT_DOUBLE_EQ (engine.voice (0).vibrato.depth, 0.15 + 0.25);
    engine.setModulation (7.0);
    EXPECT_EQ (engine.voice (0).vibrato.depth, 1.0);
    engine.setModulation (std::nan (""));
    EXPECT_EQ (engine.modulationDepth(), 0.0);
}

TEST_F (EngineTest, PeakMeterHoldsTheLargestEnvelopedSample)
{
    cells[0] = liveCell (1, star, 1);
    engine.updateFromDish (cells, true);
    engine.noteOn (cells, false, 261.63, 1.0);
    const auto out = run (seconds (0.05));
    const double pan = engine.voice (0).panLeft;
    const double peak = engine.takeVoicePeak (0);
    EXPECT_NEAR (peak, peakOf (out) / pan, 1e-12);
    EXPECT_EQ (engine.takeVoicePeak (0), 0.0) << "taking resets";
    EXPECT_EQ (engine.takeVoicePeak (5), 0.0);
    EXPECT_EQ (engine.voiceCellId (0), 1);
    EXPECT_EQ (engine.voiceCellId (5), -1);
}

TEST_F (EngineTest, PreviewReleaseAfterAttack)
{
    SoundParams p;
    p[SoundParams::attack] = 1.0; // 0.6 s attacks
    engine.applyParams (p);
    cells[0] = liveCell (1, heart, 4, 1.0);
    engine.updateFromDish (cells, true);
    engine.noteOn (cells, false, 261.63, 1.0);
    const double attack = engine.voice (0).envelope.attack;
    engine.gateOff();
    engine.releaseEachAfterAttack();
    EXPECT_TRUE (engine.voice (0).envelope.releaseAfterAttack);
    EXPECT_TRUE (engine.voice (0).envelope.holding);

    (void) run (seconds (attack) + 2);
    EXPECT_FALSE (engine.voice (0).envelope.holding) << "released where the attack ended";
    EXPECT_NEAR (engine.voice (0).envelope.releaseStartLevel, engine.voice (0).envelope.peak, 1e-3);
}

TEST_F (EngineTest, LongHeldPluckDecaysToExactZeros)
{
    cells[0] = liveCell (1, clover, 1);
    engine.updateFromDish (cells, true);
    engine.noteOn (cells, false, 261.63, 1.0);
    const auto out = run (seconds (12.0));
    EXPECT_TRUE (engine.voice (0).sounding) << "the note is still held";
    EXPECT_GT (peakOf (out, 0, 4410), 0.0);
    EXPECT_EQ (peakOf (out, out.size() - 44100), 0.0);
    EXPECT_EQ (engine.voice (0).lowPass.y1, 0.0);
}

//==============================================================================
TEST_F (EngineTest, PingsComeAtMostEvery60Milliseconds)
{
    std::vector<double> pingTimes;
    double time = 0.0;
    std::uint64_t lastCount = 0;
    // Events on every tick for two seconds: a ping can start at most every fourth tick (66.7 ms).
    for (int chunk = 0; chunk < 172; ++chunk)
    {
        (void) run (512, 1);
        time += 512.0 / sampleRate;
        if (engine.pingCount() != lastCount)
        {
            EXPECT_EQ (engine.pingCount(), lastCount + 1) << "at most one ping per batch";
            lastCount = engine.pingCount();
            pingTimes.push_back (time);
        }
    }
    ASSERT_GT (pingTimes.size(), 10u);
    for (std::size_t i = 1; i < pingTimes.size(); ++i)
        EXPECT_GE (pingTimes[i] - pingTimes[i - 1], 0.06 - 512.0 / sampleRate);
    EXPECT_LE (static_cast<double> (pingTimes.size()), 2.0 / 0.06 + 1.0);

    const std::uint64_t before = engine.pingCount();
    engine.advancePingClock (44100);
    engine.firePing (0);
    EXPECT_EQ (engine.pingCount(), before) << "no events, no ping";
}

TEST_F (EngineTest, ThePingAfterThirtyTwoReusesSlotZero)
{
    for (int i = 0; i < 32; ++i)
    {
        engine.advancePingClock (seconds (0.06));
        engine.firePing (3);
    }
    EXPECT_EQ (engine.pingWriteIndex(), 0);
    std::vector<double> l (64), r (64);
    engine.renderOneShotsAndPings (l.data(), r.data(), 64);
    EXPECT_TRUE (engine.ping (0).active);
    EXPECT_GT (engine.ping (0).time, 0.0);

    engine.advancePingClock (seconds (0.06));
    engine.firePing (1);
    EXPECT_EQ (engine.pingWriteIndex(), 1);
    EXPECT_TRUE (engine.ping (0).active);
    EXPECT_EQ (engine.ping (0).time, 0.0) << "slot 0 restarts although it still sounds";
}

TEST_F (EngineTest, PingPitchesAndLifetime)
{
    cells[0] = liveCell (1, -1, 0);
    engine.noteOn (cells, false, 200.0, 1.0);
    for (int i = 0; i < 40; ++i)
    {
        engine.advancePingClock (seconds (0.06));
        engine.firePing (1);
        const double f = engine.ping ((engine.pingWriteIndex() + 31) % 32).frequency;
        const double semis = 12.0 * std::log2 (f / 200.0);
        const double nearest = std::round (semis);
        EXPECT_NEAR (semis, nearest, 1e-9);
        EXPECT_TRUE (nearest == 0 || nearest == 7 || nearest == 12 || nearest == 19 || nearest == 24) << nearest;
    }

    // Two engines prepared alike chime the same intervals.
    SynthEngine a, b;
    a.prepare (sampleRate);
    b.prepare (sampleRate);
    for (int i = 0; i < 20; ++i)
    {
        a.advancePingClock (seconds (0.1));
        b.advancePingClock (seconds (0.1));
        a.firePing (1);
        b.firePing (2);
        EXPECT_EQ (a.ping (i).frequency, b.ping (i).frequency);
    }

    // A very high base pitch is held below the sample rate's limit.
    engine.noteOn (cells, false, 12000.0, 1.0);
    engine.advancePingClock (seconds (0.06));
    engine.firePing (1);
    EXPECT_LE (engine.ping ((engine.pingWriteIndex() + 31) % 32).frequency, 0.45 * sampleRate / 3.5);

    // Every ping ends within 0.2 s plus its 0.9 s release.
    std::vector<double> l (seconds (1.2)), r (l.size());
    engine.renderOneShotsAndPings (l.data(), r.data(), static_cast<int> (l.size()));
    EXPECT_EQ (l, r) << "pings sit in the middle";
    EXPECT_FALSE (engine.chimesActive());

    // One ping alone peaks at its level's maximum times the two output factors.
    SynthEngine single;
    single.prepare (sampleRate);
    single.noteOn (cells, false, 440.0, 1.0);
    single.firePing (1);
    std::vector<double> one (seconds (1.2)), other (one.size());
    single.renderOneShotsAndPings (one.data(), other.data(), static_cast<int> (one.size()));
    EXPECT_LE (peakOf (one), 0.31622776601683794 * 0.5011872336272722);
    EXPECT_GT (peakOf (one), 0.9 * 0.31622776601683794 * 0.5011872336272722);
    EXPECT_EQ (peakOf (one, static_cast<std::size_t> (seconds (1.1))), 0.0);
}

//==============================================================================
TEST_F (EngineTest, OneShotsAlternateAndFadeOnTheirOwn)
{
    std::vector<double> l (seconds (0.2), 1.0), r (l.size(), 1.0);
    engine.startOneShot (TimbreSelectors { heart, 2, 0 }, -1.0);
    EXPECT_TRUE (engine.oneShot (0).active);
    EXPECT_NEAR (engine.oneShot (0).panLeft, 1.0, 1e-15);
    EXPECT_NEAR (engine.oneShot (0).panRight, 0.0, 1e-15);
    EXPECT_DOUBLE_EQ (engine.oneShot (0).attack, 0.05 * 0.7 * 1.5);
    EXPECT_EQ (engine.oneShot (0).voice.frequency, 261.63);
    EXPECT_EQ (engine.oneShot (0).voice.osc[0].phase, 0.0);

    engine.renderOneShotsAndPings (l.data(), r.data(), static_cast<int> (l.size()));
    EXPECT_NE (peakOf (l), 1.0) << "added into the buffer";
    double rightDeviation = 0.0;
    for (double v : r)
        rightDeviation = std::max (rightDeviation, std::abs (v - 1.0));
    EXPECT_LT (rightDeviation, 1e-15) << "panned hard left";

    engine.startOneShot (TimbreSelectors { star, 0, 1 }, 0.0);
    EXPECT_TRUE (engine.oneShot (1).active);
    EXPECT_GE (engine.oneShot (0).releaseStart, 0.0) << "the first one fades when the second starts";
    EXPECT_LT (engine.oneShot (1).releaseStart, 0.0);

    std::vector<double> l2 (seconds (1.6)), r2 (l2.size());
    engine.renderOneShotsAndPings (l2.data(), r2.data(), static_cast<int> (l2.size()));
    EXPECT_FALSE (engine.oneShot (0).active) << "ended 80 ms after its release";
    EXPECT_FALSE (engine.oneShot (1).active) << "ended at 1.5 s";

    // A pluck holds for 3.6 s and fades over 0.4 s.
    engine.startOneShot (TimbreSelectors { clover, 0, 0 }, 0.3);
    EXPECT_TRUE (engine.oneShot (0).longHold);
    std::vector<double> l3 (seconds (3.9)), r3 (l3.size());
    engine.renderOneShotsAndPings (l3.data(), r3.data(), static_cast<int> (l3.size()));
    EXPECT_TRUE (engine.oneShot (0).active);
    std::vector<double> l4 (seconds (0.2)), r4 (l4.size());
    engine.renderOneShotsAndPings (l4.data(), r4.data(), static_cast<int> (l4.size()));
    EXPECT_FALSE (engine.oneShot (0).active);
}

//==============================================================================
TEST (EngineLifecycle, EnginesShareBundlesByRateAndReprepareKeepsVoices)
{
    SynthEngine a, b, c;
    a.prepare (48000.0);
    b.prepare (48000.0);
    c.prepare (44100.0);
    EXPECT_EQ (a.waveTables().get(), b.waveTables().get());
    EXPECT_NE (a.waveTables().get(), c.waveTables().get());

    DishCells cells {};
    cells[0] = liveCell (4, heart, 4);
    cells[1] = liveCell (5, star, 2);
    a.updateFromDish (cells, true);
    a.noteOn (cells, false, 261.63, 1.0);

    std::weak_ptr<const WaveTableBundle> old = a.waveTables();
    b.prepare (32000.0);
    EXPECT_FALSE (old.expired()) << "a still holds it";
    a.prepare (32000.0);
    EXPECT_TRUE (old.expired()) << "the last holder moved on";
    EXPECT_EQ (a.waveTables().get(), b.waveTables().get());

    // The voices kept their cells, now read the new tables, and sound again on the next note.
    EXPECT_EQ (a.voice (0).cellId, 4);
    EXPECT_EQ (a.voice (0).osc[0].set, &a.waveTables()->named.at ("sawtooth"));
    EXPECT_FALSE (a.anySounding());
    a.noteOn (cells, false, 261.63, 1.0);
    std::vector<double> l (4000), r (4000);
    a.render (l.data(), r.data(), 4000);
    EXPECT_GT (peakOf (l), 0.001);

    SynthEngine d;
    d.prepare (std::nan (""));
    EXPECT_EQ (d.getSampleRate(), 44100.0);
    d.prepare (500000.0);
    EXPECT_EQ (d.getSampleRate(), 44100.0);
}

TEST (EngineLifecycle, ResetSilencesButKeepsCells)
{
    SynthEngine e;
    e.prepare (44100.0);
    DishCells cells {};
    cells[0] = liveCell (4, heart, 4);
    e.updateFromDish (cells, true);
    e.noteOn (cells, false, 500.0, 1.0);
    e.setBend (1.5);
    e.startOneShot (TimbreSelectors { -1, 0, 0 }, 0.0);
    e.reset();
    EXPECT_FALSE (e.anySounding());
    EXPECT_FALSE (e.gateIsOn());
    EXPECT_FALSE (e.chimesActive());
    EXPECT_EQ (e.voice (0).cellId, 4);
    EXPECT_EQ (e.voice (0).frequency, 261.63) << "retuned to the reset base pitch";
    EXPECT_EQ (e.bendFactor(), 1.0);
    std::vector<double> l (1000), r (1000);
    e.render (l.data(), r.data(), 1000);
    EXPECT_EQ (peakOf (l), 0.0);

    e.freeVoices();
    EXPECT_EQ (e.voice (0).cellId, -1);
    EXPECT_EQ (e.activeCellCount(), 0u);
}

TEST (EngineLifecycle, ApplyParamsIgnoresRepeatsAndSanitises)
{
    SynthEngine e;
    e.prepare (44100.0);
    SoundParams p;
    p[SoundParams::attack] = 0.4;
    p[SoundParams::detune] = 2.0;
    p[SoundParams::width] = std::nan ("");
    e.applyParams (p);
    EXPECT_EQ (e.detuneDepth(), 1.0);
    EXPECT_EQ (e.panSpread(), 1.0);
    EXPECT_NEAR (e.envelopeSettings().release, 0.06, 1e-12);

    // The new envelope reaches a voice only when it starts.
    DishCells cells {};
    cells[0] = liveCell (1, -1, 0);
    e.updateFromDish (cells, true);
    e.noteOn (cells, false, 261.63, 1.0);
    const double release = e.voice (0).envelope.release;
    p[SoundParams::attack] = 0.0;
    e.applyParams (p);
    EXPECT_EQ (e.voice (0).envelope.release, release);
    e.noteOn (cells, false, 261.63, 1.0);
    EXPECT_NE (e.voice (0).envelope.release, release);
}

//==============================================================================
/** The engine's run-wise rendering against the voice chain evaluated one sample at a time. */
TEST (EngineRender, MatchesTheVoiceChainSampleBySample)
{
    struct Species
    {
        int motif, colour;
    };
    for (const auto& s : { Species { heart, 4 }, Species { diamond, 5 }, Species { gear, 1 }, Species { star, 6 }, Species { clover, 3 } })
    {
        SynthEngine engine;
        engine.prepare (44100.0);
        SoundParams p;
        p[SoundParams::detune] = 1.0;
        engine.applyParams (p);
        DishCells cells {};
        cells[0] = liveCell (17, s.motif, s.colour, 2.0, 0.3, -0.2);
        cells[0].proximity = 0.8;
        engine.updateFromDish (cells, true);
        engine.setModulation (0.3);
        engine.noteOn (cells, false, 523.25, 0.8);
        const EngineVoice& ev = engine.voice (0);

        test::VoiceRig rig (44100.0);
        EngineVoice& ref = rig.configure (s.motif, s.colour, ev.frequency, 17);
        ref.envelope = ev.envelope;
        ref.fold = ev.fold;
        ref.vibrato.rate = ev.vibrato.rate;
        ref.vibrato.depth = ev.vibrato.depth;
        ref.lowPass = ev.lowPass;
        ASSERT_EQ (ref.osc[0].phase, ev.osc[0].phase);

        const int n = 3000;
        std::vector<double> l (n), r (n);
        engine.render (l.data(), r.data(), 1000);
        engine.render (l.data() + 1000, r.data() + 1000, n - 1000);
        double worst = 0.0;
        for (int i = 0; i < n; ++i)
        {
            const double level = ref.envelope.levelAt (ref.envelope.time);
            const double want = voiceSample (ref) * level;
            ref.envelope.time += 1.0 / 44100.0;
            worst = std::max (worst, std::abs (l[static_cast<std::size_t> (i)] - want * ev.panLeft));
        }
        EXPECT_LT (worst, 1e-12) << s.motif << "/" << s.colour;
        EXPECT_GT (peakOf (l), 1e-3);
    }
}
