#include "host/Options.h"

#include <gtest/gtest.h>

namespace brivola::host
{
namespace
{
std::optional<HostOptions> parse (std::initializer_list<const char*> words, juce::String* error = nullptr)
{
    juce::StringArray args;

    for (auto* w : words)
        args.add (w);

    auto result = parseCommandLine (args);

    if (error != nullptr)
        *error = result.error;

    return result.options;
}
} // namespace

TEST (BlockPatternParsing, AcceptsSizesFromOneTo65536AndRejectsEverythingElse)
{
    const struct
    {
        const char* text;
        std::vector<int> expected; // empty: rejected
    } cases[] = {
        { "1,7,128,4096", { 1, 7, 128, 4096 } },
        { " 512 ", { 512 } },
        { "65536", { 65536 } },
        { "0", {} },
        { "65537", {} },
        { "-4", {} },
        { "3.5", {} },
        { "12x", {} },
        { "", {} },
        { "1,,2", {} },
        { "1,", {} },
    };

    for (const auto& c : cases)
    {
        const auto parsed = parseBlockPattern (c.text);

        if (c.expected.empty())
            EXPECT_FALSE (parsed.has_value()) << c.text;
        else
            EXPECT_EQ (parsed.value_or (std::vector<int>{}), c.expected) << c.text;
    }
}

TEST (Automation, ParsesSortsAndInterpolatesLinearlyHoldingTheEnds)
{
    const auto lane = parseAutomation ("filter=2:1,0.5:0,1:0.5");
    ASSERT_TRUE (lane.has_value());
    EXPECT_EQ (lane->reference, "filter");
    ASSERT_EQ (lane->points.size(), 3u);
    EXPECT_DOUBLE_EQ (lane->points.front().seconds, 0.5);
    EXPECT_DOUBLE_EQ (lane->points.back().seconds, 2.0);

    EXPECT_DOUBLE_EQ (automationValueAt (*lane, 0.0), 0.0);   // held before the first point
    EXPECT_DOUBLE_EQ (automationValueAt (*lane, 0.75), 0.25);
    EXPECT_DOUBLE_EQ (automationValueAt (*lane, 1.0), 0.5);
    EXPECT_DOUBLE_EQ (automationValueAt (*lane, 1.5), 0.75);
    EXPECT_DOUBLE_EQ (automationValueAt (*lane, 9.0), 1.0);   // held after the last point

    // A jump: two points at the same time switch at that time.
    const auto step = parseAutomation ("#3=1:0,1:1");
    ASSERT_TRUE (step.has_value());
    EXPECT_DOUBLE_EQ (automationValueAt (*step, 0.999), 0.0);
    EXPECT_DOUBLE_EQ (automationValueAt (*step, 1.0), 1.0);

    for (const auto* bad : { "filter", "filter=", "=0:1", "filter=1", "filter=1:1.5", "filter=-1:0.5", "filter=1:nan" })
        EXPECT_FALSE (parseAutomation (bad).has_value()) << bad;
}

TEST (Assignments, NeedANormalisedValue)
{
    const auto ok = parseAssignment ("Sub Osc=1");
    ASSERT_TRUE (ok.has_value());
    EXPECT_EQ (ok->reference, "Sub Osc");
    EXPECT_DOUBLE_EQ (ok->value, 1.0);

    for (const auto* bad : { "filter=1.01", "filter=-0.1", "filter=inf", "filter=abc", "=0.5", "filter" })
        EXPECT_FALSE (parseAssignment (bad).has_value()) << bad;
}

TEST (CommandLine, ReadsEveryRenderOption)
{
    const auto options = parse ({ "--render", "out.wav", "--rate", "44100", "--blocks", "1,7,128,4096", "--midi", "song.mid",
                                  "--tail", "3", "--channels", "1", "--bits", "32", "--set", "filter=0.25",
                                  "--automate", "chorus=0:0,1:1", "--load-state", "a.state", "--save-state", "b.state",
                                  "--offline", "--require-sound", "--json", "Brivola.vst3" });
    ASSERT_TRUE (options.has_value());
    EXPECT_EQ (options->mode, Mode::render);
    EXPECT_EQ (options->outputPath, "out.wav");
    EXPECT_DOUBLE_EQ (options->sampleRate, 44100.0);
    EXPECT_EQ (options->blockPattern, (std::vector<int> { 1, 7, 128, 4096 }));
    EXPECT_EQ (options->midiPath, "song.mid");
    EXPECT_DOUBLE_EQ (options->tailSeconds, 3.0);
    EXPECT_EQ (options->outputChannels, 1);
    EXPECT_EQ (options->bitsPerSample, 32);
    ASSERT_EQ (options->assignments.size(), 1u);
    ASSERT_EQ (options->automation.size(), 1u);
    EXPECT_EQ (options->loadStatePath, "a.state");
    EXPECT_EQ (options->saveStatePath, "b.state");
    EXPECT_TRUE (options->offline && options->requireSound && options->json);
    EXPECT_EQ (options->bundlePath, "Brivola.vst3");
}

TEST (CommandLine, DefaultsToInfoAndReadsRobustnessOptions)
{
    const auto info = parse ({ "Brivola.vst3" });
    ASSERT_TRUE (info.has_value());
    EXPECT_EQ (info->mode, Mode::info);

    const auto robust = parse ({ "--robustness", "--seed", "0x10", "--time-limit", "12", "--cycles", "3", "Brivola.vst3" });
    ASSERT_TRUE (robust.has_value());
    EXPECT_EQ (robust->mode, Mode::robustness);
    EXPECT_EQ (robust->seed, 16u);
    EXPECT_DOUBLE_EQ (robust->timeLimitSeconds, 12.0);
    EXPECT_EQ (robust->cycles, 3);
}

TEST (CommandLine, KeepsTheEditorActionsInTheirOrder)
{
    const auto options = parse ({ "--editor", "--load-state", "a.state", "--eval", "1 + 1", "--wait", "0.5",
                                  "--screenshot", "shot.png", "--reopen", "--wait-until", "window.done",
                                  "--eval-file", "probe.js", "--ready-timeout", "12", "--save-raw-state", "b.state",
                                  "Brivola.vst3" });
    ASSERT_TRUE (options.has_value());
    EXPECT_EQ (options->mode, Mode::editor);
    EXPECT_EQ (options->loadStatePath, "a.state");
    EXPECT_EQ (options->saveRawStatePath, "b.state");
    EXPECT_DOUBLE_EQ (options->readyTimeoutSeconds, 12.0);

    using Kind = EditorAction::Kind;
    const std::vector<std::pair<Kind, juce::String>> expected = {
        { Kind::eval, "1 + 1" }, { Kind::wait, {} }, { Kind::screenshot, "shot.png" }, { Kind::reopen, {} },
        { Kind::waitUntil, "window.done" }, { Kind::evalFile, "probe.js" },
    };
    ASSERT_EQ (options->editorActions.size(), expected.size());

    for (size_t i = 0; i < expected.size(); ++i)
    {
        EXPECT_EQ (options->editorActions[i].kind, expected[i].first) << i;
        EXPECT_EQ (options->editorActions[i].text, expected[i].second) << i;
    }

    EXPECT_DOUBLE_EQ (options->editorActions[1].seconds, 0.5);
}

TEST (CommandLine, RefusesContradictionsAndMissingValues)
{
    const std::vector<std::vector<const char*>> refused = {
        {},                                                     // no bundle
        { "--render" },                                         // no output file
        { "--render", "a.wav", "--robustness", "B.vst3" },      // two modes
        { "--midi", "a.mid", "B.vst3" },                        // render option without --render
        { "--channels", "2", "B.vst3" },
        { "--render", "a.wav", "--midi", "a.mid", "--pattern", "demo", "B.vst3" },
        { "--robustness", "--set", "filter=1", "B.vst3" },      // robustness works on fresh instances
        { "--robustness", "--load-state", "s", "B.vst3" },
        { "--block", "0", "B.vst3" },
        { "--block", "64", "--blocks", "1,2", "B.vst3" },
        { "--block", "1,2", "B.vst3" },
        { "--channels", "3", "--render", "a.wav", "B.vst3" },
        { "--bits", "8", "B.vst3" },
        { "--rate", "0", "B.vst3" },
        { "--seed", "-1", "--robustness", "B.vst3" },
        { "--frobnicate", "B.vst3" },
        { "--eval", "1", "B.vst3" },                            // editor actions need --editor
        { "--render", "a.wav", "--screenshot", "s.png", "B.vst3" },
        { "--editor", "--robustness", "B.vst3" },
        { "--editor", "--eval", "B.vst3" },                     // the script is missing: the bundle was taken
        { "--editor", "--wait", "-1", "B.vst3" },
        { "--editor", "--ready-timeout", "0", "B.vst3" },
        { "A.vst3", "B.vst3" },
    };

    for (const auto& words : refused)
    {
        juce::StringArray args;

        for (auto* w : words)
            args.add (w);

        const auto result = parseCommandLine (args);
        EXPECT_FALSE (result.options.has_value()) << args.joinIntoString (" ");
        EXPECT_TRUE (result.error.isNotEmpty()) << args.joinIntoString (" ");
    }
}

TEST (CommandLine, HelpNeedsNoBundle)
{
    const auto help = parse ({ "--help" });
    ASSERT_TRUE (help.has_value());
    EXPECT_TRUE (help->showHelp);
}

} // namespace brivola::host
