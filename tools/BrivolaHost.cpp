// brivola-host: a VST3 host for tests, built on JUCE's VST3 hosting: headless runs, and the plug-in's
// editor in a real window. See `brivola-host --help`.

#include "host/AudioChecks.h"
#include "host/EditorWindow.h"
#include "host/MidiSource.h"
#include "host/Options.h"
#include "host/PageInspector.h"
#include "host/Parameters.h"
#include "host/PluginHost.h"
#include "host/PluginReport.h"
#include "host/RealtimeAudio.h"
#include "host/Renderer.h"
#include "host/Robustness.h"
#include "host/XErrors.h"
#include "host/Screenshot.h"
#include "host/StateFiles.h"

#include <juce_events/juce_events.h>

#include <cstdio>

#ifndef BRIVOLA_HOST_VERSION
 #define BRIVOLA_HOST_VERSION "0.0.0"
#endif

namespace brivola::host
{

namespace
{
const char* modeName (Mode mode)
{
    switch (mode)
    {
        case Mode::info:       return "info";
        case Mode::render:     return "render";
        case Mode::robustness: return "robustness";
        case Mode::editor:     return "editor";
    }

    return "?";
}

void printLine (std::FILE* stream, const juce::String& text)
{
    std::fputs (text.toRawUTF8(), stream);
    std::fputc ('\n', stream);
    std::fflush (stream);
}

/** Where the run's lines go: progress (suppressed by --quiet; on stderr under --json so stdout holds
    only JSON), and exactly one final summary on stdout. */
class Console
{
public:
    explicit Console (const HostOptions& optionsIn) : options (optionsIn) {}

    /** A progress line. */
    void progress (const juce::String& text) const
    {
        if (! options.quiet)
            printLine (options.json ? stderr : stdout, text);
    }

    /** The final line of a successful run; `fields` are "key=value" pairs (text) or a JSON object. */
    int succeed (const juce::String& text, juce::var fields) const
    {
        reportXErrors (fields);

        if (options.json)
        {
            put (fields, "ok", true);
            put (fields, "mode", modeName (options.mode));
            put (fields, "exitCode", (int) exitOk);
            printLine (stdout, juce::JSON::toString (fields, true));
        }
        else
        {
            printLine (stdout, "OK " + juce::String (modeName (options.mode)) + " " + text);
        }

        return exitOk;
    }

    /** The final line of a failed run. */
    int fail (int exitCode, const juce::String& message, juce::var fields = {}) const
    {
        if (options.json)
        {
            if (! fields.isObject())
                fields = juce::var (new juce::DynamicObject());

            reportXErrors (fields);
            put (fields, "ok", false);
            put (fields, "mode", modeName (options.mode));
            put (fields, "exitCode", exitCode);
            put (fields, "error", message);
            printLine (stdout, juce::JSON::toString (fields, true));
        }
        else
        {
            printLine (stdout, "FAIL " + juce::String (modeName (options.mode)) + ": " + message);
        }

        return exitCode;
    }

    static void put (juce::var& object, const juce::Identifier& key, const juce::var& value)
    {
        object.getDynamicObject()->setProperty (key, value);
    }

private:
    /** X errors the run survived (a count, and the first few) go into the summary and the log. */
    void reportXErrors (juce::var& fields) const
    {
        if (xErrorCount() == 0)
            return;

        juce::Array<juce::var> list;

        for (const auto& line : xErrorDescriptions())
        {
            progress ("X error survived: " + line);
            list.add (line);
        }

        if (fields.isObject())
        {
            put (fields, "xErrors", xErrorCount());
            put (fields, "xErrorList", list);
        }
    }

