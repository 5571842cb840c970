#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <vector>

namespace brivola::host
{

/** A hosted instance's parameters sorted by role. Through VST3, a JUCE plug-in also exposes a
    bypass parameter and 16 × 130 hidden parameters that carry MIDI controllers ("MIDI CC c|n",
    not automatable); `own` holds the plug-in's parameters including the bypass. */
struct ParameterCatalogue
{
    std::vector<juce::AudioProcessorParameter*> all;
    std::vector<juce::AudioProcessorParameter*> own;
    std::vector<juce::AudioProcessorParameter*> midiControllers;
    juce::AudioProcessorParameter* bypass = nullptr;
};

/** Sorts the instance's parameters into a catalogue. */
ParameterCatalogue catalogueParameters (juce::AudioProcessor& processor);

/** True for the framework's hidden MIDI-controller parameters. */
bool isMidiControllerParameter (const juce::AudioProcessorParameter& parameter);

/** The parameter's id as the host sees it (the VST3 parameter id as text). */
juce::String parameterIdOf (const juce::AudioProcessorParameter& parameter);

/** Finds a parameter by "#INDEX", VST3 id, the plug-in's string id (through the framework's id
    hash) or name (case-insensitive); null with `error` set when nothing or more than one matches. */
juce::AudioProcessorParameter* findParameter (juce::AudioProcessor& processor,
                                              const juce::String& reference,
                                              juce::String& error);

} // namespace brivola::host
