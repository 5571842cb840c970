#include "DishTestSupport.h"
#include "dish/Pipette.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

using namespace brivola;
using namespace brivola::test;

namespace
{
constexpr int totalTicks = 100000;

/** One culture with its own species record and the message-thread bookkeeping that feeds it. */
struct Culture
{
    SpeciesExchange exchange;
    Dish dish;
    std::uint32_t pickState = 99; // the reroll's stand-in for the system random generator
    int discoveries = 0;
    int rerolls = 0;
    int drops = 0;

    Culture()
    {
        dish.exchange = &exchange;
        seedDish (dish);
    }

    /** A copy of another culture's full state, attached to its own species record. */
    explicit Culture (const Culture& other)
        : dish (other.dish), pickState (other.pickState), discoveries (other.discoveries),
          rerolls (other.rerolls), drops (other.drops)
    {
        for (int w = 0; w < 2; ++w)
        {
            exchange.discoveredBits[static_cast<std::size_t> (w)].store (other.exchange.discoveredBits[static_cast<std::size_t> (w)].load());
            exchange.seenBits[static_cast<std::size_t> (w)].store (other.exchange.seenBits[static_cast<std::size_t> (w)].load());
        }
        exchange.generation.store (other.exchange.generation.load());
        exchange.birthNoticed.store (other.exchange.birthNoticed.load());
        exchange.grantArmed.store (other.exchange.grantArmed.load());
        exchange.proposal.store (other.exchange.proposal.load());
        exchange.grantedSpecies = other.exchange.grantedSpecies;
        exchange.grantKind = other.exchange.grantKind;
        dish.exchange = &exchange;
    }

