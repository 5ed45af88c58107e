// What every benchmark of ribbons shares: Allegro started without a display
// but with a 640x480 screen size, so that clipping behaves as under the real
// mode, and a summary of time per unit of work printed when the run ends.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

struct BITMAP;

// Starts Allegro once, with no display, in 16-bit colour and with a stand-in
// graphics driver so that SCREEN_W x SCREEN_H is 640 x 480.
void start_bench_allegro();

// A 16-bit memory bitmap of the screen's size, made once and kept.
BITMAP* bench_canvas();

// Adds a timed loop of the benchmark `name` to the summary: `units` units of
// work (pixels, frames) per iteration. Also shows the time per unit in the
// run's own table, as the counter time_per_unit.
void record_per_unit(benchmark::State& state, const std::string& name, double units,
                     std::chrono::steady_clock::duration elapsed);

// The benchmark loop: `iteration` once per pass, timed for the summary.
template <typename Iteration>
void measure_per_unit(benchmark::State& state, const std::string& name, double units,
                      Iteration iteration)
{
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
        iteration();
    record_per_unit(state, name, units, std::chrono::steady_clock::now() - start);
}

// Asks the summary for how many times faster `faster` is than `baseline`,
// per unit of work; benchmarks register the comparisons they are about.
void compare_after_run(const std::string& faster, const std::string& baseline);
