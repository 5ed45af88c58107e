/* Preloaded so that a test can stop the program in the middle of a save:
 * `fsync`, the step before the finished file takes its name, first waits
 * three seconds or until a signal comes. */

#define _GNU_SOURCE
#include <sys/syscall.h>
#include <unistd.h>

int fsync(int fd)
{
    sleep(3);
    return (int)syscall(SYS_fsync, fd);
}
