// Preset values: normalisation of whatever the document holds, the value saved from a dish, and
// the arrivals and parameters read back from it.
#include "tests/collection/CollectionTestSupport.h"

namespace brivola
{
namespace
{

/** Structural JSON equality: numbers compare by value (an integer equals the same double),
    objects by their set of properties. */
bool sameJson (const juce::var& a, const juce::var& b)
{
    if (isNumberVar (a) && isNumberVar (b))
        return static_cast<double> (a) == static_cast<double> (b);
    if (a.isVoid() || b.isVoid())
        return a.isVoid() && b.isVoid();
    if (a.isString() || b.isString())
        return a.isString() && b.isString() && a.toString() == b.toString();
    if (a.isArray() || b.isArray())
    {
        if (! a.isArray() || ! b.isArray() || a.size() != b.size())
            return false;
        for (int i = 0; i < a.size(); ++i)
            if (! sameJson (a[i], b[i]))
                return false;
        return true;
    }
    if (auto* oa = a.getDynamicObject())
    {
        auto* ob = b.getDynamicObject();
        if (ob == nullptr || oa->getProperties().size() != ob->getProperties().size())
            return false;
        for (const auto& p : oa->getProperties())
            if (! ob->hasProperty (p.name) || ! sameJson (p.value, ob->getProperty (p.name)))
                return false;
        return true;
    }
    return a.equalsWithSameType (b);
}

const char* zeros12 = "[0,0,0,0,0,0,0,0,0,0,0,0]";

juce::String withZeros (const juce::String& cells)
{
    return "{\"cells\":" + cells + ",\"fxControls\":" + zeros12 + "}";
}

struct NormaliseCase
{
    const char* name;
    juce::String input;
    juce::String expected; // empty: void
};

class NormalizePresetTest : public ::testing::TestWithParam<NormaliseCase>
{
};

TEST_P (NormalizePresetTest, GivesTheExpectedValue)
{
    const auto& c = GetParam();
    const juce::var input = juce::JSON::parse (c.input);
    const juce::var result = normalizePreset (input);
    if (c.expected.isEmpty())
    {
        EXPECT_TRUE (result.isVoid()) << juce::JSON::toString (result);
        return;
    }
    const juce::var expected = juce::JSON::parse (c.expected);
    ASSERT_TRUE (expected.isObject()) << "bad expectation text";
    EXPECT_TRUE (sameJson (result, expected)) << juce::JSON::toString (result, true);
}

INSTANTIATE_TEST_SUITE_P (
    Cases, NormalizePresetTest,
    ::testing::Values (
        NormaliseCase { "notAnObject", "[1,2]", "" },
        NormaliseCase { "cellsMissing", "{\"fxControls\":[]}", "" },
        NormaliseCase { "cellsNotAnArray", "{\"cells\":{\"x\":0}}", "" },
        NormaliseCase { "noWellFormedCell",
                        "{\"cells\":[1,\"a\",{\"x\":0,\"y\":0},{\"x\":\"0\",\"y\":0,\"mass\":2},{\"x\":true,\"y\":0,\"mass\":2}]}", "" },
        NormaliseCase { "limitsAndDefaults",
                        "{\"cells\":[{\"x\":-4,\"y\":2.5,\"mass\":0.2,\"color\":\"#fcda6f\",\"motif\":\"normal\",\"extra\":1}],"
                        "\"fxControls\":[2,-1,0.5,\"x\",null,0.25,0,0,0,0,0,1]}",
                        "{\"cells\":[{\"x\":-1,\"y\":1,\"mass\":1,\"color\":\"#A9D1FD\"}],"
                        "\"fxControls\":[1,0,0.5,0,0,0.25,0,0,0,0,0,1]}" },
        NormaliseCase { "motifColourAndId",
                        "{\"cells\":[{\"x\":0.1,\"y\":0.2,\"mass\":12,\"color\":\"#FDC58E\",\"motif\":\"bolt\",\"id\":16777215}]}",
                        withZeros ("[{\"x\":0.1,\"y\":0.2,\"mass\":10,\"color\":\"#FDC58E\",\"motif\":\"bolt\",\"id\":16777215}]") },
        NormaliseCase { "idsOutOfRangeOrFractional",
                        "{\"cells\":[{\"x\":0,\"y\":0,\"mass\":3,\"id\":16777216},{\"x\":0,\"y\":0,\"mass\":3,\"id\":2.5},"
                        "{\"x\":0,\"y\":0,\"mass\":3,\"id\":-1},{\"x\":0,\"y\":0,\"mass\":3,\"id\":\"4\"}]}",
                        withZeros ("[{\"x\":0,\"y\":0,\"mass\":3,\"color\":\"#A9D1FD\"},{\"x\":0,\"y\":0,\"mass\":3,\"color\":\"#A9D1FD\"},"
                                   "{\"x\":0,\"y\":0,\"mass\":3,\"color\":\"#A9D1FD\"},{\"x\":0,\"y\":0,\"mass\":3,\"color\":\"#A9D1FD\"}]") },
        NormaliseCase { "repeatedIdLosesIt",
                        "{\"cells\":[{\"x\":0,\"y\":0,\"mass\":3,\"id\":9},{\"x\":0.5,\"y\":0,\"mass\":3,\"id\":9},"
                        "{\"x\":0.2,\"y\":0,\"mass\":3,\"id\":10}]}",
                        withZeros ("[{\"x\":0,\"y\":0,\"mass\":3,\"id\":9,\"color\":\"#A9D1FD\"},{\"x\":0.5,\"y\":0,\"mass\":3,\"color\":\"#A9D1FD\"},"
                                   "{\"x\":0.2,\"y\":0,\"mass\":3,\"id\":10,\"color\":\"#A9D1FD\"}]") },
        NormaliseCase { "elevenFxControlsGiveTwelveZeros",
                        "{\"cells\":[{\"x\":0,\"y\":0,\"mass\":3}],\"fxControls\":[1,1,1,1,1,1,1,1,1,1,1]}",
                        withZeros ("[{\"x\":0,\"y\":0,\"mass\":3,\"color\":\"#A9D1FD\"}]") },
        NormaliseCase { "thirteenFxControlsGiveTwelveZeros",
                        "{\"cells\":[{\"x\":0,\"y\":0,\"mass\":3}],\"fxControls\":[1,1,1,1,1,1,1,1,1,1,1,1,1]}",
                        withZeros ("[{\"x\":0,\"y\":0,\"mass\":3,\"color\":\"#A9D1FD\"}]") }),
    [] (const auto& info) { return std::string (info.param.name); });

TEST (NormalizePresetLimits, ThirtyCellsKeepTheFirst24Accepted)
{
    juce::String cells = "[\"junk\"";
    for (int i = 0; i < 30; ++i)
        cells << ",{\"x\":" << juce::String (i * 0.01) << ",\"y\":0,\"mass\":2,\"id\":" << juce::String (100 + i) << "}";
    cells << "]";
    const juce::var result = normalizePreset (juce::JSON::parse ("{\"cells\":" + cells + "}"));
    const auto* out = result.getProperty ("cells", {}).getArray();
    ASSERT_NE (out, nullptr);
    ASSERT_EQ (out->size(), 24);
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ (static_cast<int> (out->getReference (i).getProperty ("id", {})), 100 + i);
}

TEST (NormalizePresetLimits, NonFiniteNumbersSkipTheCell)
{
    auto* cell = new juce::DynamicObject();
    juce::var cellVar (cell);
    cell->setProperty ("x", std::numeric_limits<double>::quiet_NaN());
    cell->setProperty ("y", 0.0);
    cell->setProperty ("mass", 3.0);
    auto* preset = new juce::DynamicObject();
    juce::var presetVar (preset);
    preset->setProperty ("cells", juce::Array<juce::var> { cellVar });
    EXPECT_TRUE (normalizePreset (presetVar).isVoid());

    cell->setProperty ("x", 0.0);
    cell->setProperty ("mass", std::numeric_limits<double>::infinity());
    EXPECT_TRUE (normalizePreset (presetVar).isVoid());
}

//==============================================================================
TEST (PresetFromCells, SavesTheLiveCellsInSlotOrderWithTheParameters)
{
    testing::FakeHost host;
    host.place (3, 5, 40, 0.25, -0.5, 4.0);  // diamond of colour 5
    host.place (-1, 2, 41, -0.1, 0.1, 2.0);  // plain colour 2
    const int dying = host.place (6, 0, 42, 0.0, 0.0, 3.0);
    host.dish.cells[static_cast<std::size_t> (dying)].dying = true;
    for (std::size_t i = 0; i < SoundParams::count; ++i)
        host.params[i] = 0.05 * static_cast<double> (i);

    const juce::var value = presetFromCells (host.dish.cells, host.params);
    const juce::var expected = juce::JSON::parse (
        "{\"cells\":[{\"x\":0.25,\"y\":-0.5,\"mass\":4,\"id\":40,\"color\":\"#FDC58E\",\"motif\":\"diamond\"},"
        "{\"x\":-0.1,\"y\":0.1,\"mass\":2,\"id\":41,\"color\":\"#FCD9EC\"}],"
        "\"fxControls\":[0,0.05,0.1,0.15000000000000002,0.2,0.25,0.30000000000000004,0.35000000000000003,0.4,0.45,0.5,0.55]}");
    EXPECT_TRUE (sameJson (value, expected)) << juce::JSON::toString (value, true);
    EXPECT_TRUE (sameJson (normalizePreset (value), value)) << "a saved value is already normal";

    testing::FakeHost empty;
    EXPECT_TRUE (presetFromCells (empty.dish.cells, empty.params).isVoid());
}

TEST (PresetArrivalsTest, ReadsEntriesWithDefaults)
{
    const juce::var preset = juce::JSON::parse (
        "{\"cells\":[{\"x\":0.5,\"y\":-0.25,\"mass\":7,\"id\":12,\"color\":\"#AFB5BE\",\"motif\":\"ribbon\"},"
        "{\"color\":\"red\",\"motif\":\"normal\",\"id\":16777216},{}],\"fxControls\":[0.5,2]}");
    const auto arrivals = presetArrivals (preset);
    ASSERT_EQ (arrivals.count, 3);
    const auto& a = arrivals.entries[0];
    EXPECT_EQ (a.motif, 13);
    EXPECT_EQ (a.colour, 7);
    EXPECT_EQ (a.id, 12);
    EXPECT_DOUBLE_EQ (a.x, 0.5);
    EXPECT_DOUBLE_EQ (a.y, -0.25);
    EXPECT_DOUBLE_EQ (a.mass, 7.0);
    EXPECT_FALSE (a.launch);
    for (int i = 1; i < 3; ++i)
    {
        const auto& e = arrivals.entries[static_cast<std::size_t> (i)];
        EXPECT_EQ (e.motif, -1);
        EXPECT_EQ (e.colour, 0);
        EXPECT_EQ (e.id, -1);
        EXPECT_DOUBLE_EQ (e.x, 0.0);
        EXPECT_DOUBLE_EQ (e.mass, 1.0);
    }

    // A raw value with two "fxControls" sets only the first two, limited.
    const auto sound = presetSoundParams (preset);
    EXPECT_TRUE (sound.present[0] && sound.present[1] && ! sound.present[2]);
    EXPECT_DOUBLE_EQ (sound.params[0], 0.5);
    EXPECT_DOUBLE_EQ (sound.params[1], 1.0);
}

} // namespace
} // namespace brivola
