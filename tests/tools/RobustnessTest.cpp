#include "host/EditorWindow.h"
#include "host/Robustness.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <csignal>

namespace brivola::host
{

namespace
{
enum class Fault
{
    none,
    nanAfter50Blocks,
    subnormalOutput,
    nanWhenBypassed,
    forgetsParameterOnRestore,
    breaksInSurround,
    secondInstanceRefused,
    crashesOnRestore,
    withEditor,         // well behaved, with a plain editor
    promisesNoEditor    // claims an editor but creates none
};

/** A parameter the way a plug-in instance hosts it. */
class FakeParameter final : public juce::AudioPluginInstance::HostedParameter
{
public:
    explicit FakeParameter (juce::String idIn) : id (std::move (idIn)) {}

    juce::String getParameterID() const override { return id; }
    float getValue() const override { return value.load(); }
    void setValue (float v) override { value.store (v); }
    float getDefaultValue() const override { return 0.0f; }
    juce::String getName (int) const override { return id; }
    juce::String getLabel() const override { return {}; }
    float getValueForText (const juce::String& t) const override { return t.getFloatValue(); }

private:
    juce::String id;
    std::atomic<float> value { 0.0f };
};

/** An in-process instrument that renders a quiet sine and misbehaves in one chosen way. */
class FakeInstrument final : public juce::AudioPluginInstance
{
public:
    explicit FakeInstrument (Fault faultIn)
        : juce::AudioPluginInstance (BusesProperties().withOutput ("Output", juce::AudioChannelSet::stereo(), true)),
          fault (faultIn)
    {
        for (const auto* id : { "a", "b", "c" })
            addHostedParameter (std::make_unique<FakeParameter> (id));
    }

    void fillInPluginDescription (juce::PluginDescription& d) const override { d.name = "Fake"; }
    const juce::String getName() const override { return "Fake"; }
    void prepareToPlay (double, int) override {}
    void releaseResources() override {}

    bool isBusesLayoutSupported (const BusesLayout& layouts) const override
    {
        const auto out = layouts.getMainOutputChannelSet();
        return out == juce::AudioChannelSet::mono() || out == juce::AudioChannelSet::stereo()
            || (fault == Fault::breaksInSurround && out == juce::AudioChannelSet::create5point1());
    }

    void processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&) override
    {
        render (buffer);

        if (fault == Fault::nanAfter50Blocks && ++blocks > 50)
            buffer.setSample (0, buffer.getNumSamples() / 2, std::numeric_limits<float>::quiet_NaN());

        if (fault == Fault::subnormalOutput && ++blocks > 10)
            buffer.setSample (buffer.getNumChannels() - 1, 0, FLT_MIN / 4.0f);

        if (fault == Fault::breaksInSurround && buffer.getNumChannels() == 6)
            buffer.setSample (5, 0, std::numeric_limits<float>::infinity());
    }

    void processBlockBypassed (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&) override
    {
        buffer.clear();

        if (fault == Fault::nanWhenBypassed)
            buffer.setSample (0, 0, std::numeric_limits<float>::quiet_NaN());
    }

    double getTailLengthSeconds() const override { return 0.0; }
    bool acceptsMidi() const override { return true; }
    bool producesMidi() const override { return false; }
    juce::AudioProcessorEditor* createEditor() override
    {
        if (fault != Fault::withEditor)
            return nullptr;

        auto* editor = new juce::GenericAudioProcessorEditor (*this);
        editor->setSize (300, 200);
        return editor;
    }

    bool hasEditor() const override { return fault == Fault::withEditor || fault == Fault::promisesNoEditor; }
    int getNumPrograms() override { return 1; }
    int getCurrentProgram() override { return 0; }
    void setCurrentProgram (int) override {}
    const juce::String getProgramName (int) override { return {}; }
    void changeProgramName (int, const juce::String&) override {}

    void getStateInformation (juce::MemoryBlock& data) override
    {
        juce::MemoryOutputStream out (data, false);

        for (auto* p : getParameters())
            out.writeFloat (p->getValue());
    }

