#pragma once

#include "dish/collection/Statistics.h"

#include <juce_core/juce_core.h>

#include <cstdint>
#include <optional>

namespace brivola
{

//==============================================================================
/** Window motion: the editor's screen position between ticks, turned into a smoothed velocity
    whose changes slosh the dish. */
struct WindowMotion
{
    bool hasPrevious = false;
    int previousX = 0, previousY = 0;
    double previousTime = 0.0; // ms
    double vx = 0.0, vy = 0.0;
};

/** What one tick's window motion asks for. */
struct WindowMotionStep
{
    bool moved = false;  // publish "window" with dx, dy
    int dx = 0, dy = 0;
    bool slosh = false;  // call slosh with the velocity change
    double sloshX = 0.0, sloshY = 0.0;
};

/** One tick with the editor's top-left corner at (x, y) at time `nowMs`: the velocity follows the
    movement per 125 pixels (scaled by the tick's lateness, 0.5 to 4 tick lengths) halfway each
    tick and snaps to rest below 0.0001 once the window stands still. */
WindowMotionStep stepWindowMotion (WindowMotion& motion, int x, int y, double nowMs) noexcept;

//==============================================================================
/** The statistics cadence: a check every 30th tick, a message when the incubation moved by a
    second or more or the spawn count changed. */
struct StatsCadence
{
    int ticks = 0;
    double lastIncubation = -1.0;
    std::int64_t lastSpawn = -1;
};

/** Step 1 of a tick: true when the statistics are checked this tick (always when forced). */
bool statsCheckDue (StatsCadence& cadence, bool force) noexcept;

/** Steps 4 and 5: true (and the values remembered) when they are to be sent. */
bool statsShouldSend (StatsCadence& cadence, const PageStatistics& now, bool force) noexcept;

//==============================================================================
/** The host-pause watch: paused once the audio block counter has not moved for 1.5 s. */
struct HostPauseWatch
{
    std::uint32_t lastBlocks = 0;
    double changedAt = 0.0;     // ms
    int lastPublished = -1;     // −1 none, 0 running, 1 paused
};

/** One tick: the paused state to publish when it differs from the last one published. */
std::optional<bool> stepHostPause (HostPauseWatch& watch, std::uint32_t blocks, double nowMs) noexcept;

//==============================================================================
/** The storage notice as the page last heard it. */
struct StorageNoticeWatch
{
    int last = 0;
    bool unavailableShown = false; // "Shared storage unavailable" is on the page
};

/** The text that "storageError" should carry this tick, if any: the notice when it changed, or the
    current notice once the store became ready after the page was told it was unavailable. */
std::optional<juce::String> stepStorageNotice (StorageNoticeWatch& watch, int notice, bool storeReady);

} // namespace brivola
