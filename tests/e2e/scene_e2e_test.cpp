// The whole program checked pixel for pixel: the real binary, started at a
// start time the test knows, saves two screenshots a few seconds apart; the
// test rebuilds the scene from that time in memory and finds the logic step
// each screenshot shows, the second later than the first. Seeding,
// construction order, the colours, the drawing, the logic steps and the
// screenshot path must all be right for a single step to match. How many
// steps come a second is the live timer test's to judge: here it depends on
// how busy the machine is.

#include "scene_replay.h"
#include "screenshot_pair.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// The build's own binary, unless another (the packaged one) is under test.
#ifndef PROGRAM_UNDER_TEST
#define PROGRAM_UNDER_TEST ""
#endif

namespace {

using namespace std::chrono_literals;

// The value `time` gives the program, through the fixed_time preload.
constexpr unsigned start_time = 1234567890;
// A minute of logic steps: the test is over long before the program has run
// that long.
constexpr int last_search_step = 50 * 60;
constexpr auto screenshot_interval = 2s;

// Starts `program` (through `launcher`, when one is given) in a fresh folder,
// takes the two screenshots there and finds each among the replayed scene's
// steps, then presses Esc: the window must go, and what was started must end
// with 0.
void expect_replayed_screenshots(const std::vector<std::string>& launcher, const std::string& program)
{
    TempDir dir;
    VirtualDisplay display;
    RibbonsProcess started(dir.path(), display.name(),
                           {std::string("LD_PRELOAD=") + FIXED_TIME_LIBRARY,
                            "RIBBONS_TEST_TIME=" + std::to_string(start_time)},
                           launcher, program);
    const Window window = wait_for_window(display.connection(), 10s);
    ASSERT_NE(window, 0u) << started.output();
    ASSERT_TRUE(wait_until_drawing(display.connection(), window, 10s));
    sleep_for(1s);

    const ScreenshotPair shots =
        take_screenshot_pair(display.connection(), dir, screenshot_interval);
    ASSERT_TRUE(shots.first) << "no screenshot after F12 in the folder it was started in";
    ASSERT_TRUE(shots.second) << "no screenshot after the second F12";
    press_key(display.connection(), XK_Escape);
    const bool closed = eventually(10s, [&] { return find_closable_window(display.connection()) == 0; });
    const auto ended = started.wait_for_exit(10s);

    Replay replay(start_time);
    const auto first_step = replay.find(*shots.first, last_search_step);
    ASSERT_TRUE(first_step) << "no step of the replayed scene matches the first screenshot: "
                            << replay.closest();
    const auto second_step = replay.find(*shots.second, last_search_step);
    ASSERT_TRUE(second_step) << "no step of the replayed scene after " << *first_step
                             << " matches the second screenshot: " << replay.closest();
    std::printf("screenshots show steps %d and %d\n", *first_step, *second_step);

    EXPECT_TRUE(closed) << "Esc did not close the window";
    ASSERT_TRUE(ended) << "Esc did not end the program";
    EXPECT_EQ(ended->status, 0) << started.output();
}

TEST(WholeProgram, ScreenshotsAreFramesOfTheSceneReplayedFromTheStartTimeTheSecondALaterOne)
{
    expect_replayed_screenshots({}, PROGRAM_UNDER_TEST);
}

#ifdef MENU_ENTRY
// A desktop's menu starts the installed program through its entry, here with
// GLib's launcher as GNOME's menus and many others do. The entry sets no
// folder, so F12 saves in the folder the desktop starts programs in (the
// home folder on the usual desktops): the launcher's own, here the test's.
// `gio launch` ends once the program is started; its 0 says it was.
TEST(WholeProgram, StartedFromItsMenuEntryItSavesInTheFolderTheDesktopStartsItIn)
{
    expect_replayed_screenshots({"gio", "launch"}, MENU_ENTRY);
}
#endif

} // namespace
