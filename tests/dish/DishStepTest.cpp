#include "DishTestSupport.h"

#include <gtest/gtest.h>

#include <limits>
#include <set>
#include <string>

using namespace brivola;
using namespace brivola::test;

namespace
{
/** n old cells within a few pixels of each other (all touching), stirred to the full. */
void addCluster (Dish& d, int n, double mergeCharge)
{
    for (int k = 0; k < n; ++k)
    {
        const double a = 6.283185307179586 * k / n;
        Cell& c = addOldCell (d, 0.02 * std::cos (a), 0.02 * std::sin (a));
        c.mergeCharge = mergeCharge;
        c.stirEnergy = 1.0;
    }
}

int liveCount (const Dish& d) { return static_cast<int> (countLiveCells (d)); }

int firstActive (const Dish& d, int from = 0)
{
    for (int i = from; i < dishCapacity; ++i)
        if (d.cells[static_cast<std::size_t> (i)].active)
            return i;
    return noSlot;
}
} // namespace

//==============================================================================
TEST (DishRate, RateMultiplierFollowsActivityAndStirEnergy)
{
    struct Case { double a, e, rate; };
    for (const Case c : { Case { 0.75, 0.0, 0.75 }, Case { 0.75, 1.0, 3.0 }, Case { 0.75, 0.5, 1.875 },
                          Case { 0.0, 1.0, 0.0 }, Case { -0.1, 0.5, 0.0 }, Case { 0.3, 0.0, 0.3 } })
        EXPECT_DOUBLE_EQ (rateMultiplier (c.a, c.e), c.rate) << c.a << " " << c.e;
}

//==============================================================================
TEST (DishContacts, CellsAtTheSamePositionGetAKickAndNoNaN)
{
    Dish d = makeDish();
    d.activity = 0.0;
    addOldCell (d, 0.1, 0.0);
    addOldCell (d, 0.1, 0.0);

    dishStep (d);
    const Cell& a = d.cells[0];
    const Cell& b = d.cells[1];
    EXPECT_TRUE (a.vx != 0.0 || a.vy != 0.0) << "the first cell is kicked";
    EXPECT_LE (std::abs (a.vx), 0.0025);
    EXPECT_LE (std::abs (a.vy), 0.0025);
    EXPECT_EQ (b.vx, 0.0);
    EXPECT_EQ (b.vy, 0.0);

    for (int t = 0; t < 60; ++t)
        dishStep (d);
    for (const Cell& c : { a, b })
    {
        EXPECT_TRUE (std::isfinite (c.x) && std::isfinite (c.y) && std::isfinite (c.vx) && std::isfinite (c.vy));
        EXPECT_TRUE (std::isfinite (c.proximity));
    }
    EXPECT_GT (distance (a, b), 0.0);
}

TEST (DishContacts, ApproachingCellsArePushedApart)
{
    Dish d = makeDish();
    d.activity = 0.0;
    Cell& a = addOldCell (d, 0.0, 0.0);
    Cell& b = addOldCell (d, 0.1, 0.0);
    a.vx = 0.001;
    b.vx = -0.001;

    dishStep (d);
    // After integration: a at 0.002, b at 0.098 (12.96 px apart, touch limit 23.2 px), both
    // at ±0.000945; the push min((23.2 − 12.96) × 0.0003 + 0.0012, 0.003) = 0.003 separates them.
    EXPECT_NEAR (a.vx, 0.000945 - 0.003, 1e-12);
    EXPECT_NEAR (b.vx, -0.000945 + 0.003, 1e-12);
    EXPECT_EQ (d.mergeCount, 0u);
}

TEST (DishContacts, ProximityMeasuresTheGapToTheNearestLiveNeighbour)
{
    Dish d = makeDish();
    d.activity = 0.0;
    // Radii 14.5 px each; centres 36.5 px apart leave a gap of 7.5 px.
    Cell& a = addOldCell (d, 0.0, 0.0);
    Cell& b = addOldCell (d, 36.5 / 135.0, 0.0);
    Cell& far = addOldCell (d, -0.6, 0.0);
    Cell& dying = addOldCell (d, 0.0, 0.2);
    dying.dying = true;
    dying.dieAt = 1e12;

    dishStep (d);
    EXPECT_NEAR (a.proximity, 0.5, 1e-9);
    EXPECT_NEAR (b.proximity, 0.5, 1e-9);
    EXPECT_EQ (far.proximity, 0.0);
    EXPECT_EQ (dying.proximity, 0.0);

    b.x = 20.0 / 135.0; // overlapping: full proximity
    dishStep (d);
    EXPECT_EQ (a.proximity, 1.0);
}

