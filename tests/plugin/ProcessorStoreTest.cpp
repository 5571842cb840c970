#include "plugin/PluginProcessor.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace brivola;

namespace
{
/** Points the user's home (and so the shared store's folder) at a temporary folder. */
struct TemporaryHome
{
    juce::TemporaryFile folder;
    juce::String previous = juce::SystemStats::getEnvironmentVariable ("HOME", {});

    TemporaryHome()
    {
        folder.getFile().createDirectory();
        setenv ("HOME", folder.getFile().getFullPathName().toRawUTF8(), 1);
    }
    ~TemporaryHome()
    {
        setenv ("HOME", previous.toRawUTF8(), 1);
        folder.getFile().deleteRecursively();
    }
    juce::File storeFolder() const { return folder.getFile().getChildFile (".config/Brivola"); }
};

void pumpMessages (int ms)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (ms);
}
} // namespace

TEST (ProcessorStore, FirstPrepareOpensTheStoreInTheUsersFolder)
{
    TemporaryHome home;
    {
        BrivolaAudioProcessor p;
        EXPECT_FALSE (p.getCollection().isStoreReady());
        p.prepareToPlay (48000.0, 512);
        p.prepareToPlay (44100.0, 256); // posts nothing more
        pumpMessages (200);
        EXPECT_TRUE (p.getCollection().isStoreReady());
        EXPECT_TRUE (home.storeFolder().getChildFile ("brivola.shared.v1.json").existsAsFile());
    }
    // The instance is gone: a call it posted and that arrives late finds nothing to do.
    {
        auto p = std::make_unique<BrivolaAudioProcessor>();
        p->prepareToPlay (48000.0, 512);
        p.reset();
        pumpMessages (100);
    }
}

TEST (ProcessorStore, SpeciesSeenInTheDishAreSharedWithAnotherInstance)
{
    TemporaryHome home;
    BrivolaAudioProcessor a, b;
    a.prepareToPlay (48000.0, 512);
    b.prepareToPlay (48000.0, 512);
    pumpMessages (200);

    // A spade of colour 4 enters a's dish.
    {
        const juce::ScopedLock sl (a.getCallbackLock());
        ASSERT_NE (placeCell (a.getDish(), 0, 4, -1, 0.1, 0.1, 3.0), noSlot);
    }
    juce::AudioBuffer<float> buffer (2, 512);
    juce::MidiBuffer midi;
    a.processBlock (buffer, midi);

    // Within a few timer seconds both instances know it as discovered.
    bool seen = false;
    for (int i = 0; i < 40 && ! seen; ++i)
    {
        pumpMessages (250);
        seen = b.getCollection().getDiscoveredKeys().contains ("spade|#FCDA6F");
    }
    EXPECT_TRUE (seen);
    EXPECT_TRUE (a.getCollection().getDiscoveredKeys().contains ("spade|#FCDA6F"));
}