    /** The scripted player and bookkeeping before tick t. */
    void script (int t)
    {
        Dish& d = dish;
        if (t % 6000 == 0)
            setStirring (d, true);
        if (t % 6000 == 700)
            setStirring (d, false);
        if (d.stirring)
            stirAt (d, 0.4 * std::cos (t * 0.01), 0.4 * std::sin (t * 0.013),
                    0.03 * std::cos (t * 0.07), 0.03 * std::sin (t * 0.05));
        if (t % 3001 == 1500)
            slosh (d, 0.05 * std::cos (t * 1.0), -0.03);
        if (t % 7919 == 0)
        {
            constexpr double themes[] = { 1.0, 0.5, 0.0, 0.2, 1.0, 0.8 };
            setDishTheme (d, themes[(t / 7919) % 6]);
        }
        if (t % 5003 == 2500 && exchange.grantArmed.load() == 0)
        {
            const int s = (t / 5003 * 37) % speciesCount;
            exchange.grantedSpecies = Species { s / 8, s % 8 };
            exchange.grantArmed.store (1);
        }
        if (t % 4001 == 3000)
        {
            const int k = t / 4001;
            if (dropCell (d, k % 16 - 1, k % 8, 0.5 * std::cos (k * 0.7), 0.5 * std::sin (k * 0.7),
                          (k % 3) * 4.0, -(k % 5) * 2.0) != noSlot)
                ++drops;
        }
        if (t > 0 && t % 20011 == 0)
        {
            const auto palette = pipettePalette (static_cast<std::uint8_t> (0b1011), exchange);
            const bool done = rerollDish (d, palette, [this] (int n) {
                pickState = pickState * 1664525u + 1013904223u;
                return static_cast<int> ((pickState >> 8) % static_cast<std::uint32_t> (n));
            });
            rerolls += done ? 1 : 0;
        }
        if (t % 60 == 30)
        {
            // Proposals become discoveries at once; seen species are recorded as discovered.
            const int p = exchange.proposal.exchange (0);
            if (p >= 1 && markSpeciesDiscovered (exchange, p - 1))
                ++discoveries;
            for (int s = 0; s < speciesCount; ++s)
                if (clearSpeciesBit (exchange.seenBits, s) && markSpeciesDiscovered (exchange, s))
                    ++discoveries;
            exchange.birthNoticed.store (0);
        }
    }
};

#define BRIVOLA_SAME(field) \
    if (! (a.field == b.field)) return "cell " + std::to_string (i) + " " #field;

/** Empty when both dishes hold the same state; otherwise the first difference. */
std::string firstDifference (const Dish& x, const Dish& y)
{
    for (int i = 0; i < dishCapacity; ++i)
    {
        const Cell& a = x.cells[static_cast<std::size_t> (i)];
        const Cell& b = y.cells[static_cast<std::size_t> (i)];
        BRIVOLA_SAME (id) BRIVOLA_SAME (active) BRIVOLA_SAME (x) BRIVOLA_SAME (y) BRIVOLA_SAME (vx)
        BRIVOLA_SAME (vy) BRIVOLA_SAME (angle) BRIVOLA_SAME (spin) BRIVOLA_SAME (mass)
        BRIVOLA_SAME (stirEnergy) BRIVOLA_SAME (proximity) BRIVOLA_SAME (mergeCharge)
        BRIVOLA_SAME (splitCharge) BRIVOLA_SAME (dying) BRIVOLA_SAME (colorGroup)
        BRIVOLA_SAME (colorVariant) BRIVOLA_SAME (motif) BRIVOLA_SAME (bornAt) BRIVOLA_SAME (splitBorn)
        BRIVOLA_SAME (splitThisTick) BRIVOLA_SAME (founder) BRIVOLA_SAME (founderSplitDone)
        BRIVOLA_SAME (flash) BRIVOLA_SAME (launched) BRIVOLA_SAME (founderSince) BRIVOLA_SAME (dieAt)
    }
    const int i = -1;
    const Dish& a = x;
    const Dish& b = y;
    BRIVOLA_SAME (ticks) BRIVOLA_SAME (mergeCount) BRIVOLA_SAME (splitCount) BRIVOLA_SAME (spawnCount)
    BRIVOLA_SAME (lastBirthAt) BRIVOLA_SAME (rngState) BRIVOLA_SAME (mutationClock)
    BRIVOLA_SAME (mutationToParent) BRIVOLA_SAME (nextId) BRIVOLA_SAME (activity)
    BRIVOLA_SAME (lastBounceSpeed) BRIVOLA_SAME (sloshOffset.x) BRIVOLA_SAME (sloshVelocity.y)
    BRIVOLA_SAME (swirl) BRIVOLA_SAME (sloshActive) BRIVOLA_SAME (launchCounter)
    BRIVOLA_SAME (colorGroupDeck.items) BRIVOLA_SAME (colorGroupDeck.r) BRIVOLA_SAME (motifDeck.items)
    BRIVOLA_SAME (discoveredDeck.items) BRIVOLA_SAME (discoveredList) BRIVOLA_SAME (discoveredGeneration)
    BRIVOLA_SAME (arrivalQueue.nextIndex) BRIVOLA_SAME (arrivalQueue.count) BRIVOLA_SAME (arrivalQueue.dueAt)
    BRIVOLA_SAME (arrivalQueue.seedSequence)
    return {};
}
#undef BRIVOLA_SAME

/** Invariants after every tick; returns the first violation or empty. */
std::string checkInvariants (const Dish& d, const DishTickReport& r, const Dish& before)
{
    if (d.ticks != before.ticks + 1)
        return "ticks";
    if (d.mergeCount < before.mergeCount || d.splitCount < before.splitCount || d.spawnCount < before.spawnCount)
        return "counters went back";
    if (r.merges > 1 || r.splits > 1)
        return "more than one merge or split";
    if (d.mergeCount - before.mergeCount != static_cast<std::uint64_t> (r.merges)
        || d.splitCount - before.splitCount != static_cast<std::uint64_t> (r.splits))
        return "counted events differ from the report";

    const double now = dishNow (d);
    std::set<int> ids;
    for (const auto& c : d.cells)
    {
        if (! c.active)
            continue;
        if (! std::isfinite (c.x) || ! std::isfinite (c.y) || ! std::isfinite (c.vx) || ! std::isfinite (c.vy))
            return "non-finite motion";
        if (! (c.mass >= 3.0 && c.mass <= 10.0))
            return "mass " + std::to_string (c.mass);
        if (! (c.stirEnergy >= 0.0 && c.stirEnergy <= 1.0) || ! (c.proximity >= 0.0 && c.proximity <= 1.0)
            || ! (c.flash >= 0.0 && c.flash <= 1.0))
            return "energy, proximity or flash out of range";
        if (! (c.mergeCharge >= 0.0) || ! (c.splitCharge >= 0.0))
            return "negative charge";
        if (c.colorGroup < 0 || c.colorGroup > 3 || c.colorVariant < 0 || c.colorVariant > 1 || c.motif < -1 || c.motif > 14)
            return "species out of range";
        // Cells that went through this tick's integration sit inside the wall; a split parent
        // and cells born after the integration are clamped on the next tick.
        if (c.bornAt < now && ! c.splitThisTick && std::hypot (c.x, c.y) > wallLimit (c.mass) + 1e-12)
            return "outside the wall";
        if (c.id < 0 || c.id > maxCellId || ! ids.insert (c.id).second)
            return "duplicate or invalid id " + std::to_string (c.id);
    }
    const auto& q = d.arrivalQueue;
    if (q.nextIndex < 0 || q.nextIndex > q.count || q.count > dishCapacity)
        return "queue indices";
    for (int k = q.nextIndex; k < q.count; ++k)
    {
        const int id = q.entries[static_cast<std::size_t> (k)].id;
        if (id >= 0 && ! ids.insert (id).second)
            return "queued id in use";
    }
    if (! std::isfinite (d.lastBounceSpeed) || ! std::isfinite (d.swirl))
        return "non-finite dish state";
    return {};
}
} // namespace

