#pragma once

#include <juce_core/juce_core.h>

namespace brivola
{

/** Writes a message value as compact JSON text, fast: numbers in their shortest form that reads
    back to the same double, non-finite numbers as null, every character outside ASCII as a \u
    escape (so the text is plain ASCII), objects in property order. Values JSON cannot hold
    (methods, binary data) are written as null. */
juce::String writePageJson (const juce::var& value);

/** The script that hands a message to the page's listeners as the framework's own event emission
    does (the page-side backend's emitByBackend with the payload as JSON text in a single-quoted
    string), with the payload written by writePageJson. The editor sends "frame", the large message
    sent up to 60 times a second, this way: the framework formats numbers and escapes text several
    times more slowly. */
juce::String pageEventScript (const juce::Identifier& name, const juce::var& value);

} // namespace brivola
