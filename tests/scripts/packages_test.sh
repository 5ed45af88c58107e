#!/usr/bin/env bash
# scripts/packages.sh on a machine set up unlike ours: Allegro's source comes
# from the running release's own Debian mirror though a third-party
# repository naming the same release, backports and a disabled entry come
# first as apt reads them; and a user without root or sudo is told what to
# install. No network is used.
set -euo pipefail
source "$(dirname "$0")/../../scripts/packages.sh"
apt_dir=$(mktemp -d)
trap 'rm -rf "$apt_dir"' EXIT
mkdir -p "$apt_dir/sources.list.d"
printf '%s\n' "deb http://mirror.example/debian-security bookworm-security main" \
    "deb [arch=amd64] https://apt.example.com/linux bookworm stable" >"$apt_dir/sources.list"
cat >"$apt_dir/sources.list.d/debian.sources" <<'SOURCES'
Types: deb deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main

Types: deb
Enabled: no
URIs: http://disabled.example/debian
Suites: bookworm
Components: main

Types: deb
URIs: http://mirror.example/debian
Suites: bookworm-updates bookworm
Components: main
SOURCES

# Debian's archive has the package, in every suite; the vendor's has not.
# The index itself is not fetched.
serves_allegro_source() { [[ "$2" =~ ^http://(deb.debian.org|mirror.example|disabled.example)/debian$ ]]; }
found=$(RIBBONS_APT_DIR=$apt_dir allegro_source_mirror "$apt_dir/private" bookworm)
[ "$found" = "http://mirror.example/debian bookworm" ] || { echo "chose: '$found'" >&2; exit 1; }

# Not root and no sudo on the PATH: one line, status 1, nothing installed.
mkdir "$apt_dir/bin"
ln -s "$(command -v dpkg-query)" "$(command -v grep)" "$apt_dir/bin/"
status=0
said=$(id() { echo 1000; }; PATH=$apt_dir/bin install_packages ribbons-no-such-package 2>&1) || status=$?
expected="ribbons needs these Debian packages: ribbons-no-such-package. Install them as root\
 (apt-get install ribbons-no-such-package) or install sudo."
[ "$status" -eq 1 ] && [ "$said" = "$expected" ] || { echo "status $status: $said" >&2; exit 1; }
echo "passed"