TEST (DishDeterminism, ScriptedCultureRepeatsExactlyAndKeepsItsInvariants)
{
    Culture first;
    Culture second;
    std::unique_ptr<Culture> resumed; // a copy of the state taken halfway, run on its own

    std::uint64_t motifBirths = 0;
    unsigned maxLive = 0;
    for (int t = 0; t < totalTicks; ++t)
    {
        if (t == totalTicks / 2)
            resumed = std::make_unique<Culture> (first);

        first.script (t);
        second.script (t);
        if (resumed)
            resumed->script (t);

        const Dish before = first.dish;
        const DishTickReport report = dishStep (first.dish);
        const DishTickReport report2 = dishStep (second.dish);
        if (resumed)
            dishStep (resumed->dish);

        const std::string broken = checkInvariants (first.dish, report, before);
        ASSERT_TRUE (broken.empty()) << "tick " << t << ": " << broken;
        ASSERT_EQ (report.merges, report2.merges);
        ASSERT_EQ (report.arrivals, report2.arrivals);
        const std::string diff = firstDifference (first.dish, second.dish);
        ASSERT_TRUE (diff.empty()) << "runs diverge at tick " << t << ": " << diff;
        if (resumed)
        {
            const std::string diff2 = firstDifference (first.dish, resumed->dish);
            ASSERT_TRUE (diff2.empty()) << "resumed copy diverges at tick " << t << ": " << diff2;
        }

        if (report.merges + report.splits > 0)
            for (const auto& c : first.dish.cells)
                motifBirths += (c.active && c.bornAt == dishNow (first.dish) && c.motif >= 0) ? 1 : 0;
        maxLive = std::max (maxLive, countLiveCells (first.dish));
    }

    // The script exercised what it was meant to.
    EXPECT_GT (first.dish.mergeCount, 100u);
    EXPECT_GT (first.dish.splitCount, 100u);
    EXPECT_GT (first.discoveries, 3);
    EXPECT_GT (motifBirths, 10u);
    EXPECT_EQ (first.rerolls, 4);
    EXPECT_GT (first.drops, 20);
    EXPECT_GE (maxLive, 15u);
    EXPECT_EQ (first.exchange.discoveredBits[0].load(), second.exchange.discoveredBits[0].load());
    EXPECT_EQ (first.exchange.discoveredBits[1].load(), second.exchange.discoveredBits[1].load());
}
