#pragma once

#include "dish/Dish.h"
#include "dish/Random.h"
#include "engine/Timbres.h"
#include "engine/WaveTables.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace brivola
{

//==============================================================================
/** Envelope level below which a voice counts as silent: a slot changes owner, and a voice restarts
    from fresh phases, only below it. */
inline constexpr double voiceSilenceLevel = 0.001;

/** Detune of a cell in cents at full depth, from its id: (2u - 1) x 25. */
constexpr double cellDetuneCents (std::int32_t id) noexcept
{
    const auto i = static_cast<std::uint32_t> (id);
    return (2.0 * hash01 ((i * 7u + 11u) ^ goldenHashKey) - 1.0) * 25.0;
}

/** Start phase of a cell's oscillators in radians, from its id. */
constexpr double cellStartPhase (std::int32_t id) noexcept
{
    const auto i = static_cast<std::uint32_t> (id);
    return hash01 ((i * 31u + 13u) ^ goldenHashKey) * twoPi;
}

/** Position in [0, 1) where a cell's pluck noise starts reading, from its id. */
constexpr double cellNoisePosition (std::int32_t id) noexcept
{
    const auto i = static_cast<std::uint32_t> (id);
    return hash01 ((i * 23u + 7u) ^ goldenHashKey);
}

/** Level of a started voice in dB from the active cell count, its cell's mass and the velocity. */
double voiceLevelDb (unsigned activeCells, double mass, double velocity) noexcept;

//==============================================================================
/** One step of an oscillator phase in radians: 2 pi is subtracted once when it exceeds 2 pi. */
inline void advanceWavePhase (double& phase, double increment) noexcept
{
    phase += increment;
    if (phase > twoPi)
    {
        phase -= twoPi;
        if (phase > twoPi) // only for frequencies above the sample rate
            phase -= std::floor (phase / twoPi) * twoPi;
    }
}

/** A wavetable oscillator: a table set, the table of its current level, a phase in radians, a fixed
    phase offset at which it reads, and a gain. */
struct WaveOscillator
{
    const WaveTableSet* set = nullptr;
    const double* table = silentWaveTable; // the current level's table (silent when there is no set)
    std::uint32_t length = 64;
    std::uint32_t mask = 63;       // length - 1
    double lengthValue = 64.0;     // length as a double
    double scale = 64.0 / twoPi;   // length / (2 pi)
    int level = 0;
    double frequency = 0.0;
    double increment = 0.0; // radians per sample
    double phase = 0.0;
    double offset = 0.0;
    double gain = 1.0;

    /** Stores the frequency, its semitone level and table, and the phase increment. */
    void setFrequency (double f, double sampleRate) noexcept;

    /** The table read at the current phase (without the gain). */
    double read() const noexcept { return readWaveTable (table, mask, lengthValue, scale, phase, offset); }

    /** Advances the phase by one sample, keeping it within [0, 2 pi]. */
    void advance() noexcept { advanceWavePhase (phase, increment); }
};

/** One plucked string: a delay line of power-of-two size, its write position and the state of the
    one-pole low-pass that filters its excitation. */
struct PluckString
{
    std::vector<double> line;
    std::uint32_t mask = 0;
    std::uint32_t write = 0;
    double state = 0.0;
};

/** Linear attack, decay, sustain and release segments in amplitude. */
struct VoiceEnvelope
{
    double attack = 0.01;
    double release = 0.1;
    double decay = 1.0;
    double releaseTarget = 0.00001;
    double peak = 1.0;
    double sustain = 1.0;
    double start = 0.00001;
    double time = 0.0; // seconds since the stage started
    double releaseStartTime = 0.0;
    double releaseStartLevel = 0.0;
    bool holding = false; // attack/decay/sustain stage; false = release stage
    bool releaseAfterAttack = false;

    /** Level at time t (seconds since the stage started). */
    double levelAt (double t) const noexcept
    {
        if (holding)
        {
            if (t <= 0.0)
                return start;
            if (t < attack)
                return start + (peak - start) * t / attack;
            if (t < attack + decay)
                return peak + (sustain - peak) * (t - attack) / decay;
            return sustain;
        }
        if (release <= t - releaseStartTime)
            return releaseTarget;
        return releaseStartLevel + (releaseTarget - releaseStartLevel) * (t - releaseStartTime) / release;
    }

    /** Level at the current time. */
    double level() const noexcept { return levelAt (time); }

    /** True in the release stage once the release time has passed. */
    bool finished() const noexcept { return ! holding && release <= time - releaseStartTime; }
};

//==============================================================================
/** The voice's wavefolder: the driven signal folded by a triangle of period 4, scaled back by the
    calibrated output scale and a compensation gain; bypassed while the fold amount is 0. */
struct Wavefolder
{
    double driveBase = 1.0;
    double driveSlope = 0.0;
    double outputScale = 1.0;
    double compensationRange = 0.0; // dB
    double compensationGain = 1.0;
    double amount = 0.0; // 0..1

    /** Folds one sample. For small inputs the output is the input times the compensation gain. */
    double process (double x) const noexcept
    {
        if (! (amount > 0.0))
            return x;
        x *= driveBase + amount * driveSlope;
        const double y = (x < -1.0 ? -1.0 : (x > 1.0 ? 1.0 : x)) * 16.0 + 1.0;
        // y lies in [-15, 17], so this is exactly fmod (y, 4)
        double r = y - 4.0 * static_cast<double> (static_cast<std::int64_t> (y * 0.25));
        if (r < 0.0)
            r += 4.0;
        r -= 1.0;
        const double z = r <= 1.0 ? r : 2.0 - r;
        return z * 0.0625 * outputScale * compensationGain;
    }
};

/** The voice's vibrato: a delay line read back with linear interpolation at a delay that swings
    sinusoidally between 0 and 5 ms (scaled by the depth around 2.5 ms). The line's storage belongs to
    the voice. */
struct VibratoDelay
{
    double* line = nullptr;
    std::size_t size = 0;
    std::size_t write = 0;
    std::uint64_t counter = 0;
    double rate = 0.0;  // Hz
    double depth = 0.0; // 0..1
    double sampleRate = 44100.0;

    /** Zeroes the line, its write position and its counter. */
    void reset() noexcept
    {
        for (std::size_t i = 0; i < size; ++i)
            line[i] = 0.0;
        write = 0;
        counter = 0;
    }

    /** Writes x and returns the delayed sample. */
    double process (double x) noexcept
    {
        return processWithSine (x, std::sin (twoPi * static_cast<double> (counter) * rate / sampleRate));
    }

    /** As process, with the sine of the current vibrato phase supplied by the caller. */
    double processWithSine (double x, double sine) noexcept
    {
        if (size == 0)
            return x;
        line[write] = x;
        const double sr = sampleRate;
        double delay = (depth * 0.5 * sine + 0.5) * 0.005 * sr;
        if (! (delay > 0.0))
            delay = 0.0;
        double pos = static_cast<double> (write) - delay;
        if (pos < 0.0)
            pos += static_cast<double> (size);
        const auto whole = static_cast<std::size_t> (pos); // pos >= 0: truncation is the floor
        const double frac = pos - static_cast<double> (whole);
        const std::size_t i0 = whole < size ? whole : whole - size;
        const std::size_t i1 = i0 + 1 < size ? i0 + 1 : 0;
        const double out = line[i0] + (line[i1] - line[i0]) * frac;
        write = write + 1 < size ? write + 1 : 0;
        ++counter;
        return out;
    }
};

/** Sines of the vibrato phase for a run of samples without a library call per sample: the sine and
    cosine at the run's first sample, rotated by precomputed steps of the vibrato rate (the angle-sum
    identity), which matches the direct sine to within a few units in the last place. */
struct VibratoSines
{
    static constexpr int maxRun = 64;

    /** Fills out[0..count) (count <= 64) with sin (2 pi (counter + k) rate / sample rate). */
    void fill (const VibratoDelay& v, double* out, int count) noexcept
    {
        if (v.depth == 0.0) // the sine is multiplied by the depth: nothing to compute
        {
            for (int k = 0; k < count; ++k)
                out[k] = 0.0;
            return;
        }
        if (v.rate != rate || v.sampleRate != sampleRate)
        {
            rate = v.rate;
            sampleRate = v.sampleRate;
            const double step = twoPi * rate / sampleRate;
            for (int k = 0; k < maxRun; ++k)
            {
                stepCos[static_cast<std::size_t> (k)] = std::cos (k * step);
                stepSin[static_cast<std::size_t> (k)] = std::sin (k * step);
            }
        }
        const double angle = twoPi * static_cast<double> (v.counter) * v.rate / v.sampleRate;
        const double s0 = std::sin (angle);
        const double c0 = std::cos (angle);
        for (int k = 0; k < count; ++k)
            out[k] = s0 * stepCos[static_cast<std::size_t> (k)] + c0 * stepSin[static_cast<std::size_t> (k)];
    }

    double rate = -1.0;
    double sampleRate = -1.0;
    std::array<double, maxRun> stepCos {};
    std::array<double, maxRun> stepSin {};
};

/** The voice's low-pass: one biquad (Q = 1.0839269) in direct form I. */
struct LowPassBiquad
{
    double b0 = 1.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
    double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;

    /** Low-pass coefficients for a cutoff in Hz; the state is kept. */
    void setCutoff (double cutoff, double sampleRate) noexcept;

    /** Zeroes the two input and two output states. */
    void reset() noexcept { x1 = x2 = y1 = y2 = 0.0; }

    /** Filters one sample. */
    double process (double x) noexcept
    {
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }

    /** Sets states too small to matter to zero, so a decay ends in exact zeros instead of denormals;
        call at least once per 64 samples. */
    void flushState() noexcept
    {
        const auto flush = [] (double& v) {
            if (std::abs (v) < 1.0e-30)
                v = 0.0;
        };
        flush (x1);
        flush (x2);
        flush (y1);
        flush (y2);
    }
};

//==============================================================================
/** One voice: the oscillator of its timbre's synthesis type, a wavefolder, a vibrato delay line and a
    low-pass biquad, shaped by a linear envelope and panned with constant-power gains. The engine keeps
    one per dish slot and one per one-shot slot; all buffers are sized by the engine's prepare. */
struct EngineVoice
{
    EngineVoice() = default;
    EngineVoice (const EngineVoice&) = delete; // its vibrato points into its own storage
    EngineVoice& operator= (const EngineVoice&) = delete;

    // Shared resources, set by the engine's prepare
    double sampleRate = 44100.0;
    const WaveTableBundle* bundle = nullptr;
    const double* noise1 = nullptr; // pink-noise tables of the pluck excitation
    const double* noise2 = nullptr;
    std::size_t noiseLength = 0;

    // Ownership
    const Timbre* timbre = nullptr; // none = the voice is free
    std::int32_t cellId = -1;
    TimbreSelectors selectors {};
    int row = 0;
    int column = 0;
    double frequency = 261.63;

    // Oscillators: unison uses oscCount of them; FM uses 0 = carrier, 1 = modulator; pulse uses
    // 0 = plain and 1 = shifted sawtooth; additive uses 0.
    std::array<WaveOscillator, 4> osc {};
    int oscCount = 0;
    double outputGain = 1.0;
    double modulatorRatio = 0.0;
    double deviationScale = 0.0; // f x modulation index

    // Pluck
    std::array<PluckString, 2> strings {};
    double damping = 0.0;
    double feedback = 0.0;
    std::uint32_t loopLength = 0;
    std::size_t noiseStart = 0;
    std::uint64_t burstStart = 0;
    std::uint64_t burstEnd = 0;
    std::uint64_t burstCounter = 0;

    double attackMultiplier = 1.0;

    Wavefolder fold {};
    std::vector<double> vibratoBuffer; // storage of vibrato.line
    VibratoDelay vibrato {};
    VibratoSines vibratoSines {};
    LowPassBiquad lowPass {};

    VoiceEnvelope envelope {};
    double panLeft = 0.7071067811865476;
    double panRight = 0.7071067811865476;
    bool sounding = false;
    double peak = 0.0; // largest absolute enveloped output since the meters last took it
};

//==============================================================================
// Setting up a voice (message thread or audio thread; nothing here allocates)

/** Sizes the voice's vibrato line and pluck lines for a sample rate (allocates; call from prepare). */
void allocateVoiceBuffers (EngineVoice& voice, double sampleRate);

/** Envelope back to the values of a new voice, phases, lines and filter states to zero, fold amount 0,
    compensation gain 1, not sounding. Keeps the timbre, the cell id and the filter coefficients. */
void clearVoice (EngineVoice& voice) noexcept;

/** Clears the voice and drops its timbre: free, cell id -1. */
void freeVoice (EngineVoice& voice) noexcept;

/** Configures a voice for a timbre's selectors and a cell id at frequency f: timbre, vibrato, attack
    multiplier, fold calibration, oscillators of the timbre's type, start phases. */
void configureVoice (EngineVoice& voice, TimbreSelectors selectors, std::int32_t cellId, double f) noexcept;

/** Configures a voice from a cell (its id and its three selectors) at frequency f. */
void configureVoice (EngineVoice& voice, const Cell& cell, double f) noexcept;

/** Retunes a voice: every oscillator's frequency and level, or the pluck loop length. */
void setVoiceFrequency (EngineVoice& voice, double f) noexcept;

/** Restarts a pluck voice's noise burst: 5 ms from now, lasting the timbre's burst length in periods of
    the voice's current frequency. */
void exciteString (EngineVoice& voice) noexcept;

/** Sets every oscillator's phase to the cell's start phase. */
void startPhase (EngineVoice& voice) noexcept;

/** Clears the vibrato line, the pluck lines and filters and the low-pass state for a fresh start. */
void clearVoiceLines (EngineVoice& voice) noexcept;

/** Release from the current level with the release time set at start (attack/decay/sustain stage only). */
void releaseVoice (EngineVoice& voice) noexcept;

/** Release from the current level in 8 ms (never less than one sample), in either stage. */
void fastReleaseVoice (EngineVoice& voice) noexcept;

//==============================================================================
// Per-sample work (audio thread)

namespace detail
{
/** Flushes values too small to matter to zero, so decaying loops end in exact zeros. */
inline double flushTiny (double v) noexcept { return std::abs (v) < 1.0e-30 ? 0.0 : v; }

inline double unisonSample (EngineVoice& v) noexcept
{
    double sum = 0.0;
    for (int j = 0; j < v.oscCount; ++j)
    {
        auto& o = v.osc[static_cast<std::size_t> (j)];
        sum += o.read() * o.gain;
        o.advance();
    }
    return sum;
}

inline double fmSample (EngineVoice& v) noexcept
{
    auto& carrier = v.osc[0];
    auto& modulator = v.osc[1];
    const double m = modulator.read();
    const double c = carrier.read();
    double p = carrier.phase + (v.frequency + m * v.deviationScale) * twoPi / v.sampleRate;
    if (p >= twoPi || p < 0.0)
    {
        p -= std::floor (p / twoPi) * twoPi;
        if (p >= twoPi)
            p = 0.0;
    }
    carrier.phase = p;
    modulator.advance();
    return c * v.outputGain;
}

inline double pulseSample (EngineVoice& v) noexcept
{
    auto& a = v.osc[0];
    auto& b = v.osc[1];
    const double sa = a.read() * a.gain;
    const double sb = b.read() * b.gain;
    a.advance();
    b.advance();
    return (sb - sa) * v.outputGain;
}

inline double additiveSample (EngineVoice& v) noexcept
{
    auto& o = v.osc[0];
    const double s = o.read() * o.gain;
    o.advance();
    return s;
}

inline double pluckSample (EngineVoice& v) noexcept
{
    const std::uint64_t k = v.burstCounter++;
    double x1 = 0.0, x2 = 0.0;
    if (k >= v.burstStart && k < v.burstEnd && v.noiseLength > 0)
    {
        const std::size_t index = static_cast<std::size_t> ((k + v.noiseStart - v.burstStart) % v.noiseLength);
        x1 = v.noise1[index];
        x2 = v.noise2[index];
    }
    const double c = v.damping;
    double out[2];
    const double in[2] = { x1, x2 };
    for (std::size_t s = 0; s < 2; ++s)
    {
        auto& str = v.strings[s];
        const double y = flushTiny (c * in[s] + (1.0 - c) * str.state);
        str.state = y;
        out[s] = str.line[(str.write - v.loopLength) & str.mask];
        str.write = (str.write + 1) & str.mask;
        str.line[str.write] = flushTiny (v.feedback * out[s] + y);
    }
    return (out[0] + out[1]) * 0.5 * v.outputGain;
}
} // namespace detail

/** One sample of the voice's raw tone, by its timbre's synthesis type (0 for a free voice). */
inline double oscillatorSample (EngineVoice& v) noexcept
{
    if (v.timbre == nullptr)
        return 0.0;
    switch (v.timbre->type)
    {
        case TimbreType::unison: return detail::unisonSample (v);
        case TimbreType::frequencyModulation: return detail::fmSample (v);
        case TimbreType::pulse: return detail::pulseSample (v);
        case TimbreType::additive: return detail::additiveSample (v);
        case TimbreType::pluck: return detail::pluckSample (v);
    }
    return 0.0;
}

/** One un-enveloped voice sample: oscillator, wavefolder, vibrato, low-pass (with the vibrato's sine
    computed directly; the engine's block rendering uses VibratoSines instead). */
inline double voiceSample (EngineVoice& v) noexcept
{
    double x = oscillatorSample (v);
    x = v.fold.process (x);
    x = v.vibrato.process (x);
    x = v.lowPass.process (x);
    v.lowPass.flushState();
    return x;
}

/** The chain after the oscillator for a run of at most 64 samples, in place: wavefolder, vibrato and
    low-pass, working on local copies of their states. */
inline void processVoiceChain (EngineVoice& v, double* samples, int count) noexcept
{
    double sines[VibratoSines::maxRun];
    v.vibratoSines.fill (v.vibrato, sines, count);
    const Wavefolder fold = v.fold;
    VibratoDelay vibrato = v.vibrato;
    LowPassBiquad lowPass = v.lowPass;
    for (int s = 0; s < count; ++s)
    {
        double x = fold.process (samples[s]);
        x = vibrato.processWithSine (x, sines[s]);
        samples[s] = lowPass.process (x);
    }
    lowPass.flushState();
    v.vibrato = vibrato;
    v.lowPass = lowPass;
}

} // namespace brivola
