#include "PluginReport.h"

#include "Parameters.h"
#include "StateFiles.h"

namespace brivola::host
{

namespace
{
juce::var makeObject() { return juce::var (new juce::DynamicObject()); }

void put (juce::var& object, const juce::Identifier& key, const juce::var& value)
{
    object.getDynamicObject()->setProperty (key, value);
}

juce::var layoutToVar (const juce::AudioChannelSet& set)
{
    auto v = makeObject();
    put (v, "name", set.getDescription());
    put (v, "channels", set.size());
    put (v, "speakers", set.getSpeakerArrangementAsString());
    return v;
}

juce::String hex32 (int value) { return "0x" + juce::String::toHexString ((juce::uint32) value).paddedLeft ('0', 8).toUpperCase(); }

juce::String yesNo (bool b) { return b ? "yes" : "no"; }

juce::var describeParameter (juce::AudioProcessorParameter& p, bool isBypass)
{
    auto v = makeObject();
    const auto value = p.getValue();
    put (v, "index", p.getParameterIndex());
    put (v, "id", parameterIdOf (p));
    put (v, "name", p.getName (256));
    put (v, "label", p.getLabel());
    put (v, "default", (double) p.getDefaultValue());
    put (v, "value", (double) value);
    put (v, "text", p.getText (value, 64));
    put (v, "numSteps", p.getNumSteps());
    put (v, "discrete", p.isDiscrete());
    put (v, "boolean", p.isBoolean());
    put (v, "automatable", p.isAutomatable());
    put (v, "bypass", isBypass);
    return v;
}
} // namespace

//==============================================================================
std::vector<juce::AudioChannelSet> querySupportedLayouts (juce::AudioProcessor& processor,
                                                         bool isInput,
                                                         int busIndex,
                                                         int maxChannels)
{
    std::vector<juce::AudioChannelSet> supported;
    auto* bus = processor.getBus (isInput, busIndex);

    if (bus == nullptr)
        return supported;

    for (int n = 1; n <= maxChannels; ++n)
        for (const auto& set : juce::AudioChannelSet::channelSetsWithNumberOfChannels (n))
            if (bus->isLayoutSupported (set))
                supported.push_back (set);

    return supported;
}

juce::AudioProcessor::BusesLayout defaultBusesLayout (juce::AudioProcessor& processor)
{
    juce::AudioProcessor::BusesLayout layout;

    for (const auto isInput : { true, false })
    {
        for (int i = 0; i < processor.getBusCount (isInput); ++i)
        {
            auto* bus = processor.getBus (isInput, i);
            const auto set = bus->isEnabledByDefault() ? bus->getDefaultLayout() : juce::AudioChannelSet::disabled();
            (isInput ? layout.inputBuses : layout.outputBuses).add (set);
        }
    }

    return layout;
}

juce::String describeLayout (const juce::AudioChannelSet& set)
{
    const auto speakers = set.getSpeakerArrangementAsString();
    return set.getDescription() + (speakers.isNotEmpty() ? " (" + speakers + ")" : juce::String());
}

juce::var buildPluginReport (HostedPlugin& plugin,
                             const juce::PluginDescription& description,
                             const juce::File& bundle,
                             double sampleRate,
                             int blockSize,
                             bool allParameters)
{
    auto& instance = plugin.get();
    auto report = makeObject();

    // Identity: the description JUCE built from the bundle, then the factory's own class info.
    put (report, "name", instance.getName());
    put (report, "descriptiveName", description.descriptiveName);
    put (report, "manufacturer", description.manufacturerName);
    put (report, "category", description.category);
    put (report, "version", description.version);
    put (report, "format", description.pluginFormatName);
    put (report, "file", description.fileOrIdentifier);
    put (report, "uniqueId", hex32 (description.uniqueId));
    put (report, "deprecatedUid", hex32 (description.deprecatedUid));
    put (report, "identifier", description.createIdentifierString());
    put (report, "isInstrument", description.isInstrument);

    const auto factory = readFactoryInfo (bundle);
    auto factoryVar = makeObject();
    put (factoryVar, "available", factory.available);

    if (! factory.available)
        put (factoryVar, "error", factory.error);

    put (factoryVar, "vendor", factory.vendor);
    put (factoryVar, "url", factory.url);
    put (factoryVar, "email", factory.email);

    juce::Array<juce::var> classes;
    juce::String sdkVersion, classId, controllerClassId;

    for (const auto& c : factory.classes)
    {
        auto cv = makeObject();
        put (cv, "classId", c.classId);
        put (cv, "category", c.category);
        put (cv, "name", c.name);
        put (cv, "subCategories", c.subCategories);
        put (cv, "vendor", c.vendor);
        put (cv, "version", c.version);
        put (cv, "sdkVersion", c.sdkVersion);
        put (cv, "cardinality", c.cardinality);
        put (cv, "classFlags", (int) c.classFlags);
        classes.add (cv);

        if (c.category == "Audio Module Class" && c.name == description.name && classId.isEmpty())
        {
            classId = c.classId;
            sdkVersion = c.sdkVersion;
        }
        else if (c.category == "Component Controller Class" && controllerClassId.isEmpty())
        {
            controllerClassId = c.classId;
        }
    }

    put (factoryVar, "classes", classes);
    put (report, "sdkVersion", sdkVersion);
    put (report, "moduleInfoSdkVersion", readModuleInfoSdkVersion (bundle, description.name));
    put (report, "classId", classId);
    put (report, "controllerClassId", controllerClassId);
    put (report, "factory", factoryVar);

    put (report, "acceptsMidi", instance.acceptsMidi());
    put (report, "producesMidi", instance.producesMidi());
    put (report, "isMidiEffect", instance.isMidiEffect());
    put (report, "numPrograms", instance.getNumPrograms());
    put (report, "supportsDoublePrecision", instance.supportsDoublePrecisionProcessing());

    // Buses and layouts, asked while the instance is not prepared.
    auto buses = makeObject();

    for (const auto isInput : { true, false })
    {
        juce::Array<juce::var> list;

        for (int i = 0; i < instance.getBusCount (isInput); ++i)
        {
            auto* bus = instance.getBus (isInput, i);
            auto bv = makeObject();
            put (bv, "index", i);
            put (bv, "name", bus->getName());
            put (bv, "enabled", bus->isEnabled());
            put (bv, "enabledByDefault", bus->isEnabledByDefault());
            put (bv, "currentLayout", layoutToVar (bus->getCurrentLayout()));
            put (bv, "defaultLayout", layoutToVar (bus->getDefaultLayout()));

            juce::Array<juce::var> supported;

            for (const auto& set : querySupportedLayouts (instance, isInput, i))
                supported.add (layoutToVar (set));

            put (bv, "supportedLayouts", supported);
            list.add (bv);
        }

        put (buses, isInput ? "inputs" : "outputs", list);
    }

    put (report, "buses", buses);

    // Tail and latency need a prepared instance.
    instance.prepareToPlay (sampleRate, blockSize);
    put (report, "sampleRate", sampleRate);
    put (report, "blockSize", blockSize);
    put (report, "tailSeconds", instance.getTailLengthSeconds());
    put (report, "latencySamples", instance.getLatencySamples());
    instance.releaseResources();

    // Parameters.
    const auto catalogue = catalogueParameters (instance);
    juce::Array<juce::var> parameters;

    for (auto* p : allParameters ? catalogue.all : catalogue.own)
        parameters.add (describeParameter (*p, p == catalogue.bypass));

    put (report, "parameters", parameters);
    put (report, "parameterCount", (int) catalogue.own.size() - (catalogue.bypass != nullptr ? 1 : 0));
    put (report, "bypassParameterIndex", catalogue.bypass != nullptr ? catalogue.bypass->getParameterIndex() : -1);
    put (report, "midiControllerParameterCount", (int) catalogue.midiControllers.size());
    put (report, "totalParameterCount", (int) catalogue.all.size());

    // State sizes.
    juce::MemoryBlock state;
    instance.getStateInformation (state);
    put (report, "stateBytes", (int) state.getSize());

    if (const auto component = extractComponentState (state))
        if (const auto own = stripWrapperSection (*component))
            put (report, "pluginStateBytes", (int) own->getSize());

    return report;
}

juce::String formatPluginReport (const juce::var& r)
{
    juce::String out;
    auto line = [&out] (const juce::String& s) { out << s << "\n"; };
    auto str = [&r] (const char* key) { return r.getProperty (key, {}).toString(); };
    auto flag = [&r] (const char* key) { return (bool) r.getProperty (key, false); };

    line (str ("name") + " by " + str ("manufacturer") + ", " + str ("format") + " " + str ("category")
          + ", version " + str ("version") + ", SDK \"" + str ("sdkVersion") + "\"");
    line ("  file: " + str ("file"));
    line ("  class id: " + str ("classId") + ", controller class id: " + str ("controllerClassId"));
    line ("  unique id: " + str ("uniqueId") + ", deprecated uid: " + str ("deprecatedUid"));
    line ("  instrument: " + yesNo (flag ("isInstrument")) + ", MIDI in: " + yesNo (flag ("acceptsMidi"))
          + ", MIDI out: " + yesNo (flag ("producesMidi")) + ", MIDI effect: " + yesNo (flag ("isMidiEffect")));
    line ("  tail: " + str ("tailSeconds") + " s, latency: " + str ("latencySamples") + " samples at " + str ("sampleRate")
          + " Hz, programs: " + str ("numPrograms") + ", state: " + str ("stateBytes") + " bytes ("
          + str ("pluginStateBytes") + " of the plug-in's own)");

    line ("Buses:");

    for (const auto direction : { "inputs", "outputs" })
    {
        if (const auto* list = r["buses"].getProperty (direction, {}).getArray())
        {
            for (const auto& bus : *list)
            {
                juce::StringArray supported;

                if (const auto* s = bus["supportedLayouts"].getArray())
                    for (const auto& set : *s)
                        supported.add (set["name"].toString());

                line (juce::String ("  ") + (juce::String (direction) == "inputs" ? "input " : "output ") + bus["index"].toString()
                      + " \"" + bus["name"].toString() + "\": " + bus["currentLayout"]["name"].toString()
                      + " (" + bus["currentLayout"]["channels"].toString() + " ch), default "
                      + bus["defaultLayout"]["name"].toString() + (bus["enabled"] ? "" : ", disabled")
                      + "; accepts " + (supported.isEmpty() ? juce::String ("nothing") : supported.joinIntoString (", ")));
            }
        }
    }

    line ("Parameters: " + str ("parameterCount") + " of the plug-in"
          + (juce::String (str ("bypassParameterIndex")) != "-1" ? " + bypass" : "") + ", "
          + str ("midiControllerParameterCount") + " hidden MIDI-controller parameters");

    if (const auto* list = r["parameters"].getArray())
    {
        for (const auto& p : *list)
        {
            line ("  #" + p["index"].toString().paddedRight (' ', 4) + " id " + p["id"].toString().paddedRight (' ', 11)
                  + (" \"" + p["name"].toString() + "\"").paddedRight (' ', 20)
                  + " default " + juce::String ((double) p["default"], 4)
                  + "  value " + juce::String ((double) p["value"], 4)
                  + "  \"" + p["text"].toString() + (p["label"].toString().isNotEmpty() ? " " + p["label"].toString() : "") + "\""
                  + ((bool) p["bypass"] ? "  (bypass)" : ""));
        }
    }

    return out;
}

} // namespace brivola::host