    void setStateInformation (const void* data, int size) override
    {
        if (fault == Fault::crashesOnRestore)
            std::raise (SIGSEGV);

        juce::MemoryInputStream in (data, (size_t) size, false);

        for (auto* p : getParameters())
        {
            const auto value = in.readFloat();

            if (! (fault == Fault::forgetsParameterOnRestore && p->getName (8) == "b"))
                p->setValueNotifyingHost (value);
        }
    }

private:
    void render (juce::AudioBuffer<float>& buffer)
    {
        for (int i = 0; i < buffer.getNumSamples(); ++i)
        {
            const auto v = 0.1f * std::sin (phase);
            phase = std::fmod (phase + 0.05f, juce::MathConstants<float>::twoPi);

            for (int ch = 0; ch < buffer.getNumChannels(); ++ch)
                buffer.setSample (ch, i, v);
        }
    }

    Fault fault;
    int blocks = 0;
    float phase = 0.0f;
};

RobustnessReport runOn (Fault fault)
{
    const juce::ScopedJuceInitialiser_GUI framework;
    int created = 0;

    const InstanceFactory factory = [fault, &created] (juce::String& error) -> std::unique_ptr<HostedPlugin>
    {
        if (fault == Fault::secondInstanceRefused && ++created == 2)
        {
            error = "refused on purpose";
            return nullptr;
        }

        return std::make_unique<HostedPlugin> (std::make_unique<FakeInstrument> (fault));
    };

    RobustnessSettings settings;
    settings.seed = 7;
    settings.timeLimitSeconds = 2.0;
    settings.cycles = 2;

    const auto report = runRobustness (factory, settings, [] (const juce::String&) {});
    EXPECT_EQ (HostedPlugin::liveCount(), 0) << "an instance outlived the run";
    return report;
}
} // namespace

TEST (Robustness, AWellBehavedInstrumentPassesEveryPhase)
{
    const auto report = runOn (Fault::none);
    EXPECT_TRUE (report.passed) << report.phase << ": " << report.failure;
    EXPECT_EQ (report.phasesRun, 9);
    EXPECT_EQ (report.editorsSkipped, "the plug-in has no editor");
    EXPECT_EQ (report.editorsOpened, 0);
    EXPECT_GT (report.blocks, 0);
    EXPECT_GT (report.preparations, 9);
    EXPECT_EQ (report.instancesCreated, 2 + 2 + 1);
}

TEST (Robustness, FailsLoudlyOnEachKindOfFault)
{
    const struct
    {
        Fault fault;
        const char* phase; // nullptr: any phase
        const char* inFailure;
    } cases[] = {
        { Fault::nanAfter50Blocks, nullptr, "non-finite" },
        { Fault::subnormalOutput, nullptr, "subnormal" },
        { Fault::nanWhenBypassed, "sub-blocks", "processBlockBypassed" },
        { Fault::forgetsParameterOnRestore, "state", "\"b\"" },
        { Fault::breaksInSurround, "layouts", "5.1" },
        { Fault::secondInstanceRefused, "cycles", "refused on purpose" },
    };

    for (const auto& c : cases)
    {
        const auto report = runOn (c.fault);
        EXPECT_FALSE (report.passed) << c.inFailure;

        if (c.phase != nullptr)
        {
            EXPECT_EQ (report.phase, c.phase) << report.failure;
        }

        EXPECT_TRUE (report.failure.contains (c.inFailure)) << report.failure;
    }
}

// Opens real windows: needs a display (the test command provides one).
TEST (Robustness, OpensEditorsInWindowsAndCatchesAMissingOne)
{
    if (! canOpenWindows())
        GTEST_FAIL() << "no display: run under scripts/with-display.sh";

    const auto good = runOn (Fault::withEditor);
    EXPECT_TRUE (good.passed) << good.phase << ": " << good.failure;
    EXPECT_TRUE (good.editorsSkipped.isEmpty()) << good.editorsSkipped;
    // Three in a row, one with background writes, one with the state replaced, two short-lived.
    EXPECT_EQ (good.editorsOpened, 3 + 1 + 1 + 2);
    EXPECT_EQ (good.editorsReady, 0); // the fake answers no inspection interface: nothing to wait for
    EXPECT_EQ (good.instancesCreated, 2 + 2 + 1 + 2);

    const auto bad = runOn (Fault::promisesNoEditor);
    EXPECT_FALSE (bad.passed);
    EXPECT_EQ (bad.phase, "editors");
    EXPECT_TRUE (bad.failure.contains ("created no editor")) << bad.failure;
}

TEST (Robustness, NamesThePhaseWhenThePluginCrashes)
{
    GTEST_FLAG_SET (death_test_style, "threadsafe");
    EXPECT_DEATH (runOn (Fault::crashesOnRestore), "crashed \\(signal 11\\) in phase state");
}

} // namespace brivola::host
