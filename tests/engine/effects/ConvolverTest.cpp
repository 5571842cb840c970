#include "engine/effects/Convolver.h"
#include "engine/effects/ReverbResponse.h"
#include "TestSignals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

using namespace brivola;

namespace
{
using test::Noise;

// out[n] = Σ_{j >= 128} h[j] x[n - j] for n in [from, to), computed directly over the non-zero
// input samples (the rest of the vector stays 0).
std::vector<double> directConvolution (const std::vector<double>& h, const std::vector<double>& x, std::size_t outputLength,
                                       std::size_t from = 0, std::size_t to = SIZE_MAX)
{
    to = std::min (to, outputLength);
    std::vector<double> y (outputLength, 0.0);
    for (std::size_t i = 0; i < x.size() && i < to; ++i)
    {
        if (x[i] == 0.0)
            continue;
        const std::size_t first = std::max (Convolver::skippedHead, from > i ? from - i : 0);
        const std::size_t last = std::min (h.size(), to - i);
        for (std::size_t j = first; j < last; ++j)
            y[i + j] += h[j] * x[i];
    }
    return y;
}

std::vector<double> runConvolver (Convolver& c, const std::vector<double>& x, std::size_t outputLength, std::size_t blockSize)
{
    std::vector<double> in (outputLength, 0.0);
    std::copy (x.begin(), x.begin() + static_cast<std::ptrdiff_t> (std::min (x.size(), outputLength)), in.begin());
    std::vector<double> out (outputLength, 0.0);
    for (std::size_t pos = 0; pos < outputLength; pos += blockSize)
    {
        const std::size_t n = std::min (blockSize, outputLength - pos);
        c.process (in.data() + pos, out.data() + pos, n);
    }
    return out;
}

double maxError (const std::vector<double>& a, const std::vector<double>& b, std::size_t from = 0, std::size_t to = SIZE_MAX)
{
    double e = 0.0;
    for (std::size_t i = from; i < a.size() && i < to; ++i)
        e = std::max (e, std::abs (a[i] - b[i]));
    return e;
}

double peakOf (const std::vector<double>& a, std::size_t from = 0, std::size_t to = SIZE_MAX)
{
    double p = 0.0;
    for (std::size_t i = from; i < a.size() && i < to; ++i)
        p = std::max (p, std::abs (a[i]));
    return p;
}

// A burst of dense noise, then sparse impulses spread over the rest: every partition of every
// stage sees input at many offsets, while the direct reference stays cheap.
std::vector<double> burstAndImpulses (std::size_t length, std::size_t burst, std::size_t spacing)
{
    Noise noise;
    std::vector<double> x (length, 0.0);
    for (std::size_t i = 0; i < std::min (burst, length); ++i)
        x[i] = noise.next();
    for (std::size_t i = burst + 37; i < length; i += spacing + (i % 97))
        x[i] = noise.next();
    return x;
}
} // namespace

TEST (Convolver, ShortResponseMatchesDirectConvolutionForEveryBlockSize)
{
    Noise noise;
    std::vector<double> h (3000);
    for (auto& v : h)
        v = noise.next() * 0.01;
    std::vector<double> x (9000);
    for (auto& v : x)
        v = noise.next();
    const std::size_t outLength = 13000;
    const auto want = directConvolution (h, x, outLength);

    for (std::size_t blockSize : { 1u, 7u, 128u, 4096u })
    {
        Convolver c;
        c.prepare (h.data(), h.size());
        const auto got = runConvolver (c, x, outLength, blockSize);
        EXPECT_LT (maxError (got, want), 1e-9 * peakOf (want)) << "block " << blockSize;
    }
}

TEST (Convolver, ResponseSpanningAllThreeStagesMatchesDirectConvolution)
{
    // 70000 samples: 128-sample, 4096-sample and 8192-sample partitions, the last one partly filled.
    Noise noise;
    std::vector<double> h (70000);
    for (std::size_t i = 0; i < h.size(); ++i)
        h[i] = noise.next() * std::exp (-static_cast<double> (i) / 20000.0);
    const std::size_t outLength = 120000;
    const auto x = burstAndImpulses (90000, 5000, 900);
    const auto want = directConvolution (h, x, outLength);

    for (std::size_t phase : { 0u, 16u, 45u })
        for (std::size_t blockSize : { 1u, 7u, 128u, 4096u })
        {
            Convolver c;
            c.prepare (h.data(), h.size(), phase);
            const auto got = runConvolver (c, x, outLength, blockSize);
            EXPECT_LT (maxError (got, want), 1e-9 * peakOf (want)) << "block " << blockSize << " phase " << phase;
        }
}

TEST (Convolver, RealReverbResponseMatchesDirectConvolutionAtSeveralRates)
{
    // The generated 8.02 s response: the first 1.5 s of output and a window at its very end, where
    // the last (partly filled) long partitions act.
    for (double fs : { 22050.0, 48000.0, 96000.0 })
    {
        const auto response = makeReverbResponse (fs);
        const auto& h = response.left;
        const auto at = [fs] (double seconds) { return static_cast<std::size_t> (seconds * fs); };
        const std::size_t outLength = at (8.3);
        const auto x = burstAndImpulses (outLength, 256, at (0.06));
        const auto early = directConvolution (h, x, outLength, 0, at (1.5));
        const auto late = directConvolution (h, x, outLength, at (7.6), outLength);
        const double tolerance = 1e-9 * std::max (peakOf (early), peakOf (late));

        for (std::size_t blockSize : { 1u, 7u, 128u, 4096u })
        {
            Convolver c;
            c.prepare (h.data(), h.size(), 16);
            const auto got = runConvolver (c, x, outLength, blockSize);
            EXPECT_LT (maxError (got, early, 0, at (1.5)), tolerance) << fs << " Hz, block " << blockSize;
            EXPECT_LT (maxError (got, late, at (7.6), outLength), tolerance) << fs << " Hz, block " << blockSize;
        }
    }
}

TEST (Convolver, OutputEndsInExactZerosAndResetForgetsEverything)
{
    Noise noise;
    std::vector<double> h (40000);
    for (auto& v : h)
        v = noise.next() * 0.001;
    std::vector<double> x (20000);
    for (auto& v : x)
        v = noise.next();

    // Input ends at 20000; past 20000 + 40000 + two long partitions nothing may be left.
    Convolver c;
    c.prepare (h.data(), h.size());
    const std::size_t total = 20000 + 40000 + 3 * 8192;
    const auto out = runConvolver (c, x, total, 128);
    EXPECT_GT (peakOf (out, 20000, 60000), 0.0);
    for (std::size_t i = 20000 + 40000 + 2 * 8192; i < total; ++i)
        ASSERT_EQ (out[i], 0.0) << i;

    // A reset in the middle of the sound: afterwards the output is that of the new input alone.
    Convolver d;
    d.prepare (h.data(), h.size());
    runConvolver (d, x, 30000, 128);
    d.reset();
    const auto fresh = runConvolver (d, x, 30000, 128);
    Convolver e;
    e.prepare (h.data(), h.size());
    EXPECT_EQ (fresh, runConvolver (e, x, 30000, 128));
}
