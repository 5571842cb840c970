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

} // namespace brivola
