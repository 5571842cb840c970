// Many instances in many processes: no committed change is ever lost, and writers killed at any
// moment leave a readable document holding everything committed before the kill.
#include "store/SharedStore.h"
#include "tests/store/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

namespace brivola
{
namespace
{

using testing::TempFolder;
using Status = SharedStore::Status;

/** One transaction a writer was told about. */
struct Commit
{
    enum Kind : std::int32_t { discovery, preset, stats, seen };

    std::int32_t writer = 0;
    std::int32_t kind = 0;
    std::int32_t index = 0;  ///< own key index (discovery, seen) or slot (preset)
    std::int32_t status = 0;
    std::int64_t value = 0;  ///< discovery time, or the preset's sequence number
    std::int64_t revision = 0;
};

static_assert (sizeof (Commit) == 32); // far below PIPE_BUF: one write(2) is atomic

constexpr int keysPerWriter = 4;
constexpr std::int64_t firstDiscoveryTime = 1000000000000;

juce::String ownKey (int writer, int index)
{
    return testing::allSpeciesKeys()[(writer * keysPerWriter + index) % 128];
}

juce::var presetValue (int writer, std::int64_t sequence, const juce::String& payload)
{
    auto* object = new juce::DynamicObject();
    juce::var value (object);
    object->setProperty ("writer", writer);
    object->setProperty ("seq", static_cast<juce::int64> (sequence));
    object->setProperty ("payload", payload);
    return value;
}

/** Transaction `step` of `writer`: a discovery, a preset save, a statistics delta or a seen key. */
Commit runStep (SharedStore& store, int writer, std::int64_t step, std::int64_t discoveryTime,
                const juce::String& payload)
{
    Commit commit;
    commit.writer = writer;
    commit.kind = static_cast<std::int32_t> (step % 4);
    UpdateResult result;

    switch (commit.kind)
    {
        case Commit::discovery:
            commit.index = static_cast<std::int32_t> ((step / 4) % keysPerWriter);
            commit.value = discoveryTime;
            result = store.addDiscovery (ownKey (writer, commit.index), discoveryTime);
            break;

        case Commit::preset:
            commit.index = static_cast<std::int32_t> ((writer + step) % numPresetSlots);
            commit.value = step;
            result = store.savePreset (commit.index, presetValue (writer, step, payload));
            break;

        case Commit::stats:
            result = store.addStatsDelta (0.5, 1, 2, 3);
            break;

        default:
        {
            commit.index = static_cast<std::int32_t> ((step / 4) % keysPerWriter);
            const auto key = ownKey (writer, commit.index);
            result = store.update ([&key] (SharedData& document) { return document.pipetteSeen.insert (key).second; });
            break;
        }
    }

    commit.status = static_cast<std::int32_t> (result.status);
    commit.revision = result.revision;
    return commit;
}

/** What a set of commits requires of the document, checked against one read of it. */
class CommitLedger
{
public:
    void add (const Commit& c)
    {
        if (c.status != static_cast<std::int32_t> (Status::ok))
            return;

        ++okCount;
        revisions.push_back (c.revision);
        maxRevision = std::max (maxRevision, c.revision);

        switch (c.kind)
        {
            case Commit::discovery:
            {
                const auto key = ownKey (c.writer, c.index);
                const auto found = earliestTime.find (key);

                if (found == earliestTime.end() || c.value < found->second)
                    earliestTime[key] = c.value;

                break;
            }

            case Commit::preset:
                if (c.revision > latestSave[c.index].revision)
                    latestSave[c.index] = c;

                break;

            case Commit::stats:
                ++statsCount;
                break;

            default:
                seenKeys.insert (ownKey (c.writer, c.index));
                break;
        }
    }

