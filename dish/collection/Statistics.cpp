#include "dish/collection/Statistics.h"

#include <cmath>
#include <limits>

namespace brivola
{

std::int64_t counterDifference (std::uint64_t a, std::uint64_t b) noexcept
{
    constexpr auto maxSigned = static_cast<std::uint64_t> (std::numeric_limits<std::int64_t>::max());
    if (a >= b)
    {
        const std::uint64_t d = a - b;
        return d > maxSigned ? std::numeric_limits<std::int64_t>::max() : static_cast<std::int64_t> (d);
    }
    const std::uint64_t d = b - a;
    return d > maxSigned ? std::numeric_limits<std::int64_t>::min() : -static_cast<std::int64_t> (d);
}

bool statisticsMatchBaseline (const StatisticsCounters& current, const StatisticsCounters& baseline) noexcept
{
    return current.merges == baseline.merges
        && current.splits == baseline.splits
        && current.spawns == baseline.spawns
        && ! (current.incubationSeconds - baseline.incubationSeconds > 0.0);
}

PageStatistics pageStatistics (const SharedData::Stats& shared, const StatisticsCounters& baseline,
                               double dishSecondsNow, std::uint64_t spawnsNow) noexcept
{
    constexpr double maxFinite = std::numeric_limits<double>::max();
    constexpr std::int64_t maxCount = std::numeric_limits<std::int64_t>::max();

    PageStatistics out;

    double incubation = (std::isfinite (shared.incubationTime) && shared.incubationTime >= 0.0) ? shared.incubationTime : 0.0;
    const double difference = dishSecondsNow - baseline.incubationSeconds;
    if (std::isfinite (difference))
        incubation += difference;
    if (incubation < 0.0)
        incubation = 0.0;
    else if (! (incubation <= maxFinite))
        incubation = maxFinite;
    out.incubation = incubation;

    const std::int64_t stored = shared.spawnCount < 0 ? 0 : shared.spawnCount;
    const std::int64_t delta = counterDifference (spawnsNow, baseline.spawns);
    if (delta > 0 && stored > maxCount - delta)
        out.spawn = maxCount;
    else if (delta < 0 && stored + delta < 0)
        out.spawn = 0;
    else
        out.spawn = stored + delta;
    return out;
}

} // namespace brivola
