// The shared document: default document, written layout, lenient reading and the bounded scan.
#include "store/SharedData.h"
#include "tests/store/SharedDataInvariants.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace brivola
{
namespace
{

std::optional<SharedData> parsed (const juce::String& text)
{
    SharedData document;
    document.revision = -12345; // a marker: parseSharedDocument must not touch the output on failure

    if (! parseSharedDocument (text, document))
    {
        EXPECT_EQ (document.revision, -12345);
        return std::nullopt;
    }

    return document;
}

SharedData parsedOrFail (const juce::String& text)
{
    auto document = parsed (text);
    EXPECT_TRUE (document.has_value()) << text;
    return document.value_or (SharedData {});
}

std::string repeat (const std::string& part, int times)
{
    std::string out;

    for (int i = 0; i < times; ++i)
        out += part;

    return out;
}

/** Joins parts by appending (concatenating temporaries with + trips a false warning of GCC 12). */
std::string concat (std::initializer_list<std::string> parts)
{
    std::string out;

    for (const auto& part : parts)
        out.append (part);

    return out;
}

bool scan (const std::string& text)
{
    return prevalidateJsonText (text.data(), text.size());
}

//==============================================================================
TEST (SharedDataDocument, DefaultDocumentIsEmptyAndRoundTrips)
{
    const SharedData defaults;
    EXPECT_EQ (defaults.version, 2);
    EXPECT_EQ (defaults.revision, 0);
    EXPECT_TRUE (defaults.discovered.empty());
    EXPECT_TRUE (defaults.pipetteSeen.empty());
    EXPECT_EQ (defaults.uniqueQuota, (SharedData::DailyQuota { "", 0, 0 }));
    EXPECT_EQ (defaults.stats, SharedData::Stats {});

    for (const auto& slot : defaults.presets)
    {
        EXPECT_EQ (slot.revision, 0);
        EXPECT_TRUE (slot.data.isVoid());
    }

    const auto text = sharedDocumentText (defaults);
    const auto reread = parsedOrFail (text);
    EXPECT_EQ (sharedDocumentText (reread), text);
    EXPECT_EQ (reread.uniqueQuota, defaults.uniqueQuota);
    EXPECT_EQ (reread.stats, defaults.stats);
    EXPECT_TRUE (reread.discovered.empty());
}

TEST (SharedDataDocument, WrittenTextHasFixedKeyOrderAndMultiLineForm)
{
    SharedData document;
    document.revision = 7;
    document.discovered["spade|#FCDA6F"] = 20;
    document.discovered["heart|#A9D1FD"] = 10;
    document.pipetteSeen.insert ("moon|#AFB5BE");
    document.pipetteSeen.insert ("bell|#AFB5BE");
    document.uniqueQuota = { "2026-03-09", 1, 4 };
    document.presets[1].revision = 5;
    document.presets[1].data = juce::JSON::parse ("{\"cells\": []}");
    document.presets[2].revision = 6; // cleared
    document.stats = { 1.5, 2, 3, 4 };

    const auto text = sharedDocumentText (document);

    // Two-space indents and CR LF line ends.
    EXPECT_TRUE (text.startsWith ("{\r\n  \"version\": 2,\r\n  \"revision\": 7,\r\n  \"discovered\": {\r\n"
                                  "    \"heart|#A9D1FD\": 10,\r\n    \"spade|#FCDA6F\": 20\r\n  },\r\n"))
        << text;
    EXPECT_TRUE (text.contains ("\"pipetteSeen\": [\r\n    \"bell|#AFB5BE\",\r\n    \"moon|#AFB5BE\"\r\n  ]"));
    EXPECT_FALSE (text.containsChar ('\t'));

    const auto root = juce::JSON::parse (text);
    const auto& rootProperties = root.getDynamicObject()->getProperties();
    const char* rootKeys[] = { "version", "revision", "discovered", "pipetteSeen", "uniqueQuota", "presets", "stats" };
    ASSERT_EQ (rootProperties.size(), 7);

    for (int i = 0; i < 7; ++i)
        EXPECT_EQ (rootProperties.getName (i).toString(), rootKeys[i]);

    const auto keysOf = [] (const juce::var& object)
    {
        juce::StringArray names;

        for (const auto& member : object.getDynamicObject()->getProperties())
            names.add (member.name.toString());

        return names.joinIntoString (",");
    };

    EXPECT_EQ (keysOf (root["uniqueQuota"]), "day,granted,discoveries");
    EXPECT_EQ (keysOf (root["stats"]), "incubationTime,mergeCount,splitCount,spawnCount");

    const auto* slots = root["presets"].getArray();
    ASSERT_NE (slots, nullptr);
    ASSERT_EQ (slots->size(), 12);
    EXPECT_TRUE (slots->getReference (0).isVoid());
    EXPECT_EQ (keysOf (slots->getReference (1)), "revision,data");
    EXPECT_TRUE (slots->getReference (2)["data"].isVoid());
    EXPECT_EQ (static_cast<int> (slots->getReference (2)["revision"]), 6);

    const auto reread = parsedOrFail (text);
    EXPECT_EQ (reread.revision, 7);
    EXPECT_EQ (reread.discovered, document.discovered);
    EXPECT_EQ (reread.pipetteSeen, document.pipetteSeen);
    EXPECT_EQ (reread.uniqueQuota, document.uniqueQuota);
    EXPECT_EQ (reread.stats, document.stats);
    EXPECT_EQ (reread.presets[1].revision, 5);
    EXPECT_TRUE (reread.presets[1].data.isObject());
    EXPECT_EQ (reread.presets[2].revision, 6);
    EXPECT_TRUE (reread.presets[2].data.isVoid());
}

TEST (SharedDataDocument, VersionDecidesReadability)
{
    const struct
    {
        const char* text;
        bool readable;
    } cases[] = {
        { R"({"version": 2})", true },
        { R"({"version": 1})", true },
        { R"({"version": 3})", false },
        { R"({"version": 0})", false },
        { R"({"version": "2"})", false },
        { R"({"version": 2.0})", false },
        { R"({"version": 2e0})", false },
        { R"({"version": true})", false },
        { R"({"revision": 4})", false },
        { R"([{"version": 2}])", false },
        { "", false },
        { "   ", false },
        { R"({"version": 2)", false },
    };

    for (const auto& c : cases)
        EXPECT_EQ (parsed (c.text).has_value(), c.readable) << c.text;
}

TEST (SharedDataDocument, VersionOneTakesRevisionFromSavedAt)
{
    const auto document = parsedOrFail (R"({
        "version": 1, "revision": 100,
        "presets": [ {"savedAt": 5, "data": {"a": 1}}, null, {"savedAt": 9, "revision": 50, "data": null} ]
    })");

    EXPECT_EQ (document.version, 1);
    EXPECT_EQ (document.revision, 9);
    EXPECT_EQ (document.presets[0].revision, 5);
    EXPECT_EQ (document.presets[2].revision, 9);
    EXPECT_EQ (document.presets[1].revision, 0);

    const auto noPresets = parsedOrFail (R"({"version": 1, "revision": 100})");
    EXPECT_EQ (noPresets.revision, 0);

    // Version 2 reads "revision" and ignores "savedAt".
    const auto version2 = parsedOrFail (R"({"version": 2, "revision": 3, "presets": [{"savedAt": 9, "data": 1}]})");
    EXPECT_EQ (version2.revision, 3);
    EXPECT_EQ (version2.presets[0].revision, 0);
}

TEST (SharedDataDocument, RevisionBelowOneOrNotIntegerReadsAsZero)
{
    EXPECT_EQ (parsedOrFail (R"({"version": 2, "revision": -5})").revision, 0);
    EXPECT_EQ (parsedOrFail (R"({"version": 2, "revision": 4.5})").revision, 0);
    EXPECT_EQ (parsedOrFail (R"({"version": 2, "revision": "4"})").revision, 0);
    EXPECT_EQ (parsedOrFail (R"({"version": 2, "revision": 9223372036854775807})").revision,
               std::numeric_limits<std::int64_t>::max());
}

TEST (SharedDataDocument, DiscoveredKeepsValidKeysWithNonNegativeTimes)
{
    const auto document = parsedOrFail (R"({"version": 2, "discovered":
        {"heart|#FCDA6F": -4, "heart|#fcda6f": 7, "blob|#FCDA6F": 1}})");

    ASSERT_EQ (document.discovered.size(), 1u);
    EXPECT_EQ (document.discovered.at ("heart|#FCDA6F"), 0);

    const auto kinds = parsedOrFail (R"({"version": 2, "discovered":
        {"star|#A9D1FD": 1700000000000, "moon|#A9D1FD": 2.5, "bolt|#A9D1FD": "5", "gear|#A9D1FD": null}})");
    EXPECT_EQ (kinds.discovered.at ("star|#A9D1FD"), 1700000000000);
    EXPECT_EQ (kinds.discovered.at ("moon|#A9D1FD"), 0);
    EXPECT_EQ (kinds.discovered.at ("bolt|#A9D1FD"), 0);
    EXPECT_EQ (kinds.discovered.at ("gear|#A9D1FD"), 0);

    EXPECT_TRUE (parsedOrFail (R"({"version": 2, "discovered": ["star|#A9D1FD"]})").discovered.empty());
}

TEST (SharedDataDocument, PipetteSeenKeepsValidStringKeysOnce)
{
    const auto document = parsedOrFail (R"({"version": 2, "pipetteSeen":
        ["moon|#AFB5BE", 3, "moon|#AFB5BE", "moon|"]})");

    ASSERT_EQ (document.pipetteSeen.size(), 1u);
    EXPECT_EQ (*document.pipetteSeen.begin(), "moon|#AFB5BE");

    EXPECT_TRUE (parsedOrFail (R"({"version": 2, "pipetteSeen": {"moon|#AFB5BE": 1}})").pipetteSeen.empty());
}

TEST (SharedDataDocument, UniqueQuotaIsClampedFieldByField)
{
    const struct
    {
        const char* quota;
        const char* day;
        int granted, discoveries;
    } cases[] = {
        { R"({"day": "2026-03-09", "granted": 5, "discoveries": 1})", "2026-03-09", 2, 2 },
        { R"({"day": "2026-03-09", "granted": 1.0, "discoveries": 12})", "2026-03-09", 0, 10 },
        { R"({"granted": -3, "discoveries": -1})", "", 0, 0 },
        { R"({"granted": 1, "discoveries": "x"})", "", 1, 1 },
        { R"({"day": 20260309, "granted": 2, "discoveries": 7})", "", 2, 7 },
        { R"({"day": "0123456789012345678901234567890123456789"})", "01234567890123456789012345678901", 0, 0 },
        { "[1, 2]", "", 0, 0 },
    };

    for (const auto& c : cases)
    {
        const auto document = parsedOrFail (juce::String (R"({"version": 2, "uniqueQuota": )") + c.quota + "}");
        EXPECT_EQ (document.uniqueQuota, (SharedData::DailyQuota { c.day, c.granted, c.discoveries })) << c.quota;
    }

    EXPECT_EQ (parsedOrFail (R"({"version": 2})").uniqueQuota, (SharedData::DailyQuota { "", 0, 0 }));
}

TEST (SharedDataDocument, PresetsReadOnlyTwelveObjectSlots)
{
    juce::String fifteen = R"({"version": 2, "presets": [)";

    for (int i = 0; i < 15; ++i)
        fifteen << (i > 0 ? "," : "") << R"({"revision": )" << (i + 1) << R"(, "data": {"n": )" << i << "}}";

    fifteen << "]}";
    const auto full = parsedOrFail (fifteen);

    for (int i = 0; i < 12; ++i)
    {
        EXPECT_EQ (full.presets[(size_t) i].revision, i + 1);
        EXPECT_EQ (static_cast<int> (full.presets[(size_t) i].data["n"]), i);
    }

    const auto three = parsedOrFail (R"({"version": 2, "presets": [
        {"revision": 4, "data": 1}, null, {"revision": 6}]})");
    EXPECT_EQ (three.presets[0].revision, 4);
    EXPECT_EQ (three.presets[1].revision, 0);
    EXPECT_EQ (three.presets[2].revision, 6);
    EXPECT_TRUE (three.presets[2].data.isVoid()); // missing "data" reads as void

    for (size_t i = 3; i < 12; ++i)
    {
        EXPECT_EQ (three.presets[i].revision, 0);
        EXPECT_TRUE (three.presets[i].data.isVoid());
    }

    const auto oddRevisions = parsedOrFail (R"({"version": 2, "presets": [
        {"revision": -2, "data": 1}, {"revision": 2.5, "data": 1}, 7, "x"]})");
    EXPECT_EQ (oddRevisions.presets[0].revision, 0);
    EXPECT_EQ (oddRevisions.presets[1].revision, 0);
    EXPECT_EQ (oddRevisions.presets[2].revision, 0);
}

