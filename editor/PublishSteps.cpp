#include "editor/PublishSteps.h"

#include "store/StorageNotice.h"

#include <algorithm>
#include <cmath>

namespace brivola
{

WindowMotionStep stepWindowMotion (WindowMotion& motion, int x, int y, double nowMs) noexcept
{
    WindowMotionStep step;
    if (! motion.hasPrevious)
    {
        motion.hasPrevious = true;
        motion.previousX = x;
        motion.previousY = y;
        motion.previousTime = nowMs;
        return step;
    }

    const auto dx = static_cast<std::int64_t> (x) - motion.previousX;
    const auto dy = static_cast<std::int64_t> (y) - motion.previousY;
    const double ticks = (nowMs - motion.previousTime) / (1000.0 / 60.0);
    // A clock that jumps back or stalls counts as an early tick.
    const double lateness = (std::isfinite (ticks) && ticks >= 0.5) ? std::min (ticks, 4.0) : 0.5;
    const double divisor = 125.0 * lateness;

    const double oldX = motion.vx, oldY = motion.vy;
    double newX = oldX + 0.5 * (static_cast<double> (dx) / divisor - oldX);
    double newY = oldY + 0.5 * (static_cast<double> (dy) / divisor - oldY);
    if (dx == 0 && dy == 0 && std::hypot (newX, newY) < 0.0001)
        newX = newY = 0.0;
    motion.vx = newX;
    motion.vy = newY;

    const double changeX = newX - oldX, changeY = newY - oldY;
    if (changeX != 0.0 || changeY != 0.0)
    {
        step.slosh = true;
        step.sloshX = changeX;
        step.sloshY = changeY;
    }

    motion.previousTime = nowMs;
    if (dx != 0 || dy != 0)
    {
        motion.previousX = x;
        motion.previousY = y;
        step.moved = true;
        step.dx = static_cast<int> (std::clamp<std::int64_t> (dx, INT32_MIN, INT32_MAX));
        step.dy = static_cast<int> (std::clamp<std::int64_t> (dy, INT32_MIN, INT32_MAX));
    }
    return step;
}

//==============================================================================
bool statsCheckDue (StatsCadence& cadence, bool force) noexcept
{
    if (! force)
    {
        const int n = cadence.ticks;
        cadence.ticks = n + 1;
        if (n < 29)
            return false;
    }
    cadence.ticks = 0;
    return true;
}

bool statsShouldSend (StatsCadence& cadence, const PageStatistics& now, bool force) noexcept
{
    if (! force && std::abs (now.incubation - cadence.lastIncubation) < 1.0 && now.spawn == cadence.lastSpawn)
        return false;
    cadence.lastIncubation = now.incubation;
    cadence.lastSpawn = now.spawn;
    return true;
}

//==============================================================================
std::optional<bool> stepHostPause (HostPauseWatch& watch, std::uint32_t blocks, double nowMs) noexcept
{
    if (blocks != watch.lastBlocks || ! (watch.changedAt > 0.0))
    {
        watch.lastBlocks = blocks;
        watch.changedAt = nowMs;
    }
    const bool paused = nowMs - watch.changedAt >= 1500.0;
    const int state = paused ? 1 : 0;
    if (state == watch.lastPublished)
        return std::nullopt;
    watch.lastPublished = state;
    return paused;
}

//==============================================================================
std::optional<juce::String> stepStorageNotice (StorageNoticeWatch& watch, int notice, bool storeReady)
{
    if (notice != watch.last || (watch.unavailableShown && storeReady))
    {
        watch.last = notice;
        watch.unavailableShown = false;
        return storageNoticeText (static_cast<StorageNotice> (notice));
    }
    return std::nullopt;
}

} // namespace brivola
