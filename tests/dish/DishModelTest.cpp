#include "DishTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numbers>
#include <set>
#include <vector>
#include <string>

using namespace brivola;
using namespace brivola::test;

namespace
{
constexpr std::uint32_t G = 0x9E3779B9u;

std::string speciesKey (int motif, int colour)
{
    return std::string (shapeName (motif)) + "|" + std::string (colorString (colour));
}

/** Live cells' slots in slot order. */
int liveCount (const Dish& d) { return static_cast<int> (countLiveCells (d)); }
} // namespace

//==============================================================================
TEST (SpeciesVocabulary, IndicesAndKeys)
{
    EXPECT_EQ (speciesKey (-1, 0), "normal|#A9D1FD");
    EXPECT_EQ (speciesKey (0, 4), "spade|#FCDA6F");
    EXPECT_EQ (speciesKey (14, 7), "moon|#AFB5BE");

    struct Row { int motif, colour, species, timbre; };
    for (const Row r : { Row { -1, 0, -1, 0 }, Row { -1, 7, -1, 7 }, Row { 0, 0, 0, 8 },
                         Row { 5, 6, 46, 54 }, Row { 14, 7, 119, 127 }, Row { 15, 3, -1, 3 } })
    {
        EXPECT_EQ (speciesIndex (r.motif, r.colour), r.species) << r.motif << "/" << r.colour;
        EXPECT_EQ (timbreIndex (r.motif, r.colour), r.timbre) << r.motif << "/" << r.colour;
    }

    Cell c;
    c.colorGroup = 3;
    c.colorVariant = 1;
    c.motif = 2;
    EXPECT_EQ (colorIndex (c), 7);
    EXPECT_EQ (speciesIndex (c), 23);
    EXPECT_EQ (timbreIndex (c), 31);

    EXPECT_EQ (motifFromName ("normal"), -1);
    EXPECT_EQ (motifFromName ("controller"), 12);
    EXPECT_FALSE (motifFromName ("Spade").has_value());
    EXPECT_EQ (colorFromString ("#FDC58E"), 5);
    EXPECT_FALSE (colorFromString ("#fdc58e").has_value());
}

//==============================================================================
TEST (ShuffleDeck, DealsEveryValueOncePerRoundReproducibly)
{
    std::uint32_t rng = 12345;
    ShuffleDeck<15> deck;
    deck.n = 15;
    std::vector<std::uint64_t> dealt;
    for (int round = 0; round < 4; ++round)
    {
        std::set<std::uint64_t> seen;
        for (int k = 0; k < 15; ++k)
        {
            const auto v = dealFromDeck (deck, rng);
            EXPECT_LT (v, 15u);
            seen.insert (v);
            dealt.push_back (v);
        }
        EXPECT_EQ (seen.size(), 15u) << "round " << round;
    }

    std::uint32_t rng2 = 12345;
    ShuffleDeck<15> deck2;
    deck2.n = 15;
    for (const auto v : dealt)
        EXPECT_EQ (dealFromDeck (deck2, rng2), v);
    EXPECT_EQ (rng, rng2);
}

TEST (ShuffleDeck, FirstRoundFollowsTheTopDownShuffle)
{
    // Independent reference: fill 0..3, swap item[v-1] with item[floor(v*u)] for v = 4..2, then
    // deal from the top.
    std::uint32_t ref = 77;
    std::uint64_t items[4] = { 0, 1, 2, 3 };
    for (int v = 4; v >= 2; --v)
    {
        const double u = mulberry32Next (ref);
        const int j = std::min (static_cast<int> (v * u), v - 1);
        std::swap (items[v - 1], items[j]);
    }

    std::uint32_t rng = 77;
    ShuffleDeck<4> deck;
    deck.n = 4;
    for (int k = 3; k >= 0; --k)
        EXPECT_EQ (dealFromDeck (deck, rng), items[k]);
    EXPECT_EQ (rng, ref) << "one round costs n - 1 draws";
}

