#include "EngineTestSupport.h"

#include "engine/EngineVoice.h"
#include "engine/Timbres.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <string>

using namespace brivola;
using brivola::test::VoiceRig;

namespace
{
constexpr int heart = 2, gear = 5, clover = 1, crown = 4;

double cents (double ratio) { return 1200.0 * std::log2 (ratio); }
} // namespace

//==============================================================================
TEST (TimbreTable, RecordsFollowTheGridOrderAndFamilySettings)
{
    const auto& t = timbreTable();
    const auto& rows = timbreRowNames();
    const auto& columns = timbreColumnNames();
    const TimbreType familyType[16] = { TimbreType::unison, TimbreType::additive, TimbreType::pluck, TimbreType::unison,
                                        TimbreType::frequencyModulation, TimbreType::frequencyModulation, TimbreType::pulse,
                                        TimbreType::additive, TimbreType::additive, TimbreType::pulse,
                                        TimbreType::frequencyModulation, TimbreType::pluck, TimbreType::pluck,
                                        TimbreType::pulse, TimbreType::pluck, TimbreType::unison };

    for (int r = 0; r < timbreRows; ++r)
        for (int c = 0; c < timbreColumns; ++c)
        {
            const auto& rec = t[static_cast<std::size_t> (8 * r + c)];
            EXPECT_STREQ (rec.motif, rows[static_cast<std::size_t> (r)]);
            EXPECT_STREQ (rec.colour, columns[static_cast<std::size_t> (c)]);
            EXPECT_EQ (rec.type, familyType[r]) << rec.motif;
            EXPECT_EQ (rec.vibratoRate, t[static_cast<std::size_t> (8 * r)].vibratoRate) << "shared by the family";
            EXPECT_EQ (rec.vibratoDepth, t[static_cast<std::size_t> (8 * r)].vibratoDepth) << "shared by the family";
            EXPECT_EQ (&timbreAt (r, c), &rec);
            EXPECT_EQ (timbreIndexOf (rec), static_cast<std::size_t> (8 * r + c));
            if (rec.type == TimbreType::additive)
            {
                EXPECT_EQ (rec.harmonics[0], 1.0);
                EXPECT_NE (rec.harmonics[static_cast<std::size_t> (rec.harmonicCount - 1)], 0.0) << rec.motif << c;
            }
            if (rec.type == TimbreType::pluck)
            {
                EXPECT_EQ (rec.dampingCutoff, t[static_cast<std::size_t> (8 * 2 + c)].dampingCutoff) << "same in every pluck family";
            }
        }
    EXPECT_STREQ (rows[15], "moon");
    EXPECT_STREQ (columns[4], "#FCDA6F");
}

TEST (TimbreTable, DistinctiveValuesAreTranscribed)
{
    const auto& t = timbreTable();
    const auto at = [&] (int row, int column) -> const Timbre& { return t[static_cast<std::size_t> (8 * row + column)]; };

    EXPECT_EQ (at (0, 0).level, 10.73);
    EXPECT_STREQ (at (0, 1).waveform, "square13");
    EXPECT_EQ (at (3, 4).count, 4);
    EXPECT_EQ (at (3, 4).spread, 41.6);
    EXPECT_EQ (at (4, 7).modulatorRatio, 4.386724);
    EXPECT_EQ (at (4, 7).modulationIndex, 14.805195);
    EXPECT_STREQ (at (5, 5).modulator, "sawtooth10");
    EXPECT_EQ (at (10, 1).modulationIndex, 14.004914);
    EXPECT_EQ (at (9, 0).pulseWidth, 0.445);
    EXPECT_EQ (at (13, 6).pulseWidth, 0.372);
    EXPECT_EQ (at (7, 2).harmonics[6], 0.642819);
    EXPECT_EQ (at (8, 4).harmonicCount, 9);
    EXPECT_EQ (at (11, 3).feedback, 0.992485);
    EXPECT_EQ (at (12, 0).burstLength, 0.496);
    EXPECT_EQ (at (14, 7).level, 14.8);
    EXPECT_EQ (at (2, 2).dampingCutoff, 1664.4852390);
    EXPECT_EQ (at (15, 1).spread, 8.8);
    EXPECT_EQ (at (6, 6).level, -3.0);

    EXPECT_EQ (colourFactor (2), 1.65);
    EXPECT_EQ (motifFactor (0), 1.0);
    EXPECT_EQ (motifFactor (timbreRow (5)), 0.35);
    EXPECT_EQ (foldScale (2, 4), 8.296);
    EXPECT_EQ (foldRange (13, 6), -5.9);
    EXPECT_EQ (foldRange (15, 5), 8.17);
}

