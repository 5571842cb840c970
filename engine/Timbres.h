#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace brivola
{

//==============================================================================
/** The five ways a voice makes its raw tone. */
enum class TimbreType : std::int32_t
{
    unison = 0,              // a stack of detuned wavetable oscillators at spread phase offsets
    frequencyModulation = 1, // a wavetable carrier whose frequency a wavetable modulator bends
    pulse = 2,               // the difference of two band-limited sawtooths, one phase-shifted
    additive = 3,            // one wavetable built from the timbre's own harmonic amplitudes
    pluck = 4                // two Karplus-Strong strings excited by pink noise
};

/** One of the 128 constant timbres. Only the fields of the timbre's type carry meaning; the others
    stay at their defaults. */
struct Timbre
{
    const char* motif = "";
    const char* colour = "";
    TimbreType type = TimbreType::unison;
    double vibratoDepth = 0.0; // 0..1
    double vibratoRate = 0.0;  // Hz
    double level = 0.0;        // dB

    // unison
    const char* waveform = "";
    std::int32_t count = 1;
    double spread = 0.0; // cents, total

    // additive
    std::int32_t harmonicCount = 0;
    std::array<double, 16> harmonics {};

    // pulse
    double pulseWidth = 0.0;

    // frequency modulation
    const char* carrier = "";
    const char* modulator = "";
    double modulatorRatio = 0.0;
    double modulationIndex = 0.0;

    // pluck
    double dampingCutoff = 0.0; // Hz
    double feedback = 0.0;
    double burstLength = 0.0; // periods of the note
};

inline constexpr std::size_t timbreRecordCount = 128;
inline constexpr int timbreRows = 16;
inline constexpr int timbreColumns = 8;

/** The 128 timbres, family row by row ("normal", then the fifteen motifs), eight colours each. */
const std::array<Timbre, timbreRecordCount>& timbreTable() noexcept;

/** Family names in row order: "normal", "spade", ... "moon". */
const std::array<const char*, timbreRows>& timbreRowNames() noexcept;

/** Colour strings in column order: "#A9D1FD" ... "#AFB5BE". */
const std::array<const char*, timbreColumns>& timbreColumnNames() noexcept;

//==============================================================================
/** The three cell fields that choose a timbre, exactly as read from the cell. */
struct TimbreSelectors
{
    std::int32_t motif = -1;
    std::int32_t colorGroup = 0;
    std::int32_t colorVariant = 0;

    friend bool operator== (const TimbreSelectors&, const TimbreSelectors&) = default;
};

/** Row of a motif: motif + 1 for 0..14, otherwise 0 (the "normal" row). */
constexpr int timbreRow (std::int32_t motif) noexcept { return motif >= 0 && motif <= 14 ? motif + 1 : 0; }

/** Column of a colour: 2 x clamp(colorGroup, 0, 3) + (1 when colorVariant > 0). */
constexpr int timbreColumn (std::int32_t colorGroup, std::int32_t colorVariant) noexcept
{
    const int group = colorGroup < 0 ? 0 : (colorGroup > 3 ? 3 : colorGroup);
    return 2 * group + (colorVariant > 0 ? 1 : 0);
}

/** The timbre of a grid cell through the lookup grid, which is built once per process on first use
    by matching the records' family and colour names (a cell without a match falls back to record 0). */
const Timbre& timbreAt (int row, int column) noexcept;

/** Builds the lookup grid now if it does not exist yet; call it off the audio thread. */
void prepareTimbreGrid() noexcept;

/** Position of a record in the timbre table (0..127). */
std::size_t timbreIndexOf (const Timbre& timbre) noexcept;

//==============================================================================
/** Colour factor of a column (attack lengthening). */
double colourFactor (int column) noexcept;
/** Motif factor of a row; the "normal" row uses 1. */
double motifFactor (int row) noexcept;
/** Wavefolder scale p of a grid cell. */
double foldScale (int row, int column) noexcept;
/** Wavefolder compensation range in dB of a grid cell. */
double foldRange (int row, int column) noexcept;

/** Phase offset of unison oscillator j of n, in radians. Shared by the table builder and the voices so
    that both compute the identical value. */
constexpr double unisonPhaseOffset (int j, int n) noexcept
{
    return 6.283185307179586 * static_cast<double> (j) / static_cast<double> (n);
}

/** Phase offset of the shifted sawtooth of the pulse type, in radians. */
constexpr double pulsePhaseOffset (double pulseWidth) noexcept
{
    const double w = pulseWidth > 0.0 ? (pulseWidth < 0.5 ? pulseWidth : 0.5) : 0.0;
    return w * 6.283185307179586;
}

/** Number of unison oscillators: the timbre's count clamped to 1..4. */
constexpr int unisonOscillatorCount (std::int32_t count) noexcept { return count < 1 ? 1 : (count > 4 ? 4 : count); }

} // namespace brivola
