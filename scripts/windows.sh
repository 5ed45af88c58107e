#!/usr/bin/env bash
# Builds ribbons.exe, the Windows console program, on Debian: installs the
# MinGW-w64 cross compilers, fetches Allegro 4.4's upstream source through
# apt, checks it against the pinned SHA-256, applies our patches from
# windows/patches, builds the static library and then the program from the
# same sources as the Linux build.
#
#   scripts/windows.sh         build build/windows/ribbons/ribbons.exe and,
#                              beside it, ribbons-<version>-win64.zip
#   scripts/windows.sh test    build it, then run the display-free tests and
#                              the end-to-end test under Wine
#
# Everything it makes, including Wine's prefix and caches, stays under
# build/windows; the machine's own apt set-up is only read, never changed.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/scripts/packages.sh"
source "$repo/scripts/cache.sh"

out="$repo/build/windows"
toolchain="$repo/windows/mingw-w64-x86_64.cmake"
source "$repo/scripts/allegro-source.sh"
allegro_prefix="$out/allegro"
mingw=x86_64-w64-mingw32
# Warnings are errors in the test builds only: a user's build must not stop
# at a warning that a newer compiler adds.
werror=OFF

# Debian 12 packages Wine's 64-bit loader as wine64; later releases may fold
# it into wine.
wine_package() {
    if apt-cache show wine64 >/dev/null 2>&1; then echo wine64; else echo wine; fi
}

# What the libraries built here are made with: the cross compilers and the
# toolchain file.
toolchain_inputs() {
    compiler_key "$mingw-gcc-posix" "$mingw-g++-posix"
    cat "$toolchain"
}

