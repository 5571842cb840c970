#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <optional>

namespace brivola
{
class IBrivolaInspection;
}

namespace brivola::host
{

//==============================================================================
/** The host's side of the plug-in's inspection interface (plugin/Vst3Inspection.h): evaluates
    JavaScript in the open editor's page and reads how many "ready" events the editor handled.
    Reaches the interface through the instance's VST3 component. Message thread only; must be
    destroyed before the instance. */
class PageInspector
{
public:
    explicit PageInspector (juce::AudioPluginInstance& instance);
    ~PageInspector();

    /** True when the plug-in answers the inspection interface. */
    bool isAvailable() const noexcept { return inspection != nullptr; }

    /** The open editor's count of handled "ready" events; -1 with no editor or no interface. */
    int readyCount() const;

    /** Waits (dispatching messages) until the open editor has handled more than `before` "ready"
        events; false after `timeoutMs`. */
    bool waitForReady (int before, int timeoutMs) const;

    /** Evaluates a snippet in the page, dispatching messages until its result comes: the value as
        JSON text, or "error: ..." from the page. Nothing (with `error` set) when no editor is open,
        the interface is missing or no result came within `timeoutMs`. */
    std::optional<juce::String> evaluate (const juce::String& script, int timeoutMs, juce::String& error) const;

private:
    IBrivolaInspection* inspection = nullptr;

    JUCE_DECLARE_NON_COPYABLE (PageInspector)
};

} // namespace brivola::host
