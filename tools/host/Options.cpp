#include "Options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace brivola::host
{

namespace
{
constexpr int maxBlockSize = 65536;

std::optional<long long> parseInteger (const juce::String& text)
{
    const auto trimmed = text.trim();

    if (trimmed.isEmpty())
        return std::nullopt;

    const auto utf8 = trimmed.toStdString();
    char* end = nullptr;
    errno = 0;
    const auto value = std::strtoll (utf8.c_str(), &end, 10);

    if (errno != 0 || end == utf8.c_str() || *end != '\0')
        return std::nullopt;

    return value;
}

bool isUnitValue (double v) { return std::isfinite (v) && v >= 0.0 && v <= 1.0; }

/** Splits "NAME=REST" at the last '=' so that names may not contain '=' but values cannot either. */
std::optional<std::pair<juce::String, juce::String>> splitAssignment (const juce::String& text)
{
    const auto at = text.lastIndexOfChar ('=');

    if (at <= 0 || at == text.length() - 1)
        return std::nullopt;

    return std::make_pair (text.substring (0, at).trim(), text.substring (at + 1).trim());
}
} // namespace

//==============================================================================
std::optional<double> parseNumber (const juce::String& text)
{
    const auto trimmed = text.trim();

    if (trimmed.isEmpty())
        return std::nullopt;

    const auto utf8 = trimmed.toStdString();
    char* end = nullptr;
    errno = 0;
    const auto value = std::strtod (utf8.c_str(), &end);

    if (errno != 0 || end == utf8.c_str() || *end != '\0' || ! std::isfinite (value))
        return std::nullopt;

    return value;
}

std::optional<std::vector<int>> parseBlockPattern (const juce::String& text)
{
    juce::StringArray parts;
    parts.addTokens (text, ",", "");

    std::vector<int> sizes;

    for (const auto& part : parts)
    {
        const auto n = parseInteger (part);

        if (! n.has_value() || *n < 1 || *n > maxBlockSize)
            return std::nullopt;

        sizes.push_back ((int) *n);
    }

    if (sizes.empty())
        return std::nullopt;

    return sizes;
}

std::optional<ParameterAssignment> parseAssignment (const juce::String& text)
{
    const auto split = splitAssignment (text);

    if (! split.has_value())
        return std::nullopt;

    const auto value = parseNumber (split->second);

    if (! value.has_value() || ! isUnitValue (*value))
        return std::nullopt;

    return ParameterAssignment { split->first, *value };
}

std::optional<AutomationLane> parseAutomation (const juce::String& text)
{
    const auto split = splitAssignment (text);

    if (! split.has_value())
        return std::nullopt;

    juce::StringArray pointTexts;
    pointTexts.addTokens (split->second, ",", "");

    AutomationLane lane;
    lane.reference = split->first;

    for (const auto& pointText : pointTexts)
    {
        const auto colon = pointText.indexOfChar (':');

        if (colon <= 0)
            return std::nullopt;

        const auto seconds = parseNumber (pointText.substring (0, colon));
        const auto value = parseNumber (pointText.substring (colon + 1));

        if (! seconds.has_value() || *seconds < 0.0 || ! value.has_value() || ! isUnitValue (*value))
            return std::nullopt;

        lane.points.push_back ({ *seconds, *value });
    }

    if (lane.points.empty())
        return std::nullopt;

    std::stable_sort (lane.points.begin(), lane.points.end(),
                      [] (const AutomationPoint& a, const AutomationPoint& b) { return a.seconds < b.seconds; });
    return lane;
}

double automationValueAt (const AutomationLane& lane, double seconds)
{
    if (lane.points.empty())
        return 0.0;

    if (seconds < lane.points.front().seconds)
        return lane.points.front().value;

    for (size_t i = 1; i < lane.points.size(); ++i)
    {
        const auto& a = lane.points[i - 1];
        const auto& b = lane.points[i];

        if (seconds < b.seconds)
        {
            const auto span = b.seconds - a.seconds;
            return span > 0.0 ? a.value + (b.value - a.value) * (seconds - a.seconds) / span : b.value;
        }
    }

    return lane.points.back().value;
}

//==============================================================================
juce::String usageText()
{
    return R"(Usage: brivola-host [MODE] [OPTIONS] BUNDLE.vst3|BUNDLE.lv2

A headless VST3 and LV2 host (the bundle's suffix chooses the format): prints a plug-in's identity, buses and parameters, renders
MIDI through it into a WAV file, or drives it the way strict hosts do.

Modes (one of them; --info when none is given):
  --info                    identity, buses and layouts, parameters
  --render FILE.wav         render MIDI through the plug-in into a WAV file
  --robustness              strict-host stress run; exit code 1 on any fault
                            (with a display it also opens the editor in real
                            windows)
  --editor                  open the plug-in's editor in a real window while
                            audio runs, wait for its page, then do the editor
                            actions below in order and close it again

Common options:
  --json                    JSON output (info: the whole report; render and
                            robustness: the summary as one JSON line)
  --quiet                   print only the final summary line
  --class NAME              choose a class in a bundle with several
  --rate HZ                 sample rate (default 48000)
  --block N                 block size (default 512)
  --blocks A,B,...          repeating block-size pattern, e.g. 1,7,128,4096; the
                            plug-in is prepared for the largest size
  --set PARAM=VALUE         set a parameter to a normalised value in [0, 1];
                            repeatable, applied after --load-state
  --load-state FILE         restore a state into the fresh instance first; FILE
                            holds a host state (as --save-state writes) or the
                            plug-in's own bytes (as --save-raw-state writes)
  --save-state FILE         save the host-side state (after --set and rendering)
  --save-raw-state FILE     save the plug-in's own state bytes
  --all-parameters          info: also list the framework's hidden
                            MIDI-controller parameters

Render options:
  --midi FILE.mid           standard MIDI file (tracks merged, tempo map honoured)
  --pattern NAME            generated pattern: single, scale, demo (the default
                            when no --midi is given), hold (one note, 60 s)
  --tail SECONDS            render this long after the last event (default 2)
  --length SECONDS          render exactly this long; later events are dropped
  --channels 1|2            mono or stereo output (default: plug-in's default)
  --bits 16|24|32           WAV sample format, 32 = float (default 24)
  --automate PARAM=T:V,...  linear automation in seconds:value breakpoints; the
                            value is set before each block (block resolution)
  --bpm BPM                 tempo reported by the host's play head (default 120)
  --offline                 process in offline (non-realtime) mode
  --require-sound           fail (exit 1) when the output is entirely silent

Editor options (done in the order given, after the page reported "ready"):
  --eval SCRIPT             evaluate JavaScript in the page; prints its value as
                            JSON (or "error: ..." when the script threw)
  --eval-file FILE.js       the same with a script read from a file
  --wait-until SCRIPT       evaluate a script every 50 ms until its value is
                            truthy; exit code 5 after the ready timeout
  --wait SECONDS            keep the editor open and the audio running
  --screenshot FILE.png     save the editor's area of the screen as a PNG
  --reopen                  close the editor (deleting it) and open a new one,
                            then wait for its page again
  --move-window DX,DY       drag the editor's window by DX,DY pixels (ten steps
                            16 ms apart)
  --midi FILE.mid, --pattern NAME
                            play MIDI in the audio thread, starting when the
                            first editor's page is ready
  --ready-timeout SECONDS   how long to wait for the page or a result (default 30)
Audio runs in real time on its own thread while the editor is open; --set and
--load-state apply before the editor opens, --save-state and --save-raw-state
after it closed. Needs a display (on Linux an X server with a window manager).

Robustness options:
  --seed N                  random seed (default 1); "random" picks and prints one
  --time-limit SECONDS      time budget of the run (default 30); a run that hangs
                            past twice the budget plus 30 s is stopped (exit 5)
  --cycles N                create/destroy cycles (default 5)

PARAM is "#INDEX" (host parameter index), the VST3 parameter id, the plug-in's
string parameter id (matched through the framework's id hash) or the
parameter's name (case-insensitive).

Exit codes: 0 ok, 1 plug-in fault, 2 usage error, 3 load failure,
4 file error, 5 timeout.
Every output sample is checked: a non-finite or subnormal sample is a fault.
)";
}

ParseResult parseCommandLine (const juce::StringArray& args)
{
    HostOptions options;
    std::optional<Mode> mode;
    bool blockGiven = false;

    auto fail = [] (const juce::String& message) { return ParseResult { std::nullopt, message }; };

    auto setMode = [&mode] (Mode m) -> bool
    {
        if (mode.has_value() && *mode != m)
            return false;

        mode = m;
        return true;
    };

    for (int i = 0; i < args.size(); ++i)
    {
        const auto& arg = args[i];

        auto takeValue = [&] (juce::String& out) -> bool
        {
            if (i + 1 >= args.size())
                return false;

            out = args[++i];
            return true;
        };

        juce::String value;

        if (arg == "--help" || arg == "-h")
        {
            options.showHelp = true;
        }
        else if (arg == "--version")
        {
            options.showVersion = true;
        }
        else if (arg == "--info")
        {
            if (! setMode (Mode::info))
                return fail ("choose only one of --info, --render, --robustness and --editor");
        }
        else if (arg == "--render")
        {
            if (! setMode (Mode::render))
                return fail ("choose only one of --info, --render, --robustness and --editor");

            if (! takeValue (options.outputPath) || options.outputPath.isEmpty())
                return fail ("--render needs an output WAV file");
        }
        else if (arg == "--robustness")
        {
            if (! setMode (Mode::robustness))
                return fail ("choose only one of --info, --render, --robustness and --editor");
        }
        else if (arg == "--editor")
        {
            if (! setMode (Mode::editor))
                return fail ("choose only one of --info, --render, --robustness and --editor");
        }
        else if (arg == "--eval" || arg == "--eval-file" || arg == "--wait-until" || arg == "--screenshot")
        {
            EditorAction action;
            action.kind = arg == "--eval" ? EditorAction::Kind::eval
                        : arg == "--eval-file" ? EditorAction::Kind::evalFile
                        : arg == "--wait-until" ? EditorAction::Kind::waitUntil
                                                : EditorAction::Kind::screenshot;

            if (! takeValue (action.text) || action.text.isEmpty())
                return fail (arg + " needs a value");

            options.editorActions.push_back (action);
        }
        else if (arg == "--wait" || arg == "--ready-timeout")
        {
            const auto number = takeValue (value) ? parseNumber (value) : std::nullopt;

            if (! number.has_value() || *number < 0.0 || *number > 3600.0 || (arg == "--ready-timeout" && *number <= 0.0))
                return fail (arg + " needs a number of seconds up to 3600" + (arg == "--ready-timeout" ? " above 0" : ""));

            if (arg == "--wait")
                options.editorActions.push_back ({ EditorAction::Kind::wait, {}, *number });
            else
                options.readyTimeoutSeconds = *number;
        }
        else if (arg == "--reopen")
        {
            options.editorActions.push_back ({ EditorAction::Kind::reopen, {}, 0.0 });
        }
        else if (arg == "--move-window")
        {
            juce::StringArray parts;

            if (takeValue (value))
                parts.addTokens (value, ",", "");

            const auto dx = parts.size() == 2 ? parseInteger (parts[0]) : std::nullopt;
            const auto dy = parts.size() == 2 ? parseInteger (parts[1]) : std::nullopt;

            if (! dx.has_value() || ! dy.has_value() || std::abs (*dx) > 4000 || std::abs (*dy) > 4000)
                return fail ("--move-window needs DX,DY in pixels (each up to 4000)");

            EditorAction action;
            action.kind = EditorAction::Kind::moveWindow;
            action.dx = (int) *dx;
            action.dy = (int) *dy;
            options.editorActions.push_back (action);
        }
        else if (arg == "--json")           { options.json = true; }
        else if (arg == "--quiet")          { options.quiet = true; }
        else if (arg == "--all-parameters") { options.allParameters = true; }
        else if (arg == "--offline")        { options.offline = true; }
        else if (arg == "--require-sound")  { options.requireSound = true; }
        else if (arg == "--class")
        {
            if (! takeValue (options.className) || options.className.isEmpty())
                return fail ("--class needs a class name");
        }
        else if (arg == "--rate")
        {
            const auto rate = takeValue (value) ? parseNumber (value) : std::nullopt;

            if (! rate.has_value() || *rate < 1000.0 || *rate > 768000.0)
                return fail ("--rate needs a sample rate between 1000 and 768000 Hz");

            options.sampleRate = *rate;
        }
        else if (arg == "--block" || arg == "--blocks")
        {
            if (blockGiven)
                return fail ("give --block or --blocks once");

            const auto pattern = takeValue (value) ? parseBlockPattern (value) : std::nullopt;

            if (! pattern.has_value() || (arg == "--block" && pattern->size() != 1))
                return fail (arg + " needs block sizes from 1 to 65536" + (arg == "--blocks" ? " separated by commas" : ""));

            options.blockPattern = *pattern;
            blockGiven = true;
        }
        else if (arg == "--set")
        {
            const auto assignment = takeValue (value) ? parseAssignment (value) : std::nullopt;

            if (! assignment.has_value())
                return fail ("--set needs PARAM=VALUE with VALUE from 0 to 1");

            options.assignments.push_back (*assignment);
        }
        else if (arg == "--automate")
        {
            const auto lane = takeValue (value) ? parseAutomation (value) : std::nullopt;

            if (! lane.has_value())
                return fail ("--automate needs PARAM=SECONDS:VALUE,... with values from 0 to 1");

            options.automation.push_back (*lane);
        }
        else if (arg == "--load-state" || arg == "--save-state" || arg == "--save-raw-state" || arg == "--midi" || arg == "--pattern")
        {
            auto& target = arg == "--load-state"   ? options.loadStatePath
                         : arg == "--save-state"   ? options.saveStatePath
                         : arg == "--save-raw-state" ? options.saveRawStatePath
                         : arg == "--midi"         ? options.midiPath
                                                   : options.patternName;

            if (! takeValue (target) || target.isEmpty())
                return fail (arg + " needs a value");
        }
        else if (arg == "--tail" || arg == "--length" || arg == "--time-limit" || arg == "--bpm")
        {
            const auto number = takeValue (value) ? parseNumber (value) : std::nullopt;

            if (! number.has_value() || *number < 0.0 || *number > 24.0 * 3600.0)
                return fail (arg + " needs a number of seconds (or beats per minute) from 0 to 86400");

            if (arg == "--tail")
                options.tailSeconds = *number;
            else if (arg == "--length")
                options.lengthSeconds = *number;
            else if (arg == "--time-limit")
            {
                if (*number <= 0.0)
                    return fail ("--time-limit needs a positive number of seconds");

                options.timeLimitSeconds = *number;
            }
            else if (*number < 1.0 || *number > 999.0)
                return fail ("--bpm needs a tempo from 1 to 999");
            else
                options.bpm = *number;
        }
        else if (arg == "--channels" || arg == "--bits" || arg == "--cycles")
        {
            // -1 stands for a missing or malformed count; every branch refuses it.
            const auto n = (takeValue (value) ? parseInteger (value) : std::nullopt).value_or (-1);

            if (arg == "--channels")
            {
                if (n != 1 && n != 2)
                    return fail ("--channels needs 1 or 2");

                options.outputChannels = (int) n;
            }
            else if (arg == "--bits")
            {
                if (n != 16 && n != 24 && n != 32)
                    return fail ("--bits needs 16, 24 or 32");

                options.bitsPerSample = (int) n;
            }
            else
            {
                if (n < 1 || n > 1000)
                    return fail ("--cycles needs a count from 1 to 1000");

                options.cycles = (int) n;
            }
        }
        else if (arg == "--seed")
        {
            if (! takeValue (value))
                return fail ("--seed needs a number or \"random\"");

            if (value == "random")
            {
                options.seed = (std::uint64_t) juce::Random::getSystemRandom().nextInt64();
            }
            else
            {
                const auto utf8 = value.trim().toStdString();
                char* end = nullptr;
                errno = 0;
                const auto seed = std::strtoull (utf8.c_str(), &end, 0);

                if (errno != 0 || utf8.empty() || *end != '\0' || utf8[0] == '-')
                    return fail ("--seed needs a non-negative number or \"random\"");

                options.seed = (std::uint64_t) seed;
            }
        }
        else if (arg.startsWith ("-") && arg.length() > 1)
        {
            return fail ("unknown option " + arg);
        }
        else
        {
            if (options.bundlePath.isNotEmpty())
                return fail ("give one bundle (got \"" + options.bundlePath + "\" and \"" + arg + "\")");

            options.bundlePath = arg;
        }
    }

    options.mode = mode.value_or (Mode::info);

    if (options.showHelp || options.showVersion)
        return { options, {} };

    if (options.bundlePath.isEmpty())
        return fail ("give the path of a .vst3 or .lv2 bundle");

    if (options.mode != Mode::render)
    {
        if (! options.automation.empty() || options.lengthSeconds.has_value() || options.outputChannels != 0 || options.requireSound)
            return fail ("--automate, --length, --channels and --require-sound need --render");

        if (options.mode != Mode::editor && (options.midiPath.isNotEmpty() || options.patternName.isNotEmpty()))
            return fail ("--midi and --pattern need --render or --editor");
    }

    if (options.mode != Mode::editor && ! options.editorActions.empty())
        return fail ("--eval, --eval-file, --wait-until, --wait, --screenshot, --reopen and --move-window need --editor");

    if (options.midiPath.isNotEmpty() && options.patternName.isNotEmpty())
        return fail ("give --midi or --pattern, not both");

    if (options.mode == Mode::robustness
        && (options.loadStatePath.isNotEmpty() || options.saveStatePath.isNotEmpty()
            || options.saveRawStatePath.isNotEmpty() || ! options.assignments.empty()))
        return fail ("--robustness works on fresh instances: it takes no --set, --load-state or --save-state");

    return { options, {} };
}

} // namespace brivola::host
