// The audio-thread operations of the effects chain and the output capture must not allocate. This
// program replaces the global operator new to count the allocations the current thread makes
// while a counter is armed.
#include "engine/effects/EffectsChain.h"
#include "engine/effects/OutputCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <memory>
#include <new>
#include <vector>

namespace
{
thread_local bool counting = false;
thread_local std::size_t allocations = 0;

void* allocate (std::size_t size)
{
    if (counting)
        ++allocations;
    if (void* p = std::malloc (size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

void* allocateAligned (std::size_t size, std::align_val_t align)
{
    if (counting)
        ++allocations;
    const auto a = static_cast<std::size_t> (align);
    if (void* p = std::aligned_alloc (a, (size + a - 1) / a * a))
        return p;
    throw std::bad_alloc();
}

struct AllocationCount
{
    AllocationCount() { allocations = 0, counting = true; }
    ~AllocationCount() { counting = false; }
    std::size_t count() const { return allocations; }
};
} // namespace

void* operator new (std::size_t size) { return allocate (size); }
void* operator new[] (std::size_t size) { return allocate (size); }
void* operator new (std::size_t size, const std::nothrow_t&) noexcept
{
    try
    {
        return allocate (size);
    }
    catch (...)
    {
        return nullptr;
    }
}
void* operator new[] (std::size_t size, const std::nothrow_t& tag) noexcept { return operator new (size, tag); }
void* operator new (std::size_t size, std::align_val_t align) { return allocateAligned (size, align); }
void* operator new[] (std::size_t size, std::align_val_t align) { return allocateAligned (size, align); }
void operator delete (void* p) noexcept { std::free (p); }
void operator delete[] (void* p) noexcept { std::free (p); }
void operator delete (void* p, std::size_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::size_t) noexcept { std::free (p); }
void operator delete (void* p, std::align_val_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::align_val_t) noexcept { std::free (p); }
void operator delete (void* p, std::size_t, std::align_val_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::size_t, std::align_val_t) noexcept { std::free (p); }

using namespace brivola;

TEST (EffectsRealtime, ConfigureProcessResetAndCaptureNeverAllocate)
{
    auto fx = std::make_unique<EffectsChain>();
    fx->prepare (48000.0, 512);
    auto capture = std::make_unique<OutputCapture>();
    capture->setCaptureEnabled (true);
    std::vector<double> l (512), r (512), chime (512, 0.0);
    std::array<double, 24> peaks {};
    std::array<std::int32_t, 24> ids {};

    AllocationCount allocationsSeen;
    for (int block = 0; block < 400; ++block)
    {
        // Every parameter moves, effects switch on and off, chunks of odd sizes, a fault, silence.
        SoundParams p;
        for (std::size_t i = 0; i < SoundParams::count; ++i)
            p[i] = static_cast<double> ((block * 7 + static_cast<int> (i) * 3) % 11) / 10.0;
        fx->configure (p);
        const std::size_t n = 1 + static_cast<std::size_t> (block * 37) % 512;
        for (std::size_t i = 0; i < n; ++i)
            l[i] = r[i] = block % 50 < 40 ? 0.3 * std::sin (0.05 * static_cast<double> (i)) : 0.0;
        if (block == 200)
            std::fill (l.begin(), l.begin() + static_cast<std::ptrdiff_t> (n), 1e308); // overflows inside: a reset
        fx->process (l.data(), r.data(), chime.data(), chime.data(), n);
        capture->captureScope (l.data(), r.data(), n);
        peaks[static_cast<std::size_t> (block) % 24] = 0.2;
        capture->updateVoiceMeters (peaks, ids, 5);
        if (block == 300)
            fx->reset();
    }
    EXPECT_EQ (allocationsSeen.count(), 0u);
    EXPECT_GE (fx->faultResetCount(), 1u);
}