TEST (TimbreTable, CellSelectorsChooseRowAndColumn)
{
    struct Case
    {
        std::int32_t motif, group, variant;
        int row, column;
    };
    for (const auto& c : { Case { -1, 0, 0, 0, 0 }, Case { 15, 1, 1, 0, 3 }, Case { 0, 3, 0, 1, 6 }, Case { 14, 2, 1, 15, 5 },
                           Case { 100, 7, 0, 0, 6 }, Case { 3, -2, 0, 4, 0 }, Case { 3, 1, 5, 4, 3 }, Case { 3, 1, -1, 4, 2 } })
    {
        EXPECT_EQ (timbreRow (c.motif), c.row) << c.motif;
        EXPECT_EQ (timbreColumn (c.group, c.variant), c.column) << c.group << "/" << c.variant;
    }

    // The engine's choice agrees with the dish's timbre number for every valid cell.
    for (int motif = -1; motif < 15; ++motif)
        for (int colour = 0; colour < 8; ++colour)
        {
            const Cell cell = test::liveCell (1, motif, colour);
            EXPECT_EQ (8 * timbreRow (cell.motif) + timbreColumn (cell.colorGroup, cell.colorVariant), timbreIndex (cell));
        }
}

//==============================================================================
TEST (ConfigureVoice, HeartOnColour4StacksFourSawtooths)
{
    VoiceRig rig;
    const double f = 300.0;
    auto& v = rig.configure (heart, 4, f);
    ASSERT_EQ (v.timbre->type, TimbreType::unison);
    ASSERT_EQ (v.oscCount, 4);

    const auto& saw = rig.bundle->named.at ("sawtooth");
    const double wantCents[4] = { -20.8, -6.933333, 6.933333, 20.8 };
    const double levelGain = std::pow (10.0, (4.78 - 4.4 - 6.0) / 20.0);
    for (std::size_t j = 0; j < 4; ++j)
    {
        const auto& o = v.osc[j];
        EXPECT_EQ (o.set, &saw);
        EXPECT_NEAR (cents (o.frequency / f), wantCents[j], 1e-5) << j;
        EXPECT_NEAR (o.offset, static_cast<double> (j) * std::numbers::pi / 2.0, 1e-15) << j;
        EXPECT_DOUBLE_EQ (o.gain, saw.offsetGain (o.offset) * levelGain) << j;
        EXPECT_EQ (o.level, waveTableLevel (o.frequency));
        EXPECT_EQ (o.phase, cellStartPhase (7));
    }
    EXPECT_EQ (v.osc[0].gain, levelGain) << "the first oscillator reads at offset 0 with gain 1";
    EXPECT_EQ (v.vibrato.rate, 2.0);
    EXPECT_EQ (v.vibrato.depth, 0.15);
    EXPECT_DOUBLE_EQ (v.attackMultiplier, 1.5 * 0.7);

    // Fold calibration from p = 1.9571 and the 1.15 factor of wavetable types.
    const double d = 16.0 * 1.9571 * 1.15;
    EXPECT_DOUBLE_EQ (v.fold.outputScale, d);
    EXPECT_DOUBLE_EQ (v.fold.driveBase, 1.0 / d);
    EXPECT_DOUBLE_EQ (v.fold.driveSlope, 0.25 / 1.9571 - 1.0 / d);
    EXPECT_EQ (v.fold.compensationRange, 7.37);

    // Retuning moves every oscillator with its spread and mip level.
    setVoiceFrequency (v, 4000.0);
    for (std::size_t j = 0; j < 4; ++j)
    {
        EXPECT_NEAR (cents (v.osc[j].frequency / 4000.0), wantCents[j], 1e-5);
        EXPECT_EQ (v.osc[j].level, waveTableLevel (v.osc[j].frequency));
        EXPECT_EQ (v.osc[j].table, saw.tableForLevel (v.osc[j].level).data());
    }
}