/** A preset value {"cells": ["xx…"]} whose default JSON text is `bytes` long: the multi-line form
    "{" CRLF, two spaces, "cells": [ CRLF, four spaces, the quoted string CRLF, two spaces "]" CRLF, "}"
    takes 31 bytes besides the string's characters. */
juce::var presetValueOfJsonSize (int bytes)
{
    auto* object = new juce::DynamicObject();
    juce::var value (object);
    juce::Array<juce::var> cells;
    cells.add (juce::String::repeatedString ("x", bytes - 31));
    object->setProperty ("cells", cells);
    return value;
}

TEST (SharedDataDocument, PresetSizeLimitCountsTheMultiLineForm)
{
    EXPECT_TRUE (presetDataFits (presetValueOfJsonSize (49152)));
    EXPECT_FALSE (presetDataFits (presetValueOfJsonSize (49153)));
    EXPECT_TRUE (presetDataFits (juce::var()));

    // Non-ASCII characters count by their UTF-8 bytes (two each here).
    const auto twoByteText = juce::String::repeatedString (juce::String::charToString (0xe9), 24575); // "é"
    EXPECT_TRUE (presetDataFits (twoByteText));  // 2 quotes + 49150 bytes
    EXPECT_FALSE (presetDataFits (twoByteText + juce::String::charToString (0xe9)));

    for (const auto& [bytes, kept] : { std::pair { 49152, true }, std::pair { 49153, false } })
    {
        SharedData document;
        document.presets[3].revision = 8;
        document.presets[3].data = presetValueOfJsonSize (bytes);
        const auto reread = parsedOrFail (sharedDocumentText (document));

        EXPECT_EQ (reread.presets[3].revision, 8) << bytes;
        EXPECT_EQ (reread.presets[3].data.isObject(), kept) << bytes;
    }
}

