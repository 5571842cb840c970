#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace brivola::test
{

/** Deterministic noise in [-1, 1). */
struct Noise
{
    std::uint32_t s = 12345;
    double next()
    {
        s = s * 1664525u + 1013904223u;
        return static_cast<double> (s >> 8) / 8388608.0 - 1.0;
    }
};

/** Amplitude of the component at `frequency` in x[begin, end) (Goertzel, rectangular window). */
inline double toneAmplitude (const std::vector<double>& x, std::size_t begin, std::size_t end, double frequency, double sampleRate)
{
    const double w = 2.0 * std::numbers::pi * frequency / sampleRate;
    const double c = 2.0 * std::cos (w);
    double s1 = 0.0, s2 = 0.0;
    for (std::size_t i = begin; i < end; ++i)
    {
        const double s0 = x[i] + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double re = s1 - s2 * std::cos (w);
    const double im = s2 * std::sin (w);
    return 2.0 * std::hypot (re, im) / static_cast<double> (end - begin);
}

inline double peakOf (const std::vector<double>& x, std::size_t begin = 0, std::size_t end = SIZE_MAX)
{
    double p = 0.0;
    for (std::size_t i = begin; i < x.size() && i < end; ++i)
        p = std::max (p, std::abs (x[i]));
    return p;
}

/** True when v is 0 or a normal number, also after conversion to float (what the host receives). */
inline bool zeroOrNormal (double v)
{
    const auto f = static_cast<float> (v);
    return (v == 0.0 || std::fpclassify (v) == FP_NORMAL) && (f == 0.0f || std::fpclassify (f) == FP_NORMAL);
}

} // namespace brivola::test
