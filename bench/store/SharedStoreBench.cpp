// Shared store transaction latency: one instance alone, and eight processes updating the same
// document at once. Every figure is a user counter named after the figure.
#include "store/SharedStore.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

using namespace brivola;

namespace
{

using Clock = std::chrono::steady_clock;

/** A document of realistic size: twelve saved dishes of 24 cells and 60 discoveries. */
void fillStore (SharedStore& store)
{
    juce::String cells;

    for (int i = 0; i < 24; ++i)
        cells << (i > 0 ? "," : "") << "{\"x\": 0." << i << ", \"y\": -0." << i << ", \"mass\": 2.5, \"id\": " << (1000 + i)
              << ", \"color\": \"#A9D1FD\", \"motif\": \"heart\"}";

    const auto preset = juce::JSON::parse ("{\"cells\": [" + cells + "], \"fxControls\": [0,0.1,0.2,0.3,0,0,1,0,0,0.5,0,0]}");

    for (int slot = 0; slot < numPresetSlots; ++slot)
        store.savePreset (slot, preset);

    const char* shapes[] = { "spade", "clover", "heart", "diamond", "crown", "gear", "star", "bolt" };
    const char* colours[] = { "#A9D1FD", "#B8A1FB", "#FCD9EC", "#FDB8C0", "#FCDA6F", "#FDC58E", "#A1F2BF", "#AFB5BE" };

    for (int i = 0; i < 60; ++i)
        store.addDiscovery (juce::String (shapes[i % 8]) + "|" + colours[(i / 8) % 8], 1700000000000 + i);
}

double percentile (std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0.0;

    std::sort (values.begin(), values.end());
    const auto index = static_cast<size_t> (fraction * static_cast<double> (values.size() - 1) + 0.5);
    return values[std::min (index, values.size() - 1)];
}

/** Times `count` statistics updates; returns their latencies in milliseconds. */
std::vector<double> timeUpdates (SharedStore& store, int count, int& busy)
{
    std::vector<double> latencies;
    latencies.reserve (static_cast<size_t> (count));

    for (int i = 0; i < count; ++i)
    {
        const auto start = Clock::now();
        const auto result = store.addStatsDelta (1.0, 1, 0, 0);
        latencies.push_back (std::chrono::duration<double, std::milli> (Clock::now() - start).count());

        if (result.status == SharedStore::Status::busy)
            ++busy;
    }

    return latencies;
}

juce::File benchFolder()
{
    return juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("brivola-store-bench", {}, false);
}

void BM_StoreUpdateUncontended (benchmark::State& state)
{
    const auto folder = benchFolder();
    SharedStore store;
    store.open (folder.getFullPathName());
    fillStore (store);

    std::vector<double> latencies;
    int busy = 0;

    for (auto _ : state)
        for (auto latency : timeUpdates (store, 1, busy))
            latencies.push_back (latency);

    state.counters["store_update_ms_p50"] = percentile (latencies, 0.5);
    state.counters["store_update_ms_p99"] = percentile (latencies, 0.99);
    state.counters["store_document_kb"] = static_cast<double> (store.getDocumentFile().getSize()) / 1024.0;
    folder.deleteRecursively();
}
BENCHMARK (BM_StoreUpdateUncontended)->Iterations (400)->Unit (benchmark::kMillisecond);

/** Eight processes, each one instance, update the same document as fast as they can; every
    process times its own transactions (a busy answer counts with its 300 ms wait). */
void BM_StoreUpdate8Processes (benchmark::State& state)
{
    constexpr int processes = 8;
    constexpr int updatesPerProcess = 150;

    const auto folder = benchFolder();
    {
        SharedStore store;
        store.open (folder.getFullPathName());
        fillStore (store);
    }

    std::vector<double> latencies;
    int busy = 0;

    for (auto _ : state)
    {
        int pipeFds[2];

        if (::pipe (pipeFds) != 0)
        {
            state.SkipWithError ("pipe failed");
            return;
        }

        std::vector<pid_t> children;

        for (int p = 0; p < processes; ++p)
        {
            const auto pid = ::fork();

            if (pid == 0)
            {
                ::close (pipeFds[0]);
                SharedStore store;
                store.open (folder.getFullPathName());
                int childBusy = 0;
                auto times = timeUpdates (store, updatesPerProcess, childBusy);
                times.push_back (static_cast<double> (childBusy));
                const auto bytes = times.size() * sizeof (double);
                const auto written = ::write (pipeFds[1], times.data(), bytes);
                ::_exit (written == static_cast<ssize_t> (bytes) ? 0 : 1);
            }

            children.push_back (pid);
        }

        ::close (pipeFds[1]);

        // Each report is one write of less than PIPE_BUF bytes, so reports never interleave.
        std::vector<double> all;
        std::vector<double> buffer (4096);
        ssize_t got = 0;
        std::vector<char> bytes;

        while ((got = ::read (pipeFds[0], buffer.data(), buffer.size() * sizeof (double))) > 0)
            bytes.insert (bytes.end(), reinterpret_cast<char*> (buffer.data()), reinterpret_cast<char*> (buffer.data()) + got);

        ::close (pipeFds[0]);

        for (const auto pid : children)
        {
            int status = 0;
            ::waitpid (pid, &status, 0);
        }

        all.resize (bytes.size() / sizeof (double));
        std::memcpy (all.data(), bytes.data(), all.size() * sizeof (double));

        // Each report ends with that process's busy count.
        const auto reportSize = static_cast<size_t> (updatesPerProcess + 1);

        for (size_t start = 0; start + reportSize <= all.size(); start += reportSize)
        {
            latencies.insert (latencies.end(), all.begin() + (long) start, all.begin() + (long) (start + reportSize - 1));
            busy += static_cast<int> (all[start + reportSize - 1]);
        }
    }

    state.counters["store_update_ms_p50_8proc"] = percentile (latencies, 0.5);
    state.counters["store_update_ms_p99_8proc"] = percentile (latencies, 0.99);
    state.counters["store_update_busy_fraction_8proc"] = latencies.empty() ? 0.0 : busy / static_cast<double> (latencies.size());
    folder.deleteRecursively();
}
BENCHMARK (BM_StoreUpdate8Processes)->Iterations (1)->Unit (benchmark::kMillisecond);

} // namespace
