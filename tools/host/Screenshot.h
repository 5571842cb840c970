#pragma once

#include <juce_graphics/juce_graphics.h>

namespace brivola::host
{

/** Saves what the screen shows in `screenArea` (logical pixels) as a PNG file, read back from the
    display server, so native child windows such as a web view are included. Linux (X11) only;
    false with `error` set elsewhere, with no display, or when the file cannot be written. */
bool saveScreenshot (juce::Rectangle<int> screenArea, const juce::File& png, juce::String& error);

} // namespace brivola::host
