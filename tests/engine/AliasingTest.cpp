#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>
#include <vector>

using namespace brivola;

namespace
{
constexpr double sampleRate = 44100.0;
constexpr std::size_t fftSize = 65536;
constexpr int lineWidth = 10; // bins around a harmonic that belong to it under the window

struct AliasCase
{
    const char* label;
    int motif;
    int colour;
    std::vector<double> frequencies;
};

void PrintTo (const AliasCase& c, std::ostream* os) { *os << c.label; }

/** The strongest spectral component (dB relative to the fundamental) that lies on no harmonic of any of
    the voice's oscillators, below half the sample rate. */
double worstOffHarmonic (test::VoiceRig& rig, const AliasCase& c, double f, double& where)
{
    EngineVoice& v = rig.configure (c.motif, c.colour, f);
    v.vibrato.depth = 0.0; // a still delay: the chain after the oscillator is then linear and time-invariant

    for (int i = 0; i < 4096; ++i)
        (void) voiceSample (v);
    std::vector<double> x (fftSize);
    for (auto& s : x)
        s = voiceSample (v);
    const auto db = test::spectrumDb (x);

    std::vector<double> fundamentals;
    if (v.timbre->type == TimbreType::unison)
        for (int j = 0; j < v.oscCount; ++j)
            fundamentals.push_back (v.osc[static_cast<std::size_t> (j)].frequency);
    else
        fundamentals.push_back (f);

    std::vector<bool> allowed (db.size(), false);
    for (std::size_t k = 0; k < 16; ++k)
        allowed[k] = true; // DC and the window's skirt around it
    for (double f0 : fundamentals)
        for (double h = f0; h < sampleRate; h += f0)
        {
            const auto centre = static_cast<long> (std::lround (h * fftSize / sampleRate));
            for (long k = centre - lineWidth; k <= centre + lineWidth; ++k)
                if (k >= 0 && k < static_cast<long> (allowed.size()))
                    allowed[static_cast<std::size_t> (k)] = true;
        }

    double reference = -1e300;
    for (double f0 : fundamentals)
        reference = std::max (reference, test::peakNear (db, f0, sampleRate, fftSize, 3));

    double worst = -1e300;
    for (std::size_t k = 0; k < db.size() - lineWidth; ++k)
        if (! allowed[k] && db[k] - reference > worst)
        {
            worst = db[k] - reference;
            where = static_cast<double> (k) * sampleRate / fftSize;
        }
    return worst;
}
} // namespace

class AliasingTest : public ::testing::TestWithParam<AliasCase>
{
};

// A harmonic left above half the sample rate folds back at its own level, -15 to -25 dB for these
// spectra at these notes; the table read's own interpolation images stay near -58 dB. The bound sits
// between the two, so any wrong harmonic limit fails while the tables' read error passes.
TEST_P (AliasingTest, NothingLiesOffTheHarmonicSeriesAboveMinus50dB)
{
    test::VoiceRig rig (sampleRate);
    const auto& c = GetParam();
    for (double f : c.frequencies)
    {
        double where = 0.0;
        const double worst = worstOffHarmonic (rig, c, f, where);
        EXPECT_LT (worst, -50.0) << c.label << " at " << f << " Hz: " << worst << " dB at " << where << " Hz";
    }
}

// The pluck type is left out: its noise burst fills the whole spectrum by design. Frequency modulation
// at high notes folds its own sidebands; it is checked at notes where they stay below half the rate.
INSTANTIATE_TEST_SUITE_P (
    Voices, AliasingTest,
    ::testing::Values (AliasCase { "unison_sawtooth", -1, 4, { 2000.0, 3100.0, 4700.0, 6000.0 } },
                       AliasCase { "unison_square", -1, 7, { 2000.0, 3100.0, 4700.0, 6000.0 } },
                       AliasCase { "unison_heart_sawtooth", 2, 4, { 2000.0, 4700.0 } },
                       AliasCase { "pulse_narrow", 5, 1, { 2000.0, 3100.0, 4700.0, 6000.0 } },
                       AliasCase { "pulse_controller", 12, 6, { 2000.0, 3100.0, 4700.0, 6000.0 } },
                       AliasCase { "additive_star", 6, 1, { 2000.0, 3100.0, 4700.0, 6000.0 } },
                       AliasCase { "additive_bolt", 7, 4, { 2000.0, 3100.0, 4700.0, 6000.0 } },
                       AliasCase { "fm_triangle_sine", 3, 2, { 300.0, 600.0 } }),
    [] (const auto& info) { return std::string (info.param.label); });
