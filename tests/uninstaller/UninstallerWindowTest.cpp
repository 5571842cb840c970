// The Linux uninstaller window on a real X display (tests/uninstaller/with-xvfb.sh provides one):
// its texts and sizes, a screenshot, and the flow driven by real key presses through the X server
// (xdotool) with a runner that waits until the test lets it finish.
#include "uninstaller/linux/UninstallerWindow.h"

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

using namespace brivola::uninstaller;

namespace
{
/** A runner that records each call and blocks until the test releases it with an outcome. */
class GatedRunner final : public RemovalRunner
{
public:
    RunOutcome run (const std::string& scriptPath) override
    {
        std::unique_lock lock (mutex);
        paths.push_back (scriptPath);
        ranOnMessageThread = juce::MessageManager::getInstance()->isThisTheMessageThread();
        running = true;
        changed.wait (lock, [this] { return released; });
        released = false;
        running = false;
        return next;
    }

    void release (RunOutcome outcome)
    {
        std::lock_guard lock (mutex);
        next = std::move (outcome);
        released = true;
        changed.notify_all();
    }

    bool isRunning() const { std::lock_guard lock (mutex); return running; }
    std::size_t calls() const { std::lock_guard lock (mutex); return paths.size(); }
    std::string lastPath() const { std::lock_guard lock (mutex); return paths.empty() ? std::string() : paths.back(); }
    bool calledOnMessageThread() const { std::lock_guard lock (mutex); return ranOnMessageThread; }

private:
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> paths;
    RunOutcome next;
    bool released = false;
    bool running = false;
    bool ranOnMessageThread = false;
};

void pump (int milliseconds)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (milliseconds);
}

/** Runs the message loop until the condition holds; false after five seconds. */
bool pumpUntil (const std::function<bool()>& condition, int timeoutMs = 5000)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;
    while (! condition())
    {
        if (juce::Time::getMillisecondCounter() > end)
            return false;
        pump (10);
    }
    return true;
}

/** Runs a tool while the message loop keeps going, so the window can answer the X server. */
int runTool (const juce::StringArray& command)
{
    juce::ChildProcess process;
    if (! process.start (command, juce::ChildProcess::wantStdErr | juce::ChildProcess::wantStdOut))
        return -1;
    pumpUntil ([&] { return ! process.isRunning(); }, 20000);
    return (int) process.getExitCode();
}

/** Presses a key through the X server, as the user would; it goes to the focused window. */
void pressKey (const juce::String& keysym)
{
    ASSERT_EQ (runTool ({ "xdotool", "key", "--clearmodifiers", keysym }), 0) << keysym;
    pump (50);
}

juce::File screenshotFolder()
{
    const auto configured = juce::SystemStats::getEnvironmentVariable ("BRIVOLA_SCREENSHOT_DIR", {});
    return configured.isNotEmpty() ? juce::File (configured)
                                   : juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("brivola-uninstaller-screenshots");
}

/** Paints what is pending in the window now, then saves the whole X screen as a PNG and reads it back. */
juce::Image takeScreenshot (juce::Component& window, const juce::String& name)
{
    const auto folder = screenshotFolder();
    folder.createDirectory();
    const auto file = folder.getChildFile (name + ".png");
    file.deleteFile();
    pump (100);
    if (auto* peer = window.getPeer())
        peer->performAnyPendingRepaintsNow();
    pump (100);
    EXPECT_EQ (runTool ({ "import", "-window", "root", file.getFullPathName() }), 0);
    std::cout << "Screenshot: " << file.getFullPathName() << std::endl;
    return juce::ImageFileFormat::loadFrom (file);
}

template <typename Type>
Type& child (juce::Component& parent, const juce::String& id)
{
    auto* found = dynamic_cast<Type*> (parent.findChildWithID (id));
    if (found == nullptr)
        throw std::runtime_error (("no component " + id).toStdString());
    return *found;
}

RunOutcome scriptFailed()
{
    RunOutcome outcome;
    outcome.hasError = true;
    outcome.errorNumber = 3;
    outcome.errorMessage = "Refused: /usr/lib/vst3/Brivola.vst3 contains symbolic links that lead out of it";
    return outcome;
}

RunOutcome succeededLeavingFiles()
{
    RunOutcome outcome;
    outcome.output = "Removed /root/.vst3/Brivola.vst3\nUnrecognized files were left untouched.\n";
    return outcome;
}

