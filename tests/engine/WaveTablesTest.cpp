#include "engine/WaveTables.h"
#include "engine/dsp/Fft.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

using namespace brivola;

namespace
{
/** Amplitude of each harmonic 0..n/2 of one period of a table (sqrt(a^2 + b^2)). */
std::vector<double> harmonicAmplitudes (const std::vector<double>& table)
{
    const std::size_t n = table.size();
    Fft fft (n, Fft::Kind::real);
    std::copy (table.begin(), table.end(), fft.real());
    fft.forward();
    std::vector<double> amps (n / 2 + 1);
    for (std::size_t k = 0; k <= n / 2; ++k)
        amps[k] = 2.0 * std::abs (fft.spectrum()[k]) / static_cast<double> (n);
    return amps;
}

/** Peak of the waveform a table holds, evaluated on a 4096-point grid by zero-padding its spectrum. */
double peakOnFineGrid (const std::vector<double>& table)
{
    const std::size_t n = table.size(), fine = std::max<std::size_t> (4096, n);
    Fft coarse (n, Fft::Kind::real);
    std::copy (table.begin(), table.end(), coarse.real());
    coarse.forward();
    Fft wide (fine, Fft::Kind::real);
    for (std::size_t k = 0; k <= fine / 2; ++k)
        wide.spectrum()[k] = k < n / 2 ? coarse.spectrum()[k] * (static_cast<double> (fine) / static_cast<double> (n)) : 0.0;
    wide.inverse();
    double p = 0.0;
    for (std::size_t i = 0; i < fine; ++i)
        p = std::max (p, std::abs (wide.real()[i]));
    return p;
}

double peakOf (const std::vector<double>& t)
{
    double p = 0.0;
    for (double v : t)
        p = std::max (p, std::abs (v));
    return p;
}

/** The bundle at 44100 Hz, built once for the tests of this file. */
const WaveTableBundle& bundle44k()
{
    static const auto b = obtainBundle (44100.0);
    return *b;
}
} // namespace

//==============================================================================
struct SpectrumCase
{
    const char* name;
    std::vector<int> harmonics; // the only harmonics present, lowest first
};

void PrintTo (const SpectrumCase& c, std::ostream* os) { *os << c.name; }

class NamedSpectrumTest : public ::testing::TestWithParam<SpectrumCase>
{
};

TEST_P (NamedSpectrumTest, LowestLevelTableHoldsExactlyTheNamedHarmonics)
{
    const auto& c = GetParam();
    const auto& set = bundle44k().named.at (c.name);
    const auto& table = set.tableForLevel (0);
    const auto amps = harmonicAmplitudes (table);

    for (std::size_t k = 1; k < amps.size(); ++k)
    {
        const bool expected = std::find (c.harmonics.begin(), c.harmonics.end(), static_cast<int> (k)) != c.harmonics.end();
        if (expected)
            EXPECT_GT (amps[k], 1e-4) << c.name << " harmonic " << k;
        else
            EXPECT_LT (amps[k], 1e-12) << c.name << " harmonic " << k;
    }
    EXPECT_LT (amps[0], 1e-12) << c.name << " has no DC";
}

INSTANTIATE_TEST_SUITE_P (WaveTables, NamedSpectrumTest,
                          ::testing::Values (SpectrumCase { "square13", { 1, 3, 5, 7, 9, 11, 13 } },
                                             SpectrumCase { "square1", { 1 } },
                                             SpectrumCase { "square2", { 1 } },
                                             SpectrumCase { "sine", { 1 } },
                                             SpectrumCase { "sawtooth5", { 1, 2, 3, 4, 5 } },
                                             SpectrumCase { "triangle9", { 1, 3, 5, 7, 9 } },
                                             SpectrumCase { "triangle2", { 1 } }),
                          [] (const auto& info) { return std::string (info.param.name); });

