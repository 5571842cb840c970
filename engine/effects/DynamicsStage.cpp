#include "engine/effects/DynamicsStage.h"

#include <algorithm>
#include <limits>

namespace brivola
{

void DynamicsStage::prepare (const DynamicsSettings& s, double sampleRate) noexcept
{
    settings = s;
    threshold = std::pow (10.0, s.thresholdDb / 20.0);
    kneeEndDb = s.thresholdDb + s.kneeDb;
    kneeEnd = std::pow (10.0, kneeEndDb / 20.0);
    slope = 1.0 / s.ratio;

    // Geometric bisection for λ: the knee's dB slope at g, measured between g and 1.001 g, must
    // match 1 / ratio. A larger λ flattens the knee sooner.
    double lower = 0.1;
    double upper = 10000.0;
    double lam = 5.0;
    const double dbStep = 20.0 * std::log10 (1.001 * kneeEnd) - 20.0 * std::log10 (kneeEnd);
    for (int i = 0; i < 15; ++i)
    {
        const double rise = 20.0 * std::log10 (kneeCurve (1.001 * kneeEnd, lam)) - 20.0 * std::log10 (kneeCurve (kneeEnd, lam));
        if (rise / dbStep < slope)
            upper = lam;
        else
            lower = lam;
        lam = std::sqrt (lower * upper);
    }
    lambda = lam;
    kneeEndOutDb = 20.0 * std::log10 (kneeCurve (kneeEnd, lambda));

    makeup = std::pow (10.0, s.makeupDb / 20.0) * std::pow (1.0 / staticCurve (1.0), 0.6);
    mix = s.mix;
    attackLength = std::max (s.attackSeconds, 0.001) * sampleRate;
    const double speedBase = 0.0025 * sampleRate;
    riseScale = std::log (10.0) / (20.0 * speedBase);
    unityRise = std::pow (10.0, (2.0 / speedBase) / 20.0) - 1.0;
    releaseScale = s.releaseSeconds * sampleRate;
    lookAhead = std::min<std::size_t> (samplesFor (s.lookAheadSeconds, sampleRate), ringSize - 1);
    reset();
}

void DynamicsStage::reset() noexcept
{
    ringL.fill (0.0);
    ringR.fill (0.0);
    writePos = 0;
    counter = 0;
    // The envelope starts at 1 (no reduction) to match the gain position 1. Starting it at 0 would
    // pull the gain position to 0 on the first update, and the multiplicative release can never
    // lift it from there: the stage would stay silent for good.
    env = 1.0;
    position = 1.0;
    hold = -1.0;
    target = 1.0;
    coefficient = 0.0;
    rising = false;
    gainFor = -1.0;
}

double DynamicsStage::staticCurve (double d) const noexcept
{
    if (d < threshold)
        return d;
    if (d <= kneeEnd)
        return kneeCurve (d, lambda);
    return std::pow (10.0, ((20.0 * std::log10 (d) - kneeEndDb) * slope + kneeEndOutDb) / 20.0);
}

void DynamicsStage::updateCoefficient() noexcept
{
    if (! std::isfinite (env))
        env = 1.0;
    if (! std::isfinite (position))
        position = 1.0;
    if (! std::isfinite (hold))
        hold = -1.0;

    target = std::asin (std::min (env, 1.0)) / halfPi;
    double q = std::numeric_limits<double>::infinity();
    if (target > 0.0)
    {
        const double r = position / target;
        q = r > 0.0 ? 20.0 * std::log10 (r) : -1000.0;
    }

    if (position < target)
    {
        // Gain must rise: a multiplicative step of 5 dB per P(h) samples, faster far below target.
        rising = true;
        hold = -1.0;
        const double h = (std::clamp (q, -12.0, 0.0) + 12.0) / 4.0;
        coefficient = std::pow (10.0, (5.0 / releaseSamples (h)) / 20.0);
    }
    else
    {
        rising = false;
        hold = std::max (std::max (hold, q), 0.5);
        coefficient = 1.0 - std::pow (0.25 / hold, 1.0 / attackLength);
    }
}

} // namespace brivola
