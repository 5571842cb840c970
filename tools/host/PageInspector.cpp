#include "PageInspector.h"

#include "Renderer.h"

#include "plugin/Vst3Inspection.h"

#include <pluginterfaces/vst/ivstcomponent.h>

#include <vector>

namespace brivola::host
{

namespace
{
/** The VST3 component behind a hosted instance, if it is one. */
struct ComponentFinder final : juce::ExtensionsVisitor
{
    void visitVST3Client (const VST3Client& client) override { component = client.getIComponentPtr(); }

    Steinberg::Vst::IComponent* component = nullptr;
};

double nowMs() { return juce::Time::getMillisecondCounterHiRes(); }
} // namespace

PageInspector::PageInspector (juce::AudioPluginInstance& instance)
{
    ComponentFinder finder;
    instance.getExtensions (finder);

    void* found = nullptr;

    if (finder.component != nullptr
        && finder.component->queryInterface (IBrivolaInspection_iid, &found) == Steinberg::kResultOk)
        inspection = static_cast<IBrivolaInspection*> (found);
}

PageInspector::~PageInspector()
{
    if (inspection != nullptr)
        inspection->release();
}

int PageInspector::readyCount() const
{
    return inspection != nullptr ? (int) inspection->getReadyCount() : -1;
}

bool PageInspector::waitForReady (int before, int timeoutMs) const
{
    const auto giveUp = nowMs() + timeoutMs;

    while (readyCount() <= before)
    {
        if (nowMs() > giveUp)
            return false;

        pumpMessages (10);
    }

    return true;
}

std::optional<juce::String> PageInspector::evaluate (const juce::String& script, int timeoutMs, juce::String& error) const
{
    if (inspection == nullptr)
    {
        error = "the plug-in does not answer the inspection interface";
        return std::nullopt;
    }

    Steinberg::int32 request = 0;

    if (inspection->evaluateScript (script.toRawUTF8(), &request) != Steinberg::kResultOk)
    {
        error = "the plug-in has no open editor to evaluate the script in";
        return std::nullopt;
    }

    std::vector<char> buffer (4096);
    const auto giveUp = nowMs() + timeoutMs;

    for (;;)
    {
        Steinberg::int32 length = 0;
        const auto result = inspection->takeScriptResult (request, buffer.data(), (Steinberg::int32) buffer.size(), &length);

        if (result == Steinberg::kResultOk)
            return juce::String::fromUTF8 (buffer.data(), (int) length);

        if (result == Steinberg::kOutOfMemory)
        {
            buffer.resize ((size_t) length + 1);
            continue;
        }

        if (result != Steinberg::kNotInitialized)
        {
            error = "the plug-in lost the evaluation";
            return std::nullopt;
        }

        if (nowMs() > giveUp)
        {
            error = "no result from the page within " + juce::String (timeoutMs) + " ms";
            return std::nullopt;
        }

        pumpMessages (5);
    }
}

} // namespace brivola::host
