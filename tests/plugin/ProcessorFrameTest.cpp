#include "plugin/PluginProcessor.h"
#include "support/AllocationCounter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace brivola;

namespace
{
using Layout = juce::AudioProcessor::BusesLayout;

Layout outputLayout (const juce::AudioChannelSet& set)
{
    Layout layout;
    layout.outputBuses.add (set);
    return layout;
}

juce::MidiBuffer noteAt (int position, int note, bool on)
{
    juce::MidiBuffer midi;
    midi.addEvent (on ? juce::MidiMessage::noteOn (1, note, 0.8f) : juce::MidiMessage::noteOff (1, note), position);
    return midi;
}

bool allSamplesFiniteAndNormal (const juce::AudioBuffer<float>& buffer)
{
    for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
        for (int i = 0; i < buffer.getNumSamples(); ++i)
        {
            const float v = buffer.getSample (ch, i);
            if (! std::isfinite (v) || (v != 0.0f && std::fpclassify (v) == FP_SUBNORMAL))
                return false;
        }
    return true;
}
} // namespace

TEST (ProcessorFrame, IdentityAndBuses)
{
    BrivolaAudioProcessor p;
    EXPECT_EQ (p.getName(), "Brivola");
    EXPECT_TRUE (p.acceptsMidi());
    EXPECT_FALSE (p.producesMidi());
    EXPECT_FALSE (p.isMidiEffect());
    EXPECT_FALSE (p.supportsMPE());
    EXPECT_EQ (p.getTailLengthSeconds(), 10.0);
    EXPECT_EQ (p.getNumPrograms(), 0);
    EXPECT_EQ (p.getCurrentProgram(), 0);
    EXPECT_TRUE (p.getProgramName (0).isEmpty());
    EXPECT_TRUE (p.hasEditor());

    EXPECT_EQ (p.getBusCount (true), 0);
    ASSERT_EQ (p.getBusCount (false), 1);
    EXPECT_EQ (p.getBus (false, 0)->getName(), "Output");
    EXPECT_EQ (p.getBus (false, 0)->getDefaultLayout(), juce::AudioChannelSet::stereo());
    EXPECT_TRUE (p.getBus (false, 0)->isEnabledByDefault());

    EXPECT_TRUE (p.checkBusesLayoutSupported (outputLayout (juce::AudioChannelSet::stereo())));
    EXPECT_TRUE (p.checkBusesLayoutSupported (outputLayout (juce::AudioChannelSet::mono())));
    EXPECT_FALSE (p.checkBusesLayoutSupported (outputLayout (juce::AudioChannelSet::create5point1())));
    EXPECT_FALSE (p.checkBusesLayoutSupported (outputLayout (juce::AudioChannelSet::discreteChannels (3))));
    EXPECT_FALSE (p.checkBusesLayoutSupported (Layout {}));
}

TEST (ProcessorFrame, PrepareValidatesRateAndBlockSize)
{
    // Latency: the effects' three look-ahead stages of floor(0.006 × rate) samples each.
    struct Case { double rate; int block; double samplesPerTick; int prepared; int latency; };
    const Case cases[] = {
        { 0.0, 512, 735.0, 512, 3 * 264 },
        { 500000.0, 512, 735.0, 512, 3 * 264 },
        { std::nan (""), 256, 735.0, 256, 3 * 264 },
        { 48000.0, 0, 800.0, 1, 3 * 288 },
        { 96000.0, 1 << 20, 1600.0, 65536, 3 * 576 },
        { 384000.0, 64, 6400.0, 64, 3 * 1023 },
    };
    for (const auto& c : cases)
    {
        BrivolaAudioProcessor p;
        p.prepareToPlay (c.rate, c.block);
        EXPECT_TRUE (p.isReady());
        EXPECT_DOUBLE_EQ (p.getSamplesPerTick(), c.samplesPerTick) << c.rate;
        EXPECT_EQ (p.getPreparedBlockSize(), c.prepared) << c.block;
        EXPECT_EQ (p.getLatencySamples(), c.latency) << c.rate;
    }
}

