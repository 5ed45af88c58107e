// The end-to-end harness: processes, the virtual display, XTest keys and
// window captures.

#include "x_harness.h"

#include <X11/Xlib.h>

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using std::chrono::milliseconds;

[[noreturn]] void fail(const std::string& what)
{
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

// A window can vanish between being found and being looked at: Wine makes
// and destroys short-lived windows while a program starts. The request about
// it then fails and its caller sees that, instead of Xlib's default handler
// ending the whole test; any other error still goes to that handler.
XErrorHandler default_x_error_handler = nullptr;

int tolerate_vanished_windows(Display* display, XErrorEvent* error)
{
    if (error->error_code == BadWindow || error->error_code == BadDrawable ||
        error->error_code == BadMatch)
        return 0;
    return default_x_error_handler(display, error);
}

// Reads the display number Xvfb writes to -displayfd once it is ready.
std::string read_display_number(int fd)
{
    std::string number;
    char c;
    while (read(fd, &c, 1) == 1 && c != '\n')
        number += c;
    return number;
}

std::optional<ExitResult> reap(int pid, bool block)
{
    int status = 0;
    const int reaped = waitpid(pid, &status, block ? 0 : WNOHANG);
    if (reaped != pid)
        return std::nullopt;
    ExitResult result;
    result.exited = WIFEXITED(status);
    result.status = result.exited ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return result;
}

void stop_process(int pid)
{
    kill(pid, SIGKILL);
    reap(pid, true);
}

// Called in a child before exec: `signal` ends it when the test that started
// it ends, even one killed outright (a timeout, a sanitizer abort), so no X
// server or program outlives its test. The kernel sends it when the thread
// that forked ends, so tests start processes from the thread that runs them.
// A parent already gone before this took hold is caught by the second check.
void end_with_parent(pid_t parent, int signal)
{
    if (prctl(PR_SET_PDEATHSIG, signal) != 0 || getppid() != parent)
        _exit(125);
}

// A file without a name, gone with its last descriptor, so nothing is left
// behind however the test ends. Not inherited by processes started later.
int open_unnamed_file()
{
    char path[] = "/tmp/ribbons-output-XXXXXX";
    const int fd = mkostemp(path, O_CLOEXEC);
    if (fd < 0)
        fail("mkostemp");
    unlink(path);
    return fd;
}

} // namespace

TempDir::TempDir()
{
    char pattern[] = "/tmp/ribbons-test-XXXXXX";
    if (!mkdtemp(pattern))
        fail("mkdtemp");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

VirtualDisplay::VirtualDisplay(const std::string& screen)
{
    int ready[2];
    if (pipe(ready) != 0)
        fail("pipe");
    const pid_t test = getpid();
    pid_ = fork();
    if (pid_ < 0)
        fail("fork");
    if (pid_ == 0) {
        // Terminated rather than killed, so it removes its lock file.
        end_with_parent(test, SIGTERM);
        close(ready[0]);
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, STDOUT_FILENO);
        dup2(devnull, STDERR_FILENO);
        const std::string fd = std::to_string(ready[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
               "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ready[1]);
    const std::string number = read_display_number(ready[0]);
    close(ready[0]);
    if (number.empty()) {
        stop_process(pid_);
        throw std::runtime_error("Xvfb did not start (is it installed?)");
    }
    name_ = ":" + number;
    connection_ = XOpenDisplay(name_.c_str());
    if (!connection_) {
        stop_process(pid_);
        throw std::runtime_error("cannot connect to Xvfb at " + name_);
    }
    const XErrorHandler previous = XSetErrorHandler(tolerate_vanished_windows);
    if (previous != tolerate_vanished_windows)
        default_x_error_handler = previous;
}

VirtualDisplay::~VirtualDisplay()
{
    if (connection_)
        XCloseDisplay(connection_);
    kill(pid_, SIGTERM);
    reap(pid_, true);
}

void VirtualDisplay::end_server(int signal)
{
    XCloseDisplay(connection_);
    connection_ = nullptr;
    kill(pid_, signal);
}

std::string ribbons_binary()
{
    return RIBBONS_BINARY;
}

RibbonsProcess::RibbonsProcess(const std::string& working_dir,
                               const std::optional<std::string>& display,
                               const std::vector<std::string>& extra_env,
                               const std::vector<std::string>& launcher,
                               const std::string& program,
                               const std::function<void()>& before_exec)
    : output_fd_(open_unnamed_file())
{
    const pid_t test = getpid();
    pid_ = fork();
    if (pid_ < 0)
        fail("fork");
    if (pid_ != 0)
        return;
    // A launcher (valgrind, timeout) hands SIGTERM on to the program it runs;
    // SIGKILL would end the launcher alone and leave the program orphaned.
    end_with_parent(test, launcher.empty() ? SIGKILL : SIGTERM);
    if (chdir(working_dir.c_str()) != 0)
        _exit(126);
    dup2(output_fd_, STDOUT_FILENO);
    dup2(output_fd_, STDERR_FILENO);
    if (display)
        setenv("DISPLAY", display->c_str(), 1);
    else
        unsetenv("DISPLAY");
    for (const std::string& assignment : extra_env)
        putenv(const_cast<char*>(assignment.c_str()));
    std::vector<std::string> words = launcher;
    words.push_back(program.empty() ? ribbons_binary() : program);
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    if (before_exec)
        before_exec();
    execvp(argv[0], argv.data());
    _exit(127);
}

RibbonsProcess::~RibbonsProcess()
{
    if (!result_)
        stop_process(pid_);
    close(output_fd_);
}

std::optional<ExitResult> RibbonsProcess::wait_for_exit(milliseconds timeout)
{
    eventually(timeout, [&] {
        if (!result_)
            result_ = reap(pid_, false);
        return result_.has_value();
    });
    return result_;
}

bool RibbonsProcess::running()
{
    return !wait_for_exit(milliseconds(0));
}

std::string RibbonsProcess::output() const
{
    std::string text;
    char chunk[4096];
    ssize_t count;
    while ((count = pread(output_fd_, chunk, sizeof chunk, static_cast<off_t>(text.size()))) > 0)
        text.append(chunk, static_cast<std::size_t>(count));
    return text;
}

namespace {

bool is_viewable_of_size(Display* display, Window window, int width, int height)
{
    XWindowAttributes attributes;
    return XGetWindowAttributes(display, window, &attributes) &&
           attributes.map_state == IsViewable && attributes.width == width &&
           attributes.height == height;
}

// Depth-first: the library may put its drawing window inside a frame of the
// screen's size when it takes the whole screen.
Window find_mapped_window(Display* display, Window parent, int width, int height)
{
    Window root_return, parent_return, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, parent, &root_return, &parent_return, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        if (is_viewable_of_size(display, children[i], width, height))
            found = children[i];
        else
            found = find_mapped_window(display, children[i], width, height);
    }
    if (children)
        XFree(children);
    return found;
}

void send_key(Display* display, unsigned long keysym, bool down)
{
    const KeyCode code = XKeysymToKeycode(display, keysym);
    XTestFakeKeyEvent(display, code, down ? True : False, CurrentTime);
    XFlush(display);
}

} // namespace

Window wait_for_window(Display* display, milliseconds timeout)
{
    Window window = 0;
    eventually(timeout, [&] {
        window = find_mapped_window(display, DefaultRootWindow(display), 640, 480);
        return window != 0;
    });
    if (window) {
        // No window manager runs, so give the window the keyboard ourselves.
        XSetInputFocus(display, window, RevertToPointerRoot, CurrentTime);
        XSync(display, False);
    }
    return window;
}

namespace {

bool takes_delete_window(Display* display, Window window)
{
    const Atom delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);
    Atom* protocols = nullptr;
    int count = 0;
    if (!XGetWMProtocols(display, window, &protocols, &count))
        return false;
    const bool found = std::find(protocols, protocols + count, delete_window) != protocols + count;
    XFree(protocols);
    return found;
}

} // namespace

Window find_closable_window(Display* display)
{
    Window root_return, parent_return, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root_return, &parent_return, &children,
                    &count))
        return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && !found; ++i)
        if (takes_delete_window(display, children[i]))
            found = children[i];
    if (children)
        XFree(children);
    return found;
}

