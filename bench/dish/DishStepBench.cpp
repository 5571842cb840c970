// Cost of one dish tick with a full dish of 24 live cells.
#include "dish/DishStep.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>

namespace
{
void dishStep24Cells (benchmark::State& state)
{
    brivola::Dish dish;
    brivola::resetDish (dish);
    brivola::fillDeckCounts (dish);
    // 24 live cells of mass 1 spread over the dish: light enough that they neither merge nor
    // split often, so the dish stays full while it is measured.
    for (int k = 0; k < 24; ++k)
    {
        const double a = k * 2.399963229728653;
        const double r = 0.1 + 0.03 * k;
        brivola::placeCell (dish, k % 16 - 1, k % 8, -1, r * std::cos (a), r * std::sin (a), 1.0);
    }

    double totalUs = 0.0;
    std::int64_t ticks = 0;
    for (auto _ : state)
    {
        if (brivola::countLiveCells (dish) < 24)
        {
            state.PauseTiming();
            for (int s = 0; s < 24; ++s)
                if (! dish.cells[(std::size_t) s].active)
                    brivola::placeCell (dish, -1, s % 8, -1, 0.0, 0.0, 1.0);
            state.ResumeTiming();
        }
        const auto t0 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize (brivola::dishStep (dish));
        totalUs += std::chrono::duration<double, std::micro> (std::chrono::steady_clock::now() - t0).count();
        ++ticks;
    }
    state.counters["dish_step_us_24_cells"] = totalUs / double (ticks);
}
BENCHMARK (dishStep24Cells)->MinTime (1.0);
} // namespace
