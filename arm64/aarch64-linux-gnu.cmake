# Cross-compiling for 64-bit ARM Debian (arm64) with Debian's aarch64 cross
# compilers, against the arm64 system root scripts/arm64.sh unpacks from
# Debian's own arm64 packages. Programs built here, the tests included, run
# on this machine through QEMU's user-mode emulator, started by name.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

set(RIBBONS_ARM64_SYSROOT "${CMAKE_CURRENT_LIST_DIR}/../build/arm64/sysroot" CACHE PATH
    "The arm64 system root scripts/arm64.sh makes")
get_filename_component(CMAKE_SYSROOT "${RIBBONS_ARM64_SYSROOT}" ABSOLUTE)

# Libraries, headers and packages from the system root only, never the
# build machine's; programs (pkg-config among them) from the build machine.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The build machine's pkg-config, reading the system root's .pc files only
# and prefixing the paths it gives with the system root.
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_LIBDIR}
    "${CMAKE_SYSROOT}/usr/lib/aarch64-linux-gnu/pkgconfig:${CMAKE_SYSROOT}/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "${CMAKE_SYSROOT}")

# The loader and libraries the programs need come from the system root.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L "${CMAKE_SYSROOT}")
