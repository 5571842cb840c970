#pragma once

#include "dish/Random.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace brivola
{

//==============================================================================
// Dish constants and the species vocabulary

/** Number of cell slots in a dish; also the polyphony of the main engine's dish voices. */
inline constexpr int dishCapacity = 24;

/** Dish time per tick in milliseconds (60 ticks per second). */
inline constexpr double tickMilliseconds = 1000.0 / 60.0;

/** Highest cell id; ids run 0 … 0xFFFFFF. */
inline constexpr std::int32_t maxCellId = 0xFFFFFF;

/** π × (3 − √5): the golden angle of sunflower placement and launch directions. */
inline constexpr double goldenAngle = 2.399963229728653;

/** Default interval between queued arrivals, ms. */
inline constexpr double arrivalIntervalMs = 62.5;

/** Result of a placing operation that found no free slot. */
inline constexpr int noSlot = -1;

inline constexpr int colorCount = 8;
inline constexpr int motifCount = 15;
inline constexpr int speciesCount = 120; // 15 motifs × 8 colours
inline constexpr int timbreCount = 128;  // (1 plain row + 15 motifs) × 8 colours

/** Colour strings by colour index (2 × colorGroup + colorVariant). */
inline constexpr std::array<std::string_view, colorCount> colorStrings {
    "#A9D1FD", "#B8A1FB", "#FCD9EC", "#FDB8C0", "#FCDA6F", "#FDC58E", "#A1F2BF", "#AFB5BE"
};

/** Motif names by motif index 0 … 14. */
inline constexpr std::array<std::string_view, motifCount> motifNames {
    "spade", "clover", "heart", "diamond", "crown", "gear", "star", "bolt",
    "puzzle", "bell", "leaf", "flower", "controller", "ribbon", "moon"
};

/** Shape name of a plain cell. */
inline constexpr std::string_view plainShapeName = "normal";

/** A species: a motif (−1 = plain, 0 … 14) with a colour index (0 … 7). */
struct Species
{
    std::int32_t motif = -1;
    std::int32_t colorIndex = 0;

    friend constexpr bool operator== (const Species&, const Species&) = default;
};

/** Colour index from a colour group (0 … 3) and variant (0 … 1); out-of-range inputs are limited
    (group to 0 … 3, any variant above 0 counts as 1). */
constexpr int colorIndex (int colorGroup, int colorVariant) noexcept
{
    const int g = colorGroup < 0 ? 0 : (colorGroup > 3 ? 3 : colorGroup);
    return 2 * g + (colorVariant > 0 ? 1 : 0);
}

/** Species number 8 × motif + colour (0 … 119), or −1 for a plain cell or an invalid pair. */
constexpr int speciesIndex (int motif, int colour) noexcept
{
    if (motif < 0 || motif >= motifCount || colour < 0 || colour >= colorCount)
        return -1;
    return 8 * motif + colour;
}

/** Timbre number 8 × (motif + 1) + colour (0 … 127; 0 … 7 are the plain cells). A motif outside
    0 … 14 selects the plain row; the colour is limited to 0 … 7. */
constexpr int timbreIndex (int motif, int colour) noexcept
{
    const int row = (motif >= 0 && motif < motifCount) ? motif + 1 : 0;
    const int col = colour < 0 ? 0 : (colour >= colorCount ? colorCount - 1 : colour);
    return 8 * row + col;
}

/** Shape name of a motif: a motif name, or "normal" for −1 and anything out of range. */
constexpr std::string_view shapeName (int motif) noexcept
{
    return (motif >= 0 && motif < motifCount) ? motifNames[static_cast<std::size_t> (motif)] : plainShapeName;
}

/** Colour string of a colour index limited to 0 … 7. */
constexpr std::string_view colorString (int colour) noexcept
{
    const int c = colour < 0 ? 0 : (colour >= colorCount ? colorCount - 1 : colour);
    return colorStrings[static_cast<std::size_t> (c)];
}

/** Motif index of a shape name: 0 … 14, −1 for "normal", or nullopt for an unknown name. */
constexpr std::optional<int> motifFromName (std::string_view name) noexcept
{
    if (name == plainShapeName)
        return -1;
    for (int m = 0; m < motifCount; ++m)
        if (motifNames[static_cast<std::size_t> (m)] == name)
            return m;
    return std::nullopt;
}

/** Colour index of a colour string (exact match), or nullopt. */
constexpr std::optional<int> colorFromString (std::string_view s) noexcept
{
    for (int c = 0; c < colorCount; ++c)
        if (colorStrings[static_cast<std::size_t> (c)] == s)
            return c;
    return std::nullopt;
}

//==============================================================================
// Records

/** One cell slot of the dish. Default values are the empty-slot values. Positions are in dish
    units (centre 0, 150 drawing pixels per unit), velocities in dish units per tick, times in
    dish-time milliseconds. */
struct Cell
{
    std::int32_t id = -1;
    bool active = false;
    double x = 0.0;
    double y = 0.0;
    double vx = 0.0;
    double vy = 0.0;
    double angle = 0.0;
    double spin = 0.0;
    double mass = 1.0;
    double stirEnergy = 0.0;
    double proximity = 0.0;
    double mergeCharge = 0.0;
    double splitCharge = 0.0;
    bool dying = false;
    std::int32_t colorGroup = 0;
    std::int32_t colorVariant = 0;
    std::int32_t motif = -1;
    double bornAt = 0.0;
    bool splitBorn = false;
    bool splitThisTick = false;
    bool founder = false;
    bool founderSplitDone = false;
    double flash = 1.0;
    bool launched = false;
    double founderSince = -1.0;
    double dieAt = -1.0;
};

/** Colour index of a cell (0 … 7). */
constexpr int colorIndex (const Cell& c) noexcept { return colorIndex (c.colorGroup, c.colorVariant); }

/** Species number of a cell (0 … 119), or −1 for a plain cell. */
constexpr int speciesIndex (const Cell& c) noexcept { return speciesIndex (c.motif, colorIndex (c)); }

/** Timbre number of a cell (0 … 127). */
constexpr int timbreIndex (const Cell& c) noexcept { return timbreIndex (c.motif, colorIndex (c)); }

/** Drawing radius of a cell in pixels. */
constexpr double cellRadiusPixels (double mass) noexcept { return 3.5 * mass + 4.0; }

/** Largest distance of a cell's centre from the dish centre, in dish units. */
constexpr double wallLimit (double mass) noexcept { return (134.0 - cellRadiusPixels (mass)) / 150.0; }

/** A live cell is active and not dying. */
constexpr bool isLive (const Cell& c) noexcept { return c.active && ! c.dying; }

/** A shuffle bag of small integers: every value 0 … n − 1 is dealt once, in an order drawn from the
    dish generator, before the bag is refilled and reshuffled (Fisher–Yates from the top). */
template <std::size_t Capacity>
struct ShuffleDeck
{
    std::array<std::uint64_t, Capacity> items {};
    std::uint64_t n = 0; // item count
    std::uint64_t r = 0; // items still to be dealt
};

/** One queued arrival. */
struct PendingCell
{
    std::int32_t motif = -1;  // −1 = none
    std::int32_t colour = -1; // colour index, −1 = draw from the decks
    double x = 0.0;
    double y = 0.0;
    double mass = 3.0;
    std::int32_t id = -1;     // −1 = allocate
    bool launch = false;      // give the cell the outward launch velocity when it arrives
};

/** Cells waiting to enter the dish one interval apart. */
struct ArrivalQueue
{
    std::array<PendingCell, dishCapacity> entries {};
    std::int32_t count = 0;            // entries in use
    std::int32_t nextIndex = 0;        // next entry to place
    double dueAt = 0.0;                // dish time of the next arrival, ms
    double interval = arrivalIntervalMs;
    bool arrivalsCounted = false;      // arrivals of this queue count as dish events
    std::int32_t arrivals = 0;         // counted arrivals since the processor last took them
    std::int32_t seedSequence = 0;     // sunflower placement counter
};

/** 120 species bits in two words; bit s = species s. */
using SpeciesBits = std::array<std::atomic<std::uint64_t>, 2>;

/** The species record a processor shares between its main dish and its discovery bookkeeping on
    the message thread. Only atomics cross threads:
    - `seenBits`: the dish sets bits with atomic OR; the bookkeeping claims them with atomic AND;
    - `discoveredBits`, `generation`: set by the bookkeeping (OR, increment), read by the dish;
    - `proposal`: written by the dish with compare-and-swap from 0, taken by the bookkeeping;
    - `birthNoticed`: set by the dish, cleared by the bookkeeping;
    - `grantArmed`: the bookkeeping writes `grantedSpecies` and `grantKind` only while it is clear,
      then stores 1 (release); the dish reads `grantedSpecies` after an acquire load that saw 1 and
      then stores 0. */
struct SpeciesExchange
{
    SpeciesBits discoveredBits {};
    std::atomic<std::int32_t> generation { 0 };
    std::atomic<std::uint8_t> birthNoticed { 0 };
    std::atomic<std::uint8_t> grantArmed { 0 };
    std::atomic<std::int32_t> proposal { 0 }; // 0 = none, else 1 + species
    Species grantedSpecies {};                // published by grantArmed
    std::int32_t grantKind = 0;               // which daily quota the grant used
    SpeciesBits seenBits {};
};

/** True when bit s (0 … 119) is set; false for any other s. */
bool testSpeciesBit (const SpeciesBits& bits, int s) noexcept;

/** Sets bit s (0 … 119) with atomic OR; returns true when it was clear before. */
bool setSpeciesBit (SpeciesBits& bits, int s) noexcept;

/** Clears bit s (0 … 119) with atomic AND; returns true when it was set before. */
bool clearSpeciesBit (SpeciesBits& bits, int s) noexcept;

/** Records species s as discovered: sets its bit and increments `generation` when it was new.
    Returns true when it was new. */
bool markSpeciesDiscovered (SpeciesExchange& x, int s) noexcept;

/** A two-component vector in dish units. */
struct DishVector
{
    double x = 0.0;
    double y = 0.0;
};

/** The petri dish: 24 cell slots with the dish's clock, event counters, random generator, shuffle
    decks, mutation state, arrival queue and slosh oscillator. A plain value; default values are
    those of `resetDish` (with no species record attached). */
struct Dish
{
    std::array<Cell, dishCapacity> cells {};
    ShuffleDeck<4> colorGroupDeck {};
    std::array<ShuffleDeck<2>, 4> colorVariantDecks {};
    std::uint64_t ticks = 0;
    std::uint64_t mergeCount = 0;
    std::uint64_t splitCount = 0;
    std::uint64_t spawnCount = 0;
    double lastBirthAt = -1e9;
    std::uint32_t rngState = 1;
    SpeciesExchange* exchange = nullptr; // the processor's species record; null = none (no seen
                                         // bits, grants, proposals or discovered draws)
    double mutationClock = 0.0;
    bool mutationToParent = false;
    ShuffleDeck<15> motifDeck {};
    ShuffleDeck<speciesCount> discoveredDeck {};
    std::array<std::int32_t, speciesCount> discoveredList {};
    std::int32_t discoveredGeneration = -1;
    std::int32_t discoveredCount = 0; // length of discoveredList
    std::int32_t nextId = 0;
    double activity = 0.75;
    double lastBounceSpeed = 0.0;
    bool stirring = false;
    DishVector sloshOffset {};
    DishVector sloshVelocity {};
    double swirl = 0.0;
    bool sloshActive = false;
    std::int32_t launchCounter = 0;
    ArrivalQueue arrivalQueue {};
};

//==============================================================================
// Operations (all run with the processor's callback lock held; none allocates or blocks)

/** Dish time of the current tick, ms. */
constexpr double dishNow (const Dish& d) noexcept { return static_cast<double> (d.ticks) * tickMilliseconds; }

/** One draw from the dish's Mulberry32 generator, in [0, 1). */
double drawRandom (Dish& d) noexcept;

/** Deals the next value of a shuffle deck, refilling and reshuffling it from the dish generator
    when it is empty; yields 0 for a deck with no items. */
template <std::size_t Capacity>
std::uint64_t dealFromDeck (ShuffleDeck<Capacity>& deck, std::uint32_t& rngState) noexcept
{
    const std::uint64_t n = deck.n < Capacity ? deck.n : Capacity;
    if (n == 0)
        return 0;
    if (deck.r == 0 || deck.r > n)
    {
        for (std::uint64_t k = 0; k < n; ++k)
            deck.items[k] = k;
        for (std::uint64_t v = n; v >= 2; --v)
        {
            const double u = mulberry32Next (rngState);
            auto j = static_cast<std::uint64_t> (static_cast<double> (v) * u);
            if (j > v - 1)
                j = v - 1;
            const std::uint64_t t = deck.items[v - 1];
            deck.items[v - 1] = deck.items[j];
            deck.items[j] = t;
        }
        deck.r = n;
    }
    --deck.r;
    return deck.items[deck.r];
}

/** Every slot to its empty-slot values; counters, clock, decks (n = 0), queue, slosh state and
    flags back to their initial values. The species record stays attached. */
void resetDish (Dish& d) noexcept;

/** A fresh dish: reset, deck counts filled, the launched founder and eleven sunflower arrivals. */
void seedDish (Dish& d) noexcept;

/** Fills the deck counts of a fresh dish (group 4, variants 2, motifs 15; nothing dealt yet). */
void fillDeckCounts (Dish& d) noexcept;

/** Number of live cells (active and not dying), 0 … 24. */
unsigned countLiveCells (const Dish& d) noexcept;

/** True when an active cell (dying included) or a queued arrival not yet placed holds this id. */
bool idInUse (const Dish& d, std::int32_t id) noexcept;

/** Allocates a fresh id from `nextId` (49 tries, then 0). */
std::int32_t allocateCellId (Dish& d) noexcept;

/** Places a cell of an explicit species (id −1 = allocate) into the first free slot. Returns the
    slot, or `noSlot` when all 24 slots are active. */
int placeCell (Dish& d, int motif, int colour, std::int32_t id, double x, double y, double mass) noexcept;

/** Places a cell with an allocated id and a colour drawn from the decks, or the hand-over species
    when one with a motif is given. Returns the slot, or `noSlot` when all 24 slots are active. */
int spawnCell (Dish& d, bool splitBorn, std::optional<Species> handOver, double x, double y, double mass) noexcept;

/** Every active cell starts dying and will be removed 150 ms from now. */
void markAllDying (Dish& d) noexcept;

/** Gives a cell the outward launch velocity (golden-angle direction near the centre). */
void launchCell (Dish& d, Cell& c) noexcept;

/** A queue entry on the sunflower rule, advancing `seedSequence`: mass 3, id −1, launch set. */
PendingCell sunflowerEntry (Dish& d, int motif, int colour) noexcept;

} // namespace brivola
