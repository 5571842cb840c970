#pragma once

#include "engine/effects/DspHelpers.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <vector>

namespace brivola
{

/** Sweep rate (Hz), delay at the start and end of each sweep (seconds) and feedback of a GrainShifter. */
struct GrainShifterSettings
{
    double sweepRate = 1.0;
    double delayStart = 0.0;
    double delayEnd = 0.0;
    double feedback = 0.0;
};

/** The sub layer: one octave down. */
inline constexpr GrainShifterSettings subShifterSettings { 17.66324587609016, 0.0, 0.1, 0.0 };
/** The shimmer layer: one octave up, with feedback. */
inline constexpr GrainShifterSettings shimmerShifterSettings { 11.999999999999998, 0.1, 0.0, 0.15 };

/** Number of entries of the band-limited saw and triangle tables. */
inline constexpr std::size_t grainTableSize = 4096;

/** Band-limited saw: sum over k = 1..2048 of (-1)^(k+1) sin(kθ) / k, scaled to a peak of 1. */
const std::array<double, grainTableSize>& grainSawTable();
/** Band-limited triangle: sum over odd k up to 2047 of ±sin(kθ) / k² (signs +, -, +, ...), peak 1. */
const std::array<double, grainTableSize>& grainTriangleTable();

/** The modulation of a GrainShifter for one sample: both taps' delays (in samples) and their
    crossfade gains. Shifters with the same settings and rate run the same sweep, so a left/right
    pair computes it once. */
struct GrainSweepPoint
{
    double delayA = 0.0;
    double delayB = 0.0;
    double gainA = 1.0;
    double gainB = 0.0;
};

/** The sweep of a GrainShifter: with phase q = counter × rate / fs, tap A's delay follows the saw at q
    from the start delay to the end delay, tap B's the saw half a period later, and the crossfade
    angle a = (tri(q - 0.25) + 1) π/4 gives gains cos a (A) and sin a (B). */
class GrainSweep
{
public:
    /** Stores the settings and rate, takes the tables and resets. */
    void prepare (const GrainShifterSettings& s, double sampleRate) noexcept
    {
        settings = s;
        rate = sampleRate;
        saw = &grainSawTable();
        tri = &grainTriangleTable();
        reset();
    }

    /** Restarts the sweep at phase 0. */
    void reset() noexcept { counter = 0; }

    /** The point for the current sample; advances the counter. */
    GrainSweepPoint next() noexcept
    {
        const double q = static_cast<double> (counter) * settings.sweepRate / rate;
        ++counter;
        const double span = settings.delayEnd - settings.delayStart;
        const double angle = (lookUp (*tri, q - 0.25) + 1.0) * (0.25 * std::numbers::pi);
        return { rate * (settings.delayStart + span * (lookUp (*saw, q) + 1.0) * 0.5),
                 rate * (settings.delayStart + span * (lookUp (*saw, q - 0.5) + 1.0) * 0.5), std::cos (angle),
                 std::sin (angle) };
    }

private:
    static double lookUp (const std::array<double, grainTableSize>& table, double phase) noexcept
    {
        const double pos = (phase - std::floor (phase)) * static_cast<double> (grainTableSize);
        auto i = static_cast<std::size_t> (pos);
        const double frac = pos - static_cast<double> (i);
        i %= grainTableSize;
        const std::size_t j = (i + 1) % grainTableSize;
        return table[i] + (table[j] - table[i]) * frac;
    }

    GrainShifterSettings settings {};
    double rate = 44100.0;
    const std::array<double, grainTableSize>* saw = nullptr;
    const std::array<double, grainTableSize>* tri = nullptr;
    std::uint64_t counter = 0;
};

/** Delay-line pitch shifter with two crossfaded taps (one channel).

    Each tap's delay sweeps linearly (a band-limited saw) from the start delay to the end delay once
    per period and jumps back while a triangle-driven equal-power crossfade has faded that tap out;
    the second tap runs half a period behind. A sweeping delay changes the read speed and so the
    pitch. The output of 128 samples ago is fed back into the input. */
class GrainShifter
{
public:
    static constexpr std::size_t feedbackRingSize = 128;

    /** Sizes the line (one second plus 8 samples) and resets. Allocates. */
    void prepare (const GrainShifterSettings& s, double sampleRate)
    {
        feedback = s.feedback;
        sweep.prepare (s, sampleRate);
        length = static_cast<std::size_t> (sampleRate) + 8;
        line.assign (length, 0.0);
        reset();
    }

    /** Clears the line, the feedback ring and the own sweep. */
    void reset() noexcept
    {
        std::fill (line.begin(), line.end(), 0.0);
        ring.fill (0.0);
        writePos = 0;
        ringPos = 0;
        sweep.reset();
    }

    /** Shifts one sample along the shifter's own sweep. */
    double process (double x) noexcept { return process (x, sweep.next()); }

    /** Shifts one sample along a sweep shared with the other channel (same settings and rate). */
    double process (double x, const GrainSweepPoint& p) noexcept
    {
        line[writePos] = flushTiny (x + feedback * ring[ringPos]);
        const double out = p.gainB * read (p.delayB) + p.gainA * read (p.delayA);
        ring[ringPos] = out;
        ringPos = (ringPos + 1) % feedbackRingSize;
        if (++writePos == length)
            writePos = 0;
        return out;
    }

private:
    double read (double delay) const noexcept
    {
        return readDelayLine (line.data(), length, writePos, delay);
    }

    double feedback = 0.0;
    GrainSweep sweep;
    std::size_t length = 0;
    std::vector<double> line;
    std::array<double, feedbackRingSize> ring {};
    std::size_t writePos = 0;
    std::size_t ringPos = 0;
};

} // namespace brivola
