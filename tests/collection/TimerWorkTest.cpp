// The once-per-second work: statistics cadence, first load, and a busy store that loses nothing.
#include "tests/collection/CollectionTestSupport.h"

#include <limits>

namespace brivola
{
namespace
{

using testing::changeDocument;
using testing::FakeHost;
using testing::keyOf;
using testing::readDocument;
using testing::TempStoreFolder;

TEST (StatisticsTest, FlushesEveryThirtySecondsAndOnlyTheNewPart)
{
    TempStoreFolder folder;
    FakeHost host;
    Collection collection (host);
    collection.getStore().open (folder.path());
    changeDocument (folder.path(), [] (SharedData& d) { d.stats = { 100.0, 1, 2, 3 }; });

    host.counters = { 5, 6, 20, 12.5 };
    for (int second = 1; second < 30; ++second)
        collection.runTimerWork();
    EXPECT_EQ (readDocument (folder.path()).stats, (SharedData::Stats { 100.0, 1, 2, 3 }));
    EXPECT_DOUBLE_EQ (collection.getSharedStatistics().incubationTime, 100.0);

    collection.runTimerWork(); // the 30th second
    EXPECT_EQ (readDocument (folder.path()).stats, (SharedData::Stats { 112.5, 6, 8, 23 }));
    EXPECT_EQ (collection.getStatisticsBaseline(), host.counters);
    EXPECT_EQ (collection.getSharedStatistics(), (SharedData::Stats { 112.5, 6, 8, 23 })) << "re-read after the flush";

    // The next flush sends only what happened since.
    host.counters = { 7, 6, 21, 20.0 };
    for (int second = 0; second < 30; ++second)
        collection.runTimerWork();
    EXPECT_EQ (readDocument (folder.path()).stats, (SharedData::Stats { 120.0, 8, 8, 24 }));

    // The page's figures: shared totals plus the part not yet sent.
    const auto page = pageStatistics (collection.getSharedStatistics(), collection.getStatisticsBaseline(), 26.0, 25);
    EXPECT_DOUBLE_EQ (page.incubation, 126.0);
    EXPECT_EQ (page.spawn, 28);
}

TEST (StatisticsTest, ARestoredDishAddsNothing)
{
    TempStoreFolder folder;
    FakeHost host;
    Collection collection (host);
    collection.getStore().open (folder.path());

    host.counters = { 400, 500, 600, 3600.0 };
    collection.restoreStatisticsBaseline (host.counters);
    EXPECT_TRUE (collection.flushStats());
    EXPECT_FALSE (collection.getStore().getDocumentFile().exists());

    host.counters.spawns = 601;
    EXPECT_TRUE (collection.flushStats());
    EXPECT_EQ (readDocument (folder.path()).stats, (SharedData::Stats { 0.0, 0, 0, 1 }));
}

TEST (StatisticsTest, ARefusedDeltaKeepsTheBaselineAndAMissingStoreKeepsItPending)
{
    TempStoreFolder folder;
    FakeHost host;
    Collection collection (host);

    host.counters = { 1, 0, 0, std::numeric_limits<double>::infinity() };
    EXPECT_FALSE (collection.flushStats()); // the store is not open yet
    EXPECT_TRUE (collection.isStatisticsFlushPending());
    EXPECT_EQ (collection.getStorageNotice(), StorageNotice::busy);

    collection.getStore().open (folder.path());
    EXPECT_FALSE (collection.flushStats()); // a non-finite increment is refused
    EXPECT_FALSE (collection.isStatisticsFlushPending());
    EXPECT_EQ (collection.getStorageNotice(), StorageNotice::writeFailed);
    EXPECT_EQ (collection.getStatisticsBaseline(), StatisticsCounters {});

    host.counters.incubationSeconds = 2.0;
    EXPECT_TRUE (collection.flushStats());
    EXPECT_EQ (readDocument (folder.path()).stats, (SharedData::Stats { 2.0, 1, 0, 0 }));
    EXPECT_EQ (collection.getStorageNotice(), StorageNotice::none);
}

TEST (PageStatisticsTest, LimitsTheSums)
{
    const StatisticsCounters baseline { 0, 0, 10, 50.0 };
    auto page = pageStatistics ({ -3.0, 0, 0, 4 }, baseline, 40.0, 5);
    EXPECT_DOUBLE_EQ (page.incubation, 0.0) << "a negative shared time counts as 0 and the sum stays >= 0";
    EXPECT_EQ (page.spawn, 0);

    page = pageStatistics ({ std::numeric_limits<double>::max(), 0, 0, std::numeric_limits<std::int64_t>::max() - 1 },
                           baseline, 1e308, 100);
    EXPECT_DOUBLE_EQ (page.incubation, std::numeric_limits<double>::max());
    EXPECT_EQ (page.spawn, std::numeric_limits<std::int64_t>::max());

    page = pageStatistics ({ 7.0, 0, 0, 3 }, baseline, std::numeric_limits<double>::quiet_NaN(), 10);
    EXPECT_DOUBLE_EQ (page.incubation, 7.0);
    EXPECT_EQ (page.spawn, 3);
}

//==============================================================================
TEST (FirstLoadTest, OpensReadsAndCountsTheOpeningAsABirth)
{
    TempStoreFolder folder;
    changeDocument (folder.path(), [] (SharedData& d)
    {
        d.discovered["leaf|#A1F2BF"] = 1;
        d.stats = { 9.0, 1, 1, 1 };
        d.presets[3] = { 1, juce::JSON::parse ("{\"cells\":[{\"x\":0,\"y\":0,\"mass\":3}]}") };
    });
    FakeHost host;
    host.place (-1, 4, -1, 0.0, 0.0);
    Collection collection (host);
    EXPECT_FALSE (collection.isStoreReady());

    collection.loadSharedData (folder.path());
    EXPECT_TRUE (collection.isStoreReady());
    EXPECT_TRUE (collection.getPresetSlot (3).value.isObject());
    EXPECT_TRUE (collection.getDiscoveredKeys().contains ("leaf|#A1F2BF"));
    EXPECT_DOUBLE_EQ (collection.getSharedStatistics().incubationTime, 9.0);
    EXPECT_EQ (host.exchange.grantArmed.load(), 1) << "the opening earned a birth grant";
    EXPECT_EQ (host.exchange.grantKind, 1);
    EXPECT_EQ (host.exchange.birthNoticed.load(), 0);

    const auto document = readDocument (folder.path());
    EXPECT_EQ (document.uniqueQuota.day, "2026-03-09");
    EXPECT_EQ (document.uniqueQuota.granted, 1);
    EXPECT_EQ (document.discovered.count ("normal|#FCDA6F"), 1u) << "the timer work ran once";
}

TEST (FirstLoadTest, AnUnusableFolderLeavesTheStoreUnavailable)
{
    TempStoreFolder folder;
    const auto blocker = folder.get().getChildFile ("file");
    ASSERT_TRUE (blocker.replaceWithText ("x"));
    FakeHost host;
    Collection collection (host);
    collection.loadSharedData (blocker.getChildFile ("Brivola").getFullPathName());
    EXPECT_FALSE (collection.isStoreReady());
    EXPECT_EQ (collection.getStorageNotice(), StorageNotice::busy);
}

//==============================================================================
TEST (BusyStoreTest, LosesNothingAndRetriesEverySecond)
{
    TempStoreFolder folder;
    changeDocument (folder.path(), [] (SharedData& d) { d.discovered["bell|#FCD9EC"] = 1; });
    FakeHost host;
    Collection collection (host);
    collection.getStore().open (folder.path());
    ASSERT_TRUE (collection.refreshPresets());

    host.place (9, 2, 50, 0.3, 0.0); // bell of colour 2 (already discovered) in the dish
    {
        testing::BusyStore busy (folder.path());

        host.place (10, 6, 51, -0.3, 0.0); // a new species: leaf of colour 6
        host.place (-1, 1, 52, 0.0, 0.3);  // a plain colour
        collection.markPipetteSeen ({ "bell|#FCD9EC" });
        collection.savePresetSlot (9);
        host.counters = { 2, 3, 4, 5.0 };
        EXPECT_FALSE (collection.flushStats());

        collection.runTimerWork();
        collection.runTimerWork();
        EXPECT_EQ (collection.getStorageNotice(), StorageNotice::busy);
        EXPECT_TRUE (testSpeciesBit (host.exchange.seenBits, 10 * 8 + 6)) << "kept for the next second";
        EXPECT_TRUE (collection.hasPendingPresetWrite (9));
        EXPECT_EQ (collection.getPendingPipetteSeen().size(), 1);
        EXPECT_TRUE (collection.isStatisticsFlushPending());
    }

    collection.runTimerWork();
    collection.runTimerWork();

    const auto document = readDocument (folder.path());
    EXPECT_EQ (document.discovered.count ("leaf|#A1F2BF"), 1u);
    EXPECT_EQ (document.discovered.count ("normal|#B8A1FB"), 1u);
    EXPECT_EQ (document.pipetteSeen.count ("bell|#FCD9EC"), 1u);
    EXPECT_EQ (document.stats, (SharedData::Stats { 5.0, 2, 3, 4 }));
    EXPECT_EQ (document.presets[9].data.getProperty ("cells", {}).size(), 3);

    EXPECT_FALSE (collection.hasPendingPresetWrite (9));
    EXPECT_TRUE (collection.getPendingPipetteSeen().isEmpty());
    EXPECT_FALSE (collection.isStatisticsFlushPending());
    EXPECT_EQ (host.exchange.seenBits[1].load() | host.exchange.seenBits[0].load(), 0u);
    EXPECT_EQ (collection.getStorageNotice(), StorageNotice::none);
}

TEST (BusyStoreTest, ShutdownFlushesWhatIsStillPending)
{
    TempStoreFolder folder;
    FakeHost host;
    Collection collection (host);
    collection.getStore().open (folder.path());
    host.place (7, 3, 60, 0.0, 0.0);
    {
        testing::BusyStore busy (folder.path());
        collection.savePresetSlot (0);
    }
    host.counters = { 0, 0, 1, 1.5 };

    collection.shutdown();
    const auto document = readDocument (folder.path());
    EXPECT_TRUE (document.presets[0].data.isObject());
    EXPECT_EQ (document.discovered.count ("bolt|#FDB8C0"), 1u);
    EXPECT_EQ (document.stats, (SharedData::Stats { 1.5, 0, 0, 1 }));
}

} // namespace
} // namespace brivola