    const HostOptions& options;
};

juce::var newObject() { return juce::var (new juce::DynamicObject()); }

juce::File fileFromArgument (const juce::String& path)
{
    return juce::File::getCurrentWorkingDirectory().getChildFile (path);
}

/** Restores --load-state and applies --set to a fresh instance; the exit code when that failed. */
std::optional<int> applyStartOptions (juce::AudioPluginInstance& instance, const HostOptions& options, const Console& console)
{
    juce::String error;

    if (options.loadStatePath.isNotEmpty())
    {
        bool wasHostState = false;
        const auto file = fileFromArgument (options.loadStatePath);
        // An LV2 host state (a Turtle preset) goes to the instance as it is; VST3 wrapping is for
        // the plug-in's own bytes in a VST3 host.
        std::optional<juce::MemoryBlock> state;

        if (instance.getPluginDescription().pluginFormatName == "LV2")
        {
            wasHostState = true;

            if (juce::MemoryBlock bytes; file.loadFileAsData (bytes))
                state = std::move (bytes);
            else
                error = "cannot read state file " + file.getFullPathName();
        }
        else
        {
            state = readStateFile (file, wasHostState, error);
        }

        if (! state.has_value())
            return console.fail (exitIo, error);

        instance.setStateInformation (state->getData(), (int) state->getSize());
        pumpMessages (20);
        console.progress ("loaded " + juce::String (wasHostState ? "host" : "plug-in") + " state from " + file.getFullPathName());
    }

    for (const auto& assignment : options.assignments)
    {
        auto* parameter = findParameter (instance, assignment.reference, error);

        if (parameter == nullptr)
            return console.fail (exitUsage, error);

        parameter->beginChangeGesture();
        parameter->setValueNotifyingHost ((float) assignment.value);
        parameter->endChangeGesture();
        console.progress ("set \"" + parameter->getName (64) + "\" (#" + juce::String (parameter->getParameterIndex()) + ") to "
                          + juce::String (parameter->getValue(), 6) + " (\"" + parameter->getCurrentValueAsText() + "\")");
    }

    if (! options.assignments.empty())
        pumpMessages (20);

    return std::nullopt;
}

/** Writes --save-state and --save-raw-state; the exit code when that failed. */
std::optional<int> saveStates (juce::AudioPluginInstance& instance, const HostOptions& options, const Console& console)
{
    if (options.saveStatePath.isEmpty() && options.saveRawStatePath.isEmpty())
        return std::nullopt;

    juce::String error;
    juce::MemoryBlock state;
    instance.getStateInformation (state);

    if (options.saveStatePath.isNotEmpty())
    {
        const auto file = fileFromArgument (options.saveStatePath);

        if (! writeBytes (file, state, error))
            return console.fail (exitIo, error);

        console.progress ("saved host state (" + juce::String ((int) state.getSize()) + " bytes) to " + file.getFullPathName());
    }

    if (options.saveRawStatePath.isNotEmpty())
    {
        const auto file = fileFromArgument (options.saveRawStatePath);
        const auto component = extractComponentState (state);
        const auto own = component.has_value() ? stripWrapperSection (*component) : std::nullopt;

        if (! own.has_value())
            return console.fail (exitPluginFault, "the plug-in's state could not be taken apart");

        if (! writeBytes (file, *own, error))
            return console.fail (exitIo, error);

        console.progress ("saved the plug-in's own state (" + juce::String ((int) own->getSize()) + " bytes) to " + file.getFullPathName());
    }

    return std::nullopt;
}

//==============================================================================
/** A plug-in class described from the options' bundle and instantiated for their sample rate
    and largest block, or the exit code of the failure (already reported). */
struct OpenedPlugin
{
    juce::File bundle;
    std::optional<juce::PluginDescription> description;
    int maxBlock = 0;
    std::unique_ptr<HostedPlugin> plugin;
    int exitCode = exitOk;
};

OpenedPlugin openPlugin (PluginHost& host, const HostOptions& options, const Console& console)
{
    OpenedPlugin opened;
    opened.bundle = fileFromArgument (options.bundlePath);

    juce::String error;
    opened.description = host.describe (opened.bundle, options.className, error);

    if (! opened.description.has_value())
    {
        opened.exitCode = console.fail (exitLoad, error);
        return opened;
    }

    opened.maxBlock = BlockPattern (options.blockPattern).largest();
    opened.plugin = host.instantiate (*opened.description, options.sampleRate, opened.maxBlock, error);

    if (opened.plugin == nullptr)
        opened.exitCode = console.fail (exitLoad, "cannot instantiate " + opened.description->name + ": " + error);

    return opened;
}

//==============================================================================
int runInfoOrRender (const HostOptions& options, const Console& console)
{
    PluginHost host;
    auto opened = openPlugin (host, options, console);

    if (opened.plugin == nullptr)
        return opened.exitCode;

    const auto& bundle = opened.bundle;
    const auto& description = opened.description;
    const auto maxBlock = opened.maxBlock;
    auto& plugin = opened.plugin;
    auto& instance = plugin->get();
    juce::String error;

    if (const auto failed = applyStartOptions (instance, options, console))
        return *failed;

    juce::String summaryText;
    auto summary = newObject();

    if (options.mode == Mode::info)
    {
        const auto report = buildPluginReport (*plugin, *description, bundle, options.sampleRate, maxBlock, options.allParameters);

        if (options.json)
            summary = report;
        else if (! options.quiet)
            printLine (stdout, formatPluginReport (report).trimEnd());

        summaryText = description->name + " parameters=" + report["parameterCount"].toString()
                    + " sdk=\"" + report["sdkVersion"].toString() + "\"";
    }
    else
    {
        std::optional<MidiSchedule> schedule;
        juce::String source;

        if (options.midiPath.isNotEmpty())
        {
            const auto file = juce::File::getCurrentWorkingDirectory().getChildFile (options.midiPath);
            schedule = loadMidiFile (file, options.sampleRate, error);
            source = file.getFullPathName();

            if (! schedule.has_value())
                return console.fail (exitIo, error);
        }
        else
        {
            source = options.patternName.isNotEmpty() ? options.patternName : juce::String ("demo");
            schedule = makeTestPattern (source, options.sampleRate);

            if (! schedule.has_value())
                return console.fail (exitUsage, "unknown pattern \"" + source + "\" (known: "
                                                    + testPatternNames().joinIntoString (", ") + ")");

            source = "pattern:" + source;
        }

        std::vector<BoundAutomation> automation;

        for (const auto& lane : options.automation)
        {
            auto* parameter = findParameter (instance, lane.reference, error);

            if (parameter == nullptr)
                return console.fail (exitUsage, error);

            automation.push_back ({ parameter, lane });
        }

        RenderSettings settings;
        settings.output = juce::File::getCurrentWorkingDirectory().getChildFile (options.outputPath);
        settings.sampleRate = options.sampleRate;
        settings.blockPattern = options.blockPattern;
        settings.outputChannels = options.outputChannels;
        settings.tailSeconds = options.tailSeconds;
        settings.lengthSeconds = options.lengthSeconds;
        settings.bitsPerSample = options.bitsPerSample;
        settings.bpm = options.bpm;
        settings.offline = options.offline;

        const auto rendered = renderToWav (*plugin, *schedule, automation, settings);

        Console::put (summary, "file", settings.output.getFullPathName());
        Console::put (summary, "source", source);
        Console::put (summary, "sampleRate", options.sampleRate);
        Console::put (summary, "channels", rendered.channels);
        Console::put (summary, "bits", options.bitsPerSample);
        Console::put (summary, "frames", (juce::int64) rendered.frames);
        Console::put (summary, "seconds", (double) rendered.frames / options.sampleRate);
        Console::put (summary, "blocks", rendered.blocks);
        Console::put (summary, "events", rendered.events);
        Console::put (summary, "droppedEvents", rendered.droppedEvents);
        Console::put (summary, "peak", (double) rendered.peak);
        Console::put (summary, "rms", rendered.rms);

        if (rendered.exitCode != exitOk)
        {
            plugin.reset();
            return console.fail (rendered.exitCode, rendered.error, summary);
        }

        if (rendered.droppedEvents > 0)
            console.progress ("dropped " + juce::String (rendered.droppedEvents) + " events after the end of the render");

        if (options.requireSound && rendered.peak <= 0.0f)
        {
            plugin.reset();
            return console.fail (exitPluginFault, "the output is silent", summary);
        }

        summaryText = "file=" + settings.output.getFullPathName() + " source=" + source + " rate=" + juce::String (options.sampleRate, 0)
                    + " channels=" + juce::String (rendered.channels) + " bits=" + juce::String (options.bitsPerSample)
                    + " frames=" + juce::String ((juce::int64) rendered.frames)
                    + " seconds=" + juce::String ((double) rendered.frames / options.sampleRate, 3)
                    + " blocks=" + juce::String (rendered.blocks) + " events=" + juce::String (rendered.events)
                    + " dropped=" + juce::String (rendered.droppedEvents)
                    + " peak_db=" + toDecibelText (rendered.peak) + " rms_db=" + toDecibelText (rendered.rms);
    }

    if (const auto failed = saveStates (instance, options, console))
        return *failed;

    plugin.reset();
    return console.succeed (summaryText, summary);
}

//==============================================================================
double nowMs() { return juce::Time::getMillisecondCounterHiRes(); }

/** Keeps the message thread dispatching for `seconds`; false as soon as the audio thread failed. */
bool keepRunning (double seconds, const RealtimeAudio& audio)
{
    const auto until = nowMs() + seconds * 1000.0;

    do
    {
        if (audio.failed())
            return false;

        pumpMessages (juce::jlimit (1, 20, (int) (until - nowMs())));
    } while (nowMs() < until);

    return ! audio.failed();
}

/** One editor run: the instance prepared and processing in real time, its editor open in a window,
    the actions done in order, the editor deleted before anything else is torn down. */
class EditorRun
{
public:
    EditorRun (juce::AudioPluginInstance& instanceIn, const HostOptions& optionsIn, const Console& consoleIn, int blockSize,
               std::optional<MidiSchedule> scheduleIn)
        : instance (instanceIn), options (optionsIn), console (consoleIn), schedule (std::move (scheduleIn)),
          audio (instanceIn, optionsIn.sampleRate, blockSize)
    {
    }

