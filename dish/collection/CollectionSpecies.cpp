// Species and discoveries, the daily-quota arbitration, the pipette and the automatic drop.
#include "dish/collection/Collection.h"

#include "dish/DishStep.h"
#include "dish/Random.h"

#include <algorithm>
#include <cmath>

namespace brivola
{

namespace
{
juce::String toJuceString (std::string_view s)
{
    return juce::String (s.data(), s.size());
}

/** The species key: shape name, "|", colour string. */
juce::String speciesKey (int motif, int colour)
{
    return toJuceString (shapeName (motif)) + "|" + toJuceString (colorString (colour));
}

/** Lowest set bit of a species bit set, or −1. */
int lowestSpeciesBit (const SpeciesBits& bits) noexcept
{
    for (std::size_t w = 0; w < bits.size(); ++w)
    {
        const std::uint64_t word = bits[w].load (std::memory_order_acquire);
        if (word != 0)
        {
            int bit = 0;
            while (((word >> bit) & 1u) == 0)
                ++bit;
            const int s = static_cast<int> (w) * 64 + bit;
            return s < speciesCount ? s : -1;
        }
    }
    return -1;
}

bool queueExhausted (const Dish& d) noexcept
{
    return d.arrivalQueue.nextIndex >= d.arrivalQueue.count;
}

bool settledAndEmpty (const Dish& d) noexcept
{
    return queueExhausted (d) && countLiveCells (d) == 0;
}
} // namespace

//==============================================================================
PipettePalette Collection::palette() const noexcept
{
    return pipettePalette (plainColorMask, host.sharedSpecies());
}

void Collection::applyDiscoveries (const SharedData& document)
{
    auto& x = host.sharedSpecies();
    std::uint8_t mask = 0;
    juce::StringArray keys;
    for (const auto& entry : document.discovered)
    {
        const juce::String& key = entry.first;
        keys.add (key);
        const int bar = key.indexOfChar ('|');
        if (bar < 0)
            continue;
        const auto motif = motifFromName (key.substring (0, bar).toStdString());
        const auto colour = colorFromString (key.substring (bar + 1).toStdString());
        if (! motif.has_value() || ! colour.has_value())
            continue;
        if (*motif < 0)
            mask = static_cast<std::uint8_t> (mask | (1u << *colour));
        else
            markSpeciesDiscovered (x, speciesIndex (*motif, *colour)); // never cleared
    }
    plainColorMask = mask;

    juce::StringArray seen;
    for (const auto& key : document.pipetteSeen)
        seen.add (key);

    if (keys != discoveredKeys || seen != pipetteSeenKeys)
    {
        discoveredKeys = std::move (keys);
        pipetteSeenKeys = std::move (seen);
        ++pipetteRevision;
    }
}

bool Collection::recordSeenSpecies()
{
    auto& x = host.sharedSpecies();

    // The dish may set bits again while this runs; a bound keeps one second's work finite.
    for (int round = 0; round < 2 * speciesCount; ++round)
    {
        const int s = lowestSpeciesBit (x.seenBits);
        if (s < 0)
            return true;
        if (! clearSpeciesBit (x.seenBits, s))
            continue;

        const auto result = store.addDiscovery (speciesKey (s / colorCount, s % colorCount), host.currentTimeMs());
        if (storeCallOutcome (result.status) == StoreCallOutcome::done)
        {
            markSpeciesDiscovered (x, s);
            grantedToday = -1;
            discoveriesToday = -1;
            noteStoreResult (result.status);
            continue;
        }

        setSpeciesBit (x.seenBits, s);
        noteStoreResult (result.status);
        return false;
    }
    return true;
}

bool Collection::recordPlainColours()
{
    if (plainColorMask == 0xFF)
        return true;

    DishViewSlots view {};
    if (! host.readLatestDishView (view))
        return true; // nothing known this second; the next one reads again

    for (const auto& slot : view)
    {
        if (! (slot[0] >= 0.5f) || ! (slot[7] < -0.5f))
            continue; // inactive, or a motif cell

        const float group = slot[5];
        const int g = ! (group >= 0.0f) ? 0 : (group >= 3.0f ? 3 : static_cast<int> (group));
        const int k = 2 * g + (slot[6] >= 1.0f ? 1 : 0);
        if ((plainColorMask >> k) & 1u)
            continue;

        const auto result = store.addDiscovery (speciesKey (-1, k), host.currentTimeMs());
        if (storeCallOutcome (result.status) != StoreCallOutcome::done)
        {
            noteStoreResult (result.status);
            return false;
        }
        plainColorMask = static_cast<std::uint8_t> (plainColorMask | (1u << k));
        noteStoreResult (result.status);
    }
    return true;
}

void Collection::armGrant (int species, std::int32_t kind, const juce::String& day) noexcept
{
    auto& x = host.sharedSpecies();
    x.grantedSpecies = Species { species / colorCount, species % colorCount };
    x.grantKind = kind;
    grantDay = day;
    x.grantArmed.store (1, std::memory_order_release);
}

bool Collection::arbitrateDiscoveries()
{
    auto& x = host.sharedSpecies();
    if (x.grantArmed.load (std::memory_order_acquire) != 0)
        return true; // the dish has not used the last grant yet

    const bool birth = x.birthNoticed.load (std::memory_order_acquire) != 0;
    const std::int32_t proposal = x.proposal.load (std::memory_order_acquire);
    if (proposal < 1 && ! birth)
        return true;

    const juce::String today = host.localDate();
    bool grantOpen = true, discoveryOpen = true;
    if (today == dayKey)
    {
        grantOpen = ! (grantedToday > 1 || discoveriesToday > 9);
        discoveryOpen = ! (discoveriesToday > 9);
    }

    if (! ((birth && grantOpen) || (proposal >= 1 && discoveryOpen)))
    {
        if (proposal >= 1 && ! discoveryOpen)
        {
            auto expected = proposal;
            x.proposal.compare_exchange_strong (expected, 0);
        }
        return true;
    }

    const SharedSnapshot snapshot = store.read();
    noteStoreResult (snapshot.status);
    if (storeCallOutcome (snapshot.status) != StoreCallOutcome::done)
        return false;

    applyDiscoveries (snapshot.document);
    const auto& quota = snapshot.document.uniqueQuota;
    dayKey = today;
    if (quota.day == today)
    {
        grantedToday = quota.granted;
        discoveriesToday = quota.discoveries;
    }
    else
    {
        // Counters of another day: the store restarts them at the next take.
        grantedToday = 0;
        discoveriesToday = 0;
    }

    // A birth: one of the day's birth grants picks an undiscovered species.
    if (birth && grantedToday < maxGrantsPerDay && discoveriesToday < maxDiscoveriesPerDay)
    {
        std::array<int, speciesCount> open {};
        int n = 0;
        for (int s = 0; s < speciesCount; ++s)
            if (! testSpeciesBit (x.discoveredBits, s))
                open[static_cast<std::size_t> (n++)] = s;

        if (n == 0)
        {
            x.birthNoticed.store (0, std::memory_order_release);
        }
        else
        {
            std::uint32_t rng = 0;
            {
                const juce::ScopedLock sl (host.dishLock());
                rng = host.lockedMainDish().rngState;
            }
            const double pick = std::floor (static_cast<double> (n) * hash01 (rng ^ goldenHashKey));
            const int index = std::min (static_cast<int> (pick), n - 1);

            int granted = 0, discoveries = 0;
            const int taken = store.takeDailyQuota (today, maxGrantsPerDay, maxDiscoveriesPerDay, granted, discoveries);
            if (taken == 2)
            {
                lastCallBusy = true;
                setNotice (StorageNotice::busy);
                return false;
            }
            noteStoreResult (SharedStore::Status::ok);
            grantedToday = granted;
            discoveriesToday = discoveries;
            if (taken == 0)
            {
                armGrant (open[static_cast<std::size_t> (index)], 1, today);
                x.birthNoticed.store (0, std::memory_order_release);
                return true;
            }
        }
    }

    // A proposal from a mutation.
    if (proposal >= 1)
    {
        const int t = proposal - 1;
        if (t < speciesCount)
        {
            if (testSpeciesBit (x.discoveredBits, t))
            {
                armGrant (t, 0, today);
            }
            else
            {
                int discoveries = 0;
                const int taken = store.takeDailyDiscovery (today, maxGrantsPerDay, maxDiscoveriesPerDay, discoveries);
                if (taken == 2)
                {
                    lastCallBusy = true;
                    setNotice (StorageNotice::busy);
                    return false; // the proposal stays for the next second
                }
                noteStoreResult (SharedStore::Status::ok);
                discoveriesToday = discoveries;
                if (taken == 0)
                    armGrant (t, 2, today);
            }
        }
        auto expected = proposal;
        x.proposal.compare_exchange_strong (expected, 0);
    }
    return true;
}

void Collection::returnArmedGrant()
{
    auto& x = host.sharedSpecies();
    if (x.grantArmed.exchange (0, std::memory_order_acq_rel) == 0)
        return;
    if (x.grantKind == 1)
        store.returnDailyQuota (grantDay);
    else if (x.grantKind == 2)
        store.returnDailyDiscovery (grantDay);
}

//==============================================================================
void Collection::scheduleAutoDropLocked (Dish& dish, const PipettePalette& pal) noexcept
{
    if (const auto species = drawPaletteSpecies (dish, pal))
    {
        autoDropSpecies = *species;
        autoDropCountdown = autoDropDelayTicks;
    }
}

void Collection::setPipetteMode (bool on)
{
    const auto pal = palette();
    const juce::ScopedLock sl (host.dishLock());
    pipetteMode.exchange (on);
    autoDropCountdown = -1;
    if (! on)
    {
        Dish& dish = host.lockedMainDish();
        if (settledAndEmpty (dish))
            scheduleAutoDropLocked (dish, pal);
    }
}

void Collection::scheduleAutoDrop()
{
    if (pipetteMode.load())
        return;

    {
        const juce::ScopedLock sl (host.dishLock());
        if (autoDropCountdown > 0 || ! settledAndEmpty (host.lockedMainDish()))
            return;
    }

    const auto pal = palette();
    if (pal.count == 0)
        return;

    const juce::ScopedLock sl (host.dishLock());
    if (autoDropCountdown < 1)
    {
        autoDropCountdown = -1;
        Dish& dish = host.lockedMainDish();
        if (settledAndEmpty (dish))
            scheduleAutoDropLocked (dish, pal);
    }
}

int Collection::autoDropTick (Dish& mainDish) noexcept
{
    if (autoDropCountdown <= 0)
        return noSlot;
    if (--autoDropCountdown != 0)
        return noSlot;
    if (pipetteMode.load (std::memory_order_relaxed) || ! settledAndEmpty (mainDish))
        return noSlot;
    return dropCell (mainDish, autoDropSpecies.motif, autoDropSpecies.colorIndex, 0.0, 0.0, 0.0, 0.0);
}

void Collection::previewPipette (const juce::String& shape, const juce::String& colour, double pan)
{
    if (! std::isfinite (pan) || ! host.isPreparedForAudio())
        return;
    const auto motif = motifFromName (shape.toStdString());
    const auto colourIndex = colorFromString (colour.toStdString());
    if (! motif.has_value() || ! colourIndex.has_value())
        return;

    const juce::ScopedLock sl (host.dishLock());
    host.auditionSpecies (Species { *motif, *colourIndex }, std::clamp (pan, -1.0, 1.0));
}

void Collection::dropPipette (const juce::String& shape, const juce::String& colour, double x, double y, double vx, double vy)
{
    const auto motif = motifFromName (shape.toStdString());
    const auto colourIndex = colorFromString (colour.toStdString());
    if (! motif.has_value() || ! colourIndex.has_value())
        return;
    if (! std::isfinite (x) || ! std::isfinite (y) || ! std::isfinite (vx) || ! std::isfinite (vy))
        return;

    const juce::ScopedLock sl (host.dishLock());
    const int slot = dropCell (host.lockedMainDish(), *motif, *colourIndex,
                               std::clamp (x, -1.0, 1.0), std::clamp (y, -1.0, 1.0), vx, vy);
    if (slot != noSlot)
        host.afterDishRewrite (true);
}

void Collection::markPipetteSeen (const juce::StringArray& keys)
{
    if (keys.size() > maxSeenKeys)
        return;
    for (const auto& key : keys)
        if (key.length() <= maxSeenKeyLength && discoveredKeys.contains (key) && ! pipetteSeenKeys.contains (key))
            pendingSeenKeys.addIfNotAlreadyThere (key);
    retryPendingPipetteSeen();
}

bool Collection::retryPendingPipetteSeen()
{
    if (pendingSeenKeys.isEmpty())
        return true;

    const juce::StringArray sent = pendingSeenKeys;
    const auto result = store.update ([sent] (SharedData& document)
    {
        bool changed = false;
        for (const auto& key : sent)
            if (isValidSpeciesKey (key) && document.pipetteSeen.insert (key).second)
                changed = true;
        return changed;
    });

    switch (storeCallOutcome (result.status))
    {
        case StoreCallOutcome::done:
            for (const auto& key : sent)
                pendingSeenKeys.removeString (key);
            noteStoreResult (result.status);
            return true;

        case StoreCallOutcome::retry:
            noteStoreResult (result.status);
            return false;

        case StoreCallOutcome::drop:
            pendingSeenKeys.clear();
            noteStoreResult (result.status);
            return false;
    }
    return false;
}

} // namespace brivola
