#include "store/SharedStore.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <sys/stat.h>

namespace brivola
{

namespace
{

using Status = SharedStoreStatus;

constexpr auto maxRevision = std::numeric_limits<std::int64_t>::max();
constexpr int tempWriteBufferBytes = 16384;

enum class FileRead { ok, missing, invalid, ioError };

/** Reads and parses one document file (the document or its backup). */
FileRead readDocumentFile (const juce::File& file, SharedData& out)
{
    if (file.getFullPathName().isEmpty() || ! file.exists() || file.isDirectory())
        return FileRead::missing;

    if (file.getSize() > maxSharedDocumentBytes)
        return FileRead::invalid;

    juce::FileInputStream in (file);

    if (in.failedToOpen())
        return FileRead::ioError;

    // The whole stream, but never more than the limit allows: the file may grow after the size check.
    juce::MemoryOutputStream bytes;
    char buffer[16384];

    for (;;)
    {
        const auto numRead = in.read (buffer, static_cast<int> (sizeof (buffer)));

        if (numRead <= 0)
            break;

        bytes.write (buffer, static_cast<size_t> (numRead));

        if (static_cast<std::int64_t> (bytes.getDataSize()) > maxSharedDocumentBytes)
            return FileRead::invalid;
    }

    if (in.getStatus().failed())
        return FileRead::ioError;

    const auto text = juce::String::createStringFromData (bytes.getData(), static_cast<int> (bytes.getDataSize()));
    return parseSharedDocument (text, out) ? FileRead::ok : FileRead::invalid;
}

/** Releases a held lock when the scope ends, on every path. */
struct ScopedLockRelease
{
    explicit ScopedLockRelease (SharedFileLock& l) : lock (l) {}
    ~ScopedLockRelease() { lock.release(); }

    SharedFileLock& lock;

