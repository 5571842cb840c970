// The editor's own JSON writer for the frame message: what it writes reads back as the same value,
// in the framework's reader and as plain ASCII.
#include "editor/PageJson.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

using namespace brivola;

namespace
{

juce::var object (std::initializer_list<std::pair<const char*, juce::var>> properties)
{
    auto* o = new juce::DynamicObject();
    for (const auto& [name, value] : properties)
        o->setProperty (name, value);
    return juce::var (o);
}

juce::var array (std::initializer_list<juce::var> items)
{
    return juce::var (juce::Array<juce::var> (items));
}

/** Deep equality in which numbers compare by value, whatever their stored type. */
bool same (const juce::var& a, const juce::var& b)
{
    if (a.isArray() || b.isArray())
    {
        if (! a.isArray() || ! b.isArray() || a.size() != b.size())
            return false;
        for (int i = 0; i < a.size(); ++i)
            if (! same (a[i], b[i]))
                return false;
        return true;
    }
    if (a.isObject() || b.isObject())
    {
        auto* x = a.getDynamicObject();
        auto* y = b.getDynamicObject();
        if (x == nullptr || y == nullptr || x->getProperties().size() != y->getProperties().size())
            return false;
        for (const auto& p : x->getProperties())
            if (! y->hasProperty (p.name) || ! same (p.value, y->getProperty (p.name)))
                return false;
        return true;
    }
    if ((a.isInt() || a.isInt64() || a.isDouble()) && (b.isInt() || b.isInt64() || b.isDouble()))
        return static_cast<double> (a) == static_cast<double> (b);
    if (a.isString() && b.isString())
        return a.toString() == b.toString();
    if (a.isBool() && b.isBool())
        return static_cast<bool> (a) == static_cast<bool> (b);
    return a.isVoid() && b.isVoid();
}

} // namespace

TEST (PageJson, ValuesReadBackUnchanged)
{
    const juce::var values[] = {
        object ({ { "cells", object ({ { "cells", array ({ 17, 0.1235, -0.4321, 3.25, 2, 1, -1, 6.2832, 0.000001, -0.000004, 0, 0.5, 1 }) } }) },
                  { "state", object ({ { "note", -1 } }) },
                  { "voices", object ({ { "levels", array ({}) } }) } }),
        array ({ 0.1, 1.0 / 3.0, 1e-7, 1e21, 123456789.125, -0.0, 0.0001, 99999.99 }),
        array ({ juce::int64 (9223372036854775807LL), juce::int64 (-9223372036854775807LL - 1), 2147483647, 0 }),
        array ({ true, false, juce::var(), "", "plain", "quote \" backslash \\ slash /", "tab\tline\ncr\rbell\x07" }),
        object ({ { "key \"with\" quotes", array ({ array ({ array ({}) }), object ({}) }) } }),
        array ({ juce::String (juce::CharPointer_UTF8 ("caf\xc3\xa9 \xe2\x80\xa6")) }),
    };

    for (const auto& v : values)
    {
        const auto text = writePageJson (v);
        SCOPED_TRACE (text.toStdString());
        EXPECT_TRUE (text.toStdString().find_first_not_of (
                         " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~")
                     == std::string::npos)
            << "plain printable ASCII only";
        juce::var back;
        ASSERT_TRUE (juce::JSON::parse (text, back).wasOk());
        EXPECT_TRUE (same (v, back));
    }
}

TEST (PageJson, EveryFiniteDoubleReadsBackExactly)
{
    // The page reads numbers with JavaScript's exact reader; strtod is the same rounding.
    juce::Random random (7);
    juce::Array<juce::var> values;
    for (int i = 0; i < 2000; ++i)
    {
        double d = 0.0;
        do
        {
            const auto bits = static_cast<std::uint64_t> (random.nextInt64());
            std::memcpy (&d, &bits, sizeof (d));
        } while (! std::isfinite (d));
        values.add (i % 2 == 0 ? d : std::round (random.nextDouble() * 2e6 - 1e6) / 10000.0);
    }
    values.add (std::numeric_limits<double>::denorm_min());
    values.add (std::numeric_limits<double>::max());

    const auto text = writePageJson (juce::var (values)).toStdString();
    ASSERT_EQ (text.front(), '[');
    std::size_t at = 1;
    for (const auto& v : values)
    {
        char* end = nullptr;
        const double read = std::strtod (text.c_str() + at, &end);
        ASSERT_EQ (read, static_cast<double> (v)) << text.substr (at, 30);
        at = static_cast<std::size_t> (end - text.c_str()) + 1; // past the comma
    }
    EXPECT_EQ (at, text.size());
}

TEST (PageJson, NumbersAreShortAndNonFiniteOnesNull)
{
    EXPECT_EQ (writePageJson (array ({ 0.1235, 1.0, -0.000001, 42 })), "[0.1235,1,-1e-06,42]");
    EXPECT_EQ (writePageJson (array ({ std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity() })),
               "[null,null]");
    EXPECT_EQ (writePageJson (juce::var (juce::String (juce::CharPointer_UTF8 ("\xc3\xa9\xf0\x9f\x8c\x8a")))),
               "\"\\u00e9\\ud83c\\udf0a\"");
}

TEST (PageJson, TheEventScriptCarriesTheJsonTextInASingleQuotedString)
{
    const auto frame = object ({ { "state", object ({ { "note", 60 } }) } });
    EXPECT_EQ (pageEventScript ("frame", frame),
               "window.__JUCE__.backend.emitByBackend(\"frame\", '{\"state\":{\"note\":60}}');");

    // Quotes and backslashes of the JSON text are escaped once more for the JavaScript string.
    const auto awkward = object ({ { "k", "it's a \"back\\slash\"" } });
    EXPECT_EQ (writePageJson (awkward), "{\"k\":\"it's a \\\"back\\\\slash\\\"\"}");
    EXPECT_EQ (pageEventScript ("x", awkward),
               R"(window.__JUCE__.backend.emitByBackend("x", '{"k":"it\'s a \\"back\\\\slash\\""}');)");
}