TEST (WaveTables, NamedCoefficientsFollowTheWaveformFormulas)
{
    const double pi = std::numbers::pi;
    const auto saw = namedSpectrum ("sawtooth");
    ASSERT_TRUE (saw.has_value());
    EXPECT_EQ (saw->highest(), 2047);
    EXPECT_DOUBLE_EQ (saw->sine[1], 2.0 / pi);
    EXPECT_DOUBLE_EQ (saw->sine[2], -2.0 / (2.0 * pi));
    EXPECT_DOUBLE_EQ (saw->sine[2047], 2.0 / (2047.0 * pi));

    const auto tri = namedSpectrum ("triangle");
    ASSERT_TRUE (tri.has_value());
    EXPECT_DOUBLE_EQ (tri->sine[1], 8.0 / (pi * pi));
    EXPECT_DOUBLE_EQ (tri->sine[3], -8.0 / (9.0 * pi * pi));
    EXPECT_DOUBLE_EQ (tri->sine[5], 8.0 / (25.0 * pi * pi));
    EXPECT_EQ (tri->sine[2], 0.0);

    const auto sq = namedSpectrum ("square");
    ASSERT_TRUE (sq.has_value());
    EXPECT_DOUBLE_EQ (sq->sine[7], 4.0 / (7.0 * pi));
    EXPECT_EQ (sq->sine[8], 0.0);

    // A shifted spectrum is the same waveform delayed by the offset.
    const double offset = 0.9;
    const auto shifted = namedSpectrum ("sawtooth5", offset);
    const auto plain = namedSpectrum ("sawtooth5");
    for (double theta : { 0.1, 1.7, 4.0 })
    {
        double a = 0.0, b = 0.0;
        for (int k = 1; k <= 5; ++k)
        {
            a += shifted->cosine[k] * std::cos (k * theta) + shifted->sine[k] * std::sin (k * theta);
            b += plain->sine[k] * std::sin (k * (theta - offset));
        }
        EXPECT_NEAR (a, b, 1e-14);
    }

    EXPECT_FALSE (namedSpectrum ("noise").has_value());
    EXPECT_FALSE (namedSpectrum ("saw").has_value());
}

TEST (WaveTables, Triangle2EqualsTriangle1)
{
    const auto& a = bundle44k().named.at ("triangle1");
    const auto& b = bundle44k().named.at ("triangle2");
    ASSERT_EQ (a.tables.size(), b.tables.size());
    for (std::size_t i = 0; i < a.tables.size(); ++i)
        EXPECT_EQ (a.tables[i], b.tables[i]);
    EXPECT_EQ (a.levelMap, b.levelMap);
    EXPECT_EQ (a.normalisingGain, b.normalisingGain);
}

TEST (WaveTables, LevelLimitsAt44100)
{
    const auto& saw = bundle44k().named.at ("sawtooth");

    // Band top 32768 Hz: nothing fits below 22050 Hz.
    const auto& top = saw.tableForLevel (143);
    EXPECT_EQ (peakOf (top), 0.0);
    EXPECT_EQ (saw.harmonicLimits[saw.levelMap[143]], 0);

    // Band top 8.48 Hz: all 2047 harmonics, in 8192 samples.
    const auto& bottom = saw.tableForLevel (0);
    EXPECT_EQ (bottom.size(), 8192u);
    EXPECT_EQ (saw.harmonicLimits[saw.levelMap[0]], 2047);
    const auto amps = harmonicAmplitudes (bottom);
    EXPECT_GT (amps[2047], 1e-5);
    for (std::size_t k = 2048; k < amps.size(); ++k)
        ASSERT_LT (amps[k], 1e-12) << k;

    // Each level keeps its harmonics below half the sample rate at the band's top frequency.
    for (int level = 0; level < waveTableLevelCount; ++level)
    {
        const double bandTop = 8.0 * std::pow (2.0, (level + 1) / 12.0);
        const int limit = saw.harmonicLimits[saw.levelMap[static_cast<std::size_t> (level)]];
        EXPECT_LE (limit * bandTop, 22050.0) << level;
        EXPECT_TRUE (limit == 2047 || (limit + 1) * bandTop > 22050.0) << level << " wastes a harmonic";
        const auto size = saw.tableForLevel (level).size();
        EXPECT_GE (size, 2u * static_cast<std::size_t> (limit) + 2u);
        EXPECT_GE (size, 64u);
        EXPECT_EQ (size & (size - 1), 0u) << "power of two";
    }

    // Levels with the same limit share one table.
    std::vector<int> limits = saw.harmonicLimits;
    std::sort (limits.begin(), limits.end());
    EXPECT_EQ (std::adjacent_find (limits.begin(), limits.end()), limits.end());
}

