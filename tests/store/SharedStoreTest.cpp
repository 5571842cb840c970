// SharedStore transactions in one process: loading with the backup fall-back, writing, the
// operations and their refusals, the daily counters and the storage notice mapping.
#include "store/SharedStore.h"
#include "store/StorageNotice.h"
#include "tests/store/StoreTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <future>
#include <limits>
#include <thread>

namespace brivola
{
namespace
{

using testing::TempFolder;
using Status = SharedStore::Status;

constexpr auto int64Max = std::numeric_limits<std::int64_t>::max();

class SharedStoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        store.open (folder.path());
        ASSERT_TRUE (store.isReady());
    }

    juce::File documentFile() const { return folder.child (sharedDocumentFileName); }
    juce::File backupFile() const { return folder.child (sharedBackupFileName); }

    /** The document file as read by the parser (fails the test when unreadable). */
    SharedData documentOnDisk() const
    {
        SharedData document;
        EXPECT_TRUE (parseSharedDocument (documentFile().loadFileAsString(), document));
        return document;
    }

    /** Puts `document` on disk as the document file, as another instance would have written it. */
    void writeDocument (const SharedData& document) const
    {
        testing::writeText (documentFile(), sharedDocumentText (document));
    }

    UpdateResult setQuota (const juce::String& day, int granted, int discoveries)
    {
        return store.update ([&] (SharedData& document)
        {
            document.uniqueQuota = { day, granted, discoveries };
            return true;
        });
    }

    TempFolder folder;
    SharedStore store;
};

juce::var smallPreset (int marker)
{
    return juce::JSON::parse ("{\"cells\": [{\"x\": 0.5, \"y\": -0.25, \"mass\": 2, \"id\": " + juce::String (marker)
                              + ", \"color\": \"#A9D1FD\"}], \"fxControls\": [0,0,0,0,0,0,0,0,0,0,0,0.5]}");
}

//==============================================================================
TEST (SharedStoreOpen, FirstUseCreatesFolderReadsFreshAndBacksUpFromTheSecondWrite)
{
    TempFolder parent;
    const auto folder = parent.get().getChildFile ("nested").getChildFile ("Brivola");
    SharedStore store;
    EXPECT_FALSE (store.isReady());

    store.open (folder.getFullPathName());
    ASSERT_TRUE (store.isReady());
    EXPECT_TRUE (folder.isDirectory());

    const auto first = store.read();
    EXPECT_EQ (first.status, Status::fresh);
    EXPECT_FALSE (first.signature.exists);
    EXPECT_EQ (first.document.revision, 0);
    EXPECT_FALSE (folder.getChildFile (sharedDocumentFileName).exists()); // reading never writes

    ASSERT_EQ (store.addDiscovery ("heart|#FCDA6F", 100).status, Status::ok);
    const auto document = folder.getChildFile (sharedDocumentFileName);
    const auto backup = folder.getChildFile (sharedBackupFileName);
    EXPECT_TRUE (document.existsAsFile());
    EXPECT_FALSE (backup.exists());
    EXPECT_TRUE (folder.getChildFile (sharedLockFileName).existsAsFile());
    EXPECT_FALSE (folder.getChildFile (sharedTempFileName).exists());

    const auto firstText = document.loadFileAsString();
    EXPECT_EQ (firstText, sharedDocumentText (store.read().document));

    const auto second = store.addDiscovery ("spade|#FCDA6F", 200);
    EXPECT_EQ (second.status, Status::ok);
    EXPECT_EQ (second.revision, 2);
    ASSERT_TRUE (backup.existsAsFile());
    EXPECT_EQ (backup.loadFileAsString(), firstText);
    EXPECT_FALSE (folder.getChildFile (sharedBackupTempFileName).exists());

    const auto snapshot = store.read();
    EXPECT_EQ (snapshot.status, Status::ok);
    EXPECT_EQ (snapshot.document.revision, 2);
    EXPECT_EQ (snapshot.document.discovered.size(), 2u);
    EXPECT_TRUE (snapshot.signature.exists);
    EXPECT_EQ (snapshot.signature, store.documentSignature());
    EXPECT_EQ (snapshot.signature.size, document.getSize());
}

