// Preset slots: save, clear, recall, audition and the store's answers.
#include "tests/collection/CollectionTestSupport.h"

#include <sys/stat.h>

#include <fcntl.h>

namespace brivola
{
namespace
{

using testing::changeDocument;
using testing::FakeHost;
using testing::readDocument;
using testing::TempStoreFolder;

class PresetSlotTest : public ::testing::Test
{
protected:
    PresetSlotTest()
    {
        collection.getStore().open (folder.path());
    }

    /** Three live cells and distinct parameter values. */
    void fillDish()
    {
        host.place (3, 5, 40, 0.25, -0.5, 4.0);
        host.place (-1, 2, 41, -0.1, 0.1, 2.0);
        host.place (14, 7, 42, 0.4, 0.3, 6.0);
        for (std::size_t i = 0; i < SoundParams::count; ++i)
            host.params[i] = 0.5 + 0.03 * static_cast<double> (i);
    }

    /** Puts a preset value straight into the document's slot and reads it into the collection. */
    void storeRaw (int slot, const juce::String& json)
    {
        changeDocument (folder.path(), [&] (SharedData& d)
        {
            d.presets[static_cast<std::size_t> (slot)].data = juce::JSON::parse (json);
            d.presets[static_cast<std::size_t> (slot)].revision = d.revision + 1;
        });
        ASSERT_TRUE (collection.refreshPresets());
    }

    std::vector<Cell> liveCells()
    {
        const juce::ScopedLock sl (host.lock);
        std::vector<Cell> out;
        for (const auto& c : host.dish.cells)
            if (isLive (c))
                out.push_back (c);
        return out;
    }

