// Shared set-up and the closing summary of ribbons_bench. The summary turns
// each benchmark's timed loops into nanoseconds per unit of work, so
// primitives that do different amounts of work per call compare fairly, and
// keeps the fastest loop of each: on a shared machine it is the one least
// disturbed by other work.

#include "bench_support.h"

#include <allegro.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <utility>
#include <vector>

namespace {

// Both tables are left alive to the very end, since the summary is printed
// by an exit handler, after static objects may already have gone.
std::map<std::string, double>& fastest_ns_per_unit()
{
    static auto* const fastest = new std::map<std::string, double>;
    return *fastest;
}

std::vector<std::pair<std::string, std::string>>& comparisons()
{
    static auto* const list = new std::vector<std::pair<std::string, std::string>>;
    return *list;
}

void print_ratio(const std::string& faster, const std::string& baseline)
{
    const auto& fastest = fastest_ns_per_unit();
    const auto fast = fastest.find(faster);
    const auto base = fastest.find(baseline);
    if (fast != fastest.end() && base != fastest.end())
        std::printf("  %s is %.2fx as fast as %s\n", faster.c_str(), base->second / fast->second,
                    baseline.c_str());
}

void print_summary()
{
    std::printf("\nnanoseconds per unit of work, fastest timed loop:\n");
    for (const auto& [name, ns] : fastest_ns_per_unit())
        std::printf("  %-28s %8.3f\n", name.c_str(), ns);
    for (const auto& [faster, baseline] : comparisons())
        print_ratio(faster, baseline);
    std::fflush(stdout);
}

} // namespace

void start_bench_allegro()
{
    // Plain data, never destroyed: the stand-in driver must outlive every
    // benchmark, and Allegro only reads its size.
    static GFX_DRIVER screen_size_driver{};
    static const bool started = [] {
        if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0)
            return false;
        set_color_depth(16);
        screen_size_driver.w = 640;
        screen_size_driver.h = 480;
        gfx_driver = &screen_size_driver;
        // Registered after Allegro's own exit handler, so it runs before it.
        std::atexit(print_summary);
        return true;
    }();
    if (!started) {
        std::fprintf(stderr, "could not start Allegro without a display\n");
        std::exit(1);
    }
}

BITMAP* bench_canvas()
{
    start_bench_allegro();
    static BITMAP* const canvas = create_bitmap_ex(16, SCREEN_W, SCREEN_H);
    return canvas;
}

void record_per_unit(benchmark::State& state, const std::string& name, double units,
                     std::chrono::steady_clock::duration elapsed)
{
    state.counters["time_per_unit"] = benchmark::Counter(
        units, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    if (state.iterations() == 0 || units <= 0)
        return;
    const double ns = std::chrono::duration<double, std::nano>(elapsed).count() /
                      (static_cast<double>(state.iterations()) * units);
    auto [entry, added] = fastest_ns_per_unit().emplace(name, ns);
    if (!added && ns < entry->second)
        entry->second = ns;
}

void compare_after_run(const std::string& faster, const std::string& baseline)
{
    comparisons().emplace_back(faster, baseline);
}
