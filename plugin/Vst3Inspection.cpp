#include "plugin/Vst3Inspection.h"

#include "editor/PluginEditor.h"

#include <cstring>
#include <map>
#include <mutex>
#include <optional>

namespace brivola
{

/** Evaluations by request number: empty while running, then the result text. */
struct Vst3Inspection::Results
{
    std::mutex mutex;
    std::map<Steinberg::int32, std::optional<std::string>> byRequest;
    Steinberg::int32 nextRequest = 1;
};

namespace
{
std::string resultText (const juce::WebBrowserComponent::EvaluationResult& result)
{
    if (const auto* value = result.getResult())
        return juce::JSON::toString (*value, true).toStdString();

    if (const auto* error = result.getError())
        return ("error: " + (error->message.isNotEmpty() ? error->message : juce::String ("unknown"))).toStdString();

    return "error: unknown";
}

/** JavaScript text with every character beyond ASCII written as a \u escape, which means the same in
    string literals, identifiers and regular expressions (and does no harm in comments). JUCE 8.0.6's
    Linux web view frames its messages to the web process by character count but sends UTF-8 bytes,
    so any other character desynchronises the channel. */
juce::String asciiOnly (const juce::String& text)
{
    juce::String out;
    out.preallocateBytes (text.getNumBytesAsUTF8() + 16);

    for (auto p = text.getCharPointer(); ! p.isEmpty();)
    {
        const auto c = (juce::uint32) p.getAndAdvance();

        if (c < 0x80)
        {
            out << juce::String::charToString ((juce::juce_wchar) c);
            continue;
        }

        auto escape = [&out] (juce::uint32 unit) { out << "\\u" << juce::String::toHexString ((int) unit).paddedLeft ('0', 4); };

        if (c > 0xFFFF)
        {
            escape (0xD800 + ((c - 0x10000) >> 10));
            escape (0xDC00 + ((c - 0x10000) & 0x3FF));
        }
        else
        {
            escape (c);
        }
    }

    return out;
}

BrivolaAudioProcessorEditor* openEditor (juce::AudioProcessor& processor)
{
    return dynamic_cast<BrivolaAudioProcessorEditor*> (processor.getActiveEditor());
}
} // namespace

//==============================================================================
Vst3Inspection::Vst3Inspection (juce::AudioProcessor& processorIn)
    : processor (processorIn), results (std::make_shared<Results>())
{
}

// A host that still holds the interface here would call into a deleted processor.
Vst3Inspection::~Vst3Inspection() { jassert (references.load() == 0); }

int32_t Vst3Inspection::queryIEditController (const Steinberg::TUID iid, void** obj)
{
    return queryInterface (iid, obj);
}

int32_t Vst3Inspection::queryIAudioProcessor (const Steinberg::TUID iid, void** obj)
{
    return queryInterface (iid, obj);
}

Steinberg::tresult PLUGIN_API Vst3Inspection::queryInterface (const Steinberg::TUID iid, void** obj)
{
    if (obj == nullptr)
        return Steinberg::kInvalidArgument;

    // Only our own interface: everything else (FUnknown included) belongs to the framework's objects.
    if (Steinberg::FUnknownPrivate::iidEqual (iid, IBrivolaInspection_iid))
    {
        addRef();
        *obj = static_cast<IBrivolaInspection*> (this);
        return Steinberg::kResultOk;
    }

    *obj = nullptr;
    return Steinberg::kNoInterface;
}

// The processor owns this object, so the count only shows misuse (see the destructor).
Steinberg::uint32 PLUGIN_API Vst3Inspection::addRef() { return ++references; }

Steinberg::uint32 PLUGIN_API Vst3Inspection::release() { return --references; }

//==============================================================================
Steinberg::tresult PLUGIN_API Vst3Inspection::evaluateScript (const char* utf8Script, Steinberg::int32* requestId)
{
    if (utf8Script == nullptr || requestId == nullptr)
        return Steinberg::kInvalidArgument;

    if (! juce::MessageManager::existsAndIsCurrentThread())
        return Steinberg::kResultFalse;

    auto* editor = openEditor (processor);

    if (editor == nullptr)
        return Steinberg::kResultFalse;

    Steinberg::int32 id = 0;

    {
        const std::lock_guard<std::mutex> lock (results->mutex);
        id = results->nextRequest++;
        results->byRequest.emplace (id, std::nullopt);
    }

    // The callback may come after this object or the editor is gone: it holds only the results.
    editor->getBrowser().evaluateJavascript (asciiOnly (juce::String::fromUTF8 (utf8Script)),
                                             [shared = results, id] (juce::WebBrowserComponent::EvaluationResult result)
                                             {
                                                 auto text = resultText (result);
                                                 const std::lock_guard<std::mutex> lock (shared->mutex);

                                                 if (auto it = shared->byRequest.find (id); it != shared->byRequest.end())
                                                     it->second = std::move (text);
                                             });
    *requestId = id;
    return Steinberg::kResultOk;
}

Steinberg::tresult PLUGIN_API Vst3Inspection::takeScriptResult (Steinberg::int32 requestId,
                                                                 char* buffer,
                                                                 Steinberg::int32 bufferSize,
                                                                 Steinberg::int32* length)
{
    if (buffer == nullptr || length == nullptr || bufferSize < 0)
        return Steinberg::kInvalidArgument;

    const std::lock_guard<std::mutex> lock (results->mutex);
    const auto it = results->byRequest.find (requestId);

    if (it == results->byRequest.end())
        return Steinberg::kInvalidArgument;

    if (! it->second.has_value())
        return Steinberg::kNotInitialized;

    const auto& text = *it->second;
    *length = (Steinberg::int32) juce::jmin (text.size(), (size_t) std::numeric_limits<Steinberg::int32>::max() - 1);

    if ((size_t) bufferSize < text.size() + 1)
        return Steinberg::kOutOfMemory;

    std::memcpy (buffer, text.c_str(), text.size() + 1);
    results->byRequest.erase (it);
    return Steinberg::kResultOk;
}

Steinberg::int32 PLUGIN_API Vst3Inspection::getReadyCount()
{
    if (! juce::MessageManager::existsAndIsCurrentThread())
        return -1;

    auto* editor = openEditor (processor);
    return editor != nullptr ? (Steinberg::int32) editor->getBridge().getReadyCount() : -1;
}

} // namespace brivola
