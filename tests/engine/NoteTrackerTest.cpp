#include "engine/NoteTracker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace brivola;

namespace
{
/** Records what the tracker asks of the engine. */
struct RecordingSink final : NoteSink
{
    bool ready = true;
    std::vector<std::string> calls;
    double bend = 1.0, modulation = 0.0;

    bool startNote (int note, bool legato, float velocity) noexcept override
    {
        calls.push_back ("start " + std::to_string (note) + (legato ? " legato " : " fresh ") + std::to_string (int (std::lround (velocity * 127.0f))));
        return ready;
    }
    void releaseNotes() noexcept override { calls.push_back ("release"); }
    void releaseEverything (bool fast) noexcept override { calls.push_back (fast ? "release-all fast" : "release-all"); }
    void setModulation (double d) noexcept override { modulation = d; }
    void setBend (double r) noexcept override { bend = r; }

    std::string last() const { return calls.empty() ? "" : calls.back(); }
};

struct Midi
{
    NoteTracker tracker;
    RecordingSink sink;
    bool bypassed = false;

    void send (std::uint8_t a, std::uint8_t b, std::uint8_t c)
    {
        const std::uint8_t data[] = { a, b, c };
        tracker.handleMidi (data, 3, bypassed, sink);
    }
    void on (int note, int vel = 100, int channel = 0) { send (std::uint8_t (0x90 | channel), std::uint8_t (note), std::uint8_t (vel)); }
    void off (int note) { send (0x80, std::uint8_t (note), 0); }
    void cc (int number, int value) { send (0xB0, std::uint8_t (number), std::uint8_t (value)); }
};
} // namespace

TEST (NoteTracker, MostRecentHeldKeyWinsAndReleaseReturnsLegato)
{
    Midi m;
    m.on (60, 50);
    EXPECT_EQ (m.sink.last(), "start 60 fresh 50");
    m.on (64, 110, 5); // channel ignored
    EXPECT_EQ (m.sink.last(), "start 64 legato 110");
    m.off (64);
    EXPECT_EQ (m.sink.last(), "start 60 legato 50");
    EXPECT_EQ (m.tracker.currentNote(), 60);
    m.off (60);
    EXPECT_EQ (m.sink.last(), "release");
    EXPECT_EQ (m.tracker.currentNote(), -1);
    EXPECT_EQ (m.tracker.stackSize(), 0);
}

TEST (NoteTracker, VelocityZeroNoteOnIsANoteOff)
{
    Midi a, b;
    for (Midi* m : { &a, &b })
    {
        m->on (60);
        m->on (67);
    }
    a.off (67);
    b.on (67, 0);
    EXPECT_EQ (a.sink.calls, b.sink.calls);
    EXPECT_EQ (b.tracker.currentNote(), 60);
}

TEST (NoteTracker, SustainPedalKeepsReleasedKeys)
{
    Midi m;
    m.cc (64, 127);
    m.on (60);
    m.off (60);
    EXPECT_EQ (m.tracker.currentNote(), 60);
    EXPECT_TRUE (m.tracker.isSustained (60));
    EXPECT_EQ (m.sink.last(), "start 60 legato 100"); // resumes on the sustained key, nothing released

    // Lifting the pedal releases, unless another key is still held: that one sounds again, legato.
    m.on (55, 40);
    m.on (62, 90);
    m.off (62);
    m.cc (64, 0);
    EXPECT_EQ (m.sink.last(), "start 55 legato 40");
    EXPECT_EQ (m.tracker.stackSize(), 1);
    m.off (55);
    EXPECT_EQ (m.sink.last(), "release");

    // Pressing the pedal again or lifting it when it is up changes nothing.
    const auto before = m.sink.calls.size();
    m.cc (64, 10);
    m.cc (64, 64);
    m.cc (64, 127);
    EXPECT_EQ (m.sink.calls.size(), before);
    EXPECT_TRUE (m.tracker.pedalDown());
}

