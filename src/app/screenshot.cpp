// Saving the screenshot through a temporary file and a rename.

#include "screenshot.h"

#include "file_system.h"

#include <allegro.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <unistd.h>

namespace {

// Held while a save runs, and for good once the program is about to end.
std::mutex saving;

// Creates a file beside `file_name` that nothing else can be using: made
// exclusively, with the next number whenever a name is taken (by a file an
// earlier run left behind, say). Its name goes into `path` once the file
// exists, and only then; -1 and errno set when no file could be made.
int create_temporary_file(const char* file_name, std::string& path)
{
    const std::string stem = std::string(file_name) + "." + std::to_string(getpid()) + "-";
    for (int number = 0; number < 100; ++number) {
        std::string candidate = stem + std::to_string(number) + ".tmp";
        const int fd = create_new_file(candidate.c_str());
        if (fd >= 0)
            path.swap(candidate); // cannot fail, so the file is never left unnamed
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// The stream the library writes the picture into, and the first error met.
struct Output {
    std::FILE* stream;
    int error = 0;

    void note_failure()
    {
        if (!error)
            error = errno ? errno : EIO;
    }
};

int write_byte(int c, void* userdata)
{
    auto& output = *static_cast<Output*>(userdata);
    if (std::fputc(c, output.stream) == EOF) {
        output.note_failure();
        return EOF;
    }
    return c;
}

long write_bytes(const void* bytes, long count, void* userdata)
{
    auto& output = *static_cast<Output*>(userdata);
    const std::size_t written = std::fwrite(bytes, 1, static_cast<std::size_t>(count), output.stream);
    if (written < static_cast<std::size_t>(count))
        output.note_failure();
    return static_cast<long>(written);
}

// The library's file layer over a stream of our own, so that every failed
// write is seen here. Closing is left to finish_file, which checks it too.
const PACKFILE_VTABLE output_vtable = {
    [](void*) { return 0; },                // close: see finish_file
    [](void*) { return EOF; },              // never read
    [](int, void*) { return EOF; },         // never read
    [](void*, long, void*) { return 0L; },  // never read
    write_byte,
    write_bytes,
    [](void*, int) { return -1; },          // never sought
    [](void*) { return 0; },                // never at an end
    [](void* userdata) { return static_cast<Output*>(userdata)->error != 0 ? 1 : 0; },
};

// Writes `picture` as a BMP into `stream`; the error that stopped it, or 0.
int write_picture(BITMAP* picture, std::FILE* stream)
{
    Output output{stream};
    PACKFILE* packfile = pack_fopen_vtable(&output_vtable, &output);
    if (!packfile)
        return ENOMEM;
    errno = 0;
    const int result = save_bmp_pf(packfile, picture, nullptr);
    pack_fclose(packfile);
    if (output.error)
        return output.error;
    if (result != 0)
        return errno ? errno : EIO;
    return 0;
}

// Pushes the file's bytes to the disk and closes it. Some file systems report
// a full disk only here.
int finish_file(std::FILE* stream)
{
    int error = 0;
    if (std::fflush(stream) != 0 || flush_to_disk(fileno(stream)) != 0)
        error = errno;
    if (std::fclose(stream) != 0 && !error)
        error = errno;
    return error;
}

// Writes `picture` into the new file open at `fd`, which it closes; the
// error that stopped it, or 0.
int write_file(BITMAP* picture, int fd)
{
    std::FILE* stream = fdopen(fd, "wb");
    if (!stream) {
        const int error = errno;
        close(fd);
        return error;
    }
    const int write_error = write_picture(picture, stream);
    const int close_error = finish_file(stream);
    return write_error ? write_error : close_error;
}

// Puts the finished file in the place of the old one: atomic within one file
// system, and over an existing file on every platform, unlike std::rename.
std::error_code replace_file(const std::string& from, const char* to)
{
    std::error_code error;
    std::filesystem::rename(from, to, error);
    return error;
}

// Writes `picture` to a temporary file, named in `temporary` once it exists,
// and puts it in the place of `file_name`; the error that stopped it, if any.
std::error_code write_and_replace(BITMAP* picture, const char* file_name, std::string& temporary)
{
    const int fd = create_temporary_file(file_name, temporary);
    if (fd < 0)
        return {errno, std::generic_category()};
    if (const int error = write_file(picture, fd))
        return {error, std::generic_category()};
    return replace_file(temporary, file_name);
}

void remove_temporary(std::string& temporary)
{
    if (!temporary.empty())
        std::remove(temporary.c_str());
    temporary.clear();
}

bool report_failure(const char* file_name, const char* reason)
{
    std::fprintf(stderr, "Screenshot not saved: %s: %s\n", file_name, reason);
    return false;
}

} // namespace

bool save_screenshot(BITMAP* picture, const char* file_name)
{
    const std::lock_guard<std::mutex> hold(saving);
    std::string temporary;
    try {
        const std::error_code error = write_and_replace(picture, file_name, temporary);
        if (!error)
            return true;
        remove_temporary(temporary);
        return report_failure(file_name, error_message(error).c_str());
    } catch (const std::bad_alloc&) {
        // A name, a path or a message with no memory left for it: as much a
        // failed save as a full disk, and no reason to end the demo.
        remove_temporary(temporary);
        return report_failure(file_name, std::strerror(ENOMEM));
    }
}

void let_the_last_save_finish()
{
    saving.lock();
}
