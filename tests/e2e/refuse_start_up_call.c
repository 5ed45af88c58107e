/* Preloaded into the real program to make one of the library's start-up
 * calls fail, as on a machine without a timer or a keyboard the library can
 * use: the call RIBBONS_REFUSE names (install_timer, install_keyboard, or
 * install_int_ex#N for the Nth callback). Every other call goes through. */

#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int install_timer(void);
int install_keyboard(void);
int install_int_ex(void (*callback)(void), int speed);

static int refused(const char* call)
{
    const char* name = getenv("RIBBONS_REFUSE");
    return name && strcmp(name, call) == 0;
}

/* The library's own `function`; POSIX allows the cast ISO C does not. */
#define LIBRARYS(function) (__extension__(__typeof__(&function))dlsym(RTLD_NEXT, #function))

int install_timer(void)
{
    return refused("install_timer") ? -1 : LIBRARYS(install_timer)();
}

int install_keyboard(void)
{
    return refused("install_keyboard") ? -1 : LIBRARYS(install_keyboard)();
}

int install_int_ex(void (*callback)(void), int speed)
{
    static int calls;
    char call[32];
    snprintf(call, sizeof call, "install_int_ex#%d", ++calls);
    return refused(call) ? -1 : LIBRARYS(install_int_ex)(callback, speed);
}
