// Effects chain and convolver benchmarks. Each figure is a user counter named after it.
#include "engine/effects/Convolver.h"
#include "engine/effects/EffectsChain.h"
#include "engine/effects/ReverbResponse.h"

#include <benchmark/benchmark.h>

#if BRIVOLA_HAVE_ZITA
    #include <zita-convolver.h>
#endif

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <memory>
#include <numbers>
#include <vector>

using namespace brivola;

namespace
{
constexpr double rate = 48000.0;
constexpr std::size_t block = 128;

double processCpuSeconds()
{
    rusage u {};
    getrusage (RUSAGE_SELF, &u);
    return static_cast<double> (u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * static_cast<double> (u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

double threadCpuSeconds()
{
    timespec t {};
    clock_gettime (CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double> (t.tv_sec) + 1e-9 * static_cast<double> (t.tv_nsec);
}

struct Noise
{
    std::uint64_t s = 0x9E3779B97F4A7C15ULL;
    double next()
    {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return static_cast<double> (s >> 11) * 0x1.0p-53 * 2.0 - 1.0;
    }
};

// A held three-note chord with a little noise, at a typical voice-sum level (whole cycles of all
// three notes repeat seamlessly every second: 220, 277, 330 Hz).
void chord (std::vector<double>& l, std::vector<double>& r, std::size_t start, Noise& noise)
{
    for (std::size_t i = 0; i < l.size(); ++i)
    {
        const double t = static_cast<double> (start + i) / rate;
        const double v = 0.15 * (std::sin (2 * std::numbers::pi * 220.0 * t) + std::sin (2 * std::numbers::pi * 277.0 * t)
                                 + std::sin (2 * std::numbers::pi * 330.0 * t))
                         + 0.01 * noise.next();
        l[i] = v;
        r[i] = 0.9 * v;
    }
}

enum ChainMode
{
    allOff,
    allOn,
    asleep
};

void chainBenchmark (benchmark::State& state, ChainMode mode, const char* counter)
{
    auto fx = std::make_unique<EffectsChain>();
    fx->prepare (rate, 512);
    SoundParams p;
    p.values.fill (mode == allOn ? 1.0 : 0.0);
    fx->configure (p);

    // One second of input, made before the timing starts.
    const std::size_t blocksPerIteration = static_cast<std::size_t> (rate) / block; // one second
    std::vector<double> inputL (blocksPerIteration * block, 0.0), inputR (blocksPerIteration * block, 0.0);
    Noise noise;
    if (mode != asleep)
        chord (inputL, inputR, 0, noise);

    std::vector<double> l (block), r (block);
    if (mode == asleep)
        while (! fx->isAsleep())
        {
            std::fill (l.begin(), l.end(), 0.0);
            std::fill (r.begin(), r.end(), 0.0);
            fx->process (l.data(), r.data(), nullptr, nullptr, block);
        }

    double cpu = 0.0;
    std::size_t blocks = 0;
    for (auto _ : state)
    {
        const double t0 = threadCpuSeconds();
        for (std::size_t b = 0; b < blocksPerIteration; ++b)
        {
            std::copy (inputL.begin() + static_cast<std::ptrdiff_t> (b * block),
                       inputL.begin() + static_cast<std::ptrdiff_t> ((b + 1) * block), l.begin());
            std::copy (inputR.begin() + static_cast<std::ptrdiff_t> (b * block),
                       inputR.begin() + static_cast<std::ptrdiff_t> ((b + 1) * block), r.begin());
            fx->configure (p);
            fx->process (l.data(), r.data(), nullptr, nullptr, block);
            benchmark::DoNotOptimize (l.data());
        }
        cpu += threadCpuSeconds() - t0;
        blocks += blocksPerIteration;
    }
    const double audioSeconds = static_cast<double> (blocks * block) / rate;
    state.counters[counter] = 100.0 * cpu / audioSeconds;
}

void BM_FxChainAllOff (benchmark::State& s) { chainBenchmark (s, allOff, "fx_chain_cpu_pct_all_off_48k"); }
void BM_FxChainAllOn (benchmark::State& s) { chainBenchmark (s, allOn, "fx_chain_cpu_pct_all_on_48k"); }
void BM_FxChainAsleep (benchmark::State& s) { chainBenchmark (s, asleep, "fx_chain_cpu_pct_asleep_48k"); }

//==============================================================================
// Our convolver against zita-convolver: the same 8.02 s stereo response at 48 kHz, 128-sample
// blocks, 60 s of noise, one convolver per channel. zita runs synchronously (process(true)) with
// its worker threads, so both are measured as CPU time of the whole process.
void BM_ConvolverVsZita (benchmark::State& state)
{
    const auto response = makeReverbResponse (rate);
    const std::size_t n = response.left.size();
    const std::size_t numBlocks = static_cast<std::size_t> (60.0 * rate) / block;

    std::vector<double> inL (numBlocks * block), inR (numBlocks * block);
    Noise noise;
    for (std::size_t i = 0; i < inL.size(); ++i)
    {
        inL[i] = 0.5 * noise.next();
        inR[i] = 0.5 * noise.next();
    }

    Convolver left, right;
    left.prepare (response.left.data(), n, 0);
    right.prepare (response.right.data(), n, 16);
    std::vector<double> outL (block), outR (block);
    std::vector<double> blockTimes (numBlocks);

#if BRIVOLA_HAVE_ZITA
    std::vector<float> hl (response.left.begin(), response.left.end()), hr (response.right.begin(), response.right.end());
    Convproc zita;
    zita.configure (2, 2, static_cast<uint32_t> (n), block, block, Convproc::MAXPART, 0.5f);
    zita.impdata_create (0, 0, 1, hl.data(), 0, static_cast<int32_t> (n));
    zita.impdata_create (1, 1, 1, hr.data(), 0, static_cast<int32_t> (n));
    zita.start_process (0, 0);
#endif

    double ours = 0.0, theirs = 0.0, worstOverMean = 0.0, p999OverMean = 0.0;
    for (auto _ : state)
    {
        // CPU time of the whole process over the 60 s, with nothing else in the loop.
        left.reset();
        right.reset();
        const double t0 = processCpuSeconds();
        for (std::size_t b = 0; b < numBlocks; ++b)
        {
            left.process (inL.data() + b * block, outL.data(), block);
            right.process (inR.data() + b * block, outR.data(), block);
            benchmark::DoNotOptimize (outL.data());
            benchmark::DoNotOptimize (outR.data());
        }
        ours = processCpuSeconds() - t0;

#if BRIVOLA_HAVE_ZITA
        const double z0 = processCpuSeconds();
        for (std::size_t b = 0; b < numBlocks; ++b)
        {
            float* a = zita.inpdata (0);
            float* c = zita.inpdata (1);
            for (std::size_t i = 0; i < block; ++i)
            {
                a[i] = static_cast<float> (inL[b * block + i]);
                c[i] = static_cast<float> (inR[b * block + i]);
            }
            zita.process (true);
            benchmark::DoNotOptimize (zita.outdata (0));
            benchmark::DoNotOptimize (zita.outdata (1));
        }
        theirs = processCpuSeconds() - z0;
#endif

        // Per-block cost: the thread's CPU time per block (time spent preempted does not count),
        // in three passes; a block's cost is its least time over the passes, so a block only
        // counts as expensive when it is expensive every time (the schedule is the same in each
        // pass), not when another process disturbed its caches once.
        std::fill (blockTimes.begin(), blockTimes.end(), 1.0e9);
        for (int pass = 0; pass < 3; ++pass)
        {
            left.reset();
            right.reset();
            for (std::size_t b = 0; b < numBlocks; ++b)
            {
                const double s0 = threadCpuSeconds();
                left.process (inL.data() + b * block, outL.data(), block);
                right.process (inR.data() + b * block, outR.data(), block);
                const double t = threadCpuSeconds() - s0;
                blockTimes[b] = std::min (blockTimes[b], t);
                benchmark::DoNotOptimize (outL.data());
            }
        }
        double mean = 0.0;
        for (double t : blockTimes)
            mean += t;
        mean /= static_cast<double> (numBlocks);
        std::vector<double> sorted = blockTimes;
        std::sort (sorted.begin(), sorted.end());
        worstOverMean = sorted.back() / mean;
        p999OverMean = sorted[sorted.size() * 999 / 1000] / mean;
    }

#if BRIVOLA_HAVE_ZITA
    zita.stop_process();
    zita.cleanup();
    state.counters["convolver_cpu_ratio_vs_zita"] = ours / theirs;
    state.counters["zita_convolver_cpu_pct_48k"] = 100.0 * theirs / 60.0;
#endif
    state.counters["convolver_cpu_pct_48k"] = 100.0 * ours / 60.0;
    state.counters["convolver_worst_over_mean_block"] = worstOverMean;
    state.counters["convolver_p999_over_mean_block"] = p999OverMean;
}
} // namespace

BENCHMARK (BM_FxChainAllOff)->Unit (benchmark::kMillisecond)->Iterations (10);
BENCHMARK (BM_FxChainAllOn)->Unit (benchmark::kMillisecond)->Iterations (10);
BENCHMARK (BM_FxChainAsleep)->Unit (benchmark::kMillisecond)->Iterations (10);
BENCHMARK (BM_ConvolverVsZita)->Unit (benchmark::kMillisecond)->Iterations (1);
