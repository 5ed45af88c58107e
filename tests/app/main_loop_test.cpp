// Tests for one pass of the main loop and the loop around it: pending ticks
// worked off before the draw, the copy to the screen, the FPS text, F12 and
// F1, Esc and the close button looked at only at the top of a pass, and the
// frame count.

#include "main_loop.h"
#include "startup.h"

#include "headless_allegro.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <random>
#include <stdexcept>
#include <string>

namespace fs = std::filesystem;

// While 0 or more, the allocations left before memory runs out.
int allocations_left = -1;

// All three kept out of line: where GCC sees the malloc in `new` or the free
// in `delete`, it takes the pair for a mismatch.
[[gnu::noinline]] void* operator new(std::size_t size)
{
    if (allocations_left == 0)
        throw std::bad_alloc();
    allocations_left -= allocations_left > 0;
    if (void* memory = std::malloc(size ? size : 1))
        return memory;
    throw std::bad_alloc();
}

[[gnu::noinline]] void operator delete(void* memory) noexcept { std::free(memory); }
[[gnu::noinline]] void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

// The nothrow pair too: a sanitizer's runtime brings its own, and memory
// from its `new` must never reach the `free` in ours.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }

namespace {

int non_black_pixels(BITMAP* bitmap)
{
    Bitmap black(bitmap->w, bitmap->h);
    return differing_pixels(bitmap, black);
}

// Compares `bitmap` with a black one holding only `text` in white at (x, 2).
int differing_from_text_at(BITMAP* bitmap, int x, const char* text)
{
    Bitmap expected(bitmap->w, bitmap->h);
    textout_ex(expected, font, text, x, 2, makecol(255, 255, 255), -1);
    return differing_pixels(bitmap, expected);
}

} // namespace

class MainLoopTest : public ::testing::Test {
protected:
    MainLoopTest()
    {
        logic_ticks = 0;
        frame_count = 0;
        fps = 0;
        show_fps = false;
        close_button_pressed = false;
        key[KEY_ESC] = key[KEY_F1] = key[KEY_F12] = 0;
        // The screenshot lands in the working directory: keep it out of the
        // build tree.
        work_dir_ = make_work_dir();
        fs::current_path(work_dir_);
    }

    ~MainLoopTest() override
    {
        close_button_pressed = false;
        key[KEY_ESC] = key[KEY_F1] = key[KEY_F12] = 0;
        fs::current_path(previous_dir_);
        fs::remove_all(work_dir_);
    }

    void use_screen(int width, int height)
    {
        screen_.reset();
        screen_ = std::make_unique<FakeScreen>(width, height);
        buffer_ = std::make_unique<Bitmap>(width, height);
    }

    bool pass()
    {
        return run_pass(*buffer_, [this] { ++steps_; }, [this] { draw(); });
    }

    bool blank_pass() { return run_pass(*buffer_, [] {}, [] {}); }

    void draw()
    {
        ++draws_;
        steps_at_draw_ = steps_;
        putpixel(*buffer_, 100, 100, marker_);
        putpixel(*buffer_, 639, 479, marker_);
        if (press_esc_while_drawing_)
            key[KEY_ESC] = 1;
        if (close_window_while_drawing_)
            close_button_callback();
    }

    const fs::path previous_dir_ = fs::current_path();
    fs::path work_dir_;

    // A new directory of the test's own in the system's temporary folder,
    // made the same way on Linux and on Windows.
    static fs::path make_work_dir()
    {
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            const fs::path dir =
                fs::temp_directory_path() / ("ribbons-unit-" + std::to_string(random()));
            if (fs::create_directory(dir))
                return dir;
        }
        throw std::runtime_error("cannot make a temporary directory");
    }

    std::unique_ptr<FakeScreen> screen_ = std::make_unique<FakeScreen>();
    std::unique_ptr<Bitmap> buffer_ = std::make_unique<Bitmap>(640, 480);
    const int marker_ = makecol(200, 120, 40);
    bool press_esc_while_drawing_ = false;
    bool close_window_while_drawing_ = false;
    int steps_ = 0;
    int draws_ = 0;
    int steps_at_draw_ = -1;
};

// ---- One pass ---------------------------------------------------------------

TEST_F(MainLoopTest, PassWorksOffEveryPendingTickBeforeItDraws)
{
    logic_ticks = 500;
    pass();
    EXPECT_EQ(steps_at_draw_, 500);
    EXPECT_EQ(logic_ticks.load(), 0);
}

TEST_F(MainLoopTest, PassWithoutPendingTickStillDrawsAndShowsTheFrame)
{
    pass();
    EXPECT_EQ(steps_, 0);
    EXPECT_EQ(draws_, 1);
    EXPECT_EQ(getpixel(screen, 100, 100), marker_);
    EXPECT_EQ(getpixel(screen, 639, 479), marker_);
}

TEST_F(MainLoopTest, EachPassCountsOneFrame)
{
    for (int i = 0; i < 3; ++i)
        pass();
    EXPECT_EQ(frame_count.load(), 3);
}

TEST_F(MainLoopTest, BufferIsBlackAgainAfterThePassFpsTextIncluded)
{
    show_fps = true;
    pass();
    EXPECT_EQ(buffer_->count_not(0), 0);
}

// ---- Keys -------------------------------------------------------------------

