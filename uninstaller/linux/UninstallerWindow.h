#pragma once

#include "uninstaller/flow/UninstallFlow.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace brivola::uninstaller
{

//==============================================================================
/** Centred text that wraps by words, drawn with the font it was given; reports the height it needs
    for a width, limited to a number of lines. */
class WrappedText final : public juce::Component
{
public:
    WrappedText (const juce::String& componentId, juce::Font font, juce::Colour colour, int maxLines);

    void setText (const juce::String& newText);
    const juce::String& getText() const noexcept { return text; }
    const juce::Font& getFont() const noexcept { return font; }
    int getMaxLines() const noexcept { return maxLines; }

    /** Height of the text laid out at `width`, at most `maxLines` lines. */
    int heightForWidth (int width) const;
    /** Number of lines of the text laid out at `width`, at most `maxLines`. */
    int linesForWidth (int width) const;

    void paint (juce::Graphics& g) override;

private:
    juce::TextLayout layoutFor (float width) const;

    juce::String text;
    juce::Font font;
    juce::Colour colour;
    int maxLines;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (WrappedText)
};

//==============================================================================
/** The result sheet: covers the window and holds a panel hanging from its top edge with an icon,
    the title, the message and one button. Modal to the window: the content below receives no
    mouse clicks while it is shown, and its owner routes the keys to it. */
class ResultSheet final : public juce::Component
{
public:
    ResultSheet();

    /** Shows the sheet with a result; `onClose` runs once when the button is pressed. */
    void show (const Result& result, std::function<void()> onClose);
    /** Presses the sheet's button (its key equivalent is Return). */
    void pressButton();

    void paint (juce::Graphics& g) override;
    void resized() override;

    /** The panel's area inside the sheet. */
    juce::Rectangle<int> getPanelBounds() const noexcept { return panel; }
    bool isInformational() const noexcept { return informational; }

private:
    void close();

    WrappedText titleText;
    WrappedText messageText;
    juce::TextButton button;
    std::function<void()> closeAction;
    juce::Rectangle<int> panel;
    bool informational = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ResultSheet)
};

//==============================================================================
/** The uninstaller's window content: heading, body, warning, status line and the "Cancel" and
    "Uninstall" buttons in a vertical stack, and the result sheet. "Uninstall" runs the removal
    script through the runner on a background thread with both buttons disabled; the result comes
    back to the message thread and is shown in the sheet. Escape presses "Cancel", Return presses
    "Uninstall" (or the sheet's button while the sheet is shown). */
class UninstallerComponent final : public juce::Component
{
public:
    /** Finds the removal script; no value when the application has none. */
    using ScriptLocator = std::function<std::optional<std::string>()>;

    UninstallerComponent (std::shared_ptr<RemovalRunner> runner, ScriptLocator locateScript, std::function<void()> quit);
    /** Waits for a removal run that is still going. */
    ~UninstallerComponent() override;

    /** The "Cancel" button's action: quits at once. */
    void cancel();
    /** The "Uninstall" button's action: the removal flow. */
    void uninstall();
    /** Re-enables both buttons, sets the status line and shows the result sheet; after a success
        the application quits when the sheet is closed. */
    void showResult (const Result& result);

    /** Whether closing the window may quit now: not while the script runs or the sheet is shown. */
    bool canCloseWindow() const noexcept;
    /** True from the press of "Uninstall" until its result has arrived. */
    bool isWaiting() const noexcept { return waiting; }

    void paint (juce::Graphics& g) override;
    void resized() override;
    bool keyPressed (const juce::KeyPress& key) override;

private:
    void setButtonsEnabled (bool enabled);
    void setStatus (const juce::String& text);

    std::shared_ptr<RemovalRunner> runner;
    ScriptLocator locateScript;
    std::function<void()> quitApplication;
    WindowTexts texts;

    WrappedText heading;
    WrappedText body;
    WrappedText warning;
    WrappedText status;
    juce::TextButton cancelButton;
    juce::TextButton uninstallButton;
    ResultSheet sheet;

    std::thread worker;
    bool waiting = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (UninstallerComponent)
};

//==============================================================================
/** The uninstaller's one window: "Brivola Uninstaller", 500 × 310 points of content, closable
    (closing quits, as "Cancel" does), not resizable, centred on the screen and brought to the front. */
class UninstallerWindow final : public juce::DocumentWindow
{
public:
    UninstallerWindow (std::shared_ptr<RemovalRunner> runner, UninstallerComponent::ScriptLocator locateScript, std::function<void()> quit);

    void closeButtonPressed() override;
    /** Keys that reach the window itself (when the X focus arrived before the content could take
        it) go to the content too. */
    bool keyPressed (const juce::KeyPress& key) override;

    UninstallerComponent& getContent() noexcept { return *content; }

private:
    UninstallerComponent* content = nullptr;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (UninstallerWindow)
};

} // namespace brivola::uninstaller
