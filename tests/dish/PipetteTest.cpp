#include "DishTestSupport.h"
#include "dish/Pipette.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

using namespace brivola;
using namespace brivola::test;

TEST (PipettePalette, PlainColoursFirstThenSpeciesInOrder)
{
    SpeciesExchange x;
    markSpeciesDiscovered (x, 119);
    markSpeciesDiscovered (x, 3);
    markSpeciesDiscovered (x, 64);
    const PipettePalette p = pipettePalette (static_cast<std::uint8_t> (0b10000101), x);
    ASSERT_EQ (p.count, 6);
    const Species expected[] = { { -1, 0 }, { -1, 2 }, { -1, 7 }, { 0, 3 }, { 8, 0 }, { 14, 7 } };
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ (p.entries[static_cast<std::size_t> (k)], expected[k]) << k;

    EXPECT_EQ (pipettePalette (0, 0, 0).count, 0);
    EXPECT_EQ (pipettePalette (0xFF, ~0ull, ~0ull).count, 8 + 120) << "bits above 119 are not species";
}

TEST (PipettePalette, DrawPicksWithOneDishDraw)
{
    Dish d = makeDish();
    const PipettePalette p = pipettePalette (0, 0b1110, 0);
    std::uint32_t ref = d.rngState;
    const double u = mulberry32Next (ref);
    const auto s = drawPaletteSpecies (d, p);
    ASSERT_TRUE (s.has_value());
    EXPECT_EQ (speciesIndex (s->motif, s->colorIndex), 1 + std::min (static_cast<int> (3 * u), 2));
    EXPECT_EQ (d.rngState, ref);

    const std::uint32_t before = d.rngState;
    EXPECT_FALSE (drawPaletteSpecies (d, PipettePalette {}).has_value());
    EXPECT_EQ (d.rngState, before);
}

TEST (Reroll, ThreeSpeciesAreEachQueuedFourTimesInRandomOrder)
{
    const PipettePalette p = pipettePalette (0b1, 0b11, 0);
    std::mt19937 gen (42);
    auto pick = [&gen] (int n) { return std::uniform_int_distribution<int> (0, n - 1) (gen); };

    std::map<int, int> counts;
    bool orderVaries = false;
    RerollChoice first;
    for (int trial = 0; trial < 20; ++trial)
    {
        const RerollChoice c = chooseRerollSpecies (p, pick);
        ASSERT_EQ (c.count, 12);
        std::map<int, int> perTrial;
        for (const auto& s : c.species)
            ++perTrial[timbreIndex (s.motif, s.colorIndex)];
        ASSERT_EQ (perTrial.size(), 3u);
        for (const auto& [timbre, n] : perTrial)
            EXPECT_EQ (n, 4) << timbre;
        // Every block of three picks is one full round of the pool.
        for (int k = 0; k < 12; k += 3)
            EXPECT_NE (c.species[static_cast<std::size_t> (k)], c.species[static_cast<std::size_t> (k + 1)]);
        if (trial == 0)
            first = c;
        else if (c.species != first.species)
            orderVaries = true;
    }
    EXPECT_TRUE (orderVaries);

    EXPECT_EQ (chooseRerollSpecies (PipettePalette {}, pick).count, 0);
}

TEST (Reroll, OldCellsFadeAsTheNewcomersArrive)
{
    Dish d;
    seedDish (d);
    for (int t = 0; t < 300; ++t)
        dishStep (d);
    const auto seedSequence = d.arrivalQueue.seedSequence;
    const int before = static_cast<int> (countLiveCells (d));
    ASSERT_GT (before, 0);
    const auto counters = std::make_tuple (d.ticks, d.mergeCount, d.splitCount, d.spawnCount);

    const PipettePalette p = pipettePalette (0, 0b100000001, 0); // species 0 and 8
    int next = 0;
    ASSERT_TRUE (rerollDish (d, p, [&next] (int n) { return next++ % n; }));

    EXPECT_EQ (countLiveCells (d), 0u);
    const double now = dishNow (d);
    for (const auto& c : d.cells)
    {
        if (c.active)
        {
            EXPECT_EQ (c.dieAt, now + 150.0);
        }
    }
    const auto& q = d.arrivalQueue;
    EXPECT_EQ (q.count, 12);
    EXPECT_EQ (q.nextIndex, 0);
    EXPECT_EQ (q.dueAt, now + 150.0);
    EXPECT_EQ (q.interval, 62.5);
    EXPECT_TRUE (q.arrivalsCounted);
    EXPECT_EQ (q.seedSequence, seedSequence + 12);
    for (int k = 0; k < 12; ++k)
    {
        EXPECT_TRUE (q.entries[static_cast<std::size_t> (k)].launch);
        EXPECT_EQ (q.entries[static_cast<std::size_t> (k)].mass, 3.0);
        EXPECT_EQ (q.entries[static_cast<std::size_t> (k)].colour, 0);
    }
    EXPECT_EQ (std::make_tuple (d.ticks, d.mergeCount, d.splitCount, d.spawnCount), counters)
        << "reroll keeps the counters";

    // 150 ms later (9 ticks) the old cells are gone and the first newcomer is there.
    DishTickReport report;
    for (int t = 0; t < 9; ++t)
        report = dishStep (d);
    EXPECT_GE (report.removals, before);
    EXPECT_EQ (report.arrivals, 1);
    for (const auto& c : d.cells)
    {
        if (c.active)
        {
            EXPECT_FALSE (c.dying);
        }
    }
}

TEST (Reroll, EmptyPaletteChangesNothing)
{
    Dish d;
    seedDish (d);
    const auto live = countLiveCells (d);
    EXPECT_FALSE (rerollDish (d, PipettePalette {}, [] (int) { return 0; }));
    EXPECT_EQ (countLiveCells (d), live);
    EXPECT_EQ (d.arrivalQueue.count, 11);
}