TEST (SharedStoreOpen, FolderThatCannotBeCreatedMakesEveryCallFail)
{
    TempFolder parent;
    const auto blocker = parent.get().getChildFile ("file");
    ASSERT_TRUE (blocker.replaceWithText ("not a folder"));

    SharedStore store;
    store.open (blocker.getChildFile ("Brivola").getFullPathName());
    EXPECT_FALSE (store.isReady());

    EXPECT_EQ (store.read().status, Status::failed);
    EXPECT_EQ (store.addDiscovery ("moon|#AFB5BE", 1).status, Status::failed);
    EXPECT_EQ (store.savePreset (0, smallPreset (1)).status, Status::failed);
    EXPECT_EQ (store.addStatsDelta (1.0, 0, 0, 0).status, Status::failed);

    // Argument checks still come first.
    EXPECT_EQ (store.savePreset (12, smallPreset (1)).status, Status::refused);
    EXPECT_EQ (store.addDiscovery ("moon|", 1).status, Status::refused);
    EXPECT_EQ (store.addStatsDelta (0.0, 0, 0, 0).status, Status::unchanged);

    int granted = -1, discoveries = -1;
    EXPECT_EQ (store.takeDailyQuota ("2026-03-09", 2, 10, granted, discoveries), 2);
    EXPECT_EQ (granted, 0);
    EXPECT_EQ (discoveries, 0);
}

TEST (SharedStoreOpen, DefaultFolderIsBrivolaInTheUserApplicationDataFolder)
{
    const auto folder = defaultSharedFolder();
    EXPECT_EQ (folder.getFileName(), "Brivola");
   #if JUCE_MAC
    EXPECT_EQ (folder.getParentDirectory().getFileName(), "Application Support");
    EXPECT_EQ (folder.getParentDirectory().getParentDirectory(),
               juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory));
   #else
    EXPECT_EQ (folder.getParentDirectory(), juce::File::getSpecialLocation (juce::File::userApplicationDataDirectory));
   #endif
}

//==============================================================================
TEST_F (SharedStoreTest, DocumentSizeLimitIsOneMebibyte)
{
    SharedData document;
    document.discovered["star|#A9D1FD"] = 5;
    const auto text = sharedDocumentText (document);

    for (const auto& [size, readable] : { std::pair { 1048576, true }, std::pair { 1048577, false } })
    {
        const auto padded = text + juce::String::repeatedString (" ", size - text.getNumBytesAsUTF8());
        testing::writeText (documentFile(), padded);
        ASSERT_EQ (documentFile().getSize(), size);

        const auto snapshot = store.read();
        EXPECT_EQ (snapshot.status, readable ? Status::ok : Status::reset) << size;
        EXPECT_EQ (snapshot.document.discovered.count ("star|#A9D1FD"), readable ? 1u : 0u) << size;
    }
}

TEST_F (SharedStoreTest, UnreadableDocumentFallsBackToTheBackupWithoutReset)
{
    ASSERT_EQ (store.addDiscovery ("bell|#A1F2BF", 10).status, Status::ok);
    ASSERT_EQ (store.addDiscovery ("leaf|#A1F2BF", 20).status, Status::ok); // backup = revision 1
    const auto backupText = backupFile().loadFileAsString();

    testing::writeText (documentFile(), "{\"version\": 2, \"revision\": 9, \"discovered\": {");

    const auto snapshot = store.read();
    EXPECT_EQ (snapshot.status, Status::ok);
    EXPECT_EQ (snapshot.document.revision, 1);
    EXPECT_EQ (snapshot.document.discovered.count ("bell|#A1F2BF"), 1u);
    EXPECT_EQ (snapshot.document.discovered.count ("leaf|#A1F2BF"), 0u);
    EXPECT_FALSE (store.wasReset());

    // The next write puts a good document in place and leaves the backup as it was.
    const auto written = store.addDiscovery ("gear|#A1F2BF", 30);
    EXPECT_EQ (written.status, Status::ok);
    EXPECT_EQ (written.revision, 2);
    EXPECT_EQ (backupFile().loadFileAsString(), backupText);
    EXPECT_EQ (documentOnDisk().discovered.size(), 2u);
    EXPECT_FALSE (store.wasReset());
}

