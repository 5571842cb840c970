// The vector kernels against the scalar reference: two engines fed the same moving dish, notes and
// controllers, one rendering side by side, one voice after the other, on every instruction set the
// machine offers (Highway can be told to use any of them).

#include "EngineTestSupport.h"

#include "engine/VoiceKernels.h"

#include <hwy/targets.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

using namespace brivola;

namespace
{
/** Motifs of each synthesis type, and all of them for the whole engine. */
struct DishCase
{
    const char* label;
    std::vector<int> motifs;
};

const std::vector<DishCase>& dishCases()
{
    static const std::vector<DishCase> cases {
        { "unison", { -1, 2, 14 } },       // normal, heart, moon
        { "fm", { 3, 4, 9 } },             // diamond, crown, bell
        { "pulse", { 5, 8, 12 } },         // gear, puzzle, controller
        { "additive", { 0, 6, 7 } },       // spade, star, bolt
        { "pluck", { 1, 10, 11, 13 } },    // clover, leaf, flower, ribbon
        { "whole_engine", { -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14 } },
    };
    return cases;
}

/** The dish at time t: 24 cells circling at their own speeds, closing in on each other and drifting
    apart (fold amount), some slots changing owner or emptying now and then. */
DishCells movingDish (const DishCase& c, double t)
{
    DishCells cells {};
    for (int i = 0; i < dishCapacity; ++i)
    {
        const double rate = 0.35 + 0.07 * i;
        const double angle = rate * t + 0.9 * i;
        const double radius = 0.15 + 0.03 * (i % 23);
        const auto generation = static_cast<int> (std::floor (t * (0.8 + 0.1 * (i % 5)) + 0.13 * i)); // a new owner now and then
        Cell& cell = cells[static_cast<std::size_t> (i)];
        if ((generation + i) % 7 == 3) // the slot is empty for a while
            continue;
        const int motif = c.motifs[static_cast<std::size_t> (i + generation) % c.motifs.size()];
        cell = test::liveCell (1000 + 100 * i + generation, motif, (i + generation) % 8, 1.0 + (i % 5) * 0.8, radius * std::cos (angle),
                               radius * std::sin (angle));
        cell.proximity = 0.5 + 0.5 * std::sin (1.7 * t + i);
        cell.dying = (generation + i) % 11 == 5;
    }
    return cells;
}

/** Renders `seconds` of the same performance on two engines, the first on the vector path, the second
    on the scalar one, and returns the largest difference relative to the reference's peak. */
double renderBoth (const DishCase& c, double sampleRate, double seconds, double& referencePeak)
{
    SynthEngine vector, scalar;
    vector.setRenderPath (SynthEngine::RenderPath::vector);
    scalar.setRenderPath (SynthEngine::RenderPath::scalar);
    SynthEngine* const engines[2] = { &vector, &scalar };

    const auto each = [&] (auto&& action) {
        for (auto* e : engines)
            action (*e);
    };
    each ([&] (SynthEngine& e) { e.prepare (sampleRate); });
    SoundParams params;
    params[SoundParams::attack] = 0.35; // short swells and releases: voices end and restart often
    params[SoundParams::detune] = 1.0;
    params[SoundParams::width] = 0.7;
    each ([&] (SynthEngine& e) {
        e.applyParams (params);
        e.updateFromDish (movingDish (c, 0.0), true);
        e.noteOn (movingDish (c, 0.0), false, 261.63, 0.9);
    });

    const int total = static_cast<int> (seconds * sampleRate);
    const double samplesPerTick = sampleRate / 60.0;
    const int blockSizes[] = { 1, 37, 64, 128, 500, 64, 3 };
    std::vector<double> a (total), b (total), scratch (512);
    double sinceTick = 0.0;
    int events = 0;
    for (int done = 0, block = 0; done < total; ++block)
    {
        int n = std::min (blockSizes[block % 7], total - done);
        n = std::min (n, std::max (1, static_cast<int> (std::ceil (samplesPerTick - sinceTick))));
        vector.render (a.data() + done, scratch.data(), n);
        scalar.render (b.data() + done, scratch.data(), n);
        done += n;
        sinceTick += n;
        if (sinceTick >= samplesPerTick)
        {
            sinceTick -= samplesPerTick;
            const double t = done / sampleRate;
            const DishCells cells = movingDish (c, t);
            each ([&] (SynthEngine& e) { e.updateFromDish (cells, false); });

            // A performance: a legato note, bends, the modulation wheel up to full depth (vibrato delays
            // reaching zero), the key released and pressed again, a preview-style release.
            const int tick = ++events;
            each ([&] (SynthEngine& e) {
                if (tick == 20)
                    e.noteOn (cells, true, 329.63, 1.0);
                if (tick % 9 == 0)
                    e.setBend (1.0 + 0.02 * std::sin (tick * 0.3));
                if (tick == 30)
                    e.setModulation (1.0);
                if (tick == 55)
                    e.setModulation (0.2);
                if (tick == 50 || tick == 100)
                {
                    e.gateOff();
                    e.releaseAll();
                }
                if (tick == 62)
                    e.noteOn (cells, false, 196.0, 0.7);
                if (tick == 80)
                    e.releaseEachAfterAttack();
                if (tick == 84)
                    e.noteOn (cells, false, 880.0, 1.0);
                if (tick == 110)
                    e.noteOn (cells, false, 1760.0, 1.0);
            });
        }
    }

    double peak = 0.0, worst = 0.0;
    for (int i = 0; i < total; ++i)
    {
        peak = std::max (peak, std::abs (b[static_cast<std::size_t> (i)]));
        worst = std::max (worst, std::abs (a[static_cast<std::size_t> (i)] - b[static_cast<std::size_t> (i)]));
    }
    for (int slot = 0; slot < SynthEngine::numVoices; ++slot)
    {
        const double pa = vector.takeVoicePeak (slot), pb = scalar.takeVoicePeak (slot);
        worst = std::max (worst, std::abs (pa - pb));
        EXPECT_EQ (vector.voice (slot).sounding, scalar.voice (slot).sounding) << c.label << " slot " << slot;
    }
    referencePeak = peak;
    return peak > 0.0 ? worst / peak : worst;
}

class VoiceKernelTargets : public ::testing::TestWithParam<std::int64_t>
{
protected:
    void SetUp() override
    {
        hwy::SetSupportedTargetsForTest (GetParam());
        hwy::GetChosenTarget().Update (hwy::SupportedTargets());
    }

