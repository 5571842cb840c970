#pragma once

#include <juce_core/juce_core.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace brivola::host
{

//==============================================================================
/** Process exit codes; the project's scripts test them. */
enum ExitCode : int
{
    exitOk = 0,          ///< everything worked and no fault was found
    exitPluginFault = 1, ///< the plug-in misbehaved (robustness fault, bad samples, state mismatch, silence)
    exitUsage = 2,       ///< bad command line
    exitLoad = 3,        ///< bundle missing, no usable class, instance or layout refused
    exitIo = 4,          ///< a MIDI, WAV or state file could not be read or written
    exitTimeout = 5      ///< the run overran its time limit (a hang)
};

enum class Mode
{
    info,
    render,
    robustness,
    editor
};

/** One step of an editor run, done in command-line order while the editor is open. */
struct EditorAction
{
    enum class Kind
    {
        eval,       ///< evaluate `text` (a script) in the page and print its result
        evalFile,   ///< evaluate the script in the file named `text`
        waitUntil,  ///< evaluate the script `text` again and again until its value is truthy
        wait,       ///< keep the editor open and the audio running for `seconds`
        screenshot, ///< save the editor's area of the screen to the PNG file named `text`
        reopen,     ///< close the editor (deleting it) and open a new one
        moveWindow  ///< move the editor's window by (dx, dy) pixels in ten steps 16 ms apart
    };

    Kind kind = Kind::wait;
    juce::String text;
    double seconds = 0.0;
    int dx = 0, dy = 0;
};

/** One `--set PARAM=VALUE`: a parameter reference and a normalised value. */
struct ParameterAssignment
{
    juce::String reference;
    double value = 0.0;
};

/** One breakpoint of an automation lane: time in seconds and normalised value. */
struct AutomationPoint
{
    double seconds = 0.0;
    double value = 0.0;
};

/** One `--automate PARAM=T:V,...`: breakpoints sorted by time. */
struct AutomationLane
{
    juce::String reference;
    std::vector<AutomationPoint> points;
};

/** Everything the command line chose. */
struct HostOptions
{
    Mode mode = Mode::info;
    juce::String bundlePath;
    juce::String className;

    bool json = false;
    bool quiet = false;
    bool allParameters = false;
    bool showHelp = false;
    bool showVersion = false;

    double sampleRate = 48000.0;
    std::vector<int> blockPattern { 512 };

    std::vector<ParameterAssignment> assignments;
    std::vector<AutomationLane> automation;

    juce::String loadStatePath;
    juce::String saveStatePath;
    juce::String saveRawStatePath;

    juce::String outputPath;
    juce::String midiPath;
    juce::String patternName;
    double tailSeconds = 2.0;
    std::optional<double> lengthSeconds;
    int outputChannels = 0; ///< 0 keeps the plug-in's default output layout
    int bitsPerSample = 24;
    double bpm = 120.0;
    bool offline = false;
    bool requireSound = false;

    std::uint64_t seed = 1;
    double timeLimitSeconds = 30.0;
    int cycles = 5;

    std::vector<EditorAction> editorActions;
    double readyTimeoutSeconds = 30.0;
};

/** The parsed command line, or the reason it was refused. */
struct ParseResult
{
    std::optional<HostOptions> options;
    juce::String error;
};

//==============================================================================
/** Parses the arguments after the program name. */
ParseResult parseCommandLine (const juce::StringArray& args);

/** The text printed by `--help`. */
juce::String usageText();

/** Parses "1,7,128,4096" into block sizes (each 1 to 65536); nothing on any bad entry. */
std::optional<std::vector<int>> parseBlockPattern (const juce::String& text);

/** Parses "PARAM=VALUE" with VALUE in [0, 1]. */
std::optional<ParameterAssignment> parseAssignment (const juce::String& text);

/** Parses "PARAM=T:V,T:V,..." (seconds ≥ 0, values in [0, 1]); points come back sorted by time. */
std::optional<AutomationLane> parseAutomation (const juce::String& text);

/** The lane's value at a time: linear between breakpoints, held before the first and after the last. */
double automationValueAt (const AutomationLane& lane, double seconds);

/** Parses a strictly numeric double (no trailing garbage). */
std::optional<double> parseNumber (const juce::String& text);

} // namespace brivola::host
