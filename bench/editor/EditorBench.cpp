// The editor's publishing tick and the scope analysis.
#include "editor/PageBridge.h"
#include "editor/PageJson.h"
#include "editor/ScopeAnalysis.h"
#include "plugin/PluginProcessor.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>
#include <vector>

namespace
{
/** CPU time of the calling thread in microseconds, which other processes do not inflate. */
double threadCpuMicroseconds()
{
    timespec t {};
    clock_gettime (CLOCK_THREAD_CPUTIME_ID, &t);
    return double (t.tv_sec) * 1e6 + double (t.tv_nsec) * 1e-3;
}

/** A window that serialises every message as the editor hands it to the web view (the frame as
    its own script, the others through the framework's juce::JSON::toString inside
    emitEventIfBrowserIsVisible), or only keeps it. */
struct SerialisingWindow final : brivola::PageWindow
{
    double now = 10000.0;
    int x = 100;
    std::size_t bytes = 0;
    juce::var lastFrame;
    bool serialise = true;

    double nowMs() override { return now; }
    juce::Point<int> screenPosition() override { return { x, 100 }; }
    bool isShowingOnScreen() override { return true; }
    juce::Rectangle<int> screenBounds() override { return { x, 100, 415, 646 }; }
    std::optional<juce::Rectangle<int>> displayAreaFor (juce::Rectangle<int>) override { return juce::Rectangle<int> { 0, 0, 1920, 1080 }; }
    void emit (const juce::Identifier& name, const juce::var& value) override
    {
        if (serialise)
            bytes += static_cast<std::size_t> (name.toString() == "frame"
                                                   ? brivola::pageEventScript (name, value).length()
                                                   : juce::JSON::toString (value, true).length());
        if (name.toString() == "frame")
            lastFrame = value;
    }
};

/** One publishing tick under full load: 24 live cells that keep moving, every voice sounding,
    scope capture on, the window being dragged (plucked timbres may have died away, so a couple of
    the 24 voices can be below the meters' threshold). Between two measured ticks the processor renders
    one tick of audio (not measured) and an unmeasured off-phase tick runs, so every measured tick
    reads a changed dish view, lists 24 voice levels and analyses the scope. */
void editorTick (benchmark::State& state, bool serialise, const char* counter)
{
    juce::ScopedJuceInitialiser_GUI juce;
    brivola::BrivolaAudioProcessor processor;
    processor.prepareToPlay (48000.0, 800);
    processor.setTheme (0.0); // dark: the 24 cells neither merge nor split
    {
        const juce::ScopedLock sl (processor.getCallbackLock());
        auto& dish = processor.getDish();
        for (int k = 0; k < 24; ++k)
        {
            const double a = k * 2.399963229728653, r = 0.1 + 0.028 * k;
            brivola::placeCell (dish, k % 16 - 1, k % 8, -1, r * std::cos (a), r * std::sin (a), 2.0);
        }
    }
    processor.keyboardNoteOn (57);
    processor.getOutputCapture().setCaptureEnabled (true);

    SerialisingWindow window;
    window.serialise = serialise;
    brivola::PageBridge bridge (processor, window);

    juce::AudioBuffer<float> buffer (2, 800);
    juce::MidiBuffer midi;
    const auto audioAndOffTick = [&] (int step)
    {
        processor.stirAt (0.0, 0.0, 0.02 * std::sin (step * 0.1), 0.02 * std::cos (step * 0.1));
        processor.processBlock (buffer, midi);
        window.now += 16.0;
        window.x += 1;
        bridge.tick();
    };
    // An odd number of warm-up ticks: in each iteration the unmeasured tick is the off phase and
    // the measured one reads the dish view and analyses the scope.
    for (int i = 0; i < 121; ++i)
        audioAndOffTick (i);

    double totalUs = 0.0;
    std::int64_t ticks = 0;
    int step = 0;
    for (auto _ : state)
    {
        state.PauseTiming();
        if (++step % 30 == 0)
        {
            // Strike again, so that plucked timbres keep sounding.
            processor.keyboardNoteOff();
            processor.keyboardNoteOn (57);
        }
        audioAndOffTick (step);
        processor.processBlock (buffer, midi);
        window.now += 16.0;
        window.x += 1;
        state.ResumeTiming();

        const double t0 = threadCpuMicroseconds();
        bridge.tick();
        totalUs += threadCpuMicroseconds() - t0;
        ++ticks;
    }
    state.counters[counter] = totalUs / double (ticks);
    const auto& frame = window.lastFrame;
    if (processor.getMainEngine().activeCellCount() != 24)
        state.SkipWithError ("the dish lost cells while measured");
    else if (frame["cells"]["cells"].size() != 24 * 13 || frame["voices"]["levels"].size() < 32
             || frame["scope"]["wave"].size() != 512 || ! frame["window"].isObject())
        state.SkipWithError (("the measured tick did not publish the full frame: cells " + juce::String (frame["cells"]["cells"].size())
                              + ", levels " + juce::String (frame["voices"]["levels"].size()) + ", wave "
                              + juce::String (frame["scope"]["wave"].size())).toRawUTF8());
    benchmark::DoNotOptimize (window.bytes);
}
/** The whole tick as the editor runs it, the framework's serialisation of the messages included. */
void editorTickFull (benchmark::State& state) { editorTick (state, true, "editor_tick_us_full"); }
BENCHMARK (editorTickFull)->MinTime (2.0);

/** The same tick without the framework's serialisation: the bridge's own work. */
void editorTickFullWithoutJson (benchmark::State& state) { editorTick (state, false, "editor_tick_us_full_without_json"); }
BENCHMARK (editorTickFullWithoutJson)->MinTime (2.0);

/** One scope analysis: 1024-sample copy and trigger, 512-sample wave, 2048-point windowed
    transform, smoothing and 32 bands. */
void scopeAnalysis (benchmark::State& state)
{
    brivola::OutputCapture capture;
    capture.prepare (48000.0);
    capture.setCaptureEnabled (true);
    std::vector<double> tone (4096);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = 0.5 * std::sin (2.0 * M_PI * 220.0 * double (i) / 48000.0) + 0.2 * std::sin (2.0 * M_PI * 3300.0 * double (i) / 48000.0);
    capture.captureScope (tone.data(), tone.data(), tone.size());

    brivola::ScopeAnalysis analysis;
    std::array<float, brivola::ScopeAnalysis::waveSize> wave {};
    std::array<float, brivola::ScopeAnalysis::numBands> bars {};
    double totalUs = 0.0;
    std::int64_t runs = 0;
    for (auto _ : state)
    {
        const double t0 = threadCpuMicroseconds();
        analysis.analyse (capture, wave, bars);
        totalUs += threadCpuMicroseconds() - t0;
        ++runs;
        benchmark::DoNotOptimize (bars.data());
    }
    state.counters["scope_analysis_us"] = totalUs / double (runs);
}
BENCHMARK (scopeAnalysis)->MinTime (1.0);
} // namespace

BENCHMARK_MAIN();
