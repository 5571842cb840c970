// Whole-processor figures: processBlock through the frame.
#include "plugin/PluginProcessor.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>

namespace
{
/** CPU time of the calling thread in microseconds: the figures are shares of one core, which
    other processes on the machine do not inflate. */
double threadCpuMicroseconds()
{
    timespec t {};
    clock_gettime (CLOCK_THREAD_CPUTIME_ID, &t);
    return double (t.tv_sec) * 1e6 + double (t.tv_nsec) * 1e-3;
}

/** Times processBlock over the benchmark's iterations; returns CPU microseconds per block. */
double timeBlocks (benchmark::State& state, brivola::BrivolaAudioProcessor& processor, int blockSize)
{
    juce::AudioBuffer<float> buffer (2, blockSize);
    juce::MidiBuffer midi;
    double totalUs = 0.0;
    std::int64_t blocks = 0;
    for (auto _ : state)
    {
        const double t0 = threadCpuMicroseconds();
        processor.processBlock (buffer, midi);
        totalUs += threadCpuMicroseconds() - t0;
        ++blocks;
        benchmark::DoNotOptimize (buffer.getReadPointer (0));
    }
    return totalUs / double (blocks);
}

/** Renders `seconds` of 48 kHz audio; `first` goes with the first block. */
void render (brivola::BrivolaAudioProcessor& p, int blockSize, double seconds, juce::MidiBuffer* first = nullptr)
{
    juce::AudioBuffer<float> buffer (2, blockSize);
    juce::MidiBuffer none;
    const int blocks = int (seconds * 48000.0 / blockSize);
    for (int i = 0; i < blocks; ++i)
        p.processBlock (buffer, (i == 0 && first != nullptr) ? *first : none);
}

/** One 512-sample processBlock of a freshly prepared processor with its seeded dish and no note
    held: the frame's own cost (MIDI walk, dish ticks, effects idle, output copy). */
void processBlockSilent512 (benchmark::State& state)
{
    juce::ScopedJuceInitialiser_GUI juce;
    brivola::BrivolaAudioProcessor processor;
    processor.prepareToPlay (48000.0, 512);
    render (processor, 512, 2.0);
    state.counters["process_block_us_512_silent_48k"] = timeBlocks (state, processor, 512);
}
BENCHMARK (processBlockSilent512)->MinTime (1.0);

/** Full load: 24 sounding cells, all twelve parameters at 1, 128-sample blocks at 48 kHz. The dish
    is kept dark so its 24 cells neither merge nor split while measured. */
void processFullLoad (benchmark::State& state)
{
    juce::ScopedJuceInitialiser_GUI juce;
    brivola::BrivolaAudioProcessor processor;
    for (auto* p : processor.getParameterArray())
        p->setValueNotifyingHost (1.0f);
    processor.prepareToPlay (48000.0, 128);
    processor.setTheme (0.0);
    {
        const juce::ScopedLock sl (processor.getCallbackLock());
        auto& dish = processor.getDish();
        for (int k = 0; k < 24; ++k)
        {
            const double a = k * 2.399963229728653, r = 0.1 + 0.028 * k;
            brivola::placeCell (dish, k % 16 - 1, k % 8, -1, r * std::cos (a), r * std::sin (a), 2.0);
        }
    }
    juce::MidiBuffer on;
    on.addEvent (juce::MidiMessage::noteOn (1, 57, 1.0f), 0);
    render (processor, 128, 1.0, &on);
    const double us = timeBlocks (state, processor, 128);
    state.counters["process_cpu_pct_full_48k_128"] = us / (128.0 / 48000.0 * 1e6) * 100.0;
    if (processor.getMainEngine().activeCellCount() != 24)
        state.SkipWithError ("the dish lost cells while measured");
}
BENCHMARK (processFullLoad)->MinTime (3.0);

/** Idle: no note held, every tail has died away and the effects sleep. */
void processIdle (benchmark::State& state)
{
    juce::ScopedJuceInitialiser_GUI juce;
    brivola::BrivolaAudioProcessor processor;
    processor.prepareToPlay (48000.0, 128);
    juce::MidiBuffer on;
    on.addEvent (juce::MidiMessage::noteOn (1, 57, 1.0f), 0);
    on.addEvent (juce::MidiMessage::noteOff (1, 57), 64);
    render (processor, 128, 25.0, &on);
    const double us = timeBlocks (state, processor, 128);
    state.counters["process_cpu_pct_idle_48k_128"] = us / (128.0 / 48000.0 * 1e6) * 100.0;
}
BENCHMARK (processIdle)->MinTime (2.0);
} // namespace

BENCHMARK_MAIN();
