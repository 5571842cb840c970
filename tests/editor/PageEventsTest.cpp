// The page events from the browser's listeners to the operations they call: the field-reading
// rules, guards and validators with a recording target, then the effects on a real processor.
#include "EditorTestSupport.h"

#include "editor/PageFields.h"
#include "plugin/PluginProcessor.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

using namespace brivola;
using namespace brivola::test;

namespace
{
/** Records every operation as one line of text. */
struct RecordingTarget final : PageEventTarget
{
    std::vector<std::string> calls;

    void add (juce::String s) { calls.push_back (s.toStdString()); }
    static juce::String n (double v) { return juce::String (v, 6, false); }

    void keyboardNoteOn (int note) override { add ("keyboardNoteOn " + juce::String (note)); }
    void keyboardNoteOff() override { add ("keyboardNoteOff"); }
    void pageReady() override { add ("pageReady"); }
    void setParameterFromPage (int index, float value) override { add ("setParameter " + juce::String (index) + " " + n (value)); }
    void parameterGesture (int index, bool begin) override { add ("gesture " + juce::String (index) + (begin ? " begin" : " end")); }
    void setPageNumber (int page) override { add ("page " + juce::String (page)); }
    void savePresetSlot (int slot) override { add ("save " + juce::String (slot)); }
    void startPresetPreview (int slot, int note, int token) override
    {
        add ("preview " + juce::String (slot) + " " + juce::String (note) + " " + juce::String (token));
    }
    void stopPresetPreview (int token) override { add ("previewStop " + juce::String (token)); }
    void recallPresetSlot (int slot) override { add ("recall " + juce::String (slot)); }
    void clearPresetSlot (int slot) override { add ("clear " + juce::String (slot)); }
    void setScopeCapture (bool on) override { add (juce::String ("scope ") + (on ? "on" : "off")); }
    void stirAt (double x, double y, double dx, double dy) override { add ("stir " + n (x) + " " + n (y) + " " + n (dx) + " " + n (dy)); }
    void setStirring (bool on) override { add (juce::String ("stirring ") + (on ? "on" : "off")); }
    void setPipetteMode (bool on) override { add (juce::String ("pipette ") + (on ? "on" : "off")); }
    void rerollDish() override { add ("reroll"); }
    void setTheme (double value) override { add ("theme " + n (value)); }
    void previewPipette (const juce::String& shape, const juce::String& colour, double pan) override
    {
        add ("pipettePreview " + shape + " " + colour + " " + n (pan));
    }
    void dropPipette (const juce::String& shape, const juce::String& colour, double x, double y, double vx, double vy) override
    {
        add ("pipetteDrop " + shape + " " + colour + " " + n (x) + " " + n (y) + " " + n (vx) + " " + n (vy));
    }
    void markPipetteSeen (const juce::StringArray& keys) override { add ("seen [" + keys.joinIntoString (",") + "]"); }
};

juce::String keysJson (int count, int length)
{
    juce::StringArray keys;
    for (int i = 0; i < count; ++i)
        keys.add ("\"" + juce::String::repeatedString ("k", length) + "\"");
    return "{\"keys\": [" + keys.joinIntoString (",") + "]}";
}

struct EventCase
{
    const char* event;
    juce::String payload;
    const char* expected; // "" = no operation is called
};
} // namespace

//==============================================================================
TEST (PageEvents, TwentyListenersInTheirOrder)
{
    RecordingTarget target;
    std::vector<std::string> names;
    for (const auto& [id, listener] : listenersFor (target))
        names.push_back (id.toString().toStdString());

    const std::vector<std::string> expected { "noteOn", "noteOff", "ready", "fx", "fxGesture", "uiPage", "presetSave",
                                              "presetPreview", "presetPreviewStop", "presetRecall", "presetClear",
                                              "scopeOn", "stir", "stirring", "pipetteMode", "reroll", "theme",
                                              "pipettePreview", "pipetteDrop", "pipetteSeen" };
    EXPECT_EQ (names, expected);
}

