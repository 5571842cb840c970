#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace brivola
{

/** What the note tracker asks of the engine it serves. The processor implements it over the main
    engine; tests record the calls. All calls happen with the processor's callback lock held. */
struct NoteSink
{
    virtual ~NoteSink() = default;

    /** Starts (or glides to) a note for the whole dish. Returns false when nothing may start
        (the processor is not prepared); the current note then stays as it was. */
    virtual bool startNote (int note, bool legato, float velocity) noexcept = 0;
    /** Gates the engine off and releases the voices that are still in attack, decay or sustain. */
    virtual void releaseNotes() noexcept = 0;
    /** Gates the engine off and releases every voice: in 8 ms when `fast`, else normally. */
    virtual void releaseEverything (bool fast) noexcept = 0;
    virtual void setModulation (double depth) noexcept = 0;
    virtual void setBend (double ratio) noexcept = 0;
};

//==============================================================================
/** Merges MIDI keys, the sustain pedal and the page's on-screen key into one pitch for the dish.

    The most recently pressed key that is still held (or kept by the pedal) wins; the on-screen key
    overrides every MIDI key. A fixed-size value: nothing here allocates or blocks. */
class NoteTracker
{
public:
    NoteTracker() noexcept { clear(); }

    /** Handles one MIDI message of at most 3 bytes (channel ignored). Note-ons are ignored while
        `bypassed`; everything else still acts. */
    void handleMidi (const std::uint8_t* data, int size, bool bypassed, NoteSink& sink) noexcept;

    /** The page's key went down (note clamped to 0..127). */
    void keyboardNoteOn (int note, NoteSink& sink) noexcept;
    /** The page's key went up: the held MIDI keys resume, legato, or every voice releases. */
    void keyboardNoteOff (NoteSink& sink) noexcept;

    /** Empties the stack, lifts the pedal, clears the held and sustained marks, resets every
        velocity to 1 and forgets the keyboard and current notes. Calls nothing on the engine. */
    void clear() noexcept;

    /** The note the engine plays, −1 for none; safe to read from any thread. */
    int currentNote() const noexcept { return current.load(); }
    int keyboardNote() const noexcept { return keyboard; }
    bool pedalDown() const noexcept { return pedal; }
    int stackSize() const noexcept { return stackCount; }
    /** The most recent note of the stack, −1 when empty. */
    int topOfStack() const noexcept { return stackCount > 0 ? stack[(std::size_t) stackCount - 1] : -1; }
    float velocity (int note) const noexcept { return velocities[(std::size_t) (note & 127)]; }
    bool isHeld (int note) const noexcept { return held[(std::size_t) (note & 127)]; }
    bool isSustained (int note) const noexcept { return sustained[(std::size_t) (note & 127)]; }

    /** Starts a note through the sink and makes it the current note when it started. */
    void startNote (int note, bool legato, float velocity, NoteSink& sink) noexcept;
    /** Releases the notes through the sink; the current note becomes −1. */
    void releaseNotes (NoteSink& sink) noexcept;
    /** After a change to the stack or the keyboard note: the keyboard note, else the top of the
        stack, else release. */
    void resume (bool legato, NoteSink& sink) noexcept;

private:
    void removeFromStack (int note) noexcept;
    void pushOnStack (int note) noexcept;
    void liftPedal (NoteSink& sink) noexcept;

    std::array<std::uint8_t, 128> stack {};
    int stackCount = 0;
    std::array<float, 128> velocities {};
    std::array<bool, 128> held {};
    std::array<bool, 128> sustained {};
    bool pedal = false;
    int keyboard = -1;
    std::atomic<int> current { -1 };
};

/** Frequency of a MIDI note: 440 × 2^((note − 69) / 12). */
double noteFrequency (int note) noexcept;

} // namespace brivola
