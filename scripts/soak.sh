#!/usr/bin/env bash
# Installs what is missing, builds ribbons with its tests (the build of
# scripts/test.sh) and runs the soak: over a minute of the real program in a
# virtual X display, watching its memory, its animation and its exit on Esc.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/scripts/packages.sh"

install_packages "${build_packages[@]}" libgtest-dev libxtst-dev xvfb

build="$repo/build/test"
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DRIBBONS_BUILD_TESTS=ON \
    -DRIBBONS_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target soak_tests
ctest --test-dir "$build" --output-on-failure -L soak
