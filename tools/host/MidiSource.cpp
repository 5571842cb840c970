#include "MidiSource.h"

#include <algorithm>
#include <cmath>

namespace brivola::host
{

std::int64_t secondsToSample (double seconds, double sampleRate) noexcept
{
    if (! std::isfinite (seconds) || seconds <= 0.0)
        return 0;

    return (std::int64_t) std::llround (seconds * sampleRate);
}

MidiSchedule scheduleFromSeconds (const std::vector<std::pair<double, juce::MidiMessage>>& events, double sampleRate)
{
    MidiSchedule schedule;
    schedule.events.reserve (events.size());

    for (const auto& [seconds, message] : events)
        schedule.events.push_back ({ secondsToSample (seconds, sampleRate), message });

    std::stable_sort (schedule.events.begin(), schedule.events.end(),
                      [] (const TimedMidi& a, const TimedMidi& b) { return a.sample < b.sample; });

    schedule.endSample = schedule.events.empty() ? 0 : schedule.events.back().sample + 1;
    return schedule;
}

std::optional<MidiSchedule> loadMidiFile (const juce::File& file, double sampleRate, juce::String& error)
{
    juce::FileInputStream stream (file);

    if (! stream.openedOk())
    {
        error = "cannot open MIDI file " + file.getFullPathName();
        return std::nullopt;
    }

    juce::MidiFile midi;
    int fileType = 0;

    if (! midi.readFrom (stream, true, &fileType))
    {
        error = "not a standard MIDI file: " + file.getFullPathName();
        return std::nullopt;
    }

    midi.convertTimestampTicksToSeconds();

    std::vector<std::pair<double, juce::MidiMessage>> events;

    // Tracks one after another, so that equal times keep track order, then file order.
    for (int t = 0; t < midi.getNumTracks(); ++t)
    {
        const auto* track = midi.getTrack (t);

        for (int e = 0; e < track->getNumEvents(); ++e)
        {
            const auto& message = track->getEventPointer (e)->message;

            if (message.isMetaEvent())
                continue;

            events.emplace_back (message.getTimeStamp(), message);
        }
    }

    return scheduleFromSeconds (events, sampleRate);
}

juce::StringArray testPatternNames() { return { "single", "scale", "demo", "hold" }; }

std::optional<MidiSchedule> makeTestPattern (const juce::String& name, double sampleRate)
{
    using juce::MidiMessage;
    std::vector<std::pair<double, MidiMessage>> events;

    auto note = [&events] (double start, double length, int number, int velocity)
    {
        events.emplace_back (start, MidiMessage::noteOn (1, number, (juce::uint8) velocity));
        events.emplace_back (start + length, MidiMessage::noteOff (1, number, (juce::uint8) 64));
    };

    if (name == "single")
    {
        note (0.0, 1.0, 60, 100);
    }
    else if (name == "scale")
    {
        const int steps[] = { 60, 62, 64, 65, 67, 69, 71, 72 };

        for (int i = 0; i < 8; ++i)
            note (0.25 * i, 0.2, steps[i], 100);
    }
    else if (name == "hold")
    {
        // One note held for a minute, e.g. to watch the editor's scope.
        note (0.0, 60.0, 57, 100);
    }
    else if (name == "demo")
    {
        // A short phrase with overlapping notes, a modulation sweep, the sustain pedal and pitch bend.
        note (0.0, 0.5, 60, 100);
        note (0.5, 0.5, 64, 90);
        note (1.0, 0.5, 67, 90);
        note (1.5, 1.0, 72, 110);
        note (2.5, 0.6, 55, 80);
        note (2.75, 0.5, 62, 70);
        note (3.0, 0.9, 67, 85);

        for (int i = 0; i <= 16; ++i)
            events.emplace_back (0.125 * i, MidiMessage::controllerEvent (1, 1, juce::jmin (127, i * 8)));

        events.emplace_back (2.5, MidiMessage::controllerEvent (1, 64, 127));
        events.emplace_back (3.8, MidiMessage::controllerEvent (1, 64, 0));
        events.emplace_back (3.2, MidiMessage::pitchWheel (1, 8192 + 2048));
        events.emplace_back (3.5, MidiMessage::pitchWheel (1, 8192));
    }
    else
    {
        return std::nullopt;
    }

    return scheduleFromSeconds (events, sampleRate);
}

int MidiBlockCursor::collect (std::int64_t start, int numSamples, juce::MidiBuffer& block)
{
    const auto end = start + numSamples;
    int added = 0;

    while (next < schedule.events.size() && schedule.events[next].sample < start)
        ++next;

    while (next < schedule.events.size() && schedule.events[next].sample < end)
    {
        const auto& e = schedule.events[next++];
        block.addEvent (e.message, (int) (e.sample - start));
        ++added;
    }

    return added;
}

} // namespace brivola::host
