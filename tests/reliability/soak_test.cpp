// The real program left running for over a minute in its own virtual X
// display. Nothing is allocated after start-up, so its resident memory must
// stay where it settled; it must keep animating, and Esc must still end it
// with status 0. Run with `ctest -L soak` (scripts/soak.sh), not by default.

#include "running_program.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto soak_time = 60s;
constexpr auto screenshot_every = 10s;
// Page-sized noise from the allocator and the X connection's buffers is
// allowed; a frame's worth of anything (600 KiB for the back buffer alone)
// is not.
constexpr long allowed_growth_kib = 256;
constexpr std::uintmax_t whole_screenshot_bytes = 54 + 640 * 3 * 480;

// Resident memory of a process in KiB, from /proc/<pid>/status; -1 if gone.
long resident_kib(int pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string field;
    long value = -1;
    while (status >> field) {
        if (field == "VmRSS:") {
            status >> value;
            break;
        }
        status.ignore(1 << 12, '\n');
    }
    return value;
}

class Soak : public RunningProgramTest {
protected:
    // A fresh screenshot: the old file goes first, so the one read is new.
    std::optional<Picture> take_screenshot()
    {
        const std::string file = dir_.file("screenshot.bmp");
        std::filesystem::remove(file);
        press_key(x(), XK_F12);
        if (!eventually(5s, [&] {
                std::error_code error;
                return std::filesystem::file_size(file, error) == whole_screenshot_bytes;
            }))
            return std::nullopt;
        return read_bmp24(file);
    }

};

TEST_F(Soak, AMinuteOfRunningKeepsMemoryFlatAndTheShapesMoving)
{
    // Everything used on the way is touched once before the baseline: a
    // screenshot, and the FPS text on and off.
    ASSERT_TRUE(take_screenshot());
    press_key(x(), XK_F1);
    press_key(x(), XK_F1);
    sleep_for(2s);
    const long baseline = resident_kib(program_->pid());
    ASSERT_GT(baseline, 0);

    long peak = baseline;
    std::vector<Picture> screenshots;
    const auto start = Clock::now();
    auto next_screenshot = start;
    while (Clock::now() - start < soak_time) {
        if (Clock::now() >= next_screenshot) {
            const auto picture = take_screenshot();
            ASSERT_TRUE(picture) << "no whole screenshot after " << screenshots.size();
            for (const Picture& earlier : screenshots)
                EXPECT_NE(picture->pixels, earlier.pixels) << "two screenshots are the same frame";
            screenshots.push_back(*picture);
            next_screenshot += screenshot_every;
        }
        ASSERT_TRUE(program_->running()) << program_->output();
        peak = std::max(peak, resident_kib(program_->pid()));
        sleep_for(1s);
    }

    std::cout << "resident memory: " << baseline << " KiB after start-up, at most " << peak
              << " KiB over " << soak_time.count() << " s\n";
    EXPECT_LE(peak - baseline, allowed_growth_kib) << "resident memory grew";
    EXPECT_GE(screenshots.size(), 6u);

    const ExitResult result = quit();
    EXPECT_TRUE(result.exited) << "Esc did not end the program; signal " << result.signal;
    EXPECT_EQ(result.status, 0);
}

} // namespace
