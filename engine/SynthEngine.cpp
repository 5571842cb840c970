#include "engine/SynthEngine.h"

#include "engine/VoiceKernels.h"

#include <algorithm>
#include <cmath>

namespace brivola
{

namespace
{
constexpr double pi = 3.141592653589793;

double smoothstep (double u) noexcept
{
    u = std::clamp (u, 0.0, 1.0);
    return u * u * (3.0 - 2.0 * u);
}

unsigned countLive (const DishCells& cells) noexcept
{
    unsigned n = 0;
    for (const auto& c : cells)
        if (isLive (c))
            ++n;
    return n;
}

double validSampleRate (double sampleRate) noexcept
{
    return std::isfinite (sampleRate) && sampleRate >= 1000.0 && sampleRate <= 384000.0 ? sampleRate : 44100.0;
}

/** Constant-power pan gains for a position in -1..1 (NaN counts as the centre). */
void panGains (double p, double& left, double& right) noexcept
{
    p = std::isnan (p) ? 0.0 : std::clamp (p, -1.0, 1.0);
    const double theta = (p + 1.0) * pi / 4.0;
    left = std::cos (theta);
    right = std::sin (theta);
}

/** Raw oscillator output of a unison voice of N oscillators for a run of samples; the oscillators
    are stepped together and added in their order. */
template <int N>
void unisonBlock (EngineVoice& v, double* out, int count) noexcept
{
    // The oscillators' fields as separate arrays: the reads of one sample then run side by side.
    double phase[N], increment[N], offset[N], scale[N], length[N], gain[N];
    const double* table[N];
    std::uint32_t mask[N];
    for (int j = 0; j < N; ++j)
    {
        const auto& o = v.osc[static_cast<std::size_t> (j)];
        phase[j] = o.phase;
        increment[j] = o.increment;
        offset[j] = o.offset;
        scale[j] = o.scale;
        length[j] = o.lengthValue;
        gain[j] = o.gain;
        table[j] = o.table;
        mask[j] = o.mask;
    }
    for (int s = 0; s < count; ++s)
    {
        double r[N];
        for (int j = 0; j < N; ++j)
            r[j] = readWaveTable (table[j], mask[j], length[j], scale[j], phase[j], offset[j]);
        double sum = 0.0;
        for (int j = 0; j < N; ++j)
            sum += r[j] * gain[j];
        out[s] = sum;
        for (int j = 0; j < N; ++j)
            advanceWavePhase (phase[j], increment[j]);
    }
    for (int j = 0; j < N; ++j)
        v.osc[static_cast<std::size_t> (j)].phase = phase[j];
}

void unisonBlock (EngineVoice& v, double* out, int count) noexcept
{
    switch (v.oscCount)
    {
        case 1: unisonBlock<1> (v, out, count); break;
        case 2: unisonBlock<2> (v, out, count); break;
        case 3: unisonBlock<3> (v, out, count); break;
        case 4: unisonBlock<4> (v, out, count); break;
        default: std::fill (out, out + count, 0.0); break;
    }
}

template <TimbreType Type>
void oscillatorBlock (EngineVoice& v, double* out, int count) noexcept
{
    if constexpr (Type == TimbreType::unison)
    {
        unisonBlock (v, out, count);
    }
    else
    {
        for (int s = 0; s < count; ++s)
        {
            if constexpr (Type == TimbreType::frequencyModulation)
                out[s] = detail::fmSample (v);
            else if constexpr (Type == TimbreType::pulse)
                out[s] = detail::pulseSample (v);
            else if constexpr (Type == TimbreType::additive)
                out[s] = detail::additiveSample (v);
            else
                out[s] = detail::pluckSample (v);
        }
    }
}

/** The envelope levels of one run of a voice, at most `wanted` samples. Returns how many samples the
    voice sounds in this run: fewer than `wanted` when its release ends inside the run, which sets
    `finished`. A preview's release-after-attack takes effect at the sample it is due. */
int envelopeRun (EngineVoice& v, double* level, int wanted, bool& finished) noexcept
{
    auto& e = v.envelope;
    const double dt = 1.0 / v.sampleRate;
    finished = false;
    int count = 0;
    for (; count < wanted; ++count)
    {
        if (! e.holding && e.release <= e.time - e.releaseStartTime)
        {
            finished = true;
            break;
        }
        level[count] = e.levelAt (e.time);
        e.time += dt;
        if (e.releaseAfterAttack && e.time >= e.attack)
        {
            e.releaseAfterAttack = false;
            if (e.holding)
                releaseVoice (v);
        }
    }
    return count;
}

/** One run of a voice's raw output (oscillator and chain) on the scalar path. */
void scalarVoiceRun (EngineVoice& v, double* raw, int count) noexcept
{
    switch (v.timbre->type)
    {
        case TimbreType::unison: oscillatorBlock<TimbreType::unison> (v, raw, count); break;
        case TimbreType::frequencyModulation: oscillatorBlock<TimbreType::frequencyModulation> (v, raw, count); break;
        case TimbreType::pulse: oscillatorBlock<TimbreType::pulse> (v, raw, count); break;
        case TimbreType::additive: oscillatorBlock<TimbreType::additive> (v, raw, count); break;
        case TimbreType::pluck: oscillatorBlock<TimbreType::pluck> (v, raw, count); break;
    }
    processVoiceChain (v, raw, count);
}

/** Adds one run of a voice's output times its envelope levels to the sums with its pan gains and raises
    its peak meter. */
void mixRun (EngineVoice& v, const double* raw, const double* level, int count, double* left, double* right) noexcept
{
    const double gl = v.panLeft;
    const double gr = v.panRight;
    double peak = v.peak;
    for (int s = 0; s < count; ++s)
    {
        const double sample = raw[s] * level[s];
        left[s] += sample * gl;
        right[s] += sample * gr;
        const double a = std::abs (sample);
        if (a > peak)
            peak = a;
    }
    v.peak = peak;
}

/** Adds one run of a voice's enveloped samples (sample s at samples[s x stride]) to the sums with its
    pan gains and raises its peak meter. */
void mixSamples (EngineVoice& v, const double* samples, std::size_t stride, int count, double* left, double* right) noexcept
{
    const double gl = v.panLeft;
    const double gr = v.panRight;
    double peak = v.peak;
    for (int s = 0; s < count; ++s)
    {
        const double sample = samples[static_cast<std::size_t> (s) * stride];
        left[s] += sample * gl;
        right[s] += sample * gr;
        const double a = std::abs (sample);
        if (a > peak)
            peak = a;
    }
    v.peak = peak;
}

/** True when a voice's envelope keeps its stage through the next `count` samples and its release does
    not end among them: no release after the attack is pending, and a release has more than the run's
    length (with a margin far beyond the rounding of the summed time) to go. Such a run needs no
    per-sample decisions, so the vector kernels evaluate its envelope. */
bool envelopeRunsThrough (const EngineVoice& v, int count) noexcept
{
    const auto& e = v.envelope;
    if (e.releaseAfterAttack)
        return false;
    if (e.holding)
        return true;
    const double end = e.time + static_cast<double> (count + 1) / v.sampleRate;
    return end - e.releaseStartTime + 1.0e-9 + 1.0e-12 * std::abs (e.time) < e.release;
}

/** The scalar reference: one sounding voice of a known type rendered on its own in runs of up to 64
    samples: first the envelope (which also finds where a finished release stops the voice), then the
    oscillator, then the chain; the enveloped samples are panned into the sums and raise the peak meter. */
template <TimbreType Type>
void renderVoice (EngineVoice& v, double* left, double* right, int numSamples) noexcept
{
    constexpr int run = VibratoSines::maxRun;
    double raw[run];
    double level[run];

    for (int done = 0; done < numSamples;)
    {
        bool finished = false;
        const int count = envelopeRun (v, level, std::min (run, numSamples - done), finished);
        oscillatorBlock<Type> (v, raw, count);
        processVoiceChain (v, raw, count);
        mixRun (v, raw, level, count, left + done, right + done);
        if (finished)
        {
            v.sounding = false;
            break;
        }
        done += count;
    }
}
} // namespace

//==============================================================================
EnvelopeSettings envelopeSettingsFor (double k) noexcept
{
    const double s1 = k > 0.4 ? smoothstep ((k - 0.4) / 0.6) : 0.0;
    const double s2 = k <= 0.4 ? 1.0 - smoothstep (k / 0.4) : smoothstep ((k - 0.4) / 0.6);
    EnvelopeSettings e;
    e.attack = 0.002 * std::pow (300.0, s1);
    e.release = 0.06 * std::pow (26.666666666666668, s2);
    e.decay = 2.8 * std::pow (0.16071428571428573, 1.0 - s2);
    e.sustainDrop = 7.0 + 63.0 * (1.0 - s2);
    return e;
}

void makePinkNoiseTables (double sampleRate, std::vector<double>& first, std::vector<double>& second)
{
    const auto length = static_cast<std::size_t> (std::floor (5.0 * sampleRate));
    std::vector<double> a (length), b (length);

    std::uint64_t state = 1;
    double b0 = 0.0, b1 = 0.0, b2 = 0.0, b3 = 0.0, b4 = 0.0, b5 = 0.0, b6 = 0.0;
    const auto fill = [&] (std::vector<double>& table) {
        for (auto& out : table)
        {
            state ^= state >> 12;
            state ^= state << 25;
            state ^= state >> 27;
            const double value = static_cast<double> ((state * 0x2545F4914F6CDD1Dull) >> 11) * 0x1.0p-53;
            const double w = 2.0 * value - 1.0;
            b0 = 0.99886 * b0 + 0.0555179 * w;
            b1 = 0.99332 * b1 + 0.0750759 * w;
            b2 = 0.969 * b2 + 0.153852 * w;
            b3 = 0.8665 * b3 + 0.3104856 * w;
            b4 = 0.55 * b4 + 0.5329522 * w;
            b5 = -0.7616 * b5 - 0.016898 * w;
            out = (b0 + b1 + b2 + b3 + b4 + b5 + b6 + 0.5362 * w) * 0.11;
            b6 = 0.115926 * w;
        }
    };
    fill (a);
    fill (b);
    first = std::move (a);
    second = std::move (b);
}

//==============================================================================
void SynthEngine::prepare (double newSampleRate)
{
    prepared = false;
    const double sr = validSampleRate (newSampleRate);

    auto newBundle = obtainBundle (sr);
    prepareTimbreGrid();
    (void) voiceKernelLanes(); // the vector kernels pick their instruction set now, off the audio thread
    std::vector<double> newNoiseA, newNoiseB;
    makePinkNoiseTables (sr, newNoiseA, newNoiseB);
    for (auto& v : voices)
        allocateVoiceBuffers (v, sr);
    for (auto& o : oneShots)
        allocateVoiceBuffers (o.voice, sr);

    // From here on nothing allocates.
    sampleRate = sr;
    noiseA = std::move (newNoiseA);
    noiseB = std::move (newNoiseB);
    const double cutoff = std::min (0.45 * sr, 20000.0);
    const auto attach = [&] (EngineVoice& v) {
        v.sampleRate = sr;
        v.bundle = newBundle.get();
        v.noise1 = noiseA.data();
        v.noise2 = noiseB.data();
        v.noiseLength = std::min (noiseA.size(), noiseB.size());
        v.lowPass.setCutoff (cutoff, sr);
    };
    for (auto& v : voices)
    {
        attach (v);
        // Point the oscillators at the new tables before the old bundle may go.
        if (v.timbre != nullptr)
            configureVoice (v, v.selectors, v.cellId, v.frequency);
    }
    for (auto& o : oneShots)
    {
        attach (o.voice);
        freeVoice (o.voice);
    }
    bundle = std::move (newBundle);

    pingRandomState = 0x21D961CAu;
    pingRandom = { 0.6270739405881613, 0.002735721180215478, 0.5274470399599522, 0.9810509674716741, 0.9683778982143849 };
    pingCounter = 0;
    for (auto& p : pings)
        p = PingVoice {};
    pingWrite = 0;
    sinceLastPing = 0.06;

    reset();
    activeCount = 0;
    appliedValid = false;
    prepared = true;
}

void SynthEngine::reset() noexcept
{
    gate = false;
    baseCurrent = baseTarget = defaultBaseFrequency;
    glideTime = 0.0;
    modulation = 0.0;
    velocity = 1.0;
    bend = 1.0;

    for (auto& v : voices)
    {
        clearVoice (v);
        if (v.timbre != nullptr)
        {
            setVoiceFrequency (v, cellFrequency (v.cellId));
            v.vibrato.rate = v.timbre->vibratoRate;
            v.vibrato.depth = v.timbre->vibratoDepth;
        }
    }
    for (auto& o : oneShots)
    {
        clearVoice (o.voice);
        o.active = false;
        o.releaseStart = -1.0;
        o.releaseLevel = 1.0;
        o.time = 0.0;
    }
    for (auto& p : pings)
        p.active = false;
    pingWrite = 0;
    sinceLastPing = 0.06;
}

void SynthEngine::applyParams (const SoundParams& params) noexcept
{
    const SoundParams p = sanitised (params);
    if (appliedValid && sameParams (p, applied))
        return;
    applied = p;
    appliedValid = true;
    envelopeSet = envelopeSettingsFor (p[SoundParams::attack]);
    detune = p[SoundParams::detune];
    spread = 2.5 * p[SoundParams::width] + 1.0;
}

double SynthEngine::cellFrequency (std::int32_t cellId) const noexcept
{
    return baseCurrent * bend * std::pow (2.0, cellDetuneCents (cellId) * detune / 1200.0);
}

//==============================================================================
void SynthEngine::startVoice (EngineVoice& v, double levelDb, double mass, bool legato) noexcept
{
    auto& e = v.envelope;
    const double l = e.level();
    const bool pluck = v.timbre != nullptr && v.timbre->type == TimbreType::pluck;

    if (! legato && l <= voiceSilenceLevel)
    {
        startPhase (v);
        clearVoiceLines (v);
    }

    const double peakLevel = std::pow (10.0, levelDb / 20.0);
    if (pluck)
    {
        e.attack = 0.006;
        e.release = std::max (envelopeSet.release, 0.01);
        e.decay = envelopeSet.decay;
        e.releaseTarget = 0.00001;
        e.peak = peakLevel;
        e.sustain = std::pow (10.0, std::max (levelDb, -90.0) / 20.0);
        e.start = std::max (0.00001, l);
        if (! legato)
            exciteString (v);
    }
    else
    {
        e.attack = legato ? 0.005 * mass + 0.05 : v.attackMultiplier * envelopeSet.attack + 0.01 * mass;
        e.release = std::max (0.05 * mass + envelopeSet.release, 0.01);
        e.decay = envelopeSet.decay;
        e.releaseTarget = 0.00001;
        e.peak = peakLevel;
        e.sustain = (! legato || envelopeSet.sustainDrop >= 24.0) ? std::pow (10.0, std::max (levelDb - envelopeSet.sustainDrop, -90.0) / 20.0)
                                                                   : peakLevel;
        e.start = std::max (0.00001, l);
    }
    e.time = 0.0;
    e.holding = true;
    e.releaseAfterAttack = false;
    v.sounding = true;
}

void SynthEngine::noteOn (const DishCells& cells, bool legato, double frequency, double newVelocity) noexcept
{
    if (! (std::isfinite (frequency) && frequency > 0.0))
        frequency = baseTarget;
    baseTarget = frequency;
    if (legato && baseCurrent > 0.0)
    {
        glideTime = 0.05;
    }
    else
    {
        baseCurrent = baseTarget;
        glideTime = 0.0;
    }

    velocity = std::isnan (newVelocity) ? 1.0 : newVelocity;
    gate = true;
    activeCount = countLive (cells);

    for (std::size_t i = 0; i < voices.size(); ++i)
    {
        const Cell& c = cells[i];
        if (! isLive (c))
            continue;
        EngineVoice& v = voices[i];
        if (v.cellId != c.id || v.timbre == nullptr)
        {
            if (v.envelope.level() > voiceSilenceLevel)
            {
                fastReleaseVoice (v);
                continue;
            }
            configureVoice (v, c, cellFrequency (c.id));
        }
        setVoiceFrequency (v, cellFrequency (c.id));
        startVoice (v, voiceLevelDb (activeCount, c.mass, velocity), c.mass, legato);
    }
}

void SynthEngine::updateFromDish (const DishCells& cells, bool immediate) noexcept
{
    if (glideTime > 0.0)
    {
        const double step = std::min (glideTime, 1.0 / 60.0);
        baseCurrent = baseCurrent * std::pow (baseTarget / baseCurrent, step / glideTime);
        glideTime -= step;
        if (glideTime <= 0.000000001)
        {
            baseCurrent = baseTarget;
            glideTime = 0.0;
        }
    }

    activeCount = countLive (cells);

    for (std::size_t i = 0; i < voices.size(); ++i)
    {
        const Cell& c = cells[i];
        EngineVoice& v = voices[i];

        if (! c.active)
        {
            if (v.timbre != nullptr)
            {
                if (v.envelope.holding)
                    releaseVoice (v);
                // A voice that no longer sounds (its release is over, or it never started) is free.
                if (v.envelope.finished() || ! v.sounding)
                    freeVoice (v);
            }
            continue;
        }

        const double f = cellFrequency (c.id);
        if (v.cellId == c.id && v.timbre != nullptr)
        {
            const TimbreSelectors selectors { c.motif, c.colorGroup, c.colorVariant };
            if (selectors != v.selectors && v.envelope.level() <= voiceSilenceLevel)
                configureVoice (v, c, f);
            setVoiceFrequency (v, f);
        }
        else
        {
            if (v.envelope.level() > voiceSilenceLevel)
            {
                fastReleaseVoice (v);
                continue;
            }
            configureVoice (v, c, f);
            if (gate && ! c.dying)
                startVoice (v, voiceLevelDb (activeCount, c.mass, velocity), c.mass, false);
        }

        panGains (c.x * spread, v.panLeft, v.panRight);

        const double t = c.mass * 3.5 + 4.0;
        const double u = (134.0 - t) / 150.0;
        const double k = u > 0.01 ? t / 150.0 / u + 1.0 : 1.0;
        double brightness = (1.0 - k * c.y) * 0.5;
        brightness = std::isnan (brightness) ? 0.5 : std::clamp (brightness, 0.0, 1.0);
        v.lowPass.setCutoff (std::min (0.45 * sampleRate, 400.0 * std::pow (40.0, brightness)), sampleRate);

        v.vibrato.rate = v.timbre->vibratoRate;
        v.vibrato.depth = std::min (v.timbre->vibratoDepth + modulation, 1.0);

        const double proximity = std::isfinite (c.proximity) ? std::clamp (c.proximity, 0.0, 1.0) : 0.0;
        const double target = c.dying ? 0.0 : proximity;
        if (immediate)
        {
            v.fold.amount = target;
        }
        else
        {
            v.fold.amount = v.fold.amount + (target - v.fold.amount) * 0.12;
            if (v.fold.amount < 0.0001)
                v.fold.amount = 0.0;
        }
        v.fold.compensationGain = std::pow (10.0, -v.fold.amount * v.fold.compensationRange / 20.0);
    }
}

void SynthEngine::gateOff() noexcept { gate = false; }

void SynthEngine::releaseAll() noexcept
{
    for (auto& v : voices)
        releaseVoice (v);
}

void SynthEngine::releaseAllFast() noexcept
{
    for (auto& v : voices)
        if (v.timbre != nullptr)
            fastReleaseVoice (v);
}

void SynthEngine::releaseEachAfterAttack() noexcept
{
    for (auto& v : voices)
    {
        auto& e = v.envelope;
        if (! e.holding)
            continue;
        if (e.time < e.attack)
            e.releaseAfterAttack = true;
        else
            releaseVoice (v);
    }
}

void SynthEngine::freeVoices() noexcept
{
    for (auto& v : voices)
        freeVoice (v);
    activeCount = 0;
}

void SynthEngine::setBend (double factor) noexcept
{
    bend = std::isfinite (factor) && factor > 0.0 ? factor : 1.0;
    for (auto& v : voices)
        if (v.timbre != nullptr)
            setVoiceFrequency (v, cellFrequency (v.cellId));
}

void SynthEngine::setModulation (double depth) noexcept
{
    modulation = std::isnan (depth) ? 0.0 : std::clamp (depth, 0.0, 1.0);
    for (auto& v : voices)
        if (v.timbre != nullptr)
            v.vibrato.depth = std::min (v.timbre->vibratoDepth + modulation, 1.0);
}

//==============================================================================
void SynthEngine::render (double* left, double* right, int numSamples) noexcept
{
    if (numSamples <= 0)
        return;
    std::fill (left, left + numSamples, 0.0);
    std::fill (right, right + numSamples, 0.0);
    if (! prepared)
        return;

    std::array<EngineVoice*, numVoices> sounding {};
    int count = 0;
    for (auto& v : voices)
        if (v.sounding && v.timbre != nullptr)
            sounding[static_cast<std::size_t> (count++)] = &v;

    if (path == RenderPath::vector || (path == RenderPath::automatic && voiceKernelLanes() >= 4))
    {
        renderSideBySide (sounding, count, left, right, numSamples);
        return;
    }

    for (int i = 0; i < count; ++i)
    {
        EngineVoice& v = *sounding[static_cast<std::size_t> (i)];
        switch (v.timbre->type)
        {
            case TimbreType::unison: renderVoice<TimbreType::unison> (v, left, right, numSamples); break;
            case TimbreType::frequencyModulation: renderVoice<TimbreType::frequencyModulation> (v, left, right, numSamples); break;
            case TimbreType::pulse: renderVoice<TimbreType::pulse> (v, left, right, numSamples); break;
            case TimbreType::additive: renderVoice<TimbreType::additive> (v, left, right, numSamples); break;
            case TimbreType::pluck: renderVoice<TimbreType::pluck> (v, left, right, numSamples); break;
        }
    }
}

void SynthEngine::renderSideBySide (std::array<EngineVoice*, numVoices>& sounding, int count, double* left, double* right, int numSamples) noexcept
{
    constexpr int typeCount = 5;
    const int width = std::clamp (voiceKernelLanes(), 1, maxVoiceLanes);

    for (int done = 0; done < numSamples && count > 0;)
    {
        const int wanted = std::min (voiceRunLength, numSamples - done);

        // A voice whose envelope runs through the whole run joins the voices of its synthesis type,
        // which render side by side, envelope included. The others (a release ending inside the run, a
        // preview's release due after the attack) take the scalar path for this run.
        std::array<std::array<int, numVoices>, typeCount> byType {};
        std::array<int, typeCount> ofType {};
        std::array<int, numVoices> runCount {};
        std::array<bool, numVoices> finished {};
        std::array<const double*, numVoices> output {};
        std::array<std::size_t, numVoices> stride {};
        for (int i = 0; i < count; ++i)
        {
            const auto n = static_cast<std::size_t> (i); // position in the list of sounding voices
            EngineVoice& v = *sounding[n];
            if (v.vibrato.size > 0 && envelopeRunsThrough (v, wanted))
            {
                runCount[n] = wanted;
                const auto t = static_cast<std::size_t> (v.timbre->type);
                byType[t][static_cast<std::size_t> (ofType[t]++)] = i;
            }
            else
            {
                bool ends = false;
                double* samples = singleOutput[n].data();
                const double* level = runLevels[n].data();
                runCount[n] = envelopeRun (v, runLevels[n].data(), wanted, ends);
                finished[n] = ends;
                scalarVoiceRun (v, samples, runCount[n]);
                for (int s = 0; s < runCount[n]; ++s)
                    samples[s] = samples[s] * level[s];
                output[n] = samples;
                stride[n] = 1;
            }
        }

        // Unison voices with most oscillators first, so that voices of equal stacks share a pass.
        auto& unison = byType[static_cast<std::size_t> (TimbreType::unison)];
        const int unisonCount = ofType[static_cast<std::size_t> (TimbreType::unison)];
        for (int a = 1; a < unisonCount; ++a)
            for (int b = a; b > 0 && sounding[static_cast<std::size_t> (unison[static_cast<std::size_t> (b - 1)])]->oscCount
                                         < sounding[static_cast<std::size_t> (unison[static_cast<std::size_t> (b)])]->oscCount;
                 --b)
                std::swap (unison[static_cast<std::size_t> (b - 1)], unison[static_cast<std::size_t> (b)]);

        std::size_t block = 0;
        for (std::size_t t = 0; t < typeCount; ++t)
        {
            for (int first = 0; first < ofType[t]; first += width)
            {
                const int lanes = std::min (width, ofType[t] - first);
                std::array<EngineVoice*, maxVoiceLanes> group {};
                for (int k = 0; k < lanes; ++k)
                    group[static_cast<std::size_t> (k)] = sounding[static_cast<std::size_t> (byType[t][static_cast<std::size_t> (first + k)])];
                renderVoiceGroup (group.data(), lanes, wanted, groupBlocks[block]);
                for (int k = 0; k < lanes; ++k)
                {
                    const auto n = static_cast<std::size_t> (byType[t][static_cast<std::size_t> (first + k)]);
                    output[n] = groupBlocks[block].data() + k;
                    stride[n] = maxVoiceLanes;
                }
                ++block;
            }
        }

        // The sums in slot order, as the scalar path adds them.
        int kept = 0;
        for (int i = 0; i < count; ++i)
        {
            const auto n = static_cast<std::size_t> (i); // position in the list of sounding voices
            EngineVoice& v = *sounding[n];
            mixSamples (v, output[n], stride[n], runCount[n], left + done, right + done);
            if (finished[n])
                v.sounding = false;
            else
                sounding[static_cast<std::size_t> (kept++)] = &v;
        }
        count = kept;
        done += wanted;
    }
}

bool SynthEngine::anySounding() const noexcept
{
    for (const auto& v : voices)
    {
        const auto& e = v.envelope;
        if (v.sounding && (e.holding || e.time - e.releaseStartTime < e.release))
            return true;
    }
    return false;
}

double SynthEngine::takeVoicePeak (int slot) noexcept
{
    if (slot < 0 || slot >= numVoices)
        return 0.0;
    auto& v = voices[static_cast<std::size_t> (slot)];
    const double p = v.peak;
    v.peak = 0.0;
    return p;
}

std::int32_t SynthEngine::voiceCellId (int slot) const noexcept
{
    return slot < 0 || slot >= numVoices ? -1 : voices[static_cast<std::size_t> (slot)].cellId;
}

//==============================================================================
void SynthEngine::firePing (std::uint64_t eventCount) noexcept
{
    if (eventCount == 0 || sinceLastPing < 0.06)
        return;
    sinceLastPing = 0.0;
    const std::uint64_t n = ++pingCounter;

    pingRandom[0] = mulberry32Next (pingRandomState);
    if (n % 2 == 0)
        pingRandom[1] = mulberry32Next (pingRandomState);
    if (n % 4 == 0)
        pingRandom[2] = mulberry32Next (pingRandomState);
    if (n % 8 == 0)
        pingRandom[3] = mulberry32Next (pingRandomState);
    if (n % 16 == 0)
        pingRandom[4] = mulberry32Next (pingRandomState);

    constexpr double intervals[5] = { 0.0, 7.0, 12.0, 19.0, 24.0 };
    const double sum = pingRandom[0] + pingRandom[1] + pingRandom[2] + pingRandom[3] + pingRandom[4];
    const auto index = static_cast<std::size_t> (std::min (std::floor (sum), 4.0));

    PingVoice& p = pings[static_cast<std::size_t> (pingWrite)];
    pingWrite = (pingWrite + 1) % numPings;
    p = PingVoice {};
    p.active = true;
    p.frequency = std::min (0.45 * sampleRate / 3.5, baseTarget * std::pow (2.0, intervals[index] / 12.0));
}

void SynthEngine::advancePingClock (int numSamples) noexcept
{
    if (numSamples > 0)
        sinceLastPing += static_cast<double> (numSamples) / sampleRate;
}

bool SynthEngine::chimesActive() const noexcept
{
    for (const auto& o : oneShots)
        if (o.active)
            return true;
    for (const auto& p : pings)
        if (p.active)
            return true;
    return false;
}

void SynthEngine::renderOneShotsAndPings (double* left, double* right, int numSamples) noexcept
{
    if (! prepared || numSamples <= 0)
        return;
    for (auto& o : oneShots)
        if (o.active)
            renderOneShot (o, left, right, numSamples);
    renderPings (left, right, numSamples);
}

void SynthEngine::renderPings (double* left, double* right, int numSamples) noexcept
{
    const double dt = 1.0 / sampleRate;
    const auto shape = [] (double t) { return t < 0.001 ? t / 0.001 : std::exp ((t - 0.001) * -4.6 / 0.1); };

    for (auto& p : pings)
    {
        for (int s = 0; s < numSamples && p.active; ++s)
        {
            const double b = p.released ? std::exp ((p.time - p.releaseStart) * -4.6 / 0.1) * shape (p.releaseStart) : shape (p.time);
            const double mp = p.modulatorPhase;
            const double m = mp < 0.25 ? 4.0 * mp : (mp < 0.75 ? 2.0 - 4.0 * mp : 4.0 * mp - 4.0);
            const double deviation = b * m * 2.5 * p.frequency;
            const double out = std::sin (twoPi * p.carrierPhase) * p.level * 0.31622776601683794 * 0.5011872336272722;
            left[s] += out;
            right[s] += out;

            p.carrierPhase += (p.frequency + deviation) / sampleRate;
            p.carrierPhase -= std::floor (p.carrierPhase);
            p.modulatorPhase += 3.0 * p.frequency / sampleRate;
            p.modulatorPhase -= std::floor (p.modulatorPhase);
            p.time += dt;

            if (! p.released)
            {
                if (p.time < 0.2)
                {
                    p.level = p.time < 0.02 ? p.time / 0.02 : 0.15 + 0.85 * std::exp ((p.time - 0.02) * -4.6 / 0.4);
                }
                else
                {
                    p.released = true;
                    p.releaseStart = p.time;
                    p.releaseStartLevel = p.level;
                }
            }
            if (p.released)
            {
                const double d = p.time - p.releaseStart;
                p.level = p.releaseStartLevel * std::exp (d * -4.6 / 0.9);
                if (d >= 0.9 || p.level < 0.0001)
                    p.active = false;
            }
        }
    }
}

//==============================================================================
double SynthEngine::oneShotLevel (const OneShotVoice& o) noexcept
{
    constexpr double floorLevel = 0.00001;
    constexpr double peakLevel = 0.46773514128719823;
    constexpr double ended = -1.0;

    if (o.releaseStart >= 0.0)
    {
        const double d = o.time - o.releaseStart;
        if (d >= 0.08)
            return ended;
        return o.releaseLevel + (floorLevel - o.releaseLevel) * d / 0.08;
    }
    if (! o.longHold)
    {
        if (o.time < o.attack)
            return floorLevel + (peakLevel - floorLevel) * o.time / o.attack;
        if (o.time >= 1.5)
            return ended;
        return peakLevel + (floorLevel - peakLevel) * (o.time - o.attack) / (1.5 - o.attack);
    }
    if (o.time < 3.6)
        return peakLevel;
    if (o.time - 3.6 >= 0.4)
        return ended;
    return peakLevel + (floorLevel - peakLevel) * (o.time - 3.6) / 0.4;
}

void SynthEngine::renderOneShot (OneShotVoice& o, double* left, double* right, int numSamples) noexcept
{
    constexpr int run = VibratoSines::maxRun;
    double raw[run];
    double level[run];
    const double dt = 1.0 / sampleRate;

    for (int done = 0; done < numSamples;)
    {
        const int wanted = std::min (run, numSamples - done);
        int count = 0;
        bool ended = false;
        for (; count < wanted; ++count)
        {
            level[count] = oneShotLevel (o);
            if (level[count] <= 0.0)
            {
                ended = true;
                break;
            }
            o.time += dt;
        }

        for (int s = 0; s < count; ++s)
            raw[s] = oscillatorSample (o.voice);
        processVoiceChain (o.voice, raw, count);
        for (int s = 0; s < count; ++s)
        {
            const double sample = raw[s] * level[s];
            left[done + s] += sample * o.panLeft;
            right[done + s] += sample * o.panRight;
        }

        if (ended)
        {
            o.active = false;
            return;
        }
        done += count;
    }
}

void SynthEngine::releaseOneShots() noexcept
{
    for (auto& o : oneShots)
    {
        if (! o.active || o.releaseStart >= 0.0)
            continue;
        const double level = oneShotLevel (o);
        o.releaseLevel = level > 0.0 ? level : 0.00001;
        o.releaseStart = o.time;
    }
}

void SynthEngine::startOneShot (TimbreSelectors selectors, double pan) noexcept
{
    releaseOneShots();

    OneShotVoice& o = oneShots[static_cast<std::size_t> (nextOneShot)];
    nextOneShot = (nextOneShot + 1) % numOneShots;

    constexpr std::int32_t auditionCellId = 31249;
    configureVoice (o.voice, selectors, auditionCellId, defaultBaseFrequency);
    for (auto& osc : o.voice.osc)
        osc.phase = 0.0;
    o.voice.lowPass.reset();

    panGains (pan, o.panLeft, o.panRight);
    o.longHold = o.voice.timbre->type == TimbreType::pluck;
    o.attack = std::min (0.05 * colourFactor (o.voice.column) * motifFactor (o.voice.row), 0.5);
    o.time = 0.0;
    o.releaseStart = -1.0;
    o.active = true;
}

} // namespace brivola