TEST_F(MainLoopTest, F12SavesTheShownFrameAtTheScreenSize)
{
    // Not 640x480, so that only the screen can give the picture its size,
    // through the back buffer the program makes for it.
    use_screen(800, 600);
    BITMAP* buffer = create_back_buffer();
    ASSERT_NE(buffer, nullptr);
    key[KEY_F12] = 1;
    run_pass(buffer, [] {}, [&] { putpixel(buffer, 799, 599, marker_); });
    destroy_bitmap(buffer);
    BITMAP* saved = load_bmp("screenshot.bmp", nullptr);
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(saved->w, 800);
    EXPECT_EQ(saved->h, 600);
    const int depth = bitmap_color_depth(saved);
    const int at_marker = getpixel(saved, 799, 599);
    EXPECT_EQ(getr_depth(depth, at_marker), getr(marker_));
    EXPECT_EQ(getg_depth(depth, at_marker), getg(marker_));
    EXPECT_EQ(getb_depth(depth, at_marker), getb(marker_));
    EXPECT_EQ(getpixel(saved, 798, 599), makecol_depth(depth, 0, 0, 0));
    destroy_bitmap(saved);
}

TEST_F(MainLoopTest, F12WithNoMemoryLeftIsAFailedSaveThatLeavesNoFileAndTheDemoGoesOn)
{
    // Memory runs out at each of the save's allocations in turn; a save
    // takes far fewer than 1000, and one that never saves must not loop on.
    for (int allowed = 0; !fs::exists("screenshot.bmp"); ++allowed) {
        ASSERT_LT(allowed, 1000) << "F12 never saved a screenshot";
        key[KEY_F12] = 1;
        ::testing::internal::CaptureStderr();
        allocations_left = allowed;
        const bool went_on = pass();
        allocations_left = -1;
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(went_on);
        if (!fs::exists("screenshot.bmp")) {
            EXPECT_EQ(said, std::string("Screenshot not saved: screenshot.bmp: ") +
                                std::strerror(ENOMEM) + "\n");
        }
        EXPECT_EQ(std::distance(fs::directory_iterator("."), {}), fs::exists("screenshot.bmp"))
            << "a temporary file was left behind";
    }
}

TEST_F(MainLoopTest, ScreenshotHoldsTheFrameButNeverTheFpsText)
{
    show_fps = true;
    key[KEY_F12] = 1;
    run_pass(*buffer_, [] {}, [this] { clear_to_color(*buffer_, marker_); });
    BITMAP* saved = load_bmp("screenshot.bmp", nullptr);
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(differing_pixels(saved, Bitmap(640, 480, marker_)), 0);
    destroy_bitmap(saved);
}

TEST_F(MainLoopTest, F12AndF1InOnePassBothActAndAreReleased)
{
    key[KEY_F12] = 1;
    key[KEY_F1] = 1;
    pass();
    EXPECT_TRUE(fs::exists("screenshot.bmp"));
    EXPECT_TRUE(show_fps);
    EXPECT_EQ(key[KEY_F12], 0);
    EXPECT_EQ(key[KEY_F1], 0);
}

TEST_F(MainLoopTest, F1ChangesOnlyTheFollowingPasses)
{
    key[KEY_F1] = 1;
    blank_pass();
    EXPECT_EQ(non_black_pixels(screen), 0) << "text printed in the pass that saw F1";
    blank_pass();
    EXPECT_EQ(differing_from_text_at(screen, 565, "fps: 0"), 0)
        << "text missing from the pass after F1";
}

// ---- Esc and the close button ---------------------------------------------

TEST_F(MainLoopTest, EscPressedDuringAPassEndsTheLoopOnceThatPassIsComplete)
{
    press_esc_while_drawing_ = true;
    run_main_loop(*buffer_, [this] { ++steps_; }, [this] { draw(); });
    EXPECT_EQ(draws_, 1);
    EXPECT_EQ(frame_count.load(), 1);
    EXPECT_EQ(getpixel(screen, 100, 100), marker_);
    EXPECT_EQ(buffer_->count_not(0), 0);
}

TEST_F(MainLoopTest, CloseButtonPressedDuringAPassEndsTheLoopOnceThatPassIsComplete)
{
    close_window_while_drawing_ = true;
    key[KEY_F12] = 1;
    run_main_loop(*buffer_, [this] { ++steps_; }, [this] { draw(); });
    EXPECT_EQ(draws_, 1);
    EXPECT_EQ(frame_count.load(), 1);
    EXPECT_TRUE(fs::exists("screenshot.bmp")) << "the pass stopped before its keys";
    EXPECT_EQ(buffer_->count_not(0), 0);
}

TEST_F(MainLoopTest, EscDownBeforeTheLoopEndsItWithoutAStepOrAFrame)
{
    key[KEY_ESC] = 1;
    logic_ticks = 5;
    run_main_loop(*buffer_, [this] { ++steps_; }, [this] { draw(); });
    EXPECT_EQ(steps_, 0);
    EXPECT_EQ(draws_, 0);
    EXPECT_EQ(frame_count.load(), 0);
    EXPECT_EQ(logic_ticks.load(), 5);
}

// ---- FPS text ---------------------------------------------------------------

TEST_F(MainLoopTest, FpsTextReadsZeroBeforeTheFirstSample)
{
    show_fps = true;
    frame_count = 37; // frames counted, but no sample taken yet
    blank_pass();
    EXPECT_EQ(differing_from_text_at(screen, 565, "fps: 0"), 0);
}

TEST_F(MainLoopTest, FpsTextShowsTheLastSample)
{
    show_fps = true;
    frame_count = 120;
    fps_sample_callback();
    blank_pass();
    EXPECT_EQ(differing_from_text_at(screen, 565, "fps: 120"), 0);
}

TEST_F(MainLoopTest, FpsTextKeepsItsDistanceFromTheRightEdgeOfTheScreen)
{
    use_screen(800, 480);
    show_fps = true;
    blank_pass();
    EXPECT_EQ(differing_from_text_at(screen, 725, "fps: 0"), 0);
}
