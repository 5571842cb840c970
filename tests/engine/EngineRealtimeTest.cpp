// Everything the audio thread calls on an engine must work without the heap (allocations are
// counted per thread by tests/support/AllocationCounter).

#include "EngineTestSupport.h"

#include "support/AllocationCounter.h"

#include <gtest/gtest.h>

#include <cstdlib>

using AllocationCount = brivola::test::ScopedAllocationCounter;

using namespace brivola;

TEST (EngineRealtime, AudioThreadWorkAllocatesNothing)
{
    SynthEngine engine;
    engine.prepare (48000.0);
    DishCells cells {};
    for (int i = 0; i < dishCapacity; ++i)
    {
        cells[static_cast<std::size_t> (i)] = test::liveCell (i, i % 16 - 1, i % 8, 1.0 + i % 3, 0.03 * i - 0.3, 0.2);
        cells[static_cast<std::size_t> (i)].proximity = 0.4;
    }
    std::vector<double> l (4096), r (4096);

    AllocationCount counter;
    SoundParams p;
    p[SoundParams::attack] = 0.3;
    p[SoundParams::detune] = 1.0;
    engine.applyParams (p);
    engine.updateFromDish (cells, true);
    engine.noteOn (cells, false, 261.63, 0.9);
    for (int block = 0; block < 20; ++block)
    {
        engine.render (l.data(), r.data(), 800);
        engine.updateFromDish (cells, false);
        engine.firePing (2);
        engine.advancePingClock (800);
        if (block == 5)
        {
            engine.startOneShot (TimbreSelectors { 1, 2, 1 }, 0.4);
            engine.setBend (1.1);
            engine.setModulation (0.2);
            cells[3] = Cell {};
            cells[4] = test::liveCell (900, 6, 3);
        }
        if (block == 10)
            engine.noteOn (cells, true, 330.0, 1.0);
        if (engine.chimesActive())
            engine.renderOneShotsAndPings (l.data(), r.data(), 800);
    }
    engine.gateOff();
    engine.releaseAll();
    engine.releaseAllFast();
    engine.releaseEachAfterAttack();
    engine.releaseOneShots();
    engine.render (l.data(), r.data(), 4096);
    (void) engine.anySounding();
    (void) engine.takeVoicePeak (3);
    engine.reset();
    engine.freeVoices();
    EXPECT_EQ (counter.count(), 0u);
}
