// The fixture every end-to-end test of a running demo starts from: the real
// program in a fresh directory on a display of its own, its window found and
// already drawing, so the keyboard is installed and keys will be seen.
#pragma once

#include "x_harness.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class RunningProgramTest : public ::testing::Test {
protected:
    void SetUp() override;

    Display* x() const { return display_.connection(); }

    // Presses Esc and waits for the program to end; an empty result (not
    // exited, no signal) when it does not end in time.
    ExitResult quit();

    TempDir dir_;
    // Environment for the program, beyond the display; set before SetUp.
    std::vector<std::string> program_env_;
    // Runs in the program's process just before it starts; set before SetUp.
    std::function<void()> program_setup_;
    // What runs the program, when not started directly; set before SetUp.
    std::vector<std::string> program_launcher_;
    VirtualDisplay display_;
    std::optional<RibbonsProcess> program_;
    Window window_ = 0;
};