TEST (SharedDataDocument, StatsTakeOnlyUsableNumbers)
{
    const auto document = parsedOrFail (R"({"version": 2, "stats":
        {"incubationTime": -1, "mergeCount": 2.5, "splitCount": 7}})");
    EXPECT_EQ (document.stats, (SharedData::Stats { 0.0, 0, 7, 0 }));

    const auto numbers = parsedOrFail (R"({"version": 2, "stats":
        {"incubationTime": 12, "mergeCount": -3, "splitCount": "7", "spawnCount": 9223372036854775807}})");
    EXPECT_EQ (numbers.stats, (SharedData::Stats { 12.0, 0, 0, std::numeric_limits<std::int64_t>::max() }));

    EXPECT_EQ (parsedOrFail (R"({"version": 2, "stats": {"incubationTime": 2.25}})").stats.incubationTime, 2.25);
    EXPECT_EQ (parsedOrFail (R"({"version": 2, "stats": {"incubationTime": 1e999}})").stats.incubationTime, 0.0);
    EXPECT_EQ (parsedOrFail (R"({"version": 2, "stats": {"incubationTime": true}})").stats.incubationTime, 0.0);

    // The largest double would be written rounded up past the double range and come back as 0:
    // it is kept at the largest time that survives writing.
    const auto huge = parsedOrFail (R"({"version": 2, "stats": {"incubationTime": 1.7976931348623157e308}})");
    EXPECT_EQ (huge.stats.incubationTime, maxStoredIncubationTime);
    EXPECT_EQ (parsedOrFail (sharedDocumentText (huge)).stats.incubationTime, maxStoredIncubationTime);
}

