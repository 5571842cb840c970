#include "uninstaller/linux/UninstallerWindow.h"

#include <cmath>
#include <initializer_list>
#include <system_error>
#include <utility>

namespace brivola::uninstaller
{

namespace
{
// The light appearance of a desktop dialog.
const juce::Colour windowBackground { 0xffececec };
const juce::Colour labelColour { 0xd9000000 };
const juce::Colour secondaryLabelColour { 0x80000000 };
const juce::Colour accentColour { 0xff007aff };
const juce::Colour sheetBackground { 0xfff6f6f6 };

constexpr int buttonHeight = 28;
constexpr int minButtonWidth = 84;
constexpr int buttonTextPadding = 18;

juce::Font systemFont (float points, const juce::String& style = "Regular")
{
    return juce::Font (juce::FontOptions().withPointHeight (points).withStyle (style));
}

/** A push button in the dialog's style; the default one is filled with the accent colour. */
void styleButton (juce::TextButton& button, const juce::String& componentId, const juce::String& text, bool isDefault)
{
    button.setComponentID (componentId);
    button.setButtonText (text);
    // The keys belong to the window (Escape, Return), not to whichever button was clicked last.
    button.setWantsKeyboardFocus (false);
    button.setMouseClickGrabsKeyboardFocus (false);
    button.setColour (juce::TextButton::buttonColourId, isDefault ? accentColour : juce::Colours::white);
    button.setColour (juce::TextButton::buttonOnColourId, isDefault ? accentColour.darker (0.2f) : juce::Colour (0xffdcdcdc));
    button.setColour (juce::TextButton::textColourOffId, isDefault ? juce::Colours::white : labelColour);
    button.setColour (juce::TextButton::textColourOnId, isDefault ? juce::Colours::white : labelColour);
    button.setColour (juce::ComboBox::outlineColourId, juce::Colour (0x33000000));
}

int buttonWidth (const juce::TextButton& button)
{
    const auto font = systemFont (13.0f);
    const auto textWidth = (int) std::ceil (juce::TextLayout::getStringWidth (font, button.getButtonText()));
    return juce::jmax (minButtonWidth, textWidth + 2 * buttonTextPadding);
}

/** A small info or warning sign, as a dialog shows beside its title. */
void drawSheetIcon (juce::Graphics& g, juce::Rectangle<float> area, bool informational)
{
    if (informational)
    {
        g.setColour (accentColour);
        g.fillEllipse (area);
        g.setColour (juce::Colours::white);
        g.setFont (systemFont (area.getHeight() * 0.5f, "Bold"));
        g.drawText ("i", area, juce::Justification::centred);
        return;
    }
    juce::Path triangle;
    triangle.addTriangle (area.getCentreX(), area.getY(), area.getRight(), area.getBottom(), area.getX(), area.getBottom());
    g.setColour (juce::Colour (0xffffc107));
    g.fillPath (triangle);
    g.setColour (juce::Colours::black.withAlpha (0.8f));
    g.setFont (systemFont (area.getHeight() * 0.45f, "Bold"));
    g.drawText ("!", area.withTrimmedTop (area.getHeight() * 0.3f), juce::Justification::centred);
}
} // namespace

//==============================================================================
WrappedText::WrappedText (const juce::String& componentId, juce::Font fontToUse, juce::Colour colourToUse, int maxLinesToShow)
    : font (std::move (fontToUse)), colour (colourToUse), maxLines (juce::jmax (1, maxLinesToShow))
{
    setComponentID (componentId);
    setInterceptsMouseClicks (false, false);
}

void WrappedText::setText (const juce::String& newText)
{
    if (newText == text)
        return;
    text = newText;
    setTitle (text); // what accessibility clients read
    repaint();
}

juce::TextLayout WrappedText::layoutFor (float width) const
{
    juce::AttributedString string;
    string.setText (text);
    string.setFont (font);
    string.setColour (colour);
    string.setJustification (juce::Justification::horizontallyCentred);
    string.setWordWrap (juce::AttributedString::WordWrap::byWord);

    juce::TextLayout layout;
    layout.createLayout (string, juce::jmax (1.0f, width));
    return layout;
}

int WrappedText::linesForWidth (int width) const
{
    return juce::jmin (maxLines, layoutFor ((float) width).getNumLines());
}

int WrappedText::heightForWidth (int width) const
{
    const auto layout = layoutFor ((float) width);
    const auto lines = juce::jmin (maxLines, layout.getNumLines());
    if (lines == 0)
        return (int) std::ceil (font.getHeight());
    const auto top = layout.getLine (0).getLineBoundsY().getStart();
    const auto bottom = layout.getLine (lines - 1).getLineBoundsY().getEnd();
    return (int) std::ceil (bottom - top);
}

void WrappedText::paint (juce::Graphics& g)
{
    const auto layout = layoutFor ((float) getWidth());
    g.reduceClipRegion (getLocalBounds());
    const auto top = layout.getNumLines() > 0 ? layout.getLine (0).getLineBoundsY().getStart() : 0.0f;
    layout.draw (g, getLocalBounds().toFloat().withY (-top).withHeight (layout.getHeight()));
}

//==============================================================================
ResultSheet::ResultSheet()
    : titleText ("sheetTitle", systemFont (13.0f, "Bold"), labelColour, 3),
      messageText ("sheetMessage", systemFont (11.0f), labelColour, 8)
{
    setComponentID ("sheet");
    addAndMakeVisible (titleText);
    addAndMakeVisible (messageText);
    styleButton (button, "sheetButton", "OK", true);
    button.onClick = [this] { close(); };
    addAndMakeVisible (button);
    setVisible (false);
}

void ResultSheet::show (const Result& result, std::function<void()> onClose)
{
    const auto presentation = presentResult (result.success);
    informational = presentation.informational;
    titleText.setText (juce::String::fromUTF8 (result.title.c_str()));
    messageText.setText (juce::String::fromUTF8 (result.message.c_str()));
    button.setButtonText (presentation.buttonText);
    closeAction = std::move (onClose);
    resized();
    setVisible (true);
    toFront (false);
    repaint();
}

void ResultSheet::pressButton()
{
    if (isVisible())
        button.triggerClick();
}

void ResultSheet::close()
{
    if (! isVisible())
        return;
    setVisible (false);
    if (auto action = std::exchange (closeAction, nullptr))
        action();
}

void ResultSheet::resized()
{
    // A panel hanging from the window's top edge, as wide as a dialog.
    constexpr int panelWidth = 420;
    constexpr int padding = 20;
    constexpr int iconSize = 40;
    const int textLeft = padding + iconSize + 16;
    const int textWidth = panelWidth - textLeft - padding;

    const int titleHeight = titleText.heightForWidth (textWidth);
    const int messageHeight = messageText.heightForWidth (textWidth);
    const int panelHeight = juce::jmin (getHeight(), padding + titleHeight + 8 + messageHeight + 20 + buttonHeight + padding);

    panel = juce::Rectangle<int> (panelWidth, panelHeight).withCentre ({ getWidth() / 2, 0 }).withY (0);

    titleText.setBounds (panel.getX() + textLeft, panel.getY() + padding, textWidth, titleHeight);
    messageText.setBounds (panel.getX() + textLeft, titleText.getBottom() + 8, textWidth, messageHeight);
    const int width = buttonWidth (button);
    button.setBounds (panel.getRight() - padding - width, panel.getBottom() - padding - buttonHeight, width, buttonHeight);
}

void ResultSheet::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colours::black.withAlpha (0.18f));

    const auto area = panel.toFloat();
    g.setColour (juce::Colours::black.withAlpha (0.25f));
    g.fillRoundedRectangle (area.translated (0.0f, 2.0f).expanded (1.0f), 6.0f);
    g.setColour (sheetBackground);
    g.fillRoundedRectangle (area, 6.0f);
    g.setColour (juce::Colours::black.withAlpha (0.2f));
    g.drawRoundedRectangle (area.reduced (0.5f), 6.0f, 1.0f);

    drawSheetIcon (g, juce::Rectangle<float> (area.getX() + 20.0f, area.getY() + 20.0f, 40.0f, 40.0f), informational);
}

