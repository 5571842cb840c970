#pragma once

#include "engine/effects/DspHelpers.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <vector>

namespace brivola
{

/** One channel of the echo: a 0.28 s line whose output also enters a 128-sample ring, so the
    feedback heard is the echo of 128 samples earlier. */
class FeedbackDelay
{
public:
    static constexpr std::size_t feedbackRingSize = 128;

    /** Sizes the line (floor(0.28 × rate) samples) and resets. Allocates. */
    void prepare (double sampleRate)
    {
        line.assign (samplesFor (0.28, sampleRate, 1), 0.0);
        reset();
    }

    /** Clears the line and the ring. */
    void reset() noexcept
    {
        std::fill (line.begin(), line.end(), 0.0);
        ring.fill (0.0);
        pos = 0;
        ringPos = 0;
    }

    /** Returns the echo for this sample and writes send × x + feedback × (ring) into the line. */
    double process (double x, double send, double feedback) noexcept
    {
        const double out = line[pos];
        const double fb = ring[ringPos];
        ring[ringPos] = out;
        ringPos = (ringPos + 1) % feedbackRingSize;
        line[pos] = flushTiny (send * x + feedback * fb);
        if (++pos == line.size())
            pos = 0;
        return out;
    }

private:
    std::vector<double> line;
    std::array<double, feedbackRingSize> ring {};
    std::size_t pos = 0;
    std::size_t ringPos = 0;
};

} // namespace brivola
