// File calls on Windows, whose C runtime opens files in text mode unless told
// otherwise and names its sync _commit.

#include "file_system.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

int create_new_file(const char* path)
{
    return _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}

int flush_to_disk(int fd)
{
    return _commit(fd);
}
