#!/usr/bin/env bash
# Every relative link in the README and the pages under docs/ names a file
# that exists, and every #anchor a heading of the page it points into, made
# as GitHub makes them (lower case, punctuation dropped, spaces to hyphens).
# A page renamed or a heading reworded breaks a link no reader reports.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
export LC_ALL=C

# Prints "link TARGET" and "heading ANCHOR" lines for a page, outside its
# code blocks, where a "# comment" is no heading and "](" no link.
read_page() {
    awk '/^```/ { code = !code; next }
         code { next }
         /^#+ / { h = tolower($0); sub(/^#+ /, "", h); gsub(/[^a-z0-9 _-]/, "", h)
                  gsub(/ /, "-", h); print "heading " h }
         { line = $0
           while (match(line, /\]\([^)]+\)/)) {
               print "link " substr(line, RSTART + 2, RLENGTH - 3)
               line = substr(line, RSTART + RLENGTH) } }' "$1"
}

broken=0
for page in "$repo"/README.md "$repo"/docs/*.md; do
    while read -r kind target; do
        [ "$kind" = link ] || continue
        case $target in http://* | https://* | mailto:*) continue ;; esac
        path=${target%%#*}
        file=$page
        [ -z "$path" ] || file=$(dirname "$page")/$path
        if [ ! -e "$file" ]; then
            echo "${page#"$repo"/}: no file for $target" >&2
            broken=1
        elif [[ $target == *#* ]] &&
            ! read_page "$file" | grep -qx "heading ${target#*#}"; then
            echo "${page#"$repo"/}: no heading for $target" >&2
            broken=1
        fi
    done < <(read_page "$page")
done
exit "$broken"
