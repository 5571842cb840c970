#pragma once

#include "plugin/DishBlob.h"

#include <juce_data_structures/juce_data_structures.h>

#include <memory>
#include <optional>

namespace brivola
{

/** The root type of the saved parameter tree and its property holding the dish blob. */
inline constexpr const char* hostStateDishProperty = "dish";

/** Adds the dish blob, base-64 encoded, to a copy of the parameter tree's state. */
juce::ValueTree stateTreeWithDish (juce::ValueTree parameterState, const SavedDish& saved);

/** A host state that passed the container and text checks. */
struct RestoredHostState
{
    juce::ValueTree parameters;       // replaces the parameter tree's state
    std::unique_ptr<SavedDish> dish;  // null when the dish was absent or rejected
};

/** Reads a host state: size limit (1..262144 bytes), the framework's XML container (magic, text
    length, text), the text checks, the XML parse (as the framework's getXmlFromBinary does it),
    then the dish blob. Returns nothing when any check before the parameters fails; a bad dish only
    leaves `dish` null. */
std::optional<RestoredHostState> readHostState (const void* data, int sizeInBytes, double samplesPerTick,
                                                SpeciesExchange* exchange);

} // namespace brivola
