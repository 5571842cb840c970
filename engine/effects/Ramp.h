#pragma once

#include <algorithm>
#include <cstddef>

namespace brivola
{

/** A linear ramp toward a target over a fixed number of samples.

    The first target after a reset is taken at once. A later target that differs from the current
    target (a NaN always differs) restarts the ramp from the current value; the value lands exactly on
    the target when the ramp ends. Setting the same target again changes nothing. */
struct Ramp
{
    double current = 0.0;
    double target = 0.0;
    double step = 0.0;
    std::size_t remaining = 0;
    bool initialised = false;
    std::size_t length = 1;

    /** Sets the ramp length in samples (at least 1) and resets. */
    void prepare (std::size_t lengthInSamples) noexcept
    {
        length = std::max<std::size_t> (lengthInSamples, 1);
        reset();
    }

    /** Forgets value and target; the next target snaps. */
    void reset() noexcept
    {
        current = target = step = 0.0;
        remaining = 0;
        initialised = false;
    }

    /** Starts a ramp toward `newTarget` (or snaps to it when it is the first target). */
    void setTarget (double newTarget) noexcept
    {
        if (! initialised)
        {
            current = target = newTarget;
            step = 0.0;
            remaining = 0;
            initialised = true;
            return;
        }

        if (newTarget == target)
            return;

        target = newTarget;
        step = (target - current) / static_cast<double> (length);
        remaining = length;
    }

    /** Advances one sample and returns the value for it. */
    double next() noexcept
    {
        if (remaining > 0)
        {
            current += step;
            if (--remaining == 0)
                current = target;
        }
        return current;
    }

    /** True while the value is still moving. */
    bool isRamping() const noexcept { return remaining > 0; }
};

} // namespace brivola
