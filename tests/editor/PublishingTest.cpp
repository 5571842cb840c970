// The publishing tick with a hand-driven clock and window and a capture of what is sent.
#include "EditorTestSupport.h"

#include "editor/PublishSteps.h"
#include "plugin/PluginProcessor.h"

#include <gtest/gtest.h>

using namespace brivola;
using namespace brivola::test;

namespace
{
constexpr double tickMs = 1000.0 / 60.0;

struct Publishing : ::testing::Test
{
    BrivolaAudioProcessor processor;
    FakeWindow window;
    PageBridge bridge { processor, window };

    void SetUp() override { processor.prepareToPlay (44100.0, 512); }
    void TearDown() override { processor.releaseResources(); }

    void tick (double ms = 16.0)
    {
        window.now += ms;
        bridge.tick();
    }

    void render (int blocks = 1)
    {
        juce::AudioBuffer<float> buffer (2, 512);
        juce::MidiBuffer midi;
        for (int i = 0; i < blocks; ++i)
            processor.processBlock (buffer, midi);
    }
};
} // namespace

TEST_F (Publishing, TheFirstTickSendsEverythingThenAnIdleEditorSendsNothing)
{
    // Offline: the dish is not stepped on wall-clock time while no block comes, so it stays still.
    processor.setNonRealtime (true);
    tick();
    const auto frame = window.last ("frame");
    EXPECT_EQ (static_cast<int> (frame["state"]["note"]), -1);
    EXPECT_EQ (frame["fx"].getDynamicObject()->getProperties().size(), 12);
    EXPECT_TRUE (frame["light"].isObject());
    EXPECT_TRUE (frame["cells"]["cells"].isArray());
    EXPECT_EQ (window.names(), (std::vector<std::string> { "frame", "pipette", "presets", "hostPaused" }));
    EXPECT_FALSE (static_cast<bool> (window.last ("hostPaused")["paused"]));

    // Nothing moves: the next ticks stay silent, except the first statistics check (the 30th
    // tick), which has never sent any; no cells change without processBlock, the pause needs 1.5 s.
    window.sent.clear();
    for (int i = 0; i < 40; ++i)
        tick();
    EXPECT_EQ (window.names(), (std::vector<std::string> { "stats" }));
    window.sent.clear();
    for (int i = 0; i < 40; ++i)
        tick();
    EXPECT_TRUE (window.sent.empty()) << (window.sent.empty() ? std::string() : window.sent.front().first);
}

TEST_F (Publishing, FaderChangesBelowTheThresholdStayQuiet)
{
    auto* reverb = processor.getParameterArray()[3];
    reverb->setValueNotifyingHost (0.5f);
    tick();
    window.sent.clear();

    reverb->setValueNotifyingHost (0.50005f);
    tick();
    EXPECT_EQ (window.count ("frame"), 0);

    reverb->setValueNotifyingHost (0.5002f);
    tick();
    const auto fx = window.last ("frame")["fx"];
    ASSERT_TRUE (fx.isObject());
    EXPECT_EQ (fx.getDynamicObject()->getProperties().size(), 1);
    EXPECT_NEAR (static_cast<double> (fx["reverb"]), 0.5002, 1e-7);
}

TEST_F (Publishing, NoteChangesGoOutInTheFrame)
{
    tick();
    processor.keyboardNoteOn (67);
    window.sent.clear();
    tick();
    EXPECT_EQ (static_cast<int> (window.last ("frame")["state"]["note"]), 67);
    window.sent.clear();
    tick();
    EXPECT_EQ (window.count ("frame"), 0);
}

TEST_F (Publishing, WindowMovesSloshTheDishAndPublishDeltas)
{
    tick();
    window.sent.clear();
    window.position += juce::Point<int> { 10, 0 };
    tick (tickMs);
    const auto frame = window.last ("frame");
    EXPECT_EQ (static_cast<int> (frame["window"]["dx"]), 10);
    EXPECT_EQ (static_cast<int> (frame["window"]["dy"]), 0);
    EXPECT_TRUE (frame["light"].isObject()); // the bounds moved
    EXPECT_NEAR (bridge.getWindowMotion().vx, 0.04, 1e-12);
    const juce::ScopedLock sl (processor.getCallbackLock());
    EXPECT_TRUE (processor.getDish().sloshActive);
}

