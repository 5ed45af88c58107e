#include "running_program.h"

#include <X11/keysym.h>

namespace {

using namespace std::chrono_literals;

constexpr auto start_timeout = 10s;
constexpr auto exit_timeout = 10s;

} // namespace

void RunningProgramTest::SetUp()
{
    program_.emplace(dir_.path(), display_.name(), program_env_, program_launcher_, std::string{},
                     program_setup_);
    window_ = wait_for_window(x(), start_timeout);
    ASSERT_NE(window_, 0u) << "no 640x480 window appeared; output:\n" << program_->output();
    ASSERT_TRUE(wait_until_drawing(x(), window_, start_timeout)) << "the window stayed black";
}

ExitResult RunningProgramTest::quit()
{
    press_key(x(), XK_Escape);
    return program_->wait_for_exit(exit_timeout).value_or(ExitResult{});
}
