#include "editor/PageBridge.h"

#include "plugin/PluginProcessor.h"

#include <cmath>

namespace brivola
{

namespace
{
namespace ids
{
const juce::Identifier frame ("frame"), state ("state"), fx ("fx"), window ("window"), light ("light"),
    cells ("cells"), voices ("voices"), scope ("scope"), pipette ("pipette"), stats ("stats"),
    presets ("presets"), ui ("ui"), hostPaused ("hostPaused"), storageError ("storageError");
const juce::Identifier note ("note"), dx ("dx"), dy ("dy"), x ("x"), y ("y"), levels ("levels"),
    wave ("wave"), bars ("bars"), idle ("idle"), discovered ("discovered"), seen ("seen"),
    incubation ("incubation"), spawn ("spawn"), slots ("slots"), page ("page"), theme ("theme"),
    paused ("paused");
} // namespace ids

juce::var makeObject (std::initializer_list<std::pair<const juce::Identifier*, juce::var>> properties)
{
    auto* object = new juce::DynamicObject();
    for (const auto& [name, value] : properties)
        object->setProperty (*name, value);
    return juce::var (object);
}

juce::var keysToVar (const juce::StringArray& keys)
{
    juce::Array<juce::var> list;
    list.ensureStorageAllocated (keys.size());
    for (const auto& key : keys)
        list.add (key);
    return list;
}

juce::RangedAudioParameter* pageParameter (BrivolaAudioProcessor& p, int index)
{
    if (static_cast<unsigned> (index) >= static_cast<unsigned> (pageParameterCount))
        return nullptr;
    return p.getParameterTree().getParameter (parameterInfos[(std::size_t) index].id);
}

const juce::String storageUnavailableText ("Shared storage unavailable");
} // namespace

//==============================================================================
PageBridge::PageBridge (BrivolaAudioProcessor& p, PageWindow& w) : processor (p), window (w)
{
    cellsValues.ensureStorageAllocated (312);
    levelValues.ensureStorageAllocated (48);
    waveValues.ensureStorageAllocated (static_cast<int> (ScopeAnalysis::waveSize));
    barValues.ensureStorageAllocated (static_cast<int> (ScopeAnalysis::numBands));
}

PageBridge::~PageBridge() = default;

void PageBridge::publish (const juce::Identifier& name, const juce::var& value)
{
    if (! inTick)
    {
        window.emit (name, value);
        return;
    }
    if (frame == nullptr)
        frame = new juce::DynamicObject();
    frame->setProperty (name, value);
}

//==============================================================================
void PageBridge::tick()
{
    processor.advanceWhilePaused (window.nowMs());

    inTick = true;

    if (const int note = processor.getCurrentNote(); note != lastNote)
    {
        lastNote = note;
        publish (ids::state, makeObject ({ { &ids::note, note } }));
    }

    publishFx (false);
    publishWindowMotion();
    publishLight (false);
    publishDishView();
    publishVoices();
    publishScope();

    inTick = false;
    if (frame != nullptr)
    {
        const juce::var message (frame.get());
        frame = nullptr;
        window.emit (ids::frame, message);
    }

    publishPipette (false);
    publishStats (false);
    publishPresets (false);

    if (const auto paused = stepHostPause (hostPause, processor.getAudioBlockCount(), window.nowMs()))
        window.emit (ids::hostPaused, makeObject ({ { &ids::paused, *paused } }));

    auto& collection = processor.getCollection();
    if (const auto text = stepStorageNotice (storage, static_cast<int> (collection.getStorageNotice()), collection.isStoreReady()))
        window.emit (ids::storageError, *text);
}

void PageBridge::publishFx (bool force)
{
    const auto& parameters = processor.getParameterArray();
    juce::DynamicObject::Ptr changed;
    for (std::size_t i = 0; i < faderCache.size(); ++i)
    {
        const float v = parameters[i]->get();
        if (! force && faderCacheValid && std::abs (v - faderCache[i]) < 0.0001f)
            continue;
        faderCache[i] = v;
        if (changed == nullptr)
            changed = new juce::DynamicObject();
        changed->setProperty (parameterInfos[i].id, static_cast<double> (v));
    }
    faderCacheValid = true;
    if (changed != nullptr)
        publish (ids::fx, juce::var (changed.get()));
}

void PageBridge::publishWindowMotion()
{
    const auto pos = window.screenPosition();
    const auto step = stepWindowMotion (motion, pos.x, pos.y, window.nowMs());
    if (step.slosh)
        processor.slosh (step.sloshX, step.sloshY);
    if (step.moved)
        publish (ids::window, makeObject ({ { &ids::dx, step.dx }, { &ids::dy, step.dy } }));
}

void PageBridge::publishLight (bool force)
{
    if (! window.isShowingOnScreen())
        return;
    const auto b = window.screenBounds();
    if (! force && lightValid && b == lightBounds)
        return;
    const auto area = window.displayAreaFor (b);
    if (! area || ! (area->getHeight() > 0))
        return;

    lightBounds = b;
    lightValid = true;
    const double h = area->getHeight();
    const double x = (b.getX() + b.getWidth() / 2.0 - (area->getX() + area->getWidth() / 2.0)) / h;
    const double y = (b.getY() + b.getHeight() / 2.0 - area->getY()) / h;
    publish (ids::light, makeObject ({ { &ids::x, x }, { &ids::y, y } }));
}

void PageBridge::publishDishView()
{
    const auto k = tickCounter;
    tickCounter = k + 1;
    if (k % 2 != 0)
        return;

    switch (readDishView (processor.getDishView(), dishView))
    {
        case DishViewRead::failed:
            tickCounter = 0;
            return;
        case DishViewRead::unchanged:
            return;
        case DishViewRead::changed:
            break;
    }

    cellsValues.clearQuick();
    for (const double v : dishView.cells)
        cellsValues.add (v);
    publish (ids::cells, makeObject ({ { &ids::cells, cellsValues } }));
}

void PageBridge::publishVoices()
{
    auto& capture = processor.getOutputCapture();
    levelValues.clearQuick();
    for (std::size_t i = 0; i < OutputCapture::voiceSlots; ++i)
    {
        const float peak = capture.takeVoiceMeter (i);
        if (! (peak > 0.0001f))
            continue;
        levelValues.add (capture.cellId (i));
        levelValues.add (std::round (static_cast<double> (peak) * 10000.0) / 10000.0);
    }

    if (levelValues.isEmpty() && ! voicesWereListed)
        return;
    voicesWereListed = ! levelValues.isEmpty();
    publish (ids::voices, makeObject ({ { &ids::levels, levelValues } }));
}

void PageBridge::publishScope()
{
    switch (scopeTick (scope, processor.getScopeAnalysis(), processor.getOutputCapture()))
    {
        case ScopeOutcome::nothing:
            return;
        case ScopeOutcome::idle:
            publish (ids::scope, makeObject ({ { &ids::idle, true } }));
            return;
        case ScopeOutcome::picture:
            break;
    }

    waveValues.clearQuick();
    for (const float v : scope.wave)
        waveValues.add (static_cast<double> (roundScopeValue (v)));
    barValues.clearQuick();
    for (const float v : scope.bars)
        barValues.add (static_cast<double> (roundScopeValue (v)));
    publish (ids::scope, makeObject ({ { &ids::wave, waveValues }, { &ids::bars, barValues } }));
}

void PageBridge::publishPipette (bool force)
{
    const auto& collection = processor.getCollection();
    const auto revision = collection.getPipetteRevision();
    if (! force && pipetteRevision == revision)
        return;
    pipetteRevision = revision;
    window.emit (ids::pipette, makeObject ({ { &ids::discovered, keysToVar (collection.getDiscoveredKeys()) },
                                             { &ids::seen, keysToVar (collection.getPipetteSeenKeys()) } }));
}

void PageBridge::publishStats (bool force)
{
    if (! statsCheckDue (stats, force))
        return;
    const auto& collection = processor.getCollection();
    const auto now = pageStatistics (collection.getSharedStatistics(), collection.getStatisticsBaseline(),
                                     processor.getShownDishSeconds(), processor.getShownSpawns());
    if (! statsShouldSend (stats, now, force))
        return;
    window.emit (ids::stats, makeObject ({ { &ids::incubation, now.incubation },
                                           { &ids::spawn, static_cast<juce::int64> (now.spawn) } }));
}

void PageBridge::publishPresets (bool force)
{
    const auto& collection = processor.getCollection();
    const auto revision = collection.getPresetsRevision();
    if (! force && presetsRevision == revision)
        return;
    presetsRevision = revision;

    static const juce::Identifier cellsKey ("cells");
    juce::Array<juce::var> entries;
    entries.ensureStorageAllocated (numPresetSlots);
    for (int slot = 0; slot < numPresetSlots; ++slot)
    {
        const auto& stored = collection.getPresetSlot (slot).value;
        if (auto* object = stored.getDynamicObject())
            entries.add (makeObject ({ { &cellsKey, object->getProperty (cellsKey) } }));
        else
            entries.add (juce::var());
    }
    window.emit (ids::presets, makeObject ({ { &ids::slots, entries } }));
}

//==============================================================================
// Page events

void PageBridge::keyboardNoteOn (int note) { processor.keyboardNoteOn (note); }
void PageBridge::keyboardNoteOff() { processor.keyboardNoteOff(); }

void PageBridge::pageReady()
{
    processor.resetPageActivity();

    lastNote = -2;
    dishView.valid = false;
    tickCounter = 0;
    scope.silent = false;
    scope.idleSent = false;

    publishFx (true);
    publishPipette (true);
    publishStats (true);
    publishPresets (true);
    publishLight (true);

    hostPause.lastPublished = -1;

    window.emit (ids::ui, makeObject ({ { &ids::page, processor.getPageNumber() }, { &ids::theme, processor.getTheme() } }));

    // A fresh page shows no notice: tell it the one that holds now.
    auto& collection = processor.getCollection();
    storage.last = static_cast<int> (collection.getStorageNotice());
    if (! collection.isStoreReady())
    {
        storage.unavailableShown = true;
        window.emit (ids::storageError, storageUnavailableText);
    }
    else if (storage.last != 0)
    {
        window.emit (ids::storageError, storageNoticeText (static_cast<StorageNotice> (storage.last)));
    }

    ++readyCount;
}

void PageBridge::setParameterFromPage (int index, float value)
{
    if (auto* parameter = pageParameter (processor, index))
    {
        parameter->setValueNotifyingHost (value);
        faderCache[(std::size_t) index] = value;
    }
}

void PageBridge::parameterGesture (int index, bool begin)
{
    if (auto* parameter = pageParameter (processor, index))
    {
        if (begin)
            parameter->beginChangeGesture();
        else
            parameter->endChangeGesture();
    }
}

void PageBridge::setPageNumber (int page) { processor.setPageNumber (page); }
void PageBridge::savePresetSlot (int slot) { processor.getCollection().savePresetSlot (slot); }
void PageBridge::startPresetPreview (int slot, int note, int token) { processor.getCollection().startPresetPreview (slot, note, token); }
void PageBridge::stopPresetPreview (int token) { processor.getCollection().stopPresetPreview (token); }
void PageBridge::recallPresetSlot (int slot) { processor.getCollection().recallPresetSlot (slot); }
void PageBridge::clearPresetSlot (int slot) { processor.getCollection().clearPresetSlot (slot); }
void PageBridge::setScopeCapture (bool on) { processor.getOutputCapture().setCaptureEnabled (on); }
void PageBridge::stirAt (double x, double y, double dx, double dy) { processor.stirAt (x, y, dx, dy); }
void PageBridge::setStirring (bool on) { processor.setStirring (on); }
void PageBridge::setPipetteMode (bool on) { processor.getCollection().setPipetteMode (on); }
void PageBridge::rerollDish() { processor.rerollDish(); }
void PageBridge::setTheme (double value) { processor.setTheme (value); }

void PageBridge::previewPipette (const juce::String& shape, const juce::String& colour, double pan)
{
    processor.getCollection().previewPipette (shape, colour, pan);
}

void PageBridge::dropPipette (const juce::String& shape, const juce::String& colour, double x, double y, double vx, double vy)
{
    processor.getCollection().dropPipette (shape, colour, x, y, vx, vy);
}

void PageBridge::markPipetteSeen (const juce::StringArray& keys) { processor.getCollection().markPipetteSeen (keys); }

} // namespace brivola
