#pragma once

#include "dish/Pipette.h"
#include "dish/collection/CollectionHost.h"
#include "dish/collection/PresetValue.h"
#include "dish/collection/Statistics.h"
#include "store/SharedStore.h"
#include "store/StorageNotice.h"

#include <juce_core/juce_core.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>

namespace brivola
{

/** One preset slot as this instance knows it: a normalised preset value (void = empty) and the
    slot revision it came with. */
struct PresetSlotCopy
{
    juce::var value;
    std::int64_t revision = 0;
};

//==============================================================================
/** The processor's collection: species and discoveries, the pipette, the automatic drop that
    reseeds an empty dish, the shared statistics and the twelve preset slots.

    Discoveries of every instance meet in the shared store. The dish reports what it saw (seen
    bits), births and mutation proposals through the `SpeciesExchange`; once per second the
    collection records seen species and plain colours as discoveries, and arbitrates births and
    proposals into at most one armed grant under the store's daily quota (two birth grants and ten
    discoveries per local day). Preset writes and the other store work stay pending while the store
    is busy or failing and are retried every second; the store is re-read only when its document
    file's signature changed.

    Threads: `autoDropTick` runs on the audio thread (or the catch-up stepping) with the callback
    lock held and neither allocates nor locks. Everything else runs on the message thread; the
    store is called only there and never under the callback lock. */
class Collection
{
public:
    /** Daily limits passed to the store's quota operations. */
    static constexpr int maxGrantsPerDay = 2;
    static constexpr int maxDiscoveriesPerDay = 10;
    /** Ticks from scheduling an automatic drop to the drop. */
    static constexpr int autoDropDelayTicks = 30;
    /** Timer seconds between two statistics flushes. */
    static constexpr int statisticsCadenceSeconds = 30;
    /** Longest key list and key `markPipetteSeen` accepts. */
    static constexpr int maxSeenKeys = 128;
    static constexpr int maxSeenKeyLength = 128;

    /** The host must outlive the collection. Calls nothing on it. */
    explicit Collection (CollectionHost& host);
    ~Collection();

    //==============================================================================
    // Lifecycle (message thread)

    /** The first load: opens the store in `folder` (empty: the default folder), reads the shared
        presets, discoveries and statistics, counts the opening as a birth and arbitrates once,
        then runs the periodic work once with a forced re-read. The caller then starts its
        one-second timer. */
    void loadSharedData (const juce::String& folder = {});

    /** The periodic work, once per second: automatic-drop scheduling; the preset refresh (which
        applies the document's discoveries); when it did not fail, pending preset writes, pending
        pipette-seen keys and seen species, each only after the previous one succeeded; then plain
        colours, arbitration and, after a successful arbitration, the statistics cadence. */
    void runTimerWork();

    /** Before the processor goes (after its timer stopped): flushes pending store work once
        (presets, pipette-seen keys, seen species, plain colours, statistics) and gives back the
        daily quota of a grant that is still armed. */
    void shutdown();

    //==============================================================================
    // Audio thread

    /** The automatic drop's countdown for one dish tick, with the callback lock held: when it
        goes from 1 to 0 while the pipette is closed, the queue is exhausted and no cell is live,
        the scheduled species is dropped at the centre. Returns the slot of a dropped cell, or
        `noSlot`. */
    int autoDropTick (Dish& mainDish) noexcept;

    //==============================================================================
    // Page operations (message thread)

    /** Opens or closes the pipette; closing it over an empty, settled dish schedules an
        automatic drop of a palette species 30 ticks later; opening cancels it. */
    void setPipetteMode (bool on);

    /** Auditions a species ("normal" or a motif name, and a colour string) on a one-shot voice at
        `pan` (limited to −1 … 1); nothing for unknown names, a non-finite pan or an unprepared
        processor. */
    void previewPipette (const juce::String& shape, const juce::String& colour, double pan);

    /** Drops a species into the main dish at (x, y), each limited to −1 … 1, with the pointer's
        velocity; nothing for unknown names or non-finite numbers. */
    void dropPipette (const juce::String& shape, const juce::String& colour, double x, double y, double vx, double vy);

    /** Records that the page has shown these pipette entries (at most 128 keys; each of at most
        128 characters that is discovered and not yet seen), then tries to store them. */
    void markPipetteSeen (const juce::StringArray& keys);

    /** Snapshots the main dish's live cells and the sound parameters into a slot (0 … 11); an
        empty dish is never saved. */
    void savePresetSlot (int slot);

    /** Empties a slot (0 … 11). */
    void clearPresetSlot (int slot);

    /** Replaces the culture and the sound parameters with a slot's preset: the present cells fade
        out in 150 ms and the saved cells appear together as they vanish. */
    void recallPresetSlot (int slot);

    /** Auditions a slot's preset on the preview engine with `note` (0 … 127) under `token` (> 0),
        without touching the main dish. */
    void startPresetPreview (int slot, int note, int token);

    /** Ends the audition with `token`: a pending one plays its attacks and releases, a playing
        one releases. A token that matches nothing changes nothing. */
    void stopPresetPreview (int token);

    //==============================================================================
    // Named steps of the periodic work (message thread; public for the processor and for tests)

    /** Re-reads the document unless its file signature is the one seen last (or `force`): replaces
        the slot copies when a revision moved, applies the discoveries and takes the shared
        statistics. Returns false when the read failed. */
    bool refreshPresets (bool force = false);

