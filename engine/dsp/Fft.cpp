#include "engine/dsp/Fft.h"

#include <fftw3.h>

#include <mutex>
#include <new>
#include <utility>

namespace brivola
{

namespace
{
std::mutex& plannerMutex()
{
    static std::mutex m;
    return m;
}
} // namespace

Fft::Fft (std::size_t size, Kind kind) : n (size), type (kind)
{
    if (n == 0)
        throw std::bad_alloc();

    const std::size_t bins = type == Kind::complex ? n : n / 2 + 1;
    freq = reinterpret_cast<std::complex<double>*> (fftw_alloc_complex (bins));
    if (type == Kind::real)
        time = fftw_alloc_real (n);

    if (freq == nullptr || (type == Kind::real && time == nullptr))
    {
        release();
        throw std::bad_alloc();
    }

    auto* c = reinterpret_cast<fftw_complex*> (freq);
    const int size32 = static_cast<int> (n);
    {
        std::lock_guard<std::mutex> lock (plannerMutex());
        if (type == Kind::complex)
        {
            forwardPlan = fftw_plan_dft_1d (size32, c, c, FFTW_FORWARD, FFTW_ESTIMATE);
            inversePlan = fftw_plan_dft_1d (size32, c, c, FFTW_BACKWARD, FFTW_ESTIMATE);
        }
        else
        {
            forwardPlan = fftw_plan_dft_r2c_1d (size32, time, c, FFTW_ESTIMATE);
            inversePlan = fftw_plan_dft_c2r_1d (size32, c, time, FFTW_ESTIMATE | FFTW_DESTROY_INPUT);
        }
    }

    if (forwardPlan == nullptr || inversePlan == nullptr)
    {
        release();
        throw std::bad_alloc();
    }

    for (std::size_t i = 0; i < bins; ++i)
        freq[i] = {};
    for (std::size_t i = 0; time != nullptr && i < n; ++i)
        time[i] = 0.0;
}

Fft::~Fft() { release(); }

Fft::Fft (Fft&& other) noexcept
    : n (std::exchange (other.n, 0)),
      type (other.type),
      time (std::exchange (other.time, nullptr)),
      freq (std::exchange (other.freq, nullptr)),
      forwardPlan (std::exchange (other.forwardPlan, nullptr)),
      inversePlan (std::exchange (other.inversePlan, nullptr))
{
}

Fft& Fft::operator= (Fft&& other) noexcept
{
    if (this != &other)
    {
        release();
        n = std::exchange (other.n, 0);
        type = other.type;
        time = std::exchange (other.time, nullptr);
        freq = std::exchange (other.freq, nullptr);
        forwardPlan = std::exchange (other.forwardPlan, nullptr);
        inversePlan = std::exchange (other.inversePlan, nullptr);
    }
    return *this;
}

void Fft::release() noexcept
{
    {
        std::lock_guard<std::mutex> lock (plannerMutex());
        if (forwardPlan != nullptr)
            fftw_destroy_plan (static_cast<fftw_plan> (forwardPlan));
        if (inversePlan != nullptr)
            fftw_destroy_plan (static_cast<fftw_plan> (inversePlan));
    }
    forwardPlan = inversePlan = nullptr;
    fftw_free (time);
    fftw_free (freq);
    time = nullptr;
    freq = nullptr;
}

void Fft::forward() noexcept
{
    if (forwardPlan != nullptr)
        fftw_execute (static_cast<fftw_plan> (forwardPlan));
}

void Fft::inverse() noexcept
{
    if (inversePlan == nullptr)
        return;

    fftw_execute (static_cast<fftw_plan> (inversePlan));
    const double scale = 1.0 / static_cast<double> (n);
    if (type == Kind::complex)
        for (std::size_t i = 0; i < n; ++i)
            freq[i] *= scale;
    else
        for (std::size_t i = 0; i < n; ++i)
            time[i] *= scale;
}

} // namespace brivola
