// The colour-graded line against the library's own lines, on one fixed set of
// lines shaped like the demo's outline edges: nanoseconds per pixel of the
// graded line (as chosen, and with each colour ramp the processor runs), of
// the solid fastline, and of do_line grading through a callback, with the
// ratios printed after the run.

#include "bench_support.h"
#include "colour_ramp.h"
#include "gradient_line.h"

#include <allegro.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

struct Line {
    int x1, y1, x2, y2;
    int colour1, colour2;
};

bool on_screen(int x, int y)
{
    return x >= 0 && x < SCREEN_W && y >= 0 && y < SCREEN_H;
}

// 0 to 300 pixels long at any angle, like an edge of a spinning outline.
Line random_line(std::mt19937& random)
{
    std::uniform_real_distribution<double> x(0, SCREEN_W), y(0, SCREEN_H);
    std::uniform_real_distribution<double> length(0, 300), angle(0, 6.2831853);
    std::uniform_int_distribution<int> component(0, 255);
    const double cx = x(random), cy = y(random);
    const double half = length(random) / 2, a = angle(random);
    const int dx = static_cast<int>(half * std::cos(a));
    const int dy = static_cast<int>(half * std::sin(a));
    const int colour1 = makecol16(component(random), component(random), component(random));
    const int colour2 = makecol16(component(random), component(random), component(random));
    const int x1 = static_cast<int>(cx);
    const int y1 = static_cast<int>(cy);
    return {x1 - dx, y1 - dy, x1 + dx, y1 + dy, colour1, colour2};
}

// Seeded, so every run draws the same lines. Nine in ten lie wholly on the
// screen, the rest cross its edges, much as the demo's outlines do while
// they bounce and their lower copies hang over the bottom.
std::vector<Line> make_demo_lines()
{
    constexpr int line_count = 2000;
    constexpr int crossing_count = line_count / 10;
    std::mt19937 random(20240611);
    std::vector<Line> lines;
    int crossing = 0;
    while (static_cast<int>(lines.size()) < line_count) {
        const Line line = random_line(random);
        const bool inside = on_screen(line.x1, line.y1) && on_screen(line.x2, line.y2);
        if (!inside && crossing == crossing_count)
            continue;
        crossing += !inside;
        lines.push_back(line);
    }
    return lines;
}

const std::vector<Line>& demo_lines()
{
    start_bench_allegro();
    static const std::vector<Line> lines = make_demo_lines();
    return lines;
}

// Every line is counted by the pixels it walks, clipped or not, so the three
// ways of drawing are compared on the same amount of work.
double pixels_walked()
{
    double pixels = 0;
    for (const Line& line : demo_lines())
        pixels += line_pixel_count(line.x1, line.y1, line.x2, line.y2);
    return pixels;
}

template <typename Draw>
void draw_every_line(benchmark::State& state, const char* name, Draw draw)
{
    const std::vector<Line>& lines = demo_lines();
    BITMAP* canvas = bench_canvas();
    measure_per_unit(state, name, pixels_walked(), [&] {
        for (const Line& line : lines)
            draw(canvas, line);
        benchmark::ClobberMemory();
    });
}

void bench_gradient_line_named(benchmark::State& state, const std::string& name)
{
    draw_every_line(state, name.c_str(), [](BITMAP* canvas, const Line& line) {
        gradient_line(canvas, line.x1, line.y1, line.x2, line.y2, line.colour1,
                      line.colour2);
    });
}

void bench_gradient_line(benchmark::State& state)
{
    bench_gradient_line_named(state, "gradient_line");
}

std::string ramp_row_name(RampKind kind)
{
    return std::string("gradient_line_") + colour_ramp_name(kind) + "_ramp";
}

// The graded line with one ramp forced, so that every ramp this processor
// runs is measured beside fastline in the same run; the plain row above
// takes the one the line chooses.
void bench_gradient_line_with_ramp(benchmark::State& state, RampKind kind)
{
    const RampKind chosen = chosen_colour_ramp();
    use_colour_ramp(kind);
    bench_gradient_line_named(state, ramp_row_name(kind));
    use_colour_ramp(chosen);
}

void bench_solid_fastline(benchmark::State& state)
{
    draw_every_line(state, "solid_fastline", [](BITMAP* canvas, const Line& line) {
        fastline(canvas, line.x1, line.y1, line.x2, line.y2, line.colour1);
    });
}

// The graded colour a do_line callback works out pixel by pixel, as a
// program without its own line walker would grade a line.
struct CallbackGrade {
    double r, g, b;
    double step_r, step_g, step_b;
};
CallbackGrade callback_grade;

void put_graded_pixel(BITMAP* bitmap, int x, int y, int)
{
    CallbackGrade& grade = callback_grade;
    putpixel(bitmap, x, y,
             makecol16(static_cast<int>(grade.r), static_cast<int>(grade.g),
                       static_cast<int>(grade.b)));
    grade.r += grade.step_r;
    grade.g += grade.step_g;
    grade.b += grade.step_b;
}

void bench_do_line_gradient(benchmark::State& state)
{
    draw_every_line(state, "do_line_gradient_callback", [](BITMAP* canvas, const Line& line) {
        const double n = line_pixel_count(line.x1, line.y1, line.x2, line.y2);
        const int r = getr(line.colour1), g = getg(line.colour1), b = getb(line.colour1);
        callback_grade = {static_cast<double>(r), static_cast<double>(g),
                          static_cast<double>(b), (getr(line.colour2) - r) / n,
                          (getg(line.colour2) - g) / n, (getb(line.colour2) - b) / n};
        do_line(canvas, line.x1, line.y1, line.x2, line.y2, 0, put_graded_pixel);
    });
}

// Timed on the wall clock, like the summary, since that is what a frame
// waits for.
const bool registered = [] {
    benchmark::RegisterBenchmark("gradient_line", bench_gradient_line)->UseRealTime();
    for (const RampKind kind : runnable_colour_ramps())
        benchmark::RegisterBenchmark(ramp_row_name(kind).c_str(), bench_gradient_line_with_ramp,
                                     kind)
            ->UseRealTime();
    benchmark::RegisterBenchmark("solid_fastline", bench_solid_fastline)->UseRealTime();
    benchmark::RegisterBenchmark("do_line_gradient_callback", bench_do_line_gradient)
        ->UseRealTime();
    compare_after_run("gradient_line", "solid_fastline");
    compare_after_run("gradient_line", "do_line_gradient_callback");
    for (const RampKind kind : runnable_colour_ramps())
        compare_after_run(ramp_row_name(kind), "solid_fastline");
    return true;
}();

} // namespace
