#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace brivola::host
{

/** A MIDI message at an absolute sample position. */
struct TimedMidi
{
    std::int64_t sample = 0;
    juce::MidiMessage message;
};

/** Sorted events to render, with the time they span. */
struct MidiSchedule
{
    std::vector<TimedMidi> events;   ///< ordered by sample; equal positions keep their source order
    std::int64_t endSample = 0;      ///< one past the last event's position (0 without events)
};

/** The sample position of a time in seconds (rounded to the nearest sample). */
std::int64_t secondsToSample (double seconds, double sampleRate) noexcept;

/** Reads a standard MIDI file: all tracks merged, the tempo map turned into seconds, meta events
    dropped, each event placed at its rounded sample position. Nothing, with `error`, on failure. */
std::optional<MidiSchedule> loadMidiFile (const juce::File& file, double sampleRate, juce::String& error);

/** A generated pattern by name ("single", "scale", "demo", "hold"); nothing for an unknown name. */
std::optional<MidiSchedule> makeTestPattern (const juce::String& name, double sampleRate);

/** The names makeTestPattern knows. */
juce::StringArray testPatternNames();

/** Builds a schedule from events in seconds (stable-sorted by time). */
MidiSchedule scheduleFromSeconds (const std::vector<std::pair<double, juce::MidiMessage>>& events, double sampleRate);

/** Walks a schedule block by block: `collect` adds the events in [start, start + numSamples) to
    `block` at their offsets within the block, each event exactly once, in order. */
class MidiBlockCursor
{
public:
    explicit MidiBlockCursor (const MidiSchedule& scheduleIn) : schedule (scheduleIn) {}

    /** Adds the events of the block starting at `start` and returns how many were added. Events
        before `start` that were never collected (a cursor moved past them) are skipped. */
    int collect (std::int64_t start, int numSamples, juce::MidiBuffer& block);

    /** Events not yet collected. */
    size_t remaining() const noexcept { return schedule.events.size() - next; }

private:
    const MidiSchedule& schedule;
    size_t next = 0;
};

} // namespace brivola::host
