#include "screenshot_pair.h"

#include <X11/keysym.h>

#include <filesystem>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Screenshot {
    std::optional<Picture> picture;
    Clock::time_point saved; // when it was first seen whole
};

// Presses F12 and returns the screenshot it saved, moving the file to
// `kept_as` so the next press is seen to write a new one.
Screenshot take_screenshot(Display* display, const TempDir& dir, const std::string& kept_as)
{
    const std::string path = dir.file("screenshot.bmp");
    // The key is held as long as press_key holds it, but the file is watched
    // from the moment it goes down, so the time it appeared is known.
    constexpr auto hold = 300ms;
    key_down(display, XK_F12);
    const auto pressed = Clock::now();
    bool held = true;
    const auto release_after_hold = [&] {
        if (held && Clock::now() - pressed >= hold) {
            key_up(display, XK_F12);
            held = false;
        }
    };
    Screenshot shot;
    eventually(5s, [&] {
        release_after_hold();
        shot.picture = read_bmp24(path);
        shot.saved = Clock::now();
        return shot.picture && shot.picture->width == 640 && shot.picture->height == 480;
    });
    std::this_thread::sleep_until(pressed + hold);
    release_after_hold();
    std::error_code not_saved;
    std::filesystem::rename(path, dir.file(kept_as), not_saved);
    return shot;
}

} // namespace

ScreenshotPair take_screenshot_pair(Display* display, const TempDir& dir,
                                    std::chrono::milliseconds interval)
{
    const auto first_press = Clock::now();
    const Screenshot first = take_screenshot(display, dir, "first.bmp");
    std::this_thread::sleep_until(first_press + interval);
    const Screenshot second = take_screenshot(display, dir, "second.bmp");
    // Timed by when the files appeared, not by the presses: how long a key
    // takes to reach the program varies, and more so under Wine.
    return {first.picture, second.picture,
            std::chrono::duration<double>(second.saved - first.saved).count()};
}
