// Brivola Uninstaller for Linux: one window that confirms, runs the removal script that ships
// beside the executable as root through polkit's approval dialog, and reports the result.
#include "uninstaller/linux/PkexecRunner.h"
#include "uninstaller/linux/UninstallerWindow.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace brivola::uninstaller
{

namespace
{
/** The removal script beside the executable, when it is there. */
std::optional<std::string> locateLinuxScript()
{
    const auto script = juce::File::getSpecialLocation (juce::File::currentExecutableFile).getSiblingFile (linuxScriptFileName);
    if (! script.existsAsFile())
        return std::nullopt;
    return script.getFullPathName().toStdString();
}
} // namespace

//==============================================================================
class UninstallerApplication final : public juce::JUCEApplication
{
public:
    const juce::String getApplicationName() override { return juce::String::fromUTF8 (windowTexts (Platform::linuxDesktop).title.c_str()); }
    const juce::String getApplicationVersion() override { return BRIVOLA_UNINSTALLER_VERSION; }
    bool moreThanOneInstanceAllowed() override { return true; }

    void initialise (const juce::String&) override
    {
        juce::Process::makeForegroundProcess();
        window = std::make_unique<UninstallerWindow> (std::make_shared<PkexecRunner>(), locateLinuxScript, [] { quit(); });
    }

    void shutdown() override { window.reset(); }

    void systemRequestedQuit() override
    {
        // A removal that is running finishes first.
        if (window == nullptr || ! window->getContent().isWaiting())
            quit();
    }

private:
    std::unique_ptr<UninstallerWindow> window;
};

} // namespace brivola::uninstaller

START_JUCE_APPLICATION (brivola::uninstaller::UninstallerApplication)
