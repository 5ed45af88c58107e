// libFuzzer target for the colour-graded line: arbitrary end points and
// colours, drawn into bitmaps smaller than, equal to and larger than the
// screen. AddressSanitizer ends the run at the first write that lands
// anywhere but on a pixel that is both on the screen and in the bitmap.
//
// Why the bitmaps are built by hand: the library allocates all of a bitmap's
// rows in one block, so a write past the end of one row lands in the next and
// no sanitizer can see it. Here the row table is exactly as long as the bitmap
// is high, and the rows are evenly spaced, as in any memory bitmap (the line
// may step a pointer from row to row), but with a poisoned gap after each row
// wider than the screen, so a write to the left or right of a row, up to a
// screen's width away, lands in poison and not in a neighbouring row. Guard
// rows above and below catch writes past the top and bottom. The parts of a
// bitmap that lie off the screen (its right-hand columns and bottom rows when
// it is larger than the screen) are poisoned too, and with no graphics driver
// active every row is, since nothing may be written then.
//
// Input: records of 25 bytes, little-endian, read from the front:
//   byte  0      bits 0-1 pick the bitmap; bit 6 moves the line far away by
//                the offsets below; bit 7 draws with no graphics driver
//   bytes 1-8    x1, y1, x2, y2 as int16, clamped to +-4096: every pixel of a
//                line is walked, even off screen, so long lines only slow the
//                search down without reaching new code
//   bytes 9-16   x and y offsets as int32, clamped to +-2^30, so twice each
//                delta still fits an int as the line requires
//   bytes 17-24  first and second colour as int32, any bits

#include "gradient_line.h"

#include <allegro.h>
#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr int screen_w = 640;
constexpr int screen_h = 480;
constexpr std::size_t pixel_bytes = sizeof(std::uint16_t);

// A 16-bit bitmap laid out as above, with every pixel that may not be
// written poisoned.
class GuardedBitmap {
public:
    GuardedBitmap(int width, int height)
        : template_(create_bitmap_ex(16, width, height)), width_(width), height_(height)
    {
        // Rows start on 8-byte boundaries, the granule of the poison marks.
        stride_ = (static_cast<std::size_t>(width + screen_w) + guard_pixels + 3) / 4 * 4;
        pixels_ = static_cast<std::uint16_t*>(
            std::calloc(stride_ * static_cast<std::size_t>(height + 2 * guard_rows), pixel_bytes));
        const std::size_t table = sizeof(unsigned char*) * static_cast<std::size_t>(height);
        bitmap_ = static_cast<BITMAP*>(std::malloc(sizeof(BITMAP) + table));
        std::memcpy(bitmap_, template_, sizeof(BITMAP));
        for (int y = 0; y < height; ++y)
            bitmap_->line[y] = reinterpret_cast<unsigned char*>(row(y));
        guard(true);
    }
    ~GuardedBitmap()
    {
        std::free(pixels_);
        std::free(bitmap_);
        destroy_bitmap(template_);
    }
    GuardedBitmap(const GuardedBitmap&) = delete;
    GuardedBitmap& operator=(const GuardedBitmap&) = delete;

    // Opens the on-screen part of the bitmap (driver active) or nothing (no
    // driver) and poisons the rest, guard rows and gaps included.
    void guard(bool driver_active)
    {
        const std::size_t all = stride_ * static_cast<std::size_t>(height_ + 2 * guard_rows);
        ASAN_POISON_MEMORY_REGION(pixels_, all * pixel_bytes);
        if (!driver_active)
            return;
        const auto open_columns = static_cast<std::size_t>(std::min(width_, screen_w));
        for (int y = 0; y < std::min(height_, screen_h); ++y)
            ASAN_UNPOISON_MEMORY_REGION(row(y), open_columns * pixel_bytes);
    }

    BITMAP* get() const { return bitmap_; }

private:
    static constexpr int guard_pixels = 8;
    static constexpr int guard_rows = 8;

    std::uint16_t* row(int y) const
    {
        return pixels_ + stride_ * static_cast<std::size_t>(y + guard_rows);
    }

    BITMAP* template_; // the library's own, whose header bitmap_ copies
    BITMAP* bitmap_ = nullptr;
    std::uint16_t* pixels_ = nullptr;
    std::size_t stride_ = 0; // pixels from one row to the next
    int width_;
    int height_;
};

struct Targets {
    GFX_DRIVER stand_in_driver{};
    std::vector<std::unique_ptr<GuardedBitmap>> bitmaps;
    bool driver_active = true;

    Targets()
    {
        install_allegro(SYSTEM_NONE, &errno, atexit);
        set_color_depth(16);
        stand_in_driver.w = screen_w;
        stand_in_driver.h = screen_h;
        for (const auto& [width, height] : {std::pair{1, 1}, {10, 7}, {screen_w, screen_h}, {700, 500}})
            bitmaps.push_back(std::make_unique<GuardedBitmap>(width, height));
    }

    void set_driver(bool active)
    {
        // SCREEN_W and SCREEN_H are read from the driver; with none they are 0.
        gfx_driver = active ? &stand_in_driver : nullptr;
        if (active != driver_active) {
            for (const auto& bitmap : bitmaps)
                bitmap->guard(active);
            driver_active = active;
        }
    }
};

Targets& targets()
{
    static Targets instance;
    return instance;
}

template <class T>
T take(const std::uint8_t*& data)
{
    T value;
    std::memcpy(&value, data, sizeof value);
    data += sizeof value;
    return value;
}

int clamp_coordinate(std::int16_t value)
{
    return std::clamp<int>(value, -4096, 4096);
}

int clamp_offset(std::int32_t value)
{
    return std::clamp<std::int32_t>(value, -(1 << 30), 1 << 30);
}

constexpr std::size_t record_size = 25;

void draw_record(const std::uint8_t* data)
{
    const std::uint8_t selector = take<std::uint8_t>(data);
    const int x1 = clamp_coordinate(take<std::int16_t>(data));
    const int y1 = clamp_coordinate(take<std::int16_t>(data));
    const int x2 = clamp_coordinate(take<std::int16_t>(data));
    const int y2 = clamp_coordinate(take<std::int16_t>(data));
    const int offset_x = clamp_offset(take<std::int32_t>(data));
    const int offset_y = clamp_offset(take<std::int32_t>(data));
    const int colour1 = take<std::int32_t>(data);
    const int colour2 = take<std::int32_t>(data);

    const bool far_away = selector & 0x40;
    const int dx = far_away ? offset_x : 0;
    const int dy = far_away ? offset_y : 0;
    Targets& all = targets();
    all.set_driver(!(selector & 0x80));
    BITMAP* bitmap = all.bitmaps[selector & 3]->get();
    gradient_line(bitmap, x1 + dx, y1 + dy, x2 + dx, y2 + dy, colour1, colour2);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    for (; size >= record_size; data += record_size, size -= record_size)
        draw_record(data);
    return 0;
}
