// Fuzzing of the document reader inside the normal test run: many random and mutated texts, each
// either refused or read into a document that keeps every invariant and survives writing. A bounded
// number of cases with a fixed seed; tests/store/fuzz holds the libFuzzer target for long runs.
#include "store/SharedData.h"
#include "tests/store/SharedDataInvariants.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace brivola
{
namespace
{

using Random = std::mt19937;

int uniform (Random& random, int low, int high)
{
    return std::uniform_int_distribution<int> (low, high) (random);
}

/** Random JSON values for preset data: nested objects, arrays, strings with escapes, numbers. */
juce::var randomValue (Random& random, int depth)
{
    switch (uniform (random, 0, depth > 3 ? 5 : 7))
    {
        case 0: return {};
        case 1: return uniform (random, 0, 1) == 1;
        case 2: return uniform (random, -1000000, 1000000);
        case 3: return static_cast<juce::int64> (random() >> 1) * 2147483647LL;
        case 4: return std::uniform_real_distribution<double> (-1.0e6, 1.0e6) (random);
        case 5:
        {
            juce::String text;

            for (int i = uniform (random, 0, 12); --i >= 0;)
                text << juce::String::charToString (static_cast<juce::juce_wchar> (
                    uniform (random, 0, 3) == 0 ? uniform (random, 0x80, 0x2fff) : uniform (random, 1, 0x7f)));

            return text;
        }
        case 6:
        {
            juce::Array<juce::var> array;

            for (int i = uniform (random, 0, 5); --i >= 0;)
                array.add (randomValue (random, depth + 1));

            return array;
        }
        default:
        {
            auto* object = new juce::DynamicObject();
            juce::var value (object);

            for (int i = uniform (random, 0, 5); --i >= 0;)
                object->setProperty ("k" + juce::String (uniform (random, 0, 9)), randomValue (random, depth + 1));

            return value;
        }
    }
}

SharedData randomDocument (Random& random)
{
    static const auto keys = []
    {
        juce::StringArray all;

        for (const auto* shape : { "normal", "heart", "moon", "controller" })
            for (const auto* colour : { "#A9D1FD", "#FCDA6F", "#AFB5BE" })
                all.add (juce::String (shape) + "|" + colour);

        return all;
    }();

    SharedData document;
    document.revision = uniform (random, 0, 3) == 0 ? std::numeric_limits<std::int64_t>::max()
                                                    : uniform (random, 0, 100000);

    for (const auto& key : keys)
    {
        if (uniform (random, 0, 2) == 0)
            document.discovered[key] = static_cast<std::int64_t> (random()) * 1000;

        if (uniform (random, 0, 2) == 0)
            document.pipetteSeen.insert (key);
    }

    const auto granted = uniform (random, 0, 2);
    document.uniqueQuota = { "2026-03-" + juce::String (uniform (random, 10, 31)), granted, uniform (random, granted, 10) };

    for (auto& slot : document.presets)
    {
        if (uniform (random, 0, 2) == 0)
            continue;

        slot.revision = uniform (random, 1, 100000);
        slot.data = uniform (random, 0, 3) == 0 ? juce::var() : randomValue (random, 0);
    }

    document.stats = { std::uniform_real_distribution<double> (0.0, 1.0e7) (random), uniform (random, 0, 1 << 30),
                       static_cast<std::int64_t> (random()) << 20, 0 };
    return document;
}

//==============================================================================
TEST (SharedDocumentFuzz, RandomDocumentsSurviveWritingAndReading)
{
    Random random (7);

    for (int i = 0; i < 400; ++i)
    {
        const auto document = randomDocument (random);
        const auto text = sharedDocumentText (document);
        SharedData reread;
        ASSERT_TRUE (parseSharedDocument (text, reread)) << text;

        EXPECT_EQ (reread.revision, document.revision);
        EXPECT_EQ (reread.discovered, document.discovered);
        EXPECT_EQ (reread.pipetteSeen, document.pipetteSeen);
        EXPECT_EQ (reread.uniqueQuota, document.uniqueQuota);
        EXPECT_EQ (reread.stats.mergeCount, document.stats.mergeCount);
        EXPECT_NEAR (reread.stats.incubationTime, document.stats.incubationTime, 1.0e-6);

        for (size_t s = 0; s < document.presets.size(); ++s)
            EXPECT_EQ (reread.presets[s].revision, document.presets[s].revision);

        EXPECT_EQ (testing::sharedDataInvariantViolation (reread), "");
        EXPECT_EQ (testing::sharedDataRoundTripViolation (reread), "");
    }
}

/** Byte-level mutations that aim at the reader's bounds and at the parser's corners. */
std::string mutate (std::string text, const std::vector<std::string>& seeds, Random& random)
{
    static const char* const pieces[] = {
        "[", "]", "{", "}", "\"", "'", "\\", ",", ":", "-", "- ", "-a", "0", "2.0", "1e5",
        "9223372036854775807", "9223372036854775808", "-9223372036854775808", "1e999999999",
        "1.0e1000000000", "1e-400", "null", "true", "false", "undefined", "\"version\": 1,",
        "\"version\": 2,", "\"savedAt\": 5,", "\"revision\": -1,", "\\u0041", "\\uD83D\\uDE00", "\\uD800",
        "\\uDC00x", "\\u12", "\xc3\xa9", "\xff", "\xe2\x82", "\xef\xbb\xbf", "\"data\": [[[[[[[[[[",
        "]]]]]]]]]]", "\"heart|#FCDA6F\": 1,", "\"moon|\",", "\t", "\r\n", "\"\": 1,", "'x': 2,",
    };

    for (int n = uniform (random, 1, 3); --n >= 0;)
    {
        const auto size = static_cast<int> (text.size());
        const auto at = static_cast<size_t> (uniform (random, 0, size));

        switch (uniform (random, 0, 6))
        {
            case 0:
                if (size > 0)
                    text[static_cast<size_t> (uniform (random, 0, size - 1))] = static_cast<char> (uniform (random, 1, 255));
                break;

            case 1:
            case 2:
                text.insert (at, pieces[uniform (random, 0, static_cast<int> (std::size (pieces)) - 1)]);
                break;

            case 3:
                text.erase (at, static_cast<size_t> (uniform (random, 0, 40)));
                break;

            case 4:
            {
                const auto length = static_cast<size_t> (uniform (random, 0, 200));
                text.insert (at, text.substr (at, length));
                break;
            }

            case 5:
                text.resize (at);
                break;

            default:
            {
                const auto& other = seeds[static_cast<size_t> (uniform (random, 0, static_cast<int> (seeds.size()) - 1))];
                const auto from = static_cast<size_t> (uniform (random, 0, static_cast<int> (other.size())));
                text.insert (at, other.substr (from, static_cast<size_t> (uniform (random, 0, 300))));
                break;
            }
        }
    }

    return text;
}

TEST (SharedDocumentFuzz, MutatedAndRandomTextsAreRefusedOrReadSafely)
{
    Random random (20260309);
    std::vector<std::string> seeds {
        sharedDocumentText (SharedData {}).toStdString(),
        R"({"version": 1, "presets": [{"savedAt": 5, "data": {"cells": [1, 2]}}, null, {"savedAt": 9}],
            "uniqueQuota": {"day": "2026-03-09", "granted": 5, "discoveries": 1}})",
        R"({"version": 2, "revision": 3, "discovered": {"heart|#FCDA6F": -4, "heart|#fcda6f": 7},
            "pipetteSeen": ["moon|#AFB5BE", 3, "moon|"], "stats": {"incubationTime": -1, "mergeCount": 2.5}})",
    };

    for (int i = 0; i < 6; ++i)
        seeds.push_back (sharedDocumentText (randomDocument (random)).toStdString());

    constexpr int cases = 60000;
    int readable = 0;

    for (int i = 0; i < cases; ++i)
    {
        std::string bytes;

        if (i % 10 == 9)
        {
            bytes.resize (static_cast<size_t> (uniform (random, 0, 300)));

            for (auto& b : bytes)
                b = static_cast<char> (uniform (random, 0, 255));
        }
        else
        {
            bytes = mutate (seeds[static_cast<size_t> (i) % seeds.size()], seeds, random);
        }

        // The same decoding as the store's file reader.
        const auto text = juce::String::createStringFromData (bytes.data(), static_cast<int> (bytes.size()));
        SharedData document;

        if (! parseSharedDocument (text, document))
            continue;

        ++readable;
        ASSERT_EQ (testing::sharedDataInvariantViolation (document), "") << bytes;
        ASSERT_EQ (testing::sharedDataRoundTripViolation (document), "") << bytes;
    }

    // Enough mutants stay readable for the checks above to mean something.
    EXPECT_GT (readable, cases / 20);
}

TEST (SharedDocumentFuzz, DeepAndWideTextsStayWithinTheScanBounds)
{
    Random random (99);

    for (int i = 0; i < 300; ++i)
    {
        const auto depth = uniform (random, 0, 200);
        std::string text = R"({"version": 2, "presets": [{"revision": 1, "data": )";
        text.append (static_cast<size_t> (depth), uniform (random, 0, 1) == 0 ? '[' : '{');
        text.append (static_cast<size_t> (uniform (random, 0, 200)), ']');
        text.append ("}]}");

        SharedData document;
        const auto readable = parseSharedDocument (juce::String (text), document);

        if (depth + 3 > maxJsonDepth)
        {
            EXPECT_FALSE (readable) << depth;
        }

        if (readable)
        {
            EXPECT_EQ (testing::sharedDataInvariantViolation (document), "");
        }
    }
}

} // namespace
} // namespace brivola