TEST_F (SharedStoreTest, BothUnreadableResetsAndTheNextWriteStartsAtRevisionOne)
{
    SharedData old;
    old.revision = 40;
    writeDocument (old);
    testing::writeText (documentFile(), "{\"version\": 3}");
    testing::writeText (backupFile(), "garbage");

    const auto snapshot = store.read();
    EXPECT_EQ (snapshot.status, Status::reset);
    EXPECT_EQ (snapshot.document.revision, 0);
    EXPECT_TRUE (store.wasReset());
    EXPECT_EQ (documentFile().loadFileAsString(), "{\"version\": 3}"); // reading never writes

    // Even a change that changes nothing replaces the unreadable document.
    const auto written = store.update ([] (SharedData&) { return false; });
    EXPECT_EQ (written.status, Status::ok);
    EXPECT_EQ (written.revision, 1);
    EXPECT_EQ (documentOnDisk().revision, 1);
    EXPECT_EQ (backupFile().loadFileAsString(), "garbage"); // an unreadable document is never backed up

    EXPECT_EQ (store.read().status, Status::ok);
    EXPECT_TRUE (store.wasReset()); // never cleared
}

TEST_F (SharedStoreTest, UnreadableDocumentWithoutBackupIsAReset)
{
    testing::writeText (documentFile(), " ");
    EXPECT_EQ (store.read().status, Status::reset);

    SharedStore other;
    other.open (folder.path());
    EXPECT_FALSE (other.wasReset());
    testing::writeText (documentFile(), "{}");
    EXPECT_EQ (other.update ([] (SharedData& d) { d.stats.mergeCount = 3; return true; }).revision, 1);
    EXPECT_TRUE (other.wasReset());
}

TEST_F (SharedStoreTest, FolderInPlaceOfTheDocumentMakesTheSwapFail)
{
    ASSERT_TRUE (documentFile().createDirectory());

    EXPECT_EQ (store.read().status, Status::fresh); // a folder counts as a missing document

    const auto written = store.addDiscovery ("crown|#FDC58E", 5);
    EXPECT_EQ (written.status, Status::writeFailed);
    EXPECT_EQ (written.revision, 0);
    EXPECT_TRUE (documentFile().isDirectory());
    EXPECT_FALSE (backupFile().exists());

    // An earlier attempt's temp file is truncated by the next write.
    ASSERT_TRUE (documentFile().deleteRecursively());
    testing::writeText (folder.child (sharedTempFileName), juce::String::repeatedString ("#", 100000));
    ASSERT_EQ (store.addDiscovery ("crown|#FDC58E", 5).status, Status::ok);
    EXPECT_EQ (documentOnDisk().discovered.at ("crown|#FDC58E"), 5);
    EXPECT_EQ (documentFile().loadFileAsString(), sharedDocumentText (documentOnDisk())); // no leftover bytes
    EXPECT_FALSE (folder.child (sharedTempFileName).exists());
}

TEST_F (SharedStoreTest, LeftoverBackupTempIsReplaced)
{
    ASSERT_EQ (store.addDiscovery ("star|#FDB8C0", 1).status, Status::ok);
    const auto firstText = documentFile().loadFileAsString();
    testing::writeText (folder.child (sharedBackupTempFileName), "stale");

    ASSERT_EQ (store.addDiscovery ("star|#FCD9EC", 1).status, Status::ok);
    EXPECT_EQ (backupFile().loadFileAsString(), firstText);
    EXPECT_FALSE (folder.child (sharedBackupTempFileName).exists());
}

