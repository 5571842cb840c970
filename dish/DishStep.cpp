#include "dish/DishStep.h"

#include <algorithm>
#include <cmath>

namespace brivola
{

namespace
{
constexpr double pixelsPerUnit = 135.0;   // contact tests: 150 × 0.9
constexpr double jitterScale = 0.000297979797979798;
constexpr double damping = 0.945;
constexpr double stirringSpeedCap = 0.035;
constexpr double birthCoolDownMs = 150.0;
constexpr double newbornGuardMs = 800.0;
constexpr double splitBornGuardMs = 4000.0;
constexpr double founderWaitMs = 1800.0;
constexpr double twoPi = 6.283185307179586;

std::uint64_t saturatingIncrement (std::uint64_t v) noexcept
{
    constexpr std::uint64_t top = 0x7FFFFFFFFFFFFFFFull;
    return v < top ? v + 1 : top;
}

void limitLength (double& x, double& y, double maxLength) noexcept
{
    const double len = std::sqrt (x * x + y * y);
    if (len > maxLength)
    {
        const double s = maxLength / len;
        x *= s;
        y *= s;
    }
}

/** A resting cell's velocity decays geometrically; below 1e-20 dish units per tick (far below
    what moves a position) it becomes exactly 0 instead of sinking into subnormals. */
double flushTiny (double v) noexcept
{
    return std::abs (v) < 1e-20 ? 0.0 : v;
}

double clampTo (double v, double lo, double hi) noexcept
{
    return v < lo ? lo : (v > hi ? hi : v);
}

Cell& cellAt (Dish& d, int slot) noexcept
{
    return d.cells[static_cast<std::size_t> (slot)];
}

void setColour (Cell& c, int colour) noexcept
{
    c.colorGroup = colour / 2;
    c.colorVariant = colour % 2;
}

void markSeen (Dish& d, const Species& s) noexcept
{
    if (d.exchange != nullptr)
        setSpeciesBit (d.exchange->seenBits, speciesIndex (s.motif, s.colorIndex));
}

/** A cell takes a whole species (motif and colour) and the species is marked seen. */
void giveSpecies (Dish& d, Cell& c, const Species& s) noexcept
{
    c.motif = s.motif;
    setColour (c, s.colorIndex);
    markSeen (d, s);
}

//==============================================================================
// Mutations

/** Hand-over: consumes an armed grant. The granted species is read before the flag is cleared,
    so the bookkeeping never rewrites it while it is being read. */
std::optional<Species> takeGrant (Dish& d) noexcept
{
    SpeciesExchange* const x = d.exchange;
    if (x == nullptr || x->grantArmed.load (std::memory_order_acquire) == 0)
        return std::nullopt;
    const Species s = x->grantedSpecies;
    x->grantArmed.store (0, std::memory_order_release);
    if (speciesIndex (s.motif, s.colorIndex) < 0)
        return std::nullopt; // a damaged grant is dropped
    return s;
}

/** Motif mutation for a receiver of colour q: notes the birth, advances the mutation clock, and
    every hundredth time offers a motif from the motif deck. Returns the motif the receiver takes
    (the species is discovered), or −1 (no offer, or the offer became a proposal). */
int motifMutation (Dish& d, int q) noexcept
{
    SpeciesExchange* const x = d.exchange;
    if (x != nullptr)
        x->birthNoticed.store (1, std::memory_order_release);

    d.mutationClock += 0.01;
    if (! (d.mutationClock >= 1.0))
        return -1;
    d.mutationClock -= 1.0;

    const int t = static_cast<int> (dealFromDeck (d.motifDeck, d.rngState) % motifCount);
    const int s = speciesIndex (t, q);
    if (x == nullptr || s < 0)
        return -1;
    if (testSpeciesBit (x->discoveredBits, s))
        return t;

    std::int32_t expected = 0;
    x->proposal.compare_exchange_strong (expected, 1 + s, std::memory_order_acq_rel);
    return -1;
}

/** Discovered-species draw: rebuilds the list when the discoveries changed, then on a coin flip
    deals one discovered species from the discovered deck. */
std::optional<Species> discoveredDraw (Dish& d) noexcept
{
    SpeciesExchange* const x = d.exchange;
    if (x == nullptr)
        return std::nullopt;

    const std::int32_t generation = x->generation.load (std::memory_order_acquire);
    if (generation != d.discoveredGeneration)
    {
        std::int32_t n = 0;
        for (int s = 0; s < speciesCount; ++s)
            if (testSpeciesBit (x->discoveredBits, s))
                d.discoveredList[static_cast<std::size_t> (n++)] = s;
        d.discoveredCount = n;
        d.discoveredDeck.n = static_cast<std::uint64_t> (n);
        d.discoveredDeck.r = 0;
        d.discoveredGeneration = generation;
    }

    const int n = std::clamp (d.discoveredCount, 0, speciesCount);
    if (n == 0)
        return std::nullopt;
    if (drawRandom (d) < 0.5)
        return std::nullopt;

    const auto index = dealFromDeck (d.discoveredDeck, d.rngState);
    if (index >= static_cast<std::uint64_t> (n))
        return std::nullopt;
    const int s = d.discoveredList[static_cast<std::size_t> (index)];
    if (s < 0 || s >= speciesCount)
        return std::nullopt;
    return Species { s / 8, s % 8 };
}

//==============================================================================
// Stages

void runSlosh (Dish& d) noexcept
{
    DishVector& D = d.sloshOffset;
    DishVector& E = d.sloshVelocity;
    double& F = d.swirl;

    E.x = E.x - 0.013689 * D.x - 0.0585 * E.x;
    E.y = E.y - 0.013689 * D.y - 0.0585 * E.y;
    D.x += E.x;
    D.y += E.y;
    F = clampTo (F + (D.x * E.y - D.y * E.x) * 0.01 - F / 180.0, -0.03, 0.03);

    for (auto& c : d.cells)
    {
        if (! isLive (c))
            continue;
        const double px = c.x;
        const double py = c.y;
        const double len = std::sqrt (px * px + py * py);
        double bx = E.x;
        double by = E.y;
        if (len > 1e-9)
        {
            const double nx = px / len;
            const double ny = py / len;
            const double s = std::min (len / 0.8933333333333333, 1.0);
            const double outward = s * s * (E.x * nx + E.y * ny);
            bx = E.x - outward * nx;
            by = E.y - outward * ny;
        }
        const double k = 1.0 / (0.1 * c.mass + 1.0);
        c.x = px + k * bx;
        c.y = py + k * by;
        const double wx = -F * py;
        const double wy = F * px;
        c.vx += k * 0.055 * wx;
        c.vy += k * 0.055 * wy;
        limitLength (c.vx, c.vy, 0.045);
        const double flow = std::sqrt ((wx + bx) * (wx + bx) + (wy + by) * (wy + by));
        c.stirEnergy = std::min (c.stirEnergy + std::min (flow / 0.045, 1.0) * 0.01, 1.0);
    }

    if (std::abs (D.x) + std::abs (D.y) < 1e-4 && std::abs (E.x) + std::abs (E.y) < 1e-5 && std::abs (F) < 1e-4)
    {
        D = {};
        E = {};
        F = 0.0;
        d.sloshActive = false;
    }
}

void integrate (Dish& d) noexcept
{
    for (auto& c : d.cells)
    {
        if (! c.active)
            continue;
        c.splitThisTick = false;

        c.flash = std::max (c.flash - 0.05, 0.0);
        const double f = c.dying ? 0.0 : 1.0;
        if (c.stirEnergy > 0.0)
        {
            c.stirEnergy *= 0.985;
            if (c.stirEnergy < 0.001)
                c.stirEnergy = 0.0;
        }

        double j = rateMultiplier (d.activity, c.stirEnergy) * jitterScale * f;
        if (d.stirring)
            j *= 0.3;
        const double u1 = drawRandom (d);
        const double u2 = drawRandom (d);
        double hx = c.vx + j * (u1 - 0.5);
        double hy = c.vy + j * (u2 - 0.5);

        c.x += f * hx;
        c.y += f * hy;
        if (d.stirring)
            limitLength (hx, hy, stirringSpeedCap);
        c.x += f * hx;
        c.y += f * hy;
        c.vx = flushTiny (damping * hx);
        c.vy = flushTiny (damping * hy);
        c.angle += c.spin;

        const double len = std::sqrt (c.x * c.x + c.y * c.y);
        if (! std::isfinite (len) || ! std::isfinite (c.vx) || ! std::isfinite (c.vy))
        {
            c.x = c.y = c.vx = c.vy = 0.0;
            continue;
        }

        const double r = wallLimit (c.mass);
        if (len > r)
        {
            const double nx = c.x / len;
            const double ny = c.y / len;
            c.x = r * nx;
            c.y = r * ny;
            const double t = c.vx * nx + c.vy * ny;
            if (t > 0.0)
            {
                c.vx -= 2.0 * t * nx;
                c.vy -= 2.0 * t * ny;
                d.lastBounceSpeed = std::abs (t);
                if (std::abs (t) > 0.015)
                    c.flash = 1.0;
            }
        }
    }
}

/** Merging and separation; returns 1 when a merge happened. */
int mergeAndSeparate (Dish& d, double now) noexcept
{
    const double q = 0.75 * std::min (static_cast<double> (countLiveCells (d)) / 24.0, 1.0) + 0.05;
    bool merged = false;

    for (int i = 0; i < dishCapacity - 1; ++i)
    {
        if (! cellAt (d, i).active)
            continue;
        const auto s = static_cast<double> (countLiveCells (d));
        const double p = clampTo ((s - 9.0) / 6.0, 0.0, 1.0) * q;

        for (int k = i + 1; k < dishCapacity; ++k)
        {
            Cell& a = cellAt (d, i);
            Cell& b = cellAt (d, k);
            if (! b.active)
                continue;
            const double wx = pixelsPerUnit * (a.x - b.x);
            const double wy = pixelsPerUnit * (a.y - b.y);
            const double limit = 0.8 * (cellRadiusPixels (a.mass) + cellRadiusPixels (b.mass));
            const double dist2 = wx * wx + wy * wy;
            if (! (dist2 < limit * limit))
                continue;

            if (dist2 == 0.0)
            {
                const double u1 = drawRandom (d);
                const double u2 = drawRandom (d);
                a.vx += (u1 - 0.5) * 0.005;
                a.vy += (u2 - 0.5) * 0.005;
                continue;
            }

            if (! merged && now - a.bornAt >= newbornGuardMs && now - b.bornAt >= newbornGuardMs && s >= 3.0)
            {
                Cell& h = b.stirEnergy > a.stirEnergy ? b : a;
                h.mergeCharge += rateMultiplier (d.activity, h.stirEnergy) * p * 0.8;
                if (h.mergeCharge >= 1.0)
                {
                    h.mergeCharge -= 1.0;
                    mergeCells (d, i, k);
                    merged = true;
                    break;
                }
            }

            const double dist = std::sqrt (dist2);
            const double nx = wx / dist;
            const double ny = wy / dist;
            if ((a.vx - b.vx) * nx + (a.vy - b.vy) * ny < 0.0)
            {
                const double push = std::min ((limit - dist) * 0.0003 + 0.0012, 0.003);
                a.vx += push * nx;
                a.vy += push * ny;
                b.vx -= push * nx;
                b.vy -= push * ny;
            }
        }
    }
    return merged ? 1 : 0;
}

/** Split rate of a cell of mass m in a dish of L live cells, before the rate multiplier. */
double splitRate (double m, unsigned live) noexcept
{
    if (m >= 10.0)
        return 1.0;
    const double g = std::min ((m - 3.0) / 12.0, 1.0) * 0.0095 + 0.0005;
    const auto l = static_cast<double> (live);
    double rate = 0.0;
    if (live <= 11)
        rate = g + 0.02 * std::min ((12.0 - l) / 6.0, 1.0);
    else
        rate = (l - 12.0) / 6.0 < 1.0 ? g * (1.0 - 0.6 * (l - 12.0) / 6.0) : g * 0.4;
    // Cells lighter than 3 (recalled presets) would get a negative rate in a crowded dish and
    // drain their charge below zero; a rate never takes charge away.
    return std::max (rate, 0.0);
}

/** Species of a split pair (not forced): hand-over to the daughter, or the motif mutation to the
    alternating receiver (the receiver flips on every such split, offer or not); then the
    discovered draw for whichever is still plain. */
void splitMutations (Dish& d, Cell& parent, Cell* daughter) noexcept
{
    std::optional<Species> granted;
    if (daughter != nullptr)
        granted = takeGrant (d); // without a daughter the grant waits for the next birth

    if (granted.has_value())
    {
        giveSpecies (d, *daughter, *granted);
    }
    else
    {
        Cell& receiver = (d.mutationToParent || daughter == nullptr) ? parent : *daughter;
        const int q = colorIndex (receiver);
        const int motif = motifMutation (d, q);
        d.mutationToParent = ! d.mutationToParent;
        if (motif >= 0)
            giveSpecies (d, receiver, Species { motif, q });
    }

    if (parent.motif < 0)
        if (const auto s = discoveredDraw (d))
            giveSpecies (d, parent, *s);
    if (daughter != nullptr && daughter->motif < 0)
        if (const auto s = discoveredDraw (d))
            giveSpecies (d, *daughter, *s);
}

/** At most one split per tick; returns 1 when a split happened. */
int splitOne (Dish& d, double now) noexcept
{
    const unsigned live = countLiveCells (d);
    if (live >= static_cast<unsigned> (dishCapacity))
        return 0;

    for (int i = 0; i < dishCapacity; ++i)
    {
        Cell& k = cellAt (d, i);
        if (! isLive (k) || k.splitThisTick)
            continue;
        if (k.splitBorn && now - k.bornAt < splitBornGuardMs)
            continue;

        const double m = k.mass;
        double rate = splitRate (m, live);
        bool forced = false;
        if (k.founder && ! k.founderSplitDone)
        {
            if (k.founderSince < 0.0)
            {
                k.founderSince = now;
            }
            else if (now - k.founderSince > founderWaitMs)
            {
                // The forced rate holds on every tick after the wait until the split happens.
                forced = true;
                rate = 1.0;
            }
        }

        if (now - d.lastBirthAt < birthCoolDownMs)
            continue;

        k.splitCharge += rate * rateMultiplier (d.activity, k.stirEnergy) * 0.8;
        if (k.splitCharge < 1.0)
            continue;
        k.splitCharge -= 1.0;
        d.lastBirthAt = now;
        if (forced)
            k.founderSplitDone = true;

        const double u = drawRandom (d);
        const double hx = std::cos (twoPi * u);
        const double hy = std::sin (twoPi * u);
        const double m2 = std::max (m * 0.5, 3.0);
        const double step = cellRadiusPixels (m2) / pixelsPerUnit;
        const double oldVx = k.vx;
        const double oldVy = k.vy;
        k.mass = m2;
        k.x += step * hx;
        k.y += step * hy;
        k.vx += 0.002 * hx;
        k.vy += 0.002 * hy;
        k.splitThisTick = true;

        const auto group = dealFromDeck (d.colorGroupDeck, d.rngState);
        k.colorGroup = static_cast<std::int32_t> (group);
        k.colorVariant = static_cast<std::int32_t> (dealFromDeck (d.colorVariantDecks[static_cast<std::size_t> (group & 3u)], d.rngState));
        k.motif = -1;

        const int slot = spawnCell (d, true, std::nullopt, k.x - 2.0 * step * hx, k.y - 2.0 * step * hy, m2);
        Cell* daughter = nullptr;
        if (slot != noSlot)
        {
            daughter = &cellAt (d, slot);
            daughter->vx = oldVx - 0.004 * hx;
            daughter->vy = oldVy - 0.004 * hy;
        }

        if (! forced)
            splitMutations (d, k, daughter);

        d.splitCount = saturatingIncrement (d.splitCount);
        return 1;
    }
    return 0;
}

void measureProximity (Dish& d) noexcept
{
    for (auto& c : d.cells)
        c.proximity = 0.0;

    for (int i = 0; i < dishCapacity - 1; ++i)
    {
        Cell& a = cellAt (d, i);
        if (! isLive (a))
            continue;
        for (int k = i + 1; k < dishCapacity; ++k)
        {
            Cell& b = cellAt (d, k);
            if (! isLive (b))
                continue;
            const double wx = pixelsPerUnit * (a.x - b.x);
            const double wy = pixelsPerUnit * (a.y - b.y);
            const double radii = cellRadiusPixels (a.mass) + cellRadiusPixels (b.mass);
            const double reach = radii + 15.0;
            const double dist2 = wx * wx + wy * wy;
            if (! (dist2 < reach * reach))
                continue;
            const double gap = std::sqrt (dist2) - radii;
            const double u = gap <= 0.0 ? 1.0 : (gap >= 15.0 ? 0.0 : 1.0 - gap / 15.0);
            a.proximity = std::max (a.proximity, u);
            b.proximity = std::max (b.proximity, u);
        }
    }
}

void runArrivals (Dish& d, double now, DishTickReport& report) noexcept
{
    auto& q = d.arrivalQueue;
    const int count = std::clamp (q.count, 0, dishCapacity);
    if (q.nextIndex < 0)
        q.nextIndex = 0;
    while (q.nextIndex < count && q.dueAt <= now)
    {
        const PendingCell e = q.entries[static_cast<std::size_t> (q.nextIndex)];
        const int slot = e.colour < 0 ? spawnCell (d, false, std::nullopt, e.x, e.y, e.mass)
                                      : placeCell (d, e.motif, e.colour, e.id, e.x, e.y, e.mass);
        if (slot != noSlot)
        {
            ++report.arrivals;
            if (e.launch)
                launchCell (d, cellAt (d, slot));
            if (q.arrivalsCounted)
                q.arrivals = q.arrivals < 0x7FFFFFFF ? q.arrivals + 1 : q.arrivals;
        }
        ++q.nextIndex;
        q.dueAt += q.interval;
    }
}
} // namespace

//==============================================================================
DishTickReport dishStep (Dish& d) noexcept
{
    DishTickReport report;

    if (d.ticks < 0xFFFFFFFFFFFFFFFFull)
        ++d.ticks;
    const double now = dishNow (d);

    for (auto& c : d.cells)
    {
        if (c.active && c.dying && c.dieAt <= now)
        {
            c = Cell {};
            ++report.removals;
        }
    }

    runArrivals (d, now, report);

    if (d.sloshActive)
        runSlosh (d);

    integrate (d);
    report.merges = mergeAndSeparate (d, now);
    report.splits = splitOne (d, now);
    measureProximity (d);
    return report;
}

void mergeCells (Dish& d, int slotA, int slotB) noexcept
{
    if (slotA < 0 || slotA >= dishCapacity || slotB < 0 || slotB >= dishCapacity || slotA == slotB)
        return;
    const Cell a = cellAt (d, slotA);
    const Cell b = cellAt (d, slotB);
    if (! a.active || ! b.active)
        return;

    const double now = dishNow (d);
    const Cell& heavier = a.mass >= b.mass ? a : b;
    const int q = colorIndex (heavier);
    cellAt (d, slotA) = Cell {};
    cellAt (d, slotB) = Cell {};

    std::optional<Species> species = takeGrant (d);
    if (! species.has_value())
    {
        const int motif = motifMutation (d, q);
        if (motif >= 0)
            species = Species { motif, q };
        else
            species = discoveredDraw (d);
    }

    const double mass = std::min (0.92 * (a.mass + b.mass), 10.0);
    const int slot = spawnCell (d, false, species, 0.5 * (a.x + b.x), 0.5 * (a.y + b.y), mass);
    if (slot != noSlot && ! (species.has_value() && species->motif >= 0))
        setColour (cellAt (d, slot), q);

    d.lastBirthAt = now;
    d.mergeCount = saturatingIncrement (d.mergeCount);
}

int dropCell (Dish& d, int motif, int colour, double x, double y, double vx, double vy) noexcept
{
    if (! std::isfinite (x) || ! std::isfinite (y) || ! std::isfinite (vx) || ! std::isfinite (vy))
        return noSlot;
    if (motif < -1 || motif >= motifCount)
        motif = -1;

    if (countLiveCells (d) >= static_cast<unsigned> (dishCapacity))
    {
        int bestA = noSlot;
        int bestB = noSlot;
        double best = 0.0;
        for (int i = 0; i < dishCapacity - 1; ++i)
        {
            const Cell& a = cellAt (d, i);
            if (! isLive (a) || a.splitThisTick)
                continue;
            for (int k = i + 1; k < dishCapacity; ++k)
            {
                const Cell& b = cellAt (d, k);
                if (! isLive (b) || b.splitThisTick)
                    continue;
                const double dx = a.x - b.x;
                const double dy = a.y - b.y;
                const double dist2 = dx * dx + dy * dy;
                if (bestA == noSlot || dist2 < best)
                {
                    bestA = i;
                    bestB = k;
                    best = dist2;
                }
            }
        }
        if (bestA == noSlot)
            return noSlot;
        mergeCells (d, bestA, bestB);
    }

    const int slot = placeCell (d, motif, colour, -1, x, y, 3.0);
    if (slot == noSlot)
        return noSlot;

    Cell& c = cellAt (d, slot);
    if (vx != 0.0 || vy != 0.0)
    {
        const double direction = std::atan2 (vy, vx);
        const double speed = std::min (std::sqrt (vx * vx + vy * vy) * 0.000075 + 0.00067, 0.00167);
        c.vx = speed * std::cos (direction);
        c.vy = speed * std::sin (direction);
        c.launched = true;
    }
    else
    {
        launchCell (d, c);
    }
    return slot;
}

void stirAt (Dish& d, double x, double y, double dx, double dy) noexcept
{
    if (! std::isfinite (x) || ! std::isfinite (y) || ! std::isfinite (dx) || ! std::isfinite (dy))
        return;
    x = clampTo (x, -2.0, 2.0);
    y = clampTo (y, -2.0, 2.0);
    dx = clampTo (dx, -2.0, 2.0) * 1.5;
    dy = clampTo (dy, -2.0, 2.0) * 1.5;

    for (auto& c : d.cells)
    {
        if (! isLive (c))
            continue;
        const double dist = std::sqrt ((c.x - x) * (c.x - x) + (c.y - y) * (c.y - y));
        if (! (dist < 0.35))
            continue;
        const double f = (1.0 - dist / 0.35) * (1.0 - dist / 0.35);
        c.vx += f * dx;
        c.vy += f * dy;
        c.stirEnergy = std::min (c.stirEnergy + 0.15 * f, 1.0);
        limitLength (c.vx, c.vy, 0.015);
    }
}

void setStirring (Dish& d, bool on) noexcept
{
    d.stirring = on;
}

void slosh (Dish& d, double dx, double dy) noexcept
{
    if (! std::isfinite (dx) || ! std::isfinite (dy))
        return;
    dx = clampTo (dx, -2.0, 2.0);
    dy = clampTo (dy, -2.0, 2.0);
    const double k = std::sqrt (dx * dx + dy * dy) / 0.1 + 1.0;
    d.sloshVelocity.x += k * -0.4 * dx;
    d.sloshVelocity.y += k * -0.4 * dy;
    limitLength (d.sloshVelocity.x, d.sloshVelocity.y, 0.045);
    d.sloshActive = true;
}

double limitThemeValue (double value) noexcept
{
    return std::isfinite (value) ? clampTo (value, 0.0, 1.0) : 0.0;
}

double activityForTheme (double value) noexcept
{
    return 0.75 * std::min (std::sqrt (limitThemeValue (value)), 1.0);
}

void setDishTheme (Dish& d, double themeValue) noexcept
{
    if (std::isfinite (themeValue))
        d.activity = activityForTheme (themeValue);
}

int takeArrivals (Dish& d) noexcept
{
    const int n = d.arrivalQueue.arrivals;
    d.arrivalQueue.arrivals = 0;
    return n < 0 ? 0 : n;
}

} // namespace brivola
