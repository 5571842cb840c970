#pragma once

#include "engine/effects/DspHelpers.h"

#include <array>
#include <cmath>
#include <cstddef>

namespace brivola
{

/** Settings of one dynamics stage: threshold and knee width in dB, ratio, attack, release and
    look-ahead in seconds, makeup in dB and the wet mix. */
struct DynamicsSettings
{
    double thresholdDb = 0.0;
    double kneeDb = 0.0;
    double ratio = 1.0;
    double attackSeconds = 0.0;
    double releaseSeconds = 0.0;
    double lookAheadSeconds = 0.0;
    double makeupDb = 0.0;
    double mix = 1.0;
};

/** The glue compressor inside the chain. */
inline constexpr DynamicsSettings glueDynamics { -20.0, 10.0, 4.0, 0.01, 0.25, 0.006, -0.6, 1.0 };
/** The bus compressor at the output. */
inline constexpr DynamicsSettings busDynamics { -6.0, 6.0, 12.0, 0.003, 0.12, 0.006, 0.0, 1.0 };
/** The limiter at the output. */
inline constexpr DynamicsSettings limiterDynamics { -1.0, 30.0, 20.0, 0.003, 0.01, 0.006, 0.0, 1.0 };

/** A stereo-linked look-ahead compressor.

    Static curve: unity below the threshold e, an exponential knee e + (1 - exp(-λ(d - e))) / λ up to
    the knee end g (λ found by geometric bisection so the knee's dB slope at g matches 1 / ratio),
    then a straight line of slope 1 / ratio in dB. The gain-reduction envelope follows the curve's
    gain at once when it must fall and rises at a speed that grows with the reduction. A smoothed
    gain position s follows the envelope (through the arcsine) with a hold-dependent attack and a
    release curve P(h), both recomputed every 32 samples; the output gain is sin(s π/2) times the
    auto makeup, applied to the input delayed by the look-ahead. */
class DynamicsStage
{
public:
    static constexpr std::size_t ringSize = 1024;
    static constexpr std::size_t updateInterval = 32;

    /** Computes the curve, λ, makeup, time constants and look-ahead, then resets. */
    void prepare (const DynamicsSettings& settings, double sampleRate) noexcept;

    /** Clears the look-ahead rings and returns envelope, gain position and hold to their start. */
    void reset() noexcept;

    /** The static curve y(d) for a peak d. */
    double staticCurve (double d) const noexcept;

    /** The knee constant λ from the bisection. */
    double kneeLambda() const noexcept { return lambda; }

    /** The auto makeup gain 10^(M/20) × (1 / y(1))^0.6. */
    double autoMakeup() const noexcept { return makeup; }

    /** The look-ahead in samples. */
    std::size_t lookAheadSamples() const noexcept { return lookAhead; }

    /** The release curve P(h) in samples. */
    double releaseSamples (double h) const noexcept
    {
        return releaseScale * (0.09 + h * (0.0059887502 + h * (0.0504095134 + h * (0.0126554169 + h * 0.0009463194))));
    }

    /** Processes one stereo sample in place. */
    void process (double& left, double& right) noexcept
    {
        if (counter == 0)
            updateCoefficient();
        counter = (counter + 1) % updateInterval;

        const double l = finiteOrZero (left);
        const double r = finiteOrZero (right);
        ringL[writePos] = l;
        ringR[writePos] = r;

        const double d = std::max (std::abs (l), std::abs (r));
        if (d <= 0.0001 || d < threshold)
        {
            // y(d) = d: ratio 1, reduction 0 dB, so x = 2 dB and the rise factor is constant.
            if (env < 1.0)
                env += (1.0 - env) * unityRise;
            else
                env = 1.0;
        }
        else
        {
            double ratio = 0.0;
            double reductionDb = 0.0;
            if (d <= kneeEnd)
            {
                ratio = (threshold + (1.0 - std::exp (-lambda * (d - threshold))) / lambda) / d;
                reductionDb = -20.0 * std::log10 (ratio);
            }
            else
            {
                // In dB: y = (20 log10 d - (T + K)) / Q + Y_g, so the gain is linear in 20 log10 d.
                const double inDb = 20.0 * std::log10 (d);
                reductionDb = inDb - ((inDb - kneeEndDb) * slope + kneeEndOutDb);
                ratio = std::pow (10.0, -reductionDb / 20.0);
            }

            if (env < ratio)
            {
                const double x = std::max (reductionDb, 2.0);
                env += (ratio - env) * (std::exp (x * riseScale) - 1.0);
            }
            else
            {
                env = ratio;
            }
        }
        env = std::min (env, 1.0);

        if (rising)
            position = std::min (position * coefficient, 1.0);
        else
            position += (target - position) * coefficient;

        if (position != gainFor)
        {
            gainFor = position;
            gain = makeup * mix * std::sin (position * halfPi) + 1.0 - mix;
        }
        const std::size_t readPos = (writePos + ringSize - lookAhead) % ringSize;
        left = ringL[readPos] * gain;
        right = ringR[readPos] * gain;
        writePos = (writePos + 1) % ringSize;
    }

private:
    double kneeCurve (double d, double lam) const noexcept { return threshold + (1.0 - std::exp (-lam * (d - threshold))) / lam; }
    void updateCoefficient() noexcept;

    DynamicsSettings settings {};
    double threshold = 1.0;    // e
    double kneeEnd = 1.0;      // g
    double kneeEndDb = 0.0;    // T + K
    double kneeEndOutDb = 0.0; // Y_g
    double slope = 1.0;
    double lambda = 5.0;
    double makeup = 1.0;
    double mix = 1.0;
    double attackLength = 1.0;
    double riseScale = 0.0; // ln(10) / (20 × envelope speed base): exp(x × riseScale) = 10^((x / base) / 20)
    double unityRise = 0.0; // 10^((2 / base) / 20) - 1
    double releaseScale = 0.0;
    std::size_t lookAhead = 0;

    double env = 1.0;
    double position = 1.0;
    double hold = -1.0;
    double target = 1.0;
    double coefficient = 0.0;
    bool rising = false;
    std::size_t counter = 0;
    double gainFor = -1.0; // the position `gain` was computed for
    double gain = 0.0;
    std::array<double, ringSize> ringL {};
    std::array<double, ringSize> ringR {};
    std::size_t writePos = 0;
};

} // namespace brivola