TEST_F (SharedStoreTest, RevisionAtItsMaximumRefusesEveryChange)
{
    SharedData full;
    full.revision = int64Max;
    full.uniqueQuota = { "2026-03-09", 1, 1 };
    writeDocument (full);
    const auto before = documentFile().loadFileAsString();

    EXPECT_EQ (store.addDiscovery ("moon|#AFB5BE", 1).status, Status::refused);
    EXPECT_EQ (store.savePreset (0, smallPreset (1)).status, Status::refused);
    EXPECT_EQ (store.clearPreset (0).status, Status::refused);
    EXPECT_EQ (store.addStatsDelta (1.0, 1, 1, 1).status, Status::refused);
    EXPECT_EQ (store.returnDailyQuota ("2026-03-09").status, Status::refused);
    EXPECT_EQ (store.update ([] (SharedData& d) { d.pipetteSeen.insert ("moon|#AFB5BE"); return true; }).status,
               Status::refused);

    int granted = -1, discoveries = -1;
    EXPECT_EQ (store.takeDailyQuota ("2026-03-09", 2, 10, granted, discoveries), 2);

    // A request that changes nothing is still unchanged, with the current revision.
    const auto unchanged = store.update ([] (SharedData&) { return false; });
    EXPECT_EQ (unchanged.status, Status::unchanged);
    EXPECT_EQ (unchanged.revision, int64Max);

    EXPECT_EQ (documentFile().loadFileAsString(), before);
    EXPECT_FALSE (backupFile().exists());
}

TEST_F (SharedStoreTest, ReadingAVersionOneDocumentAndWritingItBackGivesVersionTwo)
{
    testing::writeText (documentFile(), R"({"version": 1, "presets": [{"savedAt": 5, "data": {"a": 1}},
                                            {"savedAt": 9, "data": null}], "uniqueQuota": {"day": "d", "granted": 1}})");

    const auto snapshot = store.read();
    ASSERT_EQ (snapshot.status, Status::ok);
    EXPECT_EQ (snapshot.document.version, 1);
    EXPECT_EQ (snapshot.document.revision, 9);

    const auto written = store.addStatsDelta (0.5, 0, 0, 0);
    EXPECT_EQ (written.revision, 10);

    const auto text = documentFile().loadFileAsString();
    EXPECT_TRUE (text.contains ("\"version\": 2"));
    EXPECT_FALSE (text.contains ("savedAt"));

    const auto document = documentOnDisk();
    EXPECT_EQ (document.version, 2);
    EXPECT_EQ (document.presets[0].revision, 5);
    EXPECT_EQ (document.presets[1].revision, 9);
    EXPECT_EQ (document.uniqueQuota, (SharedData::DailyQuota { "d", 1, 1 }));
}

TEST_F (SharedStoreTest, UnknownKeysAreDroppedByTheNextWrite)
{
    testing::writeText (documentFile(), R"({"version": 2, "revision": 3, "future": [1, 2], "stats": {"mergeCount": 4}})");
    ASSERT_EQ (store.addStatsDelta (0.0, 1, 0, 0).status, Status::ok);

    const auto text = documentFile().loadFileAsString();
    EXPECT_FALSE (text.contains ("future"));
    EXPECT_EQ (documentOnDisk().stats.mergeCount, 5);
    EXPECT_EQ (documentOnDisk().revision, 4);
}

