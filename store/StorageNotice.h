#pragma once

#include "store/SharedStore.h"

namespace brivola
{

/** The storage notice the page shows (0 to 3). */
enum class StorageNotice : int
{
    none = 0,        ///< no text
    busy = 1,        ///< "Shared storage busy; retrying"
    writeFailed = 2, ///< "Shared storage write failed"
    reset = 3        ///< "Shared storage was unreadable and has been reset"
};

/** What a caller does with the pending work a store call served. */
enum class StoreCallOutcome
{
    done,  ///< ok or unchanged (writes); ok, fresh or reset (reads): drop the pending work
    retry, ///< busy, failed or writeFailed: keep it for the next one-second tick
    drop   ///< refused or anything else: drop it
};

/** How a store call's status treats the pending work it served. */
constexpr StoreCallOutcome storeCallOutcome (SharedStoreStatus status) noexcept
{
    switch (status)
    {
        case SharedStoreStatus::ok:
        case SharedStoreStatus::unchanged:
        case SharedStoreStatus::fresh:
        case SharedStoreStatus::reset:
            return StoreCallOutcome::done;

        case SharedStoreStatus::busy:
        case SharedStoreStatus::failed:
        case SharedStoreStatus::writeFailed:
            return StoreCallOutcome::retry;

        case SharedStoreStatus::refused:
        default:
            return StoreCallOutcome::drop;
    }
}

/** The notice after a call that completed: reset when the store was ever reset, else busy while
    any write of seen species, statistics or a preset slot is still pending, else none. */
constexpr StorageNotice recomputedStorageNotice (bool storeWasReset, bool writesPending) noexcept
{
    return storeWasReset ? StorageNotice::reset
                         : (writesPending ? StorageNotice::busy : StorageNotice::none);
}

/** The notice after a store call with `status`. `writesPending` is the caller's pending state after
    it dropped or kept the call's work; `storeWasReset` is SharedStore::wasReset. */
constexpr StorageNotice storageNoticeAfter (SharedStoreStatus status, bool storeWasReset,
                                            bool writesPending) noexcept
{
    switch (storeCallOutcome (status))
    {
        case StoreCallOutcome::done:  return recomputedStorageNotice (storeWasReset, writesPending);
        case StoreCallOutcome::retry: return StorageNotice::busy;
        case StoreCallOutcome::drop:  return StorageNotice::writeFailed;
    }

    return StorageNotice::writeFailed;
}

/** The text the page shows for `notice` (empty for none). */
inline juce::String storageNoticeText (StorageNotice notice)
{
    switch (notice)
    {
        case StorageNotice::none:        return {};
        case StorageNotice::busy:        return "Shared storage busy; retrying";
        case StorageNotice::writeFailed: return "Shared storage write failed";
        case StorageNotice::reset:       return "Shared storage was unreadable and has been reset";
    }

    return {};
}

} // namespace brivola
