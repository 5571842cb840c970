// The audio-thread operations of the effects chain and the output capture must not allocate
// (allocations are counted per thread by tests/support/AllocationCounter).
#include "engine/effects/EffectsChain.h"
#include "engine/effects/OutputCapture.h"

#include "support/AllocationCounter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <memory>
#include <vector>

using AllocationCount = brivola::test::ScopedAllocationCounter;

using namespace brivola;

TEST (EffectsRealtime, ConfigureProcessResetAndCaptureNeverAllocate)
{
    auto fx = std::make_unique<EffectsChain>();
    fx->prepare (48000.0, 512);
    auto capture = std::make_unique<OutputCapture>();
    capture->setCaptureEnabled (true);
    std::vector<double> l (512), r (512), chime (512, 0.0);
    std::array<double, 24> peaks {};
    std::array<std::int32_t, 24> ids {};

    AllocationCount allocationsSeen;
    for (int block = 0; block < 400; ++block)
    {
        // Every parameter moves, effects switch on and off, chunks of odd sizes, a fault, silence.
        SoundParams p;
        for (std::size_t i = 0; i < SoundParams::count; ++i)
            p[i] = static_cast<double> ((block * 7 + static_cast<int> (i) * 3) % 11) / 10.0;
        fx->configure (p);
        const std::size_t n = 1 + static_cast<std::size_t> (block * 37) % 512;
        for (std::size_t i = 0; i < n; ++i)
            l[i] = r[i] = block % 50 < 40 ? 0.3 * std::sin (0.05 * static_cast<double> (i)) : 0.0;
        if (block == 200)
            std::fill (l.begin(), l.begin() + static_cast<std::ptrdiff_t> (n), 1e308); // overflows inside: a reset
        fx->process (l.data(), r.data(), chime.data(), chime.data(), n);
        capture->captureScope (l.data(), r.data(), n);
        peaks[static_cast<std::size_t> (block) % 24] = 0.2;
        capture->updateVoiceMeters (peaks, ids, 5);
        if (block == 300)
            fx->reset();
    }
    EXPECT_EQ (allocationsSeen.count(), 0u);
    EXPECT_GE (fx->faultResetCount(), 1u);
}
