#include "RealtimeAudio.h"

#include "AudioChecks.h"

#include <chrono>
#include <optional>

namespace brivola::host
{

RealtimeAudio::RealtimeAudio (juce::AudioPluginInstance& instanceIn, double sampleRateIn, int blockSizeIn)
    : instance (instanceIn), sampleRate (sampleRateIn), blockSize (blockSizeIn)
{
}

RealtimeAudio::~RealtimeAudio() { stop(); }

void RealtimeAudio::start()
{
    if (running.exchange (true))
        return;

    thread = std::thread ([this] { run(); });
}

void RealtimeAudio::stop()
{
    running = false;

    if (thread.joinable())
        thread.join();
}

void RealtimeAudio::play (const MidiSchedule& schedule) { toPlay = &schedule; }

juce::String RealtimeAudio::failure() const
{
    const std::lock_guard<std::mutex> lock (faultMutex);
    return fault;
}

void RealtimeAudio::run()
{
    const auto outputs = instance.getTotalNumOutputChannels();
    juce::AudioBuffer<float> buffer (juce::jmax (1, instance.getTotalNumInputChannels(), outputs), blockSize);
    juce::MidiBuffer midi;
    midi.ensureSize (1024);
    std::optional<MidiBlockCursor> cursor;
    std::int64_t scheduleStart = 0;

    using Clock = std::chrono::steady_clock;
    const auto started = Clock::now();
    std::int64_t samples = 0;

    while (running.load())
    {
        buffer.clear();

        if (! cursor.has_value())
        {
            if (const auto* schedule = toPlay.load())
            {
                cursor.emplace (*schedule);
                scheduleStart = samples;
            }
        }

        if (cursor.has_value())
            cursor->collect (samples - scheduleStart, blockSize, midi);

        {
            const juce::ScopedLock lock (instance.getCallbackLock());
            instance.processBlock (buffer, midi);
        }

        midi.clear();
        samples += blockSize;
        ++processed;

        if (const auto bad = findBadSample (buffer, outputs, blockSize))
        {
            {
                const std::lock_guard<std::mutex> lock (faultMutex);
                fault = describe (*bad) + " in block " + juce::String (processed.load());
            }

            hasFault = true;
            return;
        }

        // Like an audio device: the next block is due when the audio so far has played.
        std::this_thread::sleep_until (started + std::chrono::duration_cast<Clock::duration> (std::chrono::duration<double> ((double) samples / sampleRate)));
    }
}

} // namespace brivola::host