# The static library alone, patched; rebuilt only when what it is built from
# changes: Allegro's version or pinned hash, a patch, the toolchain.
build_allegro() {
    local stamp="$allegro_prefix/.built-from" key
    key=$({
        echo "allegro $allegro_version $allegro_sha256"
        cat "$repo"/windows/patches/*.patch
        toolchain_inputs
    } | inputs_key)
    reuse_if_built_from "$stamp" "$key" "Allegro for Windows" && return 0
    local source="$out/allegro-src"
    rm -rf "$source" "$out/allegro-build" "$allegro_prefix"
    unpack_allegro "$source" "$repo"/windows/patches/*.patch
    # MinGW's GCC 14 (Debian 13) rejects some of the library's old C idioms
    # as errors unless permissive; its warnings are not ours to fix, so they
    # are not shown. Its CMake files predate CMake 3.5, which CMake 4 refuses
    # to read without being told the policies to use.
    cmake -S "$source" -B "$out/allegro-build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$allegro_prefix" \
        -DCMAKE_C_FLAGS="-w -fpermissive" -DCMAKE_POLICY_VERSION_MINIMUM=3.5 \
        --no-warn-unused-cli -Wno-dev -Wno-deprecated \
        -DSHARED=OFF -DWANT_EXAMPLES=OFF -DWANT_TESTS=OFF -DWANT_TOOLS=OFF -DWANT_DOCS=OFF \
        -DWANT_ALLEGROGL=OFF -DWANT_LOADPNG=OFF -DWANT_LOGG=OFF -DWANT_JPGALLEG=OFF >/dev/null
    cmake --build "$out/allegro-build" -j"$(nproc)" >/dev/null
    cmake --install "$out/allegro-build" >/dev/null
    record_built_from "$stamp" "$key"
}

build_ribbons() {
    cmake -S "$repo" -B "$out/ribbons" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DRIBBONS_BUILD_TESTS=OFF \
        -DRIBBONS_ALLEGRO_PREFIX="$allegro_prefix" -DRIBBONS_WERROR="$werror" >/dev/null
    cmake --build "$out/ribbons" -j"$(nproc)" >/dev/null
}

# The licence text of the Debian package that holds a file of the MinGW-w64
# toolchain: its copyright file names every licence of the code in it.
debian_copyright_of() {
    local package
    package=$(dpkg -S "$(realpath "$1")" | awk -F: 'NR == 1 { print $1 }')
    cat "/usr/share/doc/$package/copyright"
}

# A text file with Windows line ends, so Notepad shows its lines.
windows_text() {
    sed 's/\r*$/\r/' "$1" >"$2"
}

# build/windows/ribbons/ribbons-<version>-win64.zip, the version CMake read
# from the project() call.
zip_path() {
    local version
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$out/ribbons/CMakeCache.txt")
    echo "$out/ribbons/ribbons-$version-win64.zip"
}

# What a Windows user unpacks: the exe, the README and our licence as text,
# and the licences of what the exe holds statically: Allegro (giftware), the
# MinGW-w64 runtime with winpthreads, and GCC's runtime libraries.
make_zip() {
    local stage="$out/zip" zip
    zip=$(zip_path)
    rm -rf "$stage" "$zip"
    mkdir -p "$stage/licences"
    cp "$out/ribbons/ribbons.exe" "$stage/"
    windows_text "$repo/README.md" "$stage/README.txt"
    windows_text "$repo/LICENSE" "$stage/LICENSE.txt"
    [ -f "$out/downloads/$allegro_tarball" ] || fetch_allegro
    tar -xzf "$out/downloads/$allegro_tarball" -O --wildcards '*/docs/txt/license.txt' \
        >"$stage/licences/Allegro.txt.lf"
    debian_copyright_of "/usr/$mingw/lib/libwinpthread.a" >"$stage/licences/MinGW-w64.txt.lf"
    debian_copyright_of "$("$mingw-g++-posix" -print-file-name=libstdc++.a)" \
        >"$stage/licences/GCC-runtime.txt.lf"
    local text
    for text in "$stage"/licences/*.lf; do
        windows_text "$text" "${text%.lf}"
        rm "$text"
    done
    (cd "$stage" && zip -q -X -D -r "$zip" ribbons.exe README.txt LICENSE.txt licences)
    echo "Built $zip"
}

build() {
    install_packages cmake make patch g++-mingw-w64-x86-64 zip
    build_allegro
    build_ribbons
    echo "Built $out/ribbons/ribbons.exe"
    make_zip
}

# The first of the given paths that is an executable file.
first_executable() {
    local candidate
    for candidate in "$@"; do
        [ -n "$candidate" ] && [ -x "$candidate" ] && { echo "$candidate"; return 0; }
    done
    echo "None of these is installed: $*" >&2
    return 1
}

# Wine's 64-bit loader: /usr/lib/wine/wine64 on Debian 12 (plain `wine`
# there wants the 32-bit half too); later releases name it differently.
find_wine() {
    first_executable /usr/lib/wine/wine64 /usr/lib/wine/wine "$(command -v wine64 || true)" \
        "$(command -v wine || true)"
}

find_wineserver() {
    first_executable "$(dirname "$(find_wine)")/wineserver" /usr/lib/wine/wineserver64 \
        "$(command -v wineserver || true)"
}

# build/windows/bin/wine and .../wineserver: Wine with its prefix, settings
# and caches under build/windows, never in the user's home, with its debug
# output and its Mono, Gecko and menu helpers off. Everything here, CTest and
# the tests run Wine through them, so a test run by hand is kept in too.
write_wine_wrappers() {
    local home="$out/home" tool target
    mkdir -p "$home" "$out/bin"
    for tool in wine wineserver; do
        target=$wine
        [ "$tool" = wineserver ] && target=$(find_wineserver)
        cat >"$out/bin/$tool" <<EOF_WRAPPER
#!/bin/sh
# Made by scripts/windows.sh: $tool with the private Wine set-up.
export WINEPREFIX='$out/wine-prefix' WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml,winemenubuilder.exe='
export HOME='$home' XDG_CONFIG_HOME='$home/.config' XDG_DATA_HOME='$home/.local/share'
export XDG_CACHE_HOME='$home/.cache' XDG_STATE_HOME='$home/.local/state'
exec '$target' "\$@"
EOF_WRAPPER
        chmod +x "$out/bin/$tool"
    done
    wine="$out/bin/wine"
    wineserver="$out/bin/wineserver"
}

# A new prefix, with Wine's crash dialog off: a crash then ends the program
# instead of waiting for someone to close the dialog.
make_wine_prefix() {
    [ -f "$out/wine-prefix/system.reg" ] && return 0
    timeout 300 "$wine" wineboot --init >/dev/null 2>&1
    timeout 60 "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog \
        /t REG_DWORD /d 0 /f >/dev/null 2>&1
    timeout 60 "$wineserver" --wait
}

# GoogleTest from Debian's sources, built for Windows with the same
# compilers; rebuilt when Debian's sources or the toolchain change.
build_googletest() {
    local stamp="$out/googletest/.built-from" key
    key=$({ package_versions googletest; toolchain_inputs; } | inputs_key)
    reuse_if_built_from "$stamp" "$key" "GoogleTest for Windows" && return 0
    rm -rf "$out/googletest-build" "$out/googletest"
    cmake -S /usr/src/googletest -B "$out/googletest-build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$out/googletest" -DBUILD_GMOCK=OFF \
        -Wno-dev >/dev/null
    cmake --build "$out/googletest-build" -j"$(nproc)" >/dev/null
    cmake --install "$out/googletest-build" >/dev/null
    record_built_from "$stamp" "$key"
}

# The tests that need no display, built for Windows and run under Wine. One
# wineserver kept alive for the whole run spares each test Wine's start-up.
run_display_free_tests() {
    timeout 1800 "$wineserver" --foreground --persistent &
    local server=$!
    trap 'timeout 60 "$wineserver" --kill 2>/dev/null' EXIT
    # Wine's own services start with the session's first program and inherit
    # its output; started here, with none, they never hold open the pipes
    # through which CMake and CTest read a test's output.
    timeout 120 "$wine" wineboot </dev/null >/dev/null 2>&1
    cmake -S "$repo" -B "$out/tests" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DRIBBONS_ALLEGRO_PREFIX="$allegro_prefix" \
        -DGTest_DIR="$out/googletest/lib/cmake/GTest" -DRIBBONS_BUILD_TESTS=ON -DRIBBONS_WERROR=ON \
        -DCMAKE_CROSSCOMPILING_EMULATOR="timeout;-k;5;120;$wine" >/dev/null
    local status=0
    # Each test spends most of its second under Wine waiting, not working,
    # so several run at once even on two cores.
    cmake --build "$out/tests" -j"$(nproc)" >/dev/null &&
        ctest --test-dir "$out/tests" --output-on-failure -j4 || status=$?
    timeout 60 "$wineserver" --kill || true
    wait "$server" || true
    trap - EXIT
    return "$status"
}

# ribbons.exe end to end, driven from a Linux test through X.
run_end_to_end_test() {
    cmake -S "$repo" -B "$out/linux-e2e" -DCMAKE_BUILD_TYPE=Release \
        -DRIBBONS_WINDOWS_EXE="$out/ribbons/ribbons.exe" \
        -DRIBBONS_FIND_SCENE_STEP="$out/tests/tests/windows/find_scene_step.exe" \
        -DRIBBONS_SEND_CTRL_C="$out/tests/tests/windows/send_ctrl_c.exe" \
        -DRIBBONS_WINE="$wine" -DRIBBONS_WINESERVER="$wineserver" -DRIBBONS_BUILD_TESTS=ON \
        -DRIBBONS_WERROR=ON >/dev/null
    cmake --build "$out/linux-e2e" -j"$(nproc)" --target wine_e2e_tests >/dev/null
    ctest --test-dir "$out/linux-e2e" --output-on-failure -L wine
}

# The zip holds exactly its files, the exe the one just built, the texts
# with Windows line ends and each licence the one it is named for.
check_zip() {
    local zip listing unpacked="$out/zip-check"
    zip=$(zip_path)
    listing=$(unzip -Z1 "$zip" | LC_ALL=C sort | tr '\n' ' ')
    if [ "$listing" != "LICENSE.txt README.txt licences/Allegro.txt licences/GCC-runtime.txt \
licences/MinGW-w64.txt ribbons.exe " ]; then
        echo "$zip holds: $listing" >&2
        return 1
    fi
    rm -rf "$unpacked"
    unzip -q "$zip" -d "$unpacked"
    cmp "$unpacked/ribbons.exe" "$out/ribbons/ribbons.exe" &&
        [ "$(sed -n 1p "$unpacked/README.txt")" = $'# ribbons\r' ] &&
        grep -q '^MIT License' "$unpacked/LICENSE.txt" &&
        grep -q 'The giftware license' "$unpacked/licences/Allegro.txt" &&
        grep -q 'winpthreads' "$unpacked/licences/MinGW-w64.txt" &&
        grep -q 'GCC RUNTIME LIBRARY EXCEPTION' "$unpacked/licences/GCC-runtime.txt" ||
        { echo "$zip: a file in it is not what it should be" >&2; return 1; }
    echo "$zip holds what it must"
}

run_tests() {
    install_packages "${build_packages[@]}" "$(wine_package)" libgtest-dev libxtst-dev xvfb unzip
    check_zip
    wine=$(find_wine)
    write_wine_wrappers
    # Nothing under Wine sees the caller's display; the end-to-end test
    # gives the program one of its own.
    unset DISPLAY WAYLAND_DISPLAY
    make_wine_prefix
    build_googletest
    run_display_free_tests
    run_end_to_end_test
}

case "${1:-build}" in
    build) build ;;
    test)
        werror=ON
        build
        run_tests
        ;;
    *)
        echo "usage: $0 [build|test]" >&2
        exit 2
        ;;
esac
