#pragma once

#include "dish/Dish.h"
#include "editor/DishView.h"
#include "engine/SoundParams.h"

#include <juce_core/juce_core.h>

#include <cstdint>

namespace brivola
{

/** The dish's event counters and its incubation time (the processor's tick counter / 60, in
    seconds), as copied for the page after every batch of ticks. */
struct StatisticsCounters
{
    std::uint64_t merges = 0;
    std::uint64_t splits = 0;
    std::uint64_t spawns = 0;
    double incubationSeconds = 0.0;

    bool operator== (const StatisticsCounters&) const = default;
};

/** What the preset preview request holds right now (read under the callback lock). */
struct PresetPreviewStatus
{
    bool pending = false;           ///< a request waits for the next audio block
    std::int32_t requestedToken = 0;
    bool playing = false;           ///< the preview engine sounds
    std::int32_t playingToken = 0;
};

//==============================================================================
/** What the collection needs from the processor that owns it.

    Threads and locks: every method runs on the message thread, except `dishLock` and
    `sharedSpecies`, which may be called from any thread. The methods marked "under the lock" are
    called only while the collection holds `dishLock()`; all others are called without it (the
    collection never calls the shared store, the parameters or the clock while holding it). */
class CollectionHost
{
public:
    virtual ~CollectionHost() = default;

    /** The processor's callback lock: the lock the audio callback runs under. */
    virtual const juce::CriticalSection& dishLock() const noexcept = 0;

    /** The main dish. Under the lock. */
    virtual Dish& lockedMainDish() noexcept = 0;

    /** The dish the preview engine follows. Under the lock. */
    virtual Dish& lockedPreviewDish() noexcept = 0;

    /** The species record shared with the main dish (atomics; any thread). */
    virtual SpeciesExchange& sharedSpecies() noexcept = 0;

    /** True while the processor is prepared (ready flag set, block size above 0). */
    virtual bool isPreparedForAudio() const noexcept = 0;

    /** After a message-thread change that rewrote the main dish. Under the lock: when prepared,
        the main engine's dish update (not immediate) and, when `ping`, one event ping; in every
        case the dish view is published. */
    virtual void afterDishRewrite (bool ping) noexcept = 0;

    /** Species audition. Under the lock: every one-shot voice that sounds and has not started its
        release starts it now; a one-shot voice starts for the species at `pan` (−1 … 1). */
    virtual void auditionSpecies (Species species, double pan) noexcept = 0;

    /** The latest dish view (a read of the processor's dish view buffer). False when the read
        gave up. */
    virtual bool readLatestDishView (DishViewSlots& slots) noexcept = 0;

    /** The counters last copied for the page (lock-free reads of the processor's copies). */
    virtual StatisticsCounters shownDishCounters() const noexcept = 0;

    /** The current values of the twelve sound parameters, in parameter order. */
    virtual SoundParams currentSoundParams() const = 0;

    /** Sets one sound parameter (index 0 … 11, value 0 … 1), notifying the host. */
    virtual void setSoundParamNotifyingHost (int index, double value) = 0;

    /** The preset preview request as it stands. Under the lock. */
    virtual PresetPreviewStatus presetPreviewStatus() const noexcept = 0;

    /** A new preset preview request for the preview dish (already copied in). Under the lock:
        store `params`, `note` and `token` as the pending request (release-at-once clear); silence
        the main engine (8 ms release of its 24 voices, held notes, held and sustained marks and
        pedal cleared, per-note velocities 1, keyboard note and current note −1); when a preview is
        still playing, gate the preview engine off and fast-release its voices. */
    virtual void requestPresetPreview (const SoundParams& params, int note, int token) noexcept = 0;

    /** Sets the pending request's release-at-once flag. Under the lock. */
    virtual void releasePendingPresetPreviewAtOnce() noexcept = 0;

    /** Gates the playing preview off and releases each of its voices, a voice still in its attack
        once the attack is complete. Under the lock. */
    virtual void releasePlayingPresetPreview() noexcept = 0;

    /** Today's local date as "YYYY-MM-DD" (`localDateKey` of the current time). */
    virtual juce::String localDate() const = 0;

    /** Wall-clock time in milliseconds since 1970-01-01 UTC. */
    virtual std::int64_t currentTimeMs() const = 0;
};

/** A local date written as four-digit year, dash, two-digit month, dash, two-digit day. */
juce::String localDateKey (const juce::Time& time);

} // namespace brivola