TEST (WaveTables, LevelOfAFrequency)
{
    struct Case
    {
        double frequency;
        int level;
    };
    for (const auto& c : { Case { 0.0, 0 }, Case { 8.0, 0 }, Case { -5.0, 0 }, Case { 8.5, 1 }, Case { 16.0, 12 },
                           Case { 261.63, 60 }, Case { 440.0, 69 }, Case { 32768.0, 143 }, Case { 1e9, 143 },
                           Case { std::nan (""), 0 } })
        EXPECT_EQ (waveTableLevel (c.frequency), c.level) << c.frequency;
}

TEST (WaveTables, EveryFullTablePeaksAtAboutOne)
{
    const auto check = [] (const auto& sets) {
        for (const auto& [name, set] : sets)
        {
            ASSERT_FALSE (set.tables.empty()) << name;
            bool sawFull = false;
            for (std::size_t i = 0; i < set.tables.size(); ++i)
            {
                const double peak = peakOf (set.tables[i]);
                ASSERT_TRUE (std::isfinite (peak)) << name;
                // Band-limited versions lose their peak slowly; none may grow far beyond 1.
                EXPECT_LE (peak, 1.25) << name << " table " << i;
                // The tables with every harmonic of the waveform are the normalised waveform itself.
                const auto spectrum = namedSpectrum (name);
                const int highest = spectrum ? spectrum->highest() : set.harmonicLimits.front();
                if (set.harmonicLimits[i] == std::min (highest, maxNamedHarmonic))
                {
                    sawFull = true;
                    EXPECT_NEAR (peakOnFineGrid (set.tables[i]), 1.0, 1e-9) << name << " table " << i;
                    EXPECT_NEAR (peak, 1.0, 0.02) << name << " table " << i;
                }
            }
            EXPECT_TRUE (sawFull) << name;
        }
    };
    check (bundle44k().named);
    check (bundle44k().custom);
}

TEST (WaveTables, OffsetGainsAreRecordedPerOffset)
{
    const auto& saw = bundle44k().named.at ("sawtooth");
    EXPECT_EQ (saw.offsetGain (0.0), 1.0);
    EXPECT_EQ (saw.offsetGain (0.123), 1.0) << "unrecorded offsets read at gain 1";

    // "heart" on colour 4 reads sawtooth at four offsets; gear colour 1 at its pulse width.
    for (double offset : { unisonPhaseOffset (1, 4), unisonPhaseOffset (2, 4), unisonPhaseOffset (3, 4),
                           pulsePhaseOffset (0.07056) })
    {
        const auto found = std::find_if (saw.offsetGains.begin(), saw.offsetGains.end(),
                                         [&] (const auto& p) { return p.first == offset; });
        ASSERT_NE (found, saw.offsetGains.end()) << offset;
        // A shifted waveform has the same peak up to where the 4096-point grid samples it.
        EXPECT_NEAR (found->second, 1.0, 0.01) << offset;
        const auto shifted = namedSpectrum ("sawtooth", offset);
        EXPECT_DOUBLE_EQ (found->second, normalisingGain (*shifted) / saw.normalisingGain);
    }

    // Equal offsets are kept once: pulse width 0.5 and unison offset 2 of 4 are both pi.
    std::vector<double> offsets;
    for (const auto& p : saw.offsetGains)
        offsets.push_back (p.first);
    std::sort (offsets.begin(), offsets.end());
    EXPECT_EQ (std::adjacent_find (offsets.begin(), offsets.end()), offsets.end());
}

TEST (WaveTables, TimbreReferencesPointAtTheirSets)
{
    const auto& b = bundle44k();
    const auto& timbres = timbreTable();
    for (std::size_t i = 0; i < timbres.size(); ++i)
    {
        const auto& t = timbres[i];
        const auto& refs = b.timbreTables[i];
        switch (t.type)
        {
            case TimbreType::unison:
                EXPECT_EQ (refs.first, &b.named.at (t.waveform)) << i;
                EXPECT_EQ (refs.second, nullptr);
                break;
            case TimbreType::frequencyModulation:
                EXPECT_EQ (refs.first, &b.named.at (t.carrier)) << i;
                EXPECT_EQ (refs.second, &b.named.at (t.modulator)) << i;
                break;
            case TimbreType::pulse: EXPECT_EQ (refs.first, &b.named.at ("sawtooth")) << i; break;
            case TimbreType::additive:
                EXPECT_EQ (refs.first, &b.custom.at (std::string (t.motif) + "/" + t.colour)) << i;
                break;
            case TimbreType::pluck:
                EXPECT_EQ (refs.first, nullptr);
                EXPECT_EQ (refs.second, nullptr);
                break;
        }
    }
    EXPECT_EQ (b.custom.size(), 24u);
}