    /** Runs everything; empty on success, else the failure (with `code` set). */
    juce::String run()
    {
        audio.start();
        auto failure = openAndAct();

        // The editor goes first, while audio still runs, as when a user closes the plug-in window.
        window.reset();
        pumpMessages (100);
        audio.stop();

        if (failure.isEmpty() && audio.failed())
        {
            code = exitPluginFault;
            failure = "audio thread: " + audio.failure();
        }

        return failure;
    }

    /** Fills the summary fields of the run. */
    void report (juce::var& summary) const
    {
        Console::put (summary, "openings", openings);
        Console::put (summary, "evaluations", evaluations);
        Console::put (summary, "screenshots", screenshots);
        Console::put (summary, "blocks", (juce::int64) audio.blocks());
    }

    juce::String summaryText() const
    {
        return instance.getName() + " openings=" + juce::String (openings.size()) + " evaluations=" + juce::String (evaluations.size())
             + " screenshots=" + juce::String (screenshots.size()) + " blocks=" + juce::String ((juce::int64) audio.blocks());
    }

    int code = exitOk;

private:
    juce::String openAndAct()
    {
        if (! inspector.isAvailable())
            return fault ("the plug-in does not answer the inspection interface");

        if (auto failure = open(); failure.isNotEmpty())
            return failure;

        if (schedule.has_value())
            audio.play (*schedule);

        for (const auto& action : options.editorActions)
        {
            if (audio.failed())
                break;

            juce::String failure;

            switch (action.kind)
            {
                case EditorAction::Kind::eval:       failure = evaluate (action.text, "script " + juce::String (evaluations.size() + 1)); break;
                case EditorAction::Kind::evalFile:   failure = evaluateFile (action.text); break;
                case EditorAction::Kind::waitUntil:  failure = waitUntil (action.text); break;
                case EditorAction::Kind::wait:       keepRunning (action.seconds, audio); break;
                case EditorAction::Kind::screenshot: failure = screenshot (action.text); break;
                case EditorAction::Kind::reopen:     window.reset(); failure = open(); break;
                case EditorAction::Kind::moveWindow: moveWindow (action.dx, action.dy); break;
            }

            if (failure.isNotEmpty())
                return failure;
        }

        return {};
    }