void send_close_request(Display* display, Window window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}

void key_down(Display* display, unsigned long keysym)
{
    send_key(display, keysym, true);
}

void key_up(Display* display, unsigned long keysym)
{
    send_key(display, keysym, false);
}

void press_key(Display* display, unsigned long keysym, milliseconds hold)
{
    key_down(display, keysym);
    sleep_for(hold);
    key_up(display, keysym);
}

void sleep_for(milliseconds duration)
{
    std::this_thread::sleep_for(duration);
}

Picture capture_window(Display* display, Window window)
{
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes))
        return Picture{};
    XImage* image = XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    Picture picture;
    if (!image)
        return picture;
    picture.width = attributes.width;
    picture.height = attributes.height;
    picture.pixels.reserve(static_cast<std::size_t>(picture.width * picture.height));
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            const auto channel = [&](unsigned long mask) {
                unsigned long value = pixel & mask;
                unsigned long bits = mask;
                while (bits && !(bits & 1)) {
                    value >>= 1;
                    bits >>= 1;
                }
                return static_cast<std::uint32_t>(bits ? value * 255 / bits : 0);
            };
            picture.pixels.push_back(channel(image->red_mask) << 16 |
                                     channel(image->green_mask) << 8 | channel(image->blue_mask));
        }
    }
    XDestroyImage(image);
    return picture;
}

bool shows_something(const Picture& picture)
{
    for (const std::uint32_t rgb : picture.pixels)
        if (rgb != 0)
            return true;
    return false;
}

bool wait_until_drawing(Display* display, Window window, milliseconds timeout)
{
    return eventually(timeout, [&] { return shows_something(capture_window(display, window)); });
}

namespace {

std::uint32_t little_endian(const unsigned char* bytes, int count)
{
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}

} // namespace

std::optional<Picture> read_bmp24(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> data((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (data.size() < 54 || data[0] != 'B' || data[1] != 'M')
        return std::nullopt;
    const std::uint32_t offset = little_endian(&data[10], 4);
    const auto width = static_cast<std::int32_t>(little_endian(&data[18], 4));
    const auto height = static_cast<std::int32_t>(little_endian(&data[22], 4));
    const std::uint32_t bits = little_endian(&data[28], 2);
    const std::uint32_t compression = little_endian(&data[30], 4);
    if (bits != 24 || compression != 0 || width <= 0 || height <= 0)
        return std::nullopt;
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    if (data.size() < offset + stride * static_cast<std::size_t>(height))
        return std::nullopt;
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.pixels.resize(static_cast<std::size_t>(width * height));
    for (int y = 0; y < height; ++y) {
        // Rows are stored bottom up, each pixel as blue, green, red.
        const unsigned char* row = &data[offset + stride * static_cast<std::size_t>(height - 1 - y)];
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = row + 3 * x;
            picture.pixels[static_cast<std::size_t>(y * width + x)] =
                static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[0];
        }
    }
    return picture;
}
