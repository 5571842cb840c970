#include "editor/PageJson.h"

#include <charconv>
#include <cmath>
#include <string>

namespace brivola
{
namespace
{

void writeString (std::string& out, const juce::String& text)
{
    static constexpr char hex[] = "0123456789abcdef";
    const auto unit = [&out] (unsigned u)
    {
        out += "\\u";
        for (int shift = 12; shift >= 0; shift -= 4)
            out += hex[(u >> shift) & 0xfu];
    };

    out += '"';
    for (auto p = text.getCharPointer(); ! p.isEmpty();)
    {
        const auto c = static_cast<std::uint32_t> (p.getAndAdvance());
        switch (c)
        {
            case '"':  out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c >= 0x20 && c < 0x7f)
                {
                    out += static_cast<char> (c);
                }
                else if (c >= 0x10000 && c <= 0x10ffff)
                {
                    const auto v = c - 0x10000;
                    unit (0xd800 + (v >> 10));
                    unit (0xdc00 + (v & 0x3ffu));
                }
                else
                {
                    unit (c > 0x10ffff ? 0xfffdu : c);
                }
        }
    }
    out += '"';
}

void writeNumber (std::string& out, double d)
{
    if (! std::isfinite (d))
    {
        out += "null";
        return;
    }
    char buffer[32];
    const auto result = std::to_chars (buffer, buffer + sizeof (buffer), d);
    out.append (buffer, result.ptr);
}

void writeValue (std::string& out, const juce::var& v)
{
    if (v.isVoid() || v.isUndefined())
    {
        out += "null";
    }
    else if (v.isBool())
    {
        out += static_cast<bool> (v) ? "true" : "false";
    }
    else if (v.isInt() || v.isInt64())
    {
        out += std::to_string (static_cast<juce::int64> (v));
    }
    else if (v.isDouble())
    {
        writeNumber (out, static_cast<double> (v));
    }
    else if (v.isString())
    {
        writeString (out, v.toString());
    }
    else if (const auto* array = v.getArray())
    {
        out += '[';
        for (int i = 0; i < array->size(); ++i)
        {
            if (i > 0)
                out += ',';
            writeValue (out, array->getReference (i));
        }
        out += ']';
    }
    else if (auto* object = v.getDynamicObject())
    {
        out += '{';
        bool first = true;
        for (const auto& property : object->getProperties())
        {
            if (! first)
                out += ',';
            first = false;
            writeString (out, property.name.toString());
            out += ':';
            writeValue (out, property.value);
        }
        out += '}';
    }
    else
    {
        out += "null";
    }
}

} // namespace

juce::String writePageJson (const juce::var& value)
{
    std::string out;
    out.reserve (8192);
    writeValue (out, value);
    return juce::String (out.data(), out.size()); // plain ASCII
}

juce::String pageEventScript (const juce::Identifier& name, const juce::var& value)
{
    std::string json;
    json.reserve (8192);
    writeValue (json, value);

    // The JSON text goes inside a single-quoted JavaScript string: its backslashes and quotes are
    // escaped once more. Event names are plain identifiers.
    std::string script;
    script.reserve (json.size() + 128);
    script += "window.__JUCE__.backend.emitByBackend(\"";
    script += name.toString().toStdString();
    script += "\", '";
    for (const char c : json)
    {
        if (c == '\\' || c == '\'')
            script += '\\';
        script += c;
    }
    script += "');";
    return juce::String (script.data(), script.size()); // plain ASCII
}

} // namespace brivola