    juce::String fault (const juce::String& text, int exitCode = exitPluginFault)
    {
        code = exitCode;
        return text;
    }

    juce::String open()
    {
        const auto started = nowMs();
        window = std::make_unique<EditorWindow> (instance);

        if (! window->isOpen())
            return fault ("the plug-in created no editor");

        const auto timeoutMs = (int) (options.readyTimeoutSeconds * 1000.0);

        if (! inspector.waitForReady (0, timeoutMs))
            return fault ("the page reported no \"ready\" within " + juce::String (options.readyTimeoutSeconds) + " s", exitTimeout);

        const auto readyMs = nowMs() - started;
        const auto bounds = window->editorScreenBounds();
        auto opening = newObject();
        Console::put (opening, "width", bounds.getWidth());
        Console::put (opening, "height", bounds.getHeight());
        Console::put (opening, "readyMs", juce::roundToInt (readyMs));
        openings.add (opening);
        console.progress ("editor " + juce::String (openings.size()) + " open: " + juce::String (bounds.getWidth()) + " x "
                          + juce::String (bounds.getHeight()) + ", page ready after " + juce::String (juce::roundToInt (readyMs)) + " ms");
        return {};
    }

    /** Drags the window as a user would: ten steps, 16 ms apart. */
    void moveWindow (int dx, int dy)
    {
        for (int step = 1; step <= 10; ++step)
        {
            window->moveBy (dx * step / 10 - dx * (step - 1) / 10, dy * step / 10 - dy * (step - 1) / 10);
            keepRunning (0.016, audio);
        }

        console.progress ("window moved by " + juce::String (dx) + ", " + juce::String (dy));
    }

