// SIGINT, SIGTERM and SIGHUP end the real program as Esc does, then by the
// signal itself as a shell expects: on start-up, while it runs and in the
// middle of an F12 save it says nothing and leaves nothing half-written.

#include "running_program.h"

#include <X11/keysym.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>

namespace {

using namespace std::chrono_literals;
using Files = std::map<std::string, std::uintmax_t>; // name and size
enum Moment { StartingUp, Running, Saving };
constexpr std::uintmax_t whole_screenshot_bytes = 54 + 640 * 3 * 480;

class StopSignal : public RunningProgramTest,
                   public ::testing::WithParamInterface<std::tuple<int, Moment>> {
protected:
    // Starting up: as soon as its window shows, before it draws if we are quick.
    void SetUp() override
    {
        program_env_ = {"LD_PRELOAD=" SLOW_FSYNC_LIBRARY};
        if (std::get<1>(GetParam()) != StartingUp)
            return RunningProgramTest::SetUp();
        program_.emplace(dir_.path(), display_.name(), program_env_);
        ASSERT_NE(wait_for_window(x(), 10s), 0u) << program_->output();
    }

    Files files() const
    {
        Files found;
        for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
            found[entry.path().filename().string()] = entry.file_size();
        return found;
    }
};

TEST_P(StopSignal, EndsByTheSignalAfterAnOrderlyShutdown)
{
    const auto [signal, moment] = GetParam();
    if (moment == Saving) {
        key_down(x(), XK_F12);
        // Whole under its temporary name: the save is in its slowed fsync.
        ASSERT_TRUE(eventually(5s, [&] {
            const Files found = files();
            return found.size() == 1 && found.begin()->second == whole_screenshot_bytes;
        }));
    }
    ASSERT_EQ(kill(program_->pid(), signal), 0);
    const ExitResult result = program_->wait_for_exit(10s).value_or(ExitResult{});
    // These three signals never dump a core; an abort or a crash names another.
    EXPECT_EQ(result.signal, signal) << "exit status " << result.status;
    EXPECT_EQ(program_->output(), "");
    const Files saved = {{"screenshot.bmp", whole_screenshot_bytes}};
    EXPECT_EQ(files(), moment == Saving ? saved : Files{});
}

std::string case_name(const ::testing::TestParamInfo<std::tuple<int, Moment>>& info)
{
    const char* moments[] = {"StartingUp", "Running", "Saving"};
    return sigabbrev_np(std::get<0>(info.param)) + std::string(moments[std::get<1>(info.param)]);
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignal,
                         ::testing::Combine(::testing::Values(SIGINT, SIGTERM, SIGHUP),
                                            ::testing::Values(StartingUp, Running, Saving)),
                         case_name);

} // namespace
