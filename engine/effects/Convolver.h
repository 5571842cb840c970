#pragma once

#include "engine/dsp/Fft.h"

#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace brivola
{

/** Partitioned FFT convolution (uniform partitions per stage, overlap-save, frequency-domain delay
    lines) with a fixed response.

    The output is the linear convolution of the input with the response from sample 128 on, with no
    further delay: out[n] = Σ_{j ≥ 128} h[j] × in[n - j]. Samples 0..127 of the response are not
    used. Input is gathered in 128-sample blocks; `process` accepts any number of samples.

    Stages:
    - h[128, 4096) in 128-sample partitions, latency 128, computed in full at every block;
    - h[4096, 24576) in 4096-sample partitions, latency 4096: the older partitions' products are
      accumulated over the 31 blocks before a partition completes, so only the newest one (forward
      FFT, one product, inverse FFT) falls on the completing block;
    - h[24576, end) in 8192-sample partitions, latency 3 × 8192: partitions are handled in pairs of
      consecutive input blocks, whose two output sums share every load of a partition spectrum and
      of an input spectrum (half the memory traffic of computing them one by one). The forward FFTs,
      the products and the inverse FFTs are spread over the blocks before their deadlines.

    The long stage splits each of its transforms into three steps in three blocks. Two convolvers
    fed in step (left and right) with phases 16 blocks apart never do transform work in the same
    block, and none of it coincides with the 4096-sample stage's completing blocks.

    `prepare` allocates and plans the transforms (message thread); `reset` and `process` allocate
    nothing and take no lock. */
class Convolver
{
public:
    static constexpr std::size_t blockSize = 128;
    /** The leading response samples that are not used. */
    static constexpr std::size_t skippedHead = 128;

    Convolver() = default;
    Convolver (Convolver&&) noexcept = default;
    Convolver& operator= (Convolver&&) noexcept = default;

    /** Loads response[128 .. length) and clears the state. `phaseBlocks` shifts the long stages'
        schedule by that many blocks. */
    void prepare (const double* response, std::size_t length, std::size_t phaseBlocks = 0);

    /** Clears all input history, spectra, partial sums and outputs. */
    void reset() noexcept;

    /** Convolves `numSamples` samples; `input` and `output` may be the same buffer. */
    void process (const double* input, double* output, std::size_t numSamples) noexcept;

    /** The length of the response given to prepare. */
    std::size_t responseLength() const noexcept { return length; }

private:
    static constexpr std::size_t lanes = 8; // bins per group in the spectrum layout

    struct Stage
    {
        std::size_t partition = 0;   // P: samples per partition and per input block
        std::size_t ticks = 0;       // P / 128
        std::size_t count = 0;       // number of partitions
        bool paired = false;         // latency 3P, blocks handled in pairs; else latency P
        std::size_t bins = 0;        // P + 1
        std::size_t groups = 0;      // bins in groups of `lanes`
        std::size_t ring = 0;        // input spectra kept (count, or count + 1 when paired)
        std::size_t firstTick = 0;   // tick after reset (the phase)
        std::optional<Fft> fft;      // 2P-point real transform (the immediate stages)
        // The paired stage splits each 2P-point transform into two P-point real transforms of
        // the even and the odd samples and a combining pass, done in three different blocks.
        std::optional<Fft> fftEven, fftOdd;
        std::vector<std::complex<double>> twiddle; // e^(-2πik / 2P), k = 0..P
        // Spectra are stored group by group: for each group of `lanes` bins, all partitions (or
        // ring slots) one after the other, each as `lanes` real parts then `lanes` imaginary parts.
        // A block's share of the work is then one contiguous sweep through memory.
        std::vector<double> h;       // groups × count cells: partition spectra
        std::vector<double> x;       // groups × ring cells: input spectra
        std::vector<double> acc;     // 2 × groups cells: partial sums
        std::vector<double> blocks;  // input blocks, a ring of 2 (3 when paired) × P
        std::vector<double> out;     // outputs, 1 (3 when paired) × P
        // Which slice of the spread products each tick does (-1: none), and the slice counts.
        std::vector<int> sweepSlice, secondSlice;
        std::size_t sweepSlices = 0, secondSlices = 0;

        std::size_t tick = 0;        // 0..ticks-1, or 0..2 ticks-1 when paired
        std::uint64_t block = 0;     // index of the input block being gathered
        std::size_t newest = 0;      // ring slot of the newest input spectrum
        std::size_t pairFirst = 0;   // paired: ring slot of the first block of the current pair

        void reset() noexcept;
        void run (const double* input) noexcept;
        const double* nextOutput() const noexcept;
        void forward() noexcept;
        void inverse (std::size_t sum, double* destination) noexcept;
        void splitForward (int step) noexcept;
        void splitInverse (int step, std::size_t sum, double* destination) noexcept;
        void accumulate (std::size_t sum, std::size_t firstPartition, std::size_t lastPartition, std::size_t newestPartition,
                         std::size_t slice, std::size_t slices) noexcept;
    };

    void runBlock() noexcept;

    std::vector<Stage> stages;
    std::size_t length = 0;
    std::array<double, blockSize> inBlock {};
    std::array<double, blockSize> outBlock {};
    std::size_t position = 0;
};

} // namespace brivola