    juce::String evaluate (const juce::String& script, const juce::String& name)
    {
        juce::String error;
        const auto result = inspector.evaluate (script, (int) (options.readyTimeoutSeconds * 1000.0), error);

        if (! result.has_value())
            return fault (name + ": " + error);

        evaluations.add (*result);
        console.progress (name + ": " + *result);
        return {};
    }

    /** Falsy values of a script, as JSON text. */
    static bool isTruthy (const juce::String& json)
    {
        const auto t = json.trim();
        return ! (t.isEmpty() || t == "false" || t == "null" || t == "0" || t == "\"\"" || t == "undefined" || t.startsWith ("error:"));
    }

    juce::String waitUntil (const juce::String& script)
    {
        const auto giveUp = nowMs() + options.readyTimeoutSeconds * 1000.0;

        for (;;)
        {
            juce::String error;
            const auto result = inspector.evaluate (script, (int) (options.readyTimeoutSeconds * 1000.0), error);

            if (! result.has_value())
                return fault ("--wait-until: " + error);

            if (isTruthy (*result))
            {
                console.progress ("condition met: " + script.substring (0, 80));
                return {};
            }

            if (nowMs() > giveUp || ! keepRunning (0.05, audio))
                return fault ("--wait-until: still " + result->substring (0, 200) + " after " + juce::String (options.readyTimeoutSeconds)
                                  + " s: " + script.substring (0, 200),
                              exitTimeout);
        }
    }

    juce::String evaluateFile (const juce::String& path)
    {
        const auto file = fileFromArgument (path);

        if (! file.existsAsFile())
            return fault ("cannot read " + file.getFullPathName(), exitIo);

        return evaluate (file.loadFileAsString(), file.getFileName());
    }

    juce::String screenshot (const juce::String& path)
    {
        // Let the page finish painting what it has.
        keepRunning (0.2, audio);

        const auto file = fileFromArgument (path);
        const auto area = window->editorScreenBounds();
        juce::String error;

        if (! saveScreenshot (area, file, error))
            return fault (error, exitIo);

        screenshots.add (file.getFullPathName());
        console.progress ("screenshot of " + juce::String (area.getWidth()) + " x " + juce::String (area.getHeight())
                          + " saved to " + file.getFullPathName());
        return {};
    }