    /** Checks that `document` holds every change; with `exact`, also that it holds nothing more
        (every writer reported everything it committed). */
    void expectHeldBy (const SharedData& document, bool exact) const
    {
        EXPECT_GE (document.revision, maxRevision);

        for (const auto& [key, time] : earliestTime)
        {
            ASSERT_EQ (document.discovered.count (key), 1u) << key;

            if (exact)
                EXPECT_EQ (document.discovered.at (key), time) << key;
            else
                EXPECT_LE (document.discovered.at (key), time) << key;
        }

        for (const auto& key : seenKeys)
            EXPECT_EQ (document.pipetteSeen.count (key), 1u) << key;

        for (const auto& [slot, save] : latestSave)
        {
            const auto& stored = document.presets[static_cast<size_t> (slot)];
            EXPECT_GE (stored.revision, save.revision) << slot;

            if (stored.revision == save.revision)
            {
                EXPECT_EQ (static_cast<int> (stored.data["writer"]), save.writer) << slot;
                EXPECT_EQ (static_cast<juce::int64> (stored.data["seq"]), save.value) << slot;
            }
        }

        if (exact)
        {
            EXPECT_EQ (document.revision, okCount);
            EXPECT_EQ (document.stats, (SharedData::Stats { 0.5 * (double) statsCount, statsCount,
                                                           2 * statsCount, 3 * statsCount }));
        }
        else
        {
            EXPECT_GE (document.stats.mergeCount, statsCount);
        }
    }

    /** Every committed revision appears exactly once, and they are 1 … count. */
    void expectRevisionsAreASequence() const
    {
        auto sorted = revisions;
        std::sort (sorted.begin(), sorted.end());

        for (size_t i = 0; i < sorted.size(); ++i)
            ASSERT_EQ (sorted[i], static_cast<std::int64_t> (i + 1));
    }

