// The collection's lifecycle, its once-per-second work, the storage notice and the statistics.
#include "dish/collection/Collection.h"

#include <utility>

namespace brivola
{

juce::String localDateKey (const juce::Time& time)
{
    return juce::String::formatted ("%04d-%02d-%02d", time.getYear(), time.getMonth() + 1, time.getDayOfMonth());
}

Collection::Collection (CollectionHost& h)
    : host (h)
{
}

Collection::~Collection() = default;

//==============================================================================
void Collection::loadSharedData (const juce::String& folder)
{
    store.open (folder);
    refreshPresets (true);

    // Opening an instance counts as a birth: it may earn one of the day's grants.
    host.sharedSpecies().birthNoticed.store (1, std::memory_order_release);
    arbitrateDiscoveries();

    refreshRequested = true;
    runTimerWork();
}

void Collection::runTimerWork()
{
    scheduleAutoDrop();

    if (refreshPresets())
        if (flushPendingPresets() && retryPendingPipetteSeen())
            recordSeenSpecies();

    if (! recordPlainColours())
        return;
    if (! arbitrateDiscoveries())
        return;
    runStatisticsCadence();
}

void Collection::shutdown()
{
    // One attempt at everything still pending; a store that answers busy once is not asked again
    // for the rest of the flush, so a lock held elsewhere delays the host by little.
    lastCallBusy = false;
    const auto attempt = [this] (auto&& step)
    {
        if (! lastCallBusy)
            step();
    };

    attempt ([this] { flushPendingPresets(); });
    attempt ([this] { retryPendingPipetteSeen(); });
    attempt ([this] { recordSeenSpecies(); });
    attempt ([this] { recordPlainColours(); });
    attempt ([this] { flushStats(); });
    returnArmedGrant();
}

//==============================================================================
bool Collection::writesPending() const noexcept
{
    if (statsPending || ! pendingSeenKeys.isEmpty())
        return true;
    for (const auto& w : pendingWrites)
        if (w.op != PendingPresetWrite::Op::none)
            return true;
    return false;
}

void Collection::noteStoreResult (SharedStore::Status status) noexcept
{
    lastCallBusy = storeCallOutcome (status) == StoreCallOutcome::retry;
    setNotice (storageNoticeAfter (status, store.wasReset(), writesPending()));
}

//==============================================================================
void Collection::restoreStatisticsBaseline (const StatisticsCounters& restored) noexcept
{
    statsBaseline = restored;
}

bool Collection::flushStats()
{
    const StatisticsCounters current = host.shownDishCounters();
    if (statisticsMatchBaseline (current, statsBaseline))
    {
        statsPending = false;
        return true;
    }

    if (! store.isReady())
    {
        statsPending = true;
        lastCallBusy = true;
        setNotice (StorageNotice::busy);
        return false;
    }

    const auto result = store.addStatsDelta (current.incubationSeconds - statsBaseline.incubationSeconds,
                                             counterDifference (current.merges, statsBaseline.merges),
                                             counterDifference (current.splits, statsBaseline.splits),
                                             counterDifference (current.spawns, statsBaseline.spawns));

    switch (storeCallOutcome (result.status))
    {
        case StoreCallOutcome::done:
            statsBaseline = current;
            statsPending = false;
            noteStoreResult (result.status);
            return true;

        case StoreCallOutcome::retry:
            statsPending = true;
            noteStoreResult (result.status);
            return false;

        case StoreCallOutcome::drop:
            // The baseline stays, so the same delta goes again with the next cadence.
            statsPending = false;
            noteStoreResult (result.status);
            return false;
    }
    return false;
}

void Collection::runStatisticsCadence()
{
    if (! statsPending)
    {
        if (++cadenceCounter < statisticsCadenceSeconds)
        {
            refreshPresets();
            return;
        }
        cadenceCounter = 0;
    }

    if (flushStats())
        refreshPresets();
}

//==============================================================================
bool Collection::refreshPresets (bool force)
{
    force = std::exchange (refreshRequested, false) || force;
    if (! force && signatureKnown && store.documentSignature() == lastSignature)
        return true;

    const SharedSnapshot snapshot = store.read();
    noteStoreResult (snapshot.status);
    if (storeCallOutcome (snapshot.status) != StoreCallOutcome::done)
        return false;

    lastSignature = snapshot.signature;
    signatureKnown = true;

    const SharedData& document = snapshot.document;
    std::array<PresetSlotCopy, numPresetSlots> fresh {};
    bool moved = document.revision != lastDocumentRevision;
    for (std::size_t i = 0; i < fresh.size(); ++i)
    {
        fresh[i].value = normalizePreset (document.presets[i].data);
        fresh[i].revision = document.presets[i].revision;
        moved = moved || fresh[i].revision != slots[i].revision;
    }
    if (moved)
    {
        slots = std::move (fresh);
        lastDocumentRevision = document.revision;
        ++presetsRevision;
    }

    applyDiscoveries (document);
    sharedStats = document.stats;
    return true;
}

} // namespace brivola
