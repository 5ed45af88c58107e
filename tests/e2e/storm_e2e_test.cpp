// Key storms against the real program: hundreds of F12 and F1 presses in
// quick succession, and both keys held down, must leave it running and
// drawing, its last screenshot a whole 640x480 picture, and Esc still ending
// it with status 0.

#include "running_program.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

using namespace std::chrono_literals;

// A 24-bit 640x480 BMP: the 54-byte header, then rows of 640 * 3 bytes,
// already a multiple of 4.
constexpr std::uintmax_t whole_screenshot_bytes = 54 + 640 * 3 * 480;

class KeyStorm : public RunningProgramTest {
protected:
    // Quick presses and releases with `gap` between them; most fall between
    // two passes of the main loop and some are missed, as a user's would be.
    void storm(int presses, std::chrono::milliseconds gap)
    {
        for (int i = 0; i < presses; ++i) {
            key_down(x(), XK_F12);
            key_down(x(), XK_F1);
            key_up(x(), XK_F12);
            key_up(x(), XK_F1);
            sleep_for(gap);
        }
    }

    void expect_running_and_drawing()
    {
        ASSERT_TRUE(program_->running()) << program_->output();
        const Picture before = capture_window(x(), window_);
        EXPECT_TRUE(eventually(5s, [&] { return capture_window(x(), window_).pixels != before.pixels; }))
            << "the picture stopped changing";
    }

};

TEST_F(KeyStorm, HundredsOfPressesAndHeldKeysLeaveTheProgramDrawingAndEscStillQuits)
{
    storm(300, 0ms);
    storm(200, 3ms);
    expect_running_and_drawing();

    // Held down, the keys act once per report of the key going down, which
    // the X server repeats while a key is held.
    key_down(x(), XK_F12);
    key_down(x(), XK_F1);
    sleep_for(2s);
    storm(100, 1ms); // and presses of both while they are held
    key_up(x(), XK_F12);
    key_up(x(), XK_F1);
    expect_running_and_drawing();
    sleep_for(500ms); // for the last reported press to be acted on

    const std::string screenshot = dir_.file("screenshot.bmp");
    ASSERT_TRUE(eventually(5s, [&] {
        std::error_code error;
        return std::filesystem::file_size(screenshot, error) == whole_screenshot_bytes;
    })) << "the last screenshot is missing or not a whole 640x480 BMP";
    const auto picture = read_bmp24(screenshot);
    ASSERT_TRUE(picture) << "the last screenshot is not a valid 24-bit BMP";
    EXPECT_EQ(picture->width, 640);
    EXPECT_EQ(picture->height, 480);
    EXPECT_TRUE(shows_something(*picture)) << "the last screenshot shows no shapes";

    const ExitResult result = quit();
    EXPECT_TRUE(result.exited) << "Esc did not end the program after the storm; signal " << result.signal;
    EXPECT_EQ(result.status, 0);
}

} // namespace