    juce::AudioPluginInstance& instance;
    const HostOptions& options;
    const Console& console;
    std::optional<MidiSchedule> schedule; // played from the first "ready" on; outlives the audio thread
    RealtimeAudio audio;
    PageInspector inspector { instance }; // released before the instance goes
    std::unique_ptr<EditorWindow> window; // declared last: closed first
    juce::Array<juce::var> openings, evaluations, screenshots;
};

int runEditorMode (const HostOptions& options, const Console& console)
{
    if (! canOpenWindows())
        return console.fail (exitLoad, "no display to open the editor on (set DISPLAY, or run under scripts/with-display.sh)");

    PluginHost host;
    auto opened = openPlugin (host, options, console);

    if (opened.plugin == nullptr)
        return opened.exitCode;

    const auto& description = opened.description;
    const auto blockSize = opened.maxBlock;
    auto& plugin = opened.plugin;
    auto& instance = plugin->get();
    juce::String error;

    if (! instance.hasEditor())
        return console.fail (exitLoad, description->name + " has no editor");

    if (const auto failed = applyStartOptions (instance, options, console))
        return *failed;

    std::optional<MidiSchedule> schedule;

    if (options.midiPath.isNotEmpty())
    {
        schedule = loadMidiFile (fileFromArgument (options.midiPath), options.sampleRate, error);

        if (! schedule.has_value())
            return console.fail (exitIo, error);
    }
    else if (options.patternName.isNotEmpty())
    {
        schedule = makeTestPattern (options.patternName, options.sampleRate);

        if (! schedule.has_value())
            return console.fail (exitUsage, "unknown pattern \"" + options.patternName + "\" (known: "
                                                + testPatternNames().joinIntoString (", ") + ")");
    }

    instance.prepareToPlay (options.sampleRate, blockSize);
    auto summary = newObject();
    juce::String failure, text;
    int code = exitOk;

    {
        EditorRun run (instance, options, console, blockSize, std::move (schedule));
        failure = run.run();
        code = run.code;
        run.report (summary);
        text = run.summaryText();
    }

    instance.releaseResources();

    if (failure.isNotEmpty())
    {
        plugin.reset();
        return console.fail (code, failure, summary);
    }

    if (const auto failed = saveStates (instance, options, console))
        return *failed;

    plugin.reset();
    return console.succeed (text, summary);
}

int runRobustnessMode (const HostOptions& options, const Console& console)
{
    PluginHost host;
    const juce::File bundle (juce::File::getCurrentWorkingDirectory().getChildFile (options.bundlePath));

    juce::String error;
    const auto description = host.describe (bundle, options.className, error);

    if (! description.has_value())
        return console.fail (exitLoad, error);

    const auto seedText = juce::String ((juce::uint64) options.seed);
    console.progress ("robustness run on " + description->name + " (" + bundle.getFullPathName() + "), seed " + seedText
                      + ", time limit " + juce::String (options.timeLimitSeconds) + " s");

    RobustnessSettings settings;
    settings.seed = options.seed;
    settings.timeLimitSeconds = options.timeLimitSeconds;
    settings.cycles = options.cycles;
    settings.readyTimeoutSeconds = options.readyTimeoutSeconds;
    settings.onTimeout = [&console, seedText] (const juce::String& message)
    {
        auto fields = newObject();
        Console::put (fields, "seed", seedText);
        console.fail (exitTimeout, message + " (seed " + seedText + ")", fields);
    };

    const InstanceFactory createInstance = [&host, &description] (juce::String& instanceError)
    {
        return host.instantiate (*description, 48000.0, 512, instanceError);
    };

    const auto report = runRobustness (createInstance, settings, [&console] (const juce::String& line) { console.progress (line); });

    auto fields = newObject();
    Console::put (fields, "plugin", description->name);
    Console::put (fields, "seed", seedText);
    Console::put (fields, "phasesRun", report.phasesRun);
    Console::put (fields, "instancesCreated", report.instancesCreated);
    Console::put (fields, "preparations", report.preparations);
    Console::put (fields, "blocks", (juce::int64) report.blocks);
    Console::put (fields, "samples", (juce::int64) report.samples);
    Console::put (fields, "seconds", report.seconds);
    Console::put (fields, "editorsOpened", report.editorsOpened);
    Console::put (fields, "editorsReady", report.editorsReady);

    if (report.editorsSkipped.isNotEmpty())
        Console::put (fields, "editorsSkipped", report.editorsSkipped);

    if (! report.passed)
    {
        Console::put (fields, "phase", report.phase);
        const auto code = report.instancesCreated == 0 ? exitLoad : exitPluginFault;
        return console.fail (code, description->name + ": phase " + report.phase + ": " + report.failure + " (seed " + seedText + ")", fields);
    }

    return console.succeed (description->name + " phases=" + juce::String (report.phasesRun)
                                + " instances=" + juce::String (report.instancesCreated)
                                + " preparations=" + juce::String (report.preparations)
                                + " blocks=" + juce::String ((juce::int64) report.blocks)
                                + " samples=" + juce::String ((juce::int64) report.samples)
                                + " editors=" + juce::String (report.editorsOpened)
                                + " seconds=" + juce::String (report.seconds, 1) + " seed=" + seedText,
                            fields);
}
} // namespace

int runHost (const juce::StringArray& args)
{
    const auto parsed = parseCommandLine (args);

    if (! parsed.options.has_value())
    {
        printLine (stderr, "brivola-host: " + parsed.error + "\nTry: brivola-host --help");
        return exitUsage;
    }

    const auto& options = *parsed.options;

    if (options.showHelp)
    {
        printLine (stdout, usageText().trimEnd());
        return exitOk;
    }

    if (options.showVersion)
    {
        printLine (stdout, "brivola-host " BRIVOLA_HOST_VERSION);
        return exitOk;
    }

    const Console console (options);
    int code = exitOk;

    {
        const juce::ScopedJuceInitialiser_GUI framework;
        installXErrorHandler();
        code = options.mode == Mode::robustness ? runRobustnessMode (options, console)
             : options.mode == Mode::editor     ? runEditorMode (options, console)
                                                : runInfoOrRender (options, console);

        // Every instance was owned by a scope above; one still alive here is a bug of this host.
        if (HostedPlugin::liveCount() != 0)
        {
            printLine (stderr, "brivola-host: " + juce::String (HostedPlugin::liveCount()) + " plug-in instances still alive at exit");
            code = exitPluginFault;
        }
    }

    return code;
}

} // namespace brivola::host

int main (int argc, char* argv[])
{
    juce::StringArray args;

    for (int i = 1; i < argc; ++i)
        args.add (juce::String::fromUTF8 (argv[i]));

    return brivola::host::runHost (args);
}
