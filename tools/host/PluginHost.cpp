#include "PluginHost.h"

#include <pluginterfaces/base/ipluginbase.h>

#if ! JUCE_WINDOWS
 #include <dlfcn.h>
#endif

namespace brivola::host
{

namespace
{
template <size_t N>
juce::String fixedString (const char (&text)[N])
{
    size_t length = 0;

    while (length < N && text[length] != '\0')
        ++length;

    return juce::String::fromUTF8 (text, (int) length).trim();
}

juce::String classIdToHex (const Steinberg::TUID& cid)
{
    juce::String hex;

    for (auto byte : cid)
        hex << juce::String::toHexString ((int) (juce::uint8) byte).paddedLeft ('0', 2);

    return hex.toUpperCase();
}

#if ! JUCE_WINDOWS
/** A module handle that only attaches to an already loaded binary and lets it go again. */
class AttachedModule
{
public:
    explicit AttachedModule (const juce::File& binary)
        : handle (dlopen (binary.getFullPathName().toRawUTF8(), RTLD_LAZY | RTLD_LOCAL | RTLD_NOLOAD))
    {
    }

    ~AttachedModule()
    {
        if (handle != nullptr)
            dlclose (handle);
    }

    void* symbol (const char* name) const { return handle != nullptr ? dlsym (handle, name) : nullptr; }

    bool isAttached() const noexcept { return handle != nullptr; }

private:
    void* handle = nullptr;

