// The two file calls the screenshot needs that differ between POSIX systems
// and Windows. Each platform has its own source file, chosen by the build, so
// the screenshot code itself reads the same everywhere.
#pragma once

// Creates `path` for writing in binary, failing if it already exists; the
// descriptor, or -1 with errno set.
int create_new_file(const char* path);

// Pushes what was written to `fd` out to the disk; 0, or -1 with errno set.
int flush_to_disk(int fd);
