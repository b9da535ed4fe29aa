#!/bin/bash
# Builds the benchmark corpus from files of this machine, never fetched:
# four kinds of real data in about equal shares, picked in a stable order
# (sorted paths, every k-th file) so that a second run on the same machine
# gives the same corpus.
#
#   bench/corpus.sh DIR [MEGABYTES_PER_KIND]   (default 6, i.e. 24 MB)
#
# DIR/text, DIR/source, DIR/binary, DIR/packed get the copies (names made
# of letters, digits and ._+- only); DIR/LIST names every file with its
# size and origin.
set -euo pipefail
export LC_ALL=C
out=${1:?usage: corpus.sh DIR [MEGABYTES_PER_KIND]}
share=$(( ${2:-6} * 1024 * 1024 ))
rm -rf "$out"
mkdir -p "$out"
: > "$out/LIST"

# kind, then a find expression per source; files above 1 MB are passed
# over so that no single file dominates a kind.
pick() {
    local kind=$1; shift
    local list; list=$(mktemp)
    set -f # the patterns are find's, not the shell's
    for pattern in "$@"; do
        # shellcheck disable=SC2086
        find ${pattern} -type f -size -1024k -size +0 2>/dev/null || true
    done | sort -u > "$list"
    set +f
    local total=0 n=0 count; count=$(wc -l < "$list")
    [ "$count" -gt 0 ] || { echo "corpus.sh: no files for $kind" >&2; exit 1; }
    # Step through the list so that the share spans many folders.
    local step=$(( count / 400 + 1 ))
    mkdir -p "$out/$kind"
    local start
    for start in $(seq 0 $((step - 1))); do
        while read -r path; do
            [ -r "$path" ] || continue
            local size; size=$(stat -c %s "$path")
            n=$((n + 1))
            local base; base=$(basename "$path")
            local name; name=$(printf '%04d-%s' "$n" "${base//[^A-Za-z0-9._+-]/_}")
            cp "$path" "$out/$kind/$name"
            printf '%s/%s %d %s\n' "$kind" "$name" "$size" "$path" >> "$out/LIST"
            total=$((total + size))
            [ "$total" -lt "$share" ] || break 2
        done < <(awk -v s="$step" -v o="$start" 'NR % s == o' "$list")
    done
    rm -f "$list"
    printf '%-7s %4d files %10d bytes\n' "$kind" "$n" "$total"
}

pick text "/usr/share/common-licenses" "/usr/share/doc -not -name *.gz -not -name *.png -not -name *.jpg"
pick source "/usr/include -name *.h" "/usr/include -name *.hpp"
pick binary "/usr/bin" "/usr/lib/x86_64-linux-gnu -name *.so*"
pick packed "/usr/share -name *.gz" "/usr/share -name *.png" "/usr/share/java -name *.jar"
printf 'total   %4d files %10d bytes\n' "$(wc -l < "$out/LIST")" "$(du -cb "$out"/*/ | tail -1 | cut -f1)"
