#include "dish/Pipette.h"

namespace brivola
{

PipettePalette pipettePalette (std::uint8_t plainColorMask, std::uint64_t discoveredLow, std::uint64_t discoveredHigh) noexcept
{
    PipettePalette palette;
    for (int c = 0; c < colorCount; ++c)
        if ((plainColorMask >> c) & 1u)
            palette.entries[static_cast<std::size_t> (palette.count++)] = Species { -1, c };
    for (int s = 0; s < speciesCount; ++s)
    {
        const std::uint64_t word = s < 64 ? discoveredLow : discoveredHigh;
        if ((word >> (s & 63)) & 1u)
            palette.entries[static_cast<std::size_t> (palette.count++)] = Species { s / 8, s % 8 };
    }
    return palette;
}

PipettePalette pipettePalette (std::uint8_t plainColorMask, const SpeciesExchange& exchange) noexcept
{
    return pipettePalette (plainColorMask,
                           exchange.discoveredBits[0].load (std::memory_order_acquire),
                           exchange.discoveredBits[1].load (std::memory_order_acquire));
}

std::optional<Species> drawPaletteSpecies (Dish& d, const PipettePalette& palette) noexcept
{
    const int n = palette.count < 0 ? 0 : (palette.count > static_cast<int> (palette.entries.size()) ? static_cast<int> (palette.entries.size()) : palette.count);
    if (n == 0)
        return std::nullopt;
    const double u = drawRandom (d);
    auto index = static_cast<int> (static_cast<double> (n) * u);
    if (index > n - 1)
        index = n - 1;
    return palette.entries[static_cast<std::size_t> (index)];
}

bool rerollDish (Dish& d, const RerollChoice& choice) noexcept
{
    const int n = choice.count < 0 ? 0 : (choice.count > static_cast<int> (choice.species.size()) ? static_cast<int> (choice.species.size()) : choice.count);
    if (n == 0)
        return false;

    auto& q = d.arrivalQueue;
    std::array<PendingCell, dishCapacity> entries {};
    for (int k = 0; k < n; ++k)
    {
        const Species& s = choice.species[static_cast<std::size_t> (k)];
        entries[static_cast<std::size_t> (k)] = sunflowerEntry (d, s.motif, s.colorIndex);
    }
    markAllDying (d);
    q.entries = entries;
    q.count = n;
    q.nextIndex = 0;
    q.interval = arrivalIntervalMs;
    q.dueAt = dishNow (d) + 150.0;
    q.arrivalsCounted = true;
    return true;
}

} // namespace brivola
