#pragma once

#include <cmath>
#include <cstdint>

namespace brivola
{

/** The dish's sample clock: 60 ticks per second of audio, counted in samples. */
struct DishClock
{
    double samplesPerTick = 735.0; // 44100 / 60
    double accumulator = 0.0;      // samples since the last tick
    std::uint64_t tickCounter = 0;
};

/** Valid host sample rates are finite and within 1000..384000 Hz; anything else runs at 44100. */
constexpr double validSampleRate (double sampleRate) noexcept
{
    return (sampleRate >= 1000.0 && sampleRate <= 384000.0) ? sampleRate : 44100.0;
}

/** Sets the tick length for a (validated) sample rate and rescales the accumulator so the same
    fraction of a tick has passed. An invalid old state gives 0; a full tick becomes 0. */
inline void setDishClockRate (DishClock& clock, double sampleRate) noexcept
{
    const double oldTick = clock.samplesPerTick;
    const double newTick = sampleRate / 60.0;
    double acc = 0.0;
    if (std::isfinite (oldTick) && oldTick > 0.0 && std::isfinite (clock.accumulator) && clock.accumulator >= 0.0)
        acc = std::fmin (clock.accumulator * newTick / oldTick, newTick);
    if (acc >= newTick)
        acc = 0.0;
    clock.samplesPerTick = newTick;
    clock.accumulator = acc;
}

/** The longest sub-block that ends at or before the next tick: ceil(tick - accumulator), or
    exactly one sample when the accumulator already holds a whole tick. */
inline int samplesUntilTick (const DishClock& clock) noexcept
{
    const double left = clock.samplesPerTick - clock.accumulator;
    if (! (left > 0.0))
        return 1;
    const double up = std::ceil (left);
    return up >= 2147483647.0 ? 2147483647 : static_cast<int> (up);
}

/** Adds rendered samples to the clock and returns how many ticks became due. */
inline int advanceDishClock (DishClock& clock, int samples) noexcept
{
    clock.accumulator += samples;
    int ticks = 0;
    while (clock.accumulator >= clock.samplesPerTick)
    {
        clock.accumulator -= clock.samplesPerTick;
        ++ticks;
    }
    clock.tickCounter += static_cast<std::uint64_t> (ticks);
    return ticks;
}

} // namespace brivola