    JUCE_DECLARE_NON_COPYABLE (ScopedLockRelease)
};

std::int64_t saturatingCountAdd (std::int64_t stored, std::int64_t increment) noexcept
{
    const auto base = std::max<std::int64_t> (stored, 0);

    if (increment >= 0)
        return base > maxRevision - increment ? maxRevision : base + increment;

    return base + increment < 0 ? 0 : base + increment;
}

juce::String storedDay (const juce::String& day)
{
    return day.substring (0, maxQuotaDayLength);
}

} // namespace

//==============================================================================
FileSignature fileSignatureOf (const juce::File& file)
{
    FileSignature signature;
    const auto path = file.getFullPathName();
    struct stat info {};

    if (path.isEmpty() || ::stat (path.toRawUTF8(), &info) != 0)
        return signature;

    signature.device = static_cast<std::uint64_t> (info.st_dev);
    signature.inode = static_cast<std::uint64_t> (info.st_ino);
   #if defined(__APPLE__)
    signature.modifiedSeconds = static_cast<std::int64_t> (info.st_mtimespec.tv_sec);
    signature.modifiedNanoseconds = static_cast<std::int64_t> (info.st_mtimespec.tv_nsec);
   #else
    signature.modifiedSeconds = static_cast<std::int64_t> (info.st_mtim.tv_sec);
    signature.modifiedNanoseconds = static_cast<std::int64_t> (info.st_mtim.tv_nsec);
   #endif
    signature.size = static_cast<std::int64_t> (info.st_size);
    signature.exists = true;
    return signature;
}

//==============================================================================
void SharedStore::open (const juce::String& folderPath)
{
    if (folderPath.isEmpty())
        folder = defaultSharedFolder();
    else if (juce::File::isAbsolutePath (folderPath))
        folder = juce::File (folderPath);
    else
        folder = juce::File::getCurrentWorkingDirectory().getChildFile (folderPath);

    documentFile = folder.getChildFile (sharedDocumentFileName);
    backupFile = folder.getChildFile (sharedBackupFileName);
    tempFile = folder.getChildFile (sharedTempFileName);
    backupTempFile = folder.getChildFile (sharedBackupTempFileName);

    // Instances starting together may race to create the same folders: a level that another
    // process created first fails here with "exists", so try again until the folder stands.
    for (int attempt = 0; attempt < 8 && ! folder.isDirectory(); ++attempt)
        folder.createDirectory();

    folderReady = folder.isDirectory();

    lock.reset();
    lock = std::make_unique<SharedFileLock> (folder.getChildFile (sharedLockFileName).getFullPathName());
}

FileSignature SharedStore::documentSignature() const
{
    return fileSignatureOf (documentFile);
}

SharedStore::Loaded SharedStore::load()
{
    Loaded loaded;
    const auto fromDocument = readDocumentFile (documentFile, loaded.document);

    if (fromDocument == FileRead::ok)
    {
        loaded.result = LoadResult::ok;
        loaded.fromDocumentFile = true;
        return loaded;
    }

    const auto fromBackup = readDocumentFile (backupFile, loaded.document);

    if (fromBackup == FileRead::ok)
    {
        loaded.result = LoadResult::ok;
        return loaded;
    }

    loaded.document = SharedData {};

    if (fromDocument == FileRead::missing && fromBackup == FileRead::missing)
    {
        loaded.result = LoadResult::fresh;
    }
    else if (fromDocument == FileRead::ioError || fromBackup == FileRead::ioError)
    {
        loaded.result = LoadResult::failed;
    }
    else
    {
        loaded.result = LoadResult::reset;
        resetSeen = true;
    }

    return loaded;
}

SharedSnapshot SharedStore::read()
{
    SharedSnapshot snapshot;
    snapshot.signature = documentSignature();

    if (! folderReady || lock == nullptr)
        return snapshot;

    switch (lock->acquire (lockTimeoutMs))
    {
        case SharedFileLock::acquired: break;
        case SharedFileLock::timedOut: snapshot.status = Status::busy; return snapshot;
        case SharedFileLock::error:    return snapshot;
    }

    const ScopedLockRelease release (*lock);

    snapshot.signature = documentSignature();
    auto loaded = load();
    snapshot.document = std::move (loaded.document);

    switch (loaded.result)
    {
        case LoadResult::ok:     snapshot.status = Status::ok; break;
        case LoadResult::fresh:  snapshot.status = Status::fresh; break;
        case LoadResult::reset:  snapshot.status = Status::reset; break;
        case LoadResult::failed: snapshot.status = Status::failed; break;
    }

    return snapshot;
}

UpdateResult SharedStore::update (const Mutator& mutate, const CommitStamp& stamp)
{
    UpdateResult result;

    if (! folderReady || lock == nullptr)
        return result;

    switch (lock->acquire (lockTimeoutMs))
    {
        case SharedFileLock::acquired: break;
        case SharedFileLock::timedOut: result.status = Status::busy; return result;
        case SharedFileLock::error:    return result;
    }

    const ScopedLockRelease release (*lock);

    auto loaded = load();

    if (loaded.result == LoadResult::failed)
        return result; // a file that failed to read is never overwritten

    auto& document = loaded.document;
    const bool changed = mutate != nullptr && mutate (document);

    // After a reset the default document is written even when nothing changed, so the unreadable
    // file is replaced.
    if (! changed && loaded.result != LoadResult::reset)
    {
        result.status = Status::unchanged;
        result.revision = document.revision;
        return result;
    }

    if (document.revision >= maxRevision)
    {
        result.status = Status::refused;
        return result;
    }

    document.version = sharedDocumentVersion;
    document.revision += 1;

    if (stamp != nullptr)
        stamp (document, document.revision);

    const auto text = sharedDocumentText (document);
    const auto* utf8 = text.toRawUTF8();
    const auto numBytes = text.getNumBytesAsUTF8();

    // A document this store could not read back is never written: too large, or past the
    // reader's nesting or token bounds (possible with many large preset values).
    if (static_cast<std::int64_t> (numBytes) > maxSharedDocumentBytes || ! prevalidateJsonText (utf8, numBytes))
    {
        result.status = Status::refused;
        return result;
    }

    result.status = writeDocument (text, loaded.fromDocumentFile);

    if (result.status == Status::ok)
        result.revision = document.revision;

    return result;
}

SharedStore::Status SharedStore::writeDocument (const juce::String& text, bool refreshBackup)
{
    {
        juce::FileOutputStream out (tempFile, tempWriteBufferBytes);

        if (out.failedToOpen())
            return Status::writeFailed;

        // The stream opens an existing file at its end: leftovers of an earlier, interrupted attempt
        // go. (A new file is not truncated, which would cost one more sync of the file to disk.)
        if (out.getPosition() > 0 && (! out.setPosition (0) || out.truncate().failed()))
            return Status::writeFailed;

        if (! out.write (text.toRawUTF8(), text.getNumBytesAsUTF8()))
            return Status::writeFailed;

        out.flush();

        if (out.getStatus().failed())
            return Status::writeFailed;
    }

    // The backup is refreshed only from a document that was read successfully, so a document that
    // became unreadable never overwrites a good backup.
    if (refreshBackup && documentFile.existsAsFile())
    {
        if (backupTempFile.exists() && ! backupTempFile.deleteFile())
            return Status::writeFailed;

        if (! documentFile.copyFileTo (backupTempFile))
            return Status::writeFailed;

        if (! backupTempFile.replaceFileIn (backupFile))
            return Status::writeFailed;
    }

    // Never replace a folder standing where the document belongs (the framework would remove an
    // empty one and copy into its place, which is not atomic).
    if (documentFile.isDirectory())
        return Status::writeFailed;

    if (! tempFile.replaceFileIn (documentFile))
        return Status::writeFailed;

    return Status::ok;
}

//==============================================================================
UpdateResult SharedStore::addDiscovery (const juce::String& speciesKey, std::int64_t timeMs)
{
    if (timeMs < 0 || ! isValidSpeciesKey (speciesKey))
        return { Status::refused, 0 };

    return update ([&] (SharedData& document)
    {
        const auto found = document.discovered.find (speciesKey);

        if (found != document.discovered.end() && found->second <= timeMs)
            return false;

        document.discovered[speciesKey] = timeMs; // the earliest time wins
        return true;
    });
}

PresetResult SharedStore::savePreset (int slot, const juce::var& data)
{
    if (slot < 0 || slot >= numPresetSlots
        || ! isPlainJsonValue (data, maxPresetDataDepth)
        || ! presetDataFits (data))
    {
        PresetResult refused;
        refused.status = Status::refused;
        return refused;
    }

    return writeSlot (slot, data.clone());
}

PresetResult SharedStore::clearPreset (int slot)
{
    if (slot < 0 || slot >= numPresetSlots)
    {
        PresetResult refused;
        refused.status = Status::refused;
        return refused;
    }

    return writeSlot (slot, juce::var());
}

PresetResult SharedStore::writeSlot (int slot, juce::var data)
{
    PresetResult result;
    const auto index = static_cast<size_t> (slot);

    const auto outcome = update ([&] (SharedData& document)
    {
        document.presets[index].data = data;
        return true;
    },
    [&] (SharedData& document, std::int64_t newRevision)
    {
        document.presets[index].revision = newRevision;
    });

    result.status = outcome.status;
    result.revision = outcome.revision;

    if (outcome.status == Status::ok)
    {
        result.slotRevision = outcome.revision;
        result.slotData = data;
    }

    return result;
}

UpdateResult SharedStore::addStatsDelta (double incubationSeconds, std::int64_t merges,
                                         std::int64_t splits, std::int64_t spawns)
{
    if (! std::isfinite (incubationSeconds))
        return { Status::refused, 0 };

    if (incubationSeconds == 0.0 && merges == 0 && splits == 0 && spawns == 0)
        return { Status::unchanged, 0 };

    return update ([&] (SharedData& document)
    {
        constexpr auto largest = maxStoredIncubationTime;
        auto& stats = document.stats;

        const auto stored = std::isfinite (stats.incubationTime) && stats.incubationTime >= 0.0
                                ? stats.incubationTime
                                : 0.0;
        const auto sum = stored + incubationSeconds;
        stats.incubationTime = sum > largest ? largest : (sum < 0.0 ? 0.0 : sum);

        stats.mergeCount = saturatingCountAdd (stats.mergeCount, merges);
        stats.splitCount = saturatingCountAdd (stats.splitCount, splits);
        stats.spawnCount = saturatingCountAdd (stats.spawnCount, spawns);
        return true;
    });
}

//==============================================================================
int SharedStore::takeDaily (const juce::String& day, int maxGranted, int maxDiscoveries, bool grant,
                           int& granted, int& discoveries)
{
    granted = 0;
    discoveries = 0;
    bool taken = false;
    const auto today = storedDay (day);

    const auto outcome = update ([&] (SharedData& document)
    {
        auto& quota = document.uniqueQuota;
        bool changed = false;

        if (quota.day != today)
        {
            quota = { today, 0, 0 };
            changed = true;
        }

        // A birth grant takes one of each counter. A discovery takes only a discovery, and the
        // day's birth grants not yet used stay reserved within the discoveries.
        const bool room = grant ? (quota.granted < maxGranted && quota.discoveries < maxDiscoveries)
                                : (quota.discoveries < maxDiscoveries - std::max (0, maxGranted - quota.granted));
        if (room)
        {
            if (grant)
                ++quota.granted;
            ++quota.discoveries;
            taken = true;
            changed = true;
        }

        granted = quota.granted;
        discoveries = quota.discoveries;
        return changed;
    });

    if (outcome.status != Status::ok && outcome.status != Status::unchanged)
        return 2;

    return taken ? 0 : 1;
}

int SharedStore::takeDailyQuota (const juce::String& day, int maxGranted, int maxDiscoveries,
                                 int& granted, int& discoveries)
{
    return takeDaily (day, maxGranted, maxDiscoveries, true, granted, discoveries);
}

int SharedStore::takeDailyDiscovery (const juce::String& day, int maxGranted, int maxDiscoveries,
                                     int& discoveries)
{
    int granted = 0;
    return takeDaily (day, maxGranted, maxDiscoveries, false, granted, discoveries);
}

UpdateResult SharedStore::returnDailyQuota (const juce::String& day)
{
    const auto today = storedDay (day);

    return update ([&] (SharedData& document)
    {
        auto& quota = document.uniqueQuota;

        if (quota.day != today || quota.granted <= 0 || quota.discoveries <= 0)
            return false;

        --quota.granted;
        --quota.discoveries;
        return true;
    });
}

UpdateResult SharedStore::returnDailyDiscovery (const juce::String& day)
{
    const auto today = storedDay (day);

    return update ([&] (SharedData& document)
    {
        auto& quota = document.uniqueQuota;

        if (quota.day != today || quota.granted >= quota.discoveries)
            return false;

        --quota.discoveries;
        return true;
    });
}

} // namespace brivola
