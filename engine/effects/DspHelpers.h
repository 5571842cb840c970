#pragma once

#include "engine/dsp/Constants.h"

#include <cmath>
#include <cstddef>
#include <numbers>

namespace brivola
{

/** Magnitudes below this are replaced by exact zero in decaying states and at the chain's output.
    It lies far below anything audible and far above the subnormal ranges of float and double, so
    decays end in exact zeros and a float copy of the output can never be subnormal. */
inline constexpr double flushThreshold = 1.0e-30;

/** Returns 0 for magnitudes below flushThreshold, otherwise the value itself (NaN stays NaN). */
inline double flushTiny (double x) noexcept
{
    return std::abs (x) < flushThreshold ? 0.0 : x;
}

/** Returns x when it is finite, otherwise 0. */
inline double finiteOrZero (double x) noexcept
{
    return std::isfinite (x) ? x : 0.0;
}

/** Number of samples in `seconds` at `sampleRate`, rounded down, at least `minimum`. */
inline std::size_t samplesFor (double seconds, double sampleRate, std::size_t minimum = 0) noexcept
{
    const auto n = static_cast<std::size_t> (std::floor (seconds * sampleRate));
    return n < minimum ? minimum : n;
}

inline constexpr double halfPi = 0.5 * std::numbers::pi;

/** Reads a circular delay line `delay` samples behind the write position (0 = the newest sample),
    interpolating linearly between floor(delay) and floor(delay) + 1. */
inline double readDelayLine (const double* line, std::size_t length, std::size_t writePos, double delay) noexcept
{
    const auto whole = static_cast<std::size_t> (delay);
    const double frac = delay - static_cast<double> (whole);
    std::size_t i0 = writePos + length - whole;
    if (i0 >= length)
        i0 -= length;
    const std::size_t i1 = i0 == 0 ? length - 1 : i0 - 1;
    return line[i0] + (line[i1] - line[i0]) * frac;
}

} // namespace brivola
