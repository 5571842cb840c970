#pragma once

#include "editor/EditorSize.h"
#include "editor/EmbeddedUiBrowser.h"
#include "editor/PageBridge.h"

#include <juce_audio_processors/juce_audio_processors.h>

namespace brivola
{

class BrivolaAudioProcessor;

//==============================================================================
/** The plug-in's window: one embedded web view showing the page, and the 16 ms timer that
    publishes the processor's state to it. Draws nothing itself.

    Opens at the base size 415 × 646, scaled down to fit the display it opens on (at least
    360 × 520); the user can enlarge it up to 1600 × 2200. */
class BrivolaAudioProcessorEditor final : public juce::AudioProcessorEditor,
                                          private juce::Timer
{
public:
    explicit BrivolaAudioProcessorEditor (BrivolaAudioProcessor& processor);
    ~BrivolaAudioProcessorEditor() override;

    /** The browser's options for an editor: native integration, the embedded resources and the
        twenty page-event listeners. */
    static juce::WebBrowserComponent::Options makeOptions (BrivolaAudioProcessorEditor& editor);

    /** The fitted size for the display that shows `screenArea` (the primary display when the
        rectangle is empty or no display holds it; the base size when there is no display). */
    static EditorSize defaultEditorSize (juce::Rectangle<int> screenArea = {});

    /** The size the editor chose for itself (also its smallest size). */
    EditorSize getFittedSize() const noexcept { return fitted; }

    EmbeddedUiBrowser& getBrowser() noexcept { return browser; }
    PageBridge& getBridge() noexcept { return bridge; }

    void parentHierarchyChanged() override;
    void resized() override;

private:
    void timerCallback() override;
    void applyFittedSize (EditorSize size);

    /** The bridge's view of this editor: clock, screen position, displays, the browser. */
    struct Window final : PageWindow
    {
        explicit Window (BrivolaAudioProcessorEditor& e) noexcept : editor (e) {}
        double nowMs() override;
        juce::Point<int> screenPosition() override;
        bool isShowingOnScreen() override;
        juce::Rectangle<int> screenBounds() override;
        std::optional<juce::Rectangle<int>> displayAreaFor (juce::Rectangle<int> bounds) override;
        void emit (const juce::Identifier& name, const juce::var& value) override;
        BrivolaAudioProcessorEditor& editor;
    };

    BrivolaAudioProcessor& processorRef;
    EditorSize fitted;
    bool fitDone = false;
    Window window { *this };
    PageBridge bridge;
    // Declared last: destroyed first, with its listeners, before anything they reach.
    EmbeddedUiBrowser browser;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (BrivolaAudioProcessorEditor)
};

} // namespace brivola