TEST (DishContacts, WallBounceReflectsAndFlashes)
{
    Dish d = makeDish();
    d.activity = 0.0;
    Cell& c = addOldCell (d, 0.79, 0.0);
    c.vx = 0.02;
    c.flash = 0.0;

    dishStep (d);
    const double r = (134.0 - 14.5) / 150.0;
    EXPECT_DOUBLE_EQ (c.x, r);
    EXPECT_NEAR (c.vx, -0.0189, 1e-15);
    EXPECT_NEAR (d.lastBounceSpeed, 0.0189, 1e-15);
    EXPECT_EQ (c.flash, 1.0);

    // A slow bounce reflects without a flash.
    c.x = 0.79;
    c.vx = 0.01;
    dishStep (d);
    EXPECT_LT (c.vx, 0.0);
    EXPECT_DOUBLE_EQ (c.flash, 0.95);
}

TEST (DishContacts, NonFiniteMotionResetsTheCellToTheCentre)
{
    struct Case { double vx, vy, x; };
    for (const Case c : { Case { std::numeric_limits<double>::quiet_NaN(), 0.0, 0.3 },
                          Case { 0.0, 1e308, 0.3 },
                          Case { 0.0, 0.0, std::numeric_limits<double>::infinity() } })
    {
        Dish d = makeDish();
        Cell& bad = addOldCell (d, c.x, 0.0);
        bad.vx = c.vx;
        bad.vy = c.vy;
        Cell& fine = addOldCell (d, 0.0, 0.5);

        dishStep (d);
        EXPECT_EQ (bad.x, 0.0);
        EXPECT_EQ (bad.y, 0.0);
        EXPECT_EQ (bad.vx, 0.0);
        EXPECT_EQ (bad.vy, 0.0);
        EXPECT_NE (fine.y, 0.0);
        EXPECT_TRUE (std::isfinite (fine.proximity));
        EXPECT_EQ (bad.proximity, 0.0);
    }
}

//==============================================================================
TEST (DishTheme, ActivityFollowsTheSquareRootOfTheTheme)
{
    struct Case { double theme, activity; };
    for (const Case c : { Case { 1.0, 0.75 }, Case { 0.25, 0.375 }, Case { 0.0, 0.0 }, Case { 4.0, 0.75 }, Case { -1.0, 0.0 } })
        EXPECT_DOUBLE_EQ (activityForTheme (c.theme), c.activity) << c.theme;

    Dish d = makeDish();
    setDishTheme (d, 0.25);
    EXPECT_DOUBLE_EQ (d.activity, 0.375);
    setDishTheme (d, std::numeric_limits<double>::quiet_NaN());
    EXPECT_DOUBLE_EQ (d.activity, 0.375);
    setDishTheme (d, std::numeric_limits<double>::infinity());
    EXPECT_DOUBLE_EQ (d.activity, 0.375);
    EXPECT_EQ (limitThemeValue (1.5), 1.0);
}

TEST (DishTheme, DarkDishDampsWithoutJitter)
{
    Dish d = makeDish();
    setDishTheme (d, 0.0);
    Cell& c = addOldCell (d, 0.0, 0.0);
    c.vx = 0.001;
    c.vy = -0.0005;
    for (int t = 0; t < 5; ++t)
    {
        const double vx = c.vx;
        const double vy = c.vy;
        const double x = c.x;
        dishStep (d);
        EXPECT_EQ (c.vx, 0.945 * vx);
        EXPECT_EQ (c.vy, 0.945 * vy);
        EXPECT_EQ (c.x, x + vx + vx);
    }
}

TEST (DishTheme, ResultingVelocitiesEndInExactZerosWithoutSubnormals)
{
    Dish d = makeDish();
    setDishTheme (d, 0.0);
    addRing (d, 8, 0.4);
    for (int k = 0; k < 8; ++k)
    {
        d.cells[static_cast<std::size_t> (k)].vx = 0.004;
        d.cells[static_cast<std::size_t> (k)].vy = -0.003;
    }
    for (int t = 0; t < 20000; ++t)
    {
        dishStep (d);
        for (const auto& c : d.cells)
        {
            ASSERT_NE (std::fpclassify (c.vx), FP_SUBNORMAL) << "tick " << t;
            ASSERT_NE (std::fpclassify (c.vy), FP_SUBNORMAL) << "tick " << t;
        }
    }
    for (const auto& c : d.cells)
    {
        ASSERT_TRUE (c.active || c.id == -1);
        EXPECT_EQ (c.vx, 0.0);
        EXPECT_EQ (c.vy, 0.0);
        EXPECT_EQ (c.stirEnergy, 0.0);
        if (! c.active)
            continue;
        EXPECT_EQ (c.flash, 0.0);
    }
}

