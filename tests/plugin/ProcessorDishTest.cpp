#include "plugin/PluginProcessor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace brivola;

TEST (ProcessorDish, FirstPrepareSeedsTheDishOnce)
{
    BrivolaAudioProcessor p;
    EXPECT_EQ (countLiveCells (p.getDish()), 0u);
    p.prepareToPlay (44100.0, 512);
    EXPECT_EQ (countLiveCells (p.getDish()), 1u); // the founder; eleven more are queued
    EXPECT_EQ (p.getDish().arrivalQueue.count, 11);

    juce::AudioBuffer<float> buffer (2, 512);
    juce::MidiBuffer midi;
    for (int i = 0; i < 100; ++i)
        p.processBlock (buffer, midi);
    const auto spawned = p.getDish().spawnCount;
    EXPECT_GE (spawned, 12u);

    p.prepareToPlay (48000.0, 256); // no second seeding
    EXPECT_EQ (p.getDish().spawnCount, spawned);
    EXPECT_EQ (p.getShownSpawns(), spawned);
    EXPECT_NEAR (p.getShownDishSeconds(), double (p.getTickCounter()) / 60.0, 1e-12);
}

TEST (ProcessorDish, ThemeIsClampedStoredAndDrivesActivity)
{
    BrivolaAudioProcessor p;
    EXPECT_EQ (p.getTheme(), 1.0);

    struct Case { double in; double theme; double activity; };
    const Case cases[] = {
        { 0.25, 0.25, 0.375 },
        { 0.0, 0.0, 0.0 },
        { 1.7, 1.0, 0.75 },
        { -0.3, 0.0, 0.0 },
    };
    for (const auto& c : cases)
    {
        p.setTheme (c.in);
        EXPECT_EQ (p.getTheme(), c.theme);
        EXPECT_DOUBLE_EQ (p.getDish().activity, c.activity);
    }
    p.setTheme (0.25);
    p.setTheme (std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ (p.getTheme(), 0.25);
    EXPECT_DOUBLE_EQ (p.getDish().activity, 0.375);
}

TEST (ProcessorDish, CatchUpStepsOnlyWhileTheHostIsPaused)
{
    BrivolaAudioProcessor p;
    EXPECT_EQ (p.advanceWhilePaused (0.0), 0); // not prepared
    p.prepareToPlay (48000.0, 512);
    juce::AudioBuffer<float> buffer (2, 512);
    juce::MidiBuffer midi;
    p.processBlock (buffer, midi);
    const auto ticks0 = p.getTickCounter();

    EXPECT_EQ (p.advanceWhilePaused (1000.0), 0); // starts watching
    EXPECT_EQ (p.advanceWhilePaused (1200.0), 0); // paused for less than 250 ms
    // 250 ms after the pause began, at most 100 ms of dish time per call.
    const int first = p.advanceWhilePaused (1250.0);
    EXPECT_EQ (first, 6);
    EXPECT_EQ (p.getTickCounter(), ticks0 + 6);
    EXPECT_EQ (p.advanceWhilePaused (1300.0), 3);

    // The host comes back: no stepping until it pauses again.
    p.processBlock (buffer, midi);
    EXPECT_EQ (p.advanceWhilePaused (1400.0), 0);
    EXPECT_EQ (p.advanceWhilePaused (1500.0), 0);

    // Offline rendering never steps on wall-clock time.
    p.setNonRealtime (true);
    EXPECT_EQ (p.advanceWhilePaused (5000.0), 0);
}

TEST (ProcessorDish, GesturesIgnoreNonFiniteInput)
{
    BrivolaAudioProcessor p;
    p.prepareToPlay (44100.0, 512);
    const auto before = p.getDish();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    p.stirAt (nan, 0.0, 0.1, 0.1);
    p.slosh (0.0, std::numeric_limits<double>::infinity());
    EXPECT_EQ (std::memcmp (&before.cells, &p.getDish().cells, sizeof (before.cells)), 0);
    EXPECT_FALSE (p.getDish().sloshActive);

    p.setStirring (true);
    EXPECT_TRUE (p.getDish().stirring);
    p.reset();
    EXPECT_FALSE (p.getDish().stirring);
}

TEST (ProcessorDish, RerollWithAnEmptyPaletteChangesNothing)
{
    BrivolaAudioProcessor p;
    p.prepareToPlay (44100.0, 512);
    const auto spawns = p.getDish().spawnCount;
    const auto queued = p.getDish().arrivalQueue.count;
    p.rerollDish();
    EXPECT_EQ (p.getDish().spawnCount, spawns);
    EXPECT_EQ (p.getDish().arrivalQueue.count, queued);
    EXPECT_FALSE (p.getDish().cells[0].dying);
}
