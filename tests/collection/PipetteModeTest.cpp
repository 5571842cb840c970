// The pipette: the automatic drop that reseeds an empty dish, auditions, drops and seen keys.
#include "tests/collection/CollectionTestSupport.h"

#include <cmath>
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

class PipetteModeTest : public ::testing::Test
{
protected:
    PipetteModeTest()
    {
        // A palette of three: plain colour 3, then species 9 and 100.
        changeDocument (folder.path(), [] (SharedData& d)
        {
            d.discovered[keyOf (-1, 3)] = 1;
            d.discovered[keyOf (1, 1)] = 2;
            d.discovered[keyOf (12, 4)] = 3;
        });
        collection.getStore().open (folder.path());
        EXPECT_TRUE (collection.refreshPresets());
        EXPECT_EQ (collection.palette().count, 3);
    }

    int countdown()
    {
        const juce::ScopedLock sl (host.lock);
        return collection.getAutoDropCountdown();
    }

    unsigned liveCells()
    {
        const juce::ScopedLock sl (host.lock);
        return countLiveCells (host.dish);
    }

    /** The palette entry one draw from the dish's generator picks. */
    Species expectedDraw()
    {
        std::uint32_t state = host.dish.rngState;
        const double u = mulberry32Next (state);
        const auto pal = collection.palette();
        const int index = std::min (static_cast<int> (std::floor (pal.count * u)), pal.count - 1);
        return pal.entries[static_cast<std::size_t> (index)];
    }

    TempStoreFolder folder;
    FakeHost host;
    Collection collection { host };
};

TEST_F (PipetteModeTest, ClosingOverAnEmptyDishDropsAPaletteSpecies30TicksLater)
{
    host.dish.rngState = 777u;
    const Species expected = expectedDraw();

    collection.setPipetteMode (true);
    EXPECT_EQ (countdown(), -1);
    collection.setPipetteMode (false);
    EXPECT_EQ (countdown(), 30);
    EXPECT_EQ (collection.getAutoDropSpecies(), expected);

    host.runTicks (collection, 29);
    EXPECT_EQ (liveCells(), 0u);
    host.runTicks (collection, 1);
    ASSERT_EQ (liveCells(), 1u);
    const Cell& cell = host.dish.cells[0];
    EXPECT_EQ (cell.motif, expected.motif);
    EXPECT_EQ (colorIndex (cell), expected.colorIndex);
    EXPECT_DOUBLE_EQ (cell.mass, 3.0);
    EXPECT_TRUE (cell.launched);
}

TEST_F (PipetteModeTest, OpeningThePipetteCancelsTheDrop)
{
    collection.setPipetteMode (false);
    ASSERT_EQ (countdown(), 30);
    host.runTicks (collection, 10);
    collection.setPipetteMode (true);
    EXPECT_EQ (countdown(), -1);
    host.runTicks (collection, 60);
    EXPECT_EQ (liveCells(), 0u);
}

TEST_F (PipetteModeTest, NothingIsScheduledOverALivingOrFillingDish)
{
    host.place (-1, 0, -1, 0.0, 0.0);
    collection.setPipetteMode (false);
    EXPECT_EQ (countdown(), -1);

    FakeHost queued;
    Collection other (queued);
    markSpeciesDiscovered (queued.exchange, 5); // a palette of one
    {
        const juce::ScopedLock sl (queued.lock);
        queued.dish.arrivalQueue.count = 1; // an arrival is still on its way
    }
    other.setPipetteMode (false);
    other.scheduleAutoDrop();
    const juce::ScopedLock sl (queued.lock);
    EXPECT_EQ (other.getAutoDropCountdown(), -1);
}

TEST_F (PipetteModeTest, TheTimerSchedulesADropForAnEmptiedDish)
{
    host.dish.rngState = 4242u;
    const Species expected = expectedDraw();

    collection.scheduleAutoDrop();
    EXPECT_EQ (countdown(), 30);
    EXPECT_EQ (collection.getAutoDropSpecies(), expected);

    // A countdown that is running is left alone by the next second.
    host.runTicks (collection, 5);
    collection.scheduleAutoDrop();
    EXPECT_EQ (countdown(), 25);

    host.runTicks (collection, 25);
    EXPECT_EQ (liveCells(), 1u);
    collection.scheduleAutoDrop();
    EXPECT_EQ (countdown(), 0) << "a live cell: nothing new is scheduled";
}

TEST_F (PipetteModeTest, AnOpenPipetteOrAnEmptyPaletteSchedulesNothing)
{
    collection.setPipetteMode (true);
    collection.scheduleAutoDrop();
    EXPECT_EQ (countdown(), -1);

    FakeHost bare;
    Collection empty (bare); // no discoveries: an empty palette
    empty.setPipetteMode (false);
    empty.scheduleAutoDrop();
    const juce::ScopedLock sl (bare.lock);
    EXPECT_EQ (empty.getAutoDropCountdown(), -1);
}

TEST_F (PipetteModeTest, TheDropWaitsForAClosedPipetteAndAnEmptyDish)
{
    collection.setPipetteMode (false);
    host.runTicks (collection, 20);
    host.place (-1, 1, -1, 0.3, 0.3); // something arrived meanwhile
    host.runTicks (collection, 10);
    EXPECT_EQ (liveCells(), 1u) << "no drop into a dish that is no longer empty";
}

//==============================================================================
struct AuditionCase
{
    const char* name;
    const char* shape;
    const char* colour;
    double pan;
    bool prepared;
    bool heard;
    Species species;
    double heardPan;
};

