#include "host/AudioChecks.h"
#include "host/StateFiles.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

namespace brivola::host
{

namespace
{
/** Component bytes as JUCE's VST3 wrapper writes them: the plug-in's bytes, then int64 0, a
    private ValueTree, int64 size of that tree and the magic text. */
juce::MemoryBlock withWrapperSection (const juce::MemoryBlock& own)
{
    juce::MemoryOutputStream out;
    out.write (own.getData(), own.getSize());

    juce::MemoryOutputStream extra;
    extra.writeInt64 (0);
    juce::ValueTree privateData ("JUCEPrivateData");
    privateData.setProperty ("Bypass", false, nullptr);
    privateData.writeToStream (extra);
    const auto privateSize = (juce::int64) (extra.getDataSize() - sizeof (juce::int64));
    extra.writeInt64 (privateSize);
    extra << "JUCEPrivateData";

    out.write (extra.getData(), extra.getDataSize());
    return out.getMemoryBlock();
}
} // namespace

TEST (StateFiles, StripsTheWrapperSectionAndLeavesOtherBytesAlone)
{
    const juce::MemoryBlock own ("<brivola filter=\"0.5\"/>", 23);
    const auto stripped = stripWrapperSection (withWrapperSection (own));
    ASSERT_TRUE (stripped.has_value());
    EXPECT_EQ (*stripped, own);

    EXPECT_EQ (stripWrapperSection (own).value_or (juce::MemoryBlock()), own);

    const juce::MemoryBlock empty;
    EXPECT_EQ (stripWrapperSection (empty).value_or (juce::MemoryBlock ("x", 1)), empty);
}

TEST (StateFiles, RefusesAWrapperSectionWhoseSizeOverrunsTheBytes)
{
    auto bytes = withWrapperSection (juce::MemoryBlock ("abc", 3));
    const auto magicLength = std::strlen ("JUCEPrivateData");
    const juce::int64 huge = 1 << 20;
    bytes.copyFrom (&huge, bytes.getSize() - magicLength - sizeof (juce::int64), sizeof (juce::int64));
    EXPECT_FALSE (stripWrapperSection (bytes).has_value());
}

TEST (StateFiles, WrapsRawBytesIntoAHostStateThatGivesThemBack)
{
    juce::MemoryBlock own;

    for (int i = 0; i < 1000; ++i)
        own.append (&i, 1); // every byte value, including zeros

    const auto host = wrapAsHostState (own);
    EXPECT_TRUE (isHostState (host));
    EXPECT_FALSE (isHostState (own));

    const auto component = extractComponentState (host);
    ASSERT_TRUE (component.has_value());
    EXPECT_EQ (*component, own);

    // A file of raw bytes is wrapped; a file holding a host state is taken as it is.
    const auto rawFile = juce::File::createTempFile (".state");
    const auto hostFile = juce::File::createTempFile (".state");
    juce::String error;
    ASSERT_TRUE (writeBytes (rawFile, own, error));
    ASSERT_TRUE (writeBytes (hostFile, host, error));

    bool wasHost = true;
    EXPECT_EQ (readStateFile (rawFile, wasHost, error).value_or (juce::MemoryBlock()), host);
    EXPECT_FALSE (wasHost);
    EXPECT_EQ (readStateFile (hostFile, wasHost, error).value_or (juce::MemoryBlock()), host);
    EXPECT_TRUE (wasHost);

    rawFile.deleteFile();
    hostFile.deleteFile();

    EXPECT_FALSE (readStateFile (juce::File ("/nonexistent/s.state"), wasHost, error).has_value());
}

TEST (SampleCheck, FindsNonFiniteAndSubnormalSamplesOnlyInTheCheckedRange)
{
    const struct
    {
        float value;
        bool bad;
        bool nonFinite;
    } cases[] = {
        { 0.0f, false, false },
        { -0.0f, false, false },
        { 1.0f, false, false },
        { -1.0e30f, false, false },
        { FLT_MIN, false, false },
        { -FLT_MIN, false, false },
        { FLT_MIN / 2.0f, true, false },
        { -FLT_TRUE_MIN, true, false },
        { std::numeric_limits<float>::infinity(), true, true },
        { -std::numeric_limits<float>::infinity(), true, true },
        { std::numeric_limits<float>::quiet_NaN(), true, true },
    };

    for (const auto& c : cases)
    {
        juce::AudioBuffer<float> buffer (3, 64);
        buffer.clear();
        buffer.setSample (1, 37, c.value);

        const auto bad = findBadSample (buffer, 2, 64);
        EXPECT_EQ (bad.has_value(), c.bad) << c.value;

        if (bad.has_value())
        {
            EXPECT_EQ (bad->channel, 1);
            EXPECT_EQ (bad->index, 37);
            EXPECT_EQ (bad->nonFinite, c.nonFinite);
        }

        // Outside the checked channels or samples, nothing is reported.
        EXPECT_FALSE (findBadSample (buffer, 1, 64).has_value());
        EXPECT_FALSE (findBadSample (buffer, 2, 37).has_value());
    }
}

TEST (LevelMeter, MeasuresPeakAndRmsOverAllChannels)
{
    juce::AudioBuffer<float> buffer (2, 4);
    buffer.clear();
    buffer.setSample (0, 0, 0.5f);
    buffer.setSample (1, 3, -1.0f);

    LevelMeter meter;
    meter.add (buffer, 2, 4);
    EXPECT_FLOAT_EQ (meter.peak, 1.0f);
    EXPECT_NEAR (meter.rms(), std::sqrt ((0.25 + 1.0) / 8.0), 1e-12);
    EXPECT_EQ (toDecibelText (0.0), "-inf");
    EXPECT_EQ (toDecibelText (1.0), "0.00");
}

} // namespace brivola::host
