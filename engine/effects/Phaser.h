#pragma once

#include "engine/effects/Biquad.h"
#include "engine/effects/DspHelpers.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace brivola
{

/** Stereo phaser: per channel ten all-pass biquads (Q = 8) in series at one centre frequency that a
    0.3 Hz sine sweeps from 350 Hz to 2800 Hz, the right channel in opposite phase to the left. The
    output is the all-pass chain alone; the caller adds it to the dry signal. */
class Phaser
{
public:
    static constexpr std::size_t numStages = 10;

    /** Stores the rate and resets. */
    void prepare (double sampleRate) noexcept
    {
        rate = sampleRate;
        maxFrequency = 0.45 * sampleRate;
        reset();
    }

    /** Clears the filter states and the LFO counter. */
    void reset() noexcept
    {
        for (auto& s : stagesL)
            s.reset();
        for (auto& s : stagesR)
            s.reset();
        counter = 0;
    }

    /** The all-pass coefficients at `frequency` (b0 = a2, b1 = a1, b2 = 1). */
    static BiquadCoefficients allPassCoefficients (double frequency, double sampleRate) noexcept
    {
        const double w = twoPi * frequency / sampleRate;
        const double alpha = std::sin (w) * 0.0625;
        const double b0 = (1.0 - alpha) / (1.0 + alpha);
        const double b1 = -2.0 * std::cos (w) / (1.0 + alpha);
        return { b0, b1, 1.0, b1, b0 };
    }

    /** Runs both channels' all-pass chains for one sample. */
    void process (double inL, double inR, double& outL, double& outR) noexcept
    {
        const double theta = twoPi * 0.3 * static_cast<double> (counter) / rate;
        ++counter;
        const double s = std::sin (theta);
        // Above 0.45 × rate (only at rates below 6222 Hz) the sweep is held there so the
        // all-passes stay stable.
        const double fL = std::min (350.0 + (s + 1.0) * 0.5 * (2800.0 - 350.0), maxFrequency);
        const double fR = std::min (350.0 + (1.0 - s) * 0.5 * (2800.0 - 350.0), maxFrequency);
        const auto cL = allPassCoefficients (fL, rate);
        const auto cR = allPassCoefficients (fR, rate);
        for (auto& st : stagesL)
            inL = st.process (inL, cL);
        for (auto& st : stagesR)
            inR = st.process (inR, cR);
        outL = inL;
        outR = inR;
    }

private:
    double rate = 44100.0;
    double maxFrequency = 19845.0;
    std::array<Biquad, numStages> stagesL {};
    std::array<Biquad, numStages> stagesR {};
    std::uint64_t counter = 0;
};

} // namespace brivola
