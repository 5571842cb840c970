// Whole-processor figures: processBlock through the frame at 48000 Hz.
#include "plugin/PluginProcessor.h"

#include <benchmark/benchmark.h>

#include <chrono>

namespace
{
/** One 512-sample processBlock of a freshly prepared processor with its seeded dish and no note
    held: the frame's own cost (MIDI walk, dish ticks, effects idle, output copy). */
void processBlockSilent512 (benchmark::State& state)
{
    juce::ScopedJuceInitialiser_GUI juce;
    brivola::BrivolaAudioProcessor processor;
    processor.prepareToPlay (48000.0, 512);
    juce::AudioBuffer<float> buffer (2, 512);
    juce::MidiBuffer midi;

    // Let the seeded dish fill with its first arrivals before measuring.
    for (int i = 0; i < 200; ++i)
        processor.processBlock (buffer, midi);

    double totalUs = 0.0;
    std::int64_t blocks = 0;
    for (auto _ : state)
    {
        const auto t0 = std::chrono::steady_clock::now();
        processor.processBlock (buffer, midi);
        totalUs += std::chrono::duration<double, std::micro> (std::chrono::steady_clock::now() - t0).count();
        ++blocks;
        benchmark::DoNotOptimize (buffer.getReadPointer (0));
    }
    state.counters["process_block_us_512_silent_48k"] = totalUs / double (blocks);
}
BENCHMARK (processBlockSilent512)->MinTime (1.0);
} // namespace

BENCHMARK_MAIN();
