#include "AudioChecks.h"

#include <cmath>

namespace brivola::host
{

std::optional<BadSample> findBadSample (const juce::AudioBuffer<float>& buffer, int numChannels, int numSamples) noexcept
{
    const auto channels = juce::jmin (numChannels, buffer.getNumChannels());
    const auto samples = juce::jmin (numSamples, buffer.getNumSamples());

    for (int ch = 0; ch < channels; ++ch)
    {
        const auto* data = buffer.getReadPointer (ch);

        for (int i = 0; i < samples; ++i)
        {
            const auto kind = std::fpclassify (data[i]);

            if (kind == FP_NAN || kind == FP_INFINITE || kind == FP_SUBNORMAL)
                return BadSample { ch, i, data[i], kind != FP_SUBNORMAL };
        }
    }

    return std::nullopt;
}

juce::String describe (const BadSample& bad)
{
    const auto kind = bad.nonFinite ? juce::String ("non-finite") : juce::String ("subnormal");
    return kind + " sample " + juce::String (bad.value, 10) + " at channel " + juce::String (bad.channel)
         + ", sample " + juce::String (bad.index) + " of the block";
}

void LevelMeter::add (const juce::AudioBuffer<float>& buffer, int numChannels, int numSamples) noexcept
{
    const auto channels = juce::jmin (numChannels, buffer.getNumChannels());

    for (int ch = 0; ch < channels; ++ch)
    {
        const auto* data = buffer.getReadPointer (ch);

        for (int i = 0; i < numSamples; ++i)
        {
            const auto v = data[i];
            peak = juce::jmax (peak, std::abs (v));
            sumOfSquares += (double) v * (double) v;
        }
    }

    count += (std::int64_t) channels * numSamples;
}

double LevelMeter::rms() const noexcept
{
    return count > 0 ? std::sqrt (sumOfSquares / (double) count) : 0.0;
}

juce::String toDecibelText (double level)
{
    if (level <= 0.0)
        return "-inf";

    return juce::String (20.0 * std::log10 (level), 2);
}

juce::Optional<juce::AudioPlayHead::PositionInfo> FixedTempoPlayHead::getPosition() const
{
    const auto rate = sampleRate.load();
    const auto sample = position.load();
    const auto seconds = rate > 0.0 ? (double) sample / rate : 0.0;
    const auto beats = seconds * bpm / 60.0;

    PositionInfo info;
    info.setTimeInSamples (sample);
    info.setTimeInSeconds (seconds);
    info.setBpm (bpm);
    info.setTimeSignature (TimeSignature { 4, 4 });
    info.setPpqPosition (beats);
    info.setPpqPositionOfLastBarStart (std::floor (beats / 4.0) * 4.0);
    info.setBarCount ((juce::int64) std::floor (beats / 4.0));
    info.setIsPlaying (true);
    info.setIsRecording (false);
    info.setIsLooping (false);
    return info;
}

} // namespace brivola::host
