#pragma once

#include "dish/Dish.h"
#include "dish/DishStep.h"

#include <cmath>

namespace brivola::test
{

/** A fresh dish with filled deck counts, no cells and no queue, attached to `x` (may be null). */
inline Dish makeDish (SpeciesExchange* x = nullptr, std::uint64_t ticks = 600)
{
    Dish d;
    d.exchange = x;
    resetDish (d);
    fillDeckCounts (d);
    d.ticks = ticks;
    return d;
}

/** Places a plain cell of colour 0 at rest, old enough for merges and splits, with no charges. */
inline Cell& addOldCell (Dish& d, double x, double y, double mass = 3.0, int colour = 0)
{
    const int slot = placeCell (d, -1, colour, -1, x, y, mass);
    Cell& c = d.cells[static_cast<std::size_t> (slot)];
    c.bornAt = dishNow (d) - 10000.0;
    c.vx = c.vy = 0.0;
    c.mergeCharge = 0.0;
    c.splitCharge = 0.0;
    return c;
}

/** Places `n` old cells on a ring far enough apart not to touch. */
inline void addRing (Dish& d, int n, double radius = 0.6, double mass = 3.0)
{
    for (int k = 0; k < n; ++k)
    {
        const double a = 6.283185307179586 * k / n;
        addOldCell (d, radius * std::cos (a), radius * std::sin (a), mass);
    }
}

inline double distance (const Cell& a, const Cell& b)
{
    return std::hypot (a.x - b.x, a.y - b.y);
}

} // namespace brivola::test
