#!/usr/bin/env bash
# Builds the Debian package ribbons_<version>_<arch>.deb at the top of the
# repository with Debian's own tools (dpkg-buildpackage, debhelper), after
# installing what the build needs. The build runs in a copy of the sources
# under build/package, so none of its byproducts land in the repository.
#
#   scripts/package.sh         build the package
#   scripts/package.sh test    build it, then check it: lintian, the desktop
#                              entry, what it installs, and the unpacked
#                              program end to end on a private X display
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/scripts/packages.sh"

out="$repo/build/package"
# The version lives in one place, the project() call; the rest must agree.
version=$(sed -n 's/^project(ribbons VERSION \([0-9.]*\) .*/\1/p' "$repo/CMakeLists.txt")
arch=$(dpkg --print-architecture)
deb="ribbons_${version}_${arch}.deb"

die() {
    echo "package: $*" >&2
    exit 1
}

# The first code block of the README's "## Install" section: the commands a
# user types.
readme_install_commands() {
    awk '/^## Install/ { section = 1; next }
         section && /^```/ { if (block) exit; block = 1; next }
         block' "$repo/README.md"
}

check_versions_agree() {
    [ -n "$version" ] || die "no VERSION in CMakeLists.txt's project()"
    local logged
    logged=$(dpkg-parsechangelog -l "$repo/debian/changelog" -S Version)
    [ "$logged" = "$version" ] ||
        die "debian/changelog's latest entry is $logged, CMakeLists.txt says $version"
}

# A copy of the sources without the repository's own build products.
copy_sources() {
    local tree=$1
    rm -rf "$tree"
    mkdir -p "$tree"
    tar -C "$repo" --exclude=./build --exclude=./.git --exclude='./ribbons_*.deb' -cf - . |
        tar -C "$tree" -xf -
}

build() {
    install_packages build-essential dpkg-dev debhelper "${build_packages[@]}"
    check_versions_agree
    local tree="$out/ribbons-$version" log="$out/build.log"
    copy_sources "$tree"
    rm -f "$out"/ribbons*_"$version"_*
    echo "Building $deb (log: $log)"
    if ! (cd "$tree" && dpkg-buildpackage -b -us -uc -J"$(nproc)") >"$log" 2>&1; then
        tail -n 30 "$log"
        die "dpkg-buildpackage failed"
    fi
    cp "$out/$deb" "$repo/$deb"
    echo "Built $repo/$deb"
}

# What a user finds after installing: the program in /usr/games, the menu
# entry and its icons, the manual page, the README and copyright, and the
# Allegro runtime among the computed dependencies.
check_contents() {
    local root=$1 path
    for path in usr/games/ribbons usr/share/applications/ribbons.desktop \
        usr/share/icons/hicolor/{48x48,128x128,256x256}/apps/ribbons.png \
        usr/share/man/man6/ribbons.6.gz usr/share/doc/ribbons/{copyright,changelog.gz}; do
        [ -f "$root/$path" ] || die "$deb lacks /$path"
    done
    ls "$root"/usr/share/doc/ribbons/README.md* >/dev/null 2>&1 || die "$deb lacks the README"
    dpkg-deb -f "$repo/$deb" Depends | grep -q 'liballegro4\.4' ||
        die "$deb does not depend on Allegro's runtime"
    readme_install_commands | grep -qF "./$deb" ||
        die "the README's Install commands do not name ./$deb"
}

# The unpacked program through the scene test: its screenshots must be
# frames of the replayed scene and Esc must end it with 0.
run_end_to_end_test() {
    local root=$1
    cmake -S "$repo" -B "$out/tests" -DCMAKE_BUILD_TYPE=Release \
        -DRIBBONS_PACKAGED_PROGRAM="$root/usr/games/ribbons" >/dev/null
    cmake --build "$out/tests" -j"$(nproc)" --target package_e2e_tests >/dev/null
    ctest --test-dir "$out/tests" --output-on-failure -L package
}

run_tests() {
    install_packages lintian desktop-file-utils libgtest-dev libx11-dev libxtst-dev xvfb
    echo "== lintian $deb"
    lintian --fail-on error "$repo/$deb" || die "lintian found errors"
    local root="$out/unpacked"
    rm -rf "$root"
    dpkg-deb -x "$repo/$deb" "$root"
    desktop-file-validate "$root/usr/share/applications/ribbons.desktop" ||
        die "the desktop entry is not valid"
    check_contents "$root"
    run_end_to_end_test "$root"
}

case "${1:-build}" in
    build) build ;;
    test)
        build
        run_tests
        ;;
    *)
        echo "usage: $0 [build|test]" >&2
        exit 2
        ;;
esac
