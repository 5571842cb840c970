#pragma once

#include "dish/Dish.h"
#include "engine/EngineVoice.h"
#include "engine/SoundParams.h"
#include "engine/VoiceKernels.h"
#include "engine/WaveTables.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace brivola
{

/** The 24 cell slots an engine follows, slot i feeding voice i. */
using DishCells = std::array<Cell, dishCapacity>;

/** Envelope times in seconds and the sustain drop in dB that the "attack" parameter selects. */
struct EnvelopeSettings
{
    double attack = 0.002;
    double release = 1.6;
    double decay = 2.8;
    double sustainDrop = 7.0;
};

/** Envelope settings for an "attack" value in [0, 1]: 0 a long-ringing pluck, 0.4 short blips, 1 slow
    swells. */
EnvelopeSettings envelopeSettingsFor (double attack) noexcept;

/** A chime: a sine carrier whose frequency a triangle at three times the pitch modulates with a fast
    decaying depth, under a short swell-and-decay level. */
struct PingVoice
{
    double frequency = 0.0;
    double carrierPhase = 0.0;   // cycles
    double modulatorPhase = 0.0; // cycles
    double time = 0.0;
    double level = 0.0;
    double releaseStart = 0.0;
    double releaseStartLevel = 0.0;
    bool released = false;
    bool active = false;
};

/** A species audition: a voice with its own fixed attack-decay (or hold) level and pan. */
struct OneShotVoice
{
    EngineVoice voice {};
    double time = 0.0;
    double attack = 0.0;
    double releaseStart = -1.0; // -1 = not released
    double releaseLevel = 1.0;
    double panLeft = 0.70710678;
    double panRight = 0.70710678;
    bool longHold = false;
    bool active = false;
};

//==============================================================================
/** One synth engine: 24 voices that follow the 24 cells of a dish (timbre, detune, pan, brightness,
    level, fold), all sounding at one base pitch set by notes, plus two one-shot voices for species
    auditions and 32 FM chime voices for dish events.

    Threading: every operation runs on the audio thread, or on the message thread under the
    processor's callback lock. `prepare` allocates (wavetables, delay lines, noise tables) and may throw
    std::bad_alloc, leaving the engine unprepared (silent) but intact; nothing else allocates, locks or
    throws.

    Buffers: `render` and `renderOneShotsAndPings` take two caller-owned channel pointers (left, right)
    of at least numSamples doubles each; `render` overwrites them, `renderOneShotsAndPings` adds.

    A processor drives it like this:
    - prepare(rate) when preparing, then updateFromDish(cells, false), gateOff() and releaseAll();
    - applyParams(snapshot) once per block and right before every note start;
    - render(left + offset, right + offset, n) for every sub-block (cut at MIDI events and dish ticks);
    - after a batch of dish ticks: updateFromDish(cells, false), then firePing(events of the batch);
    - once per chunk: renderOneShotsAndPings into a cleared auxiliary buffer when chimesActive(), and
      advancePingClock(chunk length) in any case;
    - notes: noteOn(cells, legato, Hz, velocity); the last note's end: gateOff() and releaseAll();
    - reset() from the processor's reset and releaseResources. */
class SynthEngine
{
public:
    static constexpr int numVoices = dishCapacity;
    static constexpr int numOneShots = 2;
    static constexpr int numPings = 32;
    static constexpr double defaultBaseFrequency = 261.63;

    SynthEngine() = default;
    SynthEngine (const SynthEngine&) = delete;
    SynthEngine& operator= (const SynthEngine&) = delete;

    //==========================================================================
    /** Obtains the wavetable bundle for the sample rate (an invalid rate counts as 44100), sizes every
        delay line, makes the pluck noise tables, resets the low-passes and the ping generator, then
        resets the engine. Voices keep their cells. Message thread; allocates. */
    void prepare (double sampleRate);

    /** Gate off, base pitch 261.63 Hz, bend 1, modulation 0, velocity 1; every voice silenced and
        cleared (voices keep their cells and are retuned), one-shots and pings stopped. */
    void reset() noexcept;

    /** Takes the envelope mapping ("attack"), the detune depth ("detune") and the pan spread ("width")
        from a parameter snapshot; the new envelope reaches a voice at its next start. Does nothing when
        the sanitised values equal the ones applied last. */
    void applyParams (const SoundParams& params) noexcept;

    /** Starts a note at `frequency` Hz: sets the base pitch (gliding over 50 ms when legato), opens the
        gate and starts every live cell's voice. A slot whose voice still sounds for another cell is
        fast-released instead and taken over by a later dish update. */
    void noteOn (const DishCells& cells, bool legato, double frequency, double velocity) noexcept;

    /** Follows the dish, once per tick batch: glides the base pitch, assigns, retunes, releases and
        frees voices, and sets pan, low-pass, vibrato and fold amount from each cell. With `immediate`
        the fold amounts jump to their targets instead of being smoothed. */
    void updateFromDish (const DishCells& cells, bool immediate) noexcept;

    /** Closes the gate: newly arriving cells stay silent until the next note. */
    void gateOff() noexcept;

    /** Normal release of every voice in its attack/decay/sustain stage; clears every voice's
        release-after-attack flag. */
    void releaseAll() noexcept;

    /** 8 ms release of every voice, from wherever it is. */
    void releaseAllFast() noexcept;

    /** For a preview released at once: every holding voice still in its attack releases when the attack
        ends; every other holding voice releases now. */
    void releaseEachAfterAttack() noexcept;

    /** Frees every slot voice (no cell, silent) and sets the active cell count to 0. */
    void freeVoices() noexcept;

    /** Pitch-bend factor (a frequency ratio); retunes every assigned voice. */
    void setBend (double factor) noexcept;

    /** Modulation depth 0..1, added to every voice's vibrato depth (limited to 1). */
    void setModulation (double depth) noexcept;

    //==========================================================================
    /** How render computes the slot voices: side by side in vector registers (the instruction set is
        chosen at run time), or one voice after the other in scalar code, the reference. Both give
        the same samples. `automatic` renders side by side when the CPU's vector registers hold at
        least four doubles (AVX2, AVX-512): with two (SSE4, SSSE3) the kernels measured slower than the
        scalar code, whose table reads need no gathers. */
    enum class RenderPath
    {
        automatic,
        vector,
        scalar
    };

    /** Chooses the render path (automatic unless told otherwise). */
    void setRenderPath (RenderPath newPath) noexcept { path = newPath; }
    RenderPath renderPath() const noexcept { return path; }

    /** Writes numSamples samples of the 24 slot voices into left and right (zeros when none sounds or
        before prepare). Audio thread. */
    void render (double* left, double* right, int numSamples) noexcept;

    /** True when some slot voice sounds and is holding or not yet through its release. */
    bool anySounding() const noexcept;

    /** Starts at most one chime for a batch of ticks that reported `eventCount` dish events, unless the
        last one started less than 0.06 s ago. */
    void firePing (std::uint64_t eventCount) noexcept;

    /** Advances the time since the last chime by a chunk's duration; call once per rendered chunk. */
    void advancePingClock (int numSamples) noexcept;

    /** True while a one-shot or a chime is active, i.e. renderOneShotsAndPings has something to add. */
    bool chimesActive() const noexcept;

    /** Adds numSamples samples of the one-shot and chime voices into left and right. Audio thread. */
    void renderOneShotsAndPings (double* left, double* right, int numSamples) noexcept;

    /** Starts a species audition on the next of the two one-shot slots (alternately) at a pan in
        -1..1, after releasing any one-shot that is still before its release. */
    void startOneShot (TimbreSelectors selectors, double pan) noexcept;

    /** Releases every active one-shot that has not started its release (80 ms fade). */
    void releaseOneShots() noexcept;

    //==========================================================================
    /** The largest absolute enveloped output of a slot voice since the last call; resets it to 0. */
    double takeVoicePeak (int slot) noexcept;

    /** Cell id a slot voice plays, -1 when free. */
    std::int32_t voiceCellId (int slot) const noexcept;

    /** Live cells counted at the last dish update or note. */
    unsigned activeCellCount() const noexcept { return activeCount; }

    bool isPrepared() const noexcept { return prepared; }
    double getSampleRate() const noexcept { return sampleRate; }
    bool gateIsOn() const noexcept { return gate; }
    double currentBaseFrequency() const noexcept { return baseCurrent; }
    double targetBaseFrequency() const noexcept { return baseTarget; }
    double glideRemaining() const noexcept { return glideTime; }
    double bendFactor() const noexcept { return bend; }
    double modulationDepth() const noexcept { return modulation; }
    double detuneDepth() const noexcept { return detune; }
    double panSpread() const noexcept { return spread; }
    const EnvelopeSettings& envelopeSettings() const noexcept { return envelopeSet; }
    const std::shared_ptr<const WaveTableBundle>& waveTables() const noexcept { return bundle; }
    const EngineVoice& voice (int slot) const noexcept { return voices[static_cast<std::size_t> (slot)]; }
    const OneShotVoice& oneShot (int index) const noexcept { return oneShots[static_cast<std::size_t> (index)]; }
    const PingVoice& ping (int index) const noexcept { return pings[static_cast<std::size_t> (index)]; }
    int pingWriteIndex() const noexcept { return pingWrite; }
    double timeSinceLastPing() const noexcept { return sinceLastPing; }
    std::uint64_t pingCount() const noexcept { return pingCounter; }
    const std::vector<double>& pinkNoise (int table) const noexcept { return table == 0 ? noiseA : noiseB; }

    /** Frequency of a cell's voice at the current base pitch, bend and detune depth. */
    double cellFrequency (std::int32_t cellId) const noexcept;

private:
    void renderSideBySide (std::array<EngineVoice*, numVoices>& sounding, int count, double* left, double* right, int numSamples) noexcept;
    void startVoice (EngineVoice& v, double levelDb, double mass, bool legato) noexcept;
    void renderPings (double* left, double* right, int numSamples) noexcept;
    void renderOneShot (OneShotVoice& o, double* left, double* right, int numSamples) noexcept;
    static double oneShotLevel (const OneShotVoice& o) noexcept;

    double sampleRate = 44100.0;
    bool prepared = false;
    std::array<EngineVoice, numVoices> voices {};
    std::array<OneShotVoice, numOneShots> oneShots {};
    int nextOneShot = 0;
    std::array<PingVoice, numPings> pings {};
    int pingWrite = 0;
    double sinceLastPing = 0.06;
    std::uint64_t pingCounter = 0;
    std::uint32_t pingRandomState = 0x21D961CAu;
    std::array<double, 5> pingRandom { 0.6270739405881613, 0.002735721180215478, 0.5274470399599522, 0.9810509674716741,
                                       0.9683778982143849 };
    EnvelopeSettings envelopeSet {};
    SoundParams applied {};
    bool appliedValid = false;
    double baseCurrent = defaultBaseFrequency;
    double baseTarget = defaultBaseFrequency;
    double glideTime = 0.0;
    double detune = 0.0;
    double spread = 1.0;
    double velocity = 1.0;
    double bend = 1.0;
    double modulation = 0.0;
    unsigned activeCount = 0;
    bool gate = false;
    std::shared_ptr<const WaveTableBundle> bundle;
    RenderPath path = RenderPath::automatic;
    // Work buffers of the vector path: one block per pass, and per slot its run's envelope levels and
    // its output when it takes the scalar path.
    std::array<VoiceGroupBlock, numVoices> groupBlocks {};
    std::array<std::array<double, voiceRunLength>, numVoices> runLevels {};
    std::array<std::array<double, voiceRunLength>, numVoices> singleOutput {};
    std::vector<double> noiseA;
    std::vector<double> noiseB;
};

/** Fills two pink-noise tables of floor(5 x sample rate) samples each from one xorshift64* generator
    (state 1) through the same pinking filter, the second table continuing the first. */
void makePinkNoiseTables (double sampleRate, std::vector<double>& first, std::vector<double>& second);

} // namespace brivola