TEST (DishTheme, DarkDishNeverMergesOrSplitsEvenWhenStirred)
{
    // The same crowded, stirred dish merges and splits at full activity (control), and does
    // neither in the dark, while stirring still moves the cells.
    for (const double theme : { 1.0, 0.0 })
    {
        Dish d = makeDish();
        setDishTheme (d, theme);
        addCluster (d, 16, 0.9);
        for (auto& c : d.cells)
            c.splitCharge = 0.9;
        const double x0 = d.cells[3].x;

        setStirring (d, true);
        for (int t = 0; t < 600; ++t)
        {
            stirAt (d, 0.0, 0.0, 0.01 * ((t % 7) - 3), 0.01 * ((t % 5) - 2));
            dishStep (d);
        }

        if (theme > 0.0)
        {
            EXPECT_GT (d.mergeCount, 0u);
            EXPECT_GT (d.splitCount, 0u);
        }
        else
        {
            EXPECT_EQ (d.mergeCount, 0u);
            EXPECT_EQ (d.splitCount, 0u);
            EXPECT_EQ (liveCount (d), 16);
            EXPECT_NE (d.cells[3].x, x0) << "stirring moves cells in the dark";
        }
    }
}

//==============================================================================
TEST (DishMerges, MergeNeedsACrowdedDish)
{
    // Below ten live cells merging has probability 0; with two the attempt is not even made.
    struct Case { int cells; bool merges; };
    for (const Case c : { Case { 2, false }, Case { 3, false }, Case { 9, false }, Case { 10, true }, Case { 15, true } })
    {
        Dish d = makeDish();
        addCluster (d, c.cells, 0.999);
        std::uint64_t merges = 0;
        for (int t = 0; t < 5; ++t)
            merges += static_cast<std::uint64_t> (dishStep (d).merges);
        EXPECT_EQ (merges > 0, c.merges) << c.cells << " cells";
        EXPECT_EQ (d.mergeCount, merges);
        if (! c.merges)
        {
            for (const auto& cell : d.cells)
            {
                if (cell.active)
                {
                    EXPECT_EQ (cell.mergeCharge, 0.999) << "no charge accumulates with P = 0";
                }
            }
        }
    }
}

TEST (DishMerges, AtMostOneMergePerTick)
{
    Dish d = makeDish();
    addCluster (d, 20, 0.9999);
    const auto report = dishStep (d);
    EXPECT_EQ (report.merges, 1);
    EXPECT_EQ (d.mergeCount, 1u);
    EXPECT_EQ (liveCount (d), 19);
}

TEST (DishMerges, NewbornsDoNotMerge)
{
    Dish d = makeDish();
    addCluster (d, 15, 0.9999);
    for (auto& c : d.cells)
        if (c.active)
            c.bornAt = dishNow (d) + tickMilliseconds - 790.0; // 790 ms old at the next tick
    dishStep (d);
    EXPECT_EQ (d.mergeCount, 0u);
}

TEST (DishMerges, ProductTakesTheHeavierColourAndLosesEightPercent)
{
    struct Case { double massA, massB; int colourA, colourB, colour; double mass; };
    for (const Case c : { Case { 6.0, 7.0, 2, 5, 5, 10.0 }, Case { 4.0, 3.0, 1, 6, 1, 6.44 },
                          Case { 3.0, 3.0, 3, 4, 3, 5.52 } })
    {
        Dish d = makeDish();
        addOldCell (d, 0.1, 0.2, c.massA, c.colourA);
        addOldCell (d, 0.3, -0.2, c.massB, c.colourB);
        const auto spawns = d.spawnCount;

        mergeCells (d, 0, 1);
        ASSERT_EQ (liveCount (d), 1);
        const Cell& p = d.cells[static_cast<std::size_t> (firstActive (d))];
        EXPECT_NEAR (p.mass, c.mass, 1e-12);
        EXPECT_EQ (colorIndex (p), c.colour);
        EXPECT_EQ (p.motif, -1);
        EXPECT_NEAR (p.x, 0.2, 1e-15);
        EXPECT_NEAR (p.y, 0.0, 1e-15);
        EXPECT_EQ (p.bornAt, dishNow (d));
        EXPECT_FALSE (p.dying);
        EXPECT_EQ (d.mergeCount, 1u);
        EXPECT_EQ (d.spawnCount, spawns + 1);
        EXPECT_EQ (d.lastBirthAt, dishNow (d));
    }
}