TEST (PageEvents, PayloadsReachTheirOperationsWithDefaultsGuardsAndValidators)
{
    const juce::String colour129 = juce::String::repeatedString ("c", 129);
    const juce::String colour128 = juce::String::repeatedString ("c", 128);
    // Four-byte characters count once each.
    const juce::String emoji128 = juce::String::repeatedString (juce::String::fromUTF8 ("\xf0\x9f\xa7\xab"), 128);

    const std::vector<EventCase> cases {
        { "noteOn", "{}", "keyboardNoteOn 60" },
        { "noteOn", "{\"note\": 127.9}", "keyboardNoteOn 127" },
        { "noteOn", "{\"note\": -5}", "keyboardNoteOn -5" }, // the tracker clamps to 0
        { "noteOn", "{\"note\": -5.9}", "keyboardNoteOn -5" },
        { "noteOn", "{\"note\": 1e12}", "keyboardNoteOn 60" },
        { "noteOn", "{\"note\": 2147483648}", "keyboardNoteOn 60" },
        { "noteOn", "{\"note\": -2147483648}", "keyboardNoteOn -2147483648" },
        { "noteOn", "{\"note\": \"64\"}", "keyboardNoteOn 60" },
        { "noteOn", "{\"note\": true}", "keyboardNoteOn 60" },
        { "noteOn", "{\"note\": null}", "keyboardNoteOn 60" },
        { "noteOn", "[64]", "keyboardNoteOn 60" },
        { "noteOn", "64", "keyboardNoteOn 60" },
        { "noteOff", "{}", "keyboardNoteOff" },
        { "noteOff", "\"junk\"", "keyboardNoteOff" },
        { "ready", "{}", "pageReady" },

        { "fx", "{\"index\": 0, \"value\": 2}", "setParameter 0 1.000000" },
        { "fx", "{\"index\": 0, \"value\": 1.5}", "setParameter 0 1.000000" },
        { "fx", "{\"index\": 3.9, \"value\": 0.25}", "setParameter 3 0.250000" },
        { "fx", "{\"index\": 11, \"value\": -3}", "setParameter 11 0.000000" },
        { "fx", "{\"index\": 0}", "" },
        { "fx", "{\"index\": 0, \"value\": null}", "" },
        { "fx", "{\"index\": 0, \"value\": \"0.5\"}", "" },
        { "fx", "{\"index\": 0, \"value\": true}", "" },
        { "fx", "{\"index\": 12, \"value\": 0.5}", "" },
        { "fx", "{\"index\": -1, \"value\": 0.5}", "" },
        { "fx", "{\"index\": \"0\", \"value\": 0.5}", "" },
        { "fx", "{\"value\": 0.5}", "" },
        { "fxGesture", "{\"index\": 3, \"on\": true}", "gesture 3 begin" },
        { "fxGesture", "{\"index\": 3}", "gesture 3 end" },
        { "fxGesture", "{\"index\": 3, \"on\": 2}", "gesture 3 begin" },
        { "fxGesture", "{\"index\": 12, \"on\": true}", "" },
        { "fxGesture", "{\"on\": true}", "" },

        { "uiPage", "{\"page\": 7}", "page 2" },
        { "uiPage", "{\"page\": -1}", "page 0" },
        { "uiPage", "{\"page\": 1.5}", "page 1" },
        { "uiPage", "{}", "page 0" },
        { "presetSave", "{\"slot\": 4}", "save 4" },
        { "presetSave", "{}", "save -1" },
        { "presetPreview", "{\"slot\": 2, \"note\": 64, \"token\": 9}", "preview 2 64 9" },
        { "presetPreview", "{}", "preview -1 60 0" },
        { "presetPreviewStop", "{\"token\": 9}", "previewStop 9" },
        { "presetPreviewStop", "{\"token\": \"9\"}", "previewStop 0" },
        { "presetRecall", "{\"slot\": 11}", "recall 11" },
        { "presetClear", "{\"slot\": 1e300}", "clear -1" },
        { "scopeOn", "{\"on\": true}", "scope on" },
        { "scopeOn", "{}", "scope off" },
        { "scopeOn", "{\"on\": 0}", "scope off" },

        { "stir", "{\"x\": 0, \"y\": 0, \"dx\": 0.1, \"dy\": -0.1}", "stir 0.000000 0.000000 0.100000 -0.100000" },
        { "stir", "{\"x\": 0, \"y\": 0, \"dx\": 0.1}", "" },
        { "stir", "{\"x\": 0, \"y\": 0, \"dx\": 0.1, \"dy\": null}", "" },
        { "stir", "{\"x\": 0, \"y\": \"0\", \"dx\": 0.1, \"dy\": 0}", "" },
        { "stirring", "{\"on\": true}", "stirring on" },
        { "stirring", "{}", "stirring off" },
        { "pipetteMode", "{\"on\": true}", "pipette on" },
        { "reroll", "{}", "reroll" },
        { "theme", "{\"value\": 0.64}", "theme 0.640000" },
        { "theme", "{\"value\": 4}", "theme 4.000000" }, // the processor clamps
        { "theme", "{\"value\": null}", "" },
        { "theme", "{}", "" },

        { "pipettePreview", "{\"shape\": \"star\", \"color\": \"red\", \"pan\": 0}", "pipettePreview star red 0.000000" },
        { "pipettePreview", "{\"shape\": \"star\", \"color\": \"red\"}", "" },
        { "pipettePreview", "{\"shape\": \"star\", \"pan\": 0}", "" },
        { "pipettePreview", "{\"shape\": 5, \"color\": \"red\", \"pan\": 0}", "" },
        { "pipettePreview", "[\"star\", \"red\", 0]", "" },
        { "pipetteDrop", "{\"shape\": \"star\", \"color\": \"red\", \"x\": 0.5, \"y\": -0.5, \"vx\": 1, \"vy\": 2}",
          "pipetteDrop star red 0.500000 -0.500000 1.000000 2.000000" },
        { "pipetteDrop", "{\"shape\": \"star\", \"color\": \"red\", \"x\": 0.5, \"y\": -0.5, \"vx\": 1}", "" },
        { "pipetteDrop", "{\"shape\": \"star\", \"color\": \"" + colour129 + "\", \"x\": 0, \"y\": 0, \"vx\": 0, \"vy\": 0}", "" },
        { "pipetteDrop", "{\"shape\": \"star\", \"color\": \"" + colour128 + "\", \"x\": 0, \"y\": 0, \"vx\": 0, \"vy\": 0}",
          nullptr }, // accepted: checked below
        { "pipetteDrop", "{\"shape\": \"" + emoji128 + "\", \"color\": \"red\", \"x\": 0, \"y\": 0, \"vx\": 0, \"vy\": 0}", nullptr },

        { "pipetteSeen", "{\"keys\": [\"star|red\", \"normal|blue\"]}", "seen [star|red,normal|blue]" },
        { "pipetteSeen", "{\"keys\": []}", "seen []" },
        { "pipetteSeen", keysJson (128, 1), nullptr },
        { "pipetteSeen", keysJson (129, 1), "" },
        { "pipetteSeen", keysJson (1, 129), "" },
        { "pipetteSeen", keysJson (1, 128), nullptr },
        { "pipetteSeen", "{\"keys\": [\"star|red\", 5]}", "" },
        { "pipetteSeen", "{\"keys\": \"star|red\"}", "" },
        { "pipetteSeen", "{}", "" },
        { "pipetteSeen", "[\"star|red\"]", "" },
    };

    for (const auto& c : cases)
    {
        RecordingTarget target;
        const auto listeners = listenersFor (target);
        send (listeners, c.event, json (c.payload.toRawUTF8()));

        const juce::String context = juce::String (c.event) + " " + c.payload.substring (0, 80);
        if (c.expected == nullptr)
        {
            EXPECT_EQ (target.calls.size(), 1u) << context;
        }
        else if (*c.expected == 0)
        {
            EXPECT_TRUE (target.calls.empty()) << context << " called " << (target.calls.empty() ? "" : target.calls[0]);
        }
        else
        {
            ASSERT_EQ (target.calls.size(), 1u) << context;
            EXPECT_EQ (target.calls[0], c.expected) << context;
        }
    }
}