TEST (ShuffleDeck, EmptyAndSingleDecksDrawNoRandomNumbers)
{
    std::uint32_t rng = 5;
    ShuffleDeck<4> empty;
    EXPECT_EQ (dealFromDeck (empty, rng), 0u);
    EXPECT_EQ (rng, 5u);

    ShuffleDeck<4> one;
    one.n = 1;
    EXPECT_EQ (dealFromDeck (one, rng), 0u);
    EXPECT_EQ (dealFromDeck (one, rng), 0u);
    EXPECT_EQ (rng, 5u);
}

TEST (ShuffleDeck, FirstEightSpawnsShowEachColourGroupTwice)
{
    Dish d = makeDish();
    int perGroup[4] = {};
    for (int k = 0; k < 8; ++k)
    {
        const int slot = spawnCell (d, false, std::nullopt, 0.0, 0.0, 3.0);
        ASSERT_NE (slot, noSlot);
        const int g = d.cells[static_cast<std::size_t> (slot)].colorGroup;
        ASSERT_GE (g, 0);
        ASSERT_LE (g, 3);
        ++perGroup[g];
        // No group is ever more than one deal ahead of another.
        const auto [lo, hi] = std::minmax_element (std::begin (perGroup), std::end (perGroup));
        EXPECT_LE (*hi - *lo, 1) << "after spawn " << k;
    }
    for (int g = 0; g < 4; ++g)
        EXPECT_EQ (perGroup[g], 2);
}

//==============================================================================
TEST (DishReset, ResetKeepsTheSpeciesRecordAndClearsEverythingElse)
{
    SpeciesExchange x;
    Dish d;
    d.exchange = &x;
    seedDish (d);
    for (int t = 0; t < 200; ++t)
        dishStep (d);
    slosh (d, 0.3, 0.1);
    setStirring (d, true);
    d.activity = 0.1;

    resetDish (d);
    EXPECT_EQ (d.exchange, &x);
    EXPECT_EQ (countLiveCells (d), 0u);
    for (const auto& c : d.cells)
    {
        EXPECT_FALSE (c.active);
        EXPECT_EQ (c.id, -1);
        EXPECT_EQ (c.mass, 1.0);
        EXPECT_EQ (c.flash, 1.0);
        EXPECT_EQ (c.dieAt, -1.0);
    }
    EXPECT_EQ (d.ticks, 0u);
    EXPECT_EQ (d.spawnCount, 0u);
    EXPECT_EQ (d.lastBirthAt, -1e9);
    EXPECT_EQ (d.rngState, 1u);
    EXPECT_EQ (d.activity, 0.75);
    EXPECT_EQ (d.discoveredGeneration, -1);
    EXPECT_EQ (d.colorGroupDeck.n, 0u);
    EXPECT_EQ (d.motifDeck.n, 0u);
    EXPECT_EQ (d.arrivalQueue.count, 0);
    EXPECT_EQ (d.arrivalQueue.interval, 62.5);
    EXPECT_FALSE (d.sloshActive);
    EXPECT_EQ (d.sloshVelocity.x, 0.0);
    EXPECT_FALSE (d.stirring);
}

//==============================================================================
TEST (DishSeeding, FounderIsLaunchedFromTheCentreAlongDirectionZero)
{
    Dish d;
    seedDish (d);
    ASSERT_EQ (liveCount (d), 1);
    const Cell& f = d.cells[0];
    EXPECT_TRUE (f.founder);
    EXPECT_FALSE (f.founderSplitDone);
    EXPECT_EQ (f.founderSince, -1.0);
    EXPECT_EQ (f.id, 0);
    EXPECT_EQ (f.mass, 3.0);
    EXPECT_EQ (f.x, 0.0);
    EXPECT_EQ (f.y, 0.0);
    EXPECT_TRUE (f.launched);
    EXPECT_DOUBLE_EQ (f.vx, 0.00067);
    EXPECT_DOUBLE_EQ (f.vy, 0.0);
    EXPECT_EQ (d.launchCounter, 1);
    EXPECT_EQ (d.spawnCount, 1u);
    EXPECT_EQ (d.colorGroupDeck.n, 4u);
    EXPECT_EQ (d.motifDeck.n, 15u);
    for (const auto& deck : d.colorVariantDecks)
        EXPECT_EQ (deck.n, 2u);
}

