#pragma once

#include "dish/Dish.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

namespace brivola
{

/** One dish slot as the page sees it: 14 floats (active, id, x, y, mass, colour group, colour
    variant, motif, angle, vx, vy, fade-out, flash, launched). */
using DishViewSlot = std::array<float, 14>;
using DishViewSlots = std::array<DishViewSlot, dishCapacity>;

/** Converts the dish's 24 slots into view records (fade-out from `dieAt` and the dish's now). */
void fillDishView (const Dish& dish, DishViewSlots& out) noexcept;

//==============================================================================
/** Lock-free triple buffer that carries the dish from its single writer (under the processor's
    callback lock, usually the audio thread) to its single reader (the editor's timer).

    The writer fills a buffer that is neither the front one nor announced by a reader and then
    swaps the front index; it never waits and skips a publication when no such buffer is free.
    The reader announces the front buffer by incrementing its reader count and confirms that it is
    still the front one before copying. */
class DishViewBuffer
{
public:
    /** Publishes the dish; returns false when the publication was skipped. Never blocks. */
    bool write (const Dish& dish) noexcept;

    /** Copies the most recent publication; false when the front buffer kept changing over 8
        attempts. */
    bool read (DishViewSlots& slots, std::int32_t& liveCells) noexcept;

private:
    struct Buffer
    {
        DishViewSlots slots {};
        std::int32_t liveCells = 0;
    };

    std::array<Buffer, 3> buffers {};
    std::array<std::atomic<std::int32_t>, 3> readers {};
    std::atomic<std::int32_t> front { 0 };
};

//==============================================================================
/** The editor's side: the last copy read and the "cells" numbers built from it. */
struct DishViewCache
{
    DishViewSlots slots {};
    std::int32_t liveCells = 0;
    bool valid = false;
    std::vector<double> cells; // 13 numbers per active slot

    DishViewCache() { cells.reserve (312); }
};

/** Outcome of one read of the dish view by the editor. */
enum class DishViewRead
{
    failed,    // the writer kept moving the front buffer: retry on the next tick
    unchanged, // same copy as last time: nothing to publish
    changed    // `cells` holds the new numbers to publish
};

/** Reads the buffer into the cache, compares with the last copy and rebuilds `cells` when it
    changed (values rounded to 4 decimals, velocities to 6). */
DishViewRead readDishView (DishViewBuffer& buffer, DishViewCache& cache);

/** Rounds to `decimals` places with halves away from zero. */
double roundToDecimals (double value, int decimals) noexcept;

} // namespace brivola