TEST (WindowMotion, VelocityFollowsHalvesAndSnapsToRest)
{
    WindowMotion motion;
    double t = 1000.0;
    EXPECT_FALSE (stepWindowMotion (motion, 100, 50, t).slosh); // remembers the first position

    t += tickMs;
    auto step = stepWindowMotion (motion, 110, 50, t);
    EXPECT_TRUE (step.moved);
    EXPECT_EQ (step.dx, 10);
    EXPECT_EQ (step.dy, 0);
    ASSERT_TRUE (step.slosh);
    EXPECT_NEAR (step.sloshX, 0.04, 1e-12);
    EXPECT_EQ (step.sloshY, 0.0);

    // Still ticks: the velocity halves with a slosh call each time, until it drops below 0.0001
    // and snaps to 0 with one last (negative) call.
    double expected = 0.04;
    int calls = 0;
    for (;;)
    {
        t += tickMs;
        step = stepWindowMotion (motion, 110, 50, t);
        EXPECT_FALSE (step.moved);
        ASSERT_TRUE (step.slosh);
        ++calls;
        const double next = expected / 2.0;
        if (next < 0.0001)
        {
            EXPECT_EQ (motion.vx, 0.0);
            EXPECT_NEAR (step.sloshX, -expected, 1e-15);
            break;
        }
        EXPECT_NEAR (motion.vx, next, 1e-15);
        EXPECT_NEAR (step.sloshX, next - expected, 1e-15);
        expected = next;
    }
    EXPECT_EQ (calls, 9); // 0.02, 0.01, …, 0.00015625, then the snap
    t += tickMs;
    EXPECT_FALSE (stepWindowMotion (motion, 110, 50, t).slosh);
}

TEST (WindowMotion, LateTicksWidenTheDivisor)
{
    struct Row
    {
        double gapMs;
        int move;
        double divisor;
    };
    for (const auto& row : { Row { 60.0, 30, 450.0 }, Row { tickMs, 30, 125.0 }, Row { 1.0, 30, 62.5 }, Row { 500.0, 30, 500.0 },
                             Row { -50.0, 30, 62.5 } })
    {
        WindowMotion motion;
        stepWindowMotion (motion, 0, 0, 1000.0);
        const auto step = stepWindowMotion (motion, row.move, 0, 1000.0 + row.gapMs);
        EXPECT_NEAR (motion.vx, 0.5 * row.move / row.divisor, 1e-12) << row.gapMs;
        EXPECT_NEAR (step.sloshX, 0.5 * row.move / row.divisor, 1e-12) << row.gapMs;
    }
}

TEST_F (Publishing, LightFollowsTheWindowOnItsDisplay)
{
    window.position = { 200, 100 };
    window.display = juce::Rectangle<int> { 0, 0, 1280, 800 };
    tick();
    auto light = window.last ("frame")["light"];
    EXPECT_NEAR (static_cast<double> (light["x"]), (200 + 207.5 - 640.0) / 800.0, 1e-12);
    EXPECT_NEAR (static_cast<double> (light["y"]), (100 + 323.0) / 800.0, 1e-12);

    // Off every display: no light, and the cache stays so that the next tick tries again.
    window.sent.clear();
    window.position = { 5000, 5000 };
    tick();
    EXPECT_FALSE (window.last ("frame")["light"].isObject());
    window.display = juce::Rectangle<int> { 4000, 4000, 2000, 2000 };
    tick();
    EXPECT_TRUE (window.last ("frame")["light"].isObject());

    // Not showing: nothing.
    window.sent.clear();
    window.showing = false;
    window.position = { 4100, 4100 };
    tick();
    EXPECT_FALSE (window.last ("frame")["light"].isObject());
}

