#pragma once

#include "engine/EngineVoice.h"

#include <array>

namespace brivola
{

//==============================================================================
/** Most voices one vector pass renders side by side: eight doubles fill an AVX-512 register. */
inline constexpr int maxVoiceLanes = 8;

/** Longest run a vector pass renders: the run length of the voice chain. */
inline constexpr int voiceRunLength = VibratoSines::maxRun;

/** The enveloped output of one vector pass: sample s of lane k at [s * maxVoiceLanes + k]. */
struct alignas (64) VoiceGroupBlock : std::array<double, voiceRunLength * maxVoiceLanes>
{
};

/** Number of voices the vector kernels render side by side on this CPU (1 to 8): the double lanes of
    the instruction set chosen at run time, at most eight. */
int voiceKernelLanes() noexcept;

/** Name of the instruction set the vector kernels run with ("AVX3", "AVX2", "SSE4", "NEON", "EMU128"
    for the portable fallback, ...). */
const char* voiceKernelTarget() noexcept;

/** Renders `count` samples (1 to 64) of `lanes` voices (1 to voiceKernelLanes()) side by side: each
    voice's oscillators, wavefolder, vibrato, low-pass and envelope level, exactly the arithmetic of the
    scalar voice code (oscillatorSample for every sample, processVoiceChain over the run, times
    VoiceEnvelope::levelAt), so the results are the same to the last bit. Every voice must have a timbre,
    all of the same synthesis type, and a sized vibrato line, and its envelope must keep its stage
    through the run (no release after the attack pending, no release ending inside the run). Writes the
    enveloped output into `block` and advances the voices' states, envelope time included. Allocates
    nothing; the instruction set is the one chosen at run time. */
void renderVoiceGroup (EngineVoice* const* voices, int lanes, int count, VoiceGroupBlock& block) noexcept;

} // namespace brivola
