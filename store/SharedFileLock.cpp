#include "store/SharedFileLock.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <map>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brivola
{

namespace
{

std::atomic<SharedFileLock::FlockFunction> flockOverride { nullptr };

int callFlock (int fd, int operation)
{
    if (auto* function = flockOverride.load (std::memory_order_acquire))
        return function (fd, operation);

    return ::flock (fd, operation);
}

/** The process-wide registry: lock path -> the live timed mutex of that path. */
std::shared_ptr<std::timed_mutex> processMutexFor (const juce::String& path)
{
    static std::mutex registryMutex;
    static std::map<std::string, std::weak_ptr<std::timed_mutex>> registry;

    const std::lock_guard<std::mutex> guard (registryMutex);

    for (auto it = registry.begin(); it != registry.end();)
        it = it->second.expired() ? registry.erase (it) : std::next (it);

    auto& entry = registry[path.toStdString()];

    if (auto existing = entry.lock())
        return existing;

    auto created = std::make_shared<std::timed_mutex>();
    entry = created;
    return created;
}

bool isWritableFolder (const juce::String& folder)
{
    struct stat info {};

    return folder.isNotEmpty()
           && ::stat (folder.toRawUTF8(), &info) == 0
           && S_ISDIR (info.st_mode)
           && ::access (folder.toRawUTF8(), W_OK) == 0;
}

int setWholeFileRecordLock (int fd, short type)
{
    struct flock request {};
    request.l_type = type;
    request.l_whence = SEEK_SET;
    request.l_start = 0;
    request.l_len = 0; // to the end of the file, however long it grows

    return ::fcntl (fd, F_SETLK, &request);
}

} // namespace

//==============================================================================
SharedFileLock::SharedFileLock (const juce::String& lockFilePath)
    : path (lockFilePath),
      processMutex (processMutexFor (lockFilePath))
{
}

SharedFileLock::~SharedFileLock()
{
    release();
}

void SharedFileLock::setFlockFunctionForTesting (FlockFunction function) noexcept
{
    flockOverride.store (function, std::memory_order_release);
}

SharedFileLock::AcquireResult SharedFileLock::acquire (int timeoutMs)
{
    using Clock = std::chrono::steady_clock;

    if (locked)
        return acquired;

    const auto deadline = Clock::now() + std::chrono::milliseconds (std::max (timeoutMs, 0));

    if (! processMutex->try_lock_until (deadline))
        return timedOut;

    holdsProcessMutex = true;
    owner = std::this_thread::get_id();

    if (! isWritableFolder (juce::File (path).getParentDirectory().getFullPathName()))
    {
        release();
        return error;
    }

    fd = ::open (path.toRawUTF8(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);

    if (fd < 0)
    {
        release();
        return error;
    }

    for (;;)
    {
        const auto result = recordLockMode ? setWholeFileRecordLock (fd, F_WRLCK)
                                           : callFlock (fd, LOCK_EX | LOCK_NB);

        if (result == 0)
        {
            locked = true;
            return acquired;
        }

        const auto failure = errno;

        if (! recordLockMode && (failure == ENOTSUP || failure == EOPNOTSUPP))
        {
            recordLockMode = true;
            continue;
        }

        if (failure != EACCES && failure != EAGAIN && failure != EWOULDBLOCK && failure != EINTR)
        {
            release();
            return error;
        }

        if (Clock::now() >= deadline)
        {
            release();
            return timedOut;
        }

        std::this_thread::sleep_for (std::chrono::milliseconds (5));
    }
}

void SharedFileLock::release()
{
    if (locked && fd >= 0)
    {
        if (recordLockMode)
            setWholeFileRecordLock (fd, F_UNLCK);
        else
            ::flock (fd, LOCK_UN);
    }

    locked = false;
    recordLockMode = false;
    closeAndReleaseMutex();
}

void SharedFileLock::closeAndReleaseMutex()
{
    if (fd >= 0)
    {
        ::close (fd);
        fd = -1;
    }

    if (holdsProcessMutex)
    {
        holdsProcessMutex = false;

        if (owner == std::this_thread::get_id())
            processMutex->unlock();
    }
}

} // namespace brivola
