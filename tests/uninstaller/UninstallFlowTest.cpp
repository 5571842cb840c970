#include "uninstaller/flow/UninstallFlow.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

using namespace brivola::uninstaller;

namespace
{
/** Records what it was asked to run and answers with a prepared outcome. */
class FakeRunner final : public RemovalRunner
{
public:
    explicit FakeRunner (RunOutcome outcomeToGive) : outcome (std::move (outcomeToGive)) {}

    RunOutcome run (const std::string& scriptPath) override
    {
        paths.push_back (scriptPath);
        return outcome;
    }

    RunOutcome outcome;
    std::vector<std::string> paths;
};

RunOutcome succeeded (std::string output = {})
{
    RunOutcome outcome;
    outcome.output = std::move (output);
    return outcome;
}

RunOutcome failed (std::int32_t number, std::string message)
{
    RunOutcome outcome;
    outcome.hasError = true;
    outcome.errorNumber = number;
    outcome.errorMessage = std::move (message);
    return outcome;
}

RunOutcome notRequested()
{
    RunOutcome outcome;
    outcome.approvalRequested = false;
    return outcome;
}

const std::string removed = "Brivola plug-ins were removed. ";
const std::string kept = "Your presets, pipette discoveries, statistics and other personal Brivola data were preserved.";
const std::string notVerified = "Files not verified as part of Brivola were left untouched. Reinstall Brivola and try again.";

//==============================================================================
/** AppleScript's reading of a string literal (backslash escapes) followed by `quoted form of`
    (POSIX single quotes, an embedded quote as '\''), as the script hands its text to the shell. */
std::string appleScriptQuotedForm (const std::string& literalBody)
{
    std::string text;
    for (std::size_t i = 0; i < literalBody.size(); ++i)
    {
        if (literalBody[i] == '\\' && i + 1 < literalBody.size())
            ++i;
        else if (literalBody[i] == '"')
            ADD_FAILURE() << "unescaped double quote ends the literal early: " << literalBody;
        text += literalBody[i];
    }
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string ("'\\''") : std::string (1, c);
    return quoted + "'";
}

/** The shell command AppleScript builds from our source: "/bin/bash " & quoted form of "<path>". */
std::string shellCommandOf (const std::string& source)
{
    const std::string head = "do shell script (\"/bin/bash \" & quoted form of \"";
    const std::string tail = "\") with administrator privileges";
    EXPECT_EQ (source.rfind (head, 0), 0u) << source;
    EXPECT_GE (source.size(), head.size() + tail.size());
    EXPECT_EQ (source.substr (source.size() - tail.size()), tail) << source;
    return "/bin/bash " + appleScriptQuotedForm (source.substr (head.size(), source.size() - head.size() - tail.size()));
}
} // namespace

//==============================================================================
TEST (UninstallFlow, OutcomesGiveTheTitlesMessagesAndSuccessOfTheSheet)
{
    struct Case
    {
        const char* what;
        std::optional<std::string> script;
        RunOutcome outcome;
        std::string title;
        std::string message;
        bool success;
        bool approvalAsked;
    };

    const std::string script = "/Applications/Brivola Uninstaller.app/Contents/Resources/uninstall-macos.sh";
    const std::vector<Case> cases {
        { "no script in the bundle", std::nullopt, succeeded(),
          "The uninstaller is incomplete", "The removal tool is missing. Reinstall Brivola and try again.", false, false },
        { "approval dialog dismissed", script, failed (-128, "User canceled."),
          "Uninstallation canceled", "No changes were made.", false, true },
        { "-128 with an empty message", script, failed (-128, ""),
          "Uninstallation canceled", "No changes were made.", false, true },
        { "\"canceled\" in another case, other number", script, failed (1, "The operation was CANCELED by the user"),
          "Uninstallation canceled", "No changes were made.", false, true },
        { "script exits 3 with standard error", script, failed (3, "Refused: Brivola.vst3 contains symbolic links"),
          "Brivola could not be uninstalled", notVerified, false, true },
        { "-1280 is not the cancel number", script, failed (-1280, "odd"),
          "Brivola could not be uninstalled", notVerified, false, true },
        { "an error without a number is still a failure", script, failed (0, "Something went wrong"),
          "Brivola could not be uninstalled", notVerified, false, true },
        { "AppleScript could not be created", script, notRequested(),
          "Brivola could not be uninstalled", "macOS could not request administrator approval.", false, true },
        { "exit 0, plain output", script, succeeded ("Removed /Library/Audio/Plug-Ins/VST3/Brivola.vst3"),
          "Brivola was uninstalled", removed + kept, true, true },
        { "exit 0, no output", script, succeeded(),
          "Brivola was uninstalled", removed + kept, true, true },
        { "exit 0, unrecognized files left", script, succeeded ("Removed x\rLeft untouched: y\rUnrecognized files were left untouched."),
          "Brivola was uninstalled", removed + "Some unrecognized files were left untouched. " + kept, true, true },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        FakeRunner runner (c.outcome);
        const auto result = runRemoval (c.script, runner, Platform::macOS);
        EXPECT_EQ (result.title, c.title);
        EXPECT_EQ (result.message, c.message);
        EXPECT_EQ (result.success, c.success);
        EXPECT_EQ (runner.paths.size(), c.approvalAsked ? 1u : 0u);
        if (c.approvalAsked && ! runner.paths.empty())
        {
            EXPECT_EQ (runner.paths.front(), *c.script);
        }
    }
}

