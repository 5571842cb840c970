// Discoveries: seen species and plain colours reach the store, and births and proposals become
// grants under the daily quota.
#include "tests/collection/CollectionTestSupport.h"

#include "dish/Random.h"

#include <cmath>

namespace brivola
{
namespace
{

using testing::changeDocument;
using testing::FakeHost;
using testing::keyOf;
using testing::readDocument;
using testing::TempStoreFolder;

class DiscoveryTest : public ::testing::Test
{
protected:
    DiscoveryTest()
    {
        collection.getStore().open (folder.path());
    }

    void setQuota (const juce::String& day, int granted, int discoveries)
    {
        changeDocument (folder.path(), [&] (SharedData& d) { d.uniqueQuota = { day, granted, discoveries }; });
    }

    SharedData::DailyQuota quota() const { return readDocument (folder.path()).uniqueQuota; }

    bool armed() { return host.exchange.grantArmed.load() != 0; }

    /** The species a birth grant picks from the dish's generator state, among `open` species. */
    static int birthPick (std::uint32_t rngState, const std::vector<int>& open)
    {
        const int n = static_cast<int> (open.size());
        const int index = std::min (static_cast<int> (std::floor (n * hash01 (rngState ^ 0x9E3779B9u))), n - 1);
        return open[static_cast<std::size_t> (index)];
    }

