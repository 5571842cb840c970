#pragma once

#include "dish/Dish.h"

#include <optional>

namespace brivola
{

/** The species the pipette offers: the recorded plain colours in colour order, then every
    discovered species in ascending species number. */
struct PipettePalette
{
    std::array<Species, colorCount + speciesCount> entries {};
    int count = 0;
};

/** Builds the palette from the plain-colour mask (bit k = plain colour k) and the discovered bits
    (species 0 … 63 in the low word, 64 … 119 in the high word). */
PipettePalette pipettePalette (std::uint8_t plainColorMask, std::uint64_t discoveredLow, std::uint64_t discoveredHigh) noexcept;

/** Builds the palette from the plain-colour mask and the species record's discovered bits. */
PipettePalette pipettePalette (std::uint8_t plainColorMask, const SpeciesExchange& exchange) noexcept;

/** One palette entry picked with one draw u from the dish generator (index min(floor(count × u),
    count − 1)), as the automatic drop does; nullopt for an empty palette (no draw then). */
std::optional<Species> drawPaletteSpecies (Dish& d, const PipettePalette& palette) noexcept;

/** The twelve species of a reroll, in queue order. */
struct RerollChoice
{
    std::array<Species, 12> species {};
    int count = 0; // 12, or 0 for an empty palette
};

/** Chooses twelve palette entries without repetition, refilling the pool when it runs out, each
    choice uniform over the remaining pool. `pickBelow (n)` returns a uniform integer in
    [0, n); the processor passes the process-wide system random generator. */
template <typename PickBelow>
RerollChoice chooseRerollSpecies (const PipettePalette& palette, PickBelow&& pickBelow)
{
    RerollChoice choice;
    const int n = palette.count < 0 ? 0 : (palette.count > static_cast<int> (palette.entries.size()) ? static_cast<int> (palette.entries.size()) : palette.count);
    if (n == 0)
        return choice;

    std::array<int, colorCount + speciesCount> pool {};
    int poolSize = 0;
    for (auto& s : choice.species)
    {
        if (poolSize == 0)
        {
            for (int k = 0; k < n; ++k)
                pool[static_cast<std::size_t> (k)] = k;
            poolSize = n;
        }
        int j = static_cast<int> (pickBelow (poolSize));
        j = j < 0 ? 0 : (j >= poolSize ? poolSize - 1 : j);
        s = palette.entries[static_cast<std::size_t> (pool[static_cast<std::size_t> (j)])];
        pool[static_cast<std::size_t> (j)] = pool[static_cast<std::size_t> (--poolSize)];
    }
    choice.count = static_cast<int> (choice.species.size());
    return choice;
}

/** Replaces the population (call under the callback lock): the present cells start dying and the
    chosen species are queued on the sunflower rule, 62.5 ms apart, the first 150 ms from now, as
    counted arrivals. Returns false (and changes nothing) for an empty choice. */
bool rerollDish (Dish& d, const RerollChoice& choice) noexcept;

/** Chooses from the palette and rerolls in one call; false when the palette is empty. */
template <typename PickBelow>
bool rerollDish (Dish& d, const PipettePalette& palette, PickBelow&& pickBelow)
{
    return rerollDish (d, chooseRerollSpecies (palette, pickBelow));
}

} // namespace brivola
