#pragma once

#include "dish/Dish.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace brivola
{

/** What the host project stores besides the parameters: the page's settings, the dish clock and
    the whole main dish. */
struct SavedDish
{
    std::int32_t page = 0;
    double theme = 1.0;
    double tickAccumulator = 0.0;
    std::uint64_t tickCounter = 0;
    bool clockAccepted = true; // on reading: the clock part fits the current tick length
    Dish dish;
};

inline constexpr std::int32_t dishBlobVersion = 5;
inline constexpr std::size_t dishBlobSize = 5716;

/** Writes the version-5 dish blob: little-endian, packed, field by field. */
std::vector<std::uint8_t> encodeDishBlob (const SavedDish& saved);

/** Reads and validates a dish blob. Returns nothing when any check fails (the dish is then
    ignored as a whole). `samplesPerTick` is the processor's current tick length, which decides
    whether the saved clock is taken. The result's dish is attached to `exchange`. Masses above 10
    are cut to 10. */
std::unique_ptr<SavedDish> decodeDishBlob (const std::uint8_t* data, std::size_t size,
                                           double samplesPerTick, SpeciesExchange* exchange);

/** The checks a host state's XML text must pass before it is parsed: well-formed UTF-8 (no
    overlong forms, surrogates or code points above U+10FFFF), no markup declarations ("<!"),
    processing instructions skipped, every "<" closed outside quoted values, nesting of at most 32
    levels that never closes more than it opened and ends balanced, at most 65536 tags. */
bool stateTextIsAcceptable (const char* text, std::size_t length) noexcept;

} // namespace brivola
