#pragma once

#include "engine/dsp/Constants.h"

#include "engine/Timbres.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace brivola
{

inline constexpr int waveTableLevelCount = 144;
inline constexpr int maxNamedHarmonic = 2047;

/** What an oscillator without a table set reads: 64 zeros. */
inline constexpr double silentWaveTable[64] = {};

//==============================================================================
/** Fourier coefficients of one periodic waveform: cosine[k] and sine[k] for harmonic k (index 0 is
    unused and stays 0), so the waveform is the sum of cosine[k] cos(k theta) + sine[k] sin(k theta). */
struct HarmonicSpectrum
{
    std::vector<double> cosine;
    std::vector<double> sine;

    /** The highest harmonic with a non-zero coefficient, 0 when there is none. */
    int highest() const noexcept;
};

/** The spectrum of a named waveform ("sine", "sawtooth", "square" or "triangle", optionally followed by
    the number of harmonics), shifted by `phaseOffset` radians: sum A_k sin(k (theta - offset)).
    Returns nothing for an unknown name. */
std::optional<HarmonicSpectrum> namedSpectrum (std::string_view name, double phaseOffset = 0.0);

/** A spectrum of sine amplitudes for harmonics 1..count (zero amplitudes stay empty). */
HarmonicSpectrum sineSpectrum (const double* amplitudes, int count);

//==============================================================================
/** The band-limited tables of one waveform: one table per distinct harmonic limit, and for each of the
    144 semitone levels the table whose harmonics all stay below half the sample rate at the top of the
    band. Tables hold the waveform multiplied by its normalising gain, so they peak at about 1. */
struct WaveTableSet
{
    std::vector<std::vector<double>> tables;     // power-of-two lengths, at least 64
    std::vector<int> harmonicLimits;             // the limit H each table was made for
    std::array<std::uint16_t, waveTableLevelCount> levelMap {}; // level -> table index
    double normalisingGain = 1.0;
    std::vector<std::pair<double, double>> offsetGains; // (phase offset in radians, gain)

    /** The table a level uses (levels outside 0..143 are clamped). */
    const std::vector<double>& tableForLevel (int level) const noexcept;

    /** The gain recorded for a phase offset; 1 for offset 0 or when none is recorded. */
    double offsetGain (double phaseOffset) const noexcept;
};

/** 1 / (largest absolute sample of the waveform), from harmonics 1..min(highest, 2047) on a 4096-point
    grid; 1 for a silent spectrum. */
double normalisingGain (const HarmonicSpectrum& spectrum);

/** Builds the mip tables of a spectrum for a sample rate (normalising gain included, no offset gains). */
WaveTableSet buildTableSet (const HarmonicSpectrum& spectrum, double sampleRate);

//==============================================================================
/** Immutable band-limited wavetables for one sample rate: every named waveform the timbres use (with
    the phase offsets the unison and pulse types read them at), one custom set per additive timbre, and
    per timbre the one or two sets its oscillators read. Shared between engines through
    std::shared_ptr<const WaveTableBundle>; never modified after it is built. */
struct WaveTableBundle
{
    /** The table sets one timbre reads: FM carrier and modulator; "sawtooth" for pulse; the waveform
        or the custom set for unison and additive; nothing for pluck. */
    struct TimbreTables
    {
        const WaveTableSet* first = nullptr;
        const WaveTableSet* second = nullptr;
    };

    double sampleRate = 44100.0;
    std::map<std::string, WaveTableSet, std::less<>> named;
    std::map<std::string, WaveTableSet, std::less<>> custom; // key: motif + "/" + colour
    std::array<TimbreTables, timbreRecordCount> timbreTables {};

    /** Bytes held by the table samples and the bookkeeping around them. */
    std::size_t memoryBytes() const noexcept;
};

/** Builds a bundle for a sample rate without consulting the cache. Allocates and plans FFTs: never call
    it on the audio thread. */
std::shared_ptr<const WaveTableBundle> buildWaveTableBundle (double sampleRate);

/** The shared bundle for exactly this sample rate: the live one from the process-wide cache, or a new
    one that is built (under the cache mutex) and remembered by a weak reference. The cache keeps no
    bundle alive by itself. Message thread only. */
std::shared_ptr<const WaveTableBundle> obtainBundle (double sampleRate);

//==============================================================================
/** Semitone level of a frequency: 0 up to 8 Hz, else clamp(floor(12 log2(f / 8)), 0, 143). */
int waveTableLevel (double frequency) noexcept;

/** Largest-integer-not-above for |x| < 2^52 (and the same value as std::floor there), inlined. */
inline double floorFast (double x) noexcept
{
    const double t = static_cast<double> (static_cast<std::int64_t> (x));
    return t > x ? t - 1.0 : t;
}

/** Catmull-Rom read of a table of power-of-two length at phase theta (radians), shifted by offset:
    position x = scale (theta - offset) with scale = length / (2 pi), wrapped into [0, length); the cubic
    through the samples around it. `mask` is length - 1 and `len` the length as a double. */
inline double readWaveTable (const double* table, std::uint32_t mask, double len, double scale, double theta, double offset) noexcept
{
    double x = scale * (theta - offset);
    if (x < 0.0 || x >= len) // x - floor (x / len) x len, which leaves x in [0, len) untouched
        x -= floorFast (x / len) * len;
    const auto whole = static_cast<std::int64_t> (x); // x >= 0 here, so truncation is the floor
    const double t = x - static_cast<double> (whole);
    const auto i = static_cast<std::uint32_t> (whole) & mask;
    const double p0 = table[(i - 1) & mask];
    const double p1 = table[i];
    const double p2 = table[(i + 1) & mask];
    const double p3 = table[(i + 2) & mask];
    return p1 + 0.5 * t * ((p2 - p0) + t * ((2.0 * p0 - 5.0 * p1 + 4.0 * p2 - p3) + t * (3.0 * (p1 - p2) + p3 - p0)));
}

/** The same read for a table of `length` samples with scale = length / (2 pi). */
inline double readWaveTable (const double* table, std::uint32_t length, double scale, double theta, double offset) noexcept
{
    return readWaveTable (table, length - 1, static_cast<double> (length), scale, theta, offset);
}

} // namespace brivola