//==============================================================================
TEST (DishSplits, MassTenSplitsWithinTwoTicksIntoTwoHalves)
{
    Dish d = makeDish();
    Cell& k = addOldCell (d, 0.0, 0.0, 10.0);
    k.vx = 0.0;

    int splitTick = -1;
    for (int t = 1; t <= 2 && splitTick < 0; ++t)
        if (dishStep (d).splits == 1)
            splitTick = t;
    ASSERT_GT (splitTick, 0);
    ASSERT_EQ (liveCount (d), 2);
    EXPECT_EQ (d.splitCount, 1u);
    EXPECT_EQ (d.lastBirthAt, dishNow (d));

    const Cell& parent = d.cells[0];
    const Cell& daughter = d.cells[1];
    EXPECT_EQ (parent.mass, 5.0);
    EXPECT_EQ (daughter.mass, 5.0);
    EXPECT_NEAR (distance (parent, daughter), 2.0 * 21.5 / 135.0, 1e-12);
    EXPECT_TRUE (parent.splitThisTick);
    EXPECT_TRUE (daughter.splitBorn);
    EXPECT_FALSE (parent.splitBorn);
    EXPECT_EQ (parent.motif, -1);
    // Parent gains 0.002 along the split direction, the daughter loses 0.004.
    const double hx = (parent.x - daughter.x) / distance (parent, daughter);
    const double hy = (parent.y - daughter.y) / distance (parent, daughter);
    EXPECT_NEAR (parent.vx - daughter.vx, 0.006 * hx, 1e-12);
    EXPECT_NEAR (parent.vy - daughter.vy, 0.006 * hy, 1e-12);
}

TEST (DishSplits, HalvesNeverGoBelowMassThree)
{
    Dish d = makeDish();
    Cell& k = addOldCell (d, 0.0, 0.0, 4.0);
    k.splitCharge = 0.99999;
    ASSERT_EQ (dishStep (d).splits, 1);
    EXPECT_EQ (d.cells[0].mass, 3.0);
    EXPECT_EQ (d.cells[1].mass, 3.0);
    EXPECT_NEAR (distance (d.cells[0], d.cells[1]), 2.0 * 14.5 / 135.0, 1e-12);
}

TEST (DishSplits, CoolDownHoldsEverySplitWithoutCharging)
{
    Dish d = makeDish();
    Cell& k = addOldCell (d, 0.0, 0.0, 10.0);
    d.lastBirthAt = dishNow (d);
    for (int t = 0; t < 8; ++t) // 133 ms
    {
        EXPECT_EQ (dishStep (d).splits, 0);
        EXPECT_EQ (k.splitCharge, 0.0);
    }
    int splits = 0;
    for (int t = 0; t < 3; ++t)
        splits += dishStep (d).splits;
    EXPECT_EQ (splits, 1);
}

TEST (DishSplits, SplitBornCellsWaitFourSeconds)
{
    Dish d = makeDish();
    Cell& k = addOldCell (d, 0.0, 0.0, 10.0);
    k.splitBorn = true;
    k.bornAt = dishNow (d) + tickMilliseconds - 3990.0;
    EXPECT_EQ (dishStep (d).splits, 0);
    EXPECT_EQ (k.splitCharge, 0.0);
}

TEST (DishSplits, SplitInADishFullOfDyingCellsStillCounts)
{
    SpeciesExchange x;
    Dish d = makeDish (&x);
    addOldCell (d, 0.0, 0.0, 10.0);
    for (int k = 1; k < 24; ++k)
    {
        Cell& c = addOldCell (d, 0.7 * std::cos (k * 0.27), 0.7 * std::sin (k * 0.27));
        c.dying = true;
        c.dieAt = 1e12;
    }
    x.grantedSpecies = Species { 2, 3 };
    x.grantArmed.store (1);

    int splits = 0;
    for (int t = 0; t < 2; ++t)
        splits += dishStep (d).splits;
    EXPECT_EQ (splits, 1);
    EXPECT_EQ (d.splitCount, 1u);
    EXPECT_EQ (d.cells[0].mass, 5.0);
    EXPECT_EQ (liveCount (d), 1);
    EXPECT_EQ (x.grantArmed.load(), 1) << "the grant waits for a birth that can take it";
}

TEST (DishSplits, FounderIsForcedToSplitAfterItsWait)
{
    // Twelve live cells keep the natural split rate tiny (0.0005 at mass 3), so only the
    // founder's forced rate can split anything within a few seconds.
    for (const double theme : { 1.0, 0.0 })
    {
        SpeciesExchange x;
        Dish d = makeDish (&x);
        setDishTheme (d, theme);
        addRing (d, 11);
        Cell& f = addOldCell (d, 0.0, 0.0);
        f.founder = true;
        f.bornAt = dishNow (d);

        int splitTick = -1;
        int firstForcedTick = -1;
        for (int t = 1; t <= 600 && splitTick < 0; ++t)
        {
            const auto report = dishStep (d);
            if (firstForcedTick < 0 && f.founderSince >= 0.0 && dishNow (d) - f.founderSince > 1800.0)
                firstForcedTick = t;
            if (report.splits == 1)
                splitTick = t;
        }

        if (theme > 0.0)
        {
            ASSERT_GT (firstForcedTick, 0);
            ASSERT_GT (splitTick, 0);
            EXPECT_GE (splitTick, firstForcedTick);
            EXPECT_LE (splitTick, firstForcedTick + 1) << "at least 0.6 of charge per tick";
            EXPECT_TRUE (f.founderSplitDone);
            EXPECT_EQ (f.mass, 3.0);
            EXPECT_EQ (d.mutationClock, 0.0) << "a forced split has no mutation";
            EXPECT_EQ (x.birthNoticed.load(), 0);
        }
        else
        {
            EXPECT_LT (splitTick, 0);
            EXPECT_FALSE (f.founderSplitDone);
        }
    }
}