//==============================================================================
// On a real processor

namespace
{
struct GestureLog final : juce::AudioProcessorListener
{
    std::vector<std::string> events;
    void audioProcessorParameterChanged (juce::AudioProcessor*, int, float) override {}
    void audioProcessorChanged (juce::AudioProcessor*, const ChangeDetails&) override {}
    void audioProcessorParameterChangeGestureBegin (juce::AudioProcessor*, int index) override
    {
        events.push_back ("begin " + std::to_string (index));
    }
    void audioProcessorParameterChangeGestureEnd (juce::AudioProcessor*, int index) override
    {
        events.push_back ("end " + std::to_string (index));
    }
};

struct LiveBridge : ::testing::Test
{
    BrivolaAudioProcessor processor;
    FakeWindow window;
    PageBridge bridge { processor, window };
    decltype (listenersFor (std::declval<PageEventTarget&>())) listeners = listenersFor (bridge);

    void SetUp() override { processor.prepareToPlay (44100.0, 512); }
    void TearDown() override { processor.releaseResources(); }

    float parameter (int index) const { return processor.getParameterArray()[(std::size_t) index]->get(); }

    /** True when another thread can take the lock at once (so this thread does not hold it). */
    static bool freeFromAnotherThread (const juce::CriticalSection& lock)
    {
        return std::async (std::launch::async, [&lock]
        {
            if (! lock.tryEnter())
                return false;
            lock.exit();
            return true;
        }).get();
    }

