#pragma once

#include <array>
#include <cmath>
#include <cstddef>

namespace brivola
{

/** One channel of 4× oversampled waveshaping.

    Each input sample x is upsampled as (4x, 0, 0, 0) through a 64-tap Blackman-windowed sinc
    (cutoff at a quarter of the oversampled rate, taps summing to 1), each of the four results is
    looked up in a 4096-entry waveshaper table with linear interpolation, and the shaped values pass
    the same 64-tap filter again, decimated to one output per input. The upsampler keeps only its
    non-zero inputs (polyphase form), which gives the same sums as running the zeros through it. */
class Saturator
{
public:
    static constexpr std::size_t tableSize = 4096;
    static constexpr std::size_t numTaps = 64;

    /** The 64 interpolation and decimation taps, normalised to sum to 1. */
    static const std::array<double, numTaps>& taps() noexcept;

    /** Builds the table for steepness 0 and resets. */
    void prepare() noexcept
    {
        h = &taps();
        build (0.0);
        reset();
    }

    /** Clears both filter histories (the table stays). */
    void reset() noexcept
    {
        upHistory.fill (0.0);
        downHistory.fill (0.0);
        upPos = 0;
        downPos = 0;
    }

    /** Rebuilds the table when `steepness` differs by more than 0.01 from the one it was built for. */
    void setSteepness (double steepness) noexcept
    {
        if (! (std::abs (steepness - builtFor) <= 0.01))
            build (steepness);
    }

    /** The steepness the current table was built for. */
    double tableSteepness() const noexcept { return builtFor; }

    /** The table entry i (for tests and diagnostics). */
    double tableEntry (std::size_t i) const noexcept { return table[i]; }

    /** Returns wet × shaped + dry × x for one input sample. */
    double process (double x, double wetGain, double dryGain) noexcept
    {
        // Newest upsampler input at upPos, mirrored so 16 consecutive entries can be read.
        upPos = (upPos + upLength - 1) % upLength;
        upHistory[upPos] = upHistory[upPos + upLength] = 4.0 * x;
        const double* u = upHistory.data() + upPos;

        // The four oversampled values: output phase p sums h[p + 4m] × u[m]; computed as four
        // independent sums side by side so they do not wait on each other.
        double v[4] = {};
        for (std::size_t m = 0; m < upLength; ++m)
            for (std::size_t p = 0; p < 4; ++p)
                v[p] += (*h)[p + 4 * m] * u[m];
        for (std::size_t p = 0; p < 4; ++p)
        {
            downPos = (downPos + numTaps - 1) % numTaps;
            downHistory[downPos] = downHistory[downPos + numTaps] = lookUp (v[p]);
        }

        // Decimation: a 64-tap dot product, in eight partial sums.
        const double* w = downHistory.data() + downPos;
        double partial[8] = {};
        for (std::size_t i = 0; i < numTaps; i += 8)
            for (std::size_t j = 0; j < 8; ++j)
                partial[j] += (*h)[i + j] * w[i + j];
        const double shaped = ((partial[0] + partial[1]) + (partial[2] + partial[3])) + ((partial[4] + partial[5]) + (partial[6] + partial[7]));

        return wetGain * shaped + dryGain * x;
    }

private:
    static constexpr std::size_t upLength = numTaps / 4;

    void build (double steepness) noexcept;

    double lookUp (double v) const noexcept
    {
        // A NaN takes the lower end: the caller reports the fault, the index stays in range.
        const double c = v > 1.0 ? 1.0 : (v > -1.0 ? v : -1.0);
        const double pos = (c + 1.0) * 0.5 * static_cast<double> (tableSize - 1);
        const auto i = static_cast<std::size_t> (pos);
        const double frac = pos - static_cast<double> (i);
        const double a = table[i];
        const double b = i + 1 < tableSize ? table[i + 1] : table[tableSize - 1];
        return a + (b - a) * frac;
    }

    const std::array<double, numTaps>* h = &taps();
    std::array<double, tableSize> table {};
    double builtFor = -1.0;
    std::array<double, 2 * upLength> upHistory {};
    std::array<double, 2 * numTaps> downHistory {};
    std::size_t upPos = 0;
    std::size_t downPos = 0;
};

} // namespace brivola