TEST (ProcessorFrame, LongBlocksAreChunkedAndTheDishAdvances60TimesASecond)
{
    BrivolaAudioProcessor p;
    p.prepareToPlay (44100.0, 512);
    juce::AudioBuffer<float> buffer (2, 4096);
    juce::MidiBuffer midi;
    p.processBlock (buffer, midi);
    EXPECT_EQ (p.getTickCounter(), 5u); // 4096 / 735
    EXPECT_DOUBLE_EQ (p.getTickAccumulator(), 4096.0 - 5 * 735.0);
    EXPECT_TRUE (allSamplesFiniteAndNormal (buffer));

    // One second of audio in odd block sizes gives exactly 60 ticks at every rate.
    for (double rate : { 44100.0, 48000.0, 96000.0 })
    {
        BrivolaAudioProcessor q;
        q.prepareToPlay (rate, 1000);
        int done = 0;
        const int sizes[] = { 1, 7, 128, 999, 1000, 13 };
        for (int k = 0; done < int (rate); ++k)
        {
            const int n = std::min (sizes[k % 6], int (rate) - done);
            juce::AudioBuffer<float> b (2, n);
            q.processBlock (b, midi);
            done += n;
        }
        EXPECT_EQ (q.getTickCounter(), 60u) << rate;
        EXPECT_NEAR (q.getTickAccumulator(), 0.0, 1e-6) << rate;
    }
}

TEST (ProcessorFrame, EmptyBlockStillHandlesItsMidi)
{
    BrivolaAudioProcessor p;
    p.prepareToPlay (44100.0, 512);
    juce::AudioBuffer<float> empty (2, 0);
    auto on = noteAt (0, 64, true);
    p.processBlock (empty, on);
    EXPECT_EQ (p.getCurrentNote(), 64);

    // An event positioned past the end of the buffer is handled in the same call.
    juce::AudioBuffer<float> buffer (2, 256);
    auto off = noteAt (1000, 64, false);
    p.processBlock (buffer, off);
    EXPECT_EQ (p.getCurrentNote(), -1);
}

TEST (ProcessorFrame, WithoutPreparationOrAfterReleaseTheOutputIsSilentAndMidiIgnored)
{
    BrivolaAudioProcessor p;
    juce::AudioBuffer<float> buffer (2, 256);
    buffer.applyGain (0.0f);
    buffer.setSample (0, 10, 0.5f);
    auto on = noteAt (5, 60, true);
    p.processBlock (buffer, on);
    EXPECT_EQ (buffer.getMagnitude (0, 256), 0.0f);
    EXPECT_EQ (p.getCurrentNote(), -1);
    EXPECT_EQ (p.getTickCounter(), 0u);

    p.prepareToPlay (44100.0, 256);
    p.releaseResources();
    EXPECT_FALSE (p.isReady());
    EXPECT_EQ (p.getPreparedBlockSize(), 0);
    buffer.setSample (1, 3, 1.0f);
    p.processBlock (buffer, on);
    EXPECT_EQ (buffer.getMagnitude (0, 256), 0.0f);
    EXPECT_EQ (p.getCurrentNote(), -1);
}

TEST (ProcessorFrame, BypassIgnoresNoteOnsButKeepsTheDishAndNoteOffsRunning)
{
    BrivolaAudioProcessor p;
    p.prepareToPlay (44100.0, 512);
    juce::AudioBuffer<float> buffer (2, 512);

    auto on = noteAt (10, 60, true);
    p.processBlockBypassed (buffer, on);
    EXPECT_EQ (p.getCurrentNote(), -1);
    EXPECT_EQ (buffer.getMagnitude (0, 512), 0.0f);
    EXPECT_TRUE (buffer.hasBeenCleared());

    p.processBlock (buffer, on);
    EXPECT_EQ (p.getCurrentNote(), 60);
    auto off = noteAt (3, 60, false);
    const auto ticksBefore = p.getTickCounter();
    p.processBlockBypassed (buffer, off);
    EXPECT_EQ (p.getCurrentNote(), -1);
    EXPECT_GT (p.getTickCounter(), ticksBefore);
}

TEST (ProcessorFrame, PrepareAgainWithoutReleaseRescalesTheClock)
{
    BrivolaAudioProcessor p;
    p.prepareToPlay (44100.0, 300);
    juce::AudioBuffer<float> buffer (2, 300);
    juce::MidiBuffer midi;
    p.processBlock (buffer, midi);
    EXPECT_DOUBLE_EQ (p.getTickAccumulator(), 300.0);
    p.prepareToPlay (48000.0, 300);
    EXPECT_NEAR (p.getTickAccumulator(), 300.0 * 800.0 / 735.0, 1e-9);
}

