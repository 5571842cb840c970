// Checks that a document read by the store obeys every rule of its model, and that writing it and
// reading it back gives the same document. Shared by the GoogleTest fuzz cases and the libFuzzer
// target, so it uses no test framework.
#pragma once

#include "store/SharedData.h"

#include <algorithm>
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

/** Empty when the written text of `document` reads back as the same document, else a description
    of the difference (the incubation time within rounding to 15 decimal places). Preset data is the
    one other exception allowed: numbers beyond the double range
    after rounding to 15 decimal places (such as 1.7976931348623157e308) come back as null, so for
    preset data only the second write must give the text of the first. */
inline juce::String sharedDataRoundTripViolation (const SharedData& document)
{
    const auto text = sharedDocumentText (document);
    SharedData reread;

    if (! parseSharedDocument (text, reread))
        return "written text is unreadable";

    if (reread.version != 2)
        return "written version is not 2";

    if (reread.revision != document.revision)
        return "the revision changed on re-reading";

    if (reread.discovered != document.discovered || reread.pipetteSeen != document.pipetteSeen)
        return "the species keys changed on re-reading";

    if (reread.uniqueQuota != document.uniqueQuota)
        return "the daily counters changed on re-reading";

    // The written text keeps 15 decimal places: the incubation time may lose its last digits once.
    const auto& stats = document.stats;
    const auto& rereadStats = reread.stats;

    if (rereadStats.mergeCount != stats.mergeCount || rereadStats.splitCount != stats.splitCount
        || rereadStats.spawnCount != stats.spawnCount
        || std::abs (rereadStats.incubationTime - stats.incubationTime) > 1.0e-14 * std::max (1.0, stats.incubationTime))
        return "the statistics changed on re-reading";

    for (size_t i = 0; i < document.presets.size(); ++i)
    {
        const auto& slot = document.presets[i];

        if (reread.presets[i].revision != slot.revision)
            return "a slot revision changed on re-reading";

        if (slot.revision == 0 && ! reread.presets[i].data.isVoid())
            return "a never-written slot came back with data";
    }

    const auto secondText = sharedDocumentText (reread);
    SharedData third;

    if (! parseSharedDocument (secondText, third) || sharedDocumentText (third) != secondText)
        return "written text changes on re-reading twice";

    return {};
}

} // namespace brivola::testing
