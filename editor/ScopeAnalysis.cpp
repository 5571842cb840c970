#include "editor/ScopeAnalysis.h"

#include <algorithm>
#include <cmath>

namespace brivola
{

namespace
{
constexpr std::size_t ringSize = OutputCapture::scopeSize;

std::size_t ringIndex (std::uint64_t end, std::size_t back, std::size_t j) noexcept
{
    // Sample j of the `back` newest samples before `end`.
    return static_cast<std::size_t> ((end + ringSize - back + j) % ringSize);
}

bool ringSilent (const OutputCapture& capture) noexcept
{
    const auto w = capture.scopeWritePosition() % ringSize;
    for (std::size_t n = 0; n < ScopeAnalysis::fftSize; ++n)
        if (capture.scopeSample (ringIndex (w, ScopeAnalysis::fftSize, n)) != 0.0f)
            return false;
    return true;
}
} // namespace

//==============================================================================
ScopeAnalysis::ScopeAnalysis()
{
    (void) window();
}

const std::array<double, ScopeAnalysis::fftSize>& ScopeAnalysis::window() noexcept
{
    static const auto table = []
    {
        std::array<double, fftSize> w {};
        const double d = static_cast<double> (fftSize - 1);
        for (std::size_t n = 0; n < fftSize; ++n)
        {
            const double x = static_cast<double> (n);
            w[n] = 0.42 - 0.5 * std::cos (2.0 * M_PI * x / d) + 0.08 * std::cos (4.0 * M_PI * x / d);
        }
        return w;
    }();
    return table;
}

std::array<ScopeAnalysis::Band, ScopeAnalysis::numBands> ScopeAnalysis::buildBands (double sampleRate) noexcept
{
    std::array<Band, numBands> table {};
    const double binWidth = sampleRate / static_cast<double> (fftSize);
    for (std::size_t b = 0; b < numBands; ++b)
    {
        const double f0 = 50.0 * std::pow (320.0, static_cast<double> (b) / 32.0);
        const double f1 = 50.0 * std::pow (320.0, static_cast<double> (b + 1) / 32.0);
        // Limited before converting, so that no rate turns the edges into out-of-range integers.
        const auto toBin = [] (double v) { return std::isfinite (v) ? static_cast<std::uint64_t> (std::clamp (v, 0.0, 1.0e18)) : std::uint64_t {}; };
        auto firstBin = toBin (std::floor (f0 / binWidth));
        auto endBin = toBin (std::ceil (f1 / binWidth));
        endBin = std::max (endBin, firstBin + 1);
        endBin = std::min<std::uint64_t> (endBin, numBins);
        table[b] = { firstBin, endBin };
    }
    return table;
}

void ScopeAnalysis::analyse (const OutputCapture& capture, std::array<float, waveSize>& wave,
                             std::array<float, numBands>& bars) noexcept
{
    const auto prepare = capture.prepareCount();
    if (prepare != seenPrepare)
    {
        smoothed.fill (0.0);
        seenPrepare = prepare;
    }

    const auto w = capture.scopeWritePosition() % ringSize;

    std::array<float, copySize> s;
    for (std::size_t j = 0; j < copySize; ++j)
        s[j] = capture.scopeSample (ringIndex (w, copySize, j));

    std::size_t k = 0;
    for (std::size_t j = 1; j < waveSize; ++j)
        if (s[j - 1] <= 0.0f && s[j] > 0.0f)
        {
            k = j;
            break;
        }

    for (std::size_t i = 0; i < waveSize; ++i)
    {
        const float v = s[k + i];
        wave[i] = std::isfinite (v) ? std::clamp (v, -1.0f, 1.0f) : 0.0f;
    }

    const auto& win = window();
    auto* data = fft.data();
    for (std::size_t n = 0; n < fftSize; ++n)
    {
        const double v = static_cast<double> (capture.scopeSample (ringIndex (w, fftSize, n)));
        data[n] = { std::isfinite (v) ? v * win[n] : 0.0, 0.0 };
    }
    fft.forward();

    for (std::size_t m = 0; m < numBins; ++m)
        smoothed[m] = 0.5 * smoothed[m] + 0.5 * std::abs (data[m]) / static_cast<double> (fftSize);

    if (bandsBuiltFor != seenPrepare)
    {
        bands = buildBands (capture.preparedSampleRate());
        bandsBuiltFor = seenPrepare;
    }

    for (std::size_t b = 0; b < numBands; ++b)
    {
        double peak = 0.0;
        for (auto m = bands[b].first; m < bands[b].end; ++m)
            peak = std::max (peak, smoothed[m]);
        const double p = peak + 1.0e-30;
        bars[b] = static_cast<float> (std::clamp ((20.0 * std::log10 (p) + 70.0) / 70.0, 0.0, 1.0));
    }
}

//==============================================================================
float roundScopeValue (float value) noexcept
{
    return std::round (value * 1000.0f) / 1000.0f;
}

ScopeOutcome scopeTick (ScopeView& view, ScopeAnalysis& analysis, const OutputCapture& capture) noexcept
{
    if (! capture.captureEnabled())
    {
        view.phase = false;
        view.silent = false;
        view.idleSent = false;
        return ScopeOutcome::nothing;
    }

    const bool wasSet = view.phase;
    view.phase = ! view.phase;
    if (wasSet)
        return ScopeOutcome::nothing;

    if (view.silent && ringSilent (capture))
    {
        if (view.idleSent)
            return ScopeOutcome::nothing;
        view.idleSent = true;
        return ScopeOutcome::idle;
    }

    view.idleSent = false;
    analysis.analyse (capture, view.wave, view.bars);

    view.silent = std::all_of (view.wave.begin(), view.wave.end(), [] (float v) { return v == 0.0f; })
               && std::all_of (view.bars.begin(), view.bars.end(), [] (float v) { return v == 0.0f; });
    return ScopeOutcome::picture;
}

} // namespace brivola
