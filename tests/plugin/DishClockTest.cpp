#include "plugin/DishClock.h"

#include <gtest/gtest.h>

#include <limits>

using namespace brivola;

TEST (DishClock, InvalidRatesRunAt44100)
{
    struct Case { double rate; double expected; };
    const Case cases[] = {
        { 0.0, 44100.0 }, { 500000.0, 44100.0 }, { 999.0, 44100.0 }, { -48000.0, 44100.0 },
        { std::numeric_limits<double>::infinity(), 44100.0 }, { std::numeric_limits<double>::quiet_NaN(), 44100.0 },
        { 1000.0, 1000.0 }, { 48000.0, 48000.0 }, { 384000.0, 384000.0 },
    };
    for (const auto& c : cases)
        EXPECT_EQ (validSampleRate (c.rate), c.expected) << c.rate;
}

TEST (DishClock, RateChangeRescalesTheAccumulator)
{
    DishClock clock;
    clock.accumulator = 300.0;
    setDishClockRate (clock, 48000.0);
    EXPECT_DOUBLE_EQ (clock.samplesPerTick, 800.0);
    EXPECT_NEAR (clock.accumulator, 300.0 * 800.0 / 735.0, 1e-9);
    EXPECT_NEAR (clock.accumulator, 326.5, 0.1);

    // An invalid old state restarts the tick; a full tick becomes 0.
    clock.samplesPerTick = std::numeric_limits<double>::quiet_NaN();
    clock.accumulator = 10.0;
    setDishClockRate (clock, 44100.0);
    EXPECT_EQ (clock.accumulator, 0.0);

    clock.accumulator = 735.0;
    setDishClockRate (clock, 44100.0);
    EXPECT_EQ (clock.accumulator, 0.0);
}

TEST (DishClock, SubBlocksEndAtTicksAndTicksAreCounted)
{
    DishClock clock; // 735 samples per tick
    EXPECT_EQ (samplesUntilTick (clock), 735);
    EXPECT_EQ (advanceDishClock (clock, 700), 0);
    EXPECT_EQ (samplesUntilTick (clock), 35);
    EXPECT_EQ (advanceDishClock (clock, 35), 1);
    EXPECT_EQ (clock.tickCounter, 1u);
    EXPECT_EQ (clock.accumulator, 0.0);

    // A fractional tick length: sub-blocks are rounded up, the remainder carries over.
    setDishClockRate (clock, 44101.0);
    EXPECT_EQ (samplesUntilTick (clock), 736);
    EXPECT_EQ (advanceDishClock (clock, 736), 1);
    EXPECT_NEAR (clock.accumulator, 736.0 - 44101.0 / 60.0, 1e-9);

    // Exactly one sample when the accumulator already holds a whole tick.
    clock.accumulator = clock.samplesPerTick;
    EXPECT_EQ (samplesUntilTick (clock), 1);

    // Several ticks in one addition.
    DishClock big;
    EXPECT_EQ (advanceDishClock (big, 735 * 3 + 5), 3);
    EXPECT_EQ (big.tickCounter, 3u);
    EXPECT_DOUBLE_EQ (big.accumulator, 5.0);
}
