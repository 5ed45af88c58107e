// A cross build run whole through its launcher (ribbons.exe under Wine, the
// arm64 build under QEMU) on a private X display and driven by real keys: F1
// shows the FPS text; F12 saves frames of the scene that the system's `rand`
// builds from the seed `time` gave the program, the second a later frame
// than the first; Esc ends it with status 0. Under Wine, Ctrl+C in its
// console ends it with the status of a program stopped by Ctrl+C.
//
// The seed is not known in advance, so the few seconds around the start are
// tried. The scene is replayed by find_scene_step, built where `rand` is the
// one the program drew from; Wine's environment (its prefix and settings)
// comes from scripts/windows.sh.

#include "screenshot_pair.h"
#include "x_harness.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

using namespace std::chrono_literals;

// A minute of logic steps: the screenshots are taken well within that time
// of the program's start, even when Wine takes its time to show the window.
constexpr int last_search_step = 50 * 60;
constexpr auto screenshot_interval = 2s;
// Wine itself takes a few seconds to start a program.
constexpr auto start_timeout = 60s;
// The launcher's words, given in one string.
std::vector<std::string> launcher()
{
    std::istringstream words(LAUNCHER);
    return {std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
}

// A path as the cross build's own programs see it: drive Z: is the root under Wine.
std::string guest_path(const std::string& path)
{
    return PATH_PREFIX + path;
}

// Where the replay found the screenshots; nullopt when it did not.
struct SceneMatch {
    unsigned seed = 0;
    int first_step = -1;
    int second_step = -1;
};

// The FPS text, white at (565, 2), lit: no shape is ever pure white.
bool shows_fps_text(const Picture& picture)
{
    if (picture.width != 640 || picture.height != 480)
        return false;
    for (int y = 2; y < 10; ++y)
        for (int x = 565; x < 640; ++x)
            if (picture.at(x, y) == 0xffffff)
                return true;
    return false;
}

// Keys reach a program under Wine only once Wine has made its window the
// foreground one, which it does in its own time after the window appears.
// F1 is pressed until the FPS text shows: from then on keys are seen.
bool keys_reach_program(Display* display, Window window)
{
    for (int attempt = 0; attempt < 10; ++attempt) {
        press_key(display, XK_F1);
        if (eventually(2s, [&] { return shows_fps_text(capture_window(display, window)); }))
            return true;
    }
    return false;
}

// Stops Wine's server with every program it runs, and waits until it is
// gone. Wine binds its desktop to the X display of the session's first
// program, so each run starts a session of its own, and no session outlives
// the display it was bound to. Other launchers keep no session.
void end_wine_session()
{
#ifdef WINESERVER
    std::system("timeout 30 " WINESERVER " --kill >/dev/null 2>&1; timeout 30 " WINESERVER
                " --wait >/dev/null 2>&1");
#endif
}

// Runs the replay over the seeds from `first_seed` to `last_seed` on the two
// screenshots kept in `dir`; its report, and the match when there is one.
std::optional<SceneMatch> find_scene_steps(const TempDir& dir, std::time_t first_seed,
                                           std::time_t last_seed, std::string& report)
{
    std::ostringstream command;
    command << SCENE_STEP_LAUNCHER " " FIND_SCENE_STEP " " << first_seed << ' ' << last_seed
            << ' ' << last_search_step << ' ' << guest_path(dir.file("first.bmp")) << ' '
            << guest_path(dir.file("second.bmp")) << " 2>&1";
    FILE* replay = popen(command.str().c_str(), "r");
    if (!replay)
        return std::nullopt;
    // A line for each seed that failed, then one for the seed that matched.
    SceneMatch match;
    bool matched = false;
    char line[256];
    while (std::fgets(line, sizeof line, replay)) {
        report += line;
        matched = matched || std::sscanf(line, "seed %u steps %d %d", &match.seed,
                                         &match.first_step, &match.second_step) == 3;
    }
    if (pclose(replay) != 0 || !matched)
        return std::nullopt;
    return match;
}

class CrossBuild : public ::testing::Test {
protected:
    void SetUp() override { end_wine_session(); }
    void TearDown() override { end_wine_session(); }
};

TEST_F(CrossBuild, ScreenshotsAreTheSceneFromTheStartTimeAndEscEndsWithZero)
{
    TempDir dir;
    VirtualDisplay display(SCREEN);
    const std::time_t started = std::time(nullptr);
    RibbonsProcess program(dir.path(), display.name(), {}, launcher(), PROGRAM);
    const Window window = wait_for_window(display.connection(), start_timeout);
    ASSERT_NE(window, 0u) << "no 640x480 window appeared; output:\n" << program.output();
    ASSERT_TRUE(wait_until_drawing(display.connection(), window, start_timeout));
    const std::time_t drawing = std::time(nullptr);
    ASSERT_TRUE(keys_reach_program(display.connection(), window)) << "F1 never showed the FPS text";

    const ScreenshotPair shots =
        take_screenshot_pair(display.connection(), dir, screenshot_interval);
    ASSERT_TRUE(shots.first && shots.second) << "F12 saved no screenshot";
    press_key(display.connection(), XK_Escape);
    const auto ended = program.wait_for_exit(30s);
    // The replay needs no display; it runs in a session of its own.
    end_wine_session();

    std::string report;
    const auto match = find_scene_steps(dir, started - 1, drawing, report);
    ASSERT_TRUE(match) << "no seed from " << started - 1 << " to " << drawing
                       << " replays both screenshots:\n" << report;
    // The replay looks for the second screenshot only after the first one's
    // step, so a match is a later frame.
    std::printf("seed %u: screenshots show steps %d and %d\n", match->seed, match->first_step,
                match->second_step);

    ASSERT_TRUE(ended) << "Esc did not end the program";
    EXPECT_EQ(ended->status, 0) << program.output();
}

#ifdef SEND_CTRL_C
// Ctrl+C in its console window (Wine delivers no Ctrl+Break, nor the close).
TEST_F(CrossBuild, CtrlCEndsItAsAProgramStoppedByCtrlC)
{
    TempDir dir;
    VirtualDisplay display(SCREEN);
    std::vector<std::string> words = launcher();
    words.push_back(SEND_CTRL_C);
    // The helper starts the program as a Windows program would.
    RibbonsProcess program(dir.path(), display.name(), {}, words, guest_path(PROGRAM));
    const Window window = wait_for_window(display.connection(), start_timeout);
    ASSERT_NE(window, 0u) << "no 640x480 window appeared; output:\n" << program.output();
    ASSERT_TRUE(wait_until_drawing(display.connection(), window, start_timeout));
    std::ofstream(dir.file("ctrl-c")).close();
    // The helper gives up after 30 s and says why; this waits longer.
    const auto ended = program.wait_for_exit(60s);
    std::printf("%s", program.output().c_str());
    ASSERT_TRUE(ended) << "still running";
    constexpr int cannot_tell = 3; // the helper's status when Wine's own handling is the same
    if (ended->status == cannot_tell)
        GTEST_SKIP() << "this Wine's own Ctrl+C handling gives the same status";
    EXPECT_EQ(ended->status, 0);
}
#endif

} // namespace