    JUCE_DECLARE_NON_COPYABLE (AttachedModule)
};
#endif
} // namespace

//==============================================================================
juce::File findModuleBinary (const juce::File& bundle)
{
    const auto contents = bundle.getChildFile ("Contents");
    const auto stem = bundle.getFileNameWithoutExtension();

   #if JUCE_MAC
    return contents.getChildFile ("MacOS").getChildFile (stem);
   #else
    juce::String preferredArch;

   #if defined(__x86_64__)
    preferredArch = "x86_64-linux";
   #elif defined(__aarch64__)
    preferredArch = "aarch64-linux";
   #elif defined(__i386__)
    preferredArch = "i386-linux";
   #endif

    if (preferredArch.isNotEmpty())
    {
        const auto preferred = contents.getChildFile (preferredArch).getChildFile (stem + ".so");

        if (preferred.existsAsFile())
            return preferred;
    }

    for (const auto& dir : contents.findChildFiles (juce::File::findDirectories, false, "*-linux"))
    {
        const auto named = dir.getChildFile (stem + ".so");

        if (named.existsAsFile())
            return named;
    }

    return {};
   #endif
}

FactoryInfo readFactoryInfo (const juce::File& bundle)
{
    FactoryInfo info;

   #if JUCE_WINDOWS
    info.error = "reading the factory directly is not supported on this platform";
   #else
    const auto binary = findModuleBinary (bundle);

    if (! binary.existsAsFile())
    {
        info.error = "no module binary found in " + bundle.getFullPathName();
        return info;
    }

    AttachedModule module (binary);

    if (! module.isAttached())
    {
        info.error = "module " + binary.getFullPathName() + " is not loaded";
        return info;
    }

    using GetFactory = Steinberg::IPluginFactory* (PLUGIN_API*) ();
    auto getFactory = reinterpret_cast<GetFactory> (module.symbol ("GetPluginFactory"));

    if (getFactory == nullptr)
    {
        info.error = "module exports no GetPluginFactory";
        return info;
    }

    auto* factory = getFactory();

    if (factory == nullptr)
    {
        info.error = "GetPluginFactory returned null";
        return info;
    }

    Steinberg::PFactoryInfo factoryInfo {};

    if (factory->getFactoryInfo (&factoryInfo) == Steinberg::kResultOk)
    {
        info.vendor = fixedString (factoryInfo.vendor);
        info.url = fixedString (factoryInfo.url);
        info.email = fixedString (factoryInfo.email);
    }

    Steinberg::IPluginFactory2* factory2 = nullptr;

    if (factory->queryInterface (Steinberg::IPluginFactory2_iid, reinterpret_cast<void**> (&factory2)) != Steinberg::kResultOk)
        factory2 = nullptr;

    const auto count = factory->countClasses();

    for (Steinberg::int32 i = 0; i < count; ++i)
    {
        FactoryClassInfo entry;
        Steinberg::PClassInfo2 info2 {};

        if (factory2 != nullptr && factory2->getClassInfo2 (i, &info2) == Steinberg::kResultOk)
        {
            entry.classId = classIdToHex (info2.cid);
            entry.category = fixedString (info2.category);
            entry.name = fixedString (info2.name);
            entry.subCategories = fixedString (info2.subCategories);
            entry.vendor = fixedString (info2.vendor);
            entry.version = fixedString (info2.version);
            entry.sdkVersion = fixedString (info2.sdkVersion);
            entry.cardinality = (int) info2.cardinality;
            entry.classFlags = (juce::uint32) info2.classFlags;
        }
        else
        {
            Steinberg::PClassInfo basic {};

            if (factory->getClassInfo (i, &basic) != Steinberg::kResultOk)
                continue;

            entry.classId = classIdToHex (basic.cid);
            entry.category = fixedString (basic.category);
            entry.name = fixedString (basic.name);
            entry.cardinality = (int) basic.cardinality;
        }

        info.classes.push_back (entry);
    }

    if (factory2 != nullptr)
        factory2->release();

    factory->release();
    info.available = true;
   #endif

    return info;
}

juce::String withoutTrailingCommas (const juce::String& json5)
{
    const auto text = json5.toStdString();
    std::string result;
    result.reserve (text.size());
    bool inString = false;

    for (size_t i = 0; i < text.size(); ++i)
    {
        const auto c = text[i];

        if (inString)
        {
            if (c == '\\' && i + 1 < text.size())
            {
                result += c;
                result += text[++i];
                continue;
            }

            inString = c != '"';
        }
        else if (c == '"')
        {
            inString = true;
        }
        else if (c == ',')
        {
            const auto next = text.find_first_not_of (" \t\r\n", i + 1);

            if (next != std::string::npos && (text[next] == '}' || text[next] == ']'))
                continue;
        }

        result += c;
    }

    return juce::String::fromUTF8 (result.data(), (int) result.size());
}

juce::String readModuleInfoSdkVersion (const juce::File& bundle, const juce::String& className)
{
    const auto file = bundle.getChildFile ("Contents").getChildFile ("Resources").getChildFile ("moduleinfo.json");

    if (! file.existsAsFile())
        return {};

    // The file is JSON5 (trailing commas), which juce::JSON does not read.
    const auto parsed = juce::JSON::parse (withoutTrailingCommas (file.loadFileAsString()));

    if (const auto* classes = parsed.getProperty ("Classes", {}).getArray())
        for (const auto& c : *classes)
            if (c.getProperty ("Category", {}).toString() == "Audio Module Class"
                && (className.isEmpty() || c.getProperty ("Name", {}).toString() == className))
                return c.getProperty ("SDKVersion", c.getProperty ("SDK Version", {})).toString();

    return {};
}

//==============================================================================
std::atomic<int> HostedPlugin::live { 0 };

HostedPlugin::HostedPlugin (std::unique_ptr<juce::AudioPluginInstance> instanceIn)
    : instance (std::move (instanceIn))
{
    jassert (instance != nullptr);
    ++live;
}

HostedPlugin::~HostedPlugin()
{
    closeEditor();
    instance.reset();
    --live;
}

void HostedPlugin::closeEditor()
{
    if (instance == nullptr)
        return;

    if (auto* editor = instance->getActiveEditor())
        delete editor; // the editor unregisters itself from its processor
}

int HostedPlugin::liveCount() noexcept { return live.load(); }

//==============================================================================
PluginHost::PluginHost()
{
    auto format = std::make_unique<juce::VST3PluginFormat>();
    vst3 = format.get();
    formats.addFormat (format.release());

    auto lv2Format = std::make_unique<juce::LV2PluginFormat>();
    lv2 = lv2Format.get();
    formats.addFormat (lv2Format.release());
}

std::optional<juce::PluginDescription> PluginHost::describe (const juce::File& bundle,
                                                              const juce::String& className,
                                                              juce::String& error)
{
    if (! bundle.exists())
    {
        error = "no such bundle: " + bundle.getFullPathName();
        return std::nullopt;
    }

    const bool isLv2 = bundle.hasFileExtension (".lv2");

    if (! isLv2 && ! bundle.hasFileExtension (".vst3"))
    {
        error = "not a .vst3 or .lv2 bundle: " + bundle.getFullPathName();
        return std::nullopt;
    }

    juce::OwnedArray<juce::PluginDescription> found;
    juce::AudioPluginFormat& format = isLv2 ? static_cast<juce::AudioPluginFormat&> (*lv2)
                                            : static_cast<juce::AudioPluginFormat&> (*vst3);
    known.scanAndAddFile (bundle.getFullPathName(), false, found, format);

    if (found.isEmpty())
    {
        error = juce::String (isLv2 ? "no LV2 plug-in found in " : "no VST3 audio class found in ")
              + bundle.getFullPathName();
        return std::nullopt;
    }

    const juce::PluginDescription* chosen = nullptr;

    if (className.isNotEmpty())
    {
        for (auto* d : found)
            if (d->name == className)
                chosen = d;

        if (chosen == nullptr)
        {
            juce::StringArray names;

            for (auto* d : found)
                names.add ("\"" + d->name + "\"");

            error = "no class named \"" + className + "\" in the bundle (it has " + names.joinIntoString (", ") + ")";
            return std::nullopt;
        }
    }
    else
    {
        for (auto* d : found)
            if (chosen == nullptr && d->isInstrument)
                chosen = d;

        if (chosen == nullptr)
            chosen = found.getFirst();
    }

    return *chosen;
}

std::unique_ptr<HostedPlugin> PluginHost::instantiate (const juce::PluginDescription& description,
                                                       double sampleRate,
                                                       int blockSize,
                                                       juce::String& error)
{
    auto instance = formats.createPluginInstance (description, sampleRate, blockSize, error);

    if (instance == nullptr)
    {
        if (error.isEmpty())
            error = "the plug-in could not be instantiated";

        return nullptr;
    }

    return std::make_unique<HostedPlugin> (std::move (instance));
}

} // namespace brivola::host