TEST (DishSeeding, ElevenArrivalsFollowTheSunflowerRule)
{
    Dish d;
    seedDish (d);
    const auto& q = d.arrivalQueue;
    ASSERT_EQ (q.count, 11);
    EXPECT_EQ (q.nextIndex, 0);
    EXPECT_EQ (q.dueAt, 62.5);
    EXPECT_EQ (q.interval, 62.5);
    EXPECT_TRUE (q.arrivalsCounted);
    EXPECT_EQ (q.seedSequence, 11);

    for (int s = 0; s < 11; ++s)
    {
        const PendingCell& e = q.entries[static_cast<std::size_t> (s)];
        const double rho = std::sqrt (((s % 12) + 0.5) / 12.0) * 0.8;
        const double j = (hash01 (static_cast<std::uint32_t> (s) ^ G) - 0.5) * 0.06 + 1.0;
        const double theta = s * 2.399963229728653;
        EXPECT_NEAR (e.x, j * rho * std::cos (theta), 1e-15) << s;
        EXPECT_NEAR (e.y, j * rho * std::sin (theta), 1e-15) << s;
        EXPECT_EQ (e.motif, -1);
        EXPECT_EQ (e.colour, -1);
        EXPECT_EQ (e.mass, 3.0);
        EXPECT_EQ (e.id, -1);
        EXPECT_TRUE (e.launch);
    }
}

TEST (DishSeeding, TwelveCellsAfterElevenIntervals)
{
    Dish d;
    seedDish (d);
    int arrived = 0;
    // 11 × 62.5 ms = 687.5 ms is reached at tick 42 (700 ms); nothing merges before 800 ms.
    for (int t = 0; t < 42; ++t)
        arrived += dishStep (d).arrivals;
    EXPECT_EQ (arrived, 11);
    EXPECT_EQ (d.arrivalQueue.nextIndex, 11);
    EXPECT_EQ (d.arrivalQueue.arrivals, 11);
    EXPECT_EQ (d.mergeCount, 0u);
    EXPECT_EQ (liveCount (d), 12 + static_cast<int> (d.splitCount));

    std::set<int> ids;
    for (const auto& c : d.cells)
        if (c.active)
        {
            EXPECT_TRUE (c.launched || c.splitBorn);
            ids.insert (c.id);
        }
    EXPECT_EQ (static_cast<int> (ids.size()), liveCount (d));

    // Before the last interval one arrival is still queued.
    Dish e;
    seedDish (e);
    for (int t = 0; t < 41; ++t)
        dishStep (e);
    EXPECT_EQ (e.arrivalQueue.nextIndex, 10);
}

//==============================================================================
TEST (CellIds, PlaceCellMovesNextIdOnlyForwards)
{
    struct Case { std::int32_t nextId, id, expectedNext; };
    for (const Case c : { Case { 10, 500, 501 }, Case { 10, 3, 10 }, Case { 10, 10, 11 },
                          Case { 10, 0xFFFFFF, 0 }, Case { 0xFFFFFF, 0xFFFFFF, 0 } })
    {
        Dish d = makeDish();
        d.nextId = c.nextId;
        const int slot = placeCell (d, -1, 0, c.id, 0.0, 0.0, 3.0);
        ASSERT_NE (slot, noSlot);
        EXPECT_EQ (d.cells[static_cast<std::size_t> (slot)].id, c.id);
        EXPECT_EQ (d.nextId, c.expectedNext) << "nextId " << c.nextId << ", id " << c.id;
    }
}

