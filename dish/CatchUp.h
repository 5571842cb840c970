#pragma once

#include <cstdint>

namespace brivola
{

/** Wall-clock stepping of a dish while the host has stopped calling processBlock: watches the
    audio block counter and, once it has stood still for 250 ms, converts the time since the last
    run (at most 100 ms per call) into audio samples for the dish clock. Message thread only. */
struct CatchUpClock
{
    std::uint32_t lastBlockCount = 0; // audio block counter seen at the last call
    bool watching = false;            // lastBlockCount and pauseStartMs are valid
    double pauseStartMs = 0.0;        // when the counter last changed (as seen by this clock)
    double lastRunMs = 0.0;
    bool hasLastRun = false;
};

/** Steps 1–2 of the catch-up, before any lock: true when the host has been quiet for at least
    250 ms, is not rendering offline and the processor is prepared. A changed block counter
    restarts the pause (and forgets the last run). The first call only starts watching. */
bool catchUpDue (CatchUpClock& clock, std::uint32_t audioBlockCount, double nowMs, bool offline, bool prepared) noexcept;

/** Step 4, with the callback lock held: elapsed time since the last run (or the pause start),
    limited to 0 … 100 ms, as a whole number of samples (elapsed × 0.001 × samplesPerTick × 60,
    rounded half away from zero); remembers now as the last run. */
int takeCatchUpSamples (CatchUpClock& clock, double nowMs, double samplesPerTick) noexcept;

} // namespace brivola
