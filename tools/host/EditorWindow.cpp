#include "EditorWindow.h"

#include "Renderer.h"

namespace brivola::host
{

bool canOpenWindows()
{
   #if JUCE_LINUX || JUCE_BSD
    return juce::SystemStats::getEnvironmentVariable ("DISPLAY", {}).isNotEmpty();
   #else
    return true;
   #endif
}

//==============================================================================
/** A plain window with the system's title bar; the editor sets its size. */
class EditorWindow::Window final : public juce::DocumentWindow
{
public:
    explicit Window (const juce::String& title)
        : juce::DocumentWindow (title, juce::Colours::black, juce::DocumentWindow::minimiseButton | juce::DocumentWindow::closeButton)
    {
        setUsingNativeTitleBar (true);
    }

    // The run decides when the window closes.
    void closeButtonPressed() override {}
};

EditorWindow::EditorWindow (juce::AudioPluginInstance& instanceIn, juce::Point<int> position)
    : instance (instanceIn)
{
    editor = instance.createEditorIfNeeded();

    if (editor == nullptr)
        return;

    window = std::make_unique<Window> (instance.getName());
    window->setContentNonOwned (editor, true);
    window->setResizable (editor->isResizable(), false);
    window->setTopLeftPosition (position);
    window->setVisible (true);
    window->toFront (true);
}

EditorWindow::~EditorWindow() { close(); }

juce::Rectangle<int> EditorWindow::editorScreenBounds() const
{
    return editor != nullptr && editor->isShowing() ? editor->getScreenBounds() : juce::Rectangle<int>();
}

void EditorWindow::moveBy (int dx, int dy)
{
    if (window != nullptr)
        window->setTopLeftPosition (window->getPosition() + juce::Point<int> (dx, dy));
}

void EditorWindow::close()
{
    // As a host closes a plug-in window: hidden first, with the messages it causes dispatched,
    // then deleted. JUCE 8.0.6's embedded X11 window (the web view's) posts a message that uses it
    // after a configure event; deleting the editor with that message still queued crashes.
    if (window != nullptr && window->isVisible())
    {
        window->setVisible (false);
        pumpMessages (50);
    }

    if (window != nullptr)
        window->clearContentComponent();

    // The editor goes before its window and always before the instance: an editor that outlives
    // its processor reads freed memory, and a web view left behind keeps its helper process busy.
    if (editor != nullptr)
    {
        jassert (instance.getActiveEditor() == editor.getComponent());
        delete editor.getComponent();
        editor = nullptr;
    }

    window.reset();
}

} // namespace brivola::host
