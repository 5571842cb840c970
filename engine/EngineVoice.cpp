#include "engine/EngineVoice.h"

#include <algorithm>
#include <cmath>

namespace brivola
{

namespace
{
/** Lowest note a pluck loop holds without shortening: the bottom of the first semitone level. */
constexpr double lowestPluckFrequency = 8.0;

void configureOscillator (WaveOscillator& o, const WaveTableSet* set, double offset, double gain, double f, double sampleRate) noexcept
{
    o.set = set;
    o.offset = offset;
    o.gain = gain;
    o.phase = 0.0;
    o.setFrequency (f, sampleRate);
}

double unisonFrequency (double f, int j, int n, double spread) noexcept
{
    if (n <= 1)
        return f;
    return f * std::pow (2.0, (static_cast<double> (j) * spread / static_cast<double> (n - 1) - spread / 2.0) / 1200.0);
}

std::uint32_t pluckLoopLength (const EngineVoice& v, double f) noexcept
{
    const auto size = static_cast<double> (v.strings[0].line.size());
    if (size < 1.0)
        return 0;
    const double loop = std::min (std::floor (v.sampleRate / f), size - 1.0);
    return loop > 0.0 ? static_cast<std::uint32_t> (loop) : 0u;
}

double sanitiseFrequency (double f) noexcept { return std::isfinite (f) && f > 0.0 ? f : 0.0; }
} // namespace

//==============================================================================
double voiceLevelDb (unsigned activeCells, double mass, double velocity) noexcept
{
    const double n = std::max (static_cast<double> (activeCells), 1.0);
    const double base = std::max (-10.0 * std::log10 (n) - 10.0 - std::min (mass / 2.0, 8.0), -40.0);
    const double v = velocity >= 1.0 ? 0.0 : std::max (40.0 * std::log10 (std::max (velocity, 0.001)), -30.0);
    return base + v;
}

void WaveOscillator::setFrequency (double f, double sampleRate) noexcept
{
    frequency = f;
    level = waveTableLevel (f);
    if (set != nullptr && ! set->tables.empty())
    {
        const auto& t = set->tableForLevel (level);
        table = t.data();
        length = static_cast<std::uint32_t> (t.size());
    }
    else
    {
        table = silentWaveTable;
        length = static_cast<std::uint32_t> (std::size (silentWaveTable));
    }
    mask = length - 1;
    lengthValue = static_cast<double> (length);
    scale = lengthValue / twoPi;
    increment = twoPi * f / sampleRate;
}

//==============================================================================
void allocateVoiceBuffers (EngineVoice& voice, double sampleRate)
{
    std::vector<double> vibratoLine (static_cast<std::size_t> (sampleRate * 0.005) + 8, 0.0);

    std::size_t size = 1;
    while (static_cast<double> (size) < std::floor (sampleRate / lowestPluckFrequency) + 2.0)
        size *= 2;
    std::vector<double> string1 (size, 0.0);
    std::vector<double> string2 (size, 0.0);

    // Nothing below throws: the voice changes only once every buffer exists.
    voice.sampleRate = sampleRate;
    voice.vibratoBuffer = std::move (vibratoLine);
    voice.vibrato.line = voice.vibratoBuffer.data();
    voice.vibrato.size = voice.vibratoBuffer.size();
    voice.vibrato.sampleRate = sampleRate;
    voice.strings[0].line = std::move (string1);
    voice.strings[1].line = std::move (string2);
    for (auto& s : voice.strings)
        s.mask = static_cast<std::uint32_t> (size - 1);
    clearVoiceLines (voice);
}

void clearVoiceLines (EngineVoice& voice) noexcept
{
    voice.vibrato.reset();
    for (auto& s : voice.strings)
    {
        std::fill (s.line.begin(), s.line.end(), 0.0);
        s.write = 0;
        s.state = 0.0;
    }
    voice.lowPass.reset();
}

void clearVoice (EngineVoice& voice) noexcept
{
    voice.envelope = VoiceEnvelope {};
    for (auto& o : voice.osc)
        o.phase = 0.0;
    clearVoiceLines (voice);
    voice.burstCounter = 0;
    voice.fold.amount = 0.0;
    voice.fold.compensationGain = 1.0;
    voice.sounding = false;
    voice.peak = 0.0;
}

void freeVoice (EngineVoice& voice) noexcept
{
    clearVoice (voice);
    voice.timbre = nullptr;
    voice.cellId = -1;
}

void configureVoice (EngineVoice& voice, const Cell& cell, double f) noexcept
{
    configureVoice (voice, TimbreSelectors { cell.motif, cell.colorGroup, cell.colorVariant }, cell.id, f);
}

void configureVoice (EngineVoice& voice, TimbreSelectors selectors, std::int32_t cellId, double f) noexcept
{
    f = sanitiseFrequency (f);
    voice.cellId = cellId;
    voice.selectors = selectors;
    voice.row = timbreRow (selectors.motif);
    voice.column = timbreColumn (selectors.colorGroup, selectors.colorVariant);
    const Timbre& t = timbreAt (voice.row, voice.column);
    voice.timbre = &t;

    voice.vibrato.rate = t.vibratoRate;
    voice.vibrato.depth = t.vibratoDepth;
    voice.attackMultiplier = motifFactor (voice.row) * colourFactor (voice.column);

    const double p = foldScale (voice.row, voice.column);
    const double d = 16.0 * p * (t.type == TimbreType::pluck ? 2.0 : 1.15);
    voice.fold.driveBase = 1.0 / d;
    voice.fold.driveSlope = 0.25 / p - 1.0 / d;
    voice.fold.outputScale = d;
    voice.fold.compensationRange = foldRange (voice.row, voice.column);
    voice.fold.compensationGain = 1.0;
    voice.fold.amount = 0.0;

    voice.frequency = f;
    voice.vibrato.reset();

    WaveTableBundle::TimbreTables tables {};
    if (voice.bundle != nullptr)
        tables = voice.bundle->timbreTables[timbreIndexOf (t)];
    const double sr = voice.sampleRate;

    switch (t.type)
    {
        case TimbreType::unison:
        {
            const int n = unisonOscillatorCount (t.count);
            const double levelGain = std::pow (10.0, (t.level - 1.1 * t.count - 6.0) / 20.0);
            for (int j = 0; j < n; ++j)
            {
                const double offset = unisonPhaseOffset (j, n);
                const double offsetGain = tables.first != nullptr ? tables.first->offsetGain (offset) : 1.0;
                configureOscillator (voice.osc[static_cast<std::size_t> (j)], tables.first, offset, offsetGain * levelGain,
                                     unisonFrequency (f, j, n, t.spread), sr);
            }
            voice.oscCount = n;
            voice.outputGain = 1.0;
            break;
        }
        case TimbreType::frequencyModulation:
            configureOscillator (voice.osc[0], tables.first, 0.0, 1.0, f, sr);
            configureOscillator (voice.osc[1], tables.second, 0.0, 1.0, f * t.modulatorRatio, sr);
            voice.oscCount = 2;
            voice.modulatorRatio = t.modulatorRatio;
            voice.deviationScale = f * t.modulationIndex;
            voice.outputGain = std::pow (10.0, t.level / 20.0);
            break;
        case TimbreType::pulse:
        {
            const double offset = pulsePhaseOffset (t.pulseWidth);
            configureOscillator (voice.osc[0], tables.first, 0.0, 1.0, f, sr);
            configureOscillator (voice.osc[1], tables.first, offset, tables.first != nullptr ? tables.first->offsetGain (offset) : 1.0, f, sr);
            voice.oscCount = 2;
            voice.outputGain = std::pow (10.0, t.level / 20.0);
            break;
        }
        case TimbreType::additive:
            configureOscillator (voice.osc[0], tables.first, 0.0, std::pow (10.0, t.level / 20.0), f, sr);
            voice.oscCount = 1;
            voice.outputGain = 1.0;
            break;
        case TimbreType::pluck:
        {
            voice.oscCount = 0;
            voice.outputGain = std::pow (10.0, t.level / 20.0);
            voice.damping = std::min (twoPi * t.dampingCutoff / sr, 1.9);
            for (auto& s : voice.strings)
            {
                std::fill (s.line.begin(), s.line.end(), 0.0);
                s.write = 0;
                s.state = 0.0;
            }
            voice.loopLength = pluckLoopLength (voice, f);
            voice.feedback = t.feedback;
            voice.noiseStart = voice.noiseLength > 0
                                   ? static_cast<std::size_t> (std::floor (cellNoisePosition (cellId) * static_cast<double> (voice.noiseLength - 1)))
                                   : 0;
            exciteString (voice);
            break;
        }
    }

    if (t.type != TimbreType::pluck)
        startPhase (voice);
}

void exciteString (EngineVoice& voice) noexcept
{
    if (voice.timbre == nullptr)
        return;
    const double sr = voice.sampleRate;
    const double f = voice.frequency;
    voice.burstStart = static_cast<std::uint64_t> (std::floor (0.005 * sr));
    const double burst = f > 0.0 ? std::floor (voice.timbre->burstLength * sr / f) : 0.0;
    voice.burstEnd = voice.burstStart + static_cast<std::uint64_t> (std::min (burst, 1.0e12));
    voice.burstCounter = 0;
}

void setVoiceFrequency (EngineVoice& voice, double f) noexcept
{
    f = sanitiseFrequency (f);
    voice.frequency = f;
    if (voice.timbre == nullptr)
        return;
    const Timbre& t = *voice.timbre;
    const double sr = voice.sampleRate;
    switch (t.type)
    {
        case TimbreType::unison:
            for (int j = 0; j < voice.oscCount; ++j)
                voice.osc[static_cast<std::size_t> (j)].setFrequency (unisonFrequency (f, j, voice.oscCount, t.spread), sr);
            break;
        case TimbreType::frequencyModulation:
            voice.osc[0].setFrequency (f, sr);
            voice.osc[1].setFrequency (f * voice.modulatorRatio, sr);
            voice.deviationScale = f * t.modulationIndex;
            break;
        case TimbreType::pulse:
            voice.osc[0].setFrequency (f, sr);
            voice.osc[1].setFrequency (f, sr);
            break;
        case TimbreType::additive: voice.osc[0].setFrequency (f, sr); break;
        case TimbreType::pluck: voice.loopLength = pluckLoopLength (voice, f); break;
    }
}

void startPhase (EngineVoice& voice) noexcept
{
    const double phase = cellStartPhase (voice.cellId);
    for (int j = 0; j < voice.oscCount; ++j)
        voice.osc[static_cast<std::size_t> (j)].phase = phase;
}

void LowPassBiquad::setCutoff (double cutoff, double sampleRate) noexcept
{
    const double w = twoPi * cutoff / sampleRate;
    const double cosw = std::cos (w);
    const double alpha = std::sin (w) / 2.167853828042407;
    const double norm = 1.0 + alpha;
    b0 = (1.0 - cosw) / 2.0 / norm;
    b1 = (1.0 - cosw) / norm;
    b2 = b0;
    a1 = -2.0 * cosw / norm;
    a2 = (1.0 - alpha) / norm;
}

void releaseVoice (EngineVoice& voice) noexcept
{
    auto& e = voice.envelope;
    e.releaseAfterAttack = false;
    if (! e.holding)
        return;
    e.releaseStartLevel = e.level();
    e.releaseStartTime = e.time;
    e.holding = false;
}

void fastReleaseVoice (EngineVoice& voice) noexcept
{
    auto& e = voice.envelope;
    e.releaseStartLevel = e.level();
    e.releaseStartTime = e.time;
    e.holding = false;
    e.releaseAfterAttack = false;
    e.release = std::max (0.008, 1.0 / voice.sampleRate);
}

} // namespace brivola
