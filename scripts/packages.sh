# Installs the Debian packages named as arguments that are not installed yet.
# Sourced by the run and test scripts, so each does all of its own set-up.

install_packages() {
    local missing=()
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq \
        ${RIBBONS_NO_RECOMMENDS:+--no-install-recommends} "${missing[@]}" >/dev/null
}

# The same, without the packages they recommend: qemu-user recommends
# qemu-user-binfmt, which would register its emulators with the kernel for
# the whole machine.
install_packages_without_recommends() {
    RIBBONS_NO_RECOMMENDS=1 install_packages "$@"
}

# What building the program needs.
build_packages=(g++ cmake make pkg-config liballegro4-dev)

# The Debian mirrors this machine's apt uses, one "URI SUITE" line each, from
# deb822 .sources files and one-line lists alike. Security and updates
# suites are left out: they serve no release of their own.
apt_mirrors() {
    local file
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        awk '
            function flush(  i, n, suite) {
                if (uri != "" && types ~ /(^| )deb( |$)/ && enabled != "no") {
                    n = split(suites, suite, " ")
                    for (i = 1; i <= n; i++)
                        if (suite[i] !~ /[-\/](security|updates)$/) print uri, suite[i]
                }
                uri = ""; types = ""; enabled = ""; suites = ""
            }
            /^[ \t]*#/ { next }
            /^[ \t]*$/ { flush(); next }
            tolower($1) == "types:" { types = substr($0, index($0, ":") + 1) }
            tolower($1) == "enabled:" { enabled = tolower($2) }
            tolower($1) == "uris:" { uri = $2 }
            tolower($1) == "suites:" { suites = substr($0, index($0, ":") + 1) }
            END { flush() }
        ' "$file"
    done
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] || continue
        sed -e 's/#.*//' -e 's/\[[^]]*\]//' "$file" |
            awk '$1 == "deb" && $3 !~ /[-\/](security|updates)$/ { print $2, $3 }'
    done
}
