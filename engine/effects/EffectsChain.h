#pragma once

#include "engine/SoundParams.h"
#include "engine/effects/Biquad.h"
#include "engine/effects/Chorus.h"
#include "engine/effects/Convolver.h"
#include "engine/effects/DynamicsStage.h"
#include "engine/effects/FeedbackDelay.h"
#include "engine/effects/GrainShifter.h"
#include "engine/effects/Phaser.h"
#include "engine/effects/Ramp.h"
#include "engine/effects/ReverbResponse.h"
#include "engine/effects/Saturator.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace brivola
{

/** Everything the chain derives from one parameter snapshot: filter settings and ramp targets. */
struct EffectsTargets
{
    double lowPassCutoff = 16000.0; // Hz
    double lowPassQ = 1.0;
    double saturationMix = 0.0;
    double saturationSteepness = 0.0;
    double chorusMix = 0.0;
    double phaserAmount = 0.0;
    double delaySend = 0.0;
    double delayFeedback = 0.0;
    double formantGainDb = 0.0; // the two peaks; the shelf gets the negative
    double width = 0.5;
    double reverbSend = 0.0;
    double subAmount = 0.0;
    double shimmerAmount = 0.0;
    double loudnessDb = 0.0;
    double loudnessGain = 1.0;
};

/** The attack shape s2 of the voice envelopes: 1 at attack 0, 0 at 0.4, 1 at 1 (smoothstep legs). */
double attackReleaseShape (double attack) noexcept;

/** Maps a (sanitised) snapshot to the chain's settings at `sampleRate`. */
EffectsTargets effectsTargets (const SoundParams& params, double sampleRate) noexcept;

/** The effects that can be switched off entirely. */
enum class SwitchableEffect
{
    sub,
    shimmer,
    delay,
    phaser
};

/** The current (ramped) values of the chain's smoothed amounts. */
struct EffectsLevels
{
    double chorusMix, saturationMixL, saturationMixR, phaserAmount, delaySendL, delaySendR,
        delayFeedbackL, delayFeedbackR, loudnessGain, width, reverbSend, subAmount, shimmerAmount;
};

/** The stereo effects after the voice engines, in processing order: chorus, two-stage resonant
    low-pass, 4× oversampled saturation, glue compressor, formant equaliser, loudness
    compensation, width, then the switchable sub and shimmer pitch layers, phaser and echo, a
    partitioned-convolution reverb with an 8.02 s generated response, the chime voices, bus
    compressor, limiter and a tanh soft clip that keeps the output at or below -1 dBFS.

    prepare (message thread) allocates; configure, process and reset allocate nothing and take no
    lock. The chain sleeps (costs a scan of its input) after its tail of silence and wakes on the
    first non-zero input sample. Latency: each of the three look-ahead dynamics stages delays by
    floor(0.006 × rate) samples, so the voices reach the output 3 × that late (864 samples at
    48 kHz) and the chimes 2 × that; the reverb adds no delay of its own. */
class EffectsChain
{
public:
    static constexpr std::size_t convolutionBlock = Convolver::blockSize;

    EffectsChain();

    /** Sizes every line and buffer, generates the impulse response and loads the convolvers (only
        when the rate changed), then resets. An invalid rate (non-finite, below 1000 or above
        384000 Hz) means 44100. `maxBlock` is accepted for symmetry; any chunk length works.
        Throws std::bad_alloc when memory runs out; the chain then outputs silence until a later
        prepare succeeds. */
    void prepare (double sampleRate, int maxBlock);

    /** Clears every line, filter, convolution state and counter and re-applies the stored
        parameters (their ramps start from their targets). */
    void reset() noexcept;

    /** Applies a parameter snapshot; does nothing when all twelve values equal the applied ones. */
    void configure (const SoundParams& params) noexcept;

    /** Processes numSamples in place in left/right, mixing in the chime buffers (either may be
        null) before the output dynamics. */
    void process (double* left, double* right, const double* chimeLeft, const double* chimeRight, std::size_t numSamples) noexcept;

    //==============================================================================
    /** The rate the chain was prepared for (44100 before the first prepare). */
    double sampleRate() const noexcept { return rate; }
    /** The applied (sanitised) parameters. */
    const SoundParams& appliedParams() const noexcept { return applied; }
    /** True while the chain sleeps. */
    bool isAsleep() const noexcept { return asleep; }
    /** True while a switchable effect is processed (switched on, or in its tail). */
    bool isActive (SwitchableEffect e) const noexcept { return switches[static_cast<std::size_t> (e)].active; }
    /** True while the reverb's convolvers run (false once its input was silent for the tail). */
    bool isReverbRunning() const noexcept { return ! reverbCleared; }
    /** How often a non-finite internal value has reset the chain. */
    std::uint32_t faultResetCount() const noexcept { return faultResets; }
    /** Samples of silent input after which the chain may sleep: response + 1 s + 8192. */
    std::size_t tailLengthSamples() const noexcept { return tailLength; }
    /** The tail of a switchable effect after it is switched off, in samples. */
    std::size_t effectTailSamples (SwitchableEffect e) const noexcept { return switches[static_cast<std::size_t> (e)].tailLength; }
    /** The generated impulse response. */
    const ReverbResponse& reverbResponse() const noexcept { return response; }
    /** The current values of the smoothed amounts. */
    EffectsLevels levels() const noexcept;
    /** The master low-pass and formant coefficients in use. */
    const BiquadCoefficients& lowPassCoefficientsInUse() const noexcept { return lowPass; }
    const std::array<BiquadCoefficients, 3>& formantCoefficientsInUse() const noexcept { return formant; }

private:
    struct Switch
    {
        bool active = false;
        bool wasOn = false;
        std::size_t tail = 0;
        std::size_t tailLength = 0;
    };

    void apply (const SoundParams& params, bool force) noexcept;
    void updateSwitch (SwitchableEffect e, double value) noexcept;
    void clearEffect (SwitchableEffect e) noexcept;
    void countDownTails (std::size_t n) noexcept;
    void processSlice (double* left, double* right, const double* chimeLeft, const double* chimeRight, std::size_t n, double& outputPeak) noexcept;

    double rate = 44100.0;
    bool prepared = false;
    SoundParams applied {};
    bool appliedValid = false;

    Ramp chorusMix, saturationMixL, saturationMixR, phaserAmount, delaySendL, delaySendR, delayFeedbackL,
        delayFeedbackR, loudness, width, reverbSend, subAmount, shimmerAmount;

    Chorus chorus;
    BiquadCoefficients lowPass {};
    std::array<Biquad, 2> lowPassL {}, lowPassR {};
    Saturator saturatorL, saturatorR;
    double satMixForL = -1.0, satWetL = 0.0, satDryL = 1.0;
    double satMixForR = -1.0, satWetR = 0.0, satDryR = 1.0;
    DynamicsStage glue, bus, limiter;
    std::array<BiquadCoefficients, 3> formant {};
    std::array<Biquad, 3> formantL {}, formantR {};
    GrainSweep subSweep, shimmerSweep;
    GrainShifter subL, subR, shimmerL, shimmerR;
    BiquadCoefficients shimmerLowPass {};
    Biquad shimmerLowPassL {}, shimmerLowPassR {};
    Phaser phaser;
    FeedbackDelay delayL, delayR;
    ReverbResponse response;
    Convolver reverbL, reverbR;
    double reverbRate = 0.0;
    std::size_t reverbSilent = 0;
    bool reverbCleared = false;

    std::array<Switch, 4> switches {};
    std::size_t blockPosition = 0;
    std::size_t silentInput = 0;
    std::size_t tailLength = 0;
    bool asleep = false;
    bool fault = false;
    std::uint32_t faultResets = 0;

    std::array<double, convolutionBlock> dryL {}, dryR {}, sendL {}, sendR {}, wetL {}, wetR {};
};

} // namespace brivola
