// The dish running on an audio-like thread while the message thread works the collection: no seen
// species is lost.
#include "tests/collection/CollectionTestSupport.h"

#include <atomic>
#include <set>
#include <thread>

namespace brivola
{
namespace
{

using testing::FakeHost;
using testing::keyOf;
using testing::readDocument;
using testing::TempStoreFolder;

TEST (ConcurrencyTest, AudioTicksAndTimerWorkTogetherLoseNoDiscovery)
{
    TempStoreFolder folder;
    FakeHost host;
    Collection collection (host);
    host.place (-1, 0, -1, 0.0, 0.0);
    collection.loadSharedData (folder.path());

    std::atomic<bool> stop { false };
    std::thread audio ([&]
    {
        // Ticks in batches, as processBlock runs them, now and then emptying the dish.
        for (int batch = 0; ! stop.load(); ++batch)
        {
            {
                const juce::ScopedLock sl (host.lock);
                for (int t = 0; t < 4; ++t)
                {
                    dishStep (host.dish);
                    collection.autoDropTick (host.dish);
                }
                if (batch % 150 == 149)
                    markAllDying (host.dish);
                host.view.write (host.dish);
            }
            std::this_thread::yield();
        }
    });

    std::set<int> dropped;
    for (int second = 0; second < 150; ++second)
    {
        const int species = (second * 37) % speciesCount;
        const int pingsBefore = [&] { const juce::ScopedLock sl (host.lock); return host.pings; }();
        collection.dropPipette (juce::String (std::string (shapeName (species / 8))),
                                juce::String (std::string (colorString (species % 8))), 0.1, -0.1, 1.0, 0.0);
        {
            const juce::ScopedLock sl (host.lock);
            if (host.pings > pingsBefore)
                dropped.insert (species);
        }
        collection.setPipetteMode (second % 3 == 0);
        collection.runTimerWork();
        if (second % 10 == 5)
            collection.savePresetSlot (second % numPresetSlots);
        if (second % 10 == 8)
            collection.recallPresetSlot ((second + 7) % numPresetSlots);
    }
    stop = true;
    audio.join();

    // Whatever is still waiting is recorded by the next second.
    collection.runTimerWork();
    std::set<int> inDish;
    for (const auto& c : host.dish.cells)
        if (c.active && speciesIndex (c) >= 0)
            inDish.insert (speciesIndex (c));

    const auto document = readDocument (folder.path());
    ASSERT_FALSE (dropped.empty());
    for (const int s : dropped)
        EXPECT_EQ (document.discovered.count (keyOf (s / 8, s % 8)), 1u) << "dropped species " << s;
    for (const int s : inDish)
        EXPECT_EQ (document.discovered.count (keyOf (s / 8, s % 8)), 1u) << "species in the dish " << s;
    EXPECT_EQ (host.exchange.seenBits[0].load() | host.exchange.seenBits[1].load(), 0u);
}

} // namespace
} // namespace brivola