TEST (SharedDataDocument, FromVarOfNonObjectsOrBadVersionsIsTheDefault)
{
    const auto defaultText = sharedDocumentText (SharedData {});

    for (const auto& root : { juce::var(), juce::var (2), juce::JSON::parse ("[1]"),
                              juce::JSON::parse (R"({"version": 5, "revision": 9})") })
        EXPECT_EQ (sharedDocumentText (SharedData::fromVar (root)), defaultText);
}

TEST (SharedDataDocument, SpeciesKeysAreShapeBarColourExactly)
{
    const struct
    {
        const char* key;
        bool valid;
    } cases[] = {
        { "normal|#A9D1FD", true },   { "moon|#AFB5BE", true },    { "controller|#FCDA6F", true },
        { "normal|#a9d1fd", false },  { "Normal|#A9D1FD", false }, { "|#A9D1FD", false },
        { "normal#A9D1FD", false },   { "normal|", false },        { "normal|#A9D1FD|", false },
        { "normal||#A9D1FD", false }, { "normal |#A9D1FD", false }, { "blob|#A9D1FD", false },
        { "normal|#A9D1FD ", false }, { "", false },               { "|", false },
    };

    for (const auto& c : cases)
        EXPECT_EQ (isValidSpeciesKey (c.key), c.valid) << c.key;
}

