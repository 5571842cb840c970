// A processor stand-in for the collection tests: a dish, a species record, parameters, a preview
// request and a settable clock, with counters of what the collection asked for.
#pragma once

#include "dish/DishStep.h"
#include "dish/collection/Collection.h"
#include "store/SharedFileLock.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace brivola::testing
{

/** A new, empty folder under the system's temporary folder, deleted with everything in it. */
class TempStoreFolder
{
public:
    TempStoreFolder()
        : folder (juce::File::getSpecialLocation (juce::File::tempDirectory)
                      .getNonexistentChildFile ("brivola-collection-test", {}, false))
    {
        folder.createDirectory();
    }

    ~TempStoreFolder() { folder.deleteRecursively(); }

    const juce::File& get() const noexcept { return folder; }
    juce::String path() const { return folder.getFullPathName(); }

private:
    juce::File folder;
};

/** Another instance holding the store's lock file (from a thread of its own, as the lock must be
    released by the thread that took it), so that every transaction of the folder answers busy. */
class BusyStore
{
public:
    explicit BusyStore (const juce::String& folder)
        : holder ([this, path = juce::File (folder).getChildFile (sharedLockFileName).getFullPathName()]
          {
              SharedFileLock lock (path);
              const bool held = lock.acquire (1000) == SharedFileLock::acquired;
              {
                  std::unique_lock<std::mutex> l (mutex);
                  acquired = held;
                  ready = true;
              }
              changed.notify_all();
              std::unique_lock<std::mutex> l (mutex);
              changed.wait (l, [this] { return released; });
              lock.release();
          })
    {
        std::unique_lock<std::mutex> l (mutex);
        changed.wait (l, [this] { return ready; });
        EXPECT_TRUE (acquired);
    }

    ~BusyStore()
    {
        {
            std::unique_lock<std::mutex> l (mutex);
            released = true;
        }
        changed.notify_all();
        holder.join();
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    bool ready = false, acquired = false, released = false;
    std::thread holder;
};

class FakeHost : public CollectionHost
{
public:
    FakeHost()
    {
        dish.exchange = &exchange;
        resetDish (dish);
        fillDeckCounts (dish);
    }

    //==============================================================================
    const juce::CriticalSection& dishLock() const noexcept override { return lock; }
    Dish& lockedMainDish() noexcept override { return dish; }
    Dish& lockedPreviewDish() noexcept override { return previewDish; }
    SpeciesExchange& sharedSpecies() noexcept override { return exchange; }
    bool isPreparedForAudio() const noexcept override { return prepared; }

    void afterDishRewrite (bool ping) noexcept override
    {
        ++rewrites;
        if (ping && prepared)
            ++pings;
        view.write (dish);
    }

    void auditionSpecies (Species species, double pan) noexcept override
    {
        auditions.push_back ({ species, pan });
    }

    bool readLatestDishView (DishViewSlots& slots) noexcept override
    {
        std::int32_t live = 0;
        return view.read (slots, live);
    }

    StatisticsCounters shownDishCounters() const noexcept override { return counters; }
    SoundParams currentSoundParams() const override { return params; }

    void setSoundParamNotifyingHost (int index, double value) override
    {
        params[static_cast<std::size_t> (index)] = value;
        ++notifications[static_cast<std::size_t> (index)];
    }

    PresetPreviewStatus presetPreviewStatus() const noexcept override { return preview; }

    void requestPresetPreview (const SoundParams& p, int note, int token) noexcept override
    {
        requestedParams = p;
        requestedNote = note;
        preview.pending = true;
        preview.requestedToken = token;
        releaseAtOnce = false;
        ++previewRequests;
    }

    void releasePendingPresetPreviewAtOnce() noexcept override { releaseAtOnce = true; }
    void releasePlayingPresetPreview() noexcept override { ++playingReleases; }

    juce::String localDate() const override { return date; }
    std::int64_t currentTimeMs() const override { return nowMs; }

    //==============================================================================
    /** Runs dish ticks as the audio thread does: the step, then the automatic-drop countdown. */
    void runTicks (Collection& collection, int ticks)
    {
        const juce::ScopedLock sl (lock);
        for (int t = 0; t < ticks; ++t)
        {
            dishStep (dish);
            collection.autoDropTick (dish);
        }
        view.write (dish);
    }

    /** Places a live cell directly (under the lock). */
    int place (int motif, int colour, std::int32_t id, double x, double y, double mass = 3.0)
    {
        const juce::ScopedLock sl (lock);
        const int slot = placeCell (dish, motif, colour, id, x, y, mass);
        view.write (dish);
        return slot;
    }

    juce::CriticalSection lock;
    SpeciesExchange exchange;
    Dish dish;
    Dish previewDish;
    DishViewBuffer view;
    bool prepared = true;
    SoundParams params {};
    std::array<int, SoundParams::count> notifications {};
    StatisticsCounters counters;
    juce::String date { "2026-03-09" };
    std::int64_t nowMs = 1773014400000; // 2026-03-09 00:00 UTC

    int rewrites = 0;
    int pings = 0;
    struct Audition
    {
        Species species;
        double pan = 0.0;
    };
    std::vector<Audition> auditions;

    PresetPreviewStatus preview;
    SoundParams requestedParams {};
    int requestedNote = -1;
    bool releaseAtOnce = false;
    int previewRequests = 0;
    int playingReleases = 0;
};

/** The species key of motif m (−1 plain) and colour c. */
inline juce::String keyOf (int motif, int colour)
{
    const auto shape = shapeName (motif);
    const auto col = colorString (colour);
    return juce::String (shape.data(), shape.size()) + "|" + juce::String (col.data(), col.size());
}

/** A read of the shared document in `folder` through a store of its own. */
inline SharedData readDocument (const juce::String& folder)
{
    SharedStore store;
    store.open (folder);
    const auto snapshot = store.read();
    EXPECT_TRUE (snapshot.status == SharedStore::Status::ok || snapshot.status == SharedStore::Status::fresh);
    return snapshot.document;
}

/** Changes the shared document in `folder` through a store of its own. */
inline void changeDocument (const juce::String& folder, const std::function<void (SharedData&)>& change)
{
    SharedStore store;
    store.open (folder);
    const auto result = store.update ([&change] (SharedData& d)
    {
        change (d);
        return true;
    });
    ASSERT_EQ (result.status, SharedStore::Status::ok);
}

} // namespace brivola::testing
