#include "editor/DishView.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace brivola
{

namespace
{
float toViewFloat (double v) noexcept
{
    if (! std::isfinite (v) || std::abs (v) > static_cast<double> (std::numeric_limits<float>::max()))
        return 0.0f;
    return static_cast<float> (v);
}
} // namespace

void fillDishView (const Dish& dish, DishViewSlots& out) noexcept
{
    const double now = dishNow (dish);
    for (std::size_t i = 0; i < dishCapacity; ++i)
    {
        const Cell& c = dish.cells[i];
        const double fade = c.dying ? std::clamp (1.0 - (c.dieAt - now) / 150.0, 0.0, 1.0) : 0.0;
        out[i] = { c.active ? 1.0f : 0.0f,
                   static_cast<float> (c.id),
                   toViewFloat (c.x),
                   toViewFloat (c.y),
                   toViewFloat (c.mass),
                   static_cast<float> (c.colorGroup),
                   static_cast<float> (c.colorVariant),
                   static_cast<float> (c.motif),
                   toViewFloat (c.angle),
                   toViewFloat (c.vx),
                   toViewFloat (c.vy),
                   toViewFloat (fade),
                   toViewFloat (c.flash),
                   c.launched ? 1.0f : 0.0f };
    }
}

bool DishViewBuffer::write (const Dish& dish) noexcept
{
    const int f = front.load();
    int target = -1;
    for (int b = 0; b < 3; ++b)
        if (b != f && readers[(std::size_t) b].load() == 0)
        {
            target = b;
            break;
        }
    if (target < 0)
        return false;

    auto& buffer = buffers[(std::size_t) target];
    fillDishView (dish, buffer.slots);
    buffer.liveCells = static_cast<std::int32_t> (countLiveCells (dish));
    front.exchange (target);
    return true;
}

bool DishViewBuffer::read (DishViewSlots& slots, std::int32_t& liveCells) noexcept
{
    for (int attempt = 0; attempt < 8; ++attempt)
    {
        const int b = front.load();
        readers[(std::size_t) b].fetch_add (1);
        if (front.load() == b)
        {
            slots = buffers[(std::size_t) b].slots;
            liveCells = buffers[(std::size_t) b].liveCells;
            readers[(std::size_t) b].fetch_sub (1);
            return true;
        }
        readers[(std::size_t) b].fetch_sub (1);
    }
    return false;
}

double roundToDecimals (double value, int decimals) noexcept
{
    const double scale = std::pow (10.0, decimals);
    return std::round (value * scale) / scale; // std::round rounds halves away from zero
}

DishViewRead readDishView (DishViewBuffer& buffer, DishViewCache& cache)
{
    DishViewSlots slots;
    std::int32_t live = 0;
    if (! buffer.read (slots, live))
        return DishViewRead::failed;

    if (cache.valid && live == cache.liveCells)
    {
        bool same = true;
        for (std::size_t i = 0; i < dishCapacity && same; ++i)
            for (std::size_t k = 0; k < 14; ++k)
                if (! (slots[i][k] == cache.slots[i][k]))
                {
                    same = false;
                    break;
                }
        if (same)
            return DishViewRead::unchanged;
    }

    cache.slots = slots;
    cache.liveCells = live;
    cache.valid = true;
    cache.cells.clear();
    for (const auto& slot : slots)
    {
        if (! (slot[0] >= 0.5f))
            continue;
        for (std::size_t k = 1; k < 14; ++k)
            cache.cells.push_back (roundToDecimals (static_cast<double> (slot[k]), (k == 9 || k == 10) ? 6 : 4));
    }
    return DishViewRead::changed;
}

} // namespace brivola
