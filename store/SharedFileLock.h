#pragma once

#include <juce_core/juce_core.h>

#include <memory>
#include <mutex>
#include <thread>

namespace brivola
{

/** An inter-process lock on one lock file, also exclusive between threads of one process.

    Acquisition first waits for a process-wide timed mutex registered for the lock path (shared by
    every SharedFileLock of the process on that path), then takes an exclusive, non-blocking
    whole-file `flock` on the lock file, retrying every 5 ms until one deadline that covers both
    waits. On a file system without `flock` (ENOTSUP or EOPNOTSUPP) it falls back to an `fcntl`
    write record lock on the whole file; record locks belong to the process, and the process mutex
    keeps two locks of one process from both holding the file.

    Only the thread that acquired the lock may release it: a release from another thread closes the
    file but leaves the process mutex locked. Not for use by two threads at once. */
class SharedFileLock
{
public:
    /** Results of acquire. */
    enum AcquireResult
    {
        acquired = 0,
        timedOut = 1,
        error = 2
    };

    /** A lock on the file at `lockFilePath` (an absolute path); nothing is opened yet. */
    explicit SharedFileLock (const juce::String& lockFilePath);

    /** Releases the lock when held. */
    ~SharedFileLock();

    /** Takes the lock, waiting at most `timeoutMs` milliseconds (negative counts as 0). Returns
        acquired at once when already held, timedOut when the deadline passed, error when the
        lock file's folder is missing or not writable, the file cannot be opened or the lock call
        fails for another reason than contention. */
    AcquireResult acquire (int timeoutMs);

    /** Unlocks and closes the lock file and releases the process mutex (when called by the thread
        that acquired it). Does nothing when not held. */
    void release();

    /** True while the lock is held. */
    bool isLocked() const noexcept { return locked; }

    /** True while the held lock is an `fcntl` record lock instead of a `flock`. */
    bool usesRecordLock() const noexcept { return recordLockMode; }

    /** The lock file's path. */
    const juce::String& getPath() const noexcept { return path; }

    /** The `flock` call used to take the lock (the system's by default). Lets tests stand in a
        file system without `flock`; pass nullptr to restore the system's call. */
    using FlockFunction = int (*) (int fd, int operation);
    static void setFlockFunctionForTesting (FlockFunction function) noexcept;

private:
    /** Closes the descriptor and releases the process mutex, without unlocking a held lock. */
    void closeAndReleaseMutex();

    juce::String path;
    std::shared_ptr<std::timed_mutex> processMutex;
    bool holdsProcessMutex = false;
    std::thread::id owner;
    bool locked = false;
    int fd = -1;
    bool recordLockMode = false;

    JUCE_DECLARE_NON_COPYABLE (SharedFileLock)
};

} // namespace brivola
