# Allegro 4.4's upstream source, as Debian ships it: fetched through apt from
# the Debian source package, checked against the SHA-256 pinned in
# windows/allegro.sha256, unpacked and patched. Sourced by the scripts that
# build the library themselves (windows.sh, web.sh) after packages.sh, with
# $repo set to the repository and $out to the script's build folder.

allegro_version=4.4.3.1
allegro_tarball="allegro4.4_${allegro_version}.orig.tar.gz"
allegro_sha256=$(cat "$repo/windows/allegro.sha256")

# Downloads Allegro's upstream tarball from the Debian source package through
# apt, with a source list and package lists of our own, and checks it.
fetch_allegro() {
    local tarball="$out/downloads/$allegro_tarball"
    if [ -f "$tarball" ] && echo "$allegro_sha256  $tarball" | sha256sum -c --quiet - 2>/dev/null; then
        return 0
    fi
    local apt_dir="$out/apt"
    mkdir -p "$out/downloads"
    if ! allegro_source_mirror "$apt_dir" >/dev/null; then
        echo "None of the Debian mirrors in /etc/apt/sources.list{,.d} serves the allegro4.4" \
            "source package for this release" >&2
        exit 1
    fi
    # Only the upstream tarball: the Debian packaging is not needed here.
    local uri
    uri=$(private_apt "$apt_dir" source --print-uris -qq allegro4.4 |
              awk -v name="$allegro_tarball" '$2 == name { gsub(/\x27/, "", $1); print $1 }')
    if [ -z "$uri" ]; then
        echo "Debian's allegro4.4 source package has no $allegro_tarball" >&2
        exit 1
    fi
    /usr/lib/apt/apt-helper -o APT::Sandbox::User=root download-file "$uri" "$tarball.part" \
        "SHA256:$allegro_sha256" >/dev/null
    mv "$tarball.part" "$tarball"
}

# Unpacks the checked tarball into the empty folder SOURCE and applies the
# patches named after it, in order.
unpack_allegro() {
    local source=$1 patch
    shift
    fetch_allegro
    mkdir -p "$source"
    tar -xzf "$out/downloads/$allegro_tarball" -C "$source" --strip-components=1 --no-same-owner
    for patch in "$@"; do
        patch -d "$source" -p1 --quiet --forward <"$patch"
    done
}
