#pragma once

#include "MidiSource.h"
#include "Options.h"
#include "PluginHost.h"

#include <optional>
#include <vector>

namespace brivola::host
{

/** An automation lane bound to a hosted parameter. */
struct BoundAutomation
{
    juce::AudioProcessorParameter* parameter = nullptr;
    AutomationLane lane;
};

struct RenderSettings
{
    juce::File output;
    double sampleRate = 48000.0;
    std::vector<int> blockPattern { 512 };
    int outputChannels = 0; ///< 0 keeps the plug-in's layout
    double tailSeconds = 2.0;
    std::optional<double> lengthSeconds;
    int bitsPerSample = 24;
    double bpm = 120.0;
    bool offline = false;
};

struct RenderResult
{
    int exitCode = exitOk;
    juce::String error;

    std::int64_t frames = 0;
    int channels = 0;
    int blocks = 0;
    int events = 0;        ///< events passed to the plug-in
    int droppedEvents = 0; ///< events after the end of a --length render
    float peak = 0.0f;
    double rms = 0.0;
};

/** Cycles through a block-size pattern. */
class BlockPattern
{
public:
    explicit BlockPattern (std::vector<int> sizesIn) : sizes (std::move (sizesIn)) {}

    /** The next block size, never more than `remaining`. */
    int next (std::int64_t remaining) noexcept
    {
        const auto size = sizes[index];
        index = (index + 1) % sizes.size();
        return (int) juce::jmin ((std::int64_t) size, remaining);
    }

    /** The largest size of the pattern: what the plug-in must be prepared for. */
    int largest() const noexcept;

private:
    std::vector<int> sizes;
    size_t index = 0;
};

/** Renders a schedule through a plug-in into a WAV file. Prepares the instance (after setting the
    requested output layout), processes on a separate audio thread while this (message) thread keeps
    dispatching, checks every sample, then releases the instance. */
RenderResult renderToWav (HostedPlugin& plugin,
                          const MidiSchedule& schedule,
                          const std::vector<BoundAutomation>& automation,
                          const RenderSettings& settings);

/** Lets the message thread dispatch pending messages for about `milliseconds`. */
void pumpMessages (int milliseconds);

} // namespace brivola::host
