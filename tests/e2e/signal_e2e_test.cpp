// SIGINT, SIGTERM and SIGHUP end the real program as Esc does, then by the
// signal itself as a shell expects: while it starts up, however stuck, and in
// the middle of an F12 save, which repeats of the signals let finish unless
// Ctrl+C comes again a second later. As a PID namespace's first process it
// exits with the status the signal would give. The X server ending under it
// ends it with 1 and a line saying so, never a crash.

#include "running_program.h"

#include <X11/keysym.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

auto signal_name = [](const auto& param) { return std::string(sigabbrev_np(param.param)); };

// A stopped X server takes the connection and never answers, as a hung one
// does: the program waits in the library's start-up. A stop there has a
// second to be taken up the orderly way, then ends the program by the signal.
TEST(StalledXServer, AStopEndsTheProgramASecondLater)
{
    TempDir dir;
    VirtualDisplay display;
    kill(display.pid(), SIGSTOP);
    RibbonsProcess program(dir.path(), display.name());
    sleep_for(1s); // into the start-up: a stop before it would prove nothing
    const auto sent = std::chrono::steady_clock::now();
    kill(program.pid(), SIGTERM);
    const auto result = program.wait_for_exit(10s);
    const auto taken_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - sent)
                              .count();
    kill(display.pid(), SIGCONT);
    ASSERT_TRUE(result) << "the stop did not end the program";
    EXPECT_EQ(result->signal, SIGTERM);
    // The program counts its second from after the signal was sent. The
    // promise is about a second: 2.5 s leaves a loaded machine 1.5 s to
    // schedule the program and this test, and still fails a program that
    // takes more than twice as long as it says.
    EXPECT_GE(taken_ms, 1000) << "ended before the orderly path had its second";
    EXPECT_LT(taken_ms, 2500);
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

std::vector<std::string> file_names(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// In the middle of an F12 save that is to replace an earlier screenshot, its
// temporary file written and held in fsync until the test closes the FIFO
// the save waits on, the program takes each signal.
class HeldSave : public RunningProgramTest {
protected:
    void SetUp() override
    {
        std::ofstream(dir_.file("screenshot.bmp")) << earlier_screenshot_;
        mkfifo(gate_path_.c_str(), 0600);
        program_env_ = {"LD_PRELOAD=" SLOW_FSYNC_LIBRARY, "RIBBONS_FSYNC_GATE=" + gate_path_};
        RunningProgramTest::SetUp();
        press_key(x(), XK_F12);
        // It opens for writing once the save has opened it for reading.
        ASSERT_TRUE(eventually(
            5s, [&] { return (gate_ = open(gate_path_.c_str(), O_WRONLY | O_NONBLOCK)) >= 0; }));
    }

    // Sends the signal and waits until it is taken, so that each comes on its own.
    void stop(int signal)
    {
        kill(program_->pid(), signal);
        ASSERT_TRUE(eventually(5s, [&] { return !pending(program_->pid(), signal); }));
    }

    std::string screenshot_text() const
    {
        std::ostringstream text;
        text << std::ifstream(dir_.file("screenshot.bmp")).rdbuf();
        return text.str();
    }

    const std::string earlier_screenshot_ = "an earlier screenshot";
    TempDir gate_dir_;
    const std::string gate_path_ = gate_dir_.file("gate");
    int gate_ = -1;
};

// Ctrl+C again, a second or more after the first stop, ends the program at
// once, as people do with a program that hangs: the save is cut short, its
// temporary file left and the earlier screenshot kept.
TEST_F(HeldSave, ASecondCtrlCASecondLaterEndsTheProgramAtOnce)
{
    stop(SIGINT);
    // More than a second, so that it is one on the program's clock too,
    // which starts when it has taken the first.
    sleep_for(1500ms);
    kill(program_->pid(), SIGINT);
    EXPECT_EQ(program_->wait_for_exit(5s).value_or(ExitResult{}).signal, SIGINT);
    EXPECT_EQ(screenshot_text(), earlier_screenshot_);
    const std::string cut_short = "screenshot.bmp." + std::to_string(program_->pid()) + "-0.tmp";
    EXPECT_EQ(file_names(dir_.path()), (std::vector<std::string>{"screenshot.bmp", cut_short}));
}

// Every other repeat, soon or a second later, is part of the same stop: the
// save finishes, then the first signal ends the program.
class RepeatedStops : public HeldSave, public ::testing::WithParamInterface<int> {};

TEST_P(RepeatedStops, LetTheSaveFinishThenTheFirstEndsTheProgram)
{
    for (const int signal : {GetParam(), GetParam(), SIGINT, SIGHUP, SIGTERM})
        stop(signal);
    sleep_for(1500ms); // when only Ctrl+C would end it at once
    for (const int signal : {SIGHUP, SIGTERM})
        stop(signal);
    close(gate_);
    EXPECT_EQ(program_->wait_for_exit(10s).value_or(ExitResult{}).signal, GetParam());
    const auto screenshot = read_bmp24(dir_.file("screenshot.bmp"));
    EXPECT_TRUE(screenshot && screenshot->width == 640 && screenshot->height == 480);
    EXPECT_EQ(file_names(dir_.path()), std::vector<std::string>{"screenshot.bmp"});
}

// The display lost instead: the save still finishes, after which it ends.
TEST_F(HeldSave, ALostDisplayLetsTheSaveFinish)
{
    display_.end_server(SIGKILL);
    sleep_for(1s);
    ASSERT_TRUE(program_->running());
    close(gate_);
    EXPECT_EQ(program_->wait_for_exit(10s).value_or(ExitResult{}).status, 1);
    EXPECT_TRUE(read_bmp24(dir_.file("screenshot.bmp")));
    EXPECT_EQ(file_names(dir_.path()), std::vector<std::string>{"screenshot.bmp"});
}

INSTANTIATE_TEST_SUITE_P(, RepeatedStops, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         signal_name);

// As PID 1 of a PID namespace, the first process of a container, the program
// gets no signal it leaves to the default action, so it cannot end by one:
// it exits with the status a shell shows for the signal instead.
class AsNamespaceInit : public RunningProgramTest {
protected:
    void SetUp() override
    {
        if (std::system("unshare --pid --fork --mount-proc true 2>/dev/null") != 0)
            GTEST_SKIP() << "unshare cannot make a PID namespace here: that takes "
                            "CAP_SYS_ADMIN, which only root has, and not in every container";
        program_launcher_ = {"unshare", "--pid", "--fork", "--mount-proc", "--kill-child"};
        // unshare ignores SIGTERM: killed instead when the test ends, it
        // takes the program with it.
        program_setup_ = [] { prctl(PR_SET_PDEATHSIG, SIGKILL); };
        RunningProgramTest::SetUp();
    }

    // The program as this test sees it: unshare's only child.
    int init_pid() const
    {
        const std::string pid = std::to_string(program_->pid());
        int child = 0;
        std::ifstream("/proc/" + pid + "/task/" + pid + "/children") >> child;
        return child;
    }
};

TEST_F(AsNamespaceInit, SigtermEndsItWithStatus143)
{
    ASSERT_GT(init_pid(), 0);
    kill(init_pid(), SIGTERM);
    const ExitResult result = program_->wait_for_exit(10s).value_or(ExitResult{});
    EXPECT_TRUE(result.exited) << "signal " << result.signal;
    EXPECT_EQ(result.status, 143);
}

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
