// Writer and reader threads on the dish view for a few seconds, built with ThreadSanitizer: every
// copy the reader gets must hold one consistent write (all 24 ids equal), and writes are skipped
// only while both non-front buffers are announced.
#include "editor/DishView.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main (int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof (argv[1]) : 3.0;
    brivola::DishViewBuffer buffer;
    std::atomic<bool> stop { false };
    std::atomic<long> writes { 0 }, skipped { 0 };

    std::thread writer ([&]
    {
        brivola::Dish d;
        brivola::resetDish (d);
        brivola::fillDeckCounts (d);
        for (int k = 0; k < 24; ++k)
            brivola::placeCell (d, -1, 0, k, 0.0, 0.0, 1.0);
        for (std::int32_t n = 0; ! stop.load(); ++n)
        {
            for (auto& c : d.cells)
                c.id = n & 0xFFFFF;
            if (buffer.write (d))
                ++writes;
            else
                ++skipped;
        }
    });

    long reads = 0, failures = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double> (seconds);
    while (std::chrono::steady_clock::now() < end)
    {
        brivola::DishViewSlots slots;
        std::int32_t live = 0;
        if (! buffer.read (slots, live))
        {
            ++failures;
            continue;
        }
        ++reads;
        for (const auto& s : slots)
            if (s[1] != slots[0][1])
            {
                std::fprintf (stderr, "torn copy: %g vs %g\n", double (s[1]), double (slots[0][1]));
                stop = true;
                writer.join();
                return 1;
            }
    }
    stop = true;
    writer.join();
    // With a single reader one non-front buffer is always free, so the writer never skips.
    std::printf ("dish view stress: %ld reads, %ld failed reads, %ld writes, %ld skipped\n", reads, failures, writes.load(), skipped.load());
    return (reads > 0 && skipped.load() == 0) ? 0 : 1;
}
