// The cost of whole frames: the scene drawn into the back buffer and the
// buffer cleared, in memory; and, on a real X display, a whole pass of the
// main loop beside the same pass with nothing drawn, which is the clear and
// the copy to the screen that every pass pays anyway. The ratio of the two
// says how much drawing the scene adds to that unavoidable cost.

#include "bench_support.h"
#include "main_loop.h"
#include "scene.h"
#include "startup.h"

#include <allegro.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr unsigned scene_seed = 20240611;
// Drawing may add at most half of what the clear and the copy cost.
constexpr double pass_ratio_aim = 1.5;

// The full-length timed loops of each frame benchmark, in nanoseconds per
// frame. The shorter loops that size them are left out: they end before the
// X server falls behind with the copies, and look faster than a frame is.
// Left alive to the very end: the summary is printed by an exit handler.
struct FrameTimes {
    benchmark::IterationCount iterations = 0;
    std::vector<double> ns;
};

std::map<std::string, FrameTimes>& frame_times()
{
    static auto* const times = new std::map<std::string, FrameTimes>;
    return *times;
}

void keep_frame_time(const std::string& name, benchmark::IterationCount iterations, double ns)
{
    FrameTimes& times = frame_times()[name];
    if (iterations > times.iterations)
        times = {iterations, {}};
    if (iterations == times.iterations)
        times.ns.push_back(ns);
}

struct Figure {
    double median = 0;
    double fastest = 0;
};

std::optional<Figure> figure_of(const std::string& name)
{
    const auto times = frame_times().find(name);
    if (times == frame_times().end() || times->second.ns.empty())
        return std::nullopt;
    std::vector<double> ns = times->second.ns;
    std::sort(ns.begin(), ns.end());
    const std::size_t middle = ns.size() / 2;
    return Figure{ns.size() % 2 ? ns[middle] : (ns[middle - 1] + ns[middle]) / 2, ns.front()};
}

void print_frame_figure(const std::string& name, const char* label)
{
    if (const auto figure = figure_of(name))
        std::printf("  %-34s %7.1f %7.1f  %6.0f\n", label, figure->median / 1e3,
                    figure->fastest / 1e3, 1e9 / figure->median);
}

void print_frame_summary()
{
    const int depth = desktop_color_depth();
    std::printf("\nwhole frames, ");
    if (depth > 0)
        std::printf("copied to an X screen of %d bits per pixel:\n", depth);
    else
        std::printf("without a display:\n");
    std::printf("  %-34s %7s %7s  %6s\n", "microseconds per frame", "median", "fastest",
                "frames/s");
    print_frame_figure("frame_in_memory", "frame in memory (draw and clear)");
    print_frame_figure("clear_in_memory", "clear alone, in memory");
    print_frame_figure("pass_with_scene", "pass with the scene");
    print_frame_figure("pass_clear_and_copy", "pass with the clear and copy alone");
    const auto pass = figure_of("pass_with_scene");
    const auto clear_and_copy = figure_of("pass_clear_and_copy");
    if (pass && clear_and_copy)
        std::printf("  a pass takes %.2f times the clear and copy alone (medians; fastest "
                    "%.2f); the aim is %.2f at most\n",
                    pass->median / clear_and_copy->median,
                    pass->fastest / clear_and_copy->fastest, pass_ratio_aim);
    std::fflush(stdout);
}

// Opens the program's own 640x480 16-bit mode when the frame benchmarks are
// the first to start the library and there is a display, so the copy goes to
// a real X window; otherwise the display-free stand-in of the other
// benchmarks. The library starts only once per process, so whichever
// benchmark runs first decides.
bool start_with_display()
{
    static const bool on_display = [] {
        if (system_driver || !std::getenv("DISPLAY") || allegro_init() != 0)
            return false;
        set_color_depth(colour_depth);
        if (set_gfx_mode(GFX_AUTODETECT, screen_width, screen_height, 0, 0) == 0)
            return true;
        allegro_exit();
        return false;
    }();
    static const bool summary_registered = [] {
        if (!on_display)
            start_bench_allegro();
        // After the library's own exit handler, so it runs before it.
        return std::atexit(print_frame_summary) == 0;
    }();
    (void)summary_registered;
    return on_display;
}

// Built once, so every benchmark and repetition goes on from where the last
// one left the shapes.
Scene& bench_scene()
{
    static Scene scene = [] {
        std::srand(scene_seed);
        return build_scene();
    }();
    return scene;
}

BITMAP* back_buffer()
{
    static BITMAP* const buffer = create_back_buffer();
    return buffer;
}

// The scene takes one logic step per frame, so the figures are an average
// over ever-changing outlines rather than one lucky pose; a step costs a few
// dozen additions beside 220 lines.
void draw_next_frame()
{
    update_scene(bench_scene());
    draw_scene(bench_scene(), back_buffer());
}

// The benchmark loop, timed for both summaries: the shared one per unit of
// work, and the frame summary with its ratio.
template <typename Frame>
void measure_frames(benchmark::State& state, const std::string& name, Frame frame)
{
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
        frame();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    record_per_unit(state, name, 1, elapsed);
    if (state.iterations() > 0)
        keep_frame_time(name, state.iterations(),
                        std::chrono::duration<double, std::nano>(elapsed).count() /
                            static_cast<double>(state.iterations()));
}

void bench_frame_in_memory(benchmark::State& state)
{
    start_with_display();
    measure_frames(state, "frame_in_memory", [] {
        draw_next_frame();
        end_frame(back_buffer());
        benchmark::ClobberMemory();
    });
}

// The part of a frame in memory that drawing does not touch.
void bench_clear_in_memory(benchmark::State& state)
{
    start_with_display();
    measure_frames(state, "clear_in_memory", [] {
        end_frame(back_buffer());
        benchmark::ClobberMemory();
    });
}

// Passes of the main loop exactly as the program runs them, with `draw` as
// their drawing step.
template <typename Draw>
void run_passes(benchmark::State& state, const std::string& name, Draw draw)
{
    if (!start_with_display()) {
        state.SkipWithError("needs a display, with the frame benchmarks run alone: "
                            "see bench/run-frame-bench.sh");
        return;
    }
    measure_frames(state, name, [&] { run_pass(back_buffer(), [] {}, draw); });
}

void bench_pass_with_scene(benchmark::State& state)
{
    run_passes(state, "pass_with_scene", draw_next_frame);
}

void bench_pass_clear_and_copy(benchmark::State& state)
{
    run_passes(state, "pass_clear_and_copy", [] {});
}

// Timed on the wall clock: a frame also waits for the X server.
const bool registered = [] {
    benchmark::RegisterBenchmark("frame_in_memory", bench_frame_in_memory)->UseRealTime();
    benchmark::RegisterBenchmark("clear_in_memory", bench_clear_in_memory)->UseRealTime();
    benchmark::RegisterBenchmark("pass_with_scene", bench_pass_with_scene)->UseRealTime();
    benchmark::RegisterBenchmark("pass_clear_and_copy", bench_pass_clear_and_copy)
        ->UseRealTime();
    return true;
}();

} // namespace
