#include "screenshot_pair.h"

#include <X11/keysym.h>

#include <filesystem>

namespace {

using namespace std::chrono_literals;

// Presses F12 and returns the screenshot it saved, moving the file to
// `kept_as` so the next press is seen to write a new one.
std::optional<Picture> take_screenshot(Display* display, const TempDir& dir,
                                       const std::string& kept_as)
{
    const std::string path = dir.file("screenshot.bmp");
    press_key(display, XK_F12);
    std::optional<Picture> shot;
    eventually(5s, [&] {
        shot = read_bmp24(path);
        return shot && shot->width == 640 && shot->height == 480;
    });
    std::error_code not_saved;
    std::filesystem::rename(path, dir.file(kept_as), not_saved);
    return shot;
}

} // namespace

ScreenshotPair take_screenshot_pair(Display* display, const TempDir& dir,
                                    std::chrono::milliseconds interval)
{
    const auto first_press = std::chrono::steady_clock::now();
    auto first = take_screenshot(display, dir, "first.bmp");
    std::this_thread::sleep_until(first_press + interval);
    return {std::move(first), take_screenshot(display, dir, "second.bmp")};
}
