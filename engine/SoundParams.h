#pragma once

#include <array>
#include <cmath>
#include <cstddef>

namespace brivola
{

/** The twelve sound parameters as doubles in [0, 1], in host parameter order. */
struct SoundParams
{
    enum Index : std::size_t
    {
        filter,
        attack,
        chorus,
        reverb,
        sub,
        sat,
        delay,
        width,
        detune,
        shimmer,
        formant,
        phaser,
        count
    };

    std::array<double, count> values {};

    double operator[] (std::size_t i) const noexcept { return values[i]; }
    double& operator[] (std::size_t i) noexcept { return values[i]; }
};

/** Maps NaN, infinities and negatives to 0 and values above 1 to 1. */
constexpr double sanitiseParam (double v) noexcept
{
    if (! (v >= 0.0) || v == HUGE_VAL) // NaN and negatives fail the comparison; +inf is cut to 0
        return 0.0;
    return v > 1.0 ? 1.0 : v;
}

/** Returns a copy with every value sanitised. */
constexpr SoundParams sanitised (SoundParams p) noexcept
{
    for (auto& v : p.values)
        v = sanitiseParam (v);
    return p;
}

/** True when all twelve values compare equal; a NaN anywhere counts as a difference. */
constexpr bool sameParams (const SoundParams& a, const SoundParams& b) noexcept
{
    for (std::size_t i = 0; i < SoundParams::count; ++i)
        if (! (a.values[i] == b.values[i]))
            return false;
    return true;
}

} // namespace brivola