//==============================================================================
UninstallerComponent::UninstallerComponent (std::shared_ptr<RemovalRunner> runnerToUse, ScriptLocator locator, std::function<void()> quit)
    : runner (std::move (runnerToUse)),
      locateScript (std::move (locator)),
      quitApplication (std::move (quit)),
      texts (windowTexts (Platform::linuxDesktop)),
      heading ("heading", systemFont (WindowLayout::headingPoints, "Bold"), labelColour, 1),
      body ("body", systemFont (WindowLayout::bodyPoints), labelColour, WindowLayout::bodyMaxLines),
      warning ("warning", systemFont (WindowLayout::warningPoints, "Medium"), secondaryLabelColour, 2),
      status ("status", systemFont (WindowLayout::statusPoints), secondaryLabelColour, 2)
{
    heading.setText (juce::String::fromUTF8 (texts.heading.c_str()));
    body.setText (juce::String::fromUTF8 (texts.body.c_str()));
    warning.setText (juce::String::fromUTF8 (texts.warning.c_str()));
    status.setText (juce::String::fromUTF8 (texts.status.c_str()));

    styleButton (cancelButton, "cancel", juce::String::fromUTF8 (texts.cancelButton.c_str()), false);
    styleButton (uninstallButton, "uninstall", juce::String::fromUTF8 (texts.uninstallButton.c_str()), true);
    cancelButton.onClick = [this] { cancel(); };
    uninstallButton.onClick = [this] { uninstall(); };

    for (auto* item : std::initializer_list<juce::Component*> { &heading, &body, &warning, &status, &cancelButton, &uninstallButton })
        addAndMakeVisible (item);
    addChildComponent (sheet);

    setWantsKeyboardFocus (true);
    setSize (WindowLayout::width, WindowLayout::height);
}