//==============================================================================
TEST (DishArrivals, QueueDrainsAtItsIntervalAndConsumesEntriesThatFindNoSlot)
{
    Dish d = makeDish (nullptr, 0);
    for (int k = 0; k < 23; ++k)
        addOldCell (d, 0.7 * std::cos (k * 0.27), 0.7 * std::sin (k * 0.27));
    auto& q = d.arrivalQueue;
    q.count = 3;
    q.nextIndex = 0;
    q.interval = 0.0;
    q.dueAt = 2 * tickMilliseconds;
    q.arrivalsCounted = false;
    q.entries[0] = PendingCell { 4, 3, 0.1, 0.1, 6.0, 777, false };
    q.entries[1] = PendingCell { -1, 2, 0.2, 0.1, 3.0, -1, true };
    q.entries[2] = PendingCell { -1, -1, 0.3, 0.1, 3.0, -1, true };

    EXPECT_EQ (dishStep (d).arrivals, 0);
    const auto report = dishStep (d);
    EXPECT_EQ (report.arrivals, 1) << "one free slot: the other two entries are lost";
    EXPECT_EQ (q.nextIndex, 3);
    EXPECT_EQ (q.arrivals, 0) << "uncounted queue";
    const Cell& c = d.cells[23];
    EXPECT_EQ (c.id, 777);
    EXPECT_EQ (c.motif, 4);
    EXPECT_EQ (colorIndex (c), 3);
    EXPECT_EQ (c.mass, 6.0);
    EXPECT_FALSE (c.launched);
}

TEST (DishArrivals, TakeArrivalsReportsCountedArrivalsOnce)
{
    Dish d;
    seedDish (d);
    for (int t = 0; t < 10; ++t)
        dishStep (d);
    const int first = takeArrivals (d);
    EXPECT_EQ (first, 2); // due at 62.5 and 125 ms
    EXPECT_EQ (takeArrivals (d), 0);
}

//==============================================================================
TEST (DishGestures, StirAtLimitsTheMovementBeforeScaling)
{
    Dish d = makeDish();
    Cell& edge = addOldCell (d, 0.34, 0.0);  // f = (0.01 / 0.35)²
    Cell& centre = addOldCell (d, 0.0, 0.0); // f = 1
    Cell& outside = addOldCell (d, 0.0, 0.36);
    Cell& dying = addOldCell (d, 0.0, -0.05);
    dying.dying = true;

    stirAt (d, 0.0, 0.0, 5.0, 0.0);
    const double f = (0.01 / 0.35) * (0.01 / 0.35);
    EXPECT_NEAR (edge.vx, 3.0 * f, 1e-15) << "dx 5 is limited to 2, then scaled by 1.5";
    EXPECT_NEAR (edge.stirEnergy, 0.15 * f, 1e-15);
    EXPECT_NEAR (centre.vx, 0.015, 1e-15) << "velocity limited to 0.015";
    EXPECT_EQ (centre.stirEnergy, 0.15);
    EXPECT_EQ (outside.vx, 0.0);
    EXPECT_EQ (dying.vx, 0.0);

    stirAt (d, 0.0, 0.0, std::numeric_limits<double>::quiet_NaN(), 0.0);
    EXPECT_EQ (centre.stirEnergy, 0.15);

    // The stir point is limited to ±2 as well.
    Cell& corner = addOldCell (d, 2.0, 2.0);
    stirAt (d, 9.0, 9.0, 0.0, 0.001);
    EXPECT_NEAR (corner.vy, 0.0015, 1e-15);
}

TEST (DishGestures, StirringCapsTheSecondHalfOfTheStep)
{
    Dish d = makeDish();
    d.activity = 0.0;
    Cell& c = addOldCell (d, -0.5, 0.0);
    c.vx = 0.1;
    setStirring (d, true);
    dishStep (d);
    EXPECT_NEAR (c.x, -0.5 + 0.1 + 0.035, 1e-15);
    EXPECT_NEAR (c.vx, 0.945 * 0.035, 1e-15);
    setStirring (d, false);
    EXPECT_FALSE (d.stirring);
}