//==============================================================================
TEST_F (SharedStoreTest, DiscoveryKeepsTheEarliestTime)
{
    EXPECT_EQ (store.addDiscovery ("flower|#B8A1FB", 5000).status, Status::ok);

    const auto later = store.addDiscovery ("flower|#B8A1FB", 6000);
    EXPECT_EQ (later.status, Status::unchanged);
    EXPECT_EQ (later.revision, 1);

    const auto same = store.addDiscovery ("flower|#B8A1FB", 5000);
    EXPECT_EQ (same.status, Status::unchanged);

    const auto earlier = store.addDiscovery ("flower|#B8A1FB", 4000);
    EXPECT_EQ (earlier.status, Status::ok);
    EXPECT_EQ (earlier.revision, 2);
    EXPECT_EQ (documentOnDisk().discovered.at ("flower|#B8A1FB"), 4000);

    EXPECT_EQ (store.addDiscovery ("flower|#B8A1FB", 0).status, Status::ok);
}

TEST_F (SharedStoreTest, InvalidRequestsAreRefusedWithoutTouchingFiles)
{
    const juce::var tooLarge = juce::String::repeatedString ("x", 49152 - 1); // 49153 bytes with quotes
    const juce::var notJson = juce::var::undefined();
    juce::var tooDeep = juce::var (1);

    for (int i = 0; i < maxPresetDataDepth + 1; ++i)
    {
        juce::Array<juce::var> wrapper;
        wrapper.add (tooDeep);
        tooDeep = wrapper;
    }

    const struct
    {
        const char* what;
        std::function<Status()> call;
    } cases[] = {
        { "invalid key", [&] { return store.addDiscovery ("moon|#afb5be", 1).status; } },
        { "negative time", [&] { return store.addDiscovery ("moon|#AFB5BE", -1).status; } },
        { "slot 12", [&] { return store.savePreset (12, smallPreset (1)).status; } },
        { "slot -1", [&] { return store.savePreset (-1, smallPreset (1)).status; } },
        { "49153 bytes", [&] { return store.savePreset (0, tooLarge).status; } },
        { "undefined value", [&] { return store.savePreset (0, notJson).status; } },
        { "nested too deep", [&] { return store.savePreset (0, tooDeep).status; } },
        { "clear slot 12", [&] { return store.clearPreset (12).status; } },
        { "clear slot -1", [&] { return store.clearPreset (-1).status; } },
        { "NaN incubation", [&] { return store.addStatsDelta (std::nan (""), 1, 0, 0).status; } },
        { "infinite incubation", [&] { return store.addStatsDelta (std::numeric_limits<double>::infinity(), 0, 0, 0).status; } },
    };

    for (const auto& c : cases)
        EXPECT_EQ (c.call(), Status::refused) << c.what;

    EXPECT_FALSE (documentFile().exists());
    EXPECT_FALSE (folder.child (sharedTempFileName).exists());

    // One byte less fits.
    EXPECT_EQ (store.savePreset (0, juce::String::repeatedString ("x", 49150)).status, Status::ok);
}

TEST_F (SharedStoreTest, DocumentBeyondTheReadersBoundsIsNeverWritten)
{
    // Twelve presets of many small numbers each fit their own limit, but together pass the
    // document's token bound: the write that would make the document unreadable is refused.
    juce::Array<juce::var> numbers;

    for (int i = 0; i < 8000; ++i)
        numbers.add (i % 10);

    int slot = 0;

    for (; slot < 12; ++slot)
        if (store.savePreset (slot, numbers).status != Status::ok)
            break;

    EXPECT_LT (slot, 12);
    EXPECT_EQ (store.savePreset (slot, numbers).status, Status::refused);
    EXPECT_EQ (store.read().status, Status::ok);
    EXPECT_EQ (documentOnDisk().revision, slot);
}