TEST (WaveTables, AdditiveSetHoldsTheTimbresAmplitudes)
{
    // "bolt" on colour 7: 1, 0.170755, 0, 0.233258, 0, 0, 0.102877, 0.023898, 0, 0.056368
    const auto& set = bundle44k().custom.at ("bolt/#AFB5BE");
    const auto amps = harmonicAmplitudes (set.tableForLevel (0));
    const double want[] = { 1, 0.170755, 0, 0.233258, 0, 0, 0.102877, 0.023898, 0, 0.056368 };
    for (int k = 1; k <= 10; ++k)
        EXPECT_NEAR (amps[static_cast<std::size_t> (k)], want[k - 1] * set.normalisingGain, 1e-12) << k;
    EXPECT_LT (amps[11], 1e-12);
    EXPECT_EQ (set.harmonicLimits[set.levelMap[0]], 10);
}

TEST (WaveTables, CatmullRomReadInterpolatesTheTable)
{
    const auto& sine = bundle44k().named.at ("sine");
    const auto& t = sine.tableForLevel (0);
    const auto length = static_cast<std::uint32_t> (t.size());
    const double scale = static_cast<double> (length) / twoPi;
    const double g = sine.normalisingGain;

    // At sample positions the read returns the samples themselves.
    for (std::uint32_t i : { 0u, 1u, 17u, length - 1 })
        EXPECT_NEAR (readWaveTable (t.data(), length, scale, twoPi * i / length, 0.0), t[i], 1e-12);

    // Between samples it follows the waveform closely, wraps in both directions, and reads shifted.
    for (double theta : { 0.0001, 1.2345, 3.0, 6.28 })
    {
        const double r = readWaveTable (t.data(), length, scale, theta, 0.0);
        EXPECT_NEAR (r, g * std::sin (theta), 1e-5) << "a 64-point cubic follows the sine closely";
        EXPECT_NEAR (readWaveTable (t.data(), length, scale, theta + twoPi, 0.0), r, 1e-12);
        EXPECT_NEAR (readWaveTable (t.data(), length, scale, theta - 3.0 * twoPi, 0.0), r, 1e-12);
        EXPECT_NEAR (readWaveTable (t.data(), length, scale, theta + 4.5, 4.5), r, 1e-12);
    }

    // The cubic itself: a table holding a cubic ramp segment is reproduced between its samples.
    std::vector<double> ramp (64, 0.0);
    ramp[9] = 1.0, ramp[10] = 2.0, ramp[11] = 4.0, ramp[12] = 8.0;
    const double s64 = 64.0 / twoPi;
    const double t0 = 0.25;
    const double want = 2.0 + 0.5 * t0 * ((4.0 - 1.0) + t0 * ((2.0 - 10.0 + 16.0 - 8.0) + t0 * (3.0 * (2.0 - 4.0) + 8.0 - 1.0)));
    EXPECT_NEAR (readWaveTable (ramp.data(), 64, s64, (10.0 + t0) / s64, 0.0), want, 1e-12);
}

//==============================================================================
TEST (WaveTableCache, EnginesAtOneRateShareOneBundleThatDiesWithItsLastHolder)
{
    std::weak_ptr<const WaveTableBundle> watch;
    {
        const auto a = obtainBundle (48000.0);
        const auto b = obtainBundle (48000.0);
        const auto c = obtainBundle (44100.0);
        EXPECT_EQ (a.get(), b.get());
        EXPECT_NE (a.get(), c.get());
        EXPECT_EQ (a->sampleRate, 48000.0);
        EXPECT_EQ (c->sampleRate, 44100.0);
        watch = a;
    }
    EXPECT_TRUE (watch.expired()) << "the cache must not keep a bundle alive";

    // A rate that differs in the last digit is another rate.
    const auto d = obtainBundle (48000.0);
    const auto e = obtainBundle (std::nextafter (48000.0, 1e6));
    EXPECT_NE (d.get(), e.get());
}

TEST (WaveTableCache, ConcurrentRequestsGetOneBundle)
{
    std::vector<std::shared_ptr<const WaveTableBundle>> got (4);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < got.size(); ++i)
        threads.emplace_back ([&got, i] { got[i] = obtainBundle (22050.0); });
    for (auto& t : threads)
        t.join();
    for (const auto& g : got)
        EXPECT_EQ (g.get(), got[0].get());
}
