#include "plugin/PluginProcessor.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace brivola;

namespace
{
/** A prepared processor with a grown dish, driven block by block with MIDI at sample positions. */
struct Rig
{
    BrivolaAudioProcessor p;
    juce::AudioBuffer<float> buffer { 2, 256 };

    Rig()
    {
        p.prepareToPlay (48000.0, 256);
        for (int i = 0; i < 400; ++i)
            block();
    }

    void block (juce::MidiBuffer midi = {})
    {
        p.processBlock (buffer, midi);
    }
    void send (const juce::MidiMessage& m, int position = 17)
    {
        juce::MidiBuffer midi;
        midi.addEvent (m, position);
        block (midi);
    }
    void on (int note, int velocity = 100) { send (juce::MidiMessage::noteOn (1, note, (juce::uint8) velocity)); }
    void off (int note) { send (juce::MidiMessage::noteOff (1, note)); }
    void cc (int number, int value) { send (juce::MidiMessage::controllerEvent (1, number, value)); }

    double target() const { return p.getMainEngine().targetBaseFrequency(); }
    bool sounding() const { return p.getMainEngine().anySounding(); }
};

double hz (int note) { return noteFrequency (note); }
} // namespace

TEST (ProcessorNotes, LegatoReturnAndVelocityZero)
{
    Rig r;
    r.on (60, 40);
    r.on (64, 120);
    EXPECT_DOUBLE_EQ (r.target(), hz (64));
    r.off (64);
    EXPECT_EQ (r.p.getCurrentNote(), 60);
    EXPECT_DOUBLE_EQ (r.target(), hz (60));
    r.on (60, 0); // a note-on with velocity 0 is a note-off
    EXPECT_EQ (r.p.getCurrentNote(), -1);
    EXPECT_FALSE (r.p.getMainEngine().gateIsOn());
}

TEST (ProcessorNotes, PedalHoldsAndLiftReturnsToAHeldKey)
{
    Rig r;
    r.cc (64, 127);
    r.on (55);
    r.on (67);
    r.off (67);
    EXPECT_EQ (r.p.getCurrentNote(), 67); // the released key keeps sounding
    r.on (72);
    r.off (72);
    EXPECT_EQ (r.p.getCurrentNote(), 72); // sustained by the pedal
    EXPECT_TRUE (r.p.getMainEngine().gateIsOn());
    r.cc (64, 0);
    EXPECT_EQ (r.p.getCurrentNote(), 55);
    EXPECT_DOUBLE_EQ (r.target(), hz (55));
    r.off (55);
    EXPECT_EQ (r.p.getCurrentNote(), -1);
}

TEST (ProcessorNotes, AllSoundOffIsFastAndAllNotesOffRingsOut)
{
    // 120: every voice released in 8 ms. 123: the voices keep their own (longer) release.
    Rig fast, normal;
    for (Rig* r : { &fast, &normal })
    {
        r->on (60);
        for (int i = 0; i < 20; ++i)
            r->block();
        ASSERT_TRUE (r->sounding());
    }
    fast.cc (120, 0);
    normal.cc (123, 0);
    EXPECT_EQ (fast.p.getCurrentNote(), -1);
    EXPECT_EQ (normal.p.getCurrentNote(), -1);
    for (int i = 0; i < 3; ++i) // 10 ms more
    {
        fast.block();
        normal.block();
    }
    EXPECT_FALSE (fast.sounding());
    EXPECT_TRUE (normal.sounding());
}

TEST (ProcessorNotes, PitchBendAndBypass)
{
    Rig r;
    r.on (60);
    r.send (juce::MidiMessage::pitchWheel (1, 16383));
    EXPECT_NEAR (r.p.getMainEngine().bendFactor(), std::pow (2.0, 8191.0 / 8192.0 * 2.0 / 12.0), 1e-12);
    EXPECT_LT (r.p.getMainEngine().bendFactor(), std::pow (2.0, 2.0 / 12.0));
    r.send (juce::MidiMessage::pitchWheel (1, 8192));
    EXPECT_EQ (r.p.getMainEngine().bendFactor(), 1.0);

    // Bypassed: the note-on is ignored, its note-off still updates the stack.
    juce::MidiBuffer on;
    on.addEvent (juce::MidiMessage::noteOn (1, 67, (juce::uint8) 90), 3);
    r.p.processBlockBypassed (r.buffer, on);
    EXPECT_EQ (r.p.getCurrentNote(), 60);
    juce::MidiBuffer off;
    off.addEvent (juce::MidiMessage::noteOff (1, 60), 3);
    r.p.processBlockBypassed (r.buffer, off);
    EXPECT_EQ (r.p.getCurrentNote(), -1);
}

TEST (ProcessorNotes, KeyboardNoteBeforePrepareOnlyRecordsTheKey)
{
    BrivolaAudioProcessor p;
    p.keyboardNoteOn (64);
    EXPECT_EQ (p.getNoteTracker().keyboardNote(), 64);
    EXPECT_EQ (p.getCurrentNote(), -1);
    EXPECT_FALSE (p.getMainEngine().gateIsOn());
}

TEST (ProcessorNotes, AQueuedPreviewStartsInTheChunkAfterThePlayingOneFallsSilent)
{
    Rig r;
    {
        const juce::ScopedLock sl (r.p.getCallbackLock());
        auto& preview = r.p.getPreviewDish();
        resetDish (preview);
        fillDeckCounts (preview);
        placeCell (preview, 2, 4, -1, 0.1, 0.0, 3.0);
        placeCell (preview, -1, 1, -1, -0.1, 0.0, 3.0);
        r.p.requestPreview (SoundParams {}, 60, 11, true);
    }
    r.block();
    ASSERT_TRUE (r.p.isPreviewPlaying());
    EXPECT_EQ (r.p.getPlayingPreviewToken(), 11);
    {
        const juce::ScopedLock sl (r.p.getCallbackLock());
        r.p.requestPreview (SoundParams {}, 62, 12, true);
    }

    // The second request waits while the first sounds, then takes over at once.
    int blocks = 0;
    while (r.p.getPlayingPreviewToken() == 11 && blocks < 48000 * 20 / 256)
    {
        EXPECT_TRUE (r.p.isPreviewPlaying());
        r.block();
        ++blocks;
    }
    EXPECT_GT (blocks, 1);
    EXPECT_EQ (r.p.getPlayingPreviewToken(), 12);
    EXPECT_TRUE (r.p.isPreviewPlaying());

    // A note on the main engine fades the preview out.
    r.on (60);
    for (int i = 0; i < 3; ++i)
        r.block();
    EXPECT_FALSE (r.p.isPreviewPlaying());
}
