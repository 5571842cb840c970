#pragma once

#include "engine/effects/DspHelpers.h"

#include <algorithm>
#include <cmath>

namespace brivola
{

/** Normalised biquad coefficients (a0 = 1). The defaults pass the signal unchanged. */
struct BiquadCoefficients
{
    double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
};

namespace biquad_detail
{
inline BiquadCoefficients normalised (double b0, double b1, double b2, double a0, double a1, double a2) noexcept
{
    return { b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0 };
}
} // namespace biquad_detail

/** Standard (cookbook) resonant low-pass, alpha = sin w / (2Q). */
inline BiquadCoefficients lowPassCoefficients (double frequency, double q, double sampleRate) noexcept
{
    const double w = twoPi * frequency / sampleRate;
    const double cw = std::cos (w);
    const double alpha = std::sin (w) / (2.0 * q);
    return biquad_detail::normalised ((1.0 - cw) * 0.5, 1.0 - cw, (1.0 - cw) * 0.5, 1.0 + alpha, -2.0 * cw, 1.0 - alpha);
}

/** Standard (cookbook) peaking equaliser with `gainDb` at `frequency`. */
inline BiquadCoefficients peakingCoefficients (double frequency, double q, double gainDb, double sampleRate) noexcept
{
    const double a = std::pow (10.0, gainDb / 40.0);
    const double w = twoPi * frequency / sampleRate;
    const double cw = std::cos (w);
    const double alpha = std::sin (w) / (2.0 * q);
    return biquad_detail::normalised (1.0 + alpha * a, -2.0 * cw, 1.0 - alpha * a, 1.0 + alpha / a, -2.0 * cw, 1.0 - alpha / a);
}

/** Standard (cookbook) high shelf with shelf slope 1 and `gainDb` above `frequency`. */
inline BiquadCoefficients highShelfCoefficients (double frequency, double gainDb, double sampleRate) noexcept
{
    const double a = std::pow (10.0, gainDb / 40.0);
    const double w = twoPi * frequency / sampleRate;
    const double cw = std::cos (w);
    const double alpha = std::sin (w) / 2.0 * std::sqrt (2.0); // slope 1: sqrt((A + 1/A)(1/S - 1) + 2)
    const double sa = 2.0 * std::sqrt (a) * alpha;
    return biquad_detail::normalised (a * ((a + 1.0) + (a - 1.0) * cw + sa),
                                      -2.0 * a * ((a - 1.0) + (a + 1.0) * cw),
                                      a * ((a + 1.0) + (a - 1.0) * cw - sa),
                                      (a + 1.0) - (a - 1.0) * cw + sa,
                                      2.0 * ((a - 1.0) - (a + 1.0) * cw),
                                      (a + 1.0) - (a - 1.0) * cw - sa);
}

/** One biquad in direct form I. Its output state is flushed to exact zero below flushThreshold so a
    decaying filter ends in zeros, never in subnormals. */
struct Biquad
{
    double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;

    /** Clears the state. */
    void reset() noexcept { x1 = x2 = y1 = y2 = 0.0; }

    /** Filters one sample with the given coefficients. */
    double process (double x, const BiquadCoefficients& c) noexcept
    {
        const double y = flushTiny (c.b0 * x + c.b1 * x1 + c.b2 * x2 - c.a1 * y1 - c.a2 * y2);
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

} // namespace brivola