    TempStoreFolder folder;
    FakeHost host;
    Collection collection { host };
};

TEST_F (PresetSlotTest, AnEmptyDishIsNeverSaved)
{
    const auto revision = collection.getPresetsRevision();
    collection.savePresetSlot (0);
    EXPECT_FALSE (collection.hasPendingPresetWrite (0));
    EXPECT_EQ (collection.getPresetsRevision(), revision);
    EXPECT_FALSE (collection.getStore().getDocumentFile().exists());
}

TEST_F (PresetSlotTest, SaveStoresTheNormalisedSnapshotAndClearEmptiesTheSlot)
{
    fillDish();
    const auto revision = collection.getPresetsRevision();
    collection.savePresetSlot (4);

    const PresetSlotCopy slot = collection.getPresetSlot (4);
    ASSERT_TRUE (slot.value.isObject());
    EXPECT_GT (slot.revision, 0);
    EXPECT_EQ (collection.getPresetsRevision(), revision + 1);
    EXPECT_EQ (slot.value.getProperty ("cells", {}).size(), 3);
    EXPECT_DOUBLE_EQ (static_cast<double> (slot.value.getProperty ("fxControls", {})[11]), 0.5 + 0.33);

    const auto document = readDocument (folder.path());
    EXPECT_EQ (document.presets[4].revision, slot.revision);
    EXPECT_EQ (juce::JSON::toString (document.presets[4].data), juce::JSON::toString (slot.value));

    collection.clearPresetSlot (4);
    EXPECT_TRUE (collection.getPresetSlot (4).value.isVoid());
    EXPECT_GT (collection.getPresetSlot (4).revision, slot.revision);
    EXPECT_TRUE (readDocument (folder.path()).presets[4].data.isVoid());

    // Out-of-range slots are ignored.
    collection.savePresetSlot (12);
    collection.clearPresetSlot (-1);
    collection.recallPresetSlot (12);
    EXPECT_FALSE (collection.hasPendingPresetWrite (-1));
}

TEST_F (PresetSlotTest, RecallBringsBackTheCellsAndTheParameters)
{
    host.dish.activity = 0.0; // no splits to change the count
    fillDish();
    const auto saved = liveCells();
    const SoundParams savedParams = host.params;
    collection.savePresetSlot (1);

    // A different culture and different faders, and an automatic drop on its way.
    host.params = {};
    {
        const juce::ScopedLock sl (host.lock);
        markAllDying (host.dish);
    }
    host.runTicks (collection, 12);
    markSpeciesDiscovered (host.exchange, 3); // a palette to drop from
    collection.setPipetteMode (false);
    {
        const juce::ScopedLock sl (host.lock);
        ASSERT_EQ (collection.getAutoDropCountdown(), 30);
    }
    host.place (0, 0, 7, 0.0, 0.0, 3.0);

    collection.recallPresetSlot (1);
    for (std::size_t i = 0; i < SoundParams::count; ++i)
    {
        EXPECT_DOUBLE_EQ (host.params[i], savedParams[i]);
        EXPECT_EQ (host.notifications[i], 1);
    }
    EXPECT_EQ (host.rewrites, 1);
    {
        const juce::ScopedLock sl (host.lock);
        const auto& q = host.dish.arrivalQueue;
        EXPECT_EQ (q.count, 3);
        EXPECT_EQ (q.nextIndex, 0);
        EXPECT_DOUBLE_EQ (q.interval, 0.0);
        EXPECT_DOUBLE_EQ (q.dueAt, dishNow (host.dish) + 150.0);
        EXPECT_FALSE (q.arrivalsCounted);
        EXPECT_EQ (collection.getAutoDropCountdown(), -1);
        EXPECT_TRUE (host.dish.cells[0].dying);
    }

    // All saved cells appear in the tick that removes the old one.
    host.runTicks (collection, 8);
    EXPECT_EQ (liveCells().size(), 0u);
    EXPECT_TRUE (host.dish.cells[0].active);
    host.runTicks (collection, 2);
    const auto recalled = liveCells();
    ASSERT_EQ (recalled.size(), saved.size());
    for (std::size_t i = 0; i < saved.size(); ++i)
    {
        EXPECT_EQ (recalled[i].id, saved[i].id);
        EXPECT_EQ (recalled[i].motif, saved[i].motif);
        EXPECT_EQ (colorIndex (recalled[i]), colorIndex (saved[i]));
        EXPECT_DOUBLE_EQ (recalled[i].mass, saved[i].mass);
    }
    EXPECT_EQ (host.dish.arrivalQueue.arrivals, 0) << "recalled cells are not counted as arrivals";
}

TEST_F (PresetSlotTest, ElevenFxControlsRecallAsTwelveZeros)
{
    storeRaw (2, "{\"cells\":[{\"x\":0,\"y\":0,\"mass\":3}],\"fxControls\":[1,1,1,1,1,1,1,1,1,1,1]}");
    host.params.values.fill (0.7);
    collection.recallPresetSlot (2);
    for (std::size_t i = 0; i < SoundParams::count; ++i)
    {
        EXPECT_EQ (host.params[i], 0.0);
        EXPECT_EQ (host.notifications[i], 1);
    }
}

TEST_F (PresetSlotTest, ARepeatedIdIsReplacedByAFreshOneOnRecall)
{
    host.dish.activity = 0.0;
    storeRaw (3, "{\"cells\":[{\"x\":-0.3,\"y\":0,\"mass\":3,\"id\":9},{\"x\":0.3,\"y\":0,\"mass\":3,\"id\":9}]}");
    collection.recallPresetSlot (3);
    host.runTicks (collection, 10);
    const auto cells = liveCells();
    ASSERT_EQ (cells.size(), 2u);
    EXPECT_EQ (cells[0].id, 9);
    EXPECT_NE (cells[1].id, 9);
    EXPECT_GE (cells[1].id, 0);
}

TEST_F (PresetSlotTest, AVoidSlotRecallsNothing)
{
    host.place (-1, 0, -1, 0.0, 0.0);
    collection.recallPresetSlot (5);
    EXPECT_EQ (host.rewrites, 0);
    EXPECT_FALSE (host.dish.cells[0].dying);
}

TEST_F (PresetSlotTest, ABusyStoreKeepsTheOldSlotUntilARetrySucceeds)
{
    fillDish();
    collection.savePresetSlot (6);
    const auto old = collection.getPresetSlot (6);
    ASSERT_TRUE (old.value.isObject());

    host.place (9, 1, 77, -0.6, 0.0, 5.0);
    {
        testing::BusyStore busy (folder.path());
        collection.savePresetSlot (6);
        EXPECT_TRUE (collection.hasPendingPresetWrite (6));
        EXPECT_EQ (collection.getStorageNotice(), StorageNotice::busy);
        EXPECT_EQ (collection.getPresetSlot (6).revision, old.revision);

        collection.runTimerWork();
        EXPECT_TRUE (collection.hasPendingPresetWrite (6));
        EXPECT_EQ (collection.getPresetSlot (6).revision, old.revision);
    }
    const auto revision = collection.getPresetsRevision();

    collection.runTimerWork();
    EXPECT_FALSE (collection.hasPendingPresetWrite (6));
    EXPECT_GT (collection.getPresetSlot (6).revision, old.revision);
    EXPECT_EQ (collection.getPresetSlot (6).value.getProperty ("cells", {}).size(), 4);
    EXPECT_GT (collection.getPresetsRevision(), revision);
    EXPECT_EQ (collection.getStorageNotice(), StorageNotice::none);
    EXPECT_EQ (readDocument (folder.path()).presets[6].data.getProperty ("cells", {}).size(), 4);
}

TEST_F (PresetSlotTest, AnotherInstancesWriteArrivesWithTheNextRefreshOnly)
{
    storeRaw (0, "{\"cells\":[{\"x\":0.25,\"y\":0,\"mass\":3}]}");
    const auto revision = collection.getPresetsRevision();

    // The file changes behind the store's back while its signature stays the same: skipped.
    const auto file = collection.getStore().getDocumentFile();
    const auto firstX = [this]
    {
        return static_cast<double> (collection.getPresetSlot (0).value.getProperty ("cells", {}).getArray()->getFirst().getProperty ("x", {}));
    };
    struct stat before {};
    ASSERT_EQ (::stat (file.getFullPathName().toRawUTF8(), &before), 0);
    auto text = file.loadFileAsString();
    ASSERT_TRUE (text.contains ("0.25"));
    text = text.replace ("0.25", "0.75");
    {
        juce::FileOutputStream out (file);
        ASSERT_TRUE (out.openedOk());
        out.setPosition (0);
        out.truncate();
        out.writeText (text, false, false, nullptr);
    }
    const struct timespec times[2] = { before.st_atim, before.st_mtim };
    ASSERT_EQ (::utimensat (AT_FDCWD, file.getFullPathName().toRawUTF8(), times, 0), 0);

    ASSERT_DOUBLE_EQ (firstX(), 0.25);
    EXPECT_TRUE (collection.refreshPresets());
    EXPECT_DOUBLE_EQ (firstX(), 0.25);
    EXPECT_EQ (collection.getPresetsRevision(), revision);

    // A normal write moves the signature; then the new content is read.
    changeDocument (folder.path(), [] (SharedData&) {});
    EXPECT_TRUE (collection.refreshPresets());
    EXPECT_DOUBLE_EQ (firstX(), 0.75);
    EXPECT_GT (collection.getPresetsRevision(), revision);
}

TEST_F (PresetSlotTest, AnUnreadableDocumentShowsTheResetNotice)
{
    ASSERT_TRUE (collection.getStore().getDocumentFile().replaceWithText ("{ not json"));
    EXPECT_TRUE (collection.refreshPresets());
    EXPECT_EQ (collection.getStorageNotice(), StorageNotice::reset);
}

//==============================================================================
TEST_F (PresetSlotTest, PreviewBuildsARestingDishAndRequestsTheAudition)
{
    storeRaw (7, "{\"cells\":[{\"x\":-0.2,\"y\":0.1,\"mass\":4,\"id\":300,\"color\":\"#FCDA6F\",\"motif\":\"star\"},"
                 "{\"x\":0.3,\"y\":-0.1,\"mass\":2,\"id\":301,\"color\":\"#FDB8C0\"}],"
                 "\"fxControls\":[0.1,0.2,0.3,0.4,0.5,0.6,0.7,0.8,0.9,1,0,0.05]}");
    host.place (1, 1, 5, 0.0, 0.0);
    const Dish mainBefore = host.dish;
    const auto seenBefore = host.exchange.seenBits[0].load();

    collection.startPresetPreview (7, 64, 11);
    ASSERT_EQ (host.previewRequests, 1);
    EXPECT_EQ (host.requestedNote, 64);
    EXPECT_EQ (host.preview.requestedToken, 11);
    EXPECT_DOUBLE_EQ (host.requestedParams[0], 0.1);
    EXPECT_DOUBLE_EQ (host.requestedParams[11], 0.05);

    const Dish& p = host.previewDish;
    EXPECT_EQ (p.ticks, 1u);
    EXPECT_EQ (countLiveCells (p), 2u);
    EXPECT_EQ (p.cells[0].id, 300);
    EXPECT_EQ (p.cells[0].motif, 6);
    EXPECT_EQ (colorIndex (p.cells[0]), 4);
    EXPECT_EQ (p.cells[1].id, 301);
    EXPECT_EQ (p.cells[1].motif, -1);
    EXPECT_DOUBLE_EQ (p.activity, 0.0);
    EXPECT_EQ (p.exchange, nullptr);
    EXPECT_NEAR (p.cells[0].x, -0.2, 1e-9) << "a resting dish: no jitter";

    // The running dish and its species record are untouched.
    EXPECT_EQ (host.dish.ticks, mainBefore.ticks);
    EXPECT_EQ (host.dish.rngState, mainBefore.rngState);
    EXPECT_EQ (host.exchange.seenBits[0].load(), seenBefore);
}

TEST_F (PresetSlotTest, PreviewNeedsAPreparedProcessorAPositiveTokenANoteAndAPreset)
{
    storeRaw (8, "{\"cells\":[{\"x\":0,\"y\":0,\"mass\":3}]}");
    collection.startPresetPreview (8, 60, 0);
    collection.startPresetPreview (8, 128, 1);
    collection.startPresetPreview (8, -1, 1);
    collection.startPresetPreview (9, 60, 1); // empty slot
    collection.startPresetPreview (12, 60, 1);
    host.prepared = false;
    collection.startPresetPreview (8, 60, 1);
    EXPECT_EQ (host.previewRequests, 0);

    host.prepared = true;
    collection.startPresetPreview (8, 60, 1);
    EXPECT_EQ (host.previewRequests, 1);
}

TEST_F (PresetSlotTest, StopActsOnlyOnTheMatchingToken)
{
    host.preview = { true, 5, true, 4 };

    collection.stopPresetPreview (6);
    collection.stopPresetPreview (0);
    EXPECT_FALSE (host.releaseAtOnce);
    EXPECT_EQ (host.playingReleases, 0);

    collection.stopPresetPreview (5);
    EXPECT_TRUE (host.releaseAtOnce);
    EXPECT_EQ (host.playingReleases, 0);

    collection.stopPresetPreview (4);
    EXPECT_EQ (host.playingReleases, 1);

    // A token of a finished preview names nothing.
    host.preview = { false, 0, false, 0 };
    host.releaseAtOnce = false;
    collection.stopPresetPreview (0);
    EXPECT_FALSE (host.releaseAtOnce);
    EXPECT_EQ (host.playingReleases, 1);
}

} // namespace
} // namespace brivola