TEST (DishGestures, SloshMovesTheCultureAndSettles)
{
    Dish d = makeDish();
    d.activity = 0.0;
    addRing (d, 6, 0.3);
    const Dish before = d;

    slosh (d, 1.0, 0.0);
    EXPECT_TRUE (d.sloshActive);
    EXPECT_NEAR (d.sloshVelocity.x, -0.045, 1e-15) << "impulse limited to 0.045";
    EXPECT_EQ (d.sloshVelocity.y, 0.0);

    slosh (d, std::numeric_limits<double>::infinity(), 0.0);
    EXPECT_NEAR (d.sloshVelocity.x, -0.045, 1e-15);

    dishStep (d);
    EXPECT_LT (d.cells[0].x, before.cells[0].x) << "the culture lags behind the motion";
    EXPECT_GT (d.cells[0].stirEnergy, 0.0);

    int t = 0;
    while (d.sloshActive && t < 20000)
    {
        dishStep (d);
        ++t;
    }
    EXPECT_FALSE (d.sloshActive);
    EXPECT_EQ (d.sloshOffset.x, 0.0);
    EXPECT_EQ (d.sloshVelocity.x, 0.0);
    EXPECT_EQ (d.swirl, 0.0);
    for (const auto& c : d.cells)
    {
        if (c.active)
        {
            EXPECT_LE (std::hypot (c.x, c.y), wallLimit (c.mass) + 1e-12);
        }
    }
}

//==============================================================================
TEST (DishDrop, DropLaunchesTheNewCell)
{
    struct Case { double vx, vy, speed, dirX, dirY; };
    const Case cases[] = {
        { 0.0, 0.0, 0.00067, 0.6, 0.8 },      // outwards from (0.3, 0.4)
        { 10.0, 0.0, 0.00142, 1.0, 0.0 },
        { 100.0, 0.0, 0.00167, 1.0, 0.0 },    // limited
        { 0.0, -20.0, 0.00167, 0.0, -1.0 },
    };
    for (const Case& c : cases)
    {
        SpeciesExchange x;
        Dish d = makeDish (&x);
        const int slot = dropCell (d, 9, 4, 0.3, 0.4, c.vx, c.vy);
        ASSERT_NE (slot, noSlot);
        const Cell& cell = d.cells[static_cast<std::size_t> (slot)];
        EXPECT_NEAR (cell.vx, c.speed * c.dirX, 1e-15);
        EXPECT_NEAR (cell.vy, c.speed * c.dirY, 1e-15);
        EXPECT_TRUE (cell.launched);
        EXPECT_EQ (cell.mass, 3.0);
        EXPECT_EQ (cell.motif, 9);
        EXPECT_EQ (colorIndex (cell), 4);
        EXPECT_TRUE (testSpeciesBit (x.seenBits, 76));
    }
}

TEST (DishDrop, FullDishMergesTheClosestPairFirst)
{
    Dish d = makeDish();
    for (int k = 0; k < 24; ++k)
        addOldCell (d, 0.7 * std::cos (k * 0.26), 0.7 * std::sin (k * 0.26));
    d.cells[5].x = d.cells[17].x + 0.001;
    d.cells[5].y = d.cells[17].y;
    const int id5 = d.cells[5].id;
    const int id17 = d.cells[17].id;

    const int slot = dropCell (d, -1, 0, 0.0, 0.0, 0.0, 0.0);
    ASSERT_NE (slot, noSlot);
    EXPECT_EQ (d.mergeCount, 1u);
    EXPECT_EQ (liveCount (d), 24);
    for (const auto& c : d.cells)
    {
        EXPECT_NE (c.id, id5);
        EXPECT_NE (c.id, id17);
    }
}

TEST (DishDrop, DropFailsWhenNothingCanMakeRoom)
{
    // 24 live cells that all split this tick: no pair may merge.
    Dish full = makeDish();
    for (int k = 0; k < 24; ++k)
        addOldCell (full, 0.7 * std::cos (k * 0.26), 0.7 * std::sin (k * 0.26)).splitThisTick = true;
    EXPECT_EQ (dropCell (full, -1, 0, 0.0, 0.0, 0.0, 0.0), noSlot);
    EXPECT_EQ (full.mergeCount, 0u);

    // 24 active cells, some dying: no merge (fewer than 24 live), and no free slot.
    Dish crowded = makeDish();
    for (int k = 0; k < 24; ++k)
        addOldCell (crowded, 0.7 * std::cos (k * 0.26), 0.7 * std::sin (k * 0.26)).dying = (k % 4 == 0);
    EXPECT_EQ (dropCell (crowded, -1, 0, 0.0, 0.0, 0.0, 0.0), noSlot);
    EXPECT_EQ (crowded.mergeCount, 0u);

    Dish empty = makeDish();
    EXPECT_EQ (dropCell (empty, -1, 0, std::numeric_limits<double>::quiet_NaN(), 0.0, 0.0, 0.0), noSlot);
    EXPECT_EQ (liveCount (empty), 0);
}

//==============================================================================
class DishMutations : public ::testing::Test
{
protected:
    SpeciesExchange x;
    Dish d = makeDish (&x);

