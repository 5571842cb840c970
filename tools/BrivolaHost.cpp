// brivola-host: a headless VST3 host built on JUCE's VST3 hosting. See `brivola-host --help`.

#include "host/AudioChecks.h"
#include "host/MidiSource.h"
#include "host/Options.h"
#include "host/Parameters.h"
#include "host/PluginHost.h"
#include "host/PluginReport.h"
#include "host/Renderer.h"
#include "host/Robustness.h"
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
    const HostOptions& options;
};

juce::var newObject() { return juce::var (new juce::DynamicObject()); }

//==============================================================================
int runInfoOrRender (const HostOptions& options, const Console& console)
{
    PluginHost host;
    const juce::File bundle (juce::File::getCurrentWorkingDirectory().getChildFile (options.bundlePath));

    juce::String error;
    const auto description = host.describe (bundle, options.className, error);

    if (! description.has_value())
        return console.fail (exitLoad, error);

    const auto maxBlock = BlockPattern (options.blockPattern).largest();
    auto plugin = host.instantiate (*description, options.sampleRate, maxBlock, error);

    if (plugin == nullptr)
        return console.fail (exitLoad, "cannot instantiate " + description->name + ": " + error);

    auto& instance = plugin->get();

    if (options.loadStatePath.isNotEmpty())
    {
        bool wasHostState = false;
        const auto file = juce::File::getCurrentWorkingDirectory().getChildFile (options.loadStatePath);
        const auto state = readStateFile (file, wasHostState, error);

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

    if (options.saveStatePath.isNotEmpty() || options.saveRawStatePath.isNotEmpty())
    {
        juce::MemoryBlock state;
        instance.getStateInformation (state);

        if (options.saveStatePath.isNotEmpty())
        {
            const auto file = juce::File::getCurrentWorkingDirectory().getChildFile (options.saveStatePath);

            if (! writeBytes (file, state, error))
                return console.fail (exitIo, error);

            console.progress ("saved host state (" + juce::String ((int) state.getSize()) + " bytes) to " + file.getFullPathName());
        }

        if (options.saveRawStatePath.isNotEmpty())
        {
            const auto file = juce::File::getCurrentWorkingDirectory().getChildFile (options.saveRawStatePath);
            const auto component = extractComponentState (state);
            const auto own = component.has_value() ? stripWrapperSection (*component) : std::nullopt;

            if (! own.has_value())
                return console.fail (exitPluginFault, "the plug-in's state could not be taken apart");

            if (! writeBytes (file, *own, error))
                return console.fail (exitIo, error);

            console.progress ("saved the plug-in's own state (" + juce::String ((int) own->getSize()) + " bytes) to " + file.getFullPathName());
        }
    }

    plugin.reset();
    return console.succeed (summaryText, summary);
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
        code = options.mode == Mode::robustness ? runRobustnessMode (options, console) : runInfoOrRender (options, console);

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
