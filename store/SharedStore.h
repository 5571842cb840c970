#pragma once

#include "store/SharedData.h"
#include "store/SharedFileLock.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace brivola
{

/** Result codes of every shared store operation (one numbering for all). */
enum class SharedStoreStatus : int
{
    ok = 0,         ///< read: loaded from the document or the backup; write: the new document is in place
    unchanged = 1,  ///< the operation changed nothing and wrote nothing
    fresh = 2,      ///< read: neither the document nor the backup exists; the default document
    busy = 3,       ///< the lock was not obtained within 300 ms; no file was touched
    failed = 4,     ///< folder not ready, lock error, or a file failed to open or read; nothing written
    reset = 5,      ///< read: a document or backup existed but neither was readable; the default document
    refused = 6,    ///< the request was invalid or would break a limit; nothing was written
    writeFailed = 7 ///< writing the temp file, refreshing the backup or swapping the new file in failed
};

/** Identifies the document file (device, inode, modification time, size) so that a caller can skip
    re-reading a file that did not change. All zero with exists false when the file cannot be
    examined. */
struct FileSignature
{
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;
    std::int64_t size = 0;
    bool exists = false;

    bool operator== (const FileSignature&) const = default;
};

/** The signature of the file at `file`, taken with `stat`. */
FileSignature fileSignatureOf (const juce::File& file);

/** Result of SharedStore::read. */
struct SharedSnapshot
{
    SharedStoreStatus status = SharedStoreStatus::failed;
    SharedData document;
    FileSignature signature;
};

/** Result of SharedStore::update, addDiscovery, addStatsDelta and the daily-counter returns. */
struct UpdateResult
{
    SharedStoreStatus status = SharedStoreStatus::failed;
    /** The revision written when ok, the document's current revision when unchanged (0 when
        nothing was read), 0 otherwise. */
    std::int64_t revision = 0;
};

/** Result of savePreset and clearPreset; the slot fields are meaningful only when ok. */
struct PresetResult : UpdateResult
{
    std::int64_t slotRevision = 0;
    juce::var slotData;
};

//==============================================================================
/** The shared document on disk for one plug-in instance, safe against every other instance in
    this process and in other processes.

    Each operation is one transaction: take the lock file (at most 300 ms), read the document
    (falling back to the backup, then to the default document), optionally change it, write a
    complete new file beside the old one, refresh the backup from the old document, and swap the
    new file in with an atomic rename. Readers never see a half-written document, and a file that
    failed to read is never overwritten.

    Used from one thread (the message thread). Every operation returns a status; none throws. */
class SharedStore
{
public:
    using Status = SharedStoreStatus;

    /** Changes the document; returns true when it changed it. */
    using Mutator = std::function<bool (SharedData&)>;
    /** Called on a changed document with the revision it is about to be written with. */
    using CommitStamp = std::function<void (SharedData&, std::int64_t newRevision)>;

    /** How long a transaction waits for the lock. */
    static constexpr int lockTimeoutMs = 300;

    SharedStore() = default;
    ~SharedStore() = default;

    /** Uses `folder` (empty: defaultSharedFolder()), derives the five file paths, creates the
        folder with its parents (isReady tells whether that worked; there is no later retry) and
        makes a new lock on the lock file. */
    void open (const juce::String& folder = {});

    /** Reads the document under the lock; never writes, not even after a reset. */
    SharedSnapshot read();

    /** One transaction: load, `mutate`, and when it changed the document (or the load was a
        reset) write it with the revision raised by one, calling `stamp` first. */
    UpdateResult update (const Mutator& mutate, const CommitStamp& stamp = {});

    /** Records a discovery; the earliest time wins. Refused for an invalid key or a negative time. */
    UpdateResult addDiscovery (const juce::String& speciesKey, std::int64_t timeMs);

    /** Saves `data` (copied) into `slot`, which gets the new revision. Refused for a slot outside
        0 to 11, data larger than 49152 bytes of JSON, or data that JSON cannot carry. */
    PresetResult savePreset (int slot, const juce::var& data);

    /** Clears `slot` (also when already empty), which gets the new revision. Refused for a slot
        outside 0 to 11. */
    PresetResult clearPreset (int slot);

    /** Adds statistics with saturation (incubation in 0 … maxStoredIncubationTime, counts in
        0 … int64 max). All-zero increments give unchanged (revision 0) without taking the lock; a
        non-finite incubation increment is refused. */
    UpdateResult addStatsDelta (double incubationSeconds, std::int64_t merges, std::int64_t splits,
                                std::int64_t spawns);

    /** Takes one birth grant for `day`: restarts the counters on a new day, then takes the quota
        when granted < maxGranted and discoveries < maxDiscoveries. Returns 0 when taken, 1 when
        full, 2 when the transaction failed; the outputs get the counters after the transaction
        (0 when the change did not run). */
    int takeDailyQuota (const juce::String& day, int maxGranted, int maxDiscoveries, int& granted,
                        int& discoveries);

    /** Takes one discovery for `day`, keeping the day's unused birth grants reserved: taken when
        discoveries < maxDiscoveries - max (0, maxGranted - granted). Returns 0, 1 or 2 as
        takeDailyQuota; the output gets the discoveries counter after the transaction. */
    int takeDailyDiscovery (const juce::String& day, int maxGranted, int maxDiscoveries, int& discoveries);

    /** Gives back one birth grant of `day` (both counters down by one when both are positive). */
    UpdateResult returnDailyQuota (const juce::String& day);

    /** Gives back one discovery of `day` (when discoveries exceed granted). */
    UpdateResult returnDailyDiscovery (const juce::String& day);

    /** The signature of the document file, taken without the lock. */
    FileSignature documentSignature() const;

    /** True once any load had to replace an unreadable document by the default document. */
    bool wasReset() const noexcept { return resetSeen; }

    /** True when open found or created the folder. */
    bool isReady() const noexcept { return folderReady; }

    /** The store's folder (empty before open). */
    const juce::File& getFolder() const noexcept { return folder; }

    /** The document file. */
    const juce::File& getDocumentFile() const noexcept { return documentFile; }

    /** The backup file. */
    const juce::File& getBackupFile() const noexcept { return backupFile; }

private:
    enum class LoadResult { ok, fresh, reset, failed };

    struct Loaded
    {
        LoadResult result = LoadResult::failed;
        SharedData document;
        bool fromDocumentFile = false;
    };

    Loaded load();
    Status writeDocument (const juce::String& text, bool refreshBackup);
    PresetResult writeSlot (int slot, juce::var data);
    int takeDaily (const juce::String& day, int maxGranted, int maxDiscoveries, bool grant,
                   int& granted, int& discoveries);

    juce::File folder;
    juce::File documentFile, backupFile, tempFile, backupTempFile;
    std::unique_ptr<SharedFileLock> lock;
    bool folderReady = false;
    bool resetSeen = false;

    JUCE_DECLARE_NON_COPYABLE (SharedStore)
};

} // namespace brivola