TEST (ProcessorFrame, ProcessBlockAllocatesNothingAfterPrepare)
{
    BrivolaAudioProcessor p;
    p.prepareToPlay (48000.0, 512);

    std::mt19937 rng (7);
    std::vector<juce::MidiBuffer> midis (64);
    for (auto& m : midis)
    {
        for (int e = 0; e < 6; ++e)
        {
            const int pos = int (rng() % 700);
            const int note = 36 + int (rng() % 48);
            switch (rng() % 5)
            {
                case 0: m.addEvent (juce::MidiMessage::noteOn (1 + int (rng() % 16), note, 0.7f), pos); break;
                case 1: m.addEvent (juce::MidiMessage::noteOff (1, note), pos); break;
                case 2: m.addEvent (juce::MidiMessage::controllerEvent (1, 64, int (rng() % 128)), pos); break;
                case 3: m.addEvent (juce::MidiMessage::pitchWheel (1, int (rng() % 16384)), pos); break;
                default: m.addEvent (juce::MidiMessage::controllerEvent (1, 1, int (rng() % 128)), pos); break;
            }
        }
        const juce::uint8 sysex[] = { 0xF0, 0x7E, 0x01, 0x02, 0xF7 };
        m.addEvent (sysex, 5, 3);
    }
    const int sizes[] = { 1, 7, 128, 512, 333, 4096, 0, 64 };
    juce::AudioBuffer<float> buffer (2, 4096);

    std::size_t allocations = 0;
    for (int block = 0; block < 4000; ++block)
    {
        const int n = sizes[block % 8];
        buffer.setSize (2, n, false, false, true);
        test::ScopedAllocationCounter counter;
        if (block % 97 == 5)
            p.processBlockBypassed (buffer, midis[(size_t) block % midis.size()]);
        else
            p.processBlock (buffer, midis[(size_t) block % midis.size()]);
        allocations += counter.count();
        ASSERT_TRUE (allSamplesFiniteAndNormal (buffer));
    }
    EXPECT_EQ (allocations, 0u);
}

TEST (ProcessorFrame, AllocationCounterSeesAllocations)
{
    test::ScopedAllocationCounter counter;
    auto* v = new std::vector<int> (100);
    delete v;
    EXPECT_GE (counter.count(), 2u);
}

namespace
{
/** A prepared processor whose seeded dish has filled (about two seconds of silence). */
std::unique_ptr<BrivolaAudioProcessor> grownProcessor (double rate, int block, int channels = 2)
{
    auto p = std::make_unique<BrivolaAudioProcessor>();
    if (channels == 1)
    {
        juce::AudioProcessor::BusesLayout mono;
        mono.outputBuses.add (juce::AudioChannelSet::mono());
        p->setBusesLayout (mono);
    }
    p->prepareToPlay (rate, block);
    juce::AudioBuffer<float> buffer (channels, block);
    juce::MidiBuffer midi;
    for (int done = 0; done < int (rate * 2); done += block)
        p->processBlock (buffer, midi);
    return p;
}

float peakOf (const juce::AudioBuffer<float>& b, int start, int n)
{
    float peak = 0.0f;
    for (int ch = 0; ch < b.getNumChannels(); ++ch)
        peak = std::max (peak, b.getMagnitude (ch, start, n));
    return peak;
}
} // namespace

TEST (ProcessorFrame, NoteStartsExactlyAtItsSamplePosition)
{
    // Two identical instances; the note arrives at sample 0 in one and at sample 100 in the other.
    // Whatever the effects' look-ahead, the onsets must lie exactly 100 samples apart.
    auto firstSound = [] (int position)
    {
        auto p = grownProcessor (48000.0, 512);
        EXPECT_GE (countLiveCells (p->getDish()), 8u);
        juce::AudioBuffer<float> buffer (2, 512);
        auto on = noteAt (position, 60, true);
        juce::MidiBuffer none;
        for (int block = 0; block < 8; ++block)
        {
            p->processBlock (buffer, block == 0 ? on : none);
            for (int i = 0; i < 512; ++i)
                if (buffer.getSample (0, i) != 0.0f || buffer.getSample (1, i) != 0.0f)
                    return block * 512 + i;
        }
        return -1;
    };
    const int at0 = firstSound (0);
    const int at100 = firstSound (100);
    ASSERT_GE (at0, 0);
    EXPECT_EQ (at100 - at0, 100);
}

