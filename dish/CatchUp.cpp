#include "dish/CatchUp.h"

#include <cmath>

namespace brivola
{

bool catchUpDue (CatchUpClock& clock, std::uint32_t audioBlockCount, double nowMs, bool offline, bool prepared) noexcept
{
    if (! std::isfinite (nowMs))
        return false;
    if (! clock.watching || audioBlockCount != clock.lastBlockCount)
    {
        clock.watching = true;
        clock.lastBlockCount = audioBlockCount;
        clock.pauseStartMs = nowMs;
        clock.hasLastRun = false;
        return false;
    }
    if (! (nowMs - clock.pauseStartMs >= 250.0))
        return false;
    return ! offline && prepared;
}

int takeCatchUpSamples (CatchUpClock& clock, double nowMs, double samplesPerTick) noexcept
{
    const double from = clock.hasLastRun ? clock.lastRunMs : clock.pauseStartMs;
    double elapsed = nowMs - from;
    if (! (elapsed > 0.0))
        elapsed = 0.0;
    else if (elapsed > 100.0)
        elapsed = 100.0;
    if (std::isfinite (nowMs))
    {
        clock.lastRunMs = nowMs;
        clock.hasLastRun = true;
    }
    const double samples = std::round (elapsed * 0.001 * samplesPerTick * 60.0);
    if (! (samples > 0.0) || samples > 1.0e9)
        return 0;
    return static_cast<int> (samples);
}

} // namespace brivola
