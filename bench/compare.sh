#!/bin/bash
# Decoder figures against the peers, on the corpus of bench/corpus.sh:
#
#   bench/compare.sh [WORK_DIR [RUNS]]      (defaults build/bench, 5)
#
# 1. Whole process against whole process on identical streams: our
#    decoder (lh1tool, built from the stub's decoder source) and lhasa,
#    testing (decode and check every CRC) and extracting to disk, on
#    - our encoder's streams wrapped as an -lh1- archive, and
#    - jLHA's -lh1- streams (from bench/compare-encoder.sh) wrapped alike.
# 2. In process: our decoder against the plain 1988 decoder (lh1tool inproc).
# 3. bench/compare-encoder.sh's lines (jLHA against our encoder), when the
#    script is there.
# 4. INSTALL=1 adds bench/install-bench.sh (the Wine install figure).
#
# Runs alternate (ours, peer, ours, peer, ...); each figure is the median
# of RUNS, every ratio is the peer's time over ours from the same run
# (above 1: ours is faster). Times are CPU seconds (user + system) of the
# process, which other load on the machine disturbs less than wall time;
# wall-clock medians are printed beside them. Nothing is fetched.
set -euo pipefail
export LC_ALL=C
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
BIN=${BIN_DIR:-$root/build/bin}
work=${1:-$root/build/bench}
runs=${2:-5}
mkdir -p "$work"
work=$(cd "$work" && pwd)
tool=$BIN/lh1tool
[ -x "$tool" ] || { echo "compare.sh: $tool missing; run 'make build' first" >&2; exit 1; }
command -v lhasa >/dev/null || { echo "compare.sh: lhasa is missing (package lhasa)" >&2; exit 1; }

corpus=$work/corpus
[ -f "$corpus/LIST" ] || bash "$here/corpus.sh" "$corpus" >&2
echo "# corpus: $(wc -l < "$corpus/LIST") files, $(du -cb "$corpus"/*/ | tail -1 | cut -f1) bytes in $corpus"

[ -f "$work/ours.lzh" ] || "$tool" pack "$work/ours.lzh" "$corpus" 9
lhasa -tq "$work/ours.lzh" || { echo "compare.sh: lhasa rejects our streams" >&2; exit 1; }
"$tool" test "$work/ours.lzh" || { echo "compare.sh: our decoder rejects our streams" >&2; exit 1; }

# Median of the numbers on standard input.
median() { sort -g | awk '{v[NR]=$1} END{ if (NR%2) print v[(NR+1)/2]; else print (v[NR/2]+v[NR/2+1])/2 }'; }

# timed FILE COMMAND...: appends "cpu wall" of one run to FILE.
timed() {
    local out=$1; shift
    /usr/bin/time -f "%U %S %e" -o "$work/.time" "$@" >/dev/null 2>&1 ||
        { echo "compare.sh: failed: $*" >&2; exit 1; }
    awk '{printf "%.3f %.3f\n", $1 + $2, $3}' "$work/.time" >> "$out"
}

# race LABEL OURS_COMMAND -- PEER_COMMAND: alternating runs, one line.
race() {
    local label=$1; shift
    local ours=() peer=()
    while [ "$1" != "--" ]; do ours+=("$1"); shift; done
    shift
    peer=("$@")
    : > "$work/.ours"; : > "$work/.peer"
    for _ in $(seq "$runs"); do
        rm -rf "$work/out-ours" "$work/out-peer"; mkdir -p "$work/out-ours" "$work/out-peer"
        timed "$work/.ours" "${ours[@]}"
        timed "$work/.peer" "${peer[@]}"
    done
    local ratio oc pc ow pw
    ratio=$(paste "$work/.ours" "$work/.peer" | awk '{print $3 / $1}' | median)
    oc=$(cut -d' ' -f1 "$work/.ours" | median); pc=$(cut -d' ' -f1 "$work/.peer" | median)
    ow=$(cut -d' ' -f2 "$work/.ours" | median); pw=$(cut -d' ' -f2 "$work/.peer" | median)
    printf '%-34s ours %6.3f s  lhasa %6.3f s  ratio %5.2fx   (wall %6.3f / %6.3f s)\n' \
        "$label" "$oc" "$pc" "$ratio" "$ow" "$pw"
}

echo "# whole process, median of $runs alternating runs (CPU s; ratio = lhasa / ours)"
race "test, our streams" "$tool" test "$work/ours.lzh" -- lhasa -tq "$work/ours.lzh"
race "extract, our streams" "$tool" extract "$work/ours.lzh" "$work/out-ours" -- \
    lhasa -xqw="$work/out-peer" "$work/ours.lzh"

if [ -x "$here/compare-encoder.sh" ] || [ -f "$here/compare-encoder.sh" ]; then
    echo "# encoder: bench/compare-encoder.sh (jLHA against ours)"
    bash "$here/compare-encoder.sh" "$corpus" "$work/encoder" "$runs" || echo "# compare-encoder.sh failed"
    streams=$work/encoder/jlha-streams
    if [ -d "$streams" ]; then
        [ -f "$work/jlha.lzh" ] || "$tool" wrap "$work/jlha.lzh" "$corpus" "$streams"
        if lhasa -tq "$work/jlha.lzh" && "$tool" test "$work/jlha.lzh"; then
            echo "# whole process on jLHA's streams"
            race "test, jLHA's streams" "$tool" test "$work/jlha.lzh" -- lhasa -tq "$work/jlha.lzh"
            race "extract, jLHA's streams" "$tool" extract "$work/jlha.lzh" "$work/out-ours" -- \
                lhasa -xqw="$work/out-peer" "$work/jlha.lzh"
        else
            echo "# jLHA's streams were not read back whole; no figure"
        fi
    fi
fi

echo "# in process, our decoder against the plain 1988 decoder (CPU time, median of $runs)"
"$tool" inproc "$work/ours.lzh" "$runs"

if [ "${INSTALL:-0}" = 1 ]; then
    echo "# installation under Wine against native decoding to disk"
    bash "$here/install-bench.sh" "$corpus" "$work/install" "$runs"
fi
rm -rf "$work/out-ours" "$work/out-peer" "$work/.time" "$work/.ours" "$work/.peer"