TEST (ProcessorFrame, NoteSoundsAndRingsOutAfterItsRelease)
{
    auto p = grownProcessor (48000.0, 512);
    juce::AudioBuffer<float> buffer (2, 512);
    auto on = noteAt (0, 60, true);
    juce::MidiBuffer none;
    p->processBlock (buffer, on);
    EXPECT_EQ (p->getCurrentNote(), 60);
    float held = 0.0f;
    for (int i = 0; i < 20; ++i)
    {
        p->processBlock (buffer, none);
        held = std::max (held, peakOf (buffer, 0, 512));
    }
    EXPECT_GT (held, 1e-2f);

    auto off = noteAt (0, 60, false);
    p->processBlock (buffer, off);
    EXPECT_EQ (p->getCurrentNote(), -1);
    for (int i = 0; i < 48000 * 14 / 512; ++i)
        p->processBlock (buffer, none);
    EXPECT_EQ (peakOf (buffer, 0, 512), 0.0f);
}

TEST (ProcessorFrame, MonoOutputIsTheMeanOfLeftAndRight)
{
    auto stereo = grownProcessor (44100.0, 256, 2);
    auto mono = grownProcessor (44100.0, 256, 1);
    juce::AudioBuffer<float> s (2, 256), m (1, 256);
    auto on = noteAt (0, 64, true);
    auto on2 = noteAt (0, 64, true);
    stereo->processBlock (s, on);
    mono->processBlock (m, on2);
    juce::MidiBuffer none;
    float maxDiff = 0.0f, peak = 0.0f;
    for (int b = 0; b < 40; ++b)
    {
        stereo->processBlock (s, none);
        mono->processBlock (m, none);
        for (int i = 0; i < 256; ++i)
        {
            const float mean = static_cast<float> ((double (s.getSample (0, i)) + double (s.getSample (1, i))) * 0.5);
            maxDiff = std::max (maxDiff, std::abs (mean - m.getSample (0, i)));
            peak = std::max (peak, std::abs (m.getSample (0, i)));
        }
    }
    EXPECT_GT (peak, 1e-3f);
    EXPECT_LT (maxDiff, 1e-6f);
}

TEST (ProcessorFrame, BypassIsSilentWhileTheDishKeepsSounding)
{
    auto p = grownProcessor (48000.0, 512);
    juce::AudioBuffer<float> buffer (2, 512);
    auto on = noteAt (0, 60, true);
    p->processBlock (buffer, on);
    juce::MidiBuffer none;
    for (int i = 0; i < 20; ++i)
    {
        p->processBlockBypassed (buffer, none);
        EXPECT_EQ (peakOf (buffer, 0, 512), 0.0f);
    }
    EXPECT_TRUE (p->getMainEngine().anySounding());
    p->processBlock (buffer, none);
    EXPECT_GT (peakOf (buffer, 0, 512), 0.0f);
}

TEST (ProcessorFrame, LongBlockAfterSmallPrepareRendersSound)
{
    auto p = grownProcessor (44100.0, 512);
    juce::AudioBuffer<float> buffer (2, 4096);
    auto on = noteAt (10, 57, true);
    p->processBlock (buffer, on);
    EXPECT_GT (peakOf (buffer, 3584, 512), 1e-3f); // the last of the eight chunks sounds too
    EXPECT_TRUE (allSamplesFiniteAndNormal (buffer));
}

TEST (ProcessorFrame, ReleaseResourcesSilencesASoundingDish)
{
    auto p = grownProcessor (48000.0, 256);
    juce::AudioBuffer<float> buffer (2, 256);
    auto on = noteAt (0, 60, true);
    p->processBlock (buffer, on);
    p->releaseResources();
    juce::MidiBuffer none;
    p->processBlock (buffer, none);
    EXPECT_EQ (peakOf (buffer, 0, 256), 0.0f);
    EXPECT_EQ (p->getCurrentNote(), -1);
}
