#include "engine/dsp/Fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using brivola::Fft;

TEST (Fft, ComplexForwardMatchesDirectDftAndInverseRestores)
{
    for (std::size_t n : { 8u, 64u, 2048u })
    {
        Fft fft (n, Fft::Kind::complex);
        std::vector<std::complex<double>> input (n);
        for (std::size_t i = 0; i < n; ++i)
            input[i] = { std::sin (0.37 * double (i)) + 0.1 * double (i % 3), std::cos (1.3 * double (i)) };
        std::copy (input.begin(), input.end(), fft.data());
        fft.forward();

        for (std::size_t k : { std::size_t (0), std::size_t (1), n / 3, n - 1 })
        {
            std::complex<double> want {};
            for (std::size_t i = 0; i < n; ++i)
                want += input[i] * std::polar (1.0, -2.0 * std::numbers::pi * double (k * i % n) / double (n));
            EXPECT_NEAR (fft.data()[k].real(), want.real(), 1e-9 * double (n)) << "n=" << n << " k=" << k;
            EXPECT_NEAR (fft.data()[k].imag(), want.imag(), 1e-9 * double (n)) << "n=" << n << " k=" << k;
        }

        fft.inverse();
        for (std::size_t i = 0; i < n; ++i)
        {
            EXPECT_NEAR (fft.data()[i].real(), input[i].real(), 1e-12);
            EXPECT_NEAR (fft.data()[i].imag(), input[i].imag(), 1e-12);
        }
    }
}

TEST (Fft, RealTransformRoundTripsAndFindsTheTone)
{
    const std::size_t n = 256;
    Fft fft (n, Fft::Kind::real);
    for (std::size_t i = 0; i < n; ++i)
        fft.real()[i] = std::cos (2.0 * std::numbers::pi * 5.0 * double (i) / double (n));
    fft.forward();
    EXPECT_NEAR (fft.spectrum()[5].real(), double (n) / 2.0, 1e-9);
    EXPECT_NEAR (std::abs (fft.spectrum()[4]), 0.0, 1e-9);

    fft.inverse();
    for (std::size_t i = 0; i < n; ++i)
        EXPECT_NEAR (fft.real()[i], std::cos (2.0 * std::numbers::pi * 5.0 * double (i) / double (n)), 1e-12);
}

TEST (Fft, MovedTransformStillWorks)
{
    Fft a (16, Fft::Kind::complex);
    Fft b = std::move (a);
    EXPECT_EQ (b.size(), 16u);
    b.data()[0] = 1.0;
    b.forward();
    EXPECT_NEAR (b.data()[7].real(), 1.0, 1e-15);
}
