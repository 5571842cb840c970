#pragma once

#include "dish/Dish.h"
#include "engine/SoundParams.h"

#include <juce_core/juce_core.h>

#include <array>

namespace brivola
{

/** A preset value as the processor keeps it: "cells" holds only well-formed cells ("x" and "y" in
    −1 … 1, "mass" in 1 … 10, a valid "color", "motif" only when it names a motif, "id" only when
    it is an integer in 0 … 16777215 not used by an earlier cell; at most 24 of them) and
    "fxControls" exactly twelve numbers in 0 … 1. A value without a well-formed cell gives void
    (an empty slot). */
juce::var normalizePreset (const juce::var& value);

/** The preset value of a dish: its live cells in slot order ("x", "y", "mass", "id", "color" and,
    for a motif cell, "motif") and the twelve sound parameters as "fxControls". Void when no cell
    is live: an empty dish is never saved. */
juce::var presetFromCells (const std::array<Cell, dishCapacity>& cells, const SoundParams& params);

/** The arrival entries of a preset's "cells", at most 24, in order: motif from "motif" (−1 when
    absent or unknown), colour from "color" (0 when absent or unknown), "x" and "y" (0 when
    absent), "mass" (1 when absent), id from "id" when it is an integer in 0 … 16777215 (else
    −1, allocate); launch clear. */
struct PresetArrivals
{
    std::array<PendingCell, dishCapacity> entries {};
    int count = 0;
};

PresetArrivals presetArrivals (const juce::var& preset);

/** The sound parameters of a preset's "fxControls": for each index 0 … 11 present in the array,
    the element as a number limited to 0 … 1 (anything else 0), and whether it was present. */
struct PresetSoundParams
{
    SoundParams params {};
    std::array<bool, SoundParams::count> present {};
};

PresetSoundParams presetSoundParams (const juce::var& preset);

/** True for a var holding a number (an integer or a double; not a boolean or a string). */
bool isNumberVar (const juce::var& v) noexcept;

/** True for a var holding an integer (32 or 64 bits). */
bool isIntegerVar (const juce::var& v) noexcept;

} // namespace brivola
