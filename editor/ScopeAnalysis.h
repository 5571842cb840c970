#pragma once

#include "engine/dsp/Fft.h"
#include "engine/effects/OutputCapture.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace brivola
{

//==============================================================================
/** The scope's spectrum state, kept by the processor so that it outlasts a closed editor and
    follows the prepared sample rate: smoothed magnitudes of a 2048-point transform, the
    transform's buffer and the table of 32 logarithmic bands from 50 Hz to 16 kHz.

    Everything is allocated at construction; `analyse` allocates nothing. Used only by the
    editor's publishing tick on the message thread. */
class ScopeAnalysis
{
public:
    static constexpr std::size_t fftSize = 2048;
    static constexpr std::size_t numBins = fftSize / 2;
    static constexpr std::size_t numBands = 32;
    static constexpr std::size_t waveSize = 512;
    static constexpr std::size_t copySize = 1024;

    /** First and end (exclusive) transform bin of a band. */
    struct Band
    {
        std::uint64_t first = 0, end = 0;
    };

    ScopeAnalysis();

    /** One picture from the capture's ring: the 512-sample wave from the first rising zero
        crossing of the newest 1024 samples (each clamped to ±1) and the 32 bars (0 at −70 dB,
        1 at 0 dB) of the smoothed spectrum of the newest 2048 samples under a Blackman window. */
    void analyse (const OutputCapture& capture, std::array<float, waveSize>& wave,
                  std::array<float, numBands>& bars) noexcept;

    /** The band table as last built (after the first analysis of a preparation). */
    const std::array<Band, numBands>& getBands() const noexcept { return bands; }
    /** The smoothed magnitude of a bin. */
    double getSmoothed (std::size_t bin) const noexcept { return smoothed[bin % numBins]; }

    /** Band table for a sample rate (bin width rate / 2048). */
    static std::array<Band, numBands> buildBands (double sampleRate) noexcept;

    /** The Blackman window, computed once per process. */
    static const std::array<double, fftSize>& window() noexcept;

private:
    std::array<double, numBins> smoothed {};
    Fft fft { fftSize, Fft::Kind::complex };
    std::array<Band, numBands> bands {};
    std::uint32_t seenPrepare = 0;
    std::uint32_t bandsBuiltFor = 0;
};

//==============================================================================
/** The editor's side of the scope: the every-other-tick phase, the silence and idle flags, and
    the last picture. */
struct ScopeView
{
    bool phase = false;
    bool silent = false;
    bool idleSent = false;
    std::array<float, ScopeAnalysis::waveSize> wave {};
    std::array<float, ScopeAnalysis::numBands> bars {};
};

/** What one publishing tick does with the scope. */
enum class ScopeOutcome
{
    nothing, // capture off, the off phase, or silence already reported
    idle,    // publish {idle: true}
    picture  // publish the view's wave and bars
};

/** One tick: analyses on the first tick after capture turns on and every second tick after
    that; reports idle once while the ring stays exactly silent after a silent picture. */
ScopeOutcome scopeTick (ScopeView& view, ScopeAnalysis& analysis, const OutputCapture& capture) noexcept;

/** Rounds to 3 decimals in single precision, halves away from zero. */
float roundScopeValue (float value) noexcept;

} // namespace brivola
