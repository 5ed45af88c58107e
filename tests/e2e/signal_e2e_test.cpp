// SIGINT, SIGTERM and SIGHUP end the real program as Esc does, then by the
// signal itself as a shell expects: while it starts up, however stuck, and in
// the middle of an F12 save, which repeats of the signals let finish. The X
// server ending under it ends it with 1 and a line saying so, never a crash.

#include "running_program.h"

#include <X11/keysym.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

auto signal_name = [](const auto& param) { return std::string(sigabbrev_np(param.param)); };

// A stopped X server takes the connection and never answers, as a hung one
// does: the program waits in the library's start-up until the stop.
TEST(StalledXServer, AStopStillEndsTheProgram)
{
    TempDir dir;
    VirtualDisplay display;
    kill(display.pid(), SIGSTOP);
    RibbonsProcess program(dir.path(), display.name());
    sleep_for(1s); // into the start-up: a stop before it would prove nothing
    kill(program.pid(), SIGTERM);
    EXPECT_EQ(program.wait_for_exit(10s).value_or(ExitResult{}).signal, SIGTERM);
    kill(display.pid(), SIGCONT);
}

// Started with SIGINT ignored, as a background job is. Its start-up failure
// dialog, a stand-in, says which stop signals it got blocked (bit 0 SIGHUP,
// 1 SIGINT, 14 SIGTERM) or ignored, then sends SIGINT and SIGHUP: the
// program ignores the first, finishes its report and ends by the second.
TEST(FailedStartUp, AStopLetsTheReportFinishAndTheDialogGetsTheSignalsAsGiven)
{
    TempDir dir;
    std::ofstream(dir.file("xmessage"))
        << "#!/bin/bash\ns=$(</proc/$$/status) b=${s#*SigBlk:} i=${s#*SigIgn:}\n"
           "echo blocked $((0x${b:1:16} & 0x4003)) ignored $((0x${i:1:16} & 0x4003))\n"
           "kill -INT $PPID; sleep 0.2; kill -HUP $PPID\n";
    std::filesystem::permissions(dir.file("xmessage"), std::filesystem::perms::owner_all);
    VirtualDisplay display;
    const std::vector<std::string> env = {"LD_PRELOAD=" REFUSE_VIDEO_MODE_LIBRARY,
                                          "PATH=" + dir.path() + ":/usr/bin:/bin"};
    RibbonsProcess program(dir.path(), display.name(), env, {}, {}, [] { signal(SIGINT, SIG_IGN); });
    EXPECT_EQ(program.wait_for_exit(10s).value_or(ExitResult{}).signal, SIGHUP);
    EXPECT_EQ(program.output(),
              "blocked 0 ignored 2\nError setting video mode 640x480x16 refused by the test\n");
}

// Whether the signal is pending for the whole process: sent, not yet taken.
bool pending(int pid, int signal)
{
    std::ostringstream status;
    status << std::ifstream("/proc/" + std::to_string(pid) + "/status").rdbuf();
    const std::size_t at = status.str().find("ShdPnd:") + 7;
    return std::stoull(status.str().substr(at), nullptr, 16) >> (signal - 1) & 1;
}

// In the middle of an F12 save, its temporary file written and held in fsync
// until the test closes the FIFO the save waits on, the program takes each
// signal; the save finishes, then the first signal ends the program.
class RepeatedStops : public RunningProgramTest, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override
    {
        mkfifo(gate_path_.c_str(), 0600);
        program_env_ = {"LD_PRELOAD=" SLOW_FSYNC_LIBRARY, "RIBBONS_FSYNC_GATE=" + gate_path_};
        RunningProgramTest::SetUp();
        press_key(x(), XK_F12);
        // It opens for writing once the save has opened it for reading.
        ASSERT_TRUE(eventually(
            5s, [&] { return (gate_ = open(gate_path_.c_str(), O_WRONLY | O_NONBLOCK)) >= 0; }));
    }

    TempDir gate_dir_;
    const std::string gate_path_ = gate_dir_.file("gate");
    int gate_ = -1;
};

TEST_P(RepeatedStops, LetTheSaveFinishThenTheFirstEndsTheProgram)
{
    for (const int signal : {GetParam(), GetParam(), SIGINT, SIGHUP, SIGTERM}) {
        kill(program_->pid(), signal);
        // Taken before the next is sent, so that each comes on its own.
        ASSERT_TRUE(eventually(5s, [&] { return !pending(program_->pid(), signal); }));
    }
    close(gate_);
    EXPECT_EQ(program_->wait_for_exit(10s).value_or(ExitResult{}).signal, GetParam());
    const auto screenshot = read_bmp24(dir_.file("screenshot.bmp"));
    EXPECT_TRUE(screenshot && screenshot->width == 640 && screenshot->height == 480);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 1);
}

// The display lost instead: the save still finishes, after which it ends.
TEST_F(RepeatedStops, ALostDisplayLetsTheSaveFinish)
{
    display_.end_server(SIGKILL);
    sleep_for(1s);
    ASSERT_TRUE(program_->running());
    close(gate_);
    EXPECT_EQ(program_->wait_for_exit(10s).value_or(ExitResult{}).status, 1);
    EXPECT_TRUE(read_bmp24(dir_.file("screenshot.bmp")));
}

INSTANTIATE_TEST_SUITE_P(, RepeatedStops, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         signal_name);

// Ended as at logout (SIGTERM) or in a crash (SIGKILL), a little later each run.
class LostDisplay : public RunningProgramTest, public ::testing::WithParamInterface<int> {};

TEST_P(LostDisplay, EndsTheProgramWithOneAndALineSayingSo)
{
    sleep_for(GetParam() * 7ms);
    display_.end_server(GetParam() % 2 ? SIGKILL : SIGTERM);
    EXPECT_EQ(program_->wait_for_exit(10s).value_or(ExitResult{}).status, 1);
    EXPECT_EQ(program_->output(), "ribbons: the display went away\n");
}

INSTANTIATE_TEST_SUITE_P(, LostDisplay, ::testing::Range(0, 10));

} // namespace