TEST (NoteTracker, KeyboardNoteOverridesMidiKeys)
{
    Midi m;
    m.tracker.keyboardNoteOn (72, m.sink);
    EXPECT_EQ (m.sink.last(), "start 72 fresh 127");
    m.on (60, 30);
    EXPECT_EQ (m.sink.last(), "start 72 legato 127"); // the on-screen note restarts
    EXPECT_EQ (m.tracker.topOfStack(), 60);
    m.tracker.keyboardNoteOff (m.sink);
    EXPECT_EQ (m.sink.last(), "start 60 legato 30");
    m.off (60);
    m.tracker.keyboardNoteOn (300, m.sink); // clamped
    EXPECT_EQ (m.tracker.keyboardNote(), 127);
    m.tracker.keyboardNoteOff (m.sink);
    EXPECT_EQ (m.sink.last(), "release");
}

TEST (NoteTracker, AllSoundOffAndAllNotesOff)
{
    struct Case { int controller; const char* expected; };
    for (const auto& c : { Case { 120, "release-all fast" }, Case { 123, "release-all" } })
    {
        Midi m;
        m.cc (64, 127);
        m.on (60);
        m.on (62);
        m.cc (c.controller, 0);
        EXPECT_EQ (m.sink.last(), c.expected);
        EXPECT_EQ (m.tracker.currentNote(), -1);
        EXPECT_EQ (m.tracker.stackSize(), 0);
        EXPECT_FALSE (m.tracker.pedalDown());
        EXPECT_FALSE (m.tracker.isHeld (60));

        // With the on-screen key down, that key restarts instead.
        m.tracker.keyboardNoteOn (70, m.sink);
        m.cc (c.controller, 0);
        EXPECT_EQ (m.sink.last(), "start 70 legato 127");
    }
}

TEST (NoteTracker, BendModulationAndResetControllers)
{
    Midi m;
    m.send (0xE0, 0x7F, 0x7F); // 16383
    EXPECT_LT (m.sink.bend, std::pow (2.0, 2.0 / 12.0));
    EXPECT_NEAR (m.sink.bend, std::pow (2.0, 8191.0 / 8192.0 * 2.0 / 12.0), 1e-12);
    m.send (0xE0, 0x00, 0x40); // 8192
    EXPECT_EQ (m.sink.bend, 1.0);
    m.send (0xE0, 0x00, 0x00);
    EXPECT_NEAR (m.sink.bend, std::pow (2.0, -2.0 / 12.0), 1e-12);

    m.cc (1, 127);
    EXPECT_DOUBLE_EQ (m.sink.modulation, 0.25);

    m.cc (64, 127);
    m.on (60);
    m.off (60);
    m.cc (121, 0);
    EXPECT_EQ (m.sink.bend, 1.0);
    EXPECT_EQ (m.sink.modulation, 0.0);
    EXPECT_FALSE (m.tracker.pedalDown());
    EXPECT_EQ (m.sink.last(), "release");
}

TEST (NoteTracker, BypassIgnoresNoteOnsOnly)
{
    Midi m;
    m.on (60);
    m.bypassed = true;
    m.on (64);
    EXPECT_EQ (m.tracker.topOfStack(), 60);
    EXPECT_EQ (m.tracker.currentNote(), 60);
    m.off (60);
    EXPECT_EQ (m.tracker.stackSize(), 0);
    EXPECT_EQ (m.sink.last(), "release");
}

TEST (NoteTracker, NothingStartsWhileTheEngineIsNotReady)
{
    Midi m;
    m.sink.ready = false;
    m.on (60);
    EXPECT_EQ (m.tracker.currentNote(), -1);
    m.tracker.keyboardNoteOn (64, m.sink);
    EXPECT_EQ (m.tracker.keyboardNote(), 64);
    EXPECT_EQ (m.tracker.currentNote(), -1);
}

TEST (NoteTracker, IgnoresOtherMessagesAndShortData)
{
    Midi m;
    m.send (0xA0, 60, 100); // aftertouch
    m.send (0xC0, 5, 0);    // program change
    m.cc (7, 100);          // volume
    const std::uint8_t two[] = { 0x90, 60 };
    m.tracker.handleMidi (two, 2, false, m.sink);
    m.tracker.handleMidi (nullptr, 0, false, m.sink);
    EXPECT_TRUE (m.sink.calls.empty());
    EXPECT_EQ (m.tracker.stackSize(), 0);
}

TEST (NoteTracker, FrequencyOfNotes)
{
    EXPECT_DOUBLE_EQ (noteFrequency (69), 440.0);
    EXPECT_NEAR (noteFrequency (60), 261.6255653, 1e-6);
}
