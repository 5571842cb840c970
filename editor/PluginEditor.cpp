#include "editor/PluginEditor.h"

#include "editor/PageJson.h"
#include "editor/UiOptionsBuilder.h"
#include "plugin/PluginProcessor.h"

namespace brivola
{

//==============================================================================
BrivolaAudioProcessorEditor::BrivolaAudioProcessorEditor (BrivolaAudioProcessor& p)
    : juce::AudioProcessorEditor (p),
      processorRef (p),
      bridge (p, window),
      browser (makeOptions (*this))
{
    addAndMakeVisible (browser);
    browser.goToURL (juce::WebBrowserComponent::getResourceProviderRoot());

    setResizable (true, true);
    applyFittedSize (defaultEditorSize());

    startTimer (16);
}

BrivolaAudioProcessorEditor::~BrivolaAudioProcessorEditor()
{
    stopTimer();
    processorRef.editorClosing();
    // The browser (declared last) goes next, then the bridge.
}

juce::WebBrowserComponent::Options BrivolaAudioProcessorEditor::makeOptions (BrivolaAudioProcessorEditor& editor)
{
    return makePageOptions (editor.bridge);
}

//==============================================================================
EditorSize BrivolaAudioProcessorEditor::defaultEditorSize (juce::Rectangle<int> screenArea)
{
    const auto& displays = juce::Desktop::getInstance().getDisplays();
    const juce::Displays::Display* display = nullptr;
    if (screenArea.getWidth() > 0 && screenArea.getHeight() > 0)
        display = displays.getDisplayForRect (screenArea);
    if (display == nullptr)
        display = displays.getPrimaryDisplay();
    if (display == nullptr)
        return fitEditorSize (std::nullopt);
    return fitEditorSize (EditorSize { display->userArea.getWidth(), display->userArea.getHeight() });
}

void BrivolaAudioProcessorEditor::applyFittedSize (EditorSize size)
{
    fitted = size;
    if (auto* limits = getConstrainer())
        limits->setSizeLimits (size.width, size.height,
                               std::max (editorMaximumSize.width, size.width),
                               std::max (editorMaximumSize.height, size.height));
    setSize (size.width, size.height);
}

void BrivolaAudioProcessorEditor::parentHierarchyChanged()
{
    juce::AudioProcessorEditor::parentHierarchyChanged();

    if (fitDone || getParentComponent() == nullptr)
        return;
    if (getWidth() != fitted.width || getHeight() != fitted.height)
        return;

    fitDone = true;
    const auto size = defaultEditorSize ({ getScreenX(), getScreenY(), getWidth(), getHeight() });
    if (size == fitted)
        return;
    applyFittedSize (size);
}

void BrivolaAudioProcessorEditor::resized()
{
    browser.setBounds (0, 0, getWidth(), getHeight());
}

void BrivolaAudioProcessorEditor::timerCallback()
{
    bridge.tick();
}

//==============================================================================
double BrivolaAudioProcessorEditor::Window::nowMs() { return juce::Time::getMillisecondCounterHiRes(); }

juce::Point<int> BrivolaAudioProcessorEditor::Window::screenPosition() { return editor.getScreenPosition(); }

bool BrivolaAudioProcessorEditor::Window::isShowingOnScreen() { return editor.isShowing(); }

juce::Rectangle<int> BrivolaAudioProcessorEditor::Window::screenBounds() { return editor.getScreenBounds(); }

std::optional<juce::Rectangle<int>> BrivolaAudioProcessorEditor::Window::displayAreaFor (juce::Rectangle<int> bounds)
{
    if (const auto* display = juce::Desktop::getInstance().getDisplays().getDisplayForRect (bounds))
        return display->totalArea;
    return std::nullopt;
}

void BrivolaAudioProcessorEditor::Window::emit (const juce::Identifier& name, const juce::var& value)
{
    static const juce::Identifier frame ("frame");
    if (name != frame)
        editor.browser.emitEventIfBrowserIsVisible (name, value);
    else if (editor.browser.isVisible())
        // A callback even though there is nothing to do with the result: the Linux web view pairs
        // results with callbacks in order, so a call without one would hand its result to the next.
        editor.browser.evaluateJavascript (pageEventScript (name, value), [] (juce::WebBrowserComponent::EvaluationResult) {});
}

} // namespace brivola
