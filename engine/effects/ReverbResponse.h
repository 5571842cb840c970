#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace brivola
{

/** The reverb's stereo impulse response. */
struct ReverbResponse
{
    std::vector<double> left;
    std::vector<double> right;
};

/** floor(8.02 × sampleRate): the response length in samples per channel. */
std::size_t reverbResponseLength (double sampleRate) noexcept;

/** The response's amplitude envelope at time t (seconds): silent for 20 ms, then an exponential
    decay (about 60 dB per 2.86 s) until 7.22 s, then a straight fade to 0 at 8.02 s. */
double reverbEnvelope (double t) noexcept;

/** The xorshift64 noise source of the response: state ^= state >> 12, state ^= state << 25,
    state ^= state >> 27, output ((state × 0x2545F4914F6CDD1D) >> 11) × 2^-53 in [0, 1). */
struct XorShift64
{
    std::uint64_t state = 1;

    /** The next number in [0, 1). */
    double next() noexcept
    {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return static_cast<double> ((state * 0x2545F4914F6CDD1DULL) >> 11) * 0x1.0p-53;
    }
};

/** Generates the response: per sample two noise sums (each the mean of two uniform values in
    [-1, 1) times the envelope, rounded to single precision), then both channels scaled to an RMS of
    0.0012589254117941675 × 44100 / sampleRate. Allocates. */
ReverbResponse makeReverbResponse (double sampleRate);

} // namespace brivola