    void TearDown() override
    {
        hwy::SetSupportedTargetsForTest (0);
        hwy::GetChosenTarget().Update (hwy::SupportedTargets());
    }
};
} // namespace

TEST_P (VoiceKernelTargets, EveryTypeAndTheWholeEngineMatchTheScalarReference)
{
    ASSERT_STREQ (voiceKernelTarget(), hwy::TargetName (GetParam())) << "the kernels run on the target under test";
    EXPECT_GE (voiceKernelLanes(), 1);
    EXPECT_LE (voiceKernelLanes(), maxVoiceLanes);

    for (const double rate : { 44100.0, 48000.0, 96000.0 })
        for (const auto& c : dishCases())
        {
            double peak = 0.0;
            const double error = renderBoth (c, rate, 2.0, peak);
            EXPECT_LE (error, 1e-12) << c.label << " at " << rate << " Hz";
            EXPECT_GT (peak, 1e-3) << c.label << " at " << rate << " Hz: the reference must sound";
        }
}

INSTANTIATE_TEST_SUITE_P (Targets, VoiceKernelTargets, ::testing::ValuesIn (hwy::SupportedAndGeneratedTargets()),
                          [] (const ::testing::TestParamInfo<std::int64_t>& info) { return std::string (hwy::TargetName (info.param)); });

/** The best instruction set is the default: the engine uses whatever the CPU offers. */
TEST (VoiceKernels, TheBestTargetIsChosenByDefault)
{
    const auto targets = hwy::SupportedAndGeneratedTargets();
    ASSERT_FALSE (targets.empty());
    EXPECT_STREQ (voiceKernelTarget(), hwy::TargetName (targets.front()));
}
