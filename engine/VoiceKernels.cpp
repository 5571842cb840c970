// Vector kernels of the voice loop: voices of one synthesis type rendered side by side, one voice per
// vector lane, compiled once per instruction set by Highway and chosen at run time. Every operation
// mirrors the scalar voice code in EngineVoice.h operation for operation (same order, no fused
// multiply-adds: the engine is built with -ffp-contract=off), so both paths give identical samples.

#include "engine/VoiceKernels.h"

#include <cstddef>
#include <cstdint>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "engine/VoiceKernels.cpp"
#include <hwy/foreach_target.h> // must come before highway.h
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace brivola::HWY_NAMESPACE
{
namespace hn = hwy::HWY_NAMESPACE;

using D = hn::CappedTag<double, maxVoiceLanes>;
using DI = hn::RebindToSigned<D>;
using V = hn::Vec<D>;

constexpr int L = maxVoiceLanes; // stride of the lane arrays (at least the lanes in use)

//==============================================================================
/** Element distance of a table from the silent table: every table is read by a gather from that one
    base, each lane adding its own table's distance. */
std::int64_t tableDistance (const double* table) noexcept
{
    return static_cast<std::int64_t> ((reinterpret_cast<std::intptr_t> (table) - reinterpret_cast<std::intptr_t> (silentWaveTable))
                                      / static_cast<std::intptr_t> (sizeof (double)));
}

/** One oscillator of every lane; lanes without it read the silent table at gain 0. */
struct OscillatorLanes
{
    alignas (64) double phase[L];
    alignas (64) double increment[L];
    alignas (64) double offset[L];
    alignas (64) double scale[L];
    alignas (64) double length[L];
    alignas (64) double inverseLength[L]; // exact: lengths are powers of two
    alignas (64) double gain[L];
    alignas (64) std::int64_t base[L];
    alignas (64) std::int64_t mask[L];

    void setSilent (int k) noexcept
    {
        phase[k] = increment[k] = offset[k] = gain[k] = 0.0;
        length[k] = 64.0;
        inverseLength[k] = 1.0 / 64.0;
        scale[k] = 64.0 / twoPi;
        base[k] = 0;
        mask[k] = 63;
    }

    void set (int k, const WaveOscillator& o) noexcept
    {
        phase[k] = o.phase;
        increment[k] = o.increment;
        offset[k] = o.offset;
        scale[k] = o.scale;
        length[k] = o.lengthValue;
        inverseLength[k] = 1.0 / o.lengthValue;
        gain[k] = o.gain;
        base[k] = tableDistance (o.table);
        mask[k] = static_cast<std::int64_t> (o.mask);
    }
};

/** Table reads at the phases `theta`: readWaveTable lane by lane. */
HWY_INLINE V readTables (const OscillatorLanes& o, V theta) noexcept
{
    const D d;
    const DI di;
    const V len = hn::Load (d, o.length);
    V x = hn::Mul (hn::Load (d, o.scale), hn::Sub (theta, hn::Load (d, o.offset)));
    // x - floor (x / len) x len, which leaves x in [0, len) untouched, so it needs no branch; dividing by
    // a power of two is the exact multiplication by its inverse
    x = hn::Sub (x, hn::Mul (hn::Floor (hn::Mul (x, hn::Load (d, o.inverseLength))), len));
    const V whole = hn::Floor (x); // x >= 0: the truncation of the scalar read
    const V t = hn::Sub (x, whole);
    const V magic = hn::Set (d, 4503599627370496.0); // 2^52: an integer below it lands in the low bits
    const auto wholeInt = hn::Sub (hn::BitCast (di, hn::Add (whole, magic)), hn::BitCast (di, magic));

    const auto mask = hn::Load (di, o.mask);
    const auto base = hn::Load (di, o.base);
    const auto one = hn::Set (di, 1);
    const auto i = hn::And (wholeInt, mask);
    const V p0 = hn::GatherIndex (d, silentWaveTable, hn::Add (base, hn::And (hn::Sub (i, one), mask)));
    const V p1 = hn::GatherIndex (d, silentWaveTable, hn::Add (base, i));
    const V p2 = hn::GatherIndex (d, silentWaveTable, hn::Add (base, hn::And (hn::Add (i, one), mask)));
    const V p3 = hn::GatherIndex (d, silentWaveTable, hn::Add (base, hn::And (hn::Add (i, hn::Set (di, 2)), mask)));

    // p1 + 0.5 t ((p2 - p0) + t ((2 p0 - 5 p1 + 4 p2 - p3) + t (3 (p1 - p2) + p3 - p0)))
    const V c2 = hn::Sub (hn::Add (hn::Sub (hn::Mul (hn::Set (d, 2.0), p0), hn::Mul (hn::Set (d, 5.0), p1)), hn::Mul (hn::Set (d, 4.0), p2)), p3);
    const V c3 = hn::Sub (hn::Add (hn::Mul (hn::Set (d, 3.0), hn::Sub (p1, p2)), p3), p0);
    const V inner = hn::Add (hn::Sub (p2, p0), hn::Mul (t, hn::Add (c2, hn::Mul (t, c3))));
    return hn::Add (p1, hn::Mul (hn::Mul (hn::Set (d, 0.5), t), inner));
}

/** advanceWavePhase lane by lane. */
HWY_INLINE V advancePhases (V phase, V increment) noexcept
{
    const D d;
    const V period = hn::Set (d, twoPi);
    phase = hn::Add (phase, increment);
    phase = hn::IfThenElse (hn::Gt (phase, period), hn::Sub (phase, period), phase);
    const auto still = hn::Gt (phase, period); // only for frequencies above the sample rate
    if (! hn::AllFalse (d, still))
        phase = hn::IfThenElse (still, hn::Sub (phase, hn::Mul (hn::Floor (hn::Div (phase, period)), period)), phase);
    return phase;
}

//==============================================================================
/** The per-lane state of the chain after the oscillator: wavefolder, vibrato line, low-pass. */
struct ChainLanes
{
    alignas (64) double foldAmount[L];
    alignas (64) double foldDrive[L];
    alignas (64) double foldOut[L]; // output scale
    alignas (64) double foldGain[L]; // compensation gain
    alignas (64) double depth[L];
    alignas (64) double sampleRate[L];
    alignas (64) double lineSize[L];
    alignas (64) double write[L];
    alignas (64) double b0[L], b1[L], b2[L], a1[L], a2[L];
    alignas (64) double x1[L], x2[L], y1[L], y2[L];
    // envelope: the stage does not change during a run (see renderVoiceGroup)
    alignas (64) double holding[L]; // 1 in the attack/decay/sustain stage, 0 in the release stage
    alignas (64) double start[L], peak[L], sustain[L], attack[L], attackDecay[L], decay[L];
    alignas (64) double release[L], releaseTarget[L], releaseStartTime[L], releaseStartLevel[L];
    alignas (64) double time[L], timeStep[L];
    double* line[L];
    std::size_t size[L];
    std::size_t writeIndex[L];
    bool anyFold = false;
};

void loadChain (ChainLanes& c, EngineVoice* const* voices, int lanes) noexcept
{
    c.anyFold = false;
    for (int k = 0; k < L; ++k)
    {
        // Unused lanes run on neutral values and are never stored back.
        const EngineVoice& v = *voices[k < lanes ? k : 0];
        const bool fold = v.fold.amount > 0.0;
        c.anyFold = c.anyFold || (k < lanes && fold);
        c.foldAmount[k] = v.fold.amount;
        c.foldDrive[k] = v.fold.driveBase + v.fold.amount * v.fold.driveSlope;
        c.foldOut[k] = v.fold.outputScale;
        c.foldGain[k] = v.fold.compensationGain;
        c.depth[k] = v.vibrato.depth;
        c.sampleRate[k] = v.vibrato.sampleRate;
        c.lineSize[k] = static_cast<double> (v.vibrato.size);
        c.write[k] = static_cast<double> (v.vibrato.write);
        c.line[k] = v.vibrato.line;
        c.size[k] = v.vibrato.size;
        c.writeIndex[k] = v.vibrato.write;
        c.b0[k] = v.lowPass.b0;
        c.b1[k] = v.lowPass.b1;
        c.b2[k] = v.lowPass.b2;
        c.a1[k] = v.lowPass.a1;
        c.a2[k] = v.lowPass.a2;
        c.x1[k] = v.lowPass.x1;
        c.x2[k] = v.lowPass.x2;
        c.y1[k] = v.lowPass.y1;
        c.y2[k] = v.lowPass.y2;
        const VoiceEnvelope& e = v.envelope;
        c.holding[k] = e.holding ? 1.0 : 0.0;
        c.start[k] = e.start;
        c.peak[k] = e.peak;
        c.sustain[k] = e.sustain;
        c.attack[k] = e.attack;
        c.attackDecay[k] = e.attack + e.decay;
        c.decay[k] = e.decay;
        c.release[k] = e.release;
        c.releaseTarget[k] = e.releaseTarget;
        c.releaseStartTime[k] = e.releaseStartTime;
        c.releaseStartLevel[k] = e.releaseStartLevel;
        c.time[k] = e.time;
        c.timeStep[k] = 1.0 / v.sampleRate;
    }
}

void storeChain (const ChainLanes& c, EngineVoice* const* voices, int lanes, int count) noexcept
{
    for (int k = 0; k < lanes; ++k)
    {
        EngineVoice& v = *voices[k];
        v.vibrato.write = c.writeIndex[k];
        v.vibrato.counter += static_cast<std::uint64_t> (count);
        v.lowPass.x1 = c.x1[k];
        v.lowPass.x2 = c.x2[k];
        v.lowPass.y1 = c.y1[k];
        v.lowPass.y2 = c.y2[k];
        v.lowPass.flushState();
        v.envelope.time = c.time[k];
    }
}

/** The wavefolder, vibrato and low-pass over a run in place: `block` holds the oscillator output on
    entry and the chain's output on return. `sines` holds the vibrato sines in the same layout. */
void processChain (ChainLanes& c, const double* sines, int lanes, int count, double* block) noexcept
{
    const D d;
    const V zero = hn::Zero (d);
    const auto foldOn = hn::Gt (hn::Load (d, c.foldAmount), zero); // the folder is bypassed at amount 0
    const V foldDrive = hn::Load (d, c.foldDrive);
    const V foldOut = hn::Load (d, c.foldOut);
    const V foldGain = hn::Load (d, c.foldGain);
    const V depth = hn::Load (d, c.depth);
    const V sampleRate = hn::Load (d, c.sampleRate);
    const V lineSize = hn::Load (d, c.lineSize);
    const V b0 = hn::Load (d, c.b0), b1 = hn::Load (d, c.b1), b2 = hn::Load (d, c.b2);
    const V a1 = hn::Load (d, c.a1), a2 = hn::Load (d, c.a2);
    V x1 = hn::Load (d, c.x1), x2 = hn::Load (d, c.x2), y1 = hn::Load (d, c.y1), y2 = hn::Load (d, c.y2);
    V write = hn::Load (d, c.write);
    const V one = hn::Set (d, 1.0);

    const auto holding = hn::Gt (hn::Load (d, c.holding), zero);
    const V start = hn::Load (d, c.start), peak = hn::Load (d, c.peak), sustain = hn::Load (d, c.sustain);
    const V attack = hn::Load (d, c.attack), attackDecay = hn::Load (d, c.attackDecay), decay = hn::Load (d, c.decay);
    const V release = hn::Load (d, c.release), releaseTarget = hn::Load (d, c.releaseTarget);
    const V releaseStartTime = hn::Load (d, c.releaseStartTime), releaseStartLevel = hn::Load (d, c.releaseStartLevel);
    const V timeStep = hn::Load (d, c.timeStep);
    // The segments' slopes in the form of VoiceEnvelope::levelAt: base + (end - base) x elapsed / length
    const V attackRise = hn::Sub (peak, start), decayFall = hn::Sub (sustain, peak), releaseFall = hn::Sub (releaseTarget, releaseStartLevel);
    V time = hn::Load (d, c.time);

    alignas (64) double input[L] = {};
    alignas (64) double wholes[L] = {};
    alignas (64) double tap0[L] = {};
    alignas (64) double tap1[L] = {};

    for (int s = 0; s < count; ++s)
    {
        double* const samples = block + s * L;
        V x = hn::LoadU (d, samples);

        if (c.anyFold)
        {
            const V driven = hn::Mul (x, foldDrive);
            const V clamped = hn::IfThenElse (hn::Lt (driven, hn::Set (d, -1.0)), hn::Set (d, -1.0),
                                              hn::IfThenElse (hn::Gt (driven, one), one, driven));
            const V y = hn::Add (hn::Mul (clamped, hn::Set (d, 16.0)), one);
            V r = hn::Sub (y, hn::Mul (hn::Set (d, 4.0), hn::Trunc (hn::Mul (y, hn::Set (d, 0.25)))));
            r = hn::IfThenElse (hn::Lt (r, zero), hn::Add (r, hn::Set (d, 4.0)), r);
            r = hn::Sub (r, one);
            const V z = hn::IfThenElse (hn::Le (r, one), r, hn::Sub (hn::Set (d, 2.0), r));
            const V folded = hn::Mul (hn::Mul (hn::Mul (z, hn::Set (d, 0.0625)), foldOut), foldGain);
            x = hn::IfThenElse (foldOn, folded, x);
        }

        // Vibrato: write, then read back with linear interpolation (the read may take the sample just
        // written, so the writes come first).
        hn::Store (x, d, input);
        for (int k = 0; k < lanes; ++k)
            c.line[k][c.writeIndex[k]] = input[k];
        V delay = hn::Mul (hn::Mul (hn::Add (hn::Mul (hn::Mul (depth, hn::Set (d, 0.5)), hn::Load (d, sines + s * L)), hn::Set (d, 0.5)),
                                    hn::Set (d, 0.005)),
                           sampleRate);
        delay = hn::IfThenElse (hn::Gt (delay, zero), delay, zero);
        V pos = hn::Sub (write, delay);
        pos = hn::IfThenElse (hn::Lt (pos, zero), hn::Add (pos, lineSize), pos);
        const V whole = hn::Floor (pos); // pos >= 0: the truncation of the scalar code
        hn::Store (whole, d, wholes);
        for (int k = 0; k < lanes; ++k)
        {
            const std::size_t size = c.size[k];
            const auto w = static_cast<std::size_t> (wholes[k]);
            const std::size_t i0 = w < size ? w : w - size;
            const std::size_t i1 = i0 + 1 < size ? i0 + 1 : 0;
            tap0[k] = c.line[k][i0];
            tap1[k] = c.line[k][i1];
            c.writeIndex[k] = c.writeIndex[k] + 1 < size ? c.writeIndex[k] + 1 : 0;
        }
        const V t0 = hn::Load (d, tap0);
        const V vibrato = hn::Add (t0, hn::Mul (hn::Sub (hn::Load (d, tap1), t0), hn::Sub (pos, whole)));
        const V nextWrite = hn::Add (write, one);
        write = hn::IfThenElse (hn::Lt (nextWrite, lineSize), nextWrite, zero);

        // Low-pass biquad, direct form I
        const V y = hn::Sub (hn::Sub (hn::Add (hn::Add (hn::Mul (b0, vibrato), hn::Mul (b1, x1)), hn::Mul (b2, x2)), hn::Mul (a1, y1)),
                             hn::Mul (a2, y2));
        x2 = x1;
        x1 = vibrato;
        y2 = y1;
        y1 = y;

        // Envelope level at the current time (VoiceEnvelope::levelAt), one division for every lane
        const auto inAttack = hn::Lt (time, attack);
        const auto inDecay = hn::Lt (time, attackDecay);
        const V sinceRelease = hn::Sub (time, releaseStartTime);
        const V holdBase = hn::IfThenElse (inAttack, start, peak);
        const V holdRise = hn::IfThenElse (inAttack, hn::Mul (attackRise, time), hn::Mul (decayFall, hn::Sub (time, attack)));
        const V holdLength = hn::IfThenElse (inAttack, attack, decay);
        const V base = hn::IfThenElse (holding, holdBase, releaseStartLevel);
        const V rise = hn::IfThenElse (holding, holdRise, hn::Mul (releaseFall, sinceRelease));
        const V length = hn::IfThenElse (holding, holdLength, release);
        V level = hn::Add (base, hn::Div (rise, length));
        const V holdingEnd = hn::IfThenElse (hn::Le (time, zero), start, sustain);
        const auto holdingFlat = hn::Or (hn::Le (time, zero), hn::Not (inDecay));
        level = hn::IfThenElse (hn::And (holding, holdingFlat), holdingEnd, level);
        level = hn::IfThenElse (hn::AndNot (holding, hn::Le (release, sinceRelease)), releaseTarget, level);
        time = hn::Add (time, timeStep);

        hn::StoreU (hn::Mul (y, level), d, samples);
    }
    hn::Store (time, d, c.time);
    hn::Store (x1, d, c.x1);
    hn::Store (x2, d, c.x2);
    hn::Store (y1, d, c.y1);
    hn::Store (y2, d, c.y2);
}

//==============================================================================
/** Oscillator output of a run into `block`, per synthesis type. */
void unisonRun (EngineVoice* const* voices, int lanes, int count, double* block) noexcept
{
    const D d;
    int oscillators = 0;
    for (int k = 0; k < lanes; ++k)
        oscillators = voices[k]->oscCount > oscillators ? voices[k]->oscCount : oscillators;

    OscillatorLanes osc[4];
    for (int j = 0; j < oscillators; ++j)
        for (int k = 0; k < L; ++k)
        {
            if (k < lanes && j < voices[k]->oscCount)
                osc[j].set (k, voices[k]->osc[static_cast<std::size_t> (j)]);
            else
                osc[j].setSilent (k);
        }

    V phase[4] = { hn::Zero (d), hn::Zero (d), hn::Zero (d), hn::Zero (d) };
    V increment[4] = { hn::Zero (d), hn::Zero (d), hn::Zero (d), hn::Zero (d) };
    V gain[4] = { hn::Zero (d), hn::Zero (d), hn::Zero (d), hn::Zero (d) };
    for (int j = 0; j < oscillators; ++j)
    {
        phase[j] = hn::Load (d, osc[j].phase);
        increment[j] = hn::Load (d, osc[j].increment);
        gain[j] = hn::Load (d, osc[j].gain);
    }

    for (int s = 0; s < count; ++s)
    {
        V read[4];
        for (int j = 0; j < oscillators; ++j)
            read[j] = readTables (osc[j], phase[j]);
        V sum = hn::Zero (d);
        for (int j = 0; j < oscillators; ++j)
            sum = hn::Add (sum, hn::Mul (read[j], gain[j]));
        hn::StoreU (sum, d, block + s * L);
        for (int j = 0; j < oscillators; ++j)
            phase[j] = advancePhases (phase[j], increment[j]);
    }

    for (int j = 0; j < oscillators; ++j)
    {
        hn::Store (phase[j], d, osc[j].phase);
        for (int k = 0; k < lanes; ++k)
            if (j < voices[k]->oscCount)
                voices[k]->osc[static_cast<std::size_t> (j)].phase = osc[j].phase[k];
    }
}

void frequencyModulationRun (EngineVoice* const* voices, int lanes, int count, double* block) noexcept
{
    const D d;
    OscillatorLanes carrier, modulator;
    alignas (64) double frequency[L], deviation[L], sampleRate[L], outputGain[L];
    for (int k = 0; k < L; ++k)
    {
        const EngineVoice& v = *voices[k < lanes ? k : 0];
        carrier.set (k, v.osc[0]);
        modulator.set (k, v.osc[1]);
        frequency[k] = v.frequency;
        deviation[k] = v.deviationScale;
        sampleRate[k] = v.sampleRate;
        outputGain[k] = v.outputGain;
    }
    const V f = hn::Load (d, frequency), dev = hn::Load (d, deviation), sr = hn::Load (d, sampleRate), gain = hn::Load (d, outputGain);
    const V period = hn::Set (d, twoPi);
    const V zero = hn::Zero (d);
    V carrierPhase = hn::Load (d, carrier.phase);
    V modulatorPhase = hn::Load (d, modulator.phase);
    const V modulatorIncrement = hn::Load (d, modulator.increment);

    for (int s = 0; s < count; ++s)
    {
        const V m = readTables (modulator, modulatorPhase);
        const V c = readTables (carrier, carrierPhase);
        V p = hn::Add (carrierPhase, hn::Div (hn::Mul (hn::Add (f, hn::Mul (m, dev)), period), sr));
        const auto outside = hn::Or (hn::Ge (p, period), hn::Lt (p, zero));
        if (! hn::AllFalse (d, outside))
        {
            V wrapped = hn::Sub (p, hn::Mul (hn::Floor (hn::Div (p, period)), period));
            wrapped = hn::IfThenElse (hn::Ge (wrapped, period), zero, wrapped);
            p = hn::IfThenElse (outside, wrapped, p);
        }
        carrierPhase = p;
        modulatorPhase = advancePhases (modulatorPhase, modulatorIncrement);
        hn::StoreU (hn::Mul (c, gain), d, block + s * L);
    }

    hn::Store (carrierPhase, d, carrier.phase);
    hn::Store (modulatorPhase, d, modulator.phase);
    for (int k = 0; k < lanes; ++k)
    {
        voices[k]->osc[0].phase = carrier.phase[k];
        voices[k]->osc[1].phase = modulator.phase[k];
    }
}

void pulseRun (EngineVoice* const* voices, int lanes, int count, double* block) noexcept
{
    const D d;
    OscillatorLanes plain, shifted;
    alignas (64) double outputGain[L];
    for (int k = 0; k < L; ++k)
    {
        const EngineVoice& v = *voices[k < lanes ? k : 0];
        plain.set (k, v.osc[0]);
        shifted.set (k, v.osc[1]);
        outputGain[k] = v.outputGain;
    }
    const V gain = hn::Load (d, outputGain);
    const V gainA = hn::Load (d, plain.gain), gainB = hn::Load (d, shifted.gain);
    const V incrementA = hn::Load (d, plain.increment), incrementB = hn::Load (d, shifted.increment);
    V phaseA = hn::Load (d, plain.phase);
    V phaseB = hn::Load (d, shifted.phase);

    for (int s = 0; s < count; ++s)
    {
        const V a = hn::Mul (readTables (plain, phaseA), gainA);
        const V b = hn::Mul (readTables (shifted, phaseB), gainB);
        phaseA = advancePhases (phaseA, incrementA);
        phaseB = advancePhases (phaseB, incrementB);
        hn::StoreU (hn::Mul (hn::Sub (b, a), gain), d, block + s * L);
    }

    hn::Store (phaseA, d, plain.phase);
    hn::Store (phaseB, d, shifted.phase);
    for (int k = 0; k < lanes; ++k)
    {
        voices[k]->osc[0].phase = plain.phase[k];
        voices[k]->osc[1].phase = shifted.phase[k];
    }
}

void additiveRun (EngineVoice* const* voices, int lanes, int count, double* block) noexcept
{
    const D d;
    OscillatorLanes osc;
    for (int k = 0; k < L; ++k)
        osc.set (k, voices[k < lanes ? k : 0]->osc[0]);
    const V gain = hn::Load (d, osc.gain);
    const V increment = hn::Load (d, osc.increment);
    V phase = hn::Load (d, osc.phase);

    for (int s = 0; s < count; ++s)
    {
        hn::StoreU (hn::Mul (readTables (osc, phase), gain), d, block + s * L);
        phase = advancePhases (phase, increment);
    }

    hn::Store (phase, d, osc.phase);
    for (int k = 0; k < lanes; ++k)
        voices[k]->osc[0].phase = osc.phase[k];
}

/** The two strings of a pluck voice are a feedback loop through memory, each lane its own: they run in
    scalar code, the voices interleaved sample by sample so that their loops overlap in the pipeline. */
void pluckRun (EngineVoice* const* voices, int lanes, int count, double* block) noexcept
{
    for (int s = 0; s < count; ++s)
        for (int k = 0; k < lanes; ++k)
            block[s * L + k] = detail::pluckSample (*voices[k]);
}

//==============================================================================
// The exported kernels are not noexcept: Highway's dispatch tables take plain function types.
void RenderVoiceGroup (EngineVoice* const* voices, int lanes, int count, double* block)
{
    const D d;
    const int width = static_cast<int> (hn::Lanes (d));
    lanes = lanes < width ? lanes : width;
    if (lanes <= 0 || count <= 0)
        return;
    count = count < voiceRunLength ? count : voiceRunLength;

    // Lanes beyond the group read copies of the first voice and are discarded.
    for (int s = 0; s < count; ++s)
        for (int k = lanes; k < L; ++k)
            block[s * L + k] = 0.0;

    switch (voices[0]->timbre->type)
    {
        case TimbreType::unison: unisonRun (voices, lanes, count, block); break;
        case TimbreType::frequencyModulation: frequencyModulationRun (voices, lanes, count, block); break;
        case TimbreType::pulse: pulseRun (voices, lanes, count, block); break;
        case TimbreType::additive: additiveRun (voices, lanes, count, block); break;
        case TimbreType::pluck: pluckRun (voices, lanes, count, block); break;
    }

    alignas (64) double sines[voiceRunLength * L] = {};
    double run[voiceRunLength];
    for (int k = 0; k < lanes; ++k)
    {
        EngineVoice& v = *voices[k];
        v.vibratoSines.fill (v.vibrato, run, count);
        for (int s = 0; s < count; ++s)
            sines[s * L + k] = run[s];
    }

    ChainLanes chain;
    loadChain (chain, voices, lanes);
    processChain (chain, sines, lanes, count, block);
    storeChain (chain, voices, lanes, count);
}

int VoiceLanes()
{
    const D d;
    const auto n = static_cast<int> (hn::Lanes (d));
    return n < maxVoiceLanes ? n : maxVoiceLanes;
}

const char* TargetName() { return hwy::TargetName (HWY_TARGET); }

} // namespace brivola::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace brivola
{
HWY_EXPORT (RenderVoiceGroup);
HWY_EXPORT (VoiceLanes);
HWY_EXPORT (TargetName);

int voiceKernelLanes() noexcept { return HWY_DYNAMIC_DISPATCH (VoiceLanes)(); }

const char* voiceKernelTarget() noexcept { return HWY_DYNAMIC_DISPATCH (TargetName)(); }

void renderVoiceGroup (EngineVoice* const* voices, int lanes, int count, VoiceGroupBlock& block) noexcept
{
    HWY_DYNAMIC_DISPATCH (RenderVoiceGroup) (voices, lanes, count, block.data());
}
} // namespace brivola
#endif
