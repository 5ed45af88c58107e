// The real program in its own X server: the screenshot key, the FPS text, Esc,
// the window's close button, and the ways start-up can fail.

#include "running_program.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <fstream>
#include <random>

namespace {

using namespace std::chrono_literals;

constexpr auto exit_timeout = 10s;

bool near_white(std::uint32_t rgb)
{
    return (rgb >> 16 & 0xff) >= 240 && (rgb >> 8 & 0xff) >= 240 && (rgb & 0xff) >= 240;
}

// Near-white pixels where the FPS text goes: the top right corner.
int fps_corner_white(const Picture& picture)
{
    int count = 0;
    for (int y = 0; y < 12; ++y)
        for (int x = 560; x < 640; ++x)
            count += near_white(picture.at(x, y));
    return count;
}

// The fewest and the most near-white pixels in the FPS text's corner over
// many captures at random moments, so that one between a frame and its text
// would be seen.
std::pair<int, int> fps_corner_white_range(Display* display, Window window)
{
    std::minstd_rand random(std::random_device{}());
    int fewest = 640 * 12;
    int most = 0;
    for (int i = 0; i < 60; ++i) {
        const int white = fps_corner_white(capture_window(display, window));
        fewest = std::min(fewest, white);
        most = std::max(most, white);
        sleep_for(std::chrono::milliseconds(random() % 30));
    }
    return {fewest, most};
}

class RunningProgram : public RunningProgramTest {
protected:
    std::optional<Picture> screenshot() const { return read_bmp24(dir_.file("screenshot.bmp")); }

    bool screenshot_complete() const
    {
        const auto picture = screenshot();
        return picture && picture->width == 640 && picture->height == 480;
    }
};

TEST_F(RunningProgram, EscEndsTheProgramWithStatusZero)
{
    const ExitResult result = quit();
    EXPECT_TRUE(result.exited) << "signal " << result.signal;
    EXPECT_EQ(result.status, 0);
}

TEST_F(RunningProgram, F12SavesTheFrameAndASecondPressReplacesIt)
{
    press_key(x(), XK_F12);
    ASSERT_TRUE(eventually(5s, [&] { return screenshot_complete(); }));
    const Picture first = *screenshot();

    sleep_for(500ms); // the shapes move on
    press_key(x(), XK_F12);
    ASSERT_TRUE(eventually(5s, [&] {
        const auto second = screenshot();
        return second && second->width == 640 && second->pixels != first.pixels;
    })) << "the second screenshot did not replace the first";

    EXPECT_EQ(quit().status, 0);
}

TEST_F(RunningProgram, F1ShowsTheFpsTextInEveryFrameButNeverInTheScreenshot)
{
    EXPECT_EQ(fps_corner_white_range(x(), window_).second, 0) << "FPS text shown before F1";

    press_key(x(), XK_F1);
    ASSERT_TRUE(eventually(5s, [&] { return fps_corner_white(capture_window(x(), window_)) > 20; }))
        << "F1 did not show the FPS text";
    EXPECT_GT(fps_corner_white_range(x(), window_).first, 20) << "a capture missed the FPS text";

    press_key(x(), XK_F12);
    ASSERT_TRUE(eventually(5s, [&] { return screenshot_complete(); }));
    EXPECT_EQ(fps_corner_white(*screenshot()), 0) << "the FPS text leaked into the screenshot";

    press_key(x(), XK_F1);
    sleep_for(200ms);
    EXPECT_EQ(fps_corner_white_range(x(), window_).second, 0) << "a second F1 did not hide the text";

    EXPECT_EQ(quit().status, 0);
}

TEST_F(RunningProgram, CtrlAltEndDoesNotAbortTheProgram)
{
    key_down(x(), XK_Control_L);
    key_down(x(), XK_Alt_L);
    press_key(x(), XK_End);
    key_up(x(), XK_Alt_L);
    key_up(x(), XK_Control_L);
    sleep_for(500ms);
    ASSERT_TRUE(program_->running()) << "Ctrl+Alt+End ended the program";
    EXPECT_EQ(quit().status, 0);
}

// The close request a window manager sends when its close button is clicked.
// By default the library takes the whole screen: its drawing window sits in
// an override-redirect frame no window manager touches, and the window that
// takes the request is an unmapped top-level one, so there is no close button
// to click, yet a request sent there must still end the demo. The library's
// configuration can ask for a window instead (gfx_card = XWIN); that window is
// mapped, a window manager gives it a close button and sends the request to
// it.
struct WindowMode {
    const char* name;
    const char* allegro_config;
    bool window_shown_takes_request; // the 640x480 window itself
};

void PrintTo(const WindowMode& mode, std::ostream* out)
{
    *out << mode.name;
}

class CloseButton : public RunningProgramTest, public ::testing::WithParamInterface<WindowMode> {
protected:
    CloseButton()
    {
        std::ofstream(home_.file(".allegrorc")) << GetParam().allegro_config;
        program_env_.push_back("HOME=" + home_.path());
    }

