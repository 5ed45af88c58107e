#!/usr/bin/env bash
# Every relative link in the README and docs/ names a file that exists, and
# every #anchor a heading of its page as GitHub makes them: a page renamed or
# a heading reworded breaks a link no reader reports. Code blocks are skipped.
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/../.."
links_and_headings() {
    awk '/^```/ { code = !code } code { next }
         /^#+ / { h = tolower($0); sub(/^#+ /, "", h); gsub(/[^a-z0-9 _-]/, "", h); gsub(/ /, "-", h)
                  print "heading", h }
         { for (l = $0; match(l, /\]\([^)]+\)/); l = substr(l, RSTART + RLENGTH))
               print "link", substr(l, RSTART + 2, RLENGTH - 3) }' "$1"
}
broken=0
for page in README.md docs/*.md; do
    while read -r kind target; do
        [[ $kind == link && $target != http* ]] || continue
        file=$(dirname "$page")/${target%%#*}
        [[ $target == \#* ]] && file=$page
        if [ ! -f "$file" ] || { [[ $target == *#* ]] &&
            ! links_and_headings "$file" | grep -qx "heading ${target#*#}"; }; then
            echo "$page: $target leads nowhere" >&2
            broken=1
        fi
    done < <(links_and_headings "$page")
done
exit "$broken"