TEST_F (SharedStoreTest, SaveAndClearStampTheSlotWithTheNewRevision)
{
    ASSERT_EQ (store.addDiscovery ("moon|#AFB5BE", 1).status, Status::ok);

    auto preset = smallPreset (7);
    const auto saved = store.savePreset (4, preset);
    ASSERT_EQ (saved.status, Status::ok);
    EXPECT_EQ (saved.revision, 2);
    EXPECT_EQ (saved.slotRevision, 2);
    EXPECT_EQ (juce::JSON::toString (saved.slotData), juce::JSON::toString (preset));

    // The store keeps its own copy: changing the caller's value later changes nothing stored.
    preset.getDynamicObject()->setProperty ("cells", juce::var());
    EXPECT_TRUE (saved.slotData["cells"].isArray());

    auto document = documentOnDisk();
    EXPECT_EQ (document.presets[4].revision, 2);
    EXPECT_EQ (static_cast<int> (document.presets[4].data["cells"][0]["id"]), 7);

    // Clearing a never-used slot writes it as cleared.
    const auto cleared = store.clearPreset (9);
    ASSERT_EQ (cleared.status, Status::ok);
    EXPECT_EQ (cleared.slotRevision, 3);
    EXPECT_TRUE (cleared.slotData.isVoid());
    document = documentOnDisk();
    EXPECT_EQ (document.presets[9].revision, 3);
    EXPECT_TRUE (document.presets[9].data.isVoid());
    EXPECT_TRUE (documentFile().loadFileAsString().contains ("\"revision\": 3,\r\n      \"data\": null"));

    // Clearing an already cleared slot still writes.
    EXPECT_EQ (store.clearPreset (9).slotRevision, 4);
    EXPECT_EQ (documentOnDisk().presets[4].revision, 2);
}

TEST_F (SharedStoreTest, UpdateWithoutChangeWritesNothing)
{
    ASSERT_EQ (store.addStatsDelta (1.0, 0, 0, 0).status, Status::ok);
    const auto signature = store.documentSignature();
    int stampCalls = 0;

    const auto result = store.update ([] (SharedData&) { return false; },
                                      [&] (SharedData&, std::int64_t) { ++stampCalls; });
    EXPECT_EQ (result.status, Status::unchanged);
    EXPECT_EQ (result.revision, 1);
    EXPECT_EQ (stampCalls, 0);
    EXPECT_EQ (store.documentSignature(), signature);
    EXPECT_FALSE (backupFile().exists());

    // Seen species the way the processor adds them: a change only when a key is new.
    const auto addSeen = [] (const juce::StringArray& keys)
    {
        return [keys] (SharedData& document)
        {
            bool added = false;

            for (const auto& key : keys)
                added = document.pipetteSeen.insert (key).second || added;

            return added;
        };
    };

    EXPECT_EQ (store.update (addSeen ({ "moon|#AFB5BE", "star|#AFB5BE" })).status, Status::ok);
    EXPECT_EQ (store.update (addSeen ({ "star|#AFB5BE" })).status, Status::unchanged);
    EXPECT_EQ (documentOnDisk().pipetteSeen.size(), 2u);
}

TEST_F (SharedStoreTest, StatisticsAddWithSaturation)
{
    // Zeros: unchanged without taking the lock (it returns at once while another thread holds it).
    SharedFileLock holder (folder.child (sharedLockFileName).getFullPathName());
    std::promise<void> held, done;
    std::thread other ([&]
    {
        EXPECT_EQ (holder.acquire (0), SharedFileLock::acquired);
        held.set_value();
        done.get_future().wait();
        holder.release();
    });

    held.get_future().wait();
    EXPECT_EQ (store.addStatsDelta (0.0, 0, 0, 0).status, Status::unchanged);
    EXPECT_EQ (store.addStatsDelta (-0.0, 0, 0, 0).status, Status::unchanged);
    EXPECT_EQ (store.addStatsDelta (1.0, 0, 0, 0).status, Status::busy); // this one needs the lock
    done.set_value();
    other.join();
    EXPECT_FALSE (documentFile().exists());

    const struct
    {
        SharedData::Stats stored;
        double incubation;
        std::int64_t merges, splits, spawns;
        SharedData::Stats expected;
    } cases[] = {
        { { 1.5, 1, 2, 3 }, 2.0, 1, 1, 1, { 3.5, 2, 3, 4 } },
        { { 1.0, 5, 5, 5 }, -3.0, -6, -5, std::numeric_limits<std::int64_t>::min(), { 0.0, 0, 0, 0 } },
        { { 1.0e308, int64Max - 1, int64Max, 0 }, 1.0e308, 5, 1, int64Max, { maxStoredIncubationTime, int64Max, int64Max, int64Max } },
        { { maxStoredIncubationTime, 0, 0, 0 }, 1.0, 0, 0, 0, { maxStoredIncubationTime, 0, 0, 0 } },
        { { 0.0, 0, 0, 0 }, 0.0, 0, 0, 1, { 0.0, 0, 0, 1 } },
    };

    for (const auto& c : cases)
    {
        ASSERT_EQ (store.update ([&] (SharedData& d) { d.stats = c.stored; return true; }).status, Status::ok);
        EXPECT_EQ (store.addStatsDelta (c.incubation, c.merges, c.splits, c.spawns).status, Status::ok);
        EXPECT_EQ (documentOnDisk().stats, c.expected) << c.incubation;
    }
}

