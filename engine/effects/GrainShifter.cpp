#include "engine/effects/GrainShifter.h"

#include "engine/dsp/Fft.h"

#include <algorithm>

namespace brivola
{

namespace
{
// Sums amplitude[k] × sin(kθ) over the table by one inverse real FFT (bin k = -i × amplitude × N / 2),
// then scales the result to a peak of 1.
std::array<double, grainTableSize> sineSeries (double (*amplitude) (std::size_t k))
{
    constexpr std::size_t n = grainTableSize;
    Fft fft (n, Fft::Kind::real);
    auto* bins = fft.spectrum();
    for (std::size_t k = 0; k <= n / 2; ++k)
        bins[k] = { 0.0, k == 0 || k == n / 2 ? 0.0 : -amplitude (k) * static_cast<double> (n) / 2.0 };
    // Bin n/2 is sin(πj), zero at every table index, so the last harmonic adds nothing.
    fft.inverse();

    std::array<double, n> table {};
    double peak = 0.0;
    for (std::size_t j = 0; j < n; ++j)
    {
        table[j] = fft.real()[j];
        peak = std::max (peak, std::abs (table[j]));
    }
    for (auto& v : table)
        v /= peak;
    return table;
}
} // namespace

const std::array<double, grainTableSize>& grainSawTable()
{
    static const auto table = sineSeries ([] (std::size_t k) { return (k % 2 == 1 ? 1.0 : -1.0) / static_cast<double> (k); });
    return table;
}

const std::array<double, grainTableSize>& grainTriangleTable()
{
    static const auto table = sineSeries ([] (std::size_t k) {
        if (k % 2 == 0)
            return 0.0;
        const double sign = (k / 2) % 2 == 0 ? 1.0 : -1.0; // k = 1, 3, 5, ...: +, -, +
        return sign / (static_cast<double> (k) * static_cast<double> (k));
    });
    return table;
}

} // namespace brivola