TEST_F (Publishing, VoicesListLoudSlotsThenOneEmptyListThenNothing)
{
    tick();
    processor.keyboardNoteOn (60);
    render (20);
    window.sent.clear();
    tick();
    auto levels = window.last ("frame")["voices"]["levels"];
    ASSERT_TRUE (levels.isArray());
    ASSERT_GT (levels.size(), 0);
    EXPECT_EQ (levels.size() % 2, 0);
    for (int i = 1; i < levels.size(); i += 2)
    {
        const double level = levels[i];
        EXPECT_GT (level, 0.0001);
        EXPECT_DOUBLE_EQ (level, std::round (level * 10000.0) / 10000.0);
    }

    // No audio since: the meters were taken, one empty list follows, then nothing.
    window.sent.clear();
    tick();
    levels = window.last ("frame")["voices"]["levels"];
    ASSERT_TRUE (levels.isArray());
    EXPECT_EQ (levels.size(), 0);
    window.sent.clear();
    tick();
    EXPECT_FALSE (window.last ("frame")["voices"].isObject());
}

TEST_F (Publishing, CellsGoOutOnEvenTicksWhenTheDishChanged)
{
    tick(); // tick 0 reads the view
    render (3); // the dish steps: the view changes
    window.sent.clear();
    tick(); // tick 1: no read
    EXPECT_FALSE (window.last ("frame")["cells"].isObject());
    tick(); // tick 2: reads the change
    const auto cells = window.last ("frame")["cells"]["cells"];
    ASSERT_TRUE (cells.isArray());
    EXPECT_GT (cells.size(), 0);
    EXPECT_EQ (cells.size() % 13, 0);
    window.sent.clear();
    tick();
    tick();
    EXPECT_FALSE (window.last ("frame")["cells"].isObject());
}

TEST_F (Publishing, HostPausedAfterOneAndAHalfSecondsWithoutBlocks)
{
    render();
    tick();
    ASSERT_EQ (window.count ("hostPaused"), 1);
    window.sent.clear();

    // 1.4 s without a block: still running.
    for (int i = 0; i < 87; ++i)
        tick();
    EXPECT_EQ (window.count ("hostPaused"), 0);
    for (int i = 0; i < 10; ++i)
        tick();
    ASSERT_EQ (window.count ("hostPaused"), 1);
    EXPECT_TRUE (static_cast<bool> (window.last ("hostPaused")["paused"]));

    render();
    window.sent.clear();
    tick();
    ASSERT_EQ (window.count ("hostPaused"), 1);
    EXPECT_FALSE (static_cast<bool> (window.last ("hostPaused")["paused"]));

    // "ready" forgets it, so the next tick says it again.
    window.sent.clear();
    send (listenersFor (bridge), "ready", json ("{}"));
    EXPECT_EQ (window.count ("hostPaused"), 0);
    tick();
    EXPECT_EQ (window.count ("hostPaused"), 1);
}

TEST (HostPauseWatch, PausedExactlyAtTheLimit)
{
    HostPauseWatch watch;
    EXPECT_EQ (stepHostPause (watch, 5, 1000.0), std::optional<bool> (false));
    EXPECT_EQ (stepHostPause (watch, 5, 2499.9), std::nullopt);
    EXPECT_EQ (stepHostPause (watch, 5, 2500.0), std::optional<bool> (true));
    EXPECT_EQ (stepHostPause (watch, 5, 9000.0), std::nullopt);
    EXPECT_EQ (stepHostPause (watch, 6, 9001.0), std::optional<bool> (false));
}

