#pragma once

#include <cstdint>

namespace brivola
{

/** The id hash: a 32-bit integer to a number in [0, 1). Values tied to a cell (angle, spin, charges,
    detune, start phase, noise position) come from it, so the same cell looks and sounds the same
    everywhere. */
constexpr double hash01 (std::uint32_t v) noexcept
{
    v *= 0x85EBCA6Bu;
    v ^= v >> 13;
    v *= 0xC2B2AE35u;
    v ^= v >> 16;
    return static_cast<double> (v) / 4294967296.0;
}

/** The golden ratio constant used to decorrelate hash inputs. */
inline constexpr std::uint32_t goldenHashKey = 0x9E3779B9u;

/** Mulberry32: the output function for one state value. */
constexpr double mulberry32Value (std::uint32_t z) noexcept
{
    z = (z ^ (z >> 15)) * (z | 1u);
    z ^= z + (z ^ (z >> 7)) * (z | 61u);
    return static_cast<double> (z ^ (z >> 14)) / 4294967296.0;
}

inline constexpr std::uint32_t mulberry32Increment = 0x6D2B79F5u;

/** Mulberry32: advances `state` by one step and returns a double in [0, 1). */
constexpr double mulberry32Next (std::uint32_t& state) noexcept
{
    state += mulberry32Increment;
    return mulberry32Value (state);
}

/** A Mulberry32 generator that owns its state. */
struct Mulberry32
{
    std::uint32_t state = 1;

    constexpr double next() noexcept { return mulberry32Next (state); }
};

} // namespace brivola
