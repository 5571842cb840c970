#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

/* The uninstaller's removal flow without any interface types: the window's texts and layout
   numbers, the AppleScript that asks macOS for administrator approval, the runner that executes
   the removal script, and the outcome turned into the result the window shows. The macOS front
   (AppKit) and the Linux front (JUCE) both build on it. */
namespace brivola::uninstaller
{

/** The system a front runs on; only a few texts differ. */
enum class Platform
{
    macOS,
    linuxDesktop
};

//==============================================================================
// The window.

/** The texts of the confirmation window. */
struct WindowTexts
{
    std::string title;       ///< the window's title
    std::string heading;     ///< large, semibold
    std::string body;        ///< two lines: what is removed, what is kept
    std::string warning;     ///< medium weight, secondary colour
    std::string status;      ///< the status line before anything has run
    std::string cancelButton;
    std::string uninstallButton;
};

/** The confirmation window's texts on the given system. */
WindowTexts windowTexts (Platform platform);

/** Sizes of the confirmation window, in points (logical pixels). */
struct WindowLayout
{
    static constexpr int width = 500;          ///< content width
    static constexpr int height = 310;         ///< content height
    static constexpr int sideInset = 34;       ///< the stack's distance from the left and right edges
    static constexpr int stackSpacing = 18;    ///< between the stack's items
    static constexpr int buttonSpacing = 12;   ///< between the two buttons
    static constexpr float headingPoints = 22.0f;
    static constexpr float bodyPoints = 14.0f;
    static constexpr float warningPoints = 13.0f;
    static constexpr float statusPoints = 12.0f;
    static constexpr int bodyMaxLines = 3;
};

/** The status line while the removal script waits for approval or runs. */
inline constexpr const char* waitingStatus = "Waiting for administrator approval…";

//==============================================================================
// Running the removal script.

/** File name and extension of the removal script among the application's resources. */
inline constexpr const char* macScriptName = "uninstall-macos";
inline constexpr const char* macScriptExtension = "sh";
inline constexpr const char* linuxScriptFileName = "uninstall-linux.sh";

/** What running the removal script with administrator approval gave: on macOS the error
    dictionary of the AppleScript (if any) and the script's output; the Linux runner reports the
    same four values. */
struct RunOutcome
{
    /** False when the system could not even be asked for approval (the AppleScript could not be
        created, or the approval helper could not be started); the other fields are then unused. */
    bool approvalRequested = true;
    /** An error dictionary (macOS) or a failed run (Linux) is present. */
    bool hasError = false;
    /** The error's number: AppleScript's error number (-128: the user dismissed the approval
        dialog) or the script's exit status; 0 when missing. */
    std::int32_t errorNumber = 0;
    /** The error's message, e.g. the script's standard error; empty when missing. */
    std::string errorMessage;
    /** The script's standard output; empty when none. */
    std::string output;
};

/** Error number of a run the user declined to approve (AppleScript's "User canceled."). */
inline constexpr std::int32_t userCanceledErrorNumber = -128;

/** Runs the removal script with administrator approval and waits for it. Called off the message
    thread, one run at a time. */
class RemovalRunner
{
public:
    virtual ~RemovalRunner() = default;

    /** Runs the script at `scriptPath` as root after the system's approval, and returns how it went. */
    virtual RunOutcome run (const std::string& scriptPath) = 0;
};

/** A path made safe inside an AppleScript string literal: every backslash doubled, then every
    double quote preceded by a backslash. */
std::string escapeForAppleScript (std::string_view path);

/** The one-line AppleScript that runs the script at `scriptPath` with /bin/bash as root after the
    system's approval dialog; AppleScript's `quoted form of` hands bash the path shell-quoted. */
std::string appleScriptSource (std::string_view scriptPath);

//==============================================================================
// Results.

/** What the result sheet tells the user. */
struct Result
{
    std::string title;
    std::string message;
    bool success = false;
};

/** The text the removal script prints when it left files it did not recognise in place. */
inline constexpr const char* unrecognizedFilesMarker = "Unrecognized files were left untouched";

/** The result when the application bundle has no removal script; nothing is run. */
Result missingScriptResult();

/** The result of one run of the removal script. */
Result classifyOutcome (const RunOutcome& outcome, Platform platform);

/** The whole flow on the calling thread: no script, no approval request; otherwise the script's
    outcome. The fronts split it at the runner so that the window stays responsive. */
Result runRemoval (const std::optional<std::string>& scriptPath, RemovalRunner& runner, Platform platform);

//==============================================================================
// Showing a result.

/** How the window presents a result. */
struct ResultPresentation
{
    std::string status;     ///< the status line after the result
    bool informational;     ///< informational sheet on success, a warning otherwise
    std::string buttonText; ///< the sheet's one button
    bool quitWhenClosed;    ///< the application quits when the sheet is closed
};

/** The status line, sheet style, button and what closing the sheet does, after a result. */
ResultPresentation presentResult (bool success);

} // namespace brivola::uninstaller
