#pragma once

#include <juce_core/juce_core.h>

#include <optional>

namespace brivola
{

//==============================================================================
// Reading the fields of a page event's payload. A payload that is not an object has no fields.

/** An integer field: a JSON number (integer or floating) that is finite and lies within the
    32-bit signed range, truncated toward zero; anything else (missing, a boolean, a string, an
    infinite or out-of-range number) gives `fallback`. */
int readIntField (const juce::var& payload, const juce::Identifier& key, int fallback) noexcept;

/** A number field: a finite JSON number, or nothing (the caller then ignores the whole event). */
std::optional<double> readNumberField (const juce::var& payload, const juce::Identifier& key) noexcept;

/** A boolean field, by juce::var's boolean conversion (true and any non-zero number are true);
    a missing field is false. */
bool readBoolField (const juce::var& payload, const juce::Identifier& key) noexcept;

/** A string field: a JSON string of at most `maxPageStringLength` characters (Unicode code
    points), or nothing (the caller then ignores the whole event). */
std::optional<juce::String> readStringField (const juce::var& payload, const juce::Identifier& key);

/** Longest string a page event may carry in one field, in characters. */
inline constexpr int maxPageStringLength = 128;

/** True for a JSON number: an integer or floating value, not a boolean. */
bool isJsonNumber (const juce::var& value) noexcept;

/** True for a JSON string of at most `maxPageStringLength` characters. */
bool isPageString (const juce::var& value) noexcept;

} // namespace brivola
