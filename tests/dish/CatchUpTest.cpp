#include "dish/CatchUp.h"

#include <gtest/gtest.h>

#include <limits>

using namespace brivola;

namespace
{
/** The processor's side of a catch-up call: count whole ticks in the accumulator. */
int runCatchUp (CatchUpClock& clock, double& accumulator, std::uint32_t blocks, double now,
                bool offline = false, bool prepared = true)
{
    if (! catchUpDue (clock, blocks, now, offline, prepared))
        return 0;
    accumulator += takeCatchUpSamples (clock, now, 735.0);
    int ticks = 0;
    while (accumulator >= 735.0)
    {
        accumulator -= 735.0;
        ++ticks;
    }
    return ticks;
}
} // namespace

TEST (CatchUp, StoppedHostAdvancesAboutOnePointEightTicksPerThirtyMilliseconds)
{
    CatchUpClock clock;
    double acc = 0.0;
    double now = 1000.0;
    int ticks = 0;
    // The host stops at 1000 ms; nothing runs before 250 ms of silence.
    for (; now < 1250.0; now += 30.0)
        EXPECT_EQ (runCatchUp (clock, acc, 7, now), 0);

    // The first run takes the time since the pause start, limited to 100 ms (6 ticks).
    ticks = runCatchUp (clock, acc, 7, now);
    EXPECT_EQ (ticks, 6);
    ticks = 0;
    for (int call = 0; call < 100; ++call)
    {
        now += 30.0;
        const int t = runCatchUp (clock, acc, 7, now);
        EXPECT_TRUE (t == 1 || t == 2);
        ticks += t;
    }
    EXPECT_EQ (ticks, 180) << "30 ms × 60 / 1000 per call, 1323 samples each";
}

TEST (CatchUp, ProcessingHostOfflineOrUnpreparedNeverSteps)
{
    CatchUpClock clock;
    double acc = 0.0;
    EXPECT_EQ (runCatchUp (clock, acc, 1, 0.0), 0);
    EXPECT_EQ (runCatchUp (clock, acc, 2, 400.0), 0) << "a moving counter restarts the pause";
    EXPECT_EQ (runCatchUp (clock, acc, 2, 600.0), 0) << "only 200 ms quiet";
    EXPECT_EQ (runCatchUp (clock, acc, 2, 700.0, true), 0) << "offline";
    EXPECT_EQ (runCatchUp (clock, acc, 2, 700.0, false, false), 0) << "not prepared";
    EXPECT_GT (runCatchUp (clock, acc, 2, 700.0), 0);

    // After a run, a new block restarts the wait and forgets the last run.
    EXPECT_EQ (runCatchUp (clock, acc, 3, 720.0), 0);
    EXPECT_FALSE (clock.hasLastRun);
    EXPECT_EQ (runCatchUp (clock, acc, 3, 900.0), 0);
}

TEST (CatchUp, ElapsedTimeIsLimitedAndRounded)
{
    CatchUpClock clock;
    ASSERT_FALSE (catchUpDue (clock, 0, 0.0, false, true));
    ASSERT_TRUE (catchUpDue (clock, 0, 5000.0, false, true));
    EXPECT_EQ (takeCatchUpSamples (clock, 5000.0, 735.0), 4410) << "100 ms at most";
    EXPECT_EQ (takeCatchUpSamples (clock, 4000.0, 735.0), 0) << "a clock going back gives nothing";
    EXPECT_EQ (takeCatchUpSamples (clock, 4000.5, 800.0), 24) << "0.5 ms × 48 samples/ms";
    EXPECT_EQ (takeCatchUpSamples (clock, 4000.8, 735.0), 13) << "13.23 samples";
    EXPECT_EQ (takeCatchUpSamples (clock, 4001.11, 735.0), 14) << "13.67 samples";
    EXPECT_FALSE (catchUpDue (clock, 0, std::numeric_limits<double>::quiet_NaN(), false, true));
}
