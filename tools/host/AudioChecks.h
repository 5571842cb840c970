#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <atomic>
#include <cstdint>
#include <optional>

namespace brivola::host
{

/** A sample that no plug-in may output: not finite, or subnormal. */
struct BadSample
{
    int channel = 0;
    int index = 0;
    float value = 0.0f;
    bool nonFinite = false;
};

/** The first bad sample among the first `numChannels` channels and `numSamples` samples. */
std::optional<BadSample> findBadSample (const juce::AudioBuffer<float>& buffer, int numChannels, int numSamples) noexcept;

/** A one-line description of a bad sample. */
juce::String describe (const BadSample& bad);

/** Peak and energy of everything rendered so far. */
struct LevelMeter
{
    float peak = 0.0f;
    double sumOfSquares = 0.0;
    std::int64_t count = 0;

    /** Adds a block. */
    void add (const juce::AudioBuffer<float>& buffer, int numChannels, int numSamples) noexcept;

    /** Root mean square over all samples added. */
    double rms() const noexcept;
};

/** Level in dBFS, with -inf written as "-inf". */
juce::String toDecibelText (double level);

//==============================================================================
/** A play head for a host that plays from sample 0 at a fixed tempo in 4/4. The renderer moves it
    before each block; JUCE's VST3 hosting reads it inside processBlock. */
class FixedTempoPlayHead final : public juce::AudioPlayHead
{
public:
    FixedTempoPlayHead (double sampleRateIn, double bpmIn) : sampleRate (sampleRateIn), bpm (bpmIn) {}

    /** Sets the position of the next block's first sample. */
    void moveTo (std::int64_t sample) noexcept { position.store (sample); }

    /** Sets the sample rate used to turn the position into seconds and beats. */
    void setSampleRate (double rate) noexcept { sampleRate.store (rate); }

    juce::Optional<PositionInfo> getPosition() const override;

private:
    std::atomic<double> sampleRate;
    double bpm;
    std::atomic<std::int64_t> position { 0 };
};

} // namespace brivola::host
