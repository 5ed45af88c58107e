/* Preloaded into the real program so that it seeds its random numbers with a
 * start time the test knows: `time` returns RIBBONS_TEST_TIME. Only `time` is
 * replaced; the clocks behind the library's timers keep running, so the
 * program still steps its scene 50 times a second. */

#include <stdlib.h>
#include <time.h>

time_t time(time_t* result)
{
    const char* fixed = getenv("RIBBONS_TEST_TIME");
    const time_t value = fixed ? (time_t)strtoll(fixed, NULL, 10) : 0;
    if (result)
        *result = value;
    return value;
}
