#include "plugin/PluginProcessor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

using namespace brivola;

// A rough host and a rough player at once: arbitrary short MIDI messages (any status byte, any
// data, one to three bytes, positions inside and past the block), odd block sizes, parameter writes
// outside the range, bypass, resets, new preparations, page gestures with extreme values and
// paused-host stepping. The output must stay finite, free of subnormals and below -1 dBFS.
TEST (ProcessorFuzz, RandomMidiParametersAndGesturesNeverBreakTheOutput)
{
    std::mt19937 rng (20261210);
    auto uniform = [&] (double lo, double hi) { return std::uniform_real_distribution<double> (lo, hi) (rng); };
    const double extremes[] = { std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                                -1e300, 1e300, 0.0, -0.0, 5e-324 };

    BrivolaAudioProcessor p;
    p.prepareToPlay (48000.0, 512);
    juce::AudioBuffer<float> buffer (2, 2048);
    const int sizes[] = { 0, 1, 7, 64, 128, 333, 512, 2048 };
    float loudest = 0.0f;

    for (int round = 0; round < 3000; ++round)
    {
        juce::MidiBuffer midi;
        for (int e = 0, n = int (rng() % 6); e < n; ++e)
        {
            const juce::uint8 bytes[] = { juce::uint8 (0x80 | (rng() % 0x80)), juce::uint8 (rng() % 0x80), juce::uint8 (rng() % 0x80) };
            const int length = 1 + int (rng() % 3);
            midi.addEvent (bytes, length, int (rng() % 2600) - 20);
        }
        if (rng() % 50 == 0)
        {
            const juce::uint8 sysex[] = { 0xF0, 0x01, 0x02, 0x03, 0xF7 };
            midi.addEvent (sysex, 5, 0);
        }

        switch (rng() % 40)
        {
            case 0: p.getParameterArray()[rng() % 12]->setValueNotifyingHost (float (uniform (-1.0, 2.0))); break;
            case 1: static_cast<juce::AudioProcessorParameter*> (p.getParameterArray()[rng() % 12])->setValue (float (rng() % 2)); break;
            case 2: p.reset(); break;
            case 3: p.prepareToPlay (rng() % 2 ? 44100.0 : 96000.0, 1 + int (rng() % 1024)); break;
            case 4: p.keyboardNoteOn (int (rng() % 200) - 30); break;
            case 5: p.keyboardNoteOff(); break;
            case 6: p.setTheme (rng() % 3 ? uniform (-1.0, 2.0) : extremes[rng() % 7]); break;
            case 7: p.stirAt (extremes[rng() % 7], uniform (-2, 2), uniform (-9, 9), extremes[rng() % 7]); break;
            case 8: p.stirAt (uniform (-1, 1), uniform (-1, 1), uniform (-9, 9), uniform (-9, 9)); break;
            case 9: p.slosh (uniform (-50, 50), rng() % 4 ? uniform (-50, 50) : extremes[rng() % 7]); break;
            case 10: p.setStirring (rng() % 2 == 0); break;
            case 11: p.advanceWhilePaused (double (round) * 40.0); break;
            case 12: p.releaseResources(); p.prepareToPlay (48000.0, 512); break;
            default: break;
        }

        const int n = sizes[rng() % 8];
        buffer.setSize (2, n, false, false, true);
        if (rng() % 30 == 0)
            p.processBlockBypassed (buffer, midi);
        else
            p.processBlock (buffer, midi);

        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < n; ++i)
            {
                const float v = buffer.getSample (ch, i);
                ASSERT_TRUE (std::isfinite (v)) << "round " << round;
                ASSERT_FALSE (v != 0.0f && std::fpclassify (v) == FP_SUBNORMAL) << "round " << round;
                loudest = std::max (loudest, std::abs (v));
            }
    }
    EXPECT_GT (loudest, 0.0f);
    EXPECT_LE (loudest, 0.8913f);
}