    bool uiSettingsFree()
    {
        // The UI-settings lock is private: a reader on another thread must not wait for it.
        auto reader = std::async (std::launch::async, [this] { return processor.getTheme(); });
        return reader.wait_for (std::chrono::seconds (2)) == std::future_status::ready;
    }
};
} // namespace

TEST_F (LiveBridge, NotesFromThePage)
{
    const std::vector<std::pair<const char*, int>> cases { { "{}", 60 }, { "{\"note\": 127.9}", 127 }, { "{\"note\": -5}", 0 },
                                                           { "{\"note\": 1e12}", 60 }, { "{\"note\": 200}", 127 },
                                                           { "{\"note\": \"64\"}", 60 } };
    for (const auto& [payload, note] : cases)
    {
        send (listeners, "noteOn", json (payload));
        EXPECT_EQ (processor.getCurrentNote(), note) << payload;
        send (listeners, "noteOff", json ("{}"));
        EXPECT_EQ (processor.getCurrentNote(), -1) << payload;
    }
}

TEST_F (LiveBridge, FadersGesturesAndTheEchoCache)
{
    send (listeners, "fx", json ("{\"index\": 0, \"value\": 2}"));
    EXPECT_EQ (parameter (0), 1.0f);
    send (listeners, "fx", json ("{\"index\": 3.9, \"value\": 0.25}"));
    EXPECT_FLOAT_EQ (parameter (3), 0.25f);
    for (const char* ignored : { "{\"index\": 0}", "{\"index\": 12, \"value\": 0.5}", "{\"index\": \"0\", \"value\": 0.5}" })
    {
        send (listeners, "fx", json (ignored));
        EXPECT_EQ (parameter (0), 1.0f) << ignored;
    }

    // The first tick publishes every fader; a value the page set afterwards is not echoed back.
    bridge.tick();
    send (listeners, "fx", json ("{\"index\": 1, \"value\": 0.5}"));
    window.sent.clear();
    window.now += 16.0;
    bridge.tick();
    EXPECT_EQ (window.count ("frame"), 0);

    // A host change is.
    processor.getParameterArray()[2]->setValueNotifyingHost (0.75f);
    window.now += 16.0;
    bridge.tick();
    ASSERT_EQ (window.count ("frame"), 1);
    const auto fx = window.last ("frame")["fx"];
    EXPECT_EQ (fx.getDynamicObject()->getProperties().size(), 1);
    EXPECT_DOUBLE_EQ (static_cast<double> (fx["chorus"]), 0.75);

    GestureLog log;
    processor.addListener (&log);
    send (listeners, "fxGesture", json ("{\"index\": 3, \"on\": true}"));
    send (listeners, "fxGesture", json ("{\"index\": 3}"));
    send (listeners, "fxGesture", json ("{\"index\": 12, \"on\": true}"));
    processor.removeListener (&log);
    EXPECT_EQ (log.events, (std::vector<std::string> { "begin 3", "end 3" }));
}