//==============================================================================
/** One uninstaller window with the gated runner; the quit requests are counted. */
class UninstallerWindowTest : public ::testing::Test
{
protected:
    void open (bool withScript = true)
    {
        script = juce::File::createTempFile (".sh");
        script.replaceWithText ("exit 0\n");
        runner = std::make_shared<GatedRunner>();
        const auto path = script.getFullPathName().toStdString();
        UninstallerComponent::ScriptLocator locator = [withScript, path]() -> std::optional<std::string>
        {
            if (! withScript)
                return std::nullopt;
            return path;
        };
        window = std::make_unique<UninstallerWindow> (runner, locator, [this] { ++quitRequests; });
        ASSERT_TRUE (pumpUntil ([this] { return window->isOnDesktop() && window->isShowing(); }));

        // Make it the active window through the window manager, so that key presses reach it.
        const auto windowId = juce::String ((juce::uint64) (juce::pointer_sized_uint) window->getWindowHandle());
        ASSERT_EQ (runTool ({ "xdotool", "windowactivate", "--sync", windowId }), 0);
        ASSERT_TRUE (pumpUntil ([this] { return window->getPeer()->isFocused(); })) << "the window did not get the X input focus";
    }

    void TearDown() override
    {
        if (runner != nullptr && runner->isRunning())
            runner->release ({});
        window.reset();
        pump (50);
        script.deleteFile();
    }

    UninstallerComponent& content() { return window->getContent(); }
    WrappedText& text (const juce::String& id) { return child<WrappedText> (content(), id); }
    juce::TextButton& button (const juce::String& id) { return child<juce::TextButton> (content(), id); }
    ResultSheet& sheet() { return child<ResultSheet> (content(), "sheet"); }
    WrappedText& sheetText (const juce::String& id) { return child<WrappedText> (sheet(), id); }
    juce::TextButton& sheetButton() { return child<juce::TextButton> (sheet(), "sheetButton"); }

    bool buttonsEnabled() { return button ("cancel").isEnabled() && button ("uninstall").isEnabled(); }
    bool buttonsDisabled() { return ! button ("cancel").isEnabled() && ! button ("uninstall").isEnabled(); }

    juce::File script;
    std::shared_ptr<GatedRunner> runner;
    std::unique_ptr<UninstallerWindow> window;
    int quitRequests = 0;
};
} // namespace

