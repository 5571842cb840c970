// Counts heap allocations per thread by interposing the C allocator (glibc): operator new, FFTW's
// allocator and any C code all end up here.
#include "AllocationCounter.h"

#include <cerrno>
#include <cstddef>

extern "C"
{
void* __libc_malloc (std::size_t);
void* __libc_calloc (std::size_t, std::size_t);
void* __libc_realloc (void*, std::size_t);
void* __libc_memalign (std::size_t, std::size_t);
void __libc_free (void*);
}

namespace
{
thread_local std::size_t allocationsOnThisThread = 0;
thread_local int activeCounters = 0;

inline void noteAllocation() noexcept
{
    if (activeCounters > 0)
        ++allocationsOnThisThread;
}
} // namespace

extern "C"
{
void* malloc (std::size_t size)
{
    noteAllocation();
    return __libc_malloc (size);
}

void* calloc (std::size_t n, std::size_t size)
{
    noteAllocation();
    return __libc_calloc (n, size);
}

void* realloc (void* p, std::size_t size)
{
    noteAllocation();
    return __libc_realloc (p, size);
}

void free (void* p) { __libc_free (p); }

void* memalign (std::size_t alignment, std::size_t size)
{
    noteAllocation();
    return __libc_memalign (alignment, size);
}

void* aligned_alloc (std::size_t alignment, std::size_t size)
{
    noteAllocation();
    return __libc_memalign (alignment, size);
}

int posix_memalign (void** out, std::size_t alignment, std::size_t size)
{
    noteAllocation();
    void* p = __libc_memalign (alignment, size);
    if (p == nullptr)
        return ENOMEM;
    *out = p;
    return 0;
}
}

namespace brivola::test
{
ScopedAllocationCounter::ScopedAllocationCounter() noexcept : start (allocationsOnThisThread) { ++activeCounters; }
ScopedAllocationCounter::~ScopedAllocationCounter() { --activeCounters; }
std::size_t ScopedAllocationCounter::count() const noexcept { return allocationsOnThisThread - start; }
} // namespace brivola::test