    /** Flushes the pending preset writes of slots 0 … 11 in order, stopping at the first slot
        that does not succeed. */
    bool flushPendingPresets();

    /** Stores the pending pipette-seen keys. */
    bool retryPendingPipetteSeen();

    /** Records every seen species (lowest first) as a discovery; stops at the first failure. */
    bool recordSeenSpecies();

    /** Records plain colours present in the dish view as discoveries. */
    bool recordPlainColours();

    /** Turns a birth or a proposal into an armed grant under the daily quota. */
    bool arbitrateDiscoveries();

    /** Sends the statistics not yet added to the store. */
    bool flushStats();

    /** Automatic-drop scheduling of the periodic work. */
    void scheduleAutoDrop();

    //==============================================================================
    // State restore

    /** After a host state restored the dish: the restored counters are what the store already
        has, so the restore adds nothing to the shared statistics. */
    void restoreStatisticsBaseline (const StatisticsCounters& restored) noexcept;

    //==============================================================================
    // What the page reads (message thread)

    /** The pipette palette: recorded plain colours, then discovered species. */
    PipettePalette palette() const noexcept;
    std::uint8_t getPlainColorMask() const noexcept { return plainColorMask; }

    /** The document's discovered and pipette-seen keys from the last successful read. */
    const juce::StringArray& getDiscoveredKeys() const noexcept { return discoveredKeys; }
    const juce::StringArray& getPipetteSeenKeys() const noexcept { return pipetteSeenKeys; }
    /** Moves whenever either key list changed. */
    std::uint64_t getPipetteRevision() const noexcept { return pipetteRevision; }

    const PresetSlotCopy& getPresetSlot (int slot) const noexcept;
    /** Moves whenever any slot copy changed. */
    std::uint64_t getPresetsRevision() const noexcept { return presetsRevision; }

    /** The shared statistics from the last read, and what the store has received from this
        instance (the baseline). */
    const SharedData::Stats& getSharedStatistics() const noexcept { return sharedStats; }
    const StatisticsCounters& getStatisticsBaseline() const noexcept { return statsBaseline; }
    bool isStatisticsFlushPending() const noexcept { return statsPending; }

    /** The storage notice the page shows (0 none, 1 busy, 2 write failed, 3 reset). */
    StorageNotice getStorageNotice() const noexcept { return static_cast<StorageNotice> (notice.load()); }
    /** True once the store was opened and its folder exists. */
    bool isStoreReady() const noexcept { return store.isReady(); }

    bool isPipetteOpen() const noexcept { return pipetteMode.load(); }

    /** The daily counters as last read or returned, and the date they belong to. */
    const juce::String& getDayKey() const noexcept { return dayKey; }
    int getGrantedToday() const noexcept { return grantedToday; }
    int getDiscoveriesToday() const noexcept { return discoveriesToday; }

    /** Pending store work. */
    bool hasPendingPresetWrite (int slot) const noexcept;
    const juce::StringArray& getPendingPipetteSeen() const noexcept { return pendingSeenKeys; }

    /** The automatic drop's countdown (−1 = none) and species. Call with the callback lock held. */
    int getAutoDropCountdown() const noexcept { return autoDropCountdown; }
    Species getAutoDropSpecies() const noexcept { return autoDropSpecies; }

    SharedStore& getStore() noexcept { return store; }

private:
    struct PendingPresetWrite
    {
        enum class Op { none, save, clear };
        Op op = Op::none;
        juce::var value;
    };

    bool flushPresetSlot (int slot);
    void applyDiscoveries (const SharedData& document);
    void armGrant (int species, std::int32_t kind, const juce::String& day) noexcept;
    void runStatisticsCadence();
    void returnArmedGrant();
    void scheduleAutoDropLocked (Dish& dish, const PipettePalette& pal) noexcept;
    bool writesPending() const noexcept;
    void noteStoreResult (SharedStore::Status status) noexcept;
    void setNotice (StorageNotice n) noexcept { notice.store (static_cast<int> (n)); }

    CollectionHost& host;
    SharedStore store;

    // Species and discoveries (message thread).
    std::uint8_t plainColorMask = 0;
    juce::String dayKey;
    int grantedToday = -1;
    int discoveriesToday = -1;
    juce::String grantDay; // the day whose quota an armed grant used
    juce::StringArray discoveredKeys, pipetteSeenKeys, pendingSeenKeys;
    std::uint64_t pipetteRevision = 0;

    // Pipette and the automatic drop. The countdown and its species are guarded by the callback
    // lock; the mode is read by the audio thread.
    std::atomic<bool> pipetteMode { false };
    int autoDropCountdown = -1;
    Species autoDropSpecies {};

    // Statistics (message thread).
    SharedData::Stats sharedStats;
    StatisticsCounters statsBaseline;
    bool statsPending = false;
    int cadenceCounter = 0;

    // Presets (message thread).
    std::array<PresetSlotCopy, numPresetSlots> slots {};
    std::array<PendingPresetWrite, numPresetSlots> pendingWrites {};
    std::uint64_t presetsRevision = 0;
    std::int64_t lastDocumentRevision = -1;
    FileSignature lastSignature;
    bool signatureKnown = false;
    bool refreshRequested = false;

    std::atomic<int> notice { 0 };
    bool lastCallBusy = false; // the last store call asked to be retried

    JUCE_DECLARE_NON_COPYABLE (Collection)
};

} // namespace brivola
