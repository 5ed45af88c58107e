// Finds the seed and the logic steps that a cross build's screenshots show,
// by replaying the scene with the `rand` that build drew its shapes from:
// built for Windows and run under Wine for ribbons.exe, where it is the
// Windows C runtime's; built for this machine for the arm64 build, as
// glibc's generator is the same on every processor. The end-to-end test of
// each build runs it on the screenshots it took.
//
//   find_scene_step FIRST_SEED LAST_SEED LAST_STEP SCREENSHOT...
//
// Prints "seed S steps A B ..." for the first seed whose replay shows every
// screenshot in turn, each at a later step than the one before and none
// after LAST_STEP, and exits 0; otherwise says how close each seed came and
// exits 1.

#include "scene_replay.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A 24-bit screenshot as the picture the replay compares against.
std::optional<Picture> load_screenshot(const char* path)
{
    set_color_conversion(COLORCONV_NONE);
    BITMAP* bitmap = load_bmp(path, nullptr);
    if (!bitmap || bitmap_color_depth(bitmap) != 24) {
        if (bitmap)
            destroy_bitmap(bitmap);
        return std::nullopt;
    }
    Picture picture{bitmap->w, bitmap->h, {}};
    for (int y = 0; y < bitmap->h; ++y) {
        for (int x = 0; x < bitmap->w; ++x) {
            // Read through the library's own packing, which is not RGB on
            // every system before a mode is set.
            const int pixel = getpixel(bitmap, x, y);
            picture.pixels.push_back(
                static_cast<std::uint32_t>(getr24(pixel) << 16 | getg24(pixel) << 8 | getb24(pixel)));
        }
    }
    destroy_bitmap(bitmap);
    return picture;
}

// The steps at which one seed's replay shows the screenshots, in order.
std::optional<std::vector<int>> steps_shown(unsigned seed, const std::vector<Picture>& shots,
                                            int last_step)
{
    Replay replay(seed);
    std::vector<int> steps;
    for (const Picture& shot : shots) {
        const auto step = replay.find(shot, last_step);
        if (!step) {
            std::printf("seed %u: %s\n", seed, replay.closest().c_str());
            return std::nullopt;
        }
        steps.push_back(*step);
    }
    return steps;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: %s FIRST_SEED LAST_SEED LAST_STEP SCREENSHOT...\n", argv[0]);
        return 2;
    }
    const unsigned first_seed = static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10));
    const unsigned last_seed = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
    const int last_step = std::atoi(argv[3]);

    start_headless_allegro();
    std::vector<Picture> shots;
    for (int i = 4; i < argc; ++i) {
        auto shot = load_screenshot(argv[i]);
        if (!shot) {
            std::printf("cannot read %s as a 24-bit BMP\n", argv[i]);
            return 1;
        }
        shots.push_back(std::move(*shot));
    }
    for (unsigned seed = first_seed; seed <= last_seed; ++seed) {
        if (const auto steps = steps_shown(seed, shots, last_step)) {
            std::printf("seed %u steps", seed);
            for (const int step : *steps)
                std::printf(" %d", step);
            std::printf("\n");
            return 0;
        }
    }
    return 1;
}
