// A whole run of the real program under valgrind's memcheck: start, F12, F1,
// Esc. The back buffer and every shape's vertex array must be released by the
// time the program ends, and no memory error may happen on the way.
//
// Only blocks that nothing points to any more fail the run ("definitely" and
// "indirectly" lost): that is what a forgotten release of the program's own
// memory leaves. "Possibly lost" blocks (interior pointers, which the X and
// threading libraries keep) and "still reachable" ones (what the library
// holds until the process ends) are not counted. The suppressions file names
// each library allocation that memcheck would otherwise blame and says why.

#include "x_harness.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Everything is some fifty times slower under memcheck.
constexpr auto start_timeout = 120s;
constexpr auto exit_timeout = 180s;
constexpr auto key_hold = 2s;

// Fair scheduling: valgrind runs one thread at a time, and by default the
// main loop, which never sleeps, can keep the library's input thread from
// running for minutes, so Esc would seem to go unseen.
std::vector<std::string> memcheck()
{
    return {"valgrind",
            "--tool=memcheck",
            "--fair-sched=yes",
            "--error-exitcode=99",
            "--leak-check=full",
            "--show-leak-kinds=definite,indirect",
            "--errors-for-leak-kinds=definite,indirect",
            "--num-callers=30",
            "--gen-suppressions=all",
            std::string("--suppressions=") + VALGRIND_SUPPRESSIONS};
}


TEST(UnderMemcheck, AFullRunReleasesEverythingTheProgramMade)
{
    TempDir dir;
    VirtualDisplay display;
    RibbonsProcess program(dir.path(), display.name(), {}, memcheck());
    Display* x = display.connection();
    const Window window = wait_for_window(x, start_timeout);
    ASSERT_NE(window, 0u) << program.output();
    ASSERT_TRUE(wait_until_drawing(x, window, start_timeout));

    press_key(x, XK_F12, key_hold);
    EXPECT_TRUE(eventually(60s, [&] {
        const auto picture = read_bmp24(dir.file("screenshot.bmp"));
        return picture && picture->width == 640 && picture->height == 480;
    })) << "F12 saved no screenshot";
    press_key(x, XK_F1, key_hold);

    // Esc is held until the program has gone: a pass can take a while here.
    key_down(x, XK_Escape);
    const auto result = program.wait_for_exit(exit_timeout);
    key_up(x, XK_Escape);

    ASSERT_TRUE(result) << "the program did not end after Esc";
    EXPECT_TRUE(result->exited) << "signal " << result->signal;
    EXPECT_EQ(result->status, 0) << "memcheck found errors or leaks (status 99):\n"
                                 << program.output();
}

} // namespace
