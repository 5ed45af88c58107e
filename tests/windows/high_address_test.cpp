// On 64-bit Windows memory may lie above 4 GiB, where an address kept in a
// 32-bit `long` is cut short: the library's text output once wrote through
// such an address and crashed. Here the memory below 4 GiB is used up first,
// so the bitmaps come from above it, and the FPS text is printed the way the
// main loop prints it.

#include "headless_allegro.h"
#include "low_address_space.h"
#include "main_loop.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

std::uintptr_t address_of(const BITMAP* bitmap)
{
    return reinterpret_cast<std::uintptr_t>(bitmap->line[0]);
}

TEST(HighAddresses, TheFpsTextIsPrintedOnAScreenAbove4GiB)
{
    use_up_memory_below_4_gib();
    FakeScreen fake_screen(640, 480);
    const Bitmap buffer(640, 480);
    ASSERT_GE(address_of(screen), four_gib) << "the screen still got memory below 4 GiB";

    show_fps = true;
    fps = 50;
    show_frame(buffer);
    show_fps = false;

    // The buffer is black, so whatever is lit on the screen is the text.
    int lit = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            lit += getpixel(screen, x, y) != 0;
    EXPECT_GT(lit, 0) << "no FPS text on the screen";
}

} // namespace
