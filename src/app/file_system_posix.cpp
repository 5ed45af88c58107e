// File calls on POSIX systems.

#include "file_system.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

int create_new_file(const char* path)
{
    return open(path, O_WRONLY | O_CREAT | O_EXCL, 0666);
}

int flush_to_disk(int fd)
{
    // A file system that cannot sync (EINVAL) has nothing more to write.
    return fsync(fd) != 0 && errno != EINVAL ? -1 : 0;
}

std::string error_message(const std::error_code& error)
{
    return error.message();
}