TEST_F (LiveBridge, ThemeAndPageAreStoredClampedAndPublishedByReady)
{
    const auto activity = [this]
    {
        const juce::ScopedLock sl (processor.getCallbackLock());
        return processor.getDish().activity;
    };

    send (listeners, "theme", json ("{\"value\": 0.64}"));
    EXPECT_DOUBLE_EQ (processor.getTheme(), 0.64);
    EXPECT_NEAR (activity(), 0.6, 1e-12);
    send (listeners, "theme", json ("{\"value\": 4}"));
    EXPECT_DOUBLE_EQ (processor.getTheme(), 1.0);
    EXPECT_DOUBLE_EQ (activity(), 0.75);
    send (listeners, "theme", json ("{\"value\": 0.25}"));
    send (listeners, "theme", json ("{\"value\": null}"));
    EXPECT_DOUBLE_EQ (processor.getTheme(), 0.25);

    send (listeners, "uiPage", json ("{\"page\": 7}"));
    EXPECT_EQ (processor.getPageNumber(), 2);
    send (listeners, "uiPage", json ("{\"page\": -1}"));
    EXPECT_EQ (processor.getPageNumber(), 0);
    send (listeners, "uiPage", json ("{\"page\": 1}"));

    // A second editor's page gets the stored values.
    FakeWindow otherWindow;
    PageBridge other { processor, otherWindow };
    send (listenersFor (other), "ready", json ("{}"));
    const auto ui = otherWindow.last ("ui");
    EXPECT_EQ (static_cast<int> (ui["page"]), 1);
    EXPECT_DOUBLE_EQ (static_cast<double> (ui["theme"]), 0.25);
}

TEST_F (LiveBridge, ReadyAnswersInOrderAndEveryTimeInFull)
{
    for (int round = 0; round < 2; ++round)
    {
        window.sent.clear();
        send (listeners, "ready", json ("{}"));
        // The store is not open in this test (the start-up call never ran): the page hears so.
        EXPECT_EQ (window.names(), (std::vector<std::string> { "fx", "pipette", "stats", "presets", "light", "ui", "storageError" }));
        EXPECT_EQ (window.last ("fx").getDynamicObject()->getProperties().size(), 12);
        EXPECT_EQ (window.last ("storageError").toString(), "Shared storage unavailable");
        EXPECT_EQ (window.last ("presets")["slots"].size(), 12);
        EXPECT_TRUE (window.last ("presets")["slots"][0].isVoid());
    }

    // The first tick after "ready" republishes the note, the cells and the paused state.
    window.sent.clear();
    bridge.tick();
    const auto frame = window.last ("frame");
    EXPECT_EQ (static_cast<int> (frame["state"]["note"]), -1);
    EXPECT_TRUE (frame["cells"]["cells"].isArray());
    EXPECT_EQ (window.count ("hostPaused"), 1);
}

TEST_F (LiveBridge, ReadyReleasesWhatThePreviousPageLeftSounding)
{
    send (listeners, "noteOn", json ("{\"note\": 64}"));
    ASSERT_EQ (processor.getCurrentNote(), 64);
    send (listeners, "ready", json ("{}"));
    EXPECT_EQ (processor.getCurrentNote(), -1);
}

TEST_F (LiveBridge, StirScopeAndStirringReachTheProcessor)
{
    const auto speeds = [this]
    {
        const juce::ScopedLock sl (processor.getCallbackLock());
        std::vector<double> v;
        for (const auto& c : processor.getDish().cells)
            v.push_back (c.vx * 1000.0 + c.vy);
        return v;
    };

    const auto before = speeds();
    send (listeners, "stir", json ("{\"x\": 0, \"y\": 0, \"dx\": 0.1}"));
    send (listeners, "stir", json ("{\"x\": 0, \"y\": 0, \"dx\": 0.1, \"dy\": null}"));
    EXPECT_EQ (speeds(), before);
    send (listeners, "stir", json ("{\"x\": 0, \"y\": 0, \"dx\": 0.1, \"dy\": 0.1}"));
    EXPECT_NE (speeds(), before);

    send (listeners, "stirring", json ("{\"on\": true}"));
    {
        const juce::ScopedLock sl (processor.getCallbackLock());
        EXPECT_TRUE (processor.getDish().stirring);
    }
    send (listeners, "scopeOn", json ("{\"on\": true}"));
    EXPECT_TRUE (processor.getOutputCapture().captureEnabled());

    // Closing the editor ends both.
    processor.editorClosing();
    EXPECT_FALSE (processor.getOutputCapture().captureEnabled());
    const juce::ScopedLock sl (processor.getCallbackLock());
    EXPECT_FALSE (processor.getDish().stirring);
}

