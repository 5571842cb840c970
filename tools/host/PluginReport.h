#pragma once

#include "PluginHost.h"

#include <vector>

namespace brivola::host
{

/** Every layout with 1 to `maxChannels` channels (each named layout of that size and the discrete
    one) that the bus accepts. Asks the plug-in, so it must run while the instance is not prepared;
    the instance's layout is left as it was. */
std::vector<juce::AudioChannelSet> querySupportedLayouts (juce::AudioProcessor& processor,
                                                         bool isInput,
                                                         int busIndex,
                                                         int maxChannels = 32);

/** The layout every bus starts with (each bus's default layout, or disabled when the bus is not
    enabled by default). */
juce::AudioProcessor::BusesLayout defaultBusesLayout (juce::AudioProcessor& processor);

/** A layout's name and speakers, e.g. "Stereo (L R)". */
juce::String describeLayout (const juce::AudioChannelSet& set);

/** Everything --info reports, gathered into a JSON object. Queries layouts, then prepares the
    instance at the given rate and block size to read tail and latency, then releases it. */
juce::var buildPluginReport (HostedPlugin& plugin,
                             const juce::PluginDescription& description,
                             const juce::File& bundle,
                             double sampleRate,
                             int blockSize,
                             bool allParameters);

/** The report as readable text. */
juce::String formatPluginReport (const juce::var& report);

} // namespace brivola::host
