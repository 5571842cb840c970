#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <optional>

namespace brivola::host
{

/** The state a JUCE host keeps for a VST3 plug-in: an XML element "VST3PluginState" in JUCE's
    binary XML wrapping, whose "IComponent" child holds the component's bytes in base64. A JUCE
    plug-in's component bytes are its own getStateInformation bytes followed by the VST3 wrapper's
    private section (int64 0, a small ValueTree, int64 size, "JUCEPrivateData"). */

/** True when the bytes are a host-side VST3 state. */
bool isHostState (const juce::MemoryBlock& bytes);

/** The component bytes of a host-side state (with the wrapper's private section, if any). */
std::optional<juce::MemoryBlock> extractComponentState (const juce::MemoryBlock& hostState);

/** The plug-in's own bytes: component bytes without a trailing "JUCEPrivateData" section.
    Bytes without that section come back unchanged; a malformed section gives nothing. */
std::optional<juce::MemoryBlock> stripWrapperSection (const juce::MemoryBlock& componentBytes);

/** Wraps a plug-in's own bytes as a host-side state; the wrapper passes them to the plug-in whole. */
juce::MemoryBlock wrapAsHostState (const juce::MemoryBlock& pluginBytes);

/** Reads a file of either form and returns a host-side state to restore, or nothing with `error`.
    `wasHostState` tells which form the file held. */
std::optional<juce::MemoryBlock> readStateFile (const juce::File& file, bool& wasHostState, juce::String& error);

/** Writes bytes to a file (replacing it); false with `error` on failure. */
bool writeBytes (const juce::File& file, const juce::MemoryBlock& bytes, juce::String& error);

} // namespace brivola::host