class PipetteAuditionTest : public ::testing::TestWithParam<AuditionCase>
{
};

TEST_P (PipetteAuditionTest, AuditionsOnlyKnownSpeciesAtAFinitePan)
{
    const auto& c = GetParam();
    FakeHost host;
    host.prepared = c.prepared;
    Collection collection (host);
    collection.previewPipette (c.shape, c.colour, c.pan);

    if (! c.heard)
    {
        EXPECT_TRUE (host.auditions.empty());
        return;
    }
    ASSERT_EQ (host.auditions.size(), 1u);
    EXPECT_EQ (host.auditions[0].species, c.species);
    EXPECT_DOUBLE_EQ (host.auditions[0].pan, c.heardPan);
}

INSTANTIATE_TEST_SUITE_P (
    Cases, PipetteAuditionTest,
    ::testing::Values (
        AuditionCase { "motif", "gear", "#A1F2BF", 0.25, true, true, { 5, 6 }, 0.25 },
        AuditionCase { "plain", "normal", "#B8A1FB", -0.5, true, true, { -1, 1 }, -0.5 },
        AuditionCase { "panLimited", "moon", "#A9D1FD", 7.0, true, true, { 14, 0 }, 1.0 },
        AuditionCase { "lowerCaseColour", "moon", "#a9d1fd", 0.0, true, false, {}, 0.0 },
        AuditionCase { "unknownShape", "blob", "#A9D1FD", 0.0, true, false, {}, 0.0 },
        AuditionCase { "nanPan", "moon", "#A9D1FD", std::numeric_limits<double>::quiet_NaN(), true, false, {}, 0.0 },
        AuditionCase { "unprepared", "moon", "#A9D1FD", 0.0, false, false, {}, 0.0 }),
    [] (const auto& info) { return std::string (info.param.name); });

TEST (PipetteDropTest, DropsTheSpeciesAtTheLimitedPositionAndPings)
{
    FakeHost host;
    Collection collection (host);
    collection.dropPipette ("heart", "#FDB8C0", 1.7, -0.2, 0.0, 0.0);
    ASSERT_EQ (countLiveCells (host.dish), 1u);
    const Cell& cell = host.dish.cells[0];
    EXPECT_EQ (cell.motif, 2);
    EXPECT_EQ (colorIndex (cell), 3);
    EXPECT_DOUBLE_EQ (cell.x, 1.0);
    EXPECT_DOUBLE_EQ (cell.y, -0.2);
    EXPECT_TRUE (testSpeciesBit (host.exchange.seenBits, 2 * 8 + 3));
    EXPECT_EQ (host.rewrites, 1);
    EXPECT_EQ (host.pings, 1);

    // Bad input: nothing happens.
    collection.dropPipette ("heart", "#FDB8C0", 0.0, 0.0, 0.0, std::numeric_limits<double>::infinity());
    collection.dropPipette ("hearts", "#FDB8C0", 0.0, 0.0, 0.0, 0.0);
    collection.dropPipette ("heart", "pink", 0.0, 0.0, 0.0, 0.0);
    EXPECT_EQ (countLiveCells (host.dish), 1u);
    EXPECT_EQ (host.rewrites, 1);
}

//==============================================================================
TEST (PipetteSeenTest, OnlyDiscoveredUnseenKeysAreStoredAndLongListsAreIgnored)
{
    TempStoreFolder folder;
    changeDocument (folder.path(), [] (SharedData& d)
    {
        d.discovered["moon|#AFB5BE"] = 1;
        d.discovered["star|#FCDA6F"] = 1;
        d.discovered["normal|#A9D1FD"] = 1;
        d.pipetteSeen.insert ("normal|#A9D1FD");
    });
    FakeHost host;
    Collection collection (host);
    collection.getStore().open (folder.path());
    ASSERT_TRUE (collection.refreshPresets());

    // 129 keys: ignored as a whole, although it names a discovered key.
    juce::StringArray tooMany;
    tooMany.add ("moon|#AFB5BE");
    while (tooMany.size() < 129)
        tooMany.add ("star|#FCDA6F");
    collection.markPipetteSeen (tooMany);
    EXPECT_TRUE (collection.getPendingPipetteSeen().isEmpty());
    EXPECT_EQ (readDocument (folder.path()).pipetteSeen.size(), 1u);

    // 128 keys with repeats, undiscovered, already seen and over-long keys.
    juce::StringArray keys { "moon|#AFB5BE", "moon|#AFB5BE", "heart|#FCDA6F", "normal|#A9D1FD",
                             "moon|#AFB5BE" + juce::String::repeatedString (" ", 120) };
    while (keys.size() < 128)
        keys.add ("moon|#AFB5BE");
    collection.markPipetteSeen (keys);
    EXPECT_TRUE (collection.getPendingPipetteSeen().isEmpty());
    const auto seen = readDocument (folder.path()).pipetteSeen;
    EXPECT_EQ (seen, (std::set<juce::String> { "moon|#AFB5BE", "normal|#A9D1FD" }));

    // The next refresh brings the stored key into the page's list.
    const auto revision = collection.getPipetteRevision();
    ASSERT_TRUE (collection.refreshPresets());
    EXPECT_GT (collection.getPipetteRevision(), revision);
    EXPECT_TRUE (collection.getPipetteSeenKeys().contains ("moon|#AFB5BE"));
}

} // namespace
} // namespace brivola