//==============================================================================
TEST_F (SharedStoreTest, DailyQuotaRestartsOnANewDayAndKeepsItsLimits)
{
    ASSERT_EQ (setQuota ("2026-03-09", 2, 10).status, Status::ok);

    int granted = -1, discoveries = -1;
    EXPECT_EQ (store.takeDailyQuota ("2026-03-10", 2, 10, granted, discoveries), 0);
    EXPECT_EQ (granted, 1);
    EXPECT_EQ (discoveries, 1);
    EXPECT_EQ (documentOnDisk().uniqueQuota, (SharedData::DailyQuota { "2026-03-10", 1, 1 }));

    const struct
    {
        int granted, discoveries;
        int expectedResult, expectedGranted, expectedDiscoveries;
    } cases[] = {
        { 0, 0, 0, 1, 1 },
        { 1, 9, 0, 2, 10 },
        { 2, 2, 1, 2, 2 },  // both births granted
        { 1, 10, 1, 1, 10 }, // the day's discoveries are used up
    };

    for (const auto& c : cases)
    {
        ASSERT_EQ (setQuota ("2026-03-10", c.granted, c.discoveries).status, Status::ok);
        const auto revision = documentOnDisk().revision;

        EXPECT_EQ (store.takeDailyQuota ("2026-03-10", 2, 10, granted, discoveries), c.expectedResult);
        EXPECT_EQ (granted, c.expectedGranted);
        EXPECT_EQ (discoveries, c.expectedDiscoveries);
        EXPECT_EQ (documentOnDisk().revision, revision + (c.expectedResult == 0 ? 1 : 0));
    }

    // A full quota on a new day: the restart alone is written and the quota is then taken.
    ASSERT_EQ (setQuota ("2026-03-10", 2, 10).status, Status::ok);
    EXPECT_EQ (store.takeDailyQuota ("2026-03-11", 0, 10, granted, discoveries), 1);
    EXPECT_EQ (documentOnDisk().uniqueQuota, (SharedData::DailyQuota { "2026-03-11", 0, 0 }));
}

