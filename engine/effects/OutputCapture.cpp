#include "engine/effects/OutputCapture.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace brivola
{

void OutputCapture::prepare (double rate) noexcept
{
    for (auto& s : scope)
        s.store (0.0f, std::memory_order_relaxed);
    writePosition.store (0, std::memory_order_release);
    sampleRate.store (rate, std::memory_order_relaxed);
    prepareCounter.fetch_add (1, std::memory_order_acq_rel);
}

void OutputCapture::captureScope (const double* left, const double* right, std::size_t numSamples) noexcept
{
    if (! captureOn.load (std::memory_order_relaxed))
        return;

    std::uint64_t pos = writePosition.load (std::memory_order_relaxed);
    for (std::size_t i = 0; i < numSamples; ++i)
    {
        scope[pos].store (static_cast<float> ((left[i] + right[i]) * 0.5), std::memory_order_relaxed);
        pos = (pos + 1) % scopeSize;
    }
    writePosition.store (pos, std::memory_order_release);
}

void OutputCapture::updateVoiceMeters (std::span<const double, voiceSlots> peaks, std::span<const std::int32_t, voiceSlots> cellIds,
                                       int activeCellCount) noexcept
{
    const double scale = std::sqrt (static_cast<double> (std::max (activeCellCount, 1)));
    for (std::size_t i = 0; i < voiceSlots; ++i)
    {
        ids[i].store (cellIds[i], std::memory_order_relaxed);

        const double level = peaks[i] * scale;
        const float value = std::isfinite (level) ? static_cast<float> (std::min (level, double (std::numeric_limits<float>::max()))) : 0.0f;
        float seen = meters[i].load (std::memory_order_relaxed);
        while (value > seen && ! meters[i].compare_exchange_weak (seen, value, std::memory_order_relaxed))
        {
        }
    }
}

} // namespace brivola
