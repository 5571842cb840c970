#include "engine/effects/Saturator.h"

#include <numbers>

namespace brivola
{

const std::array<double, Saturator::numTaps>& Saturator::taps() noexcept
{
    static const std::array<double, numTaps> h = [] {
        std::array<double, numTaps> t {};
        const double pi = std::numbers::pi;
        double sum = 0.0;
        for (std::size_t i = 0; i < numTaps; ++i)
        {
            const double n = static_cast<double> (i);
            const double window = 0.42 - 0.5 * std::cos (2.0 * pi * n / 63.0) + 0.08 * std::cos (4.0 * pi * n / 63.0);
            const double m = n - 31.5;
            t[i] = window * std::sin (m * pi / 4.0) / (m * pi);
            sum += t[i];
        }
        for (auto& v : t)
            v /= sum;
        return t;
    }();
    return h;
}

void Saturator::build (double k) noexcept
{
    const double pi = std::numbers::pi;
    for (std::size_t i = 0; i < tableSize; ++i)
    {
        const double x = static_cast<double> (i) / static_cast<double> (tableSize - 1) * 2.0 - 1.0;
        table[i] = std::abs (x) < 0.001 ? 0.0
                                         : x * (3.0 + 100.0 * k) * 20.0 * pi / 180.0 / (100.0 * k * std::abs (x) + pi);
    }
    builtFor = k;
}

} // namespace brivola
