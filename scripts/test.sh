#!/usr/bin/env bash
# Installs what is missing, builds ribbons with its tests, and runs the whole
# suite: unit and end-to-end tests (which start their own virtual X displays,
# so no desktop is needed), the library timer test, the program under
# valgrind, then the unit tests again under the sanitizers and a minute of
# fuzzing the line. The minute-long soak is scripts/soak.sh.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/scripts/packages.sh"

install_packages "${build_packages[@]}" libgtest-dev libx11-dev libxtst-dev xvfb valgrind \
    clang libclang-rt-14-dev

build="$repo/build/test"
cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -LE soak

"$repo/scripts/sanitize.sh"
"$repo/scripts/fuzz.sh"
"$repo/scripts/windows.sh" test