TEST_F (LiveBridge, BadPayloadsChangeNothingSendNothingAndHoldNoLock)
{
    const auto snapshot = [this]
    {
        juce::String s;
        for (int i = 0; i < 12; ++i)
            s << parameter (i) << ",";
        s << processor.getTheme() << "," << processor.getPageNumber() << "," << processor.getCurrentNote() << ","
          << (int) processor.getOutputCapture().captureEnabled() << "," << (int) processor.getCollection().isPipetteOpen();
        const juce::ScopedLock sl (processor.getCallbackLock());
        for (const auto& c : processor.getDish().cells)
            s << c.x << c.y << c.vx << c.vy << (int) c.active;
        s << (int) processor.getDish().stirring;
        return s;
    };

    const char* junk[] = { "null", "7", "\"text\"", "[1, 2, 3]", "{\"index\": {}}", "{\"value\": [1]}",
                           "{\"x\": \"1\", \"y\": [], \"dx\": {}, \"dy\": null}", "{\"shape\": null, \"color\": 1}",
                           "{\"keys\": [null]}", "{\"keys\": {\"0\": \"a\"}}" };
    const char* guarded[] = { "fx", "fxGesture", "stir", "theme", "pipettePreview", "pipetteDrop", "pipetteSeen" };

    const auto before = snapshot();
    window.sent.clear();
    for (const char* event : guarded)
        for (const char* payload : junk)
        {
            send (listeners, event, json (payload));
            EXPECT_TRUE (freeFromAnotherThread (processor.getCallbackLock())) << event << " " << payload;
            EXPECT_TRUE (uiSettingsFree()) << event << " " << payload;
        }
    EXPECT_EQ (snapshot(), before);
    EXPECT_TRUE (window.sent.empty());
}

//==============================================================================
TEST (PageFields, TheFourReadingRules)
{
    const juce::Identifier k ("k");
    struct Row
    {
        const char* payload;
        int integer;
        std::optional<double> number;
        bool boolean;
        std::optional<juce::String> string;
    };
    const std::vector<Row> rows {
        { "{\"k\": 5}", 5, 5.0, true, std::nullopt },
        { "{\"k\": -7.9}", -7, -7.9, true, std::nullopt },
        { "{\"k\": 0}", 0, 0.0, false, std::nullopt },
        { "{\"k\": 2147483647}", 2147483647, 2147483647.0, true, std::nullopt },
        { "{\"k\": 2147483647.5}", -1, 2147483647.5, true, std::nullopt },
        { "{\"k\": -2147483649}", -1, -2147483649.0, true, std::nullopt },
        { "{\"k\": 1e308}", -1, 1e308, true, std::nullopt },
        { "{\"k\": true}", -1, std::nullopt, true, std::nullopt },
        { "{\"k\": false}", -1, std::nullopt, false, std::nullopt },
        { "{\"k\": \"12\"}", -1, std::nullopt, true, juce::String ("12") },
        { "{\"k\": \"\"}", -1, std::nullopt, false, juce::String() },
        { "{\"k\": null}", -1, std::nullopt, false, std::nullopt },
        { "{\"k\": [1]}", -1, std::nullopt, true, std::nullopt },
        { "{}", -1, std::nullopt, false, std::nullopt },
        { "[5]", -1, std::nullopt, false, std::nullopt },
        { "5", -1, std::nullopt, false, std::nullopt },
    };

    for (const auto& row : rows)
    {
        const auto payload = json (row.payload);
        EXPECT_EQ (readIntField (payload, k, -1), row.integer) << row.payload;
        EXPECT_EQ (readNumberField (payload, k), row.number) << row.payload;
        EXPECT_EQ (readBoolField (payload, k), row.boolean) << row.payload;
        EXPECT_EQ (readStringField (payload, k), row.string) << row.payload;
    }

    // Values the JSON parser never produces but a var can hold.
    auto* object = new juce::DynamicObject();
    const juce::var payload (object);
    for (const double bad : { std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::quiet_NaN() })
    {
        object->setProperty (k, bad);
        EXPECT_EQ (readIntField (payload, k, 60), 60);
        EXPECT_FALSE (readNumberField (payload, k).has_value());
    }
    object->setProperty (k, juce::int64 { 1 } << 40);
    EXPECT_EQ (readIntField (payload, k, 60), 60);
    object->setProperty (k, juce::int64 { -42 });
    EXPECT_EQ (readIntField (payload, k, 60), -42);
    object->setProperty (k, juce::String::repeatedString ("x", 129));
    EXPECT_FALSE (readStringField (payload, k).has_value());
}
