// A screenshot that cannot be saved, in the real program: on a full disk and
// in a read-only folder the earlier screenshot stays byte for byte as it was,
// no partial or temporary file is left, one line on standard error says why,
// and the demo runs on; once the folder can take it, F12 saves a whole one.
//
// The folder is a small file system of the test's own, mounted in a mount
// namespace private to the test and what it starts: nothing is mounted on the
// machine, and the mount goes with the test however it ends. Without the
// right to mount (not root) the test takes a user namespace of its own, where
// it has that right. Where neither can be made (a default container), the
// folder's permissions stand in for a read-only file system, with the program
// bound by them: root's program starts without the right to override them.
// Nothing stands in for the small file system: the file-size limit test
// covers a full disk there.

#include "running_program.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <linux/capability.h>
#include <sched.h>
#include <sstream>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// A 24-bit 640x480 BMP: the 54-byte header, then 480 rows of 640 * 3 bytes.
constexpr std::uintmax_t whole_screenshot_bytes = 54 + 640 * 3 * 480;

bool write_text(const std::string& path, const std::string& text)
{
    std::ofstream out(path);
    out << text;
    return static_cast<bool>(out.flush());
}

// Maps this process's user to root in a new user namespace, which gives it
// the right to mount in the mount namespace made with it.
bool become_root_in_own_user_namespace()
{
    const auto uid = getuid();
    const auto gid = getgid();
    return unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0 &&
           write_text("/proc/self/setgroups", "deny") &&
           write_text("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") &&
           write_text("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
}

// Empty when this process now has mounts of its own; why not otherwise.
std::string enter_private_mount_namespace()
{
    if (unshare(CLONE_NEWNS) != 0 && !become_root_in_own_user_namespace())
        return std::string("cannot make a mount namespace: ") + std::strerror(errno);
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return std::string("cannot make the mounts private: ") + std::strerror(errno);
    return {};
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> names_in(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

class ScreenshotFailure : public RunningProgramTest {
protected:
    // The program starts in a 1 MiB tmpfs mounted over its working folder:
    // room for one screenshot, not for a second beside it; where none can be
    // mounted, in the plain folder.
    void SetUp() override
    {
        no_mounts_ = enter_private_mount_namespace();
        if (no_mounts_.empty()) {
            ASSERT_EQ(remount(0, "size=1m,mode=0755"), 0) << std::strerror(errno);
            mounted_ = true;
        } else if (geteuid() == 0) {
            program_setup_ = drop_the_right_to_override_permissions;
        }
        RunningProgramTest::SetUp();
    }

    // Out of the bounding set, the right is gone from the program root execs
    // next. Root stays root otherwise: a user such as nobody could not reach
    // the program in a clone under /root.
    static void drop_the_right_to_override_permissions()
    {
        if (prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0) != 0) {
            std::perror("cannot drop CAP_DAC_OVERRIDE");
            _exit(126);
        }
    }

    int set_folder_mode(mode_t mode) { return chmod(dir_.path().c_str(), mode); }

    void TearDown() override
    {
        set_folder_mode(0755);
        // Detached, the mount is gone even if the program still runs in it,
        // and the folder beneath can be removed.
        if (mounted_)
            umount2(dir_.path().c_str(), MNT_DETACH);
    }

    int remount(unsigned long flags, const char* options)
    {
        const char* type = mounted_ ? nullptr : "tmpfs";
        return mount("tmpfs", dir_.path().c_str(), type, (mounted_ ? MS_REMOUNT : 0) | flags,
                     options);
    }

    std::string screenshot_file() const { return dir_.file("screenshot.bmp"); }

    bool whole_screenshot_saved()
    {
        std::error_code error;
        return std::filesystem::file_size(screenshot_file(), error) == whole_screenshot_bytes &&
               read_bmp24(screenshot_file()).has_value();
    }

    // Saves a first screenshot, lets `spoil` make the folder unable to take a
    // second, and checks that F12 then fails as it should with `error`; once
    // `mend` has made room, F12 saves a whole new one and Esc still gives 0.
    template <class Spoil, class Mend>
    void expect_failed_save_harmless(Spoil&& spoil, int error, Mend&& mend)
    {
        press_key(x(), XK_F12);
        ASSERT_TRUE(eventually(5s, [&] { return whole_screenshot_saved(); }))
            << "the first screenshot was not saved; output:\n" << program_->output();
        const std::string first = read_file(screenshot_file());
        ASSERT_EQ(spoil(), 0) << std::strerror(errno);

        press_key(x(), XK_F12);
        const std::string reason = std::strerror(error);
        EXPECT_TRUE(eventually(5s, [&] { return program_->output().find('\n') != std::string::npos; }))
            << "nothing said about the failed save";
        sleep_for(300ms); // anything more it might say
        EXPECT_EQ(program_->output(), "Screenshot not saved: screenshot.bmp: " + reason + "\n");
        EXPECT_EQ(read_file(screenshot_file()), first) << "the earlier screenshot was changed";
        EXPECT_EQ(names_in(dir_.path()), std::vector<std::string>{"screenshot.bmp"});
        ASSERT_TRUE(program_->running());

        ASSERT_EQ(mend(), 0) << std::strerror(errno);
        press_key(x(), XK_F12);
        EXPECT_TRUE(eventually(5s, [&] {
            return whole_screenshot_saved() && read_file(screenshot_file()) != first;
        })) << "no whole new screenshot once there was room";
        EXPECT_EQ(names_in(dir_.path()), std::vector<std::string>{"screenshot.bmp"});

        const ExitResult result = quit();
        EXPECT_TRUE(result.exited) << "signal " << result.signal;
        EXPECT_EQ(result.status, 0);
        const std::string output = program_->output();
        EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1)
            << "a save that worked said something:\n" << output;
    }

    std::string no_mounts_; // why no file system of the test's own could be mounted
    bool mounted_ = false;
};

TEST_F(ScreenshotFailure, DiskFullHalfWayKeepsTheEarlierScreenshotAndTheDemoRunning)
{
    if (!mounted_)
        GTEST_SKIP() << "needs a small file system of its own: " << no_mounts_;
    expect_failed_save_harmless([] { return 0; }, ENOSPC,
                                [this] { return remount(0, "size=4m"); });
}

TEST_F(ScreenshotFailure, ReadOnlyFolderKeepsTheEarlierScreenshotAndTheDemoRunning)
{
    if (mounted_)
        expect_failed_save_harmless([this] { return remount(MS_RDONLY, nullptr); }, EROFS,
                                    [this] { return remount(0, "size=4m"); });
    else
        expect_failed_save_harmless([this] { return set_folder_mode(0555); }, EACCES,
                                    [this] { return set_folder_mode(0755); });
}

// Under a file-size limit (`ulimit -f`) far below a screenshot's size, which
// needs no mount of its own, F12 fails as on a full disk instead of the
// limit's signal killing the demo.
class ScreenshotSizeLimit : public RunningProgramTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(write_text(dir_.file("screenshot.bmp"), "an earlier screenshot"));
        program_setup_ = [] {
            const rlimit limit{64 * 1024, 64 * 1024};
            setrlimit(RLIMIT_FSIZE, &limit);
        };
        RunningProgramTest::SetUp();
    }
};

TEST_F(ScreenshotSizeLimit, SavePastTheLimitFailsAndTheDemoRunsOn)
{
    press_key(x(), XK_F12);
    const std::string said =
        std::string("Screenshot not saved: screenshot.bmp: ") + std::strerror(EFBIG) + "\n";
    EXPECT_TRUE(eventually(5s, [&] { return program_->output() == said; })) << program_->output();
    EXPECT_EQ(read_file(dir_.file("screenshot.bmp")), "an earlier screenshot");
    EXPECT_EQ(names_in(dir_.path()), std::vector<std::string>{"screenshot.bmp"});
    const ExitResult result = quit();
    EXPECT_EQ(result.status, 0) << "signal " << result.signal;
    EXPECT_EQ(program_->output(), said);
}

} // namespace