TEST (ConfigureVoice, FrequencyModulationTracksCarrierAndModulatorLevels)
{
    VoiceRig rig;
    auto& v = rig.configure (crown, 7, 500.0); // "square1" carrier, "triangle2" modulator, ratio 7.23, index 10.845
    ASSERT_EQ (v.timbre->type, TimbreType::frequencyModulation);
    EXPECT_EQ (v.osc[0].set, &rig.bundle->named.at ("square1"));
    EXPECT_EQ (v.osc[1].set, &rig.bundle->named.at ("triangle2"));
    EXPECT_EQ (v.osc[0].level, waveTableLevel (500.0));
    EXPECT_EQ (v.osc[1].level, waveTableLevel (500.0 * 7.23));
    EXPECT_DOUBLE_EQ (v.deviationScale, 500.0 * 10.845);
    EXPECT_DOUBLE_EQ (v.outputGain, std::pow (10.0, -6.0 / 20.0));

    setVoiceFrequency (v, 1000.0);
    EXPECT_EQ (v.osc[1].level, waveTableLevel (7230.0));
    EXPECT_DOUBLE_EQ (v.deviationScale, 1000.0 * 10.845);
}

TEST (ConfigureVoice, GearAtHalfWidthIsASquareOfOddHarmonics)
{
    VoiceRig rig;
    // 441 Hz at 44100 Hz: one second holds exactly 441 periods, so harmonic k sits on bin 441 k.
    auto& v = rig.configure (gear, 0, 441.0);
    ASSERT_EQ (v.timbre->type, TimbreType::pulse);
    EXPECT_DOUBLE_EQ (v.osc[1].offset, std::numbers::pi);

    Fft fft (44100, Fft::Kind::real);
    for (int i = 0; i < 44100; ++i)
        fft.real()[i] = oscillatorSample (v);
    fft.forward();
    const auto amp = [&] (int k) { return 2.0 * std::abs (fft.spectrum()[441 * k]) / 44100.0; };

    for (int k = 1; k <= 9; k += 2)
        EXPECT_GT (amp (k), 0.05 / k) << "odd harmonic " << k;
    for (int k = 2; k <= 10; k += 2)
        EXPECT_LT (amp (k), 1e-6 * amp (1)) << "even harmonic " << k;
}

TEST (ConfigureVoice, PluckLoopAndBurstAt44100)
{
    VoiceRig rig;
    auto& v = rig.configure (clover, 0, 261.63, 1234);
    ASSERT_EQ (v.timbre->type, TimbreType::pluck);
    EXPECT_EQ (v.loopLength, 168u);
    EXPECT_EQ (v.burstStart, 220u);
    EXPECT_EQ (v.burstEnd, 220u + static_cast<std::uint64_t> (std::floor (1.36 * 44100.0 / 261.63)));
    EXPECT_EQ (v.noiseStart, static_cast<std::size_t> (std::floor (cellNoisePosition (1234) * (220500.0 - 1.0))));
    EXPECT_DOUBLE_EQ (v.damping, twoPi * 4055.3078165 / 44100.0);

    // The burst enters the loop at sample 220 and comes back one loop later.
    int first = -1;
    for (int i = 0; i < 1000 && first < 0; ++i)
        if (oscillatorSample (v) != 0.0)
            first = i;
    EXPECT_EQ (first, 220 + 168 + 1);

    setVoiceFrequency (v, 523.26);
    EXPECT_EQ (v.loopLength, 84u);
    setVoiceFrequency (v, 1.0);
    EXPECT_EQ (v.loopLength, static_cast<std::uint32_t> (v.strings[0].line.size() - 1)) << "lowest notes stop at the line";
}

TEST (ConfigureVoice, StartPhaseComesFromTheCellId)
{
    VoiceRig rig;
    auto& v = rig.configure (heart, 1, 200.0, 42);
    for (auto& o : v.osc)
        o.phase = 0.0;
    startPhase (v);
    for (int j = 0; j < v.oscCount; ++j)
        EXPECT_EQ (v.osc[static_cast<std::size_t> (j)].phase, cellStartPhase (42));
    EXPECT_NE (cellStartPhase (42), cellStartPhase (43));
    EXPECT_GE (cellStartPhase (42), 0.0);
    EXPECT_LT (cellStartPhase (42), twoPi);
}

