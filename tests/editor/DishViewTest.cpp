#include "editor/DishView.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>

using namespace brivola;

namespace
{
Dish dishWithOneCell()
{
    Dish d;
    resetDish (d);
    fillDeckCounts (d);
    placeCell (d, 3, 5, 42, 0.25, -0.5, 2.0);
    return d;
}
} // namespace

TEST (DishView, EmptyDishPublishesOnceThenNothing)
{
    DishViewBuffer buffer;
    DishViewCache cache;
    // Before any write the reader sees an empty dish.
    EXPECT_EQ (readDishView (buffer, cache), DishViewRead::changed);
    EXPECT_TRUE (cache.cells.empty());
    EXPECT_EQ (readDishView (buffer, cache), DishViewRead::unchanged);

    // An emptied dish's inactive slots (id -1, mass 1) differ from the zeroed start: one more
    // empty "cells", then nothing while it stays empty.
    Dish d;
    resetDish (d);
    buffer.write (d);
    EXPECT_EQ (readDishView (buffer, cache), DishViewRead::changed);
    EXPECT_TRUE (cache.cells.empty());
    buffer.write (d);
    EXPECT_EQ (readDishView (buffer, cache), DishViewRead::unchanged);

    cache.valid = false; // a page load
    EXPECT_EQ (readDishView (buffer, cache), DishViewRead::changed);
    EXPECT_TRUE (cache.cells.empty());
}

TEST (DishView, CellsCarryThirteenRoundedNumbersPerActiveSlot)
{
    Dish d = dishWithOneCell();
    Cell& c = d.cells[0];
    c.mass = 1.23456;
    c.vx = 0.0000004;
    c.vy = 0.0000006;
    c.flash = 0.5;
    c.launched = true;

    DishViewBuffer buffer;
    DishViewCache cache;
    ASSERT_TRUE (buffer.write (d));
    ASSERT_EQ (readDishView (buffer, cache), DishViewRead::changed);
    ASSERT_EQ (cache.cells.size(), 13u);
    EXPECT_EQ (cache.liveCells, 1);
    const double expected[] = { 42, 0.25, -0.5, 1.2346, 2, 1, 3, roundToDecimals (float (c.angle), 4), 0.0, 0.000001, 0, 0.5, 1 };
    for (std::size_t k = 0; k < 13; ++k)
        EXPECT_DOUBLE_EQ (cache.cells[k], expected[k]) << k;

    EXPECT_EQ (readDishView (buffer, cache), DishViewRead::unchanged);
}

TEST (DishView, NonFiniteAndHugeValuesShowAsZero)
{
    Dish d = dishWithOneCell();
    d.cells[0].x = std::numeric_limits<double>::quiet_NaN();
    d.cells[0].y = 1e300;
    DishViewSlots slots;
    fillDishView (d, slots);
    EXPECT_EQ (slots[0][2], 0.0f);
    EXPECT_EQ (slots[0][3], 0.0f);
}

TEST (DishView, DyingCellsFadeOverTheirLast150ms)
{
    Dish d = dishWithOneCell();
    d.ticks = 600; // now = 10000 ms
    d.cells[0].dying = true;
    struct Case { double dieAt; float fade; };
    for (const auto& c : { Case { 10300.0, 0.0f }, Case { 10150.0, 0.0f }, Case { 10075.0, 0.5f }, Case { 10000.0, 1.0f }, Case { 9000.0, 1.0f } })
    {
        d.cells[0].dieAt = c.dieAt;
        DishViewSlots slots;
        fillDishView (d, slots);
        EXPECT_FLOAT_EQ (slots[0][11], c.fade) << c.dieAt;
    }
}

TEST (DishView, ConcurrentWriterAndReaderNeverTearACopy)
{
    // Every published copy has all 24 ids equal to one value: a torn read would mix two writes.
    DishViewBuffer buffer;
    std::atomic<bool> stop { false };
    std::thread writer ([&]
    {
        Dish d;
        resetDish (d);
        fillDeckCounts (d);
        for (std::int32_t k = 0; k < 24; ++k)
            placeCell (d, -1, 0, k, 0.0, 0.0, 1.0);
        for (std::int32_t n = 0; ! stop.load(); ++n)
        {
            for (auto& c : d.cells)
                c.id = n & 0xFFFFF;
            buffer.write (d);
        }
    });

    int reads = 0, failures = 0;
    for (int i = 0; i < 20000; ++i)
    {
        DishViewSlots slots;
        std::int32_t live = 0;
        if (! buffer.read (slots, live))
        {
            ++failures;
            continue;
        }
        ++reads;
        for (const auto& s : slots)
            ASSERT_EQ (s[1], slots[0][1]);
    }
    stop = true;
    writer.join();
    EXPECT_GT (reads, 0);
}