TEST (CellIds, AllocationSkipsActiveDyingAndQueuedIds)
{
    Dish d = makeDish();
    placeCell (d, -1, 0, 0, 0.0, 0.0, 3.0);       // active
    placeCell (d, -1, 0, 1, 0.0, 0.0, 3.0);       // becomes dying
    d.cells[1].dying = true;
    auto& q = d.arrivalQueue;
    q.count = 3;
    q.nextIndex = 1;
    q.entries[0].id = 3;                          // already placed: no longer reserved
    q.entries[1].id = 2;                          // waiting: reserved
    q.entries[2].id = -1;
    d.nextId = 0;

    EXPECT_TRUE (idInUse (d, 0));
    EXPECT_TRUE (idInUse (d, 1));
    EXPECT_TRUE (idInUse (d, 2));
    EXPECT_FALSE (idInUse (d, 3));
    EXPECT_FALSE (idInUse (d, -1)) << "an entry without id reserves nothing";

    EXPECT_EQ (allocateCellId (d), 3);
    EXPECT_EQ (d.nextId, 4);
}

TEST (CellIds, TheFortyNinthCandidateIsStillTried)
{
    // 24 cells and 24 queued arrivals reserve 48 ids in a row: the 49th candidate is free.
    Dish d = makeDish();
    const std::int32_t base = 0xFFFFFF - 20; // and the run wraps through 0
    auto idAt = [&] (int k) { return static_cast<std::int32_t> ((base + k) % 0x1000000); };
    for (int k = 0; k < 24; ++k)
        placeCell (d, -1, 0, idAt (k), 0.0, 0.0, 3.0);
    auto& q = d.arrivalQueue;
    q.count = 24;
    q.nextIndex = 0;
    for (int k = 0; k < 24; ++k)
        q.entries[static_cast<std::size_t> (k)].id = idAt (24 + k);

    d.nextId = base;
    EXPECT_EQ (allocateCellId (d), idAt (48));
    EXPECT_EQ (d.nextId, idAt (49));
}

TEST (CellIds, AllocationWrapsAfterTheLastId)
{
    Dish d = makeDish();
    d.nextId = 0xFFFFFF;
    EXPECT_EQ (allocateCellId (d), 0xFFFFFF);
    EXPECT_EQ (d.nextId, 0);
    placeCell (d, -1, 0, 0, 0.0, 0.0, 3.0);
    EXPECT_EQ (d.nextId, 1);
    d.nextId = 0xFFFFFF;
    placeCell (d, -1, 0, 0xFFFFFF, 0.0, 0.0, 3.0);
    EXPECT_EQ (allocateCellId (d), 1) << "0xFFFFFF and 0 are taken";
}

TEST (CellIds, SameIdGivesTheSameLookAndCharges)
{
    Dish d = makeDish();
    const int a = placeCell (d, 3, 2, 4711, 0.1, 0.2, 5.0);
    const int b = placeCell (d, -1, 6, 4711, -0.3, 0.0, 3.0);
    const Cell& ca = d.cells[static_cast<std::size_t> (a)];
    const Cell& cb = d.cells[static_cast<std::size_t> (b)];
    EXPECT_EQ (ca.angle, cb.angle);
    EXPECT_EQ (ca.spin, cb.spin);
    EXPECT_EQ (ca.mergeCharge, cb.mergeCharge);
    EXPECT_EQ (ca.splitCharge, cb.splitCharge);

    const std::uint32_t id = 4711;
    EXPECT_DOUBLE_EQ (ca.angle, 2.0 * std::numbers::pi * hash01 ((4 * id) ^ (G + 1)));
    EXPECT_DOUBLE_EQ (ca.spin, (hash01 ((4 * id + 4) ^ G) - 0.5) * 0.02);
    EXPECT_DOUBLE_EQ (ca.mergeCharge, hash01 ((17 * id + 3) ^ G));
    EXPECT_DOUBLE_EQ (ca.splitCharge, hash01 ((17 * id + 5) ^ G));
    EXPECT_LE (std::abs (ca.spin), 0.01);
    EXPECT_EQ (ca.vx, 0.0) << "placed cells start at rest";
}

