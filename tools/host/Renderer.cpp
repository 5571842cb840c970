#include "Renderer.h"

#include "AudioChecks.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace brivola::host
{

int BlockPattern::largest() const noexcept { return *std::max_element (sizes.begin(), sizes.end()); }

void pumpMessages (int milliseconds)
{
    if (auto* mm = juce::MessageManager::getInstanceWithoutCreating())
        mm->runDispatchLoopUntil (milliseconds);
}

namespace
{
/** Applies the requested channel count to the main output bus; false when the plug-in refuses. */
bool applyOutputChannels (juce::AudioPluginInstance& instance, int channels)
{
    if (channels == 0)
        return true;

    if (instance.getBusCount (false) == 0)
        return false;

    auto layout = instance.getBusesLayout();
    layout.outputBuses.getReference (0) = channels == 1 ? juce::AudioChannelSet::mono() : juce::AudioChannelSet::stereo();
    return instance.setBusesLayout (layout) && instance.getBusesLayout() == layout;
}
} // namespace

RenderResult renderToWav (HostedPlugin& plugin,
                          const MidiSchedule& schedule,
                          const std::vector<BoundAutomation>& automation,
                          const RenderSettings& settings)
{
    RenderResult result;
    auto& instance = plugin.get();

    if (! applyOutputChannels (instance, settings.outputChannels))
    {
        result.exitCode = exitLoad;
        result.error = "the plug-in refuses " + juce::String (settings.outputChannels == 1 ? "mono" : "stereo") + " output";
        return result;
    }

    BlockPattern pattern (settings.blockPattern);
    const auto maxBlock = pattern.largest();
    const auto rate = settings.sampleRate;

    FixedTempoPlayHead playHead (rate, settings.bpm);
    instance.setPlayHead (&playHead);
    instance.setNonRealtime (settings.offline);
    instance.prepareToPlay (rate, maxBlock);

    const auto outputChannels = instance.getTotalNumOutputChannels();
    const auto bufferChannels = juce::jmax (instance.getTotalNumInputChannels(), outputChannels);

    auto finish = [&] (RenderResult r)
    {
        instance.releaseResources();
        instance.setPlayHead (nullptr);
        return r;
    };

    if (outputChannels <= 0)
    {
        result.exitCode = exitLoad;
        result.error = "the plug-in has no output channels";
        return finish (result);
    }

    // The writer owns the stream once created.
    settings.output.getParentDirectory().createDirectory();
    settings.output.deleteFile();
    auto stream = std::make_unique<juce::FileOutputStream> (settings.output);

    if (! stream->openedOk())
    {
        result.exitCode = exitIo;
        result.error = "cannot write " + settings.output.getFullPathName();
        return finish (result);
    }

    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatWriter> writer (wav.createWriterFor (stream.get(), rate, (unsigned int) outputChannels,
                                                                          settings.bitsPerSample, {}, 0));

    if (writer == nullptr)
    {
        result.exitCode = exitIo;
        result.error = "cannot create a " + juce::String (settings.bitsPerSample) + "-bit WAV writer for "
                     + juce::String (outputChannels) + " channels at " + juce::String (rate) + " Hz";
        return finish (result);
    }

    stream.release();

    const auto totalFrames = settings.lengthSeconds.has_value() ? secondsToSample (*settings.lengthSeconds, rate)
                                                                : schedule.endSample + secondsToSample (settings.tailSeconds, rate);

    for (const auto& e : schedule.events)
        if (e.sample >= totalFrames)
            ++result.droppedEvents;

    result.channels = outputChannels;
    LevelMeter meter;
    std::atomic<bool> finished { false };

    std::thread audio ([&]
    {
        juce::AudioBuffer<float> buffer (bufferChannels, maxBlock);
        juce::MidiBuffer midi;
        midi.ensureSize (4096);
        MidiBlockCursor cursor (schedule);
        std::vector<float> lastValues (automation.size(), -1.0f);
        std::int64_t position = 0;

        while (position < totalFrames)
        {
            const auto n = pattern.next (totalFrames - position);

            for (size_t i = 0; i < automation.size(); ++i)
            {
                const auto value = (float) automationValueAt (automation[i].lane, (double) position / rate);

                if (value != lastValues[i])
                {
                    automation[i].parameter->setValue (value);
                    lastValues[i] = value;
                }
            }

            buffer.setSize (bufferChannels, n, false, false, true);
            buffer.clear();
            midi.clear();
            result.events += cursor.collect (position, n, midi);
            playHead.moveTo (position);

            {
                const juce::ScopedLock lock (instance.getCallbackLock());
                instance.processBlock (buffer, midi);
            }

            if (const auto bad = findBadSample (buffer, outputChannels, n))
            {
                result.exitCode = exitPluginFault;
                result.error = describe (*bad) + " starting at sample " + juce::String (position);
                break;
            }

            meter.add (buffer, outputChannels, n);

            if (! writer->writeFromAudioSampleBuffer (buffer, 0, n))
            {
                result.exitCode = exitIo;
                result.error = "writing " + settings.output.getFullPathName() + " failed";
                break;
            }

            position += n;
            ++result.blocks;
        }

        result.frames = position;
        finished = true;
    });

    while (! finished.load())
        pumpMessages (5);

    audio.join();

    writer.reset(); // completes the WAV header

    result.peak = meter.peak;
    result.rms = meter.rms();
    return finish (result);
}

} // namespace brivola::host