UninstallerComponent::~UninstallerComponent()
{
    if (worker.joinable())
        worker.join();
}

void UninstallerComponent::cancel()
{
    if (quitApplication != nullptr)
        quitApplication();
}

void UninstallerComponent::uninstall()
{
    if (waiting || sheet.isVisible())
        return;

    auto scriptPath = locateScript != nullptr ? locateScript() : std::nullopt;
    if (! scriptPath.has_value())
    {
        showResult (missingScriptResult());
        return;
    }

    setButtonsEnabled (false);
    setStatus (juce::String::fromUTF8 (waitingStatus));
    waiting = true;

    // The previous run's thread has already posted its result and is finishing.
    if (worker.joinable())
        worker.join();

    try
    {
        worker = std::thread ([runnerToUse = runner, path = std::move (*scriptPath), self = SafePointer<UninstallerComponent> (this)]
        {
            auto result = classifyOutcome (runnerToUse->run (path), Platform::linuxDesktop);
            juce::MessageManager::callAsync ([self, result = std::move (result)]
            {
                if (auto* component = self.getComponent())
                    component->showResult (result);
            });
        });
    }
    catch (const std::system_error&)
    {
        RunOutcome notStarted;
        notStarted.approvalRequested = false;
        showResult (classifyOutcome (notStarted, Platform::linuxDesktop));
    }
}

void UninstallerComponent::showResult (const Result& result)
{
    waiting = false;
    setButtonsEnabled (true);
    const auto presentation = presentResult (result.success);
    setStatus (presentation.status);

    sheet.setBounds (getLocalBounds());
    sheet.show (result, [this, quit = presentation.quitWhenClosed]
    {
        if (quit)
            cancel();
        else
            grabKeyboardFocus();
    });
}

bool UninstallerComponent::canCloseWindow() const noexcept
{
    return ! waiting && ! sheet.isVisible();
}

void UninstallerComponent::setButtonsEnabled (bool enabled)
{
    cancelButton.setEnabled (enabled);
    uninstallButton.setEnabled (enabled);
}

