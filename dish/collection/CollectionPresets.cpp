// The twelve preset slots: saving, clearing, flushing, recalling and auditioning.
#include "dish/collection/Collection.h"

#include "dish/DishStep.h"

#include <memory>

namespace brivola
{

namespace
{
bool validSlot (int slot) noexcept
{
    return slot >= 0 && slot < numPresetSlots;
}
} // namespace

const PresetSlotCopy& Collection::getPresetSlot (int slot) const noexcept
{
    static const PresetSlotCopy empty {};
    return validSlot (slot) ? slots[static_cast<std::size_t> (slot)] : empty;
}

bool Collection::hasPendingPresetWrite (int slot) const noexcept
{
    return validSlot (slot) && pendingWrites[static_cast<std::size_t> (slot)].op != PendingPresetWrite::Op::none;
}

//==============================================================================
void Collection::savePresetSlot (int slot)
{
    if (! validSlot (slot))
        return;

    std::array<Cell, dishCapacity> cells {};
    {
        const juce::ScopedLock sl (host.dishLock());
        cells = host.lockedMainDish().cells;
    }

    juce::var value = presetFromCells (cells, host.currentSoundParams());
    if (value.isVoid())
        return; // an empty dish is never saved

    auto& pending = pendingWrites[static_cast<std::size_t> (slot)];
    pending.op = PendingPresetWrite::Op::save;
    pending.value = std::move (value);
    flushPresetSlot (slot);
}

void Collection::clearPresetSlot (int slot)
{
    if (! validSlot (slot))
        return;

    auto& pending = pendingWrites[static_cast<std::size_t> (slot)];
    pending.op = PendingPresetWrite::Op::clear;
    pending.value = juce::var();
    flushPresetSlot (slot);
}

bool Collection::flushPresetSlot (int slot)
{
    auto& pending = pendingWrites[static_cast<std::size_t> (slot)];
    if (pending.op == PendingPresetWrite::Op::none)
        return true;

    const PresetResult result = pending.op == PendingPresetWrite::Op::save ? store.savePreset (slot, pending.value)
                                                                           : store.clearPreset (slot);
    using Status = SharedStore::Status;
    switch (result.status)
    {
        case Status::ok:
            slots[static_cast<std::size_t> (slot)] = PresetSlotCopy { normalizePreset (result.slotData), result.slotRevision };
            ++presetsRevision;
            pending = {};
            noteStoreResult (result.status);
            return true;

        case Status::unchanged:
            pending = {};
            noteStoreResult (result.status);
            return true;

        case Status::busy:
        case Status::failed:
        case Status::writeFailed:
            noteStoreResult (result.status);
            return false;

        case Status::fresh:
        case Status::reset:
        case Status::refused:
        default:
            pending = {};
            lastCallBusy = false;
            setNotice (StorageNotice::writeFailed);
            return false;
    }
}

bool Collection::flushPendingPresets()
{
    for (int slot = 0; slot < numPresetSlots; ++slot)
        if (! flushPresetSlot (slot))
            return false;
    return true;
}

//==============================================================================
void Collection::recallPresetSlot (int slot)
{
    if (! validSlot (slot))
        return;
    const juce::var preset = slots[static_cast<std::size_t> (slot)].value;
    if (! preset.isObject())
        return;

    const auto sound = presetSoundParams (preset);
    for (std::size_t i = 0; i < SoundParams::count; ++i)
        if (sound.present[i])
            host.setSoundParamNotifyingHost (static_cast<int> (i), sound.params[i]);

    const auto arrivals = presetArrivals (preset);
    const auto pal = palette();

    const juce::ScopedLock sl (host.dishLock());
    Dish& dish = host.lockedMainDish();

    // The present cells fade out; the saved ones all arrive in the tick that removes them, with
    // their saved ids and masses, and are not counted as arrivals.
    markAllDying (dish);
    auto& queue = dish.arrivalQueue;
    queue.entries = arrivals.entries;
    queue.count = arrivals.count;
    queue.nextIndex = 0;
    queue.interval = 0.0;
    queue.dueAt = dishNow (dish) + 150.0;
    queue.arrivalsCounted = false;
    host.afterDishRewrite (false);

    autoDropCountdown = -1;
    if (queue.nextIndex >= queue.count && countLiveCells (dish) == 0)
        scheduleAutoDropLocked (dish, pal);
}

void Collection::startPresetPreview (int slot, int note, int token)
{
    if (! validSlot (slot) || token <= 0 || note < 0 || note > 127 || ! host.isPreparedForAudio())
        return;
    const juce::var preset = slots[static_cast<std::size_t> (slot)].value;
    if (! preset.isObject())
        return;

    const SoundParams params = presetSoundParams (preset).params; // absent values stay 0
    const auto arrivals = presetArrivals (preset);

    // A fresh, resting dish with the preset's cells, stepped once, built outside the lock.
    auto local = std::make_unique<Dish>();
    resetDish (*local);
    fillDeckCounts (*local);
    local->exchange = nullptr; // an audition records nothing and uses no grant
    local->activity = 0.0;
    for (int i = 0; i < arrivals.count; ++i)
    {
        const auto& e = arrivals.entries[static_cast<std::size_t> (i)];
        placeCell (*local, e.motif, e.colour, e.id, e.x, e.y, e.mass);
    }
    dishStep (*local);

    const juce::ScopedLock sl (host.dishLock());
    host.lockedPreviewDish() = *local;
    host.requestPresetPreview (params, note, token);
}

void Collection::stopPresetPreview (int token)
{
    const juce::ScopedLock sl (host.dishLock());
    const PresetPreviewStatus status = host.presetPreviewStatus();
    if (status.pending && status.requestedToken == token)
        host.releasePendingPresetPreviewAtOnce();
    if (status.playing && status.playingToken == token)
        host.releasePlayingPresetPreview();
}

} // namespace brivola