//==============================================================================
TEST_F (UninstallerWindowTest, OpensWithTheTextsAndSizesOfTheConfirmation)
{
    ASSERT_NO_FATAL_FAILURE (open());

    EXPECT_EQ (window->getName(), "Brivola Uninstaller");
    EXPECT_TRUE (window->isUsingNativeTitleBar());
    EXPECT_FALSE (window->isResizable());
    EXPECT_EQ (content().getWidth(), 500);
    EXPECT_EQ (content().getHeight(), 310);
    EXPECT_EQ (window->getPeer()->getBounds().getWidth(), 500);
    EXPECT_EQ (window->getPeer()->getBounds().getHeight(), 310);
    const auto screen = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay()->userArea;
    EXPECT_NEAR (window->getScreenBounds().getCentreX(), screen.getCentreX(), 2);

    EXPECT_EQ (text ("heading").getText(), "Uninstall Brivola?");
    EXPECT_EQ (text ("body").getText(), "This will remove the VST3 plug-in from this computer.\n"
                                        "Your presets, pipette discoveries, statistics and other personal Brivola data will be preserved.");
    EXPECT_EQ (text ("warning").getText(), "Quit all audio apps before continuing.");
    EXPECT_EQ (text ("status").getText(), "Administrator approval is required to uninstall Brivola.");
    EXPECT_EQ (button ("cancel").getButtonText(), "Cancel");
    EXPECT_EQ (button ("uninstall").getButtonText(), "Uninstall");
    EXPECT_TRUE (buttonsEnabled());

    EXPECT_FLOAT_EQ (text ("heading").getFont().getHeightInPoints(), 22.0f);
    EXPECT_TRUE (text ("heading").getFont().isBold());
    EXPECT_FLOAT_EQ (text ("body").getFont().getHeightInPoints(), 14.0f);
    EXPECT_FLOAT_EQ (text ("warning").getFont().getHeightInPoints(), 13.0f);
    EXPECT_FLOAT_EQ (text ("status").getFont().getHeightInPoints(), 12.0f);
    std::cout << "Typeface: " << text ("body").getFont().getTypefaceName() << " / heading style "
              << text ("heading").getFont().getTypefaceStyle() << std::endl;

    // A vertical stack 34 points from the sides, centred vertically, 18 points between items;
    // the body, the warning and the status are as wide as the stack.
    const std::vector<juce::Component*> stack { &text ("heading"), &text ("body"), &text ("warning"), &text ("status"), &button ("cancel") };
    for (auto* item : { &text ("body"), &text ("warning"), &text ("status") })
    {
        EXPECT_EQ (item->getX(), 34) << item->getComponentID();
        EXPECT_EQ (item->getWidth(), 500 - 2 * 34) << item->getComponentID();
    }
    for (std::size_t i = 1; i < stack.size(); ++i)
        EXPECT_EQ (stack[i]->getY() - stack[i - 1]->getBottom(), 18) << stack[i]->getComponentID();
    const int top = stack.front()->getY();
    const int bottom = 310 - stack.back()->getBottom();
    EXPECT_NEAR (top, bottom, 1);
    EXPECT_GT (top, 0);
    EXPECT_NEAR (text ("heading").getBounds().getCentreX(), 250, 1);

    const auto body = text ("body").getWidth();
    EXPECT_GE (text ("body").linesForWidth (body), 2);
    EXPECT_LE (text ("body").linesForWidth (body), 3);

    // The buttons side by side, 12 points apart, centred.
    EXPECT_EQ (button ("uninstall").getX() - button ("cancel").getRight(), 12);
    EXPECT_EQ (button ("uninstall").getY(), button ("cancel").getY());
    EXPECT_NEAR ((button ("cancel").getX() + button ("uninstall").getRight()) / 2, 250, 1);

    // What the X server shows: the window's background and the filled default button.
    const auto shot = takeScreenshot (*window, "uninstaller-window");
    ASSERT_TRUE (shot.isValid());
    const auto origin = content().getScreenPosition();
    const auto background = shot.getPixelAt (origin.x + 6, origin.y + 6);
    EXPECT_EQ (background.getARGB() & 0xffffff, 0xecececu) << background.toDisplayString (false);
    const auto uninstall = button ("uninstall").getBounds();
    const auto fill = shot.getPixelAt (origin.x + uninstall.getX() + 5, origin.y + uninstall.getCentreY());
    EXPECT_GT (fill.getBlue(), 200) << fill.toDisplayString (false);
    EXPECT_LT (fill.getRed(), 60) << fill.toDisplayString (false);
    const auto headingArea = text ("heading").getBounds() + origin;
    int dark = 0;
    for (int x = headingArea.getX(); x < headingArea.getRight(); ++x)
        for (int y = headingArea.getY(); y < headingArea.getBottom(); ++y)
            dark += shot.getPixelAt (x, y).getBrightness() < 0.4f ? 1 : 0;
    EXPECT_GT (dark, 100) << "the heading's text is not on the screen";
}

