#include "scene_replay.h"

#include <cstdint>
#include <cstdlib>

namespace {

// The colour save_bmp writes for a pixel of a 16-bit bitmap.
std::uint32_t saved_rgb(int pixel)
{
    return static_cast<std::uint32_t>(getr16(pixel) << 16 | getg16(pixel) << 8 | getb16(pixel));
}

Scene scene_seeded_with(unsigned seed)
{
    std::srand(seed);
    return build_scene();
}

} // namespace

Replay::Replay(unsigned seed) : scene_(scene_seeded_with(seed)) {}

std::optional<int> Replay::find(const Picture& picture, int last_step)
{
    best_differing_ = 640 * 480;
    for (; steps_ <= last_step; step()) {
        draw();
        const int differing = differences(picture, best_differing_);
        if (differing == 0) {
            const int found = steps_;
            step();
            return found;
        }
        if (differing < best_differing_) {
            best_differing_ = differing;
            best_step_ = steps_;
        }
    }
    return std::nullopt;
}

std::string Replay::closest() const
{
    return std::to_string(best_differing_) + " pixels differ at best, at step " +
           std::to_string(best_step_);
}

void Replay::step()
{
    update_scene(scene_);
    ++steps_;
}

void Replay::draw()
{
    clear_to_color(frame_, 0);
    draw_scene(scene_, frame_);
}

int Replay::differences(const Picture& picture, int limit) const
{
    if (picture.width != 640 || picture.height != 480)
        return limit;
    int count = 0;
    for (int y = 0; y < 480 && count < limit; ++y)
        for (int x = 0; x < 640; ++x)
            count += picture.at(x, y) != saved_rgb(frame_.pixel(x, y));
    return count;
}