TEST (UninstallFlow, LinuxNamesWhatItRemovesAndWhoCouldNotAsk)
{
    const auto mac = windowTexts (Platform::macOS);
    const auto linuxTexts = windowTexts (Platform::linuxDesktop);
    EXPECT_EQ (mac.body, "This will remove the AU and VST3 plug-ins from this Mac.\n"
                         "Your presets, pipette discoveries, statistics and other personal Brivola data will be preserved.");
    EXPECT_EQ (linuxTexts.body, "This will remove the VST3 plug-in from this computer.\n"
                               "Your presets, pipette discoveries, statistics and other personal Brivola data will be preserved.");
    for (const auto& texts : { mac, linuxTexts })
    {
        EXPECT_EQ (texts.title, "Brivola Uninstaller");
        EXPECT_EQ (texts.heading, "Uninstall Brivola?");
        EXPECT_EQ (texts.warning, "Quit all audio apps before continuing.");
        EXPECT_EQ (texts.status, "Administrator approval is required to uninstall Brivola.");
        EXPECT_EQ (texts.cancelButton, "Cancel");
        EXPECT_EQ (texts.uninstallButton, "Uninstall");
    }
    EXPECT_EQ (classifyOutcome (notRequested(), Platform::linuxDesktop).message, "The system could not request administrator approval.");
    EXPECT_EQ (classifyOutcome (failed (-128, "Not authorized"), Platform::linuxDesktop).title, "Uninstallation canceled");
}

TEST (UninstallFlow, ResultsSetTheStatusSheetButtonAndWhetherClosingQuits)
{
    const auto success = presentResult (true);
    EXPECT_EQ (success.status, "Uninstallation completed.");
    EXPECT_TRUE (success.informational);
    EXPECT_EQ (success.buttonText, "Close");
    EXPECT_TRUE (success.quitWhenClosed);

    const auto failure = presentResult (false);
    EXPECT_EQ (failure.status, "Ready.");
    EXPECT_FALSE (failure.informational);
    EXPECT_EQ (failure.buttonText, "OK");
    EXPECT_FALSE (failure.quitWhenClosed);

    EXPECT_STREQ (waitingStatus, "Waiting for administrator approval\xE2\x80\xA6");
}

//==============================================================================
TEST (AppleScriptSource, EscapesBackslashesThenQuotes)
{
    EXPECT_EQ (escapeForAppleScript ("/plain/path.sh"), "/plain/path.sh");
    EXPECT_EQ (escapeForAppleScript ("a\"b"), "a\\\"b");
    EXPECT_EQ (escapeForAppleScript ("a\\b"), "a\\\\b");
    // A backslash before a quote: doubled first, so the quote's own escape is not doubled.
    EXPECT_EQ (escapeForAppleScript ("\\\""), "\\\\\\\"");
    EXPECT_EQ (escapeForAppleScript ("it's"), "it's");

    EXPECT_EQ (appleScriptSource ("/Volumes/My \"Apps\"\\x/uninstall-macos.sh"),
               "do shell script (\"/bin/bash \" & quoted form of \"/Volumes/My \\\"Apps\\\"\\\\x/uninstall-macos.sh\") "
               "with administrator privileges");
}

TEST (AppleScriptSource, PathsWithQuotesBackslashesAndApostrophesReachBashIntact)
{
    // The command AppleScript would hand to the shell runs the script at the exact path.
    const auto base = std::filesystem::temp_directory_path() / ("brivola-applescript-" + std::to_string (::getpid()));
    const std::vector<std::string> names { "plain", "with space", "dq\"uote", "back\\slash", "both\\\"x", "it's", "$HOME `x`", "ünï" };

    for (const auto& name : names)
    {
        SCOPED_TRACE (name);
        const auto folder = base / name;
        std::filesystem::create_directories (folder);
        const auto script = folder / "uninstall-macos.sh";
        const auto marker = base / "ran";
        std::filesystem::remove (marker);
        {
            std::ofstream out (script);
            out << "printf '%s' \"$0\" > '" << marker.string() << "'\n";
        }

        const auto command = shellCommandOf (appleScriptSource (script.string()));
        ASSERT_EQ (std::system (command.c_str()), 0) << command;

        std::ifstream in (marker);
        const std::string ranWith ((std::istreambuf_iterator<char> (in)), std::istreambuf_iterator<char>());
        EXPECT_EQ (ranWith, script.string());
    }
    std::filesystem::remove_all (base);
}
