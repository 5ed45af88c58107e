// File calls on Windows, whose C runtime opens files in text mode unless told
// otherwise and names its sync _commit, and whose system errors have messages
// of their own, apart from the C runtime's errno values.

#include "file_system.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

int create_new_file(const char* path)
{
    return _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}

int flush_to_disk(int fd)
{
    return _commit(fd);
}

std::string error_message(const std::error_code& error)
{
    if (error.category() != std::system_category())
        return error.message();
    char text[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, static_cast<DWORD>(error.value()), 0, text,
                                  sizeof text, nullptr);
    if (length == 0)
        return error.message();
    // The system ends its messages with a line break; the caller ends the line.
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r'))
        --length;
    return std::string(text, length);
}