void UninstallerComponent::setStatus (const juce::String& text)
{
    status.setText (text);
}

bool UninstallerComponent::keyPressed (const juce::KeyPress& key)
{
    const bool isReturn = key == juce::KeyPress::returnKey || key.getKeyCode() == juce::KeyPress::returnKey;

    if (sheet.isVisible())
    {
        if (isReturn)
            sheet.pressButton();
        return true; // the sheet is modal: nothing reaches the window's buttons
    }
    if (key == juce::KeyPress::escapeKey)
    {
        if (cancelButton.isEnabled())
            cancelButton.triggerClick();
        return true;
    }
    if (isReturn)
    {
        if (uninstallButton.isEnabled())
            uninstallButton.triggerClick();
        return true;
    }
    return false;
}

void UninstallerComponent::paint (juce::Graphics& g)
{
    g.fillAll (windowBackground);
}

void UninstallerComponent::resized()
{
    const int stackWidth = getWidth() - 2 * WindowLayout::sideInset;
    const int headingWidth = juce::jmin (stackWidth, (int) std::ceil (juce::TextLayout::getStringWidth (heading.getFont(), heading.getText())) + 2);
    const int headingHeight = heading.heightForWidth (headingWidth);
    const int bodyHeight = body.heightForWidth (stackWidth);
    const int warningHeight = warning.heightForWidth (stackWidth);
    const int statusHeight = status.heightForWidth (stackWidth);

    const int total = headingHeight + bodyHeight + warningHeight + statusHeight + buttonHeight + 4 * WindowLayout::stackSpacing;
    int y = (getHeight() - total) / 2;
    const int left = WindowLayout::sideInset;

    heading.setBounds ((getWidth() - headingWidth) / 2, y, headingWidth, headingHeight);
    y = heading.getBottom() + WindowLayout::stackSpacing;
    body.setBounds (left, y, stackWidth, bodyHeight);
    y = body.getBottom() + WindowLayout::stackSpacing;
    warning.setBounds (left, y, stackWidth, warningHeight);
    y = warning.getBottom() + WindowLayout::stackSpacing;
    status.setBounds (left, y, stackWidth, statusHeight);
    y = status.getBottom() + WindowLayout::stackSpacing;

    const int cancelWidth = buttonWidth (cancelButton);
    const int uninstallWidth = buttonWidth (uninstallButton);
    int x = (getWidth() - (cancelWidth + WindowLayout::buttonSpacing + uninstallWidth)) / 2;
    cancelButton.setBounds (x, y, cancelWidth, buttonHeight);
    x += cancelWidth + WindowLayout::buttonSpacing;
    uninstallButton.setBounds (x, y, uninstallWidth, buttonHeight);

    sheet.setBounds (getLocalBounds());
}

//==============================================================================
UninstallerWindow::UninstallerWindow (std::shared_ptr<RemovalRunner> runner, UninstallerComponent::ScriptLocator locateScript, std::function<void()> quit)
    : juce::DocumentWindow (juce::String::fromUTF8 (windowTexts (Platform::linuxDesktop).title.c_str()), windowBackground,
                            juce::DocumentWindow::closeButton, false)
{
    // The native window is created only once size and place are final: a window resized after
    // it was created can keep its first size under some window managers.
    setUsingNativeTitleBar (true);
    // Whenever the window becomes active the focus passes to the content, which handles the keys.
    setWantsKeyboardFocus (false);
    auto component = std::make_unique<UninstallerComponent> (std::move (runner), std::move (locateScript), std::move (quit));
    content = component.get();
    setContentOwned (component.release(), true);
    setResizable (false, false);
    centreWithSize (getWidth(), getHeight());
    addToDesktop (getDesktopWindowStyleFlags());
    setVisible (true);
    toFront (true);
    content->grabKeyboardFocus();
}

void UninstallerWindow::closeButtonPressed()
{
    if (content->canCloseWindow())
        content->cancel();
}

bool UninstallerWindow::keyPressed (const juce::KeyPress& key)
{
    return content->keyPressed (key);
}

} // namespace brivola::uninstaller