    TempStoreFolder folder;
    FakeHost host;
    Collection collection { host };
};

//==============================================================================
TEST_F (DiscoveryTest, NewLocalDateGrantsTheFirstBirthAfterAFullDay)
{
    setQuota ("2026-03-08", 2, 10);
    host.date = "2026-03-08";
    host.exchange.birthNoticed = 1;

    // Yesterday's quota is used up: the birth waits.
    EXPECT_TRUE (collection.arbitrateDiscoveries());
    EXPECT_FALSE (armed());
    EXPECT_EQ (host.exchange.birthNoticed.load(), 1);

    // The local date moves on; the document still holds the full counters of the old day.
    host.date = "2026-03-09";
    {
        const juce::ScopedLock sl (host.lock);
        host.dish.rngState = 0x1234567u;
    }
    EXPECT_TRUE (collection.arbitrateDiscoveries());
    ASSERT_TRUE (armed());
    EXPECT_EQ (host.exchange.grantKind, 1);
    EXPECT_EQ (host.exchange.birthNoticed.load(), 0);

    std::vector<int> open;
    for (int s = 0; s < speciesCount; ++s)
        open.push_back (s);
    const int picked = birthPick (0x1234567u, open);
    EXPECT_EQ (host.exchange.grantedSpecies, (Species { picked / 8, picked % 8 }));
    EXPECT_EQ (host.dish.rngState, 0x1234567u) << "the pick reads the generator without advancing it";

    const auto q = quota();
    EXPECT_EQ (q.day, "2026-03-09");
    EXPECT_EQ (q.granted, 1);
    EXPECT_EQ (q.discoveries, 1);
}

TEST_F (DiscoveryTest, BirthPickSkipsDiscoveredSpecies)
{
    // Species 0 … 59 are discovered: the pick runs over the other sixty.
    changeDocument (folder.path(), [] (SharedData& d)
    {
        for (int s = 0; s < 60; ++s)
            d.discovered[keyOf (s / 8, s % 8)] = 1;
    });
    host.exchange.birthNoticed = 1;

    EXPECT_TRUE (collection.arbitrateDiscoveries());
    ASSERT_TRUE (armed());
    std::vector<int> open;
    for (int s = 60; s < speciesCount; ++s)
        open.push_back (s);
    const int picked = birthPick (1u, open);
    EXPECT_EQ (host.exchange.grantedSpecies, (Species { picked / 8, picked % 8 }));
}

TEST_F (DiscoveryTest, TwoBirthGrantsStillLetAProposalThrough)
{
    setQuota ("2026-03-09", 2, 5);
    host.exchange.birthNoticed = 1;
    const int t = 37;
    host.exchange.proposal = 1 + t;

    EXPECT_TRUE (collection.arbitrateDiscoveries());
    ASSERT_TRUE (armed());
    EXPECT_EQ (host.exchange.grantKind, 2);
    EXPECT_EQ (host.exchange.grantedSpecies, (Species { t / 8, t % 8 }));
    EXPECT_EQ (host.exchange.proposal.load(), 0);
    EXPECT_EQ (host.exchange.birthNoticed.load(), 1) << "no birth grant is left today";

    const auto q = quota();
    EXPECT_EQ (q.granted, 2);
    EXPECT_EQ (q.discoveries, 6);
}

TEST_F (DiscoveryTest, TwoDiscoveriesStayReservedForBirths)
{
    setQuota ("2026-03-09", 0, 8);
    const auto revisionBefore = readDocument (folder.path()).revision;
    host.exchange.proposal = 1 + 50;

    EXPECT_TRUE (collection.arbitrateDiscoveries());
    EXPECT_FALSE (armed());
    EXPECT_EQ (host.exchange.proposal.load(), 0) << "a refused proposal is dropped";

    const auto document = readDocument (folder.path());
    EXPECT_EQ (document.uniqueQuota.discoveries, 8);
    EXPECT_EQ (document.revision, revisionBefore) << "nothing was written";
}

TEST_F (DiscoveryTest, AFullDiscoveryQuotaDropsProposalsWithoutReadingTheStore)
{
    setQuota ("2026-03-09", 2, 10);
    host.exchange.proposal = 1 + 3;
    EXPECT_TRUE (collection.arbitrateDiscoveries()); // reads the full counters, takes nothing
    EXPECT_EQ (collection.getDiscoveriesToday(), 10);

    // Known full: the next proposal is dropped at once, even while the store is busy.
    host.exchange.proposal = 1 + 4;
    testing::BusyStore busy (folder.path());
    EXPECT_TRUE (collection.arbitrateDiscoveries());
    EXPECT_EQ (host.exchange.proposal.load(), 0);
    EXPECT_FALSE (armed());
}

TEST_F (DiscoveryTest, AllSpeciesDiscoveredMakesABirthGrantNothing)
{
    changeDocument (folder.path(), [] (SharedData& d)
    {
        for (int s = 0; s < speciesCount; ++s)
            d.discovered[keyOf (s / 8, s % 8)] = 1;
    });
    const auto revisionBefore = readDocument (folder.path()).revision;
    host.exchange.birthNoticed = 1;

    EXPECT_TRUE (collection.arbitrateDiscoveries());
    EXPECT_FALSE (armed());
    EXPECT_EQ (host.exchange.birthNoticed.load(), 0);
    const auto document = readDocument (folder.path());
    EXPECT_EQ (document.revision, revisionBefore);
    EXPECT_EQ (document.uniqueQuota.granted, 0);
}

TEST_F (DiscoveryTest, AProposalDiscoveredMeanwhileIsArmedWithoutQuota)
{
    const int t = 90;
    // Another instance discovered the species; this one has not re-read the document yet.
    changeDocument (folder.path(), [&] (SharedData& d)
    {
        d.discovered[keyOf (t / 8, t % 8)] = 5;
        d.uniqueQuota = { "2026-03-09", 0, 8 };
    });
    ASSERT_FALSE (testSpeciesBit (host.exchange.discoveredBits, t));
    host.exchange.proposal = 1 + t;

    EXPECT_TRUE (collection.arbitrateDiscoveries());
    ASSERT_TRUE (armed());
    EXPECT_EQ (host.exchange.grantKind, 0);
    EXPECT_EQ (host.exchange.grantedSpecies, (Species { t / 8, t % 8 }));
    EXPECT_EQ (quota().discoveries, 8);
}

TEST_F (DiscoveryTest, NothingHappensWhileAGrantIsArmed)
{
    host.exchange.grantArmed = 1;
    host.exchange.birthNoticed = 1;
    host.exchange.proposal = 1 + 7;

    EXPECT_TRUE (collection.arbitrateDiscoveries());
    EXPECT_EQ (host.exchange.birthNoticed.load(), 1);
    EXPECT_EQ (host.exchange.proposal.load(), 8);
    EXPECT_FALSE (collection.getStore().getDocumentFile().exists());
}

TEST_F (DiscoveryTest, ABusyStoreKeepsTheProposalForTheNextSecond)
{
    host.exchange.proposal = 1 + 12;
    {
        testing::BusyStore busy (folder.path());
        EXPECT_FALSE (collection.arbitrateDiscoveries());
        EXPECT_EQ (collection.getStorageNotice(), StorageNotice::busy);
    }
    EXPECT_EQ (host.exchange.proposal.load(), 13);

    EXPECT_TRUE (collection.arbitrateDiscoveries());
    EXPECT_TRUE (armed());
    EXPECT_EQ (collection.getStorageNotice(), StorageNotice::none);
}

TEST_F (DiscoveryTest, TheDishUsesAnArmedGrantAtItsNextBirth)
{
    host.exchange.birthNoticed = 1;
    ASSERT_TRUE (collection.arbitrateDiscoveries());
    ASSERT_TRUE (armed());
    const Species granted = host.exchange.grantedSpecies;

    // A crowded dish with two touching cells about to merge: the product takes the grant.
    {
        const juce::ScopedLock sl (host.lock);
        Dish& d = host.dish;
        for (int i = 0; i < 12; ++i)
            placeCell (d, -1, i % 8, -1, 0.6 * std::cos (i * 0.5), 0.6 * std::sin (i * 0.5), 1.0);
        placeCell (d, -1, 0, -1, 0.0, 0.0, 4.0);
        placeCell (d, -1, 1, -1, 0.001, 0.0, 4.0);
        d.ticks = 1000;
        for (auto& c : d.cells)
        {
            c.bornAt = 0.0;
            c.mergeCharge = 0.999;
        }
    }
    const auto mergesBefore = host.dish.mergeCount + host.dish.splitCount;
    host.runTicks (collection, 1);
    ASSERT_GT (host.dish.mergeCount + host.dish.splitCount, mergesBefore);
    EXPECT_FALSE (armed());
    EXPECT_TRUE (testSpeciesBit (host.exchange.seenBits, speciesIndex (granted.motif, granted.colorIndex)));

    // The timer records the newcomer as discovered.
    EXPECT_TRUE (collection.recordSeenSpecies());
    EXPECT_EQ (readDocument (folder.path()).discovered.count (keyOf (granted.motif, granted.colorIndex)), 1u);
}

//==============================================================================
TEST_F (DiscoveryTest, SeenSpeciesBecomeDiscoveredForEveryone)
{
    host.place (4, 6, -1, 0.1, 0.1); // crown of colour 6: species 38
    host.place (0, 0, -1, -0.1, 0.1); // spade of colour 0: species 0
    setQuota ("2026-03-09", 2, 10);
    host.exchange.birthNoticed = 1;
    ASSERT_TRUE (collection.arbitrateDiscoveries()); // reads the day's counters, grants nothing
    ASSERT_EQ (collection.getGrantedToday(), 2);
    const auto generationBefore = host.exchange.generation.load();

    EXPECT_TRUE (collection.recordSeenSpecies());
    EXPECT_EQ (host.exchange.seenBits[0].load(), 0u);
    EXPECT_EQ (host.exchange.seenBits[1].load(), 0u);
    EXPECT_TRUE (testSpeciesBit (host.exchange.discoveredBits, 38));
    EXPECT_TRUE (testSpeciesBit (host.exchange.discoveredBits, 0));
    EXPECT_EQ (host.exchange.generation.load(), generationBefore + 2);
    EXPECT_EQ (collection.getGrantedToday(), -1) << "a recording forces a re-read of the counters";

    const auto document = readDocument (folder.path());
    ASSERT_EQ (document.discovered.count ("crown|#A1F2BF"), 1u);
    EXPECT_EQ (document.discovered.at ("crown|#A1F2BF"), host.nowMs);
    EXPECT_EQ (document.discovered.count ("spade|#A9D1FD"), 1u);
}

TEST_F (DiscoveryTest, PlainColoursOfTheDishViewAreRecorded)
{
    host.place (-1, 5, -1, 0.2, 0.0);
    host.place (-1, 2, -1, -0.2, 0.0);
    host.place (3, 7, -1, 0.0, 0.2); // a motif cell is not a plain colour

    EXPECT_TRUE (collection.recordPlainColours());
    EXPECT_EQ (collection.getPlainColorMask(), (1 << 5) | (1 << 2));
    const auto document = readDocument (folder.path());
    EXPECT_EQ (document.discovered.count ("normal|#FDC58E"), 1u);
    EXPECT_EQ (document.discovered.count ("normal|#FCD9EC"), 1u);
    EXPECT_EQ (document.discovered.size(), 2u);

    // The refresh rebuilds the mask from the document, and the palette offers both colours.
    EXPECT_TRUE (collection.refreshPresets (true));
    const auto pal = collection.palette();
    ASSERT_EQ (pal.count, 2);
    EXPECT_EQ (pal.entries[0], (Species { -1, 2 }));
    EXPECT_EQ (pal.entries[1], (Species { -1, 5 }));
}

TEST_F (DiscoveryTest, DiscoveriesOfTheDocumentReachThePipetteLists)
{
    changeDocument (folder.path(), [] (SharedData& d)
    {
        d.discovered["moon|#AFB5BE"] = 3;
        d.discovered["normal|#A9D1FD"] = 4;
        d.pipetteSeen.insert ("moon|#AFB5BE");
    });
    const auto revisionBefore = collection.getPipetteRevision();

    EXPECT_TRUE (collection.refreshPresets());
    EXPECT_EQ (collection.getPipetteRevision(), revisionBefore + 1);
    EXPECT_EQ (collection.getDiscoveredKeys(), juce::StringArray ({ "moon|#AFB5BE", "normal|#A9D1FD" }));
    EXPECT_EQ (collection.getPipetteSeenKeys(), juce::StringArray ({ "moon|#AFB5BE" }));
    EXPECT_TRUE (testSpeciesBit (host.exchange.discoveredBits, 14 * 8 + 7));
    EXPECT_EQ (collection.getPlainColorMask(), 1);

    // An unchanged document leaves the revision alone.
    EXPECT_TRUE (collection.refreshPresets (true));
    EXPECT_EQ (collection.getPipetteRevision(), revisionBefore + 1);
}

//==============================================================================
struct GrantReturnCase
{
    const char* name;
    bool birth;
    int expectedKind;
    int grantedAfter;
    int discoveriesAfter;
};

class GrantReturnTest : public DiscoveryTest, public ::testing::WithParamInterface<GrantReturnCase>
{
};

TEST_P (GrantReturnTest, AnArmedGrantGivesItsQuotaBackAtShutdown)
{
    const auto& c = GetParam();
    setQuota ("2026-03-09", 1, 4);
    if (c.birth)
        host.exchange.birthNoticed = 1;
    else
        host.exchange.proposal = 1 + 99;

    ASSERT_TRUE (collection.arbitrateDiscoveries());
    ASSERT_TRUE (armed());
    ASSERT_EQ (host.exchange.grantKind, c.expectedKind);
    EXPECT_EQ (quota().granted, c.grantedAfter);
    EXPECT_EQ (quota().discoveries, c.discoveriesAfter);

    collection.shutdown();
    EXPECT_FALSE (armed());
    EXPECT_EQ (quota().granted, 1);
    EXPECT_EQ (quota().discoveries, 4);
}

INSTANTIATE_TEST_SUITE_P (Kinds, GrantReturnTest,
                          ::testing::Values (GrantReturnCase { "birth", true, 1, 2, 5 },
                                             GrantReturnCase { "proposal", false, 2, 1, 5 }),
                          [] (const auto& info) { return std::string (info.param.name); });

TEST_F (DiscoveryTest, AUsedGrantIsNotReturned)
{
    setQuota ("2026-03-09", 0, 0);
    host.exchange.birthNoticed = 1;
    ASSERT_TRUE (collection.arbitrateDiscoveries());
    host.exchange.grantArmed = 0; // the dish took it

    collection.shutdown();
    EXPECT_EQ (quota().granted, 1);
    EXPECT_EQ (quota().discoveries, 1);
}

} // namespace
} // namespace brivola
