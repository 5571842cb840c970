#pragma once

#include "dish/Dish.h"

namespace brivola
{

/** What one tick did, for the caller's bookkeeping (at most one merge and one split per tick). */
struct DishTickReport
{
    int removals = 0; // dying cells removed
    int arrivals = 0; // queued cells placed (counted or not)
    int merges = 0;   // 0 or 1
    int splits = 0;   // 0 or 1
};

/** Rate multiplier of a cell: 0 at activity ≤ 0, else (3 − a) × e + a (a when e = 0). */
constexpr double rateMultiplier (double activity, double stirEnergy) noexcept
{
    if (activity <= 0.0)
        return 0.0;
    return stirEnergy > 0.0 ? (3.0 - activity) * stirEnergy + activity : activity;
}

/** Advances the dish by one tick of 1/60 s: clock, removals, arrivals, slosh oscillator,
    integration with jitter and wall bounce, pairwise merging and separation, at most one split,
    proximity. O(24²), deterministic from the dish state (and the species record it reads). */
DishTickReport dishStep (Dish& d) noexcept;

/** Merges the active cells of two slots into one product at their midpoint (heavier parent's
    colour, mass min(0.92 × sum, 10)), with the merge mutations; counts the merge. */
void mergeCells (Dish& d, int slotA, int slotB) noexcept;

/** Pipette drop: places a cell of the species at (x, y) with mass 3 and a launch velocity, first
    merging the closest pair when 24 cells are live. Returns the slot, or `noSlot`. */
int dropCell (Dish& d, int motif, int colour, double x, double y, double vx, double vy) noexcept;

/** Stirring push around (x, y) by the pointer movement (dx, dy); non-finite input is ignored. */
void stirAt (Dish& d, double x, double y, double dx, double dy) noexcept;

/** The page's stirring gesture starts or ends. */
void setStirring (Dish& d, bool on) noexcept;

/** Impulse into the slosh oscillator from a window movement; non-finite input is ignored. */
void slosh (Dish& d, double dx, double dy) noexcept;

/** Theme value limited to 0 … 1 (non-finite gives 0; callers ignore non-finite values first). */
double limitThemeValue (double value) noexcept;

/** Dish activity for a theme value: 0.75 × min(√value, 1). */
double activityForTheme (double value) noexcept;

/** Sets `activity` from a theme value; a non-finite value is ignored. */
void setDishTheme (Dish& d, double themeValue) noexcept;

/** Returns the counted arrivals since the last call (the dish's event count for pings) and
    clears them. */
int takeArrivals (Dish& d) noexcept;

} // namespace brivola
