// Checks that a document read by the store obeys every rule of its model, and that writing it and
// reading it back gives the same document. Shared by the GoogleTest fuzz cases and the libFuzzer
// target, so it uses no test framework.
#pragma once

#include "store/SharedData.h"

#include <cmath>

namespace brivola::testing
{

/** Empty when `document` keeps every invariant of the model, else the first broken one. */
inline juce::String sharedDataInvariantViolation (const SharedData& document)
{
    if (document.version != 1 && document.version != 2)
        return "version " + juce::String (document.version);

    if (document.revision < 0)
        return "negative revision";

    for (const auto& [key, time] : document.discovered)
    {
        if (! isValidSpeciesKey (key))
            return "invalid discovered key " + key;

        if (time < 0)
            return "negative discovery time";
    }

    for (const auto& key : document.pipetteSeen)
        if (! isValidSpeciesKey (key))
            return "invalid pipetteSeen key " + key;

    const auto& quota = document.uniqueQuota;

    if (quota.day.length() > maxQuotaDayLength)
        return "day too long";

    if (quota.granted < 0 || quota.granted > 2 || quota.discoveries < quota.granted || quota.discoveries > 10)
        return "daily counters out of range";

    for (const auto& slot : document.presets)
    {
        if (slot.revision < 0)
            return "negative slot revision";

        if (! presetDataFits (slot.data))
            return "preset data too large";

        if (document.version == 1 && slot.revision > document.revision)
            return "version-1 revision below a slot revision";
    }

    const auto& stats = document.stats;

    if (! std::isfinite (stats.incubationTime) || stats.incubationTime < 0.0)
        return "bad incubation time";

    if (stats.mergeCount < 0 || stats.splitCount < 0 || stats.spawnCount < 0)
        return "negative count";

    return {};
}

/** Empty when the written text of `document` reads back as a document with the same written
    text, else a description of the difference. */
inline juce::String sharedDataRoundTripViolation (const SharedData& document)
{
    const auto text = sharedDocumentText (document);
    SharedData reread;

    if (! parseSharedDocument (text, reread))
        return "written text is unreadable";

    if (reread.version != 2)
        return "written version is not 2";

    if (sharedDocumentText (reread) != text)
        return "written text changes on re-reading";

    return {};
}

} // namespace brivola::testing
