#include "host/Parameters.h"

#include <gtest/gtest.h>

namespace brivola::host
{

namespace
{
/** A parameter as JUCE's VST3 hosting presents it: its id is the VST3 parameter id as text. */
class HostedLikeParameter final : public juce::HostedAudioProcessorParameter
{
public:
    HostedLikeParameter (juce::String idIn, juce::String nameIn, bool automatableIn)
        : id (std::move (idIn)), name (std::move (nameIn)), automatable (automatableIn) {}

    juce::String getParameterID() const override { return id; }
    float getValue() const override { return value; }
    void setValue (float v) override { value = v; }
    float getDefaultValue() const override { return 0.0f; }
    juce::String getName (int) const override { return name; }
    juce::String getLabel() const override { return {}; }
    float getValueForText (const juce::String& t) const override { return t.getFloatValue(); }
    bool isAutomatable() const override { return automatable; }

private:
    juce::String id, name;
    bool automatable;
    float value = 0.0f;
};

/** The smallest processor that holds parameters. */
class ParameterHolder final : public juce::AudioProcessor
{
public:
    ParameterHolder() : juce::AudioProcessor (BusesProperties()) {}

    void add (juce::String id, juce::String name, bool automatable = true)
    {
        addParameter (new HostedLikeParameter (std::move (id), std::move (name), automatable));
    }

    const juce::String getName() const override { return "holder"; }
    void prepareToPlay (double, int) override {}
    void releaseResources() override {}
    void processBlock (juce::AudioBuffer<float>&, juce::MidiBuffer&) override {}
    double getTailLengthSeconds() const override { return 0.0; }
    bool acceptsMidi() const override { return false; }
    bool producesMidi() const override { return false; }
    juce::AudioProcessorEditor* createEditor() override { return nullptr; }
    bool hasEditor() const override { return false; }
    int getNumPrograms() override { return 1; }
    int getCurrentProgram() override { return 0; }
    void setCurrentProgram (int) override {}
    const juce::String getProgramName (int) override { return {}; }
    void changeProgramName (int, const juce::String&) override {}
    void getStateInformation (juce::MemoryBlock&) override {}
    void setStateInformation (const void*, int) override {}
};

juce::String vst3IdFor (const char* stringId)
{
    return juce::String ((juce::uint32) juce::VST3ClientExtensions::convertJuceParameterId (stringId, true));
}

class ParameterLookup : public ::testing::Test
{
protected:
    void SetUp() override
    {
        holder.add (vst3IdFor ("filter"), "Filter");
        holder.add (vst3IdFor ("attack"), "Attack");
        holder.add ("7", "Twin");
        holder.add ("8", "twin");
        holder.add ("1000", "MIDI CC 0|1", false);
    }

    juce::AudioProcessorParameter* find (const char* reference)
    {
        error = {};
        return findParameter (holder, reference, error);
    }

    ParameterHolder holder;
    juce::String error;
};
} // namespace

TEST_F (ParameterLookup, FindsByIndexVst3IdStringIdAndName)
{
    const auto& params = holder.getParameters();

    const struct
    {
        const char* reference;
        int index;
    } cases[] = {
        { "#0", 0 },
        { "#4", 4 },
        { "filter", 0 },               // the plug-in's string id, through the wrapper's hash
        { "attack", 1 },
        { "7", 2 },                    // VST3 id as text
        { "ATTACK", 1 },               // not a string id (those are case-sensitive) but the name "Attack"
        { "fIlTeR", 0 },
        { "midi cc 0|1", 4 },
    };

    for (const auto& c : cases)
    {
        auto* p = find (c.reference);
        ASSERT_NE (p, nullptr) << c.reference << ": " << error;
        EXPECT_EQ (p, params[c.index]) << c.reference;
    }
}

TEST_F (ParameterLookup, ReportsUnknownAmbiguousAndOutOfRangeReferences)
{
    for (const auto* reference : { "#5", "#-1", "#", "#x", "nothing", "twin" })
    {
        EXPECT_EQ (find (reference), nullptr) << reference;
        EXPECT_TRUE (error.isNotEmpty()) << reference;
    }

    EXPECT_TRUE (error.contains ("matches 2")); // "twin" names two parameters
}

TEST_F (ParameterLookup, CatalogueSeparatesTheHiddenMidiControllerParameters)
{
    const auto catalogue = catalogueParameters (holder);
    EXPECT_EQ (catalogue.all.size(), 5u);
    EXPECT_EQ (catalogue.own.size(), 4u);
    ASSERT_EQ (catalogue.midiControllers.size(), 1u);
    EXPECT_EQ (catalogue.midiControllers[0]->getName (64), "MIDI CC 0|1");
    EXPECT_EQ (catalogue.bypass, nullptr);
}

} // namespace brivola::host
