#include "plugin/Parameters.h"
#include "plugin/PluginProcessor.h"

#include <gtest/gtest.h>

#include <limits>

using namespace brivola;

TEST (Parameters, TwelveParametersWithIdsNamesAndDefaultsInOrder)
{
    BrivolaAudioProcessor processor;
    const auto& params = processor.getParameters();
    ASSERT_EQ (params.size(), 12);
    const char* ids[] = { "filter", "attack", "chorus", "reverb", "sub", "sat", "delay", "width", "detune", "shimmer", "formant", "phaser" };
    const char* names[] = { "Filter", "Attack", "Chorus", "Reverb", "Sub Osc", "Saturation", "Delay", "Stereo Width", "Detune", "Shimmer", "Formant", "Phaser" };
    for (int i = 0; i < 12; ++i)
    {
        auto* p = dynamic_cast<juce::AudioParameterFloat*> (params[i]);
        ASSERT_NE (p, nullptr);
        EXPECT_EQ (p->getParameterID(), ids[i]);
        EXPECT_EQ (p->getName (64), names[i]);
        EXPECT_EQ (static_cast<juce::AudioProcessorParameter*> (p)->getDefaultValue(), 0.0f);
        EXPECT_EQ (p->get(), 0.0f);
        EXPECT_EQ (p->getVersionHint(), 1);
        EXPECT_EQ (p->range.start, 0.0f);
        EXPECT_EQ (p->range.end, 1.0f);
        EXPECT_EQ (p->range.interval, 0.0f);
        EXPECT_EQ (p->range.skew, 1.0f);
        EXPECT_TRUE (p->isAutomatable());
        EXPECT_FALSE (p->isMetaParameter());
        EXPECT_EQ (p->getLabel(), juce::String());
    }
    EXPECT_EQ (processor.getParameterTree().state.getType().toString(), "brivola");
}

TEST (Parameters, SnapshotSanitisesEveryValue)
{
    struct Case { double in; double out; };
    const Case cases[] = {
        { 1.7, 1.0 }, { std::numeric_limits<double>::quiet_NaN(), 0.0 }, { -0.25, 0.0 },
        { std::numeric_limits<double>::infinity(), 0.0 }, { -std::numeric_limits<double>::infinity(), 0.0 },
        { 0.0, 0.0 }, { 0.3, 0.3 }, { 1.0, 1.0 },
    };
    for (const auto& c : cases)
        EXPECT_EQ (sanitiseParam (c.in), c.out) << c.in;

    SoundParams p;
    p[SoundParams::reverb] = 1.7;
    p[SoundParams::filter] = std::numeric_limits<double>::quiet_NaN();
    const auto s = sanitised (p);
    EXPECT_EQ (s[SoundParams::reverb], 1.0);
    EXPECT_EQ (s[SoundParams::filter], 0.0);
}

TEST (Parameters, SnapshotReadsTheCurrentHostValues)
{
    BrivolaAudioProcessor processor;
    auto& params = processor.getParameterArray();
    params[SoundParams::attack]->setValueNotifyingHost (0.4f);
    params[SoundParams::phaser]->setValueNotifyingHost (1.0f);
    const auto snap = takeSnapshot (params);
    EXPECT_NEAR (snap[SoundParams::attack], 0.4, 1e-7);
    EXPECT_EQ (snap[SoundParams::phaser], 1.0);
    EXPECT_EQ (snap[SoundParams::filter], 0.0);
}

TEST (Parameters, EqualityTreatsNaNAsAChange)
{
    SoundParams a, b;
    EXPECT_TRUE (sameParams (a, b));
    b[SoundParams::delay] = 0.5;
    EXPECT_FALSE (sameParams (a, b));
    a[SoundParams::delay] = std::numeric_limits<double>::quiet_NaN();
    b[SoundParams::delay] = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE (sameParams (a, b));
}
