#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

namespace brivola::host
{

//==============================================================================
/** One class as the bundle's factory describes it (PClassInfo2). */
struct FactoryClassInfo
{
    juce::String classId; ///< 32 hex digits, the bytes of the class id in order
    juce::String category;
    juce::String name;
    juce::String subCategories;
    juce::String vendor;
    juce::String version;
    juce::String sdkVersion;
    int cardinality = 0;
    juce::uint32 classFlags = 0;
};

/** What the module's `GetPluginFactory` reports, read straight from the loaded binary. */
struct FactoryInfo
{
    bool available = false;
    juce::String error;
    juce::String vendor;
    juce::String url;
    juce::String email;
    std::vector<FactoryClassInfo> classes;
};

/** Finds the module binary inside a bundle (Contents/<arch>-linux/NAME.so, Contents/MacOS/NAME). */
juce::File findModuleBinary (const juce::File& bundle);

/** Reads the factory's class list. The module must already be loaded (after an instance exists):
    this only attaches to it and never loads or unloads it. */
FactoryInfo readFactoryInfo (const juce::File& bundle);

/** JSON5 as VST3's moduleinfo.json uses it (trailing commas) turned into JSON that juce::JSON reads. */
juce::String withoutTrailingCommas (const juce::String& json5);

/** Reads the SDK version of the audio class from the bundle's Resources/moduleinfo.json, if any. */
juce::String readModuleInfoSdkVersion (const juce::File& bundle, const juce::String& className);

//==============================================================================
/** Owns one hosted plug-in instance. Destruction deletes any editor first, then the instance,
    so no instance or editor can outlive its owner; a process-wide count shows leaks. */
class HostedPlugin
{
public:
    explicit HostedPlugin (std::unique_ptr<juce::AudioPluginInstance> instanceIn);
    ~HostedPlugin();

    /** The hosted instance. */
    juce::AudioPluginInstance& get() noexcept { return *instance; }

    /** Deletes the instance's editor if it has one. */
    void closeEditor();

    /** Number of HostedPlugin objects alive in the process. */
    static int liveCount() noexcept;

private:
    std::unique_ptr<juce::AudioPluginInstance> instance;
    static std::atomic<int> live;

    JUCE_DECLARE_NON_COPYABLE (HostedPlugin)
};

//==============================================================================
/** Finds plug-in classes in bundles and creates instances through JUCE's VST3 or LV2 hosting,
    chosen by the bundle's suffix.
    Must be used on the message thread. */
class PluginHost
{
public:
    PluginHost();

    /** The description of the bundle's class named `className` (the first instrument, else the first
        class, when empty); nothing, with `error` set, when there is none. */
    std::optional<juce::PluginDescription> describe (const juce::File& bundle,
                                                     const juce::String& className,
                                                     juce::String& error);

    /** A new instance, or null with `error` set. */
    std::unique_ptr<HostedPlugin> instantiate (const juce::PluginDescription& description,
                                               double sampleRate,
                                               int blockSize,
                                               juce::String& error);

private:
    juce::AudioPluginFormatManager formats;
    juce::KnownPluginList known;
    juce::VST3PluginFormat* vst3 = nullptr;
    juce::LV2PluginFormat* lv2 = nullptr;
};

} // namespace brivola::host