TEST_F (SharedStoreTest, DailyDiscoveryKeepsUnusedBirthGrantsReserved)
{
    const struct
    {
        int granted, discoveries;
        int expectedResult, expectedDiscoveries;
    } cases[] = {
        { 0, 8, 1, 8 },  // 8 is not below 10 - 2
        { 0, 7, 0, 8 },
        { 1, 8, 0, 9 },
        { 2, 9, 0, 10 },
        { 2, 10, 1, 10 },
    };

    for (const auto& c : cases)
    {
        ASSERT_EQ (setQuota ("2026-03-09", c.granted, c.discoveries).status, Status::ok);
        const auto signature = store.documentSignature();

        int discoveries = -1;
        EXPECT_EQ (store.takeDailyDiscovery ("2026-03-09", 2, 10, discoveries), c.expectedResult) << c.discoveries;
        EXPECT_EQ (discoveries, c.expectedDiscoveries);
        EXPECT_EQ (documentOnDisk().uniqueQuota.discoveries, c.expectedDiscoveries);

        if (c.expectedResult == 1)
        {
            EXPECT_EQ (store.documentSignature(), signature); // nothing written
        }
    }

    ASSERT_EQ (setQuota ("2026-03-08", 2, 10).status, Status::ok);
    int discoveries = -1;
    EXPECT_EQ (store.takeDailyDiscovery ("2026-03-09", 2, 10, discoveries), 0);
    EXPECT_EQ (discoveries, 1);
}

TEST_F (SharedStoreTest, ReturningQuotaOnlyUndoesWhatTheDayTook)
{
    const struct
    {
        const char* storedDay;
        int granted, discoveries;
        bool quota; // returnDailyQuota, else returnDailyDiscovery
        Status expectedStatus;
        int expectedGranted, expectedDiscoveries;
    } cases[] = {
        { "2026-03-09", 1, 1, false, Status::unchanged, 1, 1 },
        { "2026-03-09", 1, 3, false, Status::ok, 1, 2 },
        { "2026-03-08", 1, 3, false, Status::unchanged, 1, 3 },
        { "2026-03-09", 2, 5, true, Status::ok, 1, 4 },
        { "2026-03-09", 0, 5, true, Status::unchanged, 0, 5 },
        { "2026-03-08", 2, 5, true, Status::unchanged, 2, 5 },
    };

    for (const auto& c : cases)
    {
        ASSERT_EQ (setQuota (c.storedDay, c.granted, c.discoveries).status, Status::ok);
        const auto result = c.quota ? store.returnDailyQuota ("2026-03-09") : store.returnDailyDiscovery ("2026-03-09");
        EXPECT_EQ (result.status, c.expectedStatus);
        EXPECT_EQ (documentOnDisk().uniqueQuota, (SharedData::DailyQuota { c.storedDay, c.expectedGranted, c.expectedDiscoveries }));
    }
}

//==============================================================================
TEST (StorageNoticeMapping, FollowsTheStatusOfEachCall)
{
    const struct
    {
        Status status;
        bool wasReset, pending;
        StorageNotice expected;
    } cases[] = {
        { Status::ok, false, false, StorageNotice::none },
        { Status::unchanged, false, true, StorageNotice::busy },
        { Status::fresh, true, true, StorageNotice::reset },
        { Status::reset, true, false, StorageNotice::reset },
        { Status::busy, true, false, StorageNotice::busy },
        { Status::failed, false, false, StorageNotice::busy },
        { Status::writeFailed, true, false, StorageNotice::busy },
        { Status::refused, true, false, StorageNotice::writeFailed },
        { static_cast<Status> (42), false, false, StorageNotice::writeFailed },
    };

    for (const auto& c : cases)
        EXPECT_EQ (storageNoticeAfter (c.status, c.wasReset, c.pending), c.expected) << static_cast<int> (c.status);

    EXPECT_EQ (storeCallOutcome (Status::busy), StoreCallOutcome::retry);
    EXPECT_EQ (storeCallOutcome (Status::refused), StoreCallOutcome::drop);
    EXPECT_EQ (storeCallOutcome (Status::fresh), StoreCallOutcome::done);
    EXPECT_EQ (storageNoticeText (StorageNotice::none), "");
    EXPECT_EQ (storageNoticeText (StorageNotice::busy), "Shared storage busy; retrying");
    EXPECT_EQ (storageNoticeText (StorageNotice::writeFailed), "Shared storage write failed");
    EXPECT_EQ (storageNoticeText (StorageNotice::reset), "Shared storage was unreadable and has been reset");
}

} // namespace
} // namespace brivola
