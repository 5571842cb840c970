#include "uninstaller/flow/UninstallFlow.h"

#include <algorithm>
#include <cctype>

namespace brivola::uninstaller
{

namespace
{
constexpr const char* keptDataFuture = "Your presets, pipette discoveries, statistics and other personal Brivola data will be preserved.";
constexpr const char* keptDataPast = "Your presets, pipette discoveries, statistics and other personal Brivola data were preserved.";

bool containsIgnoringCase (std::string_view text, std::string_view word)
{
    const auto lower = [] (char c) { return static_cast<char> (std::tolower (static_cast<unsigned char> (c))); };
    return std::search (text.begin(), text.end(), word.begin(), word.end(),
                        [&] (char a, char b) { return lower (a) == lower (b); })
           != text.end();
}
} // namespace

//==============================================================================
WindowTexts windowTexts (Platform platform)
{
    WindowTexts texts;
    texts.title = "Brivola Uninstaller";
    texts.heading = "Uninstall Brivola?";
    texts.body = std::string (platform == Platform::macOS ? "This will remove the AU and VST3 plug-ins from this Mac."
                                                          : "This will remove the VST3 plug-in from this computer.")
                 + "\n" + keptDataFuture;
    texts.warning = "Quit all audio apps before continuing.";
    texts.status = "Administrator approval is required to uninstall Brivola.";
    texts.cancelButton = "Cancel";
    texts.uninstallButton = "Uninstall";
    return texts;
}

//==============================================================================
std::string escapeForAppleScript (std::string_view path)
{
    std::string escaped;
    escaped.reserve (path.size() + 8);
    for (const char c : path)
    {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '"')
            escaped += "\\\"";
        else
            escaped += c;
    }
    return escaped;
}

std::string appleScriptSource (std::string_view scriptPath)
{
    return "do shell script (\"/bin/bash \" & quoted form of \"" + escapeForAppleScript (scriptPath)
           + "\") with administrator privileges";
}

//==============================================================================
Result missingScriptResult()
{
    return { "The uninstaller is incomplete", "The removal tool is missing. Reinstall Brivola and try again.", false };
}

Result classifyOutcome (const RunOutcome& outcome, Platform platform)
{
    if (! outcome.approvalRequested)
        return { "Brivola could not be uninstalled",
                 platform == Platform::macOS ? "macOS could not request administrator approval."
                                             : "The system could not request administrator approval.",
                 false };

    // An error is a failure whatever its number: a missing number (0) must not read as success.
    if (outcome.hasError)
    {
        const auto detail = outcome.errorMessage + " (" + std::to_string (outcome.errorNumber) + ")";
        std::string cancelMark = "(";
        cancelMark += std::to_string (userCanceledErrorNumber);
        cancelMark += ")";
        if (detail.find (cancelMark) != std::string::npos || containsIgnoringCase (detail, "canceled"))
            return { "Uninstallation canceled", "No changes were made.", false };

        return { "Brivola could not be uninstalled",
                 "Files not verified as part of Brivola were left untouched. Reinstall Brivola and try again.",
                 false };
    }

    std::string message = "Brivola plug-ins were removed. ";
    if (outcome.output.find (unrecognizedFilesMarker) != std::string::npos)
        message += "Some unrecognized files were left untouched. ";
    message += keptDataPast;
    return { "Brivola was uninstalled", message, true };
}

Result runRemoval (const std::optional<std::string>& scriptPath, RemovalRunner& runner, Platform platform)
{
    if (! scriptPath.has_value())
        return missingScriptResult();
    return classifyOutcome (runner.run (*scriptPath), platform);
}

//==============================================================================
ResultPresentation presentResult (bool success)
{
    if (success)
        return { "Uninstallation completed.", true, "Close", true };
    return { "Ready.", false, "OK", false };
}

} // namespace brivola::uninstaller
