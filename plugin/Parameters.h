#pragma once

#include "engine/SoundParams.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>

namespace brivola
{

/** Ids and display names of the twelve sound parameters, in host order. */
struct ParameterInfo
{
    const char* id;
    const char* name;
};

inline constexpr std::array<ParameterInfo, SoundParams::count> parameterInfos { {
    { "filter", "Filter" },
    { "attack", "Attack" },
    { "chorus", "Chorus" },
    { "reverb", "Reverb" },
    { "sub", "Sub Osc" },
    { "sat", "Saturation" },
    { "delay", "Delay" },
    { "width", "Stereo Width" },
    { "detune", "Detune" },
    { "shimmer", "Shimmer" },
    { "formant", "Formant" },
    { "phaser", "Phaser" },
} };

/** The parameter tree's state type. */
inline constexpr const char* parameterStateType = "brivola";

/** The twelve parameters: linear 0..1, continuous, default 0, version hint 1. */
juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout();

/** The parameter objects of the tree, looked up by id, in host order. */
using ParameterArray = std::array<juce::AudioParameterFloat*, SoundParams::count>;
ParameterArray findParameters (juce::AudioProcessorValueTreeState& tree);

/** Reads each parameter once (an atomic load) and sanitises it: NaN, infinities and negatives
    give 0, values above 1 give 1. Safe on any thread. */
SoundParams takeSnapshot (const ParameterArray& parameters) noexcept;

} // namespace brivola