    TempDir home_;
};

TEST_P(CloseButton, EndsTheProgramWithStatusZero)
{
    const Window closable = find_closable_window(x());
    ASSERT_NE(closable, 0u) << "no window takes WM_DELETE_WINDOW";
    EXPECT_EQ(closable == window_, GetParam().window_shown_takes_request)
        << "the library did not take the mode this case is about";
    send_close_request(x(), closable);
    const auto result = program_->wait_for_exit(exit_timeout);
    ASSERT_TRUE(result) << "the close request did not end the program";
    EXPECT_TRUE(result->exited) << "signal " << result->signal;
    EXPECT_EQ(result->status, 0);
}

INSTANTIATE_TEST_SUITE_P(
    RunningProgram, CloseButton,
    ::testing::Values(WindowMode{"FullScreen", "", false},
                      WindowMode{"InAWindow", "[graphics]\ngfx_card = XWIN\n", true}),
    [](const ::testing::TestParamInfo<WindowMode>& mode) { return std::string(mode.param.name); });

// Start-up failures: the program must explain itself and end with status 1,
// never with a signal. Under X the library shows its messages with xmessage,
// which waits for a click; with that helper out of reach the message comes to
// the terminal.
struct StartUpFault {
    const char* name;
    bool display;
    std::vector<std::string> env;
    const char* message;
};

void PrintTo(const StartUpFault& fault, std::ostream* out)
{
    *out << fault.name;
}

std::vector<std::string> preloaded(const char* library, const char* refused_call = "")
{
    return {std::string("LD_PRELOAD=") + library, "PATH=/nonexistent",
            std::string("RIBBONS_REFUSE=") + refused_call};
}

class StartUpFailure : public ::testing::TestWithParam<StartUpFault> {};

TEST_P(StartUpFailure, EndsWithStatusOneAndAMessage)
{
    TempDir dir;
    std::optional<VirtualDisplay> display;
    if (GetParam().display)
        display.emplace();
    RibbonsProcess program(dir.path(), display ? std::optional(display->name()) : std::nullopt,
                           GetParam().env);
    const auto result = program.wait_for_exit(exit_timeout);
    ASSERT_TRUE(result) << "the program did not end";
    EXPECT_TRUE(result->exited) << "ended by signal " << result->signal;
    EXPECT_EQ(result->status, 1);
    EXPECT_NE(program.output().find(GetParam().message), std::string::npos) << program.output();
}

const char* const no_timer = "Error installing the timer: the scene cannot move without it";
const char* const no_callback = "Error starting the timer's callbacks: the scene cannot move";

INSTANTIATE_TEST_SUITE_P(
    , StartUpFailure,
    ::testing::Values(
        StartUpFault{"NoDisplayAtAll", false, {},
                     "Error starting the Allegro library: no display (no X server answered at "
                     "DISPLAY, and no console graphics)"},
        StartUpFault{"RefusedVideoMode", true, preloaded(REFUSE_VIDEO_MODE_LIBRARY),
                     "Error setting video mode 640x480x16 refused by the test"},
        StartUpFault{"NoMemoryForTheBackBuffer", true, preloaded(NO_BACK_BUFFER_LIBRARY),
                     "Error creating the back buffer"},
        StartUpFault{"NoMemoryForTheShapes", true, preloaded(NO_VERTEX_ARRAYS_LIBRARY),
                     "Error building the scene: not enough memory"},
        StartUpFault{"NoTimer", true, preloaded(REFUSE_START_UP_CALL_LIBRARY, "install_timer"),
                     no_timer},
        StartUpFault{"NoLogicTick", true,
                     preloaded(REFUSE_START_UP_CALL_LIBRARY, "install_int_ex#1"), no_callback},
        StartUpFault{"NoFrameRateSample", true,
                     preloaded(REFUSE_START_UP_CALL_LIBRARY, "install_int_ex#2"), no_callback},
        StartUpFault{"NoKeyboard", true,
                     preloaded(REFUSE_START_UP_CALL_LIBRARY, "install_keyboard"),
                     "Error installing the keyboard: nothing could end the demo"}),
    [](const ::testing::TestParamInfo<StartUpFault>& fault) { return std::string(fault.param.name); });

} // namespace
