#pragma once

#include "MidiSource.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

namespace brivola::host
{

//==============================================================================
/** The audio side of a host while an editor is open: processes fixed-size blocks on its own
    thread, paced to real time, under the instance's callback lock, and checks every output sample.
    The instance must be prepared for the block size before `start`. Stops at the first bad sample. */
class RealtimeAudio
{
public:
    RealtimeAudio (juce::AudioPluginInstance& instance, double sampleRate, int blockSize);
    ~RealtimeAudio();

    void start();
    void stop();

    /** Plays a schedule from the next block on; call once, after `start`. The schedule must
        outlive the audio thread. */
    void play (const MidiSchedule& schedule);

    /** Blocks processed so far. */
    std::int64_t blocks() const noexcept { return processed.load(); }

    /** True once a bad sample was seen; `failure` describes it. */
    bool failed() const noexcept { return hasFault.load(); }
    juce::String failure() const;

private:
    void run();

    juce::AudioPluginInstance& instance;
    double sampleRate;
    int blockSize;
    std::thread thread;
    std::atomic<bool> running { false };
    std::atomic<std::int64_t> processed { 0 };
    std::atomic<const MidiSchedule*> toPlay { nullptr };
    std::atomic<bool> hasFault { false };
    mutable std::mutex faultMutex;
    juce::String fault;

    JUCE_DECLARE_NON_COPYABLE (RealtimeAudio)
};

} // namespace brivola::host