    /** Two old cells of the given colours; merges them and returns the product. */
    const Cell& mergePair (int colourA = 2, int colourB = 5)
    {
        for (auto& c : d.cells)
            c = Cell {};
        addOldCell (d, 0.1, 0.0, 4.0, colourA);
        addOldCell (d, -0.1, 0.0, 3.0, colourB);
        mergeCells (d, 0, 1);
        return d.cells[static_cast<std::size_t> (firstActive (d))];
    }

    void discoverAll()
    {
        for (int s = 0; s < speciesCount; ++s)
            markSpeciesDiscovered (x, s);
    }
};

TEST_F (DishMutations, MergeHandsOverAnArmedGrantAndNothingElse)
{
    x.grantedSpecies = Species { 5, 6 };
    x.grantArmed.store (1);
    const double clock = d.mutationClock;

    const Cell& p = mergePair();
    EXPECT_EQ (p.motif, 5);
    EXPECT_EQ (colorIndex (p), 6);
    EXPECT_EQ (x.grantArmed.load(), 0);
    EXPECT_TRUE (testSpeciesBit (x.seenBits, 46));
    EXPECT_EQ (x.birthNoticed.load(), 0);
    EXPECT_EQ (d.mutationClock, clock);

    // The next birth is an ordinary one.
    const Cell& q = mergePair();
    EXPECT_EQ (q.motif, -1);
    EXPECT_EQ (x.birthNoticed.load(), 1);
    EXPECT_DOUBLE_EQ (d.mutationClock, clock + 0.01);
}

TEST_F (DishMutations, SplitHandsTheGrantToTheDaughter)
{
    x.grantedSpecies = Species { 14, 1 };
    x.grantArmed.store (1);
    addOldCell (d, 0.0, 0.0, 10.0);
    dishStep (d);
    dishStep (d);
    ASSERT_EQ (d.splitCount, 1u);
    EXPECT_EQ (d.cells[1].motif, 14);
    EXPECT_EQ (colorIndex (d.cells[1]), 1);
    EXPECT_EQ (d.cells[0].motif, -1);
    EXPECT_EQ (x.grantArmed.load(), 0);
    EXPECT_TRUE (testSpeciesBit (x.seenBits, 113));
}

TEST_F (DishMutations, EveryHundredthBirthProposesAnUndiscoveredMotif)
{
    d.mutationClock = 0.995;
    const Cell& p = mergePair (2, 5);
    EXPECT_EQ (p.motif, -1);
    EXPECT_EQ (colorIndex (p), 2);
    const int proposal = x.proposal.load();
    ASSERT_GE (proposal, 1);
    EXPECT_EQ ((proposal - 1) % 8, 2) << "the receiver's colour";
    EXPECT_LT (proposal - 1, speciesCount);
    EXPECT_NEAR (d.mutationClock, 0.005, 1e-12);

    // An earlier proposal not yet taken stays.
    d.mutationClock = 0.995;
    mergePair (6, 1);
    EXPECT_EQ (x.proposal.load(), proposal);
}

TEST_F (DishMutations, ADiscoveredMotifIsTakenAtOnce)
{
    discoverAll();
    d.mutationClock = 0.999;
    const Cell& p = mergePair (3, 0);
    ASSERT_GE (p.motif, 0);
    EXPECT_EQ (colorIndex (p), 3);
    EXPECT_TRUE (testSpeciesBit (x.seenBits, speciesIndex (p)));
    EXPECT_EQ (x.proposal.load(), 0);
}

TEST_F (DishMutations, MotifDeckDealsEveryMotifOnceInFifteenOffers)
{
    std::set<int> motifs;
    for (int k = 0; k < 15; ++k)
    {
        x.proposal.store (0);
        d.mutationClock = 0.995;
        mergePair (0, 0);
        motifs.insert ((x.proposal.load() - 1) / 8);
    }
    EXPECT_EQ (motifs.size(), 15u);
}

TEST_F (DishMutations, DiscoveredDrawYieldsADiscoveredSpeciesAboutHalfTheTime)
{
    markSpeciesDiscovered (x, 17);
    int taken = 0;
    for (int k = 0; k < 400; ++k)
    {
        d.mutationClock = 0.0;
        const Cell& p = mergePair (2, 5);
        if (p.motif >= 0)
        {
            EXPECT_EQ (speciesIndex (p), 17);
            ++taken;
        }
        else
        {
            EXPECT_EQ (colorIndex (p), 2);
        }
    }
    EXPECT_GT (taken, 140);
    EXPECT_LT (taken, 260);
    EXPECT_EQ (d.discoveredCount, 1);

    // A new discovery changes the generation and enters the list.
    markSpeciesDiscovered (x, 90);
    std::set<int> drawn;
    for (int k = 0; k < 100; ++k)
    {
        d.mutationClock = 0.0;
        const Cell& p = mergePair();
        if (p.motif >= 0)
            drawn.insert (speciesIndex (p));
    }
    EXPECT_EQ (drawn, (std::set<int> { 17, 90 }));
    EXPECT_EQ (d.discoveredGeneration, x.generation.load());
}

