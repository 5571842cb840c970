#pragma once

#include "engine/SoundParams.h"

#include <juce_core/juce_core.h>

#include <array>
#include <functional>

namespace brivola
{

//==============================================================================
/** What the page's events reach on the native side. The editor's bridge implements it over the
    processor; the handlers below have already checked and converted every argument. All calls
    happen on the message thread. */
class PageEventTarget
{
public:
    virtual ~PageEventTarget() = default;

    virtual void keyboardNoteOn (int note) = 0;
    virtual void keyboardNoteOff() = 0;
    /** The page finished loading and listens: republish everything. */
    virtual void pageReady() = 0;
    /** Sets parameter `index` (0 … 11) to `value` (0 … 1) as the page's fader. */
    virtual void setParameterFromPage (int index, float value) = 0;
    /** Begins (true) or ends (false) a host gesture on parameter `index` (0 … 11). */
    virtual void parameterGesture (int index, bool begin) = 0;
    /** Stores the page number (0 … 2). */
    virtual void setPageNumber (int page) = 0;
    virtual void savePresetSlot (int slot) = 0;
    virtual void startPresetPreview (int slot, int note, int token) = 0;
    virtual void stopPresetPreview (int token) = 0;
    virtual void recallPresetSlot (int slot) = 0;
    virtual void clearPresetSlot (int slot) = 0;
    virtual void setScopeCapture (bool on) = 0;
    /** All four finite. */
    virtual void stirAt (double x, double y, double dx, double dy) = 0;
    virtual void setStirring (bool on) = 0;
    virtual void setPipetteMode (bool on) = 0;
    virtual void rerollDish() = 0;
    /** A finite theme value (the processor clamps it). */
    virtual void setTheme (double value) = 0;
    /** Strings of at most 128 characters, a finite pan. */
    virtual void previewPipette (const juce::String& shape, const juce::String& colour, double pan) = 0;
    /** Strings of at most 128 characters, four finite numbers. */
    virtual void dropPipette (const juce::String& shape, const juce::String& colour,
                              double x, double y, double vx, double vy) = 0;
    /** At most 128 keys of at most 128 characters each. */
    virtual void markPipetteSeen (const juce::StringArray& keys) = 0;
};

//==============================================================================
/** Checks a whole payload before its handler runs; false drops the event. */
using PageValidator = bool (*) (const juce::var& payload);

/** Reads a payload's fields and calls at most one operation of the target. */
using PageHandler = void (*) (PageEventTarget& target, const juce::var& payload);

/** "pipettePreview" and "pipetteDrop": an object whose "shape" and "color" are strings of at most
    128 characters. */
bool validatePipetteSpecies (const juce::var& payload);

/** "pipetteSeen": an object whose "keys" is an array of at most 128 strings of at most 128
    characters each (an empty array passes). */
bool validatePipetteSeen (const juce::var& payload);

/** One page event: its name, its optional validator and its handler. */
struct PageEvent
{
    const char* name;
    PageValidator validator;
    PageHandler handler;
};

/** The twenty page events, in registration order. */
extern const std::array<PageEvent, 20> pageEvents;

/** Number of sound parameters the page addresses by index (the ids of `parameterInfos`). */
inline constexpr int pageParameterCount = static_cast<int> (SoundParams::count);

/** The listener the browser calls for one event: runs the validator (if any), returns when it
    rejects, then calls the handler with the target. Throws nothing on bad input. */
template <typename Target, typename Handler>
std::function<void (juce::var)> makePageListener (Target& target, PageValidator validator, Handler handler)
{
    return [&target, validator, handler] (juce::var payload)
    {
        if (validator != nullptr && ! validator (payload))
            return;
        handler (target, payload);
    };
}

} // namespace brivola
