#pragma once

#include <complex>
#include <cstddef>

namespace brivola
{

/** A preplanned FFTW transform in double precision with its own aligned buffers.

    Plans are created under one process-wide lock (FFTW's planner is not thread-safe), so create
    transforms on a non-real-time thread. Executing a plan allocates nothing and takes no lock, so
    `forward()` and `inverse()` are safe on the audio thread.

    Complex transforms of size N work in place on `data()`. Real transforms read `real()` (N values)
    and write `spectrum()` (N/2 + 1 bins), or the reverse for the inverse. Every inverse divides by N,
    so forward followed by inverse returns the input. */
class Fft
{
public:
    enum class Kind
    {
        complex, // complex to complex, in place on data()
        real     // real to half-spectrum and back
    };

    /** Plans a transform of `size` points (any size FFTW accepts; a power of two is fastest). */
    Fft (std::size_t size, Kind kind);
    ~Fft();

    Fft (Fft&& other) noexcept;
    Fft& operator= (Fft&& other) noexcept;
    Fft (const Fft&) = delete;
    Fft& operator= (const Fft&) = delete;

    std::size_t size() const noexcept { return n; }
    Kind kind() const noexcept { return type; }

    /** Complex kind: the N points transformed in place. */
    std::complex<double>* data() noexcept { return freq; }

    /** Real kind: the N real samples. */
    double* real() noexcept { return time; }
    /** Real kind: the N/2 + 1 spectrum bins. */
    std::complex<double>* spectrum() noexcept { return freq; }

    /** Forward transform, e^(-2 pi i k n / N), unscaled. */
    void forward() noexcept;
    /** Inverse transform, e^(+2 pi i k n / N), divided by N. */
    void inverse() noexcept;

private:
    void release() noexcept;

    std::size_t n = 0;
    Kind type = Kind::complex;
    double* time = nullptr;
    std::complex<double>* freq = nullptr;
    void* forwardPlan = nullptr;
    void* inversePlan = nullptr;
};

} // namespace brivola
