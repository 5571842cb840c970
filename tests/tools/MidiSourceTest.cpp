#include "host/MidiSource.h"
#include "host/Renderer.h"

#include <gtest/gtest.h>

namespace brivola::host
{

TEST (MidiBlockCursor, DeliversEveryEventOnceAtItsExactSampleWithIrregularBlocks)
{
    // Events at block edges, inside blocks, and several on the same sample (kept in order).
    std::vector<std::pair<double, juce::MidiMessage>> events;
    const std::int64_t positions[] = { 0, 1, 7, 8, 135, 136, 4231, 4232, 4232, 4232, 9999, 12000 };
    int tag = 0;

    for (const auto p : positions)
        events.emplace_back ((double) p / 48000.0, juce::MidiMessage::noteOn (1, tag++ % 128, (juce::uint8) 100));

    const auto schedule = scheduleFromSeconds (events, 48000.0);
    ASSERT_EQ (schedule.endSample, 12001);

    MidiBlockCursor cursor (schedule);
    BlockPattern pattern ({ 1, 7, 128, 4096 });
    EXPECT_EQ (pattern.largest(), 4096);

    std::vector<std::pair<std::int64_t, int>> delivered;
    std::int64_t start = 0;

    while (start < 13000)
    {
        const auto n = pattern.next (13000 - start);
        juce::MidiBuffer block;
        cursor.collect (start, n, block);

        for (const auto metadata : block)
        {
            EXPECT_LT (metadata.samplePosition, n);
            delivered.emplace_back (start + metadata.samplePosition, metadata.getMessage().getNoteNumber());
        }

        start += n;
    }

    EXPECT_EQ (start, 13000); // the last block is cut to what remains
    ASSERT_EQ (delivered.size(), std::size (positions));

    for (size_t i = 0; i < delivered.size(); ++i)
    {
        EXPECT_EQ (delivered[i].first, positions[i]) << "event " << i;
        EXPECT_EQ (delivered[i].second, (int) i) << "event " << i << " out of order";
    }

    EXPECT_EQ (cursor.remaining(), 0u);
}

TEST (MidiFileLoading, HonoursTheTempoMapMergesTracksAndDropsMetaEvents)
{
    // 480 ticks per quarter; 120 bpm for four beats, then 60 bpm.
    juce::MidiMessageSequence tempoTrack;
    tempoTrack.addEvent (juce::MidiMessage::tempoMetaEvent (500000), 0.0);
    tempoTrack.addEvent (juce::MidiMessage::tempoMetaEvent (1000000), 4 * 480.0);
    tempoTrack.addEvent (juce::MidiMessage::textMetaEvent (1, "marker"), 0.0);

    juce::MidiMessageSequence notes;
    notes.addEvent (juce::MidiMessage::noteOn (2, 60, (juce::uint8) 90), 480.0);      // beat 1: 0.5 s
    notes.addEvent (juce::MidiMessage::noteOff (2, 60, (juce::uint8) 0), 5 * 480.0);  // beat 5: 2.0 + 1.0 s
    notes.addEvent (juce::MidiMessage::controllerEvent (2, 64, 127), 4 * 480.0);      // beat 4: 2.0 s

    juce::MidiFile file;
    file.setTicksPerQuarterNote (480);
    file.addTrack (tempoTrack);
    file.addTrack (notes);

    const auto path = juce::File::createTempFile (".mid");
    {
        juce::FileOutputStream out (path);
        ASSERT_TRUE (out.openedOk());
        ASSERT_TRUE (file.writeTo (out));
    }

    juce::String error;
    const auto schedule = loadMidiFile (path, 48000.0, error);
    path.deleteFile();
    ASSERT_TRUE (schedule.has_value()) << error;

    ASSERT_EQ (schedule->events.size(), 3u);
    EXPECT_EQ (schedule->events[0].sample, 24000);
    EXPECT_TRUE (schedule->events[0].message.isNoteOn());
    EXPECT_EQ (schedule->events[1].sample, 96000);
    EXPECT_TRUE (schedule->events[1].message.isController());
    EXPECT_EQ (schedule->events[2].sample, 144000);
    EXPECT_TRUE (schedule->events[2].message.isNoteOff());
    EXPECT_EQ (schedule->endSample, 144001);
}

TEST (MidiFileLoading, ReportsFilesThatAreNotMidi)
{
    const auto path = juce::File::createTempFile (".mid");
    path.replaceWithText ("not a MIDI file");
    juce::String error;
    EXPECT_FALSE (loadMidiFile (path, 48000.0, error).has_value());
    EXPECT_TRUE (error.isNotEmpty());
    path.deleteFile();

    EXPECT_FALSE (loadMidiFile (juce::File ("/nonexistent/x.mid"), 48000.0, error).has_value());
}

TEST (TestPatterns, EveryNoteOnHasALaterNoteOffAndUnknownNamesAreRefused)
{
    for (const auto& name : testPatternNames())
    {
        const auto schedule = makeTestPattern (name, 44100.0);
        ASSERT_TRUE (schedule.has_value()) << name;

        std::map<int, std::int64_t> open;
        int notes = 0;

        for (const auto& e : schedule->events)
        {
            if (e.message.isNoteOn())
            {
                EXPECT_EQ (open.count (e.message.getNoteNumber()), 0u) << name;
                open[e.message.getNoteNumber()] = e.sample;
                ++notes;
            }
            else if (e.message.isNoteOff())
            {
                ASSERT_EQ (open.count (e.message.getNoteNumber()), 1u) << name;
                EXPECT_GT (e.sample, open[e.message.getNoteNumber()]) << name;
                open.erase (e.message.getNoteNumber());
            }
        }

        EXPECT_GT (notes, 0) << name;
        EXPECT_TRUE (open.empty()) << name;
    }

    EXPECT_FALSE (makeTestPattern ("nope", 48000.0).has_value());
}

TEST (SecondsToSample, RoundsToTheNearestSample)
{
    EXPECT_EQ (secondsToSample (0.0, 48000.0), 0);
    EXPECT_EQ (secondsToSample (-1.0, 48000.0), 0);
    EXPECT_EQ (secondsToSample (1.0, 44100.0), 44100);
    EXPECT_EQ (secondsToSample (1.0 / 48000.0 * 0.49, 48000.0), 0);
    EXPECT_EQ (secondsToSample (1.0 / 48000.0 * 0.51, 48000.0), 1);
}

} // namespace brivola::host
