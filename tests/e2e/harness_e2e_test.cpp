// The X server and the program an end-to-end test starts end with the test,
// even when the test is killed outright (a timeout, a sanitizer abort) and
// none of its clean-up runs.

#include "x_harness.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// Stands in for a test: starts a display and the program in it, reports
// their process ids once the program draws, then waits to be killed.
[[noreturn]] void run_test_to_be_killed(const std::string& folder, int report)
{
    try {
        VirtualDisplay display;
        RibbonsProcess program(folder, display.name());
        const Window window = wait_for_window(display.connection(), 10s);
        if (window && wait_until_drawing(display.connection(), window, 10s)) {
            const int ids[2] = {display.pid(), program.pid()};
            if (write(report, ids, sizeof ids) == sizeof ids)
                for (;;)
                    pause();
        }
    } catch (...) {
    }
    _exit(1);
}

// How `pid`, a child of this process, ended; empty if it is still running
// after `timeout`, in which case it is killed so that it does not outlive
// the test.
std::optional<int> wait_for_end(int pid, std::chrono::milliseconds timeout)
{
    int status = 0;
    if (eventually(timeout, [&] { return waitpid(pid, &status, WNOHANG) == pid; }))
        return status;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return std::nullopt;
}

TEST(TestProcesses, EndWhenTheTestThatStartedThemIsKilled)
{
    // The killed test's children are handed to this process, which can then
    // see whether and how they ended.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    TempDir folder;
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t test = fork();
    ASSERT_GE(test, 0);
    if (test == 0) {
        close(report[0]);
        run_test_to_be_killed(folder.path(), report[1]);
    }
    close(report[1]);
    int ids[2] = {0, 0};
    const bool started = read(report[0], ids, sizeof ids) == sizeof ids;
    close(report[0]);
    kill(test, SIGKILL);
    waitpid(test, nullptr, 0);
    ASSERT_TRUE(started) << "the program never drew in the test to be killed";

    const auto display_end = wait_for_end(ids[0], 10s);
    const auto program_end = wait_for_end(ids[1], 10s);
    EXPECT_TRUE(display_end) << "the X server outlived its test";
    ASSERT_TRUE(program_end) << "the program outlived its test";
    // Killed itself, not merely left without its X server.
    EXPECT_TRUE(WIFSIGNALED(*program_end) && WTERMSIG(*program_end) == SIGKILL);
}

} // namespace