//==============================================================================
TEST (SharedDataScan, BoundsOnNestingTokensAndIntegers)
{
    const std::string maxInt = "9223372036854775807";
    const auto zeros = [] (int count) { return concat ({ "[", repeat ("0,", count - 1), "0]" }); }; // 2 × count tokens

    const struct
    {
        std::string text;
        bool passes;
    } cases[] = {
        { concat ({ repeat ("[", 32), repeat ("]", 32) }), true },
        { concat ({ repeat ("[", 33), repeat ("]", 33) }), false },
        { concat ({ repeat ("{", 16), repeat ("[", 16), repeat ("]", 16), repeat ("}", 16) }), true },
        { concat ({ "\"", repeat ("[", 40), "\"" }), true },       // brackets inside strings do not nest
        { concat ({ "'", repeat ("{", 40), "\\''" }), true },      // single-quoted, with an escaped quote
        { zeros (32768), true },                                   // 65536 tokens
        { concat ({ zeros (32768), "," }), false },                // 65537 tokens
        { "[" + maxInt + "]", true },
        { "[-" + maxInt + "]", true },
        { "[9223372036854775808]", false },
        { "[00000000000000000000009223372036854775807]", true },
        { "[99999999999999999999.5]", false },
        { "[1.0e999999999]", true },
        { "[1.0e1000000000]", false },
        { "[1e-0000000000000012]", true },
        { "[- 1]", false },
        { "[-]", false },
        { "-", false },
        { "[-a]", false },
        { "[\"abc]", false },
        { "[\"abc\\\"]", false },
        { "[\"abc\\", false },
        { "[1, 2", false },
        { "{", false },
        { "]", false },
        { "[}", true },                                   // kinds are not matched; the parser refuses it
        { "", true },
        { "true false null", true },
    };

    for (const auto& c : cases)
        EXPECT_EQ (scan (c.text), c.passes) << c.text.substr (0, 80);
}

TEST (SharedDataScan, TextsFailingTheScanAreUnreadable)
{
    const std::string head = R"({"version": 2, "x": )";

    EXPECT_TRUE (parsed (concat ({ head, repeat ("[", 31), repeat ("]", 31), "}" })).has_value());
    EXPECT_FALSE (parsed (concat ({ head, repeat ("[", 32), repeat ("]", 32), "}" })).has_value());
    EXPECT_TRUE (parsed (head + "9223372036854775807}").has_value());
    EXPECT_FALSE (parsed (head + "9223372036854775808}").has_value());
    EXPECT_FALSE (parsed (head + "- 1}").has_value());
    EXPECT_FALSE (parsed (head + "\"open}").has_value());
    EXPECT_FALSE (parsed ("[}").has_value());
}

TEST (SharedDataScan, DocumentAtTheTokenLimitIsReadable)
{
    // {"version":2,"x":[0,0,…]}: "{", "version", ":", 2, ",", "x", ":" are 7 tokens and the array
    // of n zeros 2 × n; wrapping the array in one more "[ ]" adds one token.
    const auto document = [] (int n, bool wrapped)
    {
        const auto array = concat ({ "[", repeat ("0,", n - 1), "0]" });
        return juce::String (concat ({ R"({"version":2,"x":)", wrapped ? concat ({ "[", array, "]" }) : array, "}" }));
    };

    EXPECT_TRUE (parsed (document (32764, true)).has_value());   // 65536 tokens
    EXPECT_FALSE (parsed (document (32765, false)).has_value()); // 65537 tokens
}

} // namespace
} // namespace brivola
