// The inter-process file lock: exclusion between threads and processes, the timeout, errors, and
// the fall-back to fcntl record locks where flock is not supported.
#include "store/SharedFileLock.h"
#include "store/SharedStore.h"
#include "tests/store/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>

namespace brivola
{
namespace
{

using testing::TempFolder;
using Clock = std::chrono::steady_clock;

juce::String lockPathIn (const TempFolder& folder)
{
    return folder.child (sharedLockFileName).getFullPathName();
}

/** Makes flock fail with `error` while alive. */
class FlockFailure
{
public:
    explicit FlockFailure (int error)
    {
        failureErrno = error;
        SharedFileLock::setFlockFunctionForTesting ([] (int, int) { errno = failureErrno; return -1; });
    }

    ~FlockFailure() { SharedFileLock::setFlockFunctionForTesting (nullptr); }

private:
    static inline int failureErrno = 0;
};

/** Runs `body` in a child process and returns its exit code. */
int inChild (const std::function<int()>& body)
{
    return testing::waitForChild (testing::forkChild (body));
}

/** In a child: the record lock another process holds on `path` (F_UNLCK when none), and its pid. */
std::pair<short, pid_t> recordLockSeenByAnotherProcess (const juce::String& path)
{
    int pipeFds[2];
    EXPECT_EQ (::pipe (pipeFds), 0);

    const auto child = testing::forkChild ([&]
    {
        ::close (pipeFds[0]);
        const auto fd = ::open (path.toRawUTF8(), O_RDWR);
        struct flock query {};
        query.l_type = F_WRLCK;
        query.l_whence = SEEK_SET;

        if (fd < 0 || ::fcntl (fd, F_GETLK, &query) != 0)
            return 1;

        const std::pair<short, pid_t> seen { query.l_type, query.l_pid };
        return testing::writeAll (pipeFds[1], &seen, sizeof (seen)) ? 0 : 2;
    });

    ::close (pipeFds[1]);
    std::pair<short, pid_t> seen { -1, -1 };
    EXPECT_TRUE (testing::readAll (pipeFds[0], &seen, sizeof (seen)));
    ::close (pipeFds[0]);
    EXPECT_EQ (testing::waitForChild (child), 0);
    return seen;
}

//==============================================================================
TEST (SharedFileLock, ExcludesOtherLocksOfTheProcessUntilReleased)
{
    TempFolder folder;
    SharedFileLock first (lockPathIn (folder));
    SharedFileLock second (lockPathIn (folder));

    ASSERT_EQ (first.acquire (0), SharedFileLock::acquired);
    EXPECT_TRUE (first.isLocked());
    EXPECT_FALSE (first.usesRecordLock());
    EXPECT_EQ (first.acquire (0), SharedFileLock::acquired); // already held: at once
    EXPECT_TRUE (folder.child (sharedLockFileName).existsAsFile());

    auto attempt = [&] (int timeoutMs)
    {
        return std::async (std::launch::async, [&second, timeoutMs]
        {
            const auto result = second.acquire (timeoutMs);
            second.release();
            return result;
        }).get();
    };

    EXPECT_EQ (attempt (50), SharedFileLock::timedOut);
    EXPECT_EQ (attempt (-5), SharedFileLock::timedOut);

    first.release();
    EXPECT_FALSE (first.isLocked());
    EXPECT_EQ (attempt (0), SharedFileLock::acquired);

    // The lock file is never deleted.
    EXPECT_TRUE (folder.child (sharedLockFileName).existsAsFile());
}

TEST (SharedFileLock, WaitsForAHolderThatReleasesBeforeTheDeadline)
{
    TempFolder folder;
    SharedFileLock holder (lockPathIn (folder));
    SharedFileLock waiter (lockPathIn (folder));
    std::promise<void> held;

    std::thread holding ([&]
    {
        EXPECT_EQ (holder.acquire (0), SharedFileLock::acquired);
        held.set_value();
        std::this_thread::sleep_for (std::chrono::milliseconds (30));
        holder.release();
    });

    held.get_future().wait();
    EXPECT_EQ (waiter.acquire (2000), SharedFileLock::acquired);
    waiter.release();
    holding.join();
}

TEST (SharedFileLock, MissingFolderIsAnErrorThatReleasesTheProcessMutex)
{
    TempFolder folder;
    const auto path = folder.get().getChildFile ("missing").getChildFile (sharedLockFileName).getFullPathName();
    SharedFileLock lock (path);

    EXPECT_EQ (lock.acquire (100), SharedFileLock::error);
    EXPECT_FALSE (lock.isLocked());

    // Had the process mutex stayed locked, this would time out instead.
    SharedFileLock other (path);
    const auto result = std::async (std::launch::async, [&] { return other.acquire (100); }).get();
    EXPECT_EQ (result, SharedFileLock::error);
}

TEST (SharedFileLock, LockHeldByAnotherProcessMakesTransactionsBusy)
{
    TempFolder folder;
    SharedStore store;
    store.open (folder.path());
    ASSERT_EQ (store.addDiscovery ("moon|#AFB5BE", 1).status, SharedStore::Status::ok);
    const auto before = store.documentSignature();

    int pipeFds[2];
    ASSERT_EQ (::pipe (pipeFds), 0);

    const auto holder = testing::forkChild ([&]
    {
        ::close (pipeFds[0]);
        SharedFileLock lock (lockPathIn (folder));

        if (lock.acquire (0) != SharedFileLock::acquired)
            return 1;

        const char ready = 'r';
        testing::writeAll (pipeFds[1], &ready, 1);
        std::this_thread::sleep_for (std::chrono::seconds (1));
        return 0;
    });

    ::close (pipeFds[1]);
    char ready = 0;
    ASSERT_TRUE (testing::readAll (pipeFds[0], &ready, 1));
    ::close (pipeFds[0]);

    const auto readStart = Clock::now();
    const auto snapshot = store.read();
    const auto readTime = Clock::now() - readStart;

    const auto updateStart = Clock::now();
    const auto written = store.addDiscovery ("star|#AFB5BE", 2);
    const auto updateTime = Clock::now() - updateStart;

    EXPECT_EQ (snapshot.status, SharedStore::Status::busy);
    EXPECT_EQ (written.status, SharedStore::Status::busy);
    EXPECT_EQ (written.revision, 0);

    // Both gave up after their 300 ms, well before the holder let go.
    for (const auto elapsed : { readTime, updateTime })
    {
        EXPECT_GE (elapsed, std::chrono::milliseconds (295));
        EXPECT_LT (elapsed, std::chrono::milliseconds (700));
    }

    EXPECT_EQ (store.documentSignature(), before);
    EXPECT_EQ (testing::waitForChild (holder), 0);

    // The holder is gone: its lock went with it.
    EXPECT_EQ (store.addDiscovery ("star|#AFB5BE", 2).status, SharedStore::Status::ok);
}

//==============================================================================
TEST (SharedFileLockRecordMode, FallsBackToFcntlWhenFlockIsNotSupported)
{
    for (const auto error : { ENOTSUP, EOPNOTSUPP })
    {
        TempFolder folder;
        const auto path = lockPathIn (folder);
        const FlockFailure noFlock (error);
        SharedFileLock lock (path);

        ASSERT_EQ (lock.acquire (100), SharedFileLock::acquired);
        EXPECT_TRUE (lock.usesRecordLock());

        // Another process sees a write record lock of this process on the whole file ...
        const auto [type, owner] = recordLockSeenByAnotherProcess (path);
        EXPECT_EQ (type, F_WRLCK);
        EXPECT_EQ (owner, ::getpid());

        // ... and no flock: it can take one.
        EXPECT_EQ (inChild ([&]
        {
            const auto fd = ::open (path.toRawUTF8(), O_RDWR);
            return fd >= 0 && ::flock (fd, LOCK_EX | LOCK_NB) == 0 ? 0 : 1;
        }), 0);

        lock.release();
        EXPECT_FALSE (lock.usesRecordLock()); // every acquisition starts with flock again
        EXPECT_EQ (recordLockSeenByAnotherProcess (path).first, F_UNLCK);
    }
}

TEST (SharedFileLockRecordMode, RecordLockOfAnotherProcessMakesAcquireTimeOut)
{
    TempFolder folder;
    const auto path = lockPathIn (folder);
    const FlockFailure noFlock (ENOTSUP);

    int pipeFds[2];
    ASSERT_EQ (::pipe (pipeFds), 0);
    int releasePipe[2];
    ASSERT_EQ (::pipe (releasePipe), 0);

    const auto holder = testing::forkChild ([&]
    {
        ::close (pipeFds[0]);
        ::close (releasePipe[1]);
        const auto fd = ::open (path.toRawUTF8(), O_RDWR | O_CREAT, 0600);
        struct flock request {};
        request.l_type = F_WRLCK;
        request.l_whence = SEEK_SET;

        if (fd < 0 || ::fcntl (fd, F_SETLK, &request) != 0)
            return 1;

        const char ready = 'r';
        testing::writeAll (pipeFds[1], &ready, 1);
        char go = 0;
        testing::readAll (releasePipe[0], &go, 1); // hold until told
        return 0;
    });

    ::close (pipeFds[1]);
    ::close (releasePipe[0]);
    char ready = 0;
    ASSERT_TRUE (testing::readAll (pipeFds[0], &ready, 1));

    SharedFileLock lock (path);
    EXPECT_EQ (lock.acquire (60), SharedFileLock::timedOut);
    EXPECT_FALSE (lock.isLocked());

    ::close (releasePipe[1]); // the holder reads end of file and exits
    EXPECT_EQ (testing::waitForChild (holder), 0);
    ::close (pipeFds[0]);

    EXPECT_EQ (lock.acquire (60), SharedFileLock::acquired);
    EXPECT_TRUE (lock.usesRecordLock());
}

TEST (SharedFileLockRecordMode, StoreTransactionsWorkWithRecordLocks)
{
    TempFolder folder;
    const FlockFailure noFlock (EOPNOTSUPP);
    SharedStore store;
    store.open (folder.path());

    EXPECT_EQ (store.addDiscovery ("bolt|#FCD9EC", 3).status, SharedStore::Status::ok);
    EXPECT_EQ (store.savePreset (2, juce::var ("dish")).status, SharedStore::Status::ok);
    const auto snapshot = store.read();
    EXPECT_EQ (snapshot.status, SharedStore::Status::ok);
    EXPECT_EQ (snapshot.document.revision, 2);
}

TEST (SharedFileLockRecordMode, OtherFlockErrorsAreErrors)
{
    TempFolder folder;
    const FlockFailure brokenFlock (EIO);
    SharedFileLock lock (lockPathIn (folder));

    EXPECT_EQ (lock.acquire (100), SharedFileLock::error);
    EXPECT_FALSE (lock.isLocked());
    EXPECT_FALSE (lock.usesRecordLock());

    SharedStore store;
    store.open (folder.path());
    EXPECT_EQ (store.read().status, SharedStore::Status::failed);
    EXPECT_EQ (store.clearPreset (0).status, SharedStore::Status::failed);
}

} // namespace
} // namespace brivola
