#include "dish/Dish.h"

#include <cmath>

namespace brivola
{

namespace
{
constexpr std::uint32_t g = goldenHashKey;

std::uint64_t saturatingIncrement (std::uint64_t v) noexcept
{
    constexpr std::uint64_t top = 0x7FFFFFFFFFFFFFFFull;
    return v < top ? v + 1 : top;
}

std::int32_t nextAfter (std::int32_t k) noexcept
{
    return k >= maxCellId ? 0 : k + 1;
}

/** Angle, spin and the two charges from the id hash. */
void applyIdHash (Cell& c) noexcept
{
    const auto id = static_cast<std::uint32_t> (c.id);
    c.angle = 2.0 * 3.14159265358979323846 * hash01 ((4u * id) ^ (g + 1u));
    c.spin = (hash01 ((4u * id + 4u) ^ g) - 0.5) * 0.02;
    c.mergeCharge = hash01 ((17u * id + 3u) ^ g);
    c.splitCharge = hash01 ((17u * id + 5u) ^ g);
}

int firstFreeSlot (const Dish& d) noexcept
{
    for (int i = 0; i < dishCapacity; ++i)
        if (! d.cells[static_cast<std::size_t> (i)].active)
            return i;
    return noSlot;
}

void markSeen (Dish& d, int motif, int colour) noexcept
{
    if (d.exchange == nullptr || motif < 0 || colour < 0)
        return;
    const int s = 8 * motif + colour;
    if (s < speciesCount)
        setSpeciesBit (d.exchange->seenBits, s);
}
} // namespace

//==============================================================================
bool testSpeciesBit (const SpeciesBits& bits, int s) noexcept
{
    if (s < 0 || s >= speciesCount)
        return false;
    return (bits[static_cast<std::size_t> (s >> 6)].load (std::memory_order_acquire) >> (s & 63)) & 1u;
}

bool setSpeciesBit (SpeciesBits& bits, int s) noexcept
{
    if (s < 0 || s >= speciesCount)
        return false;
    const std::uint64_t mask = std::uint64_t { 1 } << (s & 63);
    return (bits[static_cast<std::size_t> (s >> 6)].fetch_or (mask, std::memory_order_acq_rel) & mask) == 0;
}

bool clearSpeciesBit (SpeciesBits& bits, int s) noexcept
{
    if (s < 0 || s >= speciesCount)
        return false;
    const std::uint64_t mask = std::uint64_t { 1 } << (s & 63);
    return (bits[static_cast<std::size_t> (s >> 6)].fetch_and (~mask, std::memory_order_acq_rel) & mask) != 0;
}

bool markSpeciesDiscovered (SpeciesExchange& x, int s) noexcept
{
    if (! setSpeciesBit (x.discoveredBits, s))
        return false;
    x.generation.fetch_add (1, std::memory_order_acq_rel);
    return true;
}

//==============================================================================
double drawRandom (Dish& d) noexcept
{
    return mulberry32Next (d.rngState);
}

void resetDish (Dish& d) noexcept
{
    SpeciesExchange* const x = d.exchange;
    d = Dish {};
    d.exchange = x;
}

void fillDeckCounts (Dish& d) noexcept
{
    d.colorGroupDeck.n = 4;
    d.colorGroupDeck.r = 0;
    for (auto& deck : d.colorVariantDecks)
    {
        deck.n = 2;
        deck.r = 0;
    }
    d.motifDeck.n = 15;
    d.motifDeck.r = 0;
}

unsigned countLiveCells (const Dish& d) noexcept
{
    unsigned n = 0;
    for (const auto& c : d.cells)
        n += isLive (c) ? 1u : 0u;
    return n;
}

bool idInUse (const Dish& d, std::int32_t id) noexcept
{
    if (id < 0)
        return false; // "allocate" markers reserve nothing
    for (const auto& c : d.cells)
        if (c.active && c.id == id)
            return true;
    const auto& q = d.arrivalQueue;
    const int end = q.count < 0 ? 0 : (q.count > dishCapacity ? dishCapacity : q.count);
    for (int k = q.nextIndex < 0 ? 0 : q.nextIndex; k < end; ++k)
        if (q.entries[static_cast<std::size_t> (k)].id == id)
            return true;
    return false;
}

std::int32_t allocateCellId (Dish& d) noexcept
{
    // A damaged counter outside the id range starts again from 0.
    std::int32_t k = (d.nextId < 0 || d.nextId > maxCellId) ? 0 : d.nextId;
    for (int attempt = 0; attempt < 49; ++attempt)
    {
        d.nextId = nextAfter (k);
        if (! idInUse (d, k))
            return k;
        k = d.nextId;
    }
    return 0;
}

int placeCell (Dish& d, int motif, int colour, std::int32_t id, double x, double y, double mass) noexcept
{
    colour = colour < 0 ? 0 : (colour >= colorCount ? colorCount - 1 : colour);
    const int slot = firstFreeSlot (d);
    if (slot == noSlot)
        return noSlot;

    Cell& c = d.cells[static_cast<std::size_t> (slot)];
    c = Cell {};
    if (id < 0 || id > maxCellId)
    {
        c.id = allocateCellId (d);
    }
    else
    {
        c.id = id;
        if (id >= d.nextId)
            d.nextId = nextAfter (id);
    }
    applyIdHash (c);
    c.x = x;
    c.y = y;
    c.mass = mass < 10.0 ? mass : 10.0;
    c.colorGroup = colour / 2;
    c.colorVariant = colour % 2;
    c.motif = motif;
    markSeen (d, motif, colour);
    c.bornAt = dishNow (d);
    c.active = true;
    d.spawnCount = saturatingIncrement (d.spawnCount);
    return slot;
}

int spawnCell (Dish& d, bool splitBorn, std::optional<Species> handOver, double x, double y, double mass) noexcept
{
    const int slot = firstFreeSlot (d);
    if (slot == noSlot)
        return noSlot;

    Cell& c = d.cells[static_cast<std::size_t> (slot)];
    c = Cell {};
    c.id = allocateCellId (d);
    applyIdHash (c);
    const auto id = static_cast<std::uint32_t> (c.id);
    c.vx = (hash01 ((4u * id) ^ (g - 1u)) - 0.5) * 0.02;
    c.vy = (hash01 ((4u * id) ^ (g + 2u)) - 0.5) * 0.02;
    c.x = x;
    c.y = y;
    c.mass = mass < 10.0 ? mass : 10.0;

    const auto group = dealFromDeck (d.colorGroupDeck, d.rngState);
    c.colorGroup = static_cast<std::int32_t> (group);
    c.colorVariant = static_cast<std::int32_t> (dealFromDeck (d.colorVariantDecks[static_cast<std::size_t> (group & 3u)], d.rngState));

    if (handOver.has_value() && handOver->motif >= 0)
    {
        const int colour = handOver->colorIndex < 0 ? 0 : (handOver->colorIndex >= colorCount ? colorCount - 1 : handOver->colorIndex);
        c.motif = handOver->motif;
        c.colorGroup = colour / 2;
        c.colorVariant = colour % 2;
        markSeen (d, handOver->motif, colour);
    }

    c.bornAt = dishNow (d);
    c.splitBorn = splitBorn;
    c.active = true;
    d.spawnCount = saturatingIncrement (d.spawnCount);
    return slot;
}

void markAllDying (Dish& d) noexcept
{
    const double at = dishNow (d) + 150.0;
    for (auto& c : d.cells)
    {
        if (! c.active)
            continue;
        c.dying = true;
        c.dieAt = at;
    }
}

void launchCell (Dish& d, Cell& c) noexcept
{
    double direction = 0.0;
    if (std::hypot (c.x, c.y) > 0.02)
    {
        direction = std::atan2 (c.y, c.x);
    }
    else
    {
        direction = static_cast<double> (d.launchCounter) * goldenAngle;
        d.launchCounter = static_cast<std::int32_t> (static_cast<std::uint32_t> (d.launchCounter) + 1u);
    }
    c.vx = 0.00067 * std::cos (direction);
    c.vy = 0.00067 * std::sin (direction);
    c.launched = true;
}

PendingCell sunflowerEntry (Dish& d, int motif, int colour) noexcept
{
    auto& q = d.arrivalQueue;
    const std::int32_t s = (q.seedSequence < 0 || q.seedSequence > maxCellId) ? 0 : q.seedSequence;
    q.seedSequence = nextAfter (s);

    const double rho = std::sqrt ((static_cast<double> (s % 12) + 0.5) / 12.0) * 0.8;
    const double jitter = (hash01 (static_cast<std::uint32_t> (s) ^ g) - 0.5) * 0.06 + 1.0;
    const double theta = static_cast<double> (s) * goldenAngle;

    PendingCell e;
    e.motif = motif;
    e.colour = colour;
    e.x = jitter * rho * std::cos (theta);
    e.y = jitter * rho * std::sin (theta);
    e.mass = 3.0;
    e.id = -1;
    e.launch = true;
    return e;
}

void seedDish (Dish& d) noexcept
{
    resetDish (d);
    fillDeckCounts (d);

    const int founder = spawnCell (d, false, std::nullopt, 0.0, 0.0, 3.0);
    if (founder != noSlot)
    {
        Cell& c = d.cells[static_cast<std::size_t> (founder)];
        c.founder = true;
        launchCell (d, c);
    }

    auto& q = d.arrivalQueue;
    q.count = 11;
    q.nextIndex = 0;
    q.interval = arrivalIntervalMs;
    q.dueAt = dishNow (d) + arrivalIntervalMs;
    q.arrivalsCounted = true;
    for (int k = 0; k < 11; ++k)
        q.entries[static_cast<std::size_t> (k)] = sunflowerEntry (d, -1, -1);
}

} // namespace brivola