//==============================================================================
TEST (CellPlacement, PlaceCellTakesTheFirstFreeSlotAndLimitsTheMass)
{
    SpeciesExchange x;
    Dish d = makeDish (&x);
    placeCell (d, -1, 0, -1, 0.0, 0.0, 3.0);
    placeCell (d, -1, 0, -1, 0.0, 0.0, 3.0);
    d.cells[0] = Cell {};
    const int slot = placeCell (d, 7, 5, -1, 0.25, -0.5, 12.0);
    ASSERT_EQ (slot, 0);
    const Cell& c = d.cells[0];
    EXPECT_EQ (c.mass, 10.0);
    EXPECT_EQ (c.colorGroup, 2);
    EXPECT_EQ (c.colorVariant, 1);
    EXPECT_EQ (c.motif, 7);
    EXPECT_EQ (c.x, 0.25);
    EXPECT_EQ (c.y, -0.5);
    EXPECT_EQ (c.bornAt, dishNow (d));
    EXPECT_EQ (c.flash, 1.0);
    EXPECT_TRUE (testSpeciesBit (x.seenBits, 61));
    EXPECT_EQ (d.spawnCount, 3u);

    const int light = placeCell (d, -1, 1, -1, 0.0, 0.0, 0.5);
    EXPECT_EQ (d.cells[static_cast<std::size_t> (light)].mass, 0.5) << "no lower limit";
    int seen = 0;
    for (int s = 0; s < speciesCount; ++s)
        seen += testSpeciesBit (x.seenBits, s) ? 1 : 0;
    EXPECT_EQ (seen, 1) << "plain cells mark nothing seen";
}

TEST (CellPlacement, SpawnCellDrawsColourAndHashVelocity)
{
    Dish d = makeDish();
    const int slot = spawnCell (d, true, std::nullopt, 0.1, 0.1, 11.0);
    const Cell& c = d.cells[static_cast<std::size_t> (slot)];
    const auto id = static_cast<std::uint32_t> (c.id);
    EXPECT_DOUBLE_EQ (c.vx, (hash01 ((4 * id) ^ (G - 1)) - 0.5) * 0.02);
    EXPECT_DOUBLE_EQ (c.vy, (hash01 ((4 * id) ^ (G + 2)) - 0.5) * 0.02);
    EXPECT_EQ (c.mass, 10.0);
    EXPECT_TRUE (c.splitBorn);
    EXPECT_EQ (c.motif, -1);
}

TEST (CellPlacement, HandOverSpeciesReplacesTheDrawnColour)
{
    SpeciesExchange x;
    Dish d = makeDish (&x);
    Dish plain = d;
    const int slot = spawnCell (d, false, Species { 5, 6 }, 0.0, 0.0, 3.0);
    spawnCell (plain, false, std::nullopt, 0.0, 0.0, 3.0);

    const Cell& c = d.cells[static_cast<std::size_t> (slot)];
    EXPECT_EQ (c.colorGroup, 3);
    EXPECT_EQ (c.colorVariant, 0);
    EXPECT_EQ (c.motif, 5);
    EXPECT_TRUE (testSpeciesBit (x.seenBits, 46));
    EXPECT_EQ (d.rngState, plain.rngState) << "the deck draws still happen";
    EXPECT_EQ (d.colorGroupDeck.r, plain.colorGroupDeck.r);

    // A hand-over without a motif keeps the drawn colour and stays plain.
    SpeciesExchange y;
    Dish e = makeDish (&y);
    Dish f = e;
    const int s1 = spawnCell (e, false, Species { -1, 6 }, 0.0, 0.0, 3.0);
    const int s2 = spawnCell (f, false, std::nullopt, 0.0, 0.0, 3.0);
    EXPECT_EQ (colorIndex (e.cells[static_cast<std::size_t> (s1)]), colorIndex (f.cells[static_cast<std::size_t> (s2)]));
    EXPECT_EQ (e.cells[static_cast<std::size_t> (s1)].motif, -1);
    EXPECT_EQ (y.seenBits[0].load(), 0u);
    EXPECT_EQ (y.seenBits[1].load(), 0u);
}

TEST (CellPlacement, FullDishWithDyingCellsRefusesNewCells)
{
    Dish d = makeDish();
    for (int k = 0; k < 24; ++k)
        placeCell (d, -1, 0, -1, 0.0, 0.0, 3.0);
    for (int k = 0; k < 24; k += 3)
        d.cells[static_cast<std::size_t> (k)].dying = true;
    ASSERT_EQ (countLiveCells (d), 16u);

    const Dish before = d;
    EXPECT_EQ (spawnCell (d, false, std::nullopt, 0.0, 0.0, 3.0), noSlot);
    EXPECT_EQ (placeCell (d, 1, 1, -1, 0.0, 0.0, 3.0), noSlot);
    EXPECT_EQ (d.spawnCount, before.spawnCount);
    EXPECT_EQ (d.rngState, before.rngState);
    EXPECT_EQ (d.nextId, before.nextId);
}