    std::int64_t okCount = 0;
    std::int64_t statsCount = 0;

private:
    std::vector<std::int64_t> revisions;
    std::int64_t maxRevision = 0;
    std::map<juce::String, std::int64_t> earliestTime;
    std::set<juce::String> seenKeys;
    std::map<int, Commit> latestSave;
};

//==============================================================================
TEST (SharedStoreProcesses, ConcurrentWritersInManyProcessesLoseNoUpdate)
{
    constexpr int processes = 8;
    constexpr int threadsPerProcess = 4;
    constexpr int transactionsPerWriter = 200;
    constexpr int maxAttempts = 50;

    // In memory where possible: the test is about serialising writers, not about disk speed.
    TempFolder folder (true);
    const auto logFolder = folder.get().getChildFile ("logs");
    ASSERT_TRUE (logFolder.createDirectory().wasOk());
    const auto storeFolder = folder.get().getChildFile ("store").getFullPathName();
    const auto payload = juce::String::repeatedString ("p", 2000);

    std::vector<pid_t> children;

    for (int p = 0; p < processes; ++p)
    {
        children.push_back (testing::forkChild ([&, p]
        {
            std::vector<std::thread> threads;

            for (int t = 0; t < threadsPerProcess; ++t)
            {
                threads.emplace_back ([&, writer = p * threadsPerProcess + t]
                {
                    SharedStore store; // one instance per thread, as plug-in instances in one host
                    store.open (storeFolder);
                    std::ostringstream log;

                    for (std::int64_t step = 0; step < transactionsPerWriter; ++step)
                    {
                        // A busy store is retried, as the processor retries its pending work.
                        for (int attempt = 0; attempt < maxAttempts; ++attempt)
                        {
                            const auto c = runStep (store, writer, step, firstDiscoveryTime - step, payload);
                            log << c.writer << ' ' << c.kind << ' ' << c.index << ' ' << c.status << ' '
                                << c.value << ' ' << c.revision << '\n';

                            if (c.status != static_cast<std::int32_t> (Status::busy))
                                break;
                        }
                    }

                    std::ofstream (logFolder.getChildFile ("writer-" + juce::String (writer)).getFullPathName().toStdString())
                        << log.str();
                });
            }

            for (auto& thread : threads)
                thread.join();

            return 0;
        }));
    }

    for (const auto child : children)
        ASSERT_EQ (testing::waitForChild (child), 0);

    CommitLedger ledger;
    std::map<int, int> statusCounts;
    int logged = 0;

    for (int writer = 0; writer < processes * threadsPerProcess; ++writer)
    {
        std::ifstream in (logFolder.getChildFile ("writer-" + juce::String (writer)).getFullPathName().toStdString());
        Commit c;

        while (in >> c.writer >> c.kind >> c.index >> c.status >> c.value >> c.revision)
        {
            ++logged;
            ++statusCounts[c.status];
            ledger.add (c);
        }
    }

    constexpr int writers = processes * threadsPerProcess;
    ASSERT_GE (logged, writers * transactionsPerWriter);

    // Only ok, unchanged (a seen key already stored) and busy (300 ms without the lock) are expected.
    for (const auto& [status, count] : statusCounts)
        EXPECT_TRUE (status == (int) Status::ok || status == (int) Status::unchanged || status == (int) Status::busy)
            << "status " << status << " × " << count;

    // Discoveries, preset saves and statistics always change the document: three of every four
    // steps commit once their retries get the lock.
    EXPECT_GE (ledger.okCount, writers * transactionsPerWriter * 3 / 4);
    ::testing::Test::RecordProperty ("busy", statusCounts[(int) Status::busy]);

    SharedStore reader;
    reader.open (storeFolder);
    const auto snapshot = reader.read();
    ASSERT_EQ (snapshot.status, Status::ok);
    ledger.expectRevisionsAreASequence();
    ledger.expectHeldBy (snapshot.document, true);
}

//==============================================================================
TEST (SharedStoreProcesses, WritersKilledAtRandomMomentsNeverDamageTheDocument)
{
    constexpr int rounds = 100;
    constexpr int writersPerRound = 2; // 200 kills in all

    TempFolder folder;
    const auto storeFolder = folder.path();
    const auto payload = juce::String::repeatedString ("k", 20000); // long writes: kills land inside them
    std::mt19937 random (20260309);
    CommitLedger ledger;

    SharedStore own;
    own.open (storeFolder);
    std::int64_t ownStep = 0;
    std::int64_t nextTime = firstDiscoveryTime;
    int killsDuringWrites = 0;

    for (int round = 0; round < rounds; ++round)
    {
        int pipeFds[2];
        ASSERT_EQ (::pipe (pipeFds), 0);
        std::vector<pid_t> writers;

        for (int w = 0; w < writersPerRound; ++w)
        {
            const auto writer = (round * writersPerRound + w) % 32;
            const auto startTime = nextTime;

            writers.push_back (testing::forkChild ([&, writer, startTime]
            {
                ::close (pipeFds[0]);
                SharedStore store;
                store.open (storeFolder);

                for (std::int64_t step = 0;; ++step)
                {
                    const auto c = runStep (store, writer, step, startTime - step, payload);

                    if (c.status == (int) Status::ok && ! testing::writeAll (pipeFds[1], &c, sizeof (c)))
                        return 1;
                }
            }));

            nextTime -= 1000000;
        }

        ::close (pipeFds[1]);

        for (const auto writer : writers)
        {
            std::this_thread::sleep_for (std::chrono::microseconds (std::uniform_int_distribution<int> (0, 25000) (random)));
            ::kill (writer, SIGKILL);
        }

        for (const auto writer : writers)
            ASSERT_EQ (testing::waitForChild (writer), 128 + SIGKILL);

        Commit c;

        while (testing::readAll (pipeFds[0], &c, sizeof (c)))
            ledger.add (c);

        ::close (pipeFds[0]);

        if (folder.child (sharedTempFileName).exists())
            ++killsDuringWrites; // a kill left a partly written new document behind

        // The document on disk parses (never half-written) and holds every reported commit.
        SharedData onDisk;
        const auto documentFile = folder.child (sharedDocumentFileName);

        if (documentFile.exists())
        {
            ASSERT_TRUE (parseSharedDocument (documentFile.loadFileAsString(), onDisk)) << "round " << round;
            ledger.expectHeldBy (onDisk, false);
        }

        const auto snapshot = own.read();
        ASSERT_TRUE (snapshot.status == Status::ok || snapshot.status == Status::fresh) << (int) snapshot.status;
        EXPECT_FALSE (own.wasReset());

        // The next transaction succeeds (a discovery with a new earliest time, or statistics).
        const auto step = 4 * ownStep + (ownStep % 2 == 0 ? Commit::discovery : Commit::stats);
        ++ownStep;
        const auto next = runStep (own, 31, step, nextTime, payload);
        nextTime -= 1000000;
        ASSERT_EQ (next.status, (int) Status::ok) << "round " << round;
        EXPECT_EQ (next.revision, snapshot.document.revision + 1);
        ledger.add (next);

        if (::testing::Test::HasFatalFailure())
            return;
    }

    SharedData final;
    ASSERT_TRUE (parseSharedDocument (folder.child (sharedDocumentFileName).loadFileAsString(), final));
    ledger.expectHeldBy (final, false);
    EXPECT_GT (ledger.okCount, rounds);
    ::testing::Test::RecordProperty ("killsDuringWrites", killsDuringWrites);
}

} // namespace
} // namespace brivola
