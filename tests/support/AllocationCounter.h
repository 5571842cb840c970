#pragma once

#include <cstddef>

namespace brivola::test
{

/** Counts heap allocations made by the current thread while an instance is alive. The test
    program replaces the global operator new and delete to do the counting. */
class ScopedAllocationCounter
{
public:
    ScopedAllocationCounter() noexcept;
    ~ScopedAllocationCounter();

    std::size_t count() const noexcept;

    ScopedAllocationCounter (const ScopedAllocationCounter&) = delete;
    ScopedAllocationCounter& operator= (const ScopedAllocationCounter&) = delete;

private:
    std::size_t start = 0;
};

} // namespace brivola::test
