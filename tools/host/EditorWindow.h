#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <memory>

namespace brivola::host
{

/** True when windows can be opened: on Linux an X display must be named (DISPLAY). */
bool canOpenWindows();

//==============================================================================
/** A real top-level window showing a hosted instance's editor, as a host's plug-in window does.
    Closing (or destroying) it deletes the editor before the window; the instance must outlive it.
    Message thread only. */
class EditorWindow
{
public:
    /** Creates the instance's editor and shows it in a new window at (x, y) on the screen; check
        `isOpen` afterwards (the plug-in may have no editor). */
    explicit EditorWindow (juce::AudioPluginInstance& instance, juce::Point<int> position = { 80, 60 });
    ~EditorWindow();

    /** True while the editor exists and its window is on the screen. */
    bool isOpen() const noexcept { return editor != nullptr; }

    /** The editor's area on the screen, in logical pixels. */
    juce::Rectangle<int> editorScreenBounds() const;

    /** Moves the window by (dx, dy) pixels on the screen. */
    void moveBy (int dx, int dy);

    /** Hides the window and dispatches what that causes, then deletes the editor and the window.
        Safe to call twice. */
    void close();

private:
    class Window;

    juce::AudioPluginInstance& instance;
    std::unique_ptr<Window> window;
    juce::Component::SafePointer<juce::AudioProcessorEditor> editor; // owned: deleted by close()

    JUCE_DECLARE_NON_COPYABLE (EditorWindow)
};

} // namespace brivola::host
