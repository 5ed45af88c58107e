/* Preloaded so that a test can stop the program in the middle of a save:
 * `fsync`, the step before the finished file takes its name, first waits on
 * the FIFO that RIBBONS_FSYNC_GATE names until the test closes its end. */

#define _GNU_SOURCE
#include <fcntl.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <unistd.h>

int fsync(int fd)
{
    char byte;
    const int gate = open(getenv("RIBBONS_FSYNC_GATE"), O_RDONLY);
    while (read(gate, &byte, 1) > 0) {
    }
    close(gate);
    return (int)syscall(SYS_fsync, fd);
}
