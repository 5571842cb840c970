#include "engine/effects/EffectsChain.h"

#include <algorithm>
#include <cmath>

namespace brivola
{

namespace
{
constexpr double outputGain = 1.1885022274370185; // +1.5 dB
constexpr double clipStart = 0.7943282347242815;  // -2 dB
constexpr double clipRange = 0.09692270340946407; // clipStart + clipRange = 10^(-1/20)
constexpr double outputCeiling = clipStart + clipRange;
constexpr double sqrtHalf = 0.70710678;
constexpr double sleepLevel = 0.0000001;

double smoothstep (double u) noexcept
{
    u = std::clamp (u, 0.0, 1.0);
    return u * u * (3.0 - 2.0 * u);
}

bool validRate (double r) noexcept
{
    return std::isfinite (r) && r >= 1000.0 && r <= 384000.0;
}

// Scales both channels together so the larger one approaches -1 dBFS along a tanh above -2 dBFS.
void softClip (double& l, double& r) noexcept
{
    l = finiteOrZero (l);
    r = finiteOrZero (r);
    const double m = std::max (std::abs (l), std::abs (r));
    if (m > clipStart)
    {
        const double f = (std::tanh ((m - clipStart) / clipRange) * clipRange + clipStart) / m;
        l *= f;
        r *= f;
    }
    // Rounding of the product may land one step above the ceiling.
    l = flushTiny (std::clamp (l, -outputCeiling, outputCeiling));
    r = flushTiny (std::clamp (r, -outputCeiling, outputCeiling));
}
} // namespace

double attackReleaseShape (double k) noexcept
{
    return k <= 0.4 ? 1.0 - smoothstep (k / 0.4) : smoothstep ((k - 0.4) / 0.6);
}

EffectsTargets effectsTargets (const SoundParams& p, double sampleRate) noexcept
{
    const double f = p[SoundParams::filter];
    const double c = p[SoundParams::chorus];
    const double rv = p[SoundParams::reverb];
    const double u = p[SoundParams::sub];
    const double s = p[SoundParams::sat];
    const double d = p[SoundParams::delay];
    const double w = p[SoundParams::width];
    const double h = p[SoundParams::shimmer];
    const double o = p[SoundParams::formant];
    const double ph = p[SoundParams::phaser];
    const double pi = std::numbers::pi;

    EffectsTargets t;
    const double resonance = std::sin (std::sqrt (f) * pi) * (1.0 - 0.5 * s);
    t.lowPassCutoff = std::min (0.45 * sampleRate, 16000.0 * std::pow (0.025, f));
    t.lowPassQ = std::pow (10.0, (resonance * 6.0 + 0.7) / 20.0);
    t.saturationMix = 0.55 * s;
    t.saturationSteepness = 0.45 * s;
    t.chorusMix = c < 0.5 ? 0.8 * c : 0.4 + 1.1 * (c - 0.5);
    t.phaserAmount = 0.9 * ph;
    t.delaySend = 0.75 * d;
    t.delayFeedback = 0.55 * d;
    t.formantGainDb = 8.0 * o;
    t.width = 0.5 + 0.15 * w;
    t.reverbSend = rv < 0.5 ? 0.9 * rv : 0.45 + 2.5 * (rv - 0.5);
    t.subAmount = 0.9 * u;
    t.shimmerAmount = h;

    const double s2 = attackReleaseShape (p[SoundParams::attack]);
    t.loudnessDb = -1.4 * resonance + (1.0 + 1.2 * f) + 2.5 * (1.0 - s2) - 2.5 * u - 2.5 * s + 2.0 * c - 1.3 * rv
                   - 1.8 * d - 3.2 * h - 4.5 * o - 1.8 * ph + 4.7 * w;
    t.loudnessGain = std::clamp (std::pow (10.0, t.loudnessDb / 20.0), 0.12, 4.0);
    return t;
}

//==============================================================================
EffectsChain::EffectsChain()
{
    saturatorL.prepare();
    saturatorR.prepare();
}

void EffectsChain::prepare (double sampleRate, int maxBlock)
{
    prepared = false;
    rate = validRate (sampleRate) ? sampleRate : 44100.0;

    const std::size_t ms40 = samplesFor (0.04, rate, 1);
    const std::size_t ms50 = samplesFor (0.05, rate, 1);
    for (Ramp* r : { &saturationMixL, &saturationMixR, &loudness, &subAmount })
        r->prepare (ms40);
    for (Ramp* r : { &chorusMix, &phaserAmount, &delaySendL, &delaySendR, &delayFeedbackL, &delayFeedbackR, &width,
                     &reverbSend, &shimmerAmount })
        r->prepare (ms50);

    chorus.prepare (rate);
    saturatorL.prepare();
    saturatorR.prepare();
    glue.prepare (glueDynamics, rate);
    bus.prepare (busDynamics, rate);
    limiter.prepare (limiterDynamics, rate);
    subSweep.prepare (subShifterSettings, rate);
    shimmerSweep.prepare (shimmerShifterSettings, rate);
    subL.prepare (subShifterSettings, rate);
    subR.prepare (subShifterSettings, rate);
    shimmerL.prepare (shimmerShifterSettings, rate);
    shimmerR.prepare (shimmerShifterSettings, rate);
    phaser.prepare (rate);
    delayL.prepare (rate);
    delayR.prepare (rate);

    if (reverbRate != rate)
    {
        reverbRate = 0.0;
        response = makeReverbResponse (rate);
        // Phases half a 4096-sample partition apart keep the two channels' heavy blocks apart.
        reverbL.prepare (response.left.data(), response.left.size(), 0);
        reverbR.prepare (response.right.data(), response.right.size(), 16);
        reverbRate = rate;
    }
    tailLength = response.left.size() + static_cast<std::size_t> (rate) + 8192;

    const double tailSeconds[] = { 0.14, 2.05, 0.33, 0.55 }; // sub, shimmer, delay, phaser
    for (std::size_t i = 0; i < switches.size(); ++i)
        switches[i].tailLength = samplesFor (tailSeconds[i], rate) + 128;

    if (! appliedValid)
    {
        applied = SoundParams {};
        appliedValid = true;
    }
    prepared = true;
    reset();
}

void EffectsChain::reset() noexcept
{
    chorus.reset();
    for (auto* b : { &lowPassL[0], &lowPassL[1], &lowPassR[0], &lowPassR[1], &formantL[0], &formantL[1], &formantL[2],
                     &formantR[0], &formantR[1], &formantR[2], &shimmerLowPassL, &shimmerLowPassR })
        b->reset();
    saturatorL.reset();
    saturatorR.reset();
    glue.reset();
    bus.reset();
    limiter.reset();
    subSweep.reset();
    shimmerSweep.reset();
    subL.reset();
    subR.reset();
    shimmerL.reset();
    shimmerR.reset();
    // The shimmer's low-pass sits at 6500 Hz, held below 0.45 × rate like the other filters.
    shimmerLowPass = lowPassCoefficients (std::min (6500.0, 0.45 * rate), 1.0839269, rate);
    phaser.reset();
    delayL.reset();
    delayR.reset();
    reverbL.reset();
    reverbR.reset();
    // Empty convolvers with silent input produce exact zeros: skip them until input arrives.
    reverbSilent = tailLength;
    reverbCleared = true;

    for (auto& s : switches)
    {
        s.active = false;
        s.wasOn = false;
        s.tail = 0;
    }
    for (Ramp* r : { &chorusMix, &saturationMixL, &saturationMixR, &phaserAmount, &delaySendL, &delaySendR, &delayFeedbackL,
                     &delayFeedbackR, &loudness, &width, &reverbSend, &subAmount, &shimmerAmount })
        r->reset();
    satMixForL = satMixForR = -1.0;

    blockPosition = 0;
    silentInput = 0;
    asleep = false;
    fault = false;

    if (appliedValid)
        apply (applied, true);
}

void EffectsChain::configure (const SoundParams& params) noexcept
{
    apply (params, false);
}

void EffectsChain::apply (const SoundParams& params, bool force) noexcept
{
    const SoundParams p = sanitised (params);
    if (! force && appliedValid && sameParams (p, applied))
        return;
    applied = p;
    appliedValid = true;

    const EffectsTargets t = effectsTargets (p, rate);
    lowPass = lowPassCoefficients (t.lowPassCutoff, t.lowPassQ, rate);
    saturationMixL.setTarget (t.saturationMix);
    saturationMixR.setTarget (t.saturationMix);
    saturatorL.setSteepness (t.saturationSteepness);
    saturatorR.setSteepness (t.saturationSteepness);
    chorusMix.setTarget (t.chorusMix);
    phaserAmount.setTarget (t.phaserAmount);
    delaySendL.setTarget (t.delaySend);
    delaySendR.setTarget (t.delaySend);
    delayFeedbackL.setTarget (t.delayFeedback);
    delayFeedbackR.setTarget (t.delayFeedback);

    const double nyquistGuard = 0.45 * rate;
    formant[0] = peakingCoefficients (std::min (nyquistGuard, 700.0), 1.5, t.formantGainDb, rate);
    formant[1] = peakingCoefficients (std::min (nyquistGuard, 1150.0), 1.5, t.formantGainDb, rate);
    formant[2] = highShelfCoefficients (std::min (nyquistGuard, 2500.0), -t.formantGainDb, rate);

    width.setTarget (t.width);
    reverbSend.setTarget (t.reverbSend);
    subAmount.setTarget (t.subAmount);
    shimmerAmount.setTarget (t.shimmerAmount);
    loudness.setTarget (t.loudnessGain);

    updateSwitch (SwitchableEffect::sub, t.subAmount);
    updateSwitch (SwitchableEffect::shimmer, t.shimmerAmount);
    updateSwitch (SwitchableEffect::delay, t.delaySend);
    updateSwitch (SwitchableEffect::phaser, t.phaserAmount);
}

void EffectsChain::updateSwitch (SwitchableEffect e, double value) noexcept
{
    auto& s = switches[static_cast<std::size_t> (e)];
    const bool on = value > 0.0;
    if (on)
    {
        if (! s.active)
        {
            clearEffect (e);
            s.active = true;
        }
        s.tail = 0;
    }
    else if (s.wasOn)
    {
        s.tail = s.tailLength;
    }
    s.wasOn = on;
}

void EffectsChain::clearEffect (SwitchableEffect e) noexcept
{
    switch (e)
    {
        case SwitchableEffect::sub:
            subSweep.reset();
            subL.reset();
            subR.reset();
            break;
        case SwitchableEffect::shimmer:
            shimmerSweep.reset();
            shimmerL.reset();
            shimmerR.reset();
            shimmerLowPassL.reset();
            shimmerLowPassR.reset();
            break;
        case SwitchableEffect::delay:
            delayL.reset();
            delayR.reset();
            break;
        case SwitchableEffect::phaser:
            phaser.reset();
            break;
    }
}

void EffectsChain::countDownTails (std::size_t n) noexcept
{
    for (auto& s : switches)
    {
        if (! s.active || s.wasOn)
            continue;
        if (s.tail <= n)
        {
            s.tail = 0;
            s.active = false;
        }
        else
        {
            s.tail -= n;
        }
    }
}

EffectsLevels EffectsChain::levels() const noexcept
{
    return { chorusMix.current,     saturationMixL.current, saturationMixR.current, phaserAmount.current, delaySendL.current,
             delaySendR.current,    delayFeedbackL.current, delayFeedbackR.current, loudness.current,     width.current,
             reverbSend.current,    subAmount.current,      shimmerAmount.current };
}

//==============================================================================
void EffectsChain::process (double* left, double* right, const double* chimeLeft, const double* chimeRight,
                            std::size_t numSamples) noexcept
{
    if (! prepared)
    {
        std::fill (left, left + numSamples, 0.0);
        std::fill (right, right + numSamples, 0.0);
        return;
    }

    bool inputSilent = true;
    for (std::size_t i = 0; i < numSamples; ++i)
    {
        const double l = flushTiny (finiteOrZero (left[i]));
        const double r = flushTiny (finiteOrZero (right[i]));
        left[i] = l;
        right[i] = r;
        if (l != 0.0 || r != 0.0)
            inputSilent = false;
    }
    for (const double* chime : { chimeLeft, chimeRight })
        for (std::size_t i = 0; inputSilent && chime != nullptr && i < numSamples; ++i)
            if (finiteOrZero (chime[i]) != 0.0)
                inputSilent = false;

    if (inputSilent && asleep)
    {
        std::fill (left, left + numSamples, 0.0);
        std::fill (right, right + numSamples, 0.0);
        return;
    }
    asleep = false;

    double outputPeak = 0.0;
    for (std::size_t pos = 0; pos < numSamples;)
    {
        const std::size_t n = std::min (numSamples - pos, convolutionBlock - blockPosition);
        processSlice (left + pos, right + pos, chimeLeft != nullptr ? chimeLeft + pos : nullptr,
                      chimeRight != nullptr ? chimeRight + pos : nullptr, n, outputPeak);
        blockPosition = (blockPosition + n) % convolutionBlock;
        pos += n;
    }

    if (fault)
    {
        ++faultResets;
        reset();
        return;
    }

    if (inputSilent)
    {
        silentInput += numSamples;
        if (silentInput >= tailLength && outputPeak <= sleepLevel)
            asleep = true;
    }
    else
    {
        silentInput = 0;
    }
}

void EffectsChain::processSlice (double* left, double* right, const double* chimeLeft, const double* chimeRight,
                                 std::size_t n, double& outputPeak) noexcept
{
    const bool subOn = switches[static_cast<std::size_t> (SwitchableEffect::sub)].active;
    const bool shimmerOn = switches[static_cast<std::size_t> (SwitchableEffect::shimmer)].active;
    const bool delayOn = switches[static_cast<std::size_t> (SwitchableEffect::delay)].active;
    const bool phaserOn = switches[static_cast<std::size_t> (SwitchableEffect::phaser)].active;
    bool sendSilent = true;

    for (std::size_t i = 0; i < n; ++i)
    {
        double l = left[i];
        double r = right[i];

        chorus.process (l, r, chorusMix.next());

        l = lowPassL[1].process (lowPassL[0].process (l, lowPass), lowPass);
        r = lowPassR[1].process (lowPassR[0].process (r, lowPass), lowPass);

        const double bL = saturationMixL.next();
        if (bL > 0.0)
        {
            if (bL != satMixForL)
            {
                satMixForL = bL;
                satWetL = std::sin (bL * halfPi);
                satDryL = std::cos (bL * halfPi);
            }
            l = saturatorL.process (l, satWetL, satDryL);
        }
        const double bR = saturationMixR.next();
        if (bR > 0.0)
        {
            if (bR != satMixForR)
            {
                satMixForR = bR;
                satWetR = std::sin (bR * halfPi);
                satDryR = std::cos (bR * halfPi);
            }
            r = saturatorR.process (r, satWetR, satDryR);
        }
        if (! std::isfinite (l) || ! std::isfinite (r))
            fault = true;

        glue.process (l, r);

        for (std::size_t f = 0; f < formant.size(); ++f)
        {
            l = formantL[f].process (l, formant[f]);
            r = formantR[f].process (r, formant[f]);
        }

        const double g = loudness.next();
        const double sL = l * g;
        const double sR = r * g;

        const double w = width.next();
        const double mid = (sL + sR) * sqrtHalf * 2.0 * (1.0 - w);
        const double side = (sL - sR) * sqrtHalf * 2.0 * w;
        double outL = (mid + side) * sqrtHalf;
        double outR = (mid - side) * sqrtHalf;

        if (subOn)
        {
            const double a = subAmount.next();
            const GrainSweepPoint p = subSweep.next();
            outL += subL.process (sL * a, p);
            outR += subR.process (sR * a, p);
        }

        double shL = 0.0;
        double shR = 0.0;
        if (shimmerOn)
        {
            const double a = shimmerAmount.next();
            const GrainSweepPoint p = shimmerSweep.next();
            shL = shimmerLowPassL.process (shimmerL.process (sL * a, p), shimmerLowPass);
            shR = shimmerLowPassR.process (shimmerR.process (sR * a, p), shimmerLowPass);
            outL += 0.6 * shL;
            outR += 0.6 * shR;
        }

        if (phaserOn)
        {
            const double a = phaserAmount.next();
            double pL = 0.0;
            double pR = 0.0;
            phaser.process (sL * a, sR * a, pL, pR);
            outL += pL;
            outR += pR;
        }

        if (delayOn)
        {
            outL += delayL.process (sL, delaySendL.next(), delayFeedbackL.next());
            outR += delayR.process (sR, delaySendR.next(), delayFeedbackR.next());
        }

        const double send = reverbSend.next();
        const double rvL = sL * send + shL;
        const double rvR = sR * send + shR;
        if (rvL != 0.0 || rvR != 0.0)
            sendSilent = false;

        dryL[i] = outL;
        dryR[i] = outR;
        sendL[i] = rvL;
        sendR[i] = rvR;
    }

    countDownTails (n);

    reverbSilent = sendSilent ? reverbSilent + n : 0;
    if (reverbSilent < tailLength)
    {
        reverbL.process (sendL.data(), wetL.data(), n);
        reverbR.process (sendR.data(), wetR.data(), n);
        reverbCleared = false;
    }
    else
    {
        if (! reverbCleared)
        {
            reverbL.reset();
            reverbR.reset();
            reverbCleared = true;
        }
        std::fill (wetL.begin(), wetL.begin() + static_cast<std::ptrdiff_t> (n), 0.0);
        std::fill (wetR.begin(), wetR.begin() + static_cast<std::ptrdiff_t> (n), 0.0);
    }

    for (std::size_t i = 0; i < n; ++i)
    {
        const double chimeL = chimeLeft != nullptr ? finiteOrZero (chimeLeft[i]) : 0.0;
        const double chimeR = chimeRight != nullptr ? finiteOrZero (chimeRight[i]) : 0.0;
        double yL = (wetL[i] + dryL[i] + chimeL) * outputGain;
        double yR = (wetR[i] + dryR[i] + chimeR) * outputGain;
        if (! std::isfinite (yL) || ! std::isfinite (yR))
            fault = true;

        bus.process (yL, yR);
        limiter.process (yL, yR);
        softClip (yL, yR);

        left[i] = yL;
        right[i] = yR;
        outputPeak = std::max (outputPeak, std::max (std::abs (yL), std::abs (yR)));
    }
}

} // namespace brivola
