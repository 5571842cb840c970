#include "Parameters.h"

namespace brivola::host
{

bool isMidiControllerParameter (const juce::AudioProcessorParameter& parameter)
{
    return ! parameter.isAutomatable() && parameter.getName (64).startsWith ("MIDI CC ");
}

juce::String parameterIdOf (const juce::AudioProcessorParameter& parameter)
{
    if (auto* hosted = dynamic_cast<const juce::HostedAudioProcessorParameter*> (&parameter))
        return hosted->getParameterID();

    return juce::String (parameter.getParameterIndex());
}

ParameterCatalogue catalogueParameters (juce::AudioProcessor& processor)
{
    ParameterCatalogue catalogue;
    catalogue.bypass = processor.getBypassParameter();

    for (auto* p : processor.getParameters())
    {
        catalogue.all.push_back (p);

        if (p != catalogue.bypass && isMidiControllerParameter (*p))
            catalogue.midiControllers.push_back (p);
        else
            catalogue.own.push_back (p);
    }

    return catalogue;
}

juce::AudioProcessorParameter* findParameter (juce::AudioProcessor& processor,
                                              const juce::String& reference,
                                              juce::String& error)
{
    const auto& parameters = processor.getParameters();
    const auto ref = reference.trim();
    error.clear();

    if (ref.startsWithChar ('#'))
    {
        const auto digits = ref.substring (1);
        const auto index = digits.getIntValue();

        if (digits.isEmpty() || ! digits.containsOnly ("0123456789") || ! juce::isPositiveAndBelow (index, parameters.size()))
        {
            error = "no parameter with index " + ref + " (the plug-in has " + juce::String (parameters.size()) + ")";
            return nullptr;
        }

        return parameters[index];
    }

    auto unique = [&] (auto&& matches, const juce::String& what) -> juce::AudioProcessorParameter*
    {
        juce::AudioProcessorParameter* found = nullptr;
        int count = 0;

        for (auto* p : parameters)
        {
            if (matches (*p))
            {
                found = p;
                ++count;
            }
        }

        if (count > 1)
        {
            error = "\"" + ref + "\" matches " + juce::String (count) + " parameters by " + what + "; use #INDEX";
            return nullptr;
        }

        return found;
    };

    if (auto* byId = unique ([&] (auto& p) { return parameterIdOf (p) == ref; }, "id"))
        return byId;

    if (error.isNotEmpty())
        return nullptr;

    // The VST3 wrapper hashes string ids, masked to 31 bits by default (Studio One compatibility).
    const auto masked = juce::String ((juce::uint32) juce::VST3ClientExtensions::convertJuceParameterId (ref, true));
    const auto unmasked = juce::String ((juce::uint32) juce::VST3ClientExtensions::convertJuceParameterId (ref, false));

    if (auto* byHash = unique ([&] (auto& p) { const auto id = parameterIdOf (p); return id == masked || id == unmasked; },
                               "string id"))
        return byHash;

    if (error.isNotEmpty())
        return nullptr;

    if (auto* byName = unique ([&] (auto& p) { return p.getName (256).equalsIgnoreCase (ref); }, "name"))
        return byName;

    if (error.isEmpty())
        error = "no parameter \"" + ref + "\" (by index, id, string id or name)";

    return nullptr;
}

} // namespace brivola::host
