#include "engine/effects/ReverbResponse.h"

#include <cmath>

namespace brivola
{

std::size_t reverbResponseLength (double sampleRate) noexcept
{
    return static_cast<std::size_t> (std::floor (8.02 * sampleRate));
}

double reverbEnvelope (double t) noexcept
{
    if (t < 0.02)
        return 0.0;
    if (t < 7.22)
        return std::exp (-(t - 0.02) / 0.41470233384070704);
    if (t < 8.02)
        return 2.882996072074561e-8 * (8.02 - t) / 0.8;
    return 0.0;
}

ReverbResponse makeReverbResponse (double sampleRate)
{
    const std::size_t n = reverbResponseLength (sampleRate);
    ReverbResponse r;
    r.left.resize (n);
    r.right.resize (n);

    XorShift64 noise;
    double energy = 0.0;
    for (std::size_t j = 0; j < n; ++j)
    {
        const double v = reverbEnvelope (static_cast<double> (j) / sampleRate);
        const double u1 = noise.next();
        const double u2 = noise.next();
        const double u3 = noise.next();
        const double u4 = noise.next();
        r.left[j] = static_cast<float> (((2.0 * u1 - 1.0) + (2.0 * u2 - 1.0)) * 0.5 * v);
        r.right[j] = static_cast<float> (((2.0 * u3 - 1.0) + (2.0 * u4 - 1.0)) * 0.5 * v);
        energy += r.left[j] * r.left[j] + r.right[j] * r.right[j];
    }

    double scale = 1.0;
    if (energy > 0.0)
        scale = 0.0012589254117941675 / std::sqrt (energy / (2.0 * static_cast<double> (n)));
    scale *= 44100.0 / sampleRate;

    for (std::size_t j = 0; j < n; ++j)
    {
        r.left[j] *= scale;
        r.right[j] *= scale;
    }
    return r;
}

} // namespace brivola
