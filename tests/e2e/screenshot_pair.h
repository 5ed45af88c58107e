// Two screenshots of a running program, saved with F12 a set interval
// apart: the evidence the scene checks hold against a replay of the scene.
#pragma once

#include "x_harness.h"

#include <chrono>
#include <optional>

struct ScreenshotPair {
    std::optional<Picture> first;
    std::optional<Picture> second;
};

// Presses F12, waits until `interval` after that press, presses it again.
// Each screenshot is read and then moved aside, to "first.bmp" and
// "second.bmp" in `dir`, so each one read is known to be new. A screenshot
// that never came is empty.
ScreenshotPair take_screenshot_pair(Display* display, const TempDir& dir,
                                    std::chrono::milliseconds interval);