TEST (StatsCadence, IncubationOfOneSecondPerSecondGoesOutEveryThirdCheck)
{
    StatsCadence cadence;
    ASSERT_TRUE (statsCheckDue (cadence, true));
    ASSERT_TRUE (statsShouldSend (cadence, { 0.0, 0 }, true));

    std::vector<int> sentAtCheck;
    double dishSeconds = 0.0;
    int check = 0;
    for (int tickIndex = 1; tickIndex <= 30 * 12; ++tickIndex)
    {
        dishSeconds += 0.016;
        if (! statsCheckDue (cadence, false))
            continue;
        ++check;
        if (statsShouldSend (cadence, { dishSeconds, 0 }, false))
            sentAtCheck.push_back (check);
    }
    EXPECT_EQ (check, 12);
    EXPECT_EQ (sentAtCheck, (std::vector<int> { 3, 6, 9, 12 }));

    // A new spawn goes out at the next check whatever the incubation did.
    for (int i = 0; i < 29; ++i)
        EXPECT_FALSE (statsCheckDue (cadence, false));
    ASSERT_TRUE (statsCheckDue (cadence, false));
    EXPECT_TRUE (statsShouldSend (cadence, { dishSeconds, 1 }, false));
}

TEST (StorageNoticeWatch, ChangesAndTheUnavailableNoticeClearing)
{
    StorageNoticeWatch watch;
    EXPECT_EQ (stepStorageNotice (watch, 0, true), std::nullopt);
    EXPECT_EQ (stepStorageNotice (watch, 1, true), std::optional<juce::String> ("Shared storage busy; retrying"));
    EXPECT_EQ (stepStorageNotice (watch, 1, true), std::nullopt);
    EXPECT_EQ (stepStorageNotice (watch, 0, true), std::optional<juce::String> (""));
    EXPECT_EQ (stepStorageNotice (watch, 2, true), std::optional<juce::String> ("Shared storage write failed"));
    EXPECT_EQ (stepStorageNotice (watch, 3, true), std::optional<juce::String> ("Shared storage was unreadable and has been reset"));
    EXPECT_EQ (stepStorageNotice (watch, 9, true), std::optional<juce::String> (""));

    // The page was told the store is unavailable: once the store is ready it hears the notice
    // that holds then (here none), once.
    watch = {};
    watch.unavailableShown = true;
    EXPECT_EQ (stepStorageNotice (watch, 0, false), std::nullopt);
    EXPECT_EQ (stepStorageNotice (watch, 0, true), std::optional<juce::String> (""));
    EXPECT_EQ (stepStorageNotice (watch, 0, true), std::nullopt);
}

TEST_F (Publishing, NothingReachesAHiddenPageAndReadyCatchesUp)
{
    tick();
    window.sent.clear();
    window.browserVisible = false;
    processor.keyboardNoteOn (64);
    processor.getParameterArray()[0]->setValueNotifyingHost (0.3f);
    render (3);
    for (int i = 0; i < 4; ++i)
        tick();
    EXPECT_TRUE (window.sent.empty());

    // Shown again: the page reloads and says "ready"; the tick after it catches up.
    window.browserVisible = true;
    window.sent.clear();
    send (listenersFor (bridge), "ready", json ("{}"));
    EXPECT_NEAR (static_cast<double> (window.last ("fx")["filter"]), 0.3, 1e-7);
    tick();
    const auto frame = window.last ("frame");
    EXPECT_TRUE (frame["cells"].isObject());
    EXPECT_EQ (static_cast<int> (frame["state"]["note"]), -1); // "ready" released the page's key
}

TEST_F (Publishing, ScopeFramesWhileCaptureIsOn)
{
    tick();
    send (listenersFor (bridge), "scopeOn", json ("{\"on\": true}"));
    processor.keyboardNoteOn (69);
    render (10);
    window.sent.clear();
    tick();
    auto scope = window.last ("frame")["scope"];
    ASSERT_TRUE (scope.isObject());
    EXPECT_EQ (scope["wave"].size(), 512);
    EXPECT_EQ (scope["bars"].size(), 32);

    // Every second tick only.
    window.sent.clear();
    tick();
    EXPECT_FALSE (window.last ("frame")["scope"].isObject());
    render (2);
    tick();
    EXPECT_TRUE (window.last ("frame")["scope"].isObject());

    // Capture off: no more pictures.
    send (listenersFor (bridge), "scopeOn", json ("{\"on\": false}"));
    render (2);
    window.sent.clear();
    tick();
    tick();
    EXPECT_FALSE (window.last ("frame")["scope"].isObject());
}
