#include "engine/effects/Convolver.h"

#include <algorithm>
#include <cstring>
#include <numbers>

namespace brivola
{

namespace
{
constexpr std::size_t lanes = 8;
constexpr std::size_t cell = 2 * lanes;

constexpr std::size_t shortPartition = 128;
constexpr std::size_t middlePartition = 4096;
constexpr std::size_t longPartition = 8192;
constexpr std::size_t middleStart = 4096;
constexpr std::size_t longStart = 3 * longPartition; // 24576: the paired stage's latency

// Schedule of the paired stage within its two-block cycle of 2 × 64 ticks (first block: ticks
// 0..63, second: 64..127). Pair n = blocks A, B; events for pair n:
//   ticks 64..66 of cycle n:    forward FFT of A (three steps)
//   tick 67 of n .. 43 of n+1:  both sums' products with all spectra up to A (the pair's sweep)
//                               (spread work skips the quiet ticks below)
//   ticks 0..2 of n+1:          forward FFT of B
//   ticks 3..34 of n+1:         B's product with partition 0
//   ticks 44..46 of n+1:        inverse FFT of A's sum (heard from tick 64 of n+1 on)
//   ticks 56..58 of n+1:        inverse FFT of B's sum (heard from tick 0 of n+2 on)
// No transform step falls on a tick ≡ 15 or 31 (mod 32), where this or the other channel's
// 4096-sample stage completes, and the other channel's steps (16 ticks later) never meet these.
constexpr std::size_t pairTicks = 2 * (longPartition / 128);
constexpr std::size_t fftFirst = 64, sweepBegin = 67, sweepEnd = 44, fftSecond = 0;
constexpr std::size_t secondBegin = 3, secondEnd = 35, inverseFirst = 44, inverseSecond = 56;
constexpr std::size_t sweepTicks = pairTicks - sweepBegin + sweepEnd; // 105

#if defined(__GNUC__) && ! defined(__clang__) && defined(__x86_64__) && defined(__linux__)
    // On x86-64 Linux builds with GCC the kernels are also compiled for AVX2 + FMA and chosen at
    // load time when the processor has them.
    #define BRIVOLA_MAC_CLONES __attribute__ ((target_clones ("avx2,fma", "default")))
#else
    #define BRIVOLA_MAC_CLONES
#endif

// For the bin groups [begin, end): sum += Σ_k x[slot(k)] × h[k] over partitions k = first..last,
// where slot(first) = firstSlot and each further partition takes the ring slot before.
BRIVOLA_MAC_CLONES
void multiplyAccumulate (double* __restrict sum, const double* __restrict x, const double* __restrict h, std::size_t begin,
                         std::size_t end, std::size_t ring, std::size_t count, std::size_t first, std::size_t last,
                         std::size_t firstSlot) noexcept
{
    for (std::size_t g = begin; g < end; ++g)
    {
        double* a = sum + g * cell;
        const double* xs = x + g * ring * cell;
        const double* hs = h + g * count * cell;

        double re[lanes], im[lanes];
        for (std::size_t j = 0; j < lanes; ++j)
        {
            re[j] = a[j];
            im[j] = a[lanes + j];
        }

        const double* nextX = xs + ring * cell;
        const double* nextH = hs + count * cell;
        const bool prefetch = g + 1 < end;

        std::size_t slot = firstSlot;
        for (std::size_t k = first; k <= last; ++k)
        {
            const double* xv = xs + slot * cell;
            const double* hv = hs + k * cell;
            if (prefetch)
            {
                __builtin_prefetch (nextX + slot * cell);
                __builtin_prefetch (nextX + slot * cell + lanes);
                __builtin_prefetch (nextH + k * cell);
                __builtin_prefetch (nextH + k * cell + lanes);
            }
            for (std::size_t j = 0; j < lanes; ++j)
            {
                re[j] += xv[j] * hv[j] - xv[lanes + j] * hv[lanes + j];
                im[j] += xv[j] * hv[lanes + j] + xv[lanes + j] * hv[j];
            }
            slot = slot == 0 ? ring - 1 : slot - 1;
        }

        for (std::size_t j = 0; j < lanes; ++j)
        {
            a[j] = re[j];
            a[lanes + j] = im[j];
        }
    }
}

// For the bin groups [begin, end) and two consecutive blocks A and B = A + 1:
//   sumA += Σ_{k ≥ 0} X[A - k] × h[k],  sumB += Σ_{k ≥ 1} X[A - (k - 1)] × h[k],
// where X[A] is at ring slot slotA and older spectra at the slots before it. Each partition
// spectrum and each input spectrum is loaded once for both sums.
BRIVOLA_MAC_CLONES
void pairedMultiplyAccumulate (double* __restrict sumA, double* __restrict sumB, const double* __restrict x,
                               const double* __restrict h, std::size_t begin, std::size_t end, std::size_t ring,
                               std::size_t count, std::size_t slotA) noexcept
{
    for (std::size_t g = begin; g < end; ++g)
    {
        double* a = sumA + g * cell;
        double* b = sumB + g * cell;
        const double* xs = x + g * ring * cell;
        const double* hs = h + g * count * cell;

        double ra[lanes], ia[lanes], rb[lanes], ib[lanes];
        for (std::size_t j = 0; j < lanes; ++j)
        {
            ra[j] = a[j];
            ia[j] = a[lanes + j];
            rb[j] = b[j];
            ib[j] = b[lanes + j];
        }

        // The next group's spectra are fetched while this one is worked on.
        const double* nextX = xs + ring * cell;
        const double* nextH = hs + count * cell;
        const bool prefetch = g + 1 < end;

        std::size_t slot = slotA;
        const double* previous = xs + slot * cell;
        for (std::size_t j = 0; j < lanes; ++j)
        {
            ra[j] += previous[j] * hs[j] - previous[lanes + j] * hs[lanes + j];
            ia[j] += previous[j] * hs[lanes + j] + previous[lanes + j] * hs[j];
        }
        for (std::size_t k = 1; k < count; ++k)
        {
            slot = slot == 0 ? ring - 1 : slot - 1;
            const double* xv = xs + slot * cell;
            const double* hv = hs + k * cell;
            if (prefetch)
            {
                __builtin_prefetch (nextX + slot * cell);
                __builtin_prefetch (nextX + slot * cell + lanes);
                __builtin_prefetch (nextH + k * cell);
                __builtin_prefetch (nextH + k * cell + lanes);
            }
            for (std::size_t j = 0; j < lanes; ++j)
            {
                ra[j] += xv[j] * hv[j] - xv[lanes + j] * hv[lanes + j];
                ia[j] += xv[j] * hv[lanes + j] + xv[lanes + j] * hv[j];
                rb[j] += previous[j] * hv[j] - previous[lanes + j] * hv[lanes + j];
                ib[j] += previous[j] * hv[lanes + j] + previous[lanes + j] * hv[j];
            }
            previous = xv;
        }

        for (std::size_t j = 0; j < lanes; ++j)
        {
            a[j] = ra[j];
            a[lanes + j] = ia[j];
            b[j] = rb[j];
            b[lanes + j] = ib[j];
        }
    }
}

// Stores value(k) for bins k < numBins into ring slot `slot` of every group (the padding bins of
// the last group get 0). The slot was last written `ring` blocks ago and is no longer cached, so
// its lines are fetched a few groups ahead.
template <typename Value>
void storeSpectrum (double* x, std::size_t ring, std::size_t slot, std::size_t numBins, Value value) noexcept
{
    constexpr std::size_t ahead = 8;
    const std::size_t numGroups = (numBins + lanes - 1) / lanes;
    for (std::size_t g = 0; g < numGroups; ++g)
    {
        if (g + ahead < numGroups)
        {
            __builtin_prefetch (x + ((g + ahead) * ring + slot) * cell, 1);
            __builtin_prefetch (x + ((g + ahead) * ring + slot) * cell + lanes, 1);
        }
        double* c = x + (g * ring + slot) * cell;
        for (std::size_t j = 0; j < lanes; ++j)
        {
            const std::size_t k = g * lanes + j;
            const std::complex<double> v = k < numBins ? value (k) : std::complex<double> {};
            c[j] = v.real();
            c[lanes + j] = v.imag();
        }
    }
}

// Ticks ≡ 15 or 31 (mod 32) are where this convolver's or its partner's 4096-sample stage
// completes a block (a forward and an inverse transform): spread work avoids them.
constexpr bool quietTick (std::size_t u) noexcept
{
    return u % 32 == 15 || u % 32 == 31;
}

// For a window of `length` ticks starting at `first` in a cycle of `cycle` ticks: entry u holds the
// slice done at tick u (or -1 for none); `slices` receives the number of slices.
std::vector<int> spreadTable (std::size_t first, std::size_t length, std::size_t cycle, std::size_t& slices)
{
    std::vector<int> table (cycle, -1);
    slices = 0;
    for (std::size_t i = 0; i < length; ++i)
    {
        const std::size_t u = (first + i) % cycle;
        if (! quietTick (u))
            table[u] = static_cast<int> (slices++);
    }
    return table;
}

// The groups of slice `slice` out of `slices` equal slices.
inline std::size_t sliceStart (std::size_t groups, std::size_t slice, std::size_t slices) noexcept
{
    return groups * slice / slices;
}
} // namespace

void Convolver::prepare (const double* response, std::size_t responseLength, std::size_t phaseBlocks)
{
    length = responseLength;
    stages.clear();

    struct Layout
    {
        std::size_t partition, start, end;
        bool paired;
    };
    const Layout layouts[] = {
        { shortPartition, skippedHead, std::min (length, middleStart), false },
        { middlePartition, middleStart, std::min (length, longStart), false },
        { longPartition, longStart, length, true },
    };

    for (const auto& layout : layouts)
    {
        if (layout.end <= layout.start)
            continue;

        Stage s;
        s.partition = layout.partition;
        s.ticks = layout.partition / blockSize;
        s.count = (layout.end - layout.start + layout.partition - 1) / layout.partition;
        s.paired = layout.paired;
        s.bins = layout.partition + 1;
        s.groups = (s.bins + lanes - 1) / lanes;
        s.ring = s.paired ? s.count + 1 : s.count;
        s.firstTick = phaseBlocks % (s.paired ? 2 * s.ticks : s.ticks);
        if (! s.paired && s.ticks > 1)
            s.sweepSlice = spreadTable (0, s.ticks - 1, s.ticks, s.sweepSlices);
        s.fft.emplace (2 * layout.partition, Fft::Kind::real);
        if (s.paired)
        {
            s.sweepSlice = spreadTable (sweepBegin, sweepTicks, pairTicks, s.sweepSlices);
            s.secondSlice = spreadTable (secondBegin, secondEnd - secondBegin, pairTicks, s.secondSlices);
            s.fftEven.emplace (layout.partition, Fft::Kind::real);
            s.fftOdd.emplace (layout.partition, Fft::Kind::real);
            s.twiddle.resize (layout.partition + 1);
            for (std::size_t k = 0; k <= layout.partition; ++k)
                s.twiddle[k] = std::polar (1.0, -std::numbers::pi * static_cast<double> (k) / static_cast<double> (layout.partition));
        }
        s.h.assign (s.groups * s.count * cell, 0.0);
        s.x.assign (s.groups * s.ring * cell, 0.0);
        s.acc.assign (2 * s.groups * cell, 0.0);
        s.blocks.assign ((s.paired ? 3 : 2) * s.partition, 0.0);
        s.out.assign ((s.paired ? 3 : 1) * s.partition, 0.0);

        // Partition k holds h[start + kP, start + (k + 1)P), zero-padded to 2P points.
        const std::size_t p = s.partition;
        for (std::size_t k = 0; k < s.count; ++k)
        {
            double* time = s.fft->real();
            std::fill (time, time + 2 * p, 0.0);
            const std::size_t from = layout.start + k * p;
            const std::size_t to = std::min (from + p, layout.end);
            std::copy (response + from, response + to, time);
            s.fft->forward();
            const auto* bins = s.fft->spectrum();
            for (std::size_t i = 0; i < s.bins; ++i)
            {
                double* c = s.h.data() + ((i / lanes) * s.count + k) * cell + i % lanes;
                c[0] = bins[i].real();
                c[lanes] = bins[i].imag();
            }
        }
        if (s.paired)
            s.fft.reset(); // only needed for the partition spectra
        stages.push_back (std::move (s));
    }

    reset();
}

void Convolver::reset() noexcept
{
    for (auto& s : stages)
        s.reset();
    inBlock.fill (0.0);
    outBlock.fill (0.0);
    position = 0;
}

void Convolver::process (const double* input, double* output, std::size_t numSamples) noexcept
{
    while (numSamples > 0)
    {
        const std::size_t n = std::min (numSamples, blockSize - position);
        std::memcpy (inBlock.data() + position, input, n * sizeof (double));
        std::memcpy (output, outBlock.data() + position, n * sizeof (double));
        position += n;
        input += n;
        output += n;
        numSamples -= n;

        if (position == blockSize)
        {
            runBlock();
            position = 0;
        }
    }
}

void Convolver::runBlock() noexcept
{
    outBlock.fill (0.0);
    for (auto& s : stages)
    {
        s.run (inBlock.data());
        const double* o = s.nextOutput();
        for (std::size_t i = 0; i < blockSize; ++i)
            outBlock[i] += o[i];
    }
}

//==============================================================================
void Convolver::Stage::reset() noexcept
{
    std::fill (x.begin(), x.end(), 0.0);
    std::fill (acc.begin(), acc.end(), 0.0);
    std::fill (blocks.begin(), blocks.end(), 0.0);
    std::fill (out.begin(), out.end(), 0.0);
    tick = firstTick;
    block = 0;
    newest = 0;
    pairFirst = 0;
}

void Convolver::Stage::forward() noexcept
{
    // The block before the current one and the one before that (overlap-save input).
    const std::size_t numBlocks = paired ? 3 : 2;
    const std::size_t newer = (block + numBlocks - 1) % numBlocks;
    const std::size_t older = (block + numBlocks - 2) % numBlocks;
    double* time = fft->real();
    std::memcpy (time, blocks.data() + older * partition, partition * sizeof (double));
    std::memcpy (time + partition, blocks.data() + newer * partition, partition * sizeof (double));
    fft->forward();

    newest = (newest + 1) % ring;
    const auto* spectrum = fft->spectrum();
    storeSpectrum (x.data(), ring, newest, bins, [spectrum] (std::size_t k) { return spectrum[k]; });
}

void Convolver::Stage::inverse (std::size_t sum, double* destination) noexcept
{
    double* a = acc.data() + sum * groups * cell;
    auto* spectrum = fft->spectrum();
    for (std::size_t i = 0; i < bins; ++i)
    {
        const double* c = a + (i / lanes) * cell + i % lanes;
        spectrum[i] = { c[0], c[lanes] };
    }
    std::fill (a, a + groups * cell, 0.0);

    fft->inverse();
    // Overlap-save: the second half of the circular result is the valid linear convolution.
    std::memcpy (destination, fft->real() + partition, partition * sizeof (double));
}

void Convolver::Stage::splitForward (int step) noexcept
{
    // X[k] = E[k] + w^k O[k] for the 2P-point transform X of the overlap-save input, where E and O
    // are the P-point transforms of its even and odd samples (w = e^(-2πi / 2P)).
    const std::size_t numBlocks = 3;
    const double* older = blocks.data() + ((block + numBlocks - 2) % numBlocks) * partition;
    const double* newer = blocks.data() + ((block + numBlocks - 1) % numBlocks) * partition;
    const std::size_t half = partition / 2;

    if (step < 2)
    {
        Fft& f = step == 0 ? *fftEven : *fftOdd;
        double* t = f.real();
        const std::size_t offset = static_cast<std::size_t> (step);
        for (std::size_t m = 0; m < half; ++m)
        {
            t[m] = older[2 * m + offset];
            t[half + m] = newer[2 * m + offset];
        }
        f.forward();
        return;
    }

    newest = (newest + 1) % ring;
    const auto* e = fftEven->spectrum();
    const auto* o = fftOdd->spectrum();
    const std::size_t p = partition;
    const auto* w = twiddle.data();
    storeSpectrum (x.data(), ring, newest, bins, [e, o, w, half, p] (std::size_t k) {
        // Above P/2 the half spectra are read through their conjugate symmetry.
        const bool lower = k <= half;
        const std::size_t j = lower ? k : p - k;
        const double er = e[j].real(), ei = lower ? e[j].imag() : -e[j].imag();
        const double orr = o[j].real(), oi = lower ? o[j].imag() : -o[j].imag();
        const double wr = w[k].real(), wi = w[k].imag();
        return std::complex<double> (er + wr * orr - wi * oi, ei + wr * oi + wi * orr);
    });
}

void Convolver::Stage::splitInverse (int step, std::size_t sum, double* destination) noexcept
{
    // The inverse of splitForward: E[k] = (X[k] + conj X[P - k]) / 2 and
    // O[k] = (X[k] - conj X[P - k]) w^-k / 2 are the half-size spectra of the even and odd samples;
    // only the second half of the 2P outputs (the valid overlap-save part) is written.
    const std::size_t half = partition / 2;
    if (step == 0)
    {
        double* a = acc.data() + sum * groups * cell;
        const auto at = [a] (std::size_t k) {
            const double* c = a + (k / lanes) * cell + k % lanes;
            return std::complex<double> (c[0], c[lanes]);
        };
        auto* e = fftEven->spectrum();
        auto* o = fftOdd->spectrum();
        for (std::size_t k = 0; k <= half; ++k)
        {
            const std::complex<double> xk = at (k);
            const std::complex<double> xm = std::conj (at (partition - k));
            const std::complex<double> d = 0.5 * (xk - xm);
            const double wr = twiddle[k].real(), wi = -twiddle[k].imag();
            e[k] = 0.5 * (xk + xm);
            o[k] = { d.real() * wr - d.imag() * wi, d.real() * wi + d.imag() * wr };
        }
        std::fill (a, a + groups * cell, 0.0);
        return;
    }

    Fft& f = step == 1 ? *fftEven : *fftOdd;
    f.inverse();
    const double* t = f.real();
    const std::size_t offset = static_cast<std::size_t> (step - 1);
    for (std::size_t m = half; m < partition; ++m)
        destination[2 * (m - half) + offset] = t[m];
}

void Convolver::Stage::accumulate (std::size_t sum, std::size_t firstPartition, std::size_t lastPartition,
                                   std::size_t newestPartition, std::size_t slice, std::size_t slices) noexcept
{
    // Partitions firstPartition..lastPartition over one slice of the bin groups. The newest input
    // spectrum pairs with partition `newestPartition`, partition k with the spectrum
    // k - newestPartition blocks older.
    const std::size_t begin = sliceStart (groups, slice, slices);
    const std::size_t end = sliceStart (groups, slice + 1, slices);
    if (begin < end && firstPartition <= lastPartition)
        multiplyAccumulate (acc.data() + sum * groups * cell, x.data(), h.data(), begin, end, ring, count, firstPartition,
                            lastPartition, (newest + ring + newestPartition - firstPartition) % ring);
}

void Convolver::Stage::run (const double* input) noexcept
{
    const std::size_t numBlocks = paired ? 3 : 2;
    const std::size_t s = tick % ticks; // tick within the current block
    std::memcpy (blocks.data() + (block % numBlocks) * partition + s * blockSize, input, blockSize * sizeof (double));

    if (! paired)
    {
        // Partitions 1.. only need spectra that already exist: spread them over the blocks before
        // the partition completes. Only partition 0 needs the newest block.
        if (count > 1)
        {
            if (ticks == 1)
                accumulate (0, 1, count - 1, 1, 0, 1);
            else if (sweepSlice[s] >= 0)
                accumulate (0, 1, count - 1, 1, static_cast<std::size_t> (sweepSlice[s]), sweepSlices);
        }

        if (s + 1 == ticks)
        {
            ++block;
            forward();
            accumulate (0, 0, 0, 0, 0, 1);
            inverse (0, out.data());
        }
        tick = (tick + 1) % ticks;
        return;
    }

    const std::size_t u = tick;
    // The transforms take the block that completed before the current one.
    if (u >= fftFirst && u < fftFirst + 3)
    {
        splitForward (static_cast<int> (u - fftFirst));
        if (u == fftFirst + 2)
            pairFirst = newest;
    }
    if (u >= fftSecond && u < fftSecond + 3)
        splitForward (static_cast<int> (u - fftSecond));

    if (sweepSlice[u] >= 0)
    {
        const auto w = static_cast<std::size_t> (sweepSlice[u]);
        const std::size_t begin = sliceStart (groups, w, sweepSlices);
        const std::size_t end = sliceStart (groups, w + 1, sweepSlices);
        if (begin < end)
            pairedMultiplyAccumulate (acc.data(), acc.data() + groups * cell, x.data(), h.data(), begin, end, ring, count,
                                      pairFirst);
    }

    if (secondSlice[u] >= 0)
        accumulate (1, 0, 0, 0, static_cast<std::size_t> (secondSlice[u]), secondSlices);

    // Sum A belongs to the block two before the current one, sum B to the block before it; each
    // output slot is the landing block's index mod 3 (a block is heard three blocks later).
    if (u >= inverseFirst && u < inverseFirst + 3)
        splitInverse (static_cast<int> (u - inverseFirst), 0, out.data() + ((block + 1) % 3) * partition);
    if (u >= inverseSecond && u < inverseSecond + 3)
        splitInverse (static_cast<int> (u - inverseSecond), 1, out.data() + ((block + 2) % 3) * partition);

    tick = (tick + 1) % pairTicks;
    if (tick % ticks == 0)
        ++block;
}

const double* Convolver::Stage::nextOutput() const noexcept
{
    if (! paired)
        return out.data() + tick * blockSize;
    return out.data() + (block % 3) * partition + (tick % ticks) * blockSize;
}

} // namespace brivola
