#pragma once

#include "dish/collection/CollectionHost.h"
#include "store/SharedData.h"

#include <cstdint>

namespace brivola
{

/** Signed difference a − b of two counters, saturated to the signed 64-bit range. */
std::int64_t counterDifference (std::uint64_t a, std::uint64_t b) noexcept;

/** True when `current` holds nothing the store has not received: the three counters equal the
    baseline's and the incubation difference is not positive. */
bool statisticsMatchBaseline (const StatisticsCounters& current, const StatisticsCounters& baseline) noexcept;

/** What the page shows as statistics: the shared totals plus this instance's part not yet added. */
struct PageStatistics
{
    double incubation = 0.0;  ///< seconds
    std::int64_t spawn = 0;
};

/** The shared incubation time (0 unless finite and not negative) plus the dish time since the
    last flush (left out when not finite), limited to 0 … the largest finite double; the shared
    spawn count plus the spawns since the last flush, saturated to 0 … 2^63 − 1. */
PageStatistics pageStatistics (const SharedData::Stats& shared, const StatisticsCounters& baseline,
                               double dishSecondsNow, std::uint64_t spawnsNow) noexcept;

} // namespace brivola
