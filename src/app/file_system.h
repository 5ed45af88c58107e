// The two file calls the screenshot needs that differ between POSIX systems
// and Windows. Each platform has its own source file, chosen by the build, so
// the screenshot code itself reads the same everywhere.
#pragma once

#include <string>
#include <system_error>

// Creates `path` for writing in binary, failing if it already exists; the
// descriptor, or -1 with errno set.
int create_new_file(const char* path);

// Pushes what was written to `fd` out to the disk; 0, or -1 with errno set.
int flush_to_disk(int fd);

// The system's own words for `error`: on Windows an error from a system call
// is a Windows error code, which strerror would misread as an errno value.
std::string error_message(const std::error_code& error);
