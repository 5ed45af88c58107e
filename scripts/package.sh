#!/usr/bin/env bash
# Builds the Debian package ribbons_<version>_<arch>.deb at the top of the
# repository with Debian's own tools (dpkg-buildpackage, debhelper), after
# installing what debian/control says the build needs. The build runs in a
# copy of the sources under build/package, so none of its byproducts land in
# the repository.
#
#   scripts/package.sh         build the package
#   scripts/package.sh test    build it, then check it: lintian, the desktop
#                              entry, what it installs, and the package's own
#                              test (debian/tests) through autopkgtest
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
source "$repo/scripts/packages.sh"
source "$repo/scripts/cache.sh"

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

# The files the package is built from, NUL-separated: the repository
# without its own build products.
source_files() {
    (cd "$repo" && find . \( -path ./build -o -path ./.git -o -name 'ribbons_*.deb' \) -prune \
        -o \( -type f -o -type l \) -print0 | LC_ALL=C sort -z)
}

# A copy of the sources without the repository's own build products.
copy_sources() {
    local tree=$1
    rm -rf "$tree"
    mkdir -p "$tree"
    source_files | tar -C "$repo" --null --no-recursion -T - -cf - | tar -C "$tree" -xf -
}

# What the package is built from: every source file, its mode and content
# (a link by its target), and the tools and library debian/control names.
package_inputs_key() {
    {
        source_files | (cd "$repo" && xargs -0 stat -c '%A %N')
        source_files | (cd "$repo" && xargs -0 sha256sum)
        package_versions debhelper dpkg-dev cmake pkgconf liballegro4-dev gcc g++ libc6-dev
    } | inputs_key
}

# What debian/control's Build-Depends name, with build-essential, read by
# apt itself: a dependency missing there stops this build as it would stop
# Debian's. Nothing is installed when dpkg finds them all present already.
install_build_dependencies() {
    (cd "$repo" && dpkg-checkbuilddeps) >/dev/null 2>&1 && return 0
    (cd "$repo" && apt_get_as_root "Building the package needs what debian/control names: \
run 'apt-get build-dep ./' as root in $repo, or install sudo." build-dep -y --no-remove ./)
}

build() {
    install_build_dependencies
    check_versions_agree
    local tree="$out/ribbons-$version" log="$out/build.log" stamp="$out/.built-from" key
    key=$(package_inputs_key)
    if [ -f "$out/$deb" ] && reuse_if_built_from "$stamp" "$key" "$deb"; then
        cp "$out/$deb" "$repo/$deb"
        return 0
    fi
    rm -f "$stamp"
    copy_sources "$tree"
    rm -f "$out"/ribbons*_"$version"[._]*
    echo "Building $deb (log: $log)"
    # The source package too, so lintian checks debian/ as Debian would.
    if ! (cd "$tree" && dpkg-buildpackage -us -uc -J"$(nproc)") >"$log" 2>&1; then
        tail -n 30 "$log"
        die "dpkg-buildpackage failed"
    fi
    cp "$out/$deb" "$repo/$deb"
    record_built_from "$stamp" "$key"
    echo "Built $repo/$deb"
}

# What a user finds after installing that lintian does not check: the menu
# entry and its icons, the README, the Allegro runtime among the computed
# dependencies, and the README's install command naming this very file.
check_contents() {
    local root=$1 path
    for path in usr/games/ribbons usr/share/applications/ribbons.desktop \
        usr/share/icons/hicolor/{48x48,128x128,256x256}/apps/ribbons.png; do
        [ -f "$root/$path" ] || die "$deb lacks /$path"
    done
    ls "$root"/usr/share/doc/ribbons/README.md* >/dev/null 2>&1 || die "$deb lacks the README"
    desktop-file-validate "$root/usr/share/applications/ribbons.desktop" ||
        die "the desktop entry is not valid"
    dpkg-deb -f "$repo/$deb" Depends | grep -q 'liballegro4\.4' ||
        die "$deb does not depend on Allegro's runtime"
    local named
    named=$(readme_install_commands | sed -n 's/^sudo apt install //p')
    [ "$(cd "$repo" && compgen -G "$named")" = "./$deb" ] || die "the README installs $named, not ./$deb"
}

# The package's own test (debian/tests) through autopkgtest on this machine,
# which installs the package and what the test needs. The package is purged
# when this script ends, unless it was installed before; the purge waits for
# another apt to finish, as every install here does, rather than fail and
# leave the package on the machine.
run_package_test() {
    local log="$out/autopkgtest.log" summary="$out/autopkgtest.summary"
    root_hint="The package's test installs it: run this as root, or install sudo."
    as_root "$root_hint" true
    dpkg-query -W -f='${Status}' ribbons 2>/dev/null | grep -q "ok installed" ||
        trap 'as_root "$root_hint" apt-get -o DPkg::Lock::Timeout=300 -qq purge -y ribbons >/dev/null' EXIT
    echo "== autopkgtest (log: $log)"
    as_root "$root_hint" autopkgtest -q -l "$log" --summary-file "$summary" \
        "$out/ribbons_${version}_${arch}.changes" -- null >/dev/null 2>&1 ||
        { tail -n 40 "$log"; die "the package's test failed"; }
    cat "$summary"
}

# What the package's own test installs and builds with, besides the package.
package_test_depends() {
    sed -n 's/^Depends: //p' "$repo/debian/tests/control" | tr -d ' ' | tr ',' '\n' | grep -vx ribbons
}

# checked_once STAMP KEY WHAT COMMAND...: runs a check unless it passed
# before on exactly these inputs. Only checks whose outcome those inputs
# decide are passed here: the .changes file holds the hash of every file of
# the package, the source (and so debian/tests) included.
checked_once() {
    local stamp=$1 key=$2 what=$3
    shift 3
    reuse_if_built_from "$stamp" "$key" "the pass of $what, not run again" && return 0
    rm -f "$stamp"
    "$@"
    record_built_from "$stamp" "$key"
}

run_lintian() {
    echo "== lintian"
    lintian --fail-on error,warning "$1" || die "lintian found errors or warnings"
}

run_tests() {
    install_packages lintian desktop-file-utils autopkgtest
    local changes="$out/ribbons_${version}_${arch}.changes" key
    checked_once "$out/lintian.passed" "$({ cat "$changes"; package_versions lintian; } | inputs_key)" \
        lintian run_lintian "$changes"
    local root="$out/unpacked"
    rm -rf "$root"
    dpkg-deb -x "$repo/$deb" "$root"
    check_contents "$root"
    # shellcheck disable=SC2046 # the package names are words
    key=$({ cat "$changes"; package_versions autopkgtest $(package_test_depends); } | inputs_key)
    checked_once "$out/autopkgtest.passed" "$key" "the package's own test (autopkgtest)" run_package_test
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
