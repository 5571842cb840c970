#include "editor/PageFields.h"

#include <cmath>

namespace brivola
{

namespace
{
/** The field's value, or a void var when the payload is not an object or lacks the key. */
const juce::var& fieldOf (const juce::var& payload, const juce::Identifier& key) noexcept
{
    if (auto* object = payload.getDynamicObject())
        return object->getProperty (key);
    static const juce::var missing;
    return missing;
}
} // namespace

bool isJsonNumber (const juce::var& value) noexcept
{
    return value.isInt() || value.isInt64() || value.isDouble();
}

bool isPageString (const juce::var& value) noexcept
{
    return value.isString() && value.toString().length() <= maxPageStringLength;
}

int readIntField (const juce::var& payload, const juce::Identifier& key, int fallback) noexcept
{
    const auto& value = fieldOf (payload, key);
    if (value.isInt())
        return static_cast<int> (value);
    if (value.isInt64())
    {
        const auto v = static_cast<juce::int64> (value);
        return (v >= -2147483648LL && v <= 2147483647LL) ? static_cast<int> (v) : fallback;
    }
    if (value.isDouble())
    {
        const auto v = static_cast<double> (value);
        if (std::isfinite (v) && v >= -2147483648.0 && v <= 2147483647.0)
            return static_cast<int> (std::trunc (v));
    }
    return fallback;
}

std::optional<double> readNumberField (const juce::var& payload, const juce::Identifier& key) noexcept
{
    const auto& value = fieldOf (payload, key);
    if (! isJsonNumber (value))
        return std::nullopt;
    const auto v = static_cast<double> (value);
    if (! std::isfinite (v))
        return std::nullopt;
    return v;
}

bool readBoolField (const juce::var& payload, const juce::Identifier& key) noexcept
{
    return static_cast<bool> (fieldOf (payload, key));
}

std::optional<juce::String> readStringField (const juce::var& payload, const juce::Identifier& key)
{
    const auto& value = fieldOf (payload, key);
    if (! isPageString (value))
        return std::nullopt;
    return value.toString();
}

} // namespace brivola
