// Harness for end-to-end tests: a private virtual X display, the real ribbons
// binary run inside it, real key presses through the XTest extension, and
// captures of what the window shows.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// Xlib's own names, declared without Xlib.h, whose macros (None, Bool,
// Status...) would clash with the test framework's.
typedef struct _XDisplay Display;
typedef unsigned long Window;

// An RGB picture, 0xRRGGBB per pixel, rows top to bottom.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

// A fresh empty directory, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Xvfb on a display number it picks itself, so tests never meet a desktop
// session or each other. `screen` is Xvfb's WIDTHxHEIGHTxDEPTH.
class VirtualDisplay {
public:
    explicit VirtualDisplay(const std::string& screen = "1024x768x24");
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    const std::string& name() const { return name_; }
    Display* connection() const { return connection_; }
    int pid() const { return pid_; }
    // Ends the server by `signal` under its programs, closing the test's connection first.
    void end_server(int signal);

private:
    int pid_ = -1;
    std::string name_;
    Display* connection_ = nullptr;
};

struct ExitResult {
    bool exited = false;     // ended through exit or a return from main
    int status = -1;         // exit status when it did
    int signal = 0;          // the signal that ended it otherwise
};

// The real program, started in `working_dir`. With no display name it runs
// with DISPLAY unset. `preload` is put in LD_PRELOAD for the program alone.
// A non-empty `launcher` (a checker such as valgrind, with its options) runs
// the program instead of it being started directly. A non-empty `program`
// is run instead of the Linux build's binary (the Windows build's, with Wine
// as the launcher). `before_exec`, when given, runs in the child just before
// the program starts (to lower a limit or drop a privilege for it alone).
// Standard output and error are kept for output(), outside `working_dir`,
// which stays the program's alone.
class RibbonsProcess {
public:
    RibbonsProcess(const std::string& working_dir, const std::optional<std::string>& display,
                   const std::vector<std::string>& extra_env = {},
                   const std::vector<std::string>& launcher = {},
                   const std::string& program = {},
                   const std::function<void()>& before_exec = {});
    ~RibbonsProcess();
    RibbonsProcess(const RibbonsProcess&) = delete;
    RibbonsProcess& operator=(const RibbonsProcess&) = delete;

    int pid() const { return pid_; }
    // Waits up to `timeout` for the program to end; empty if it is still running.
    std::optional<ExitResult> wait_for_exit(std::chrono::milliseconds timeout);
    bool running();
    std::string output() const;

private:
    int pid_ = -1;
    std::optional<ExitResult> result_;
    int output_fd_;
};

// Path of the ribbons binary under test.
std::string ribbons_binary();

// The program's 640x480 window, once it is mapped and has input focus;
// 0 if it does not appear within `timeout`.
Window wait_for_window(Display* display, std::chrono::milliseconds timeout);

// The top-level window that takes WM_DELETE_WINDOW (it lists it in its
// WM_PROTOCOLS), where a window manager sends its close request; 0 if none.
Window find_closable_window(Display* display);

// Sends the WM_DELETE_WINDOW message a window manager sends to `window` when
// its close button is clicked.
void send_close_request(Display* display, Window window);

// Presses and holds a key, then releases it. The hold matters: a press and a
// release sent together can both arrive between two polls of the key array,
// and the program would never see the key down.
void press_key(Display* display, unsigned long keysym,
               std::chrono::milliseconds hold = std::chrono::milliseconds(300));
void key_down(Display* display, unsigned long keysym);
void key_up(Display* display, unsigned long keysym);

// What the window shows now.
Picture capture_window(Display* display, Window window);

// True when any pixel is other than black.
bool shows_something(const Picture& picture);

// Waits until the window shows something other than black: the shapes are
// being drawn, so the keyboard is installed and the main loop runs. Keys
// pressed before that are never seen.
bool wait_until_drawing(Display* display, Window window, std::chrono::milliseconds timeout);

// Reads an uncompressed 24-bit BMP; nullopt if the file is missing,
// truncated or not such a BMP.
std::optional<Picture> read_bmp24(const std::string& path);

void sleep_for(std::chrono::milliseconds duration);

// True when `predicate` holds within `timeout`, polled every 20 ms.
template <class Predicate>
bool eventually(std::chrono::milliseconds timeout, Predicate&& predicate)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}
