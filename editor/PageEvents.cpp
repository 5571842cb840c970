#include "editor/PageEvents.h"

#include "editor/PageFields.h"

#include <algorithm>

namespace brivola
{

namespace
{
const juce::Identifier noteKey ("note"), indexKey ("index"), valueKey ("value"), onKey ("on"),
    pageKey ("page"), slotKey ("slot"), tokenKey ("token"), xKey ("x"), yKey ("y"), dxKey ("dx"),
    dyKey ("dy"), vxKey ("vx"), vyKey ("vy"), shapeKey ("shape"), colorKey ("color"), panKey ("pan"),
    keysKey ("keys");

constexpr int maxSeenKeys = 128;

bool isParameterIndex (int index) noexcept
{
    return static_cast<unsigned> (index) < static_cast<unsigned> (pageParameterCount);
}

//==============================================================================
void onNoteOn (PageEventTarget& t, const juce::var& p) { t.keyboardNoteOn (readIntField (p, noteKey, 60)); }
void onNoteOff (PageEventTarget& t, const juce::var&) { t.keyboardNoteOff(); }
void onReady (PageEventTarget& t, const juce::var&) { t.pageReady(); }

void onFx (PageEventTarget& t, const juce::var& p)
{
    const int index = readIntField (p, indexKey, -1);
    const auto value = readNumberField (p, valueKey);
    if (! isParameterIndex (index) || ! value)
        return;
    t.setParameterFromPage (index, static_cast<float> (std::clamp (*value, 0.0, 1.0)));
}

void onFxGesture (PageEventTarget& t, const juce::var& p)
{
    const int index = readIntField (p, indexKey, -1);
    if (isParameterIndex (index))
        t.parameterGesture (index, readBoolField (p, onKey));
}

void onUiPage (PageEventTarget& t, const juce::var& p) { t.setPageNumber (std::clamp (readIntField (p, pageKey, 0), 0, 2)); }
void onPresetSave (PageEventTarget& t, const juce::var& p) { t.savePresetSlot (readIntField (p, slotKey, -1)); }

void onPresetPreview (PageEventTarget& t, const juce::var& p)
{
    t.startPresetPreview (readIntField (p, slotKey, -1), readIntField (p, noteKey, 60), readIntField (p, tokenKey, 0));
}

void onPresetPreviewStop (PageEventTarget& t, const juce::var& p) { t.stopPresetPreview (readIntField (p, tokenKey, 0)); }
void onPresetRecall (PageEventTarget& t, const juce::var& p) { t.recallPresetSlot (readIntField (p, slotKey, -1)); }
void onPresetClear (PageEventTarget& t, const juce::var& p) { t.clearPresetSlot (readIntField (p, slotKey, -1)); }
void onScopeOn (PageEventTarget& t, const juce::var& p) { t.setScopeCapture (readBoolField (p, onKey)); }

void onStir (PageEventTarget& t, const juce::var& p)
{
    const auto x = readNumberField (p, xKey), y = readNumberField (p, yKey);
    const auto dx = readNumberField (p, dxKey), dy = readNumberField (p, dyKey);
    if (x && y && dx && dy)
        t.stirAt (*x, *y, *dx, *dy);
}

void onStirring (PageEventTarget& t, const juce::var& p) { t.setStirring (readBoolField (p, onKey)); }
void onPipetteMode (PageEventTarget& t, const juce::var& p) { t.setPipetteMode (readBoolField (p, onKey)); }
void onReroll (PageEventTarget& t, const juce::var&) { t.rerollDish(); }

void onTheme (PageEventTarget& t, const juce::var& p)
{
    if (const auto value = readNumberField (p, valueKey))
        t.setTheme (*value);
}

void onPipettePreview (PageEventTarget& t, const juce::var& p)
{
    const auto shape = readStringField (p, shapeKey), colour = readStringField (p, colorKey);
    const auto pan = readNumberField (p, panKey);
    if (shape && colour && pan)
        t.previewPipette (*shape, *colour, *pan);
}

void onPipetteDrop (PageEventTarget& t, const juce::var& p)
{
    const auto shape = readStringField (p, shapeKey), colour = readStringField (p, colorKey);
    const auto x = readNumberField (p, xKey), y = readNumberField (p, yKey);
    const auto vx = readNumberField (p, vxKey), vy = readNumberField (p, vyKey);
    if (shape && colour && x && y && vx && vy)
        t.dropPipette (*shape, *colour, *x, *y, *vx, *vy);
}

void onPipetteSeen (PageEventTarget& t, const juce::var& p)
{
    // Validated: "keys" is an array of short strings.
    const auto* items = p.getDynamicObject()->getProperty (keysKey).getArray();
    juce::StringArray keys;
    keys.ensureStorageAllocated (items->size());
    for (const auto& item : *items)
        keys.add (item.toString());
    t.markPipetteSeen (keys);
}
} // namespace

//==============================================================================
bool validatePipetteSpecies (const juce::var& payload)
{
    const auto* object = payload.getDynamicObject();
    return object != nullptr
        && isPageString (object->getProperty (shapeKey))
        && isPageString (object->getProperty (colorKey));
}

bool validatePipetteSeen (const juce::var& payload)
{
    const auto* object = payload.getDynamicObject();
    if (object == nullptr)
        return false;
    const auto* keys = object->getProperty (keysKey).getArray();
    if (keys == nullptr || keys->size() > maxSeenKeys)
        return false;
    return std::all_of (keys->begin(), keys->end(), [] (const juce::var& key) { return isPageString (key); });
}

const std::array<PageEvent, 20> pageEvents { {
    { "noteOn", nullptr, onNoteOn },
    { "noteOff", nullptr, onNoteOff },
    { "ready", nullptr, onReady },
    { "fx", nullptr, onFx },
    { "fxGesture", nullptr, onFxGesture },
    { "uiPage", nullptr, onUiPage },
    { "presetSave", nullptr, onPresetSave },
    { "presetPreview", nullptr, onPresetPreview },
    { "presetPreviewStop", nullptr, onPresetPreviewStop },
    { "presetRecall", nullptr, onPresetRecall },
    { "presetClear", nullptr, onPresetClear },
    { "scopeOn", nullptr, onScopeOn },
    { "stir", nullptr, onStir },
    { "stirring", nullptr, onStirring },
    { "pipetteMode", nullptr, onPipetteMode },
    { "reroll", nullptr, onReroll },
    { "theme", nullptr, onTheme },
    { "pipettePreview", validatePipetteSpecies, onPipettePreview },
    { "pipetteDrop", validatePipetteSpecies, onPipetteDrop },
    { "pipetteSeen", validatePipetteSeen, onPipetteSeen },
} };

} // namespace brivola