TEST (CellPlacement, SpawnCountSaturates)
{
    Dish d = makeDish();
    d.spawnCount = 0x7FFFFFFFFFFFFFFEull;
    placeCell (d, -1, 0, -1, 0.0, 0.0, 3.0);
    placeCell (d, -1, 0, -1, 0.0, 0.0, 3.0);
    EXPECT_EQ (d.spawnCount, 0x7FFFFFFFFFFFFFFFull);
}

//==============================================================================
TEST (CellLifecycle, MarkAllDyingTwicePushesRemovalLater)
{
    Dish d = makeDish();
    placeCell (d, -1, 0, -1, 0.1, 0.0, 3.0);
    placeCell (d, -1, 0, -1, -0.1, 0.0, 3.0);
    d.activity = 0.0;

    markAllDying (d);
    const double first = dishNow (d) + 150.0;
    EXPECT_EQ (d.cells[0].dieAt, first);
    EXPECT_TRUE (d.cells[1].dying);
    EXPECT_EQ (countLiveCells (d), 0u);

    for (int t = 0; t < 3; ++t)
        dishStep (d);
    markAllDying (d);
    EXPECT_EQ (d.cells[0].dieAt, dishNow (d) + 150.0);
    EXPECT_GT (d.cells[0].dieAt, first);

    // Alive until the later time, removed in the first tick that reaches it.
    while (dishNow (d) + tickMilliseconds < d.cells[0].dieAt)
    {
        dishStep (d);
        ASSERT_TRUE (d.cells[0].active);
    }
    const auto report = dishStep (d);
    EXPECT_EQ (report.removals, 2);
    EXPECT_FALSE (d.cells[0].active);
    EXPECT_EQ (d.cells[0].id, -1);
}

TEST (CellLifecycle, LaunchVelocityPointsOutwardsOrAlongTheGoldenAngle)
{
    Dish d = makeDish();
    Cell far;
    far.x = -0.3;
    far.y = 0.4;
    launchCell (d, far);
    EXPECT_NEAR (far.vx, -0.3 / 0.5 * 0.00067, 1e-18);
    EXPECT_NEAR (far.vy, 0.4 / 0.5 * 0.00067, 1e-18);
    EXPECT_EQ (d.launchCounter, 0);

    Cell near;
    near.x = 0.01;
    d.launchCounter = 3;
    launchCell (d, near);
    EXPECT_NEAR (near.vx, 0.00067 * std::cos (3 * 2.399963229728653), 1e-18);
    EXPECT_NEAR (near.vy, 0.00067 * std::sin (3 * 2.399963229728653), 1e-18);
    EXPECT_EQ (d.launchCounter, 4);
    EXPECT_TRUE (near.launched);
}

TEST (SpeciesBits, SetClearAndDiscover)
{
    SpeciesExchange x;
    EXPECT_TRUE (setSpeciesBit (x.seenBits, 64));
    EXPECT_FALSE (setSpeciesBit (x.seenBits, 64));
    EXPECT_EQ (x.seenBits[1].load(), 1u);
    EXPECT_FALSE (setSpeciesBit (x.seenBits, 120)) << "out of range";
    EXPECT_FALSE (testSpeciesBit (x.seenBits, -1));
    EXPECT_TRUE (clearSpeciesBit (x.seenBits, 64));
    EXPECT_FALSE (clearSpeciesBit (x.seenBits, 64));

    EXPECT_TRUE (markSpeciesDiscovered (x, 119));
    EXPECT_FALSE (markSpeciesDiscovered (x, 119));
    EXPECT_EQ (x.generation.load(), 1);
    EXPECT_TRUE (testSpeciesBit (x.discoveredBits, 119));
}
