// Wavetable building and voice rendering. Every figure is a user counter named after the figure.

#include "dish/Dish.h"
#include "engine/SynthEngine.h"
#include "engine/VoiceKernels.h"
#include "engine/WaveTables.h"

#include <benchmark/benchmark.h>
#include <hwy/targets.h>

#include <algorithm>
#include <cctype>

#include <string>
#include <vector>

using namespace brivola;

namespace
{
std::string rateTag (double sampleRate) { return std::to_string (static_cast<int> (sampleRate / 1000.0)) + "k"; }

/** Bundle building without the cache, as on a cache miss inside prepareToPlay. The figure is CPU
    time per build (the machine's other load does not count). */
void BM_WaveTableBuild (benchmark::State& state)
{
    const auto sampleRate = static_cast<double> (state.range (0));
    std::size_t bytes = 0;
    std::int64_t builds = 0;
    for (auto _ : state)
    {
        auto bundle = buildWaveTableBundle (sampleRate);
        bytes = bundle->memoryBytes();
        ++builds;
        benchmark::DoNotOptimize (bundle);
    }
    const auto tag = rateTag (sampleRate);
    state.counters["wavetable_build_ms_" + tag] =
        benchmark::Counter (static_cast<double> (builds) * 1e-3, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["wavetable_bundle_mb_" + tag] = static_cast<double> (bytes) / (1024.0 * 1024.0);
}
BENCHMARK (BM_WaveTableBuild)->Arg (44100)->Arg (48000)->Arg (96000)->Unit (benchmark::kMillisecond)->Iterations (10);

/** A dish of 24 live cells of the given species (cycling through the colours given), spread over
    the dish, each with a neighbour close enough to drive its wavefolder. */
DishCells fullDish (int motif, const std::vector<int>& colours)
{
    DishCells cells {};
    for (int i = 0; i < dishCapacity; ++i)
    {
        Cell& c = cells[static_cast<std::size_t> (i)];
        c.id = 100 + i;
        c.active = true;
        c.motif = motif;
        const int colour = colours[static_cast<std::size_t> (i) % colours.size()];
        c.colorGroup = colour / 2;
        c.colorVariant = colour % 2;
        c.mass = 1.0 + (i % 4);
        c.x = -0.6 + 0.05 * i;
        c.y = 0.4 - 0.03 * i;
        c.proximity = 0.6;
    }
    return cells;
}

/** Renders 24 sounding voices of one species family in 512-sample blocks with a dish update per tick,
    as the processor does, and reports nanoseconds per voice-sample (one voice, one sample). */
void renderBench (benchmark::State& state, int motif, const std::vector<int>& colours, const std::string& figure, bool withLoad,
                  SynthEngine::RenderPath path = SynthEngine::RenderPath::automatic)
{
    constexpr double sampleRate = 48000.0;
    constexpr int block = 512;
    SynthEngine engine;
    engine.prepare (sampleRate);
    engine.setRenderPath (path);
    SoundParams params;
    params[SoundParams::attack] = 1.0; // slow swells: every voice holds for the whole run
    params[SoundParams::detune] = 1.0;
    params[SoundParams::width] = 0.5;
    engine.applyParams (params);

    const DishCells cells = fullDish (motif, colours);
    engine.updateFromDish (cells, true);
    engine.noteOn (cells, false, 261.63, 1.0);
    engine.setModulation (0.1);

    std::vector<double> left (block), right (block);
    double tick = 0.0;
    std::int64_t samples = 0;
    for (auto _ : state)
    {
        engine.render (left.data(), right.data(), block);
        tick += block;
        if (tick >= sampleRate / 60.0)
        {
            tick -= sampleRate / 60.0;
            engine.updateFromDish (cells, false);
        }
        samples += block;
        benchmark::DoNotOptimize (left.data());
    }
    if (! engine.anySounding())
        state.SkipWithError ("voices stopped sounding");

    state.SetItemsProcessed (samples * SynthEngine::numVoices);
    // Inverted rates: CPU time per (count) units, here nanoseconds per voice-sample.
    state.counters[figure] = benchmark::Counter (static_cast<double> (samples * SynthEngine::numVoices) * 1e-9,
                                                 benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    if (withLoad)
    {
        // Share of one core while rendering in real time: CPU seconds per second of audio, in percent.
        state.counters[path == SynthEngine::RenderPath::vector ? "engine_cpu_percent_24_voices_48k" : "engine_cpu_percent_24_voices_48k_scalar"] =
            benchmark::Counter (static_cast<double> (samples) / sampleRate * 0.01, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    }
}

// Unison with four oscillators ("heart" colours 1, 2, 4, 5 and 7), folded and with vibrato: the goal case.
// Every figure comes twice: the path the engine chooses (side by side on this machine), and the scalar
// reference ("_scalar").
constexpr auto scalarPath = SynthEngine::RenderPath::scalar;
const std::vector<int> allColours { 0, 1, 2, 3, 4, 5, 6, 7 };

void BM_Render24Voices (benchmark::State& state) { renderBench (state, 2, { 1, 2, 4, 5, 7 }, "engine_ns_per_sample_24_voices_48k", true); }
void BM_Render24VoicesScalar (benchmark::State& state)
{
    renderBench (state, 2, { 1, 2, 4, 5, 7 }, "engine_ns_per_sample_24_voices_48k_scalar", true, scalarPath);
}

// Each synthesis type across its eight colours ("normal", "diamond", "gear", "spade", "clover").
void BM_RenderUnison (benchmark::State& state) { renderBench (state, -1, allColours, "engine_ns_per_sample_unison_48k", false); }
void BM_RenderFm (benchmark::State& state) { renderBench (state, 3, allColours, "engine_ns_per_sample_fm_48k", false); }
void BM_RenderPulse (benchmark::State& state) { renderBench (state, 5, allColours, "engine_ns_per_sample_pulse_48k", false); }
void BM_RenderAdditive (benchmark::State& state) { renderBench (state, 0, allColours, "engine_ns_per_sample_additive_48k", false); }
void BM_RenderPluck (benchmark::State& state) { renderBench (state, 1, allColours, "engine_ns_per_sample_pluck_48k", false); }
void BM_RenderUnisonScalar (benchmark::State& state) { renderBench (state, -1, allColours, "engine_ns_per_sample_unison_48k_scalar", false, scalarPath); }
void BM_RenderFmScalar (benchmark::State& state) { renderBench (state, 3, allColours, "engine_ns_per_sample_fm_48k_scalar", false, scalarPath); }
void BM_RenderPulseScalar (benchmark::State& state) { renderBench (state, 5, allColours, "engine_ns_per_sample_pulse_48k_scalar", false, scalarPath); }
void BM_RenderAdditiveScalar (benchmark::State& state) { renderBench (state, 0, allColours, "engine_ns_per_sample_additive_48k_scalar", false, scalarPath); }
void BM_RenderPluckScalar (benchmark::State& state) { renderBench (state, 1, allColours, "engine_ns_per_sample_pluck_48k_scalar", false, scalarPath); }

BENCHMARK (BM_Render24Voices)->Unit (benchmark::kMicrosecond);
BENCHMARK (BM_Render24VoicesScalar)->Unit (benchmark::kMicrosecond);
BENCHMARK (BM_RenderUnison)->Unit (benchmark::kMicrosecond);
BENCHMARK (BM_RenderUnisonScalar)->Unit (benchmark::kMicrosecond);
BENCHMARK (BM_RenderFm)->Unit (benchmark::kMicrosecond);
BENCHMARK (BM_RenderFmScalar)->Unit (benchmark::kMicrosecond);
BENCHMARK (BM_RenderPulse)->Unit (benchmark::kMicrosecond);
BENCHMARK (BM_RenderPulseScalar)->Unit (benchmark::kMicrosecond);
BENCHMARK (BM_RenderAdditive)->Unit (benchmark::kMicrosecond);
BENCHMARK (BM_RenderAdditiveScalar)->Unit (benchmark::kMicrosecond);
BENCHMARK (BM_RenderPluck)->Unit (benchmark::kMicrosecond);
BENCHMARK (BM_RenderPluckScalar)->Unit (benchmark::kMicrosecond);

/** The goal case with the vector kernels forced onto each of the machine's other instruction sets:
    engine_ns_per_sample_24_voices_48k_on_avx2, _on_sse4, ... ("_on_scalar" is Highway's one-lane
    fallback, not the scalar reference). */
void BM_Render24VoicesOn (benchmark::State& state)
{
    const auto target = static_cast<std::int64_t> (state.range (0));
    hwy::SetSupportedTargetsForTest (target);
    hwy::GetChosenTarget().Update (hwy::SupportedTargets());
    std::string name = hwy::TargetName (target);
    std::transform (name.begin(), name.end(), name.begin(), [] (unsigned char ch) { return static_cast<char> (std::tolower (ch)); });
    renderBench (state, 2, { 1, 2, 4, 5, 7 }, "engine_ns_per_sample_24_voices_48k_on_" + name, false, SynthEngine::RenderPath::vector);
    hwy::SetSupportedTargetsForTest (0);
    hwy::GetChosenTarget().Update (hwy::SupportedTargets());
}

const bool otherTargetsRegistered = [] {
    const auto targets = hwy::SupportedAndGeneratedTargets();
    for (std::size_t i = 1; i < targets.size(); ++i)
        benchmark::RegisterBenchmark (("BM_Render24VoicesOn/" + std::string (hwy::TargetName (targets[i]))).c_str(), BM_Render24VoicesOn)
            ->Arg (targets[i])
            ->Unit (benchmark::kMicrosecond);
    return true;
}();
} // namespace
