#include "plugin/Parameters.h"

namespace brivola
{

juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout()
{
    juce::AudioProcessorValueTreeState::ParameterLayout layout;
    for (const auto& info : parameterInfos)
        layout.add (std::make_unique<juce::AudioParameterFloat> (juce::ParameterID { info.id, 1 },
                                                                 info.name,
                                                                 juce::NormalisableRange<float> (0.0f, 1.0f),
                                                                 0.0f));
    return layout;
}

ParameterArray findParameters (juce::AudioProcessorValueTreeState& tree)
{
    ParameterArray result {};
    for (std::size_t i = 0; i < parameterInfos.size(); ++i)
    {
        result[i] = dynamic_cast<juce::AudioParameterFloat*> (tree.getParameter (parameterInfos[i].id));
        jassert (result[i] != nullptr);
    }
    return result;
}

SoundParams takeSnapshot (const ParameterArray& parameters) noexcept
{
    SoundParams p;
    for (std::size_t i = 0; i < parameters.size(); ++i)
        p.values[i] = parameters[i] != nullptr ? sanitiseParam (static_cast<double> (parameters[i]->get())) : 0.0;
    return p;
}

} // namespace brivola