TEST (Wavefolder, BypassedAtZeroTransparentWhenSlightFoldingWhenDriven)
{
    VoiceRig rig;
    auto& v = rig.configure (heart, 4, 200.0);
    v.fold.compensationGain = std::pow (10.0, -0.2 * v.fold.compensationRange / 20.0);

    v.fold.amount = 0.0;
    for (double x : { -0.7, 0.0, 0.31, 2.5 })
        EXPECT_EQ (v.fold.process (x), x);

    v.fold.amount = 1e-6;
    for (double x : { -0.5, -0.01, 0.2, 0.9 })
        EXPECT_NEAR (v.fold.process (x), x * v.fold.compensationGain, 1e-5 * std::abs (x));

    // Fully driven, a rising input folds back down and stays within the scaled fold range.
    v.fold.amount = 1.0;
    const double bound = 0.0625 * v.fold.outputScale * v.fold.compensationGain;
    int turns = 0;
    double previous = v.fold.process (0.0), slope = 0.0;
    for (int i = 1; i <= 2000; ++i)
    {
        const double y = v.fold.process (i * 0.001);
        EXPECT_LE (std::abs (y), bound * (1.0 + 1e-12));
        const double s = y - previous;
        if (slope != 0.0 && s != 0.0 && (s > 0) != (slope > 0))
            ++turns;
        if (s != 0.0)
            slope = s;
        previous = y;
    }
    EXPECT_GE (turns, 2);
}

//==============================================================================
TEST (PinkNoise, SecondTableContinuesTheFirst)
{
    std::vector<double> a1, a2, b1, b2;
    makePinkNoiseTables (200.0, a1, a2); // 1000 samples each
    makePinkNoiseTables (400.0, b1, b2); // 2000 samples each
    ASSERT_EQ (a1.size(), 1000u);
    ASSERT_EQ (b1.size(), 2000u);
    for (std::size_t i = 0; i < 1000; ++i)
    {
        ASSERT_EQ (b1[i], a1[i]);
        ASSERT_EQ (b1[1000 + i], a2[i]);
    }
    EXPECT_NE (a1, a2);
}

TEST (PinkNoise, FallsThreeDecibelsPerOctave)
{
    std::vector<double> a, b;
    makePinkNoiseTables (44100.0, a, b);
    ASSERT_EQ (a.size(), 220500u);

    const std::size_t n = 131072;
    std::vector<double> x (a.begin(), a.begin() + static_cast<long> (n));
    const auto db = test::spectrumDb (x);
    const auto bandPower = [&] (double lo, double hi) {
        double p = 0.0;
        for (auto k = static_cast<std::size_t> (lo * n / 44100.0); k < static_cast<std::size_t> (hi * n / 44100.0); ++k)
            p += std::pow (10.0, db[k] / 10.0);
        return 10.0 * std::log10 (p);
    };
    // Equal power per octave, within the filter's ripple.
    const double low = bandPower (200.0, 400.0);
    for (double lo : { 800.0, 3200.0, 10000.0 })
        EXPECT_NEAR (bandPower (lo, 2.0 * lo), low, 1.5) << lo;

    double peak = 0.0;
    for (double v : a)
        peak = std::max (peak, std::abs (v));
    EXPECT_LT (peak, 1.0);
    EXPECT_GT (peak, 0.1);
}

TEST (Pluck, LongDecayEndsInExactZeros)
{
    VoiceRig rig;
    auto& v = rig.configure (clover, 1, 261.63); // feedback 0.925
    for (int i = 0; i < 44100 * 8; ++i)
        (void) voiceSample (v);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ (voiceSample (v), 0.0);
    for (const auto& s : v.strings)
    {
        EXPECT_EQ (s.state, 0.0);
        for (double x : s.line)
            ASSERT_EQ (x, 0.0);
    }
    EXPECT_EQ (v.lowPass.y1, 0.0);
    EXPECT_EQ (v.lowPass.y2, 0.0);
}
