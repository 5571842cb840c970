#pragma once

#include "engine/effects/DspHelpers.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace brivola
{

/** Stereo chorus: one modulated delay line per channel, read with linear interpolation, the two
    channels' 0.9 Hz sine LFOs in opposite phase (0.7 ms to 6.3 ms of delay), dry and wet mixed with
    an equal-power law. */
class Chorus
{
public:
    /** Sizes the lines (floor(0.0163 × rate) + 8 samples) and resets. Allocates. */
    void prepare (double sampleRate)
    {
        rate = sampleRate;
        length = samplesFor (0.0163, sampleRate) + 8;
        lineL.assign (length, 0.0);
        lineR.assign (length, 0.0);
        reset();
    }

    /** Clears the lines and the LFO counter. */
    void reset() noexcept
    {
        std::fill (lineL.begin(), lineL.end(), 0.0);
        std::fill (lineR.begin(), lineR.end(), 0.0);
        writePos = 0;
        counter = 0;
        mixFor = -1.0;
    }

    /** Writes one stereo sample into the lines and, with mix > 0, replaces it by the chorused mix. */
    void process (double& left, double& right, double mix) noexcept
    {
        lineL[writePos] = left;
        lineR[writePos] = right;

        if (mix > 0.0)
        {
            if (mix != mixFor)
            {
                mixFor = mix;
                dryGain = std::cos (mix * halfPi);
                wetGain = std::sin (mix * halfPi);
            }
            const double phase = twoPi * 0.9 * static_cast<double> (counter) / rate;
            const double s = std::sin (phase);
            const double delayL = (0.0007 + 0.0056 * (s + 1.0) * 0.5) * rate;
            const double delayR = (0.0007 + 0.0056 * (1.0 - s) * 0.5) * rate; // sin(phase + pi) = -sin(phase)
            left = left * dryGain + read (lineL, delayL) * wetGain;
            right = right * dryGain + read (lineR, delayR) * wetGain;
        }

        ++counter;
        if (++writePos == length)
            writePos = 0;
    }

private:
    double read (const std::vector<double>& line, double delay) const noexcept
    {
        return readDelayLine (line.data(), length, writePos, delay);
    }

    double rate = 44100.0;
    std::size_t length = 0;
    std::vector<double> lineL, lineR;
    std::size_t writePos = 0;
    std::uint64_t counter = 0;
    double mixFor = -1.0, dryGain = 1.0, wetGain = 0.0;
};

} // namespace brivola