TEST_F (UninstallerWindowTest, ReturnRunsTheScriptWithTheButtonsDisabledUntilTheResult)
{
    ASSERT_NO_FATAL_FAILURE (open());

    pressKey ("Return");
    ASSERT_TRUE (pumpUntil ([this] { return runner->isRunning(); })) << "Return did not start the removal";
    EXPECT_EQ (runner->lastPath(), script.getFullPathName().toStdString());
    EXPECT_FALSE (runner->calledOnMessageThread());
    EXPECT_TRUE (buttonsDisabled());
    EXPECT_TRUE (content().isWaiting());
    EXPECT_EQ (text ("status").getText(), juce::String::fromUTF8 ("Waiting for administrator approval…"));

    // While waiting, the window stays responsive but neither key nor close does anything.
    pressKey ("Escape");
    pressKey ("Return");
    window->closeButtonPressed();
    pump (100);
    EXPECT_EQ (quitRequests, 0);
    EXPECT_EQ (runner->calls(), 1u);
    EXPECT_TRUE (buttonsDisabled());

    // The script fails: a warning sheet, buttons back, status "Ready.", the window stays.
    runner->release (scriptFailed());
    ASSERT_TRUE (pumpUntil ([this] { return sheet().isVisible(); }));
    EXPECT_TRUE (buttonsEnabled());
    EXPECT_FALSE (content().isWaiting());
    EXPECT_EQ (text ("status").getText(), "Ready.");
    EXPECT_EQ (sheetText ("sheetTitle").getText(), "Brivola could not be uninstalled");
    EXPECT_EQ (sheetText ("sheetMessage").getText(), "Files not verified as part of Brivola were left untouched. Reinstall Brivola and try again.");
    EXPECT_EQ (sheetButton().getButtonText(), "OK");
    EXPECT_FALSE (sheet().isInformational());
    takeScreenshot (*window, "uninstaller-failure-sheet");

    // The sheet is modal: Escape does not quit behind it; Return closes it.
    pressKey ("Escape");
    EXPECT_EQ (quitRequests, 0);
    pressKey ("Return");
    ASSERT_TRUE (pumpUntil ([this] { return ! sheet().isVisible(); }));
    pump (100);
    EXPECT_EQ (quitRequests, 0);
    EXPECT_EQ (runner->calls(), 1u);
    EXPECT_TRUE (window->isShowing());

    // Trying again: this time the script removes the plug-ins but leaves unrecognised files.
    pressKey ("Return");
    ASSERT_TRUE (pumpUntil ([this] { return runner->isRunning(); }));
    EXPECT_TRUE (buttonsDisabled());
    runner->release (succeededLeavingFiles());
    ASSERT_TRUE (pumpUntil ([this] { return sheet().isVisible(); }));
    EXPECT_TRUE (buttonsEnabled());
    EXPECT_EQ (text ("status").getText(), "Uninstallation completed.");
    EXPECT_EQ (sheetText ("sheetTitle").getText(), "Brivola was uninstalled");
    EXPECT_EQ (sheetText ("sheetMessage").getText(),
               "Brivola plug-ins were removed. Some unrecognized files were left untouched. "
               "Your presets, pipette discoveries, statistics and other personal Brivola data were preserved.");
    EXPECT_EQ (sheetButton().getButtonText(), "Close");
    EXPECT_TRUE (sheet().isInformational());
    const auto shot = takeScreenshot (*window, "uninstaller-success-sheet");
    ASSERT_TRUE (shot.isValid());
    const auto panel = sheet().getPanelBounds() + content().getScreenPosition();
    EXPECT_EQ (shot.getPixelAt (panel.getRight() - 8, panel.getY() + 8).getARGB() & 0xffffff, 0xf6f6f6u) << "the sheet is not on the screen";

    // Closing the success sheet quits.
    pressKey ("Return");
    ASSERT_TRUE (pumpUntil ([this] { return quitRequests == 1; }));
    EXPECT_EQ (runner->calls(), 2u);
}

TEST_F (UninstallerWindowTest, MissingScriptShowsTheSheetAtOnceWithoutAskingForApproval)
{
    ASSERT_NO_FATAL_FAILURE (open (false));

    button ("uninstall").triggerClick();
    ASSERT_TRUE (pumpUntil ([this] { return sheet().isVisible(); }));
    EXPECT_EQ (runner->calls(), 0u);
    EXPECT_FALSE (content().isWaiting());
    EXPECT_TRUE (buttonsEnabled());
    EXPECT_EQ (text ("status").getText(), "Ready.");
    EXPECT_EQ (sheetText ("sheetTitle").getText(), "The uninstaller is incomplete");
    EXPECT_EQ (sheetText ("sheetMessage").getText(), "The removal tool is missing. Reinstall Brivola and try again.");
    EXPECT_EQ (sheetButton().getButtonText(), "OK");

    sheetButton().triggerClick();
    ASSERT_TRUE (pumpUntil ([this] { return ! sheet().isVisible(); }));
    EXPECT_EQ (quitRequests, 0);
}

TEST_F (UninstallerWindowTest, EscapeCancelAndClosingQuitFromIdle)
{
    ASSERT_NO_FATAL_FAILURE (open());

    pressKey ("Escape");
    ASSERT_TRUE (pumpUntil ([this] { return quitRequests == 1; })) << "Escape did not quit";

    button ("cancel").triggerClick();
    ASSERT_TRUE (pumpUntil ([this] { return quitRequests == 2; }));

    window->closeButtonPressed();
    EXPECT_EQ (quitRequests, 3);
    EXPECT_EQ (runner->calls(), 0u);
}

//==============================================================================
int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);
    int result = 0;
    {
        juce::ScopedJuceInitialiser_GUI juce;
        result = RUN_ALL_TESTS();
    }
    return result;
}