TEST_F (DishMutations, EveryOrdinarySplitFlipsTheReceiverAndOnlyTheOfferGoesToIt)
{
    // No discoveries: an offered motif becomes a proposal in the receiver's colour, so the
    // proposal tells which cell received it whenever parent and daughter differ in colour.
    enum class Kind { forced, handOver, offer, noOffer };
    enum class Receiver { none, parent, daughter };
    struct Case
    {
        const char* name;
        Kind kind;
        bool flagBefore, flagAfter;
        Receiver receiver;
    };
    const Case cases[] = {
        { "forced", Kind::forced, false, false, Receiver::none },
        { "forced", Kind::forced, true, true, Receiver::none },
        { "hand-over", Kind::handOver, false, false, Receiver::none },
        { "hand-over", Kind::handOver, true, true, Receiver::none },
        { "ordinary with an offer", Kind::offer, false, true, Receiver::daughter },
        { "ordinary with an offer", Kind::offer, true, false, Receiver::parent },
        { "ordinary without an offer", Kind::noOffer, false, true, Receiver::none },
        { "ordinary without an offer", Kind::noOffer, true, false, Receiver::none },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (std::string (c.name) + (c.flagBefore ? ", flag set" : ", flag clear"));
        bool coloursDiffered = false;
        for (int attempt = 0; attempt < 20 && ! coloursDiffered; ++attempt)
        {
            for (auto& cell : d.cells)
                cell = Cell {};
            x.proposal.store (0);
            x.grantArmed.store (0);
            Cell& k = addOldCell (d, 0.0, 0.0, 10.0);
            d.lastBirthAt = -1e9;
            d.mutationToParent = c.flagBefore;
            d.mutationClock = c.kind == Kind::offer ? 0.995 : 0.5;
            if (c.kind == Kind::forced)
            {
                k.founder = true;
                k.founderSince = dishNow (d) - 10000.0;
            }
            if (c.kind == Kind::handOver)
            {
                x.grantedSpecies = Species { 14, 1 };
                x.grantArmed.store (1);
            }
            const double clockBefore = d.mutationClock;
            const auto splits = d.splitCount;

            for (int t = 0; t < 600 && d.splitCount == splits; ++t)
                dishStep (d);
            ASSERT_EQ (d.splitCount, splits + 1);
            const Cell& parent = d.cells[0];
            const Cell& daughter = d.cells[1];
            ASSERT_TRUE (daughter.active);
            EXPECT_EQ (d.mutationToParent, c.flagAfter);

            switch (c.kind)
            {
                case Kind::forced:
                    EXPECT_TRUE (parent.founderSplitDone);
                    EXPECT_EQ (d.mutationClock, clockBefore) << "no mutation at all";
                    EXPECT_EQ (x.proposal.load(), 0);
                    break;
                case Kind::handOver:
                    EXPECT_EQ (daughter.motif, 14);
                    EXPECT_EQ (colorIndex (daughter), 1);
                    EXPECT_EQ (parent.motif, -1);
                    EXPECT_EQ (d.mutationClock, clockBefore) << "the hand-over replaces the mutation";
                    EXPECT_EQ (x.proposal.load(), 0);
                    break;
                case Kind::noOffer:
                    EXPECT_DOUBLE_EQ (d.mutationClock, clockBefore + 0.01);
                    EXPECT_EQ (x.proposal.load(), 0);
                    break;
                case Kind::offer:
                    EXPECT_NEAR (d.mutationClock, 0.005, 1e-12);
                    ASSERT_GE (x.proposal.load(), 1);
                    break;
            }

            if (c.receiver == Receiver::none || colorIndex (parent) == colorIndex (daughter))
            {
                coloursDiffered = c.receiver == Receiver::none;
                continue;
            }
            coloursDiffered = true;
            const Cell& receiver = c.receiver == Receiver::parent ? parent : daughter;
            EXPECT_EQ ((x.proposal.load() - 1) % 8, colorIndex (receiver)) << "the offer goes to the receiver";
        }
        EXPECT_TRUE (coloursDiffered) << "no split with differently coloured cells in 20 attempts";
    }
}

TEST_F (DishMutations, DetachedDishMutatesNothing)
{
    Dish alone = makeDish (nullptr);
    alone.mutationClock = 0.995;
    addOldCell (alone, 0.1, 0.0, 4.0, 2);
    addOldCell (alone, -0.1, 0.0, 3.0, 5);
    mergeCells (alone, 0, 1);
    ASSERT_EQ (liveCount (alone), 1);
    EXPECT_EQ (alone.cells[0].motif, -1);
    EXPECT_EQ (colorIndex (alone.cells[0]), 2);
}
