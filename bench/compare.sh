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
#    And mksetup itself on a setup program holding the whole corpus (files
#    of consecutive corpus files, as many as a setup program records),
#    against lhasa on the same streams (lh1tool setup wraps its entries):
#    `mksetup verify` against `lhasa -tq`, `mksetup extract` against
#    `lhasa -xqw`, and verify against extract (verify decodes every entry
#    once and writes nothing, so it must not be the slower).
# 2. In process: our decoder against the plain 1988 decoder (lh1tool inproc).
# 3. bench/compare-encoder.sh's lines (jLHA against our encoder), when the
#    script is there; ENCODER=0 leaves them out once jLHA's streams are
#    there from an earlier run.
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
# PEER names the peer in the line (lhasa unless set).
race() {
    local label=$1; shift
    local name=${PEER:-lhasa}
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
    printf '%-34s ours %6.3f s  %s %6.3f s  ratio %5.2fx   (wall %6.3f / %6.3f s)\n' \
        "$label" "$oc" "$name" "$pc" "$ratio" "$ow" "$pw"
}

echo "# whole process, median of $runs alternating runs (CPU s; ratio = lhasa / ours)"
race "test, our streams" "$tool" test "$work/ours.lzh" -- lhasa -tq "$work/ours.lzh"
race "extract, our streams" "$tool" extract "$work/ours.lzh" "$work/out-ours" -- \
    lhasa -xqw="$work/out-peer" "$work/ours.lzh"

# The setup program: the corpus in LIST order as files of consecutive
# corpus files, 120 of them (a setup program records at most 157).
mksetup=$BIN/mksetup
if [ ! -f "$work/setup.lzh" ]; then
    rm -rf "$work/app" && mkdir -p "$work/app"
    total=$(du -cb "$corpus"/*/ | tail -1 | cut -f1)
    chunk=$((total / 120 + 1)) n=0 size=0
    while read -r name _; do
        if [ "$n" -eq 0 ] || [ "$size" -ge "$chunk" ]; then n=$((n + 1)); size=0; fi
        cat "$corpus/$name" >> "$work/app/$(printf 'f%03d.bin' $n)"
        size=$((size + $(stat -c %s "$corpus/$name")))
    done < "$corpus/LIST"
    printf '[Install]\r\nDefDir=C:\\Program Files\\Bench\r\nAppName=Bench\r\nAppBy=bench\r\nCompReg=bench\r\nVerNum=1.0\r\nFileNum=%d\r\n' \
        "$n" > "$work/setup.inf"
    printf 'license\r\n' > "$work/license.txt"
    # The real stub when the Win32 build made it, else one of its shape.
    stub=$BIN/setup-stub.exe
    if [ ! -f "$stub" ]; then
        stub=$work/stub.exe
        head -c 38912 /dev/zero > "$stub" && printf '\r\n' >> "$stub"
    fi
    "$mksetup" build --inf "$work/setup.inf" --license "$work/license.txt" --root "$work/app" \
        --stub "$stub" -o "$work/setup.exe" >/dev/null
    "$tool" setup "$work/setup.lzh" "$work/setup.exe"
    rm -rf "$work/app"
fi
lhasa -tq "$work/setup.lzh" || { echo "compare.sh: lhasa rejects the setup program's streams" >&2; exit 1; }
"$mksetup" verify "$work/setup.exe" >/dev/null || { echo "compare.sh: mksetup verify fails" >&2; exit 1; }
echo "# mksetup on a setup program of $(stat -c %s "$work/setup.exe") bytes, lhasa on the same streams (ratio = peer / ours)"
race "verify, setup program" "$mksetup" verify "$work/setup.exe" -- lhasa -tq "$work/setup.lzh"
race "extract, setup program" "$mksetup" extract "$work/setup.exe" -d "$work/out-ours" -- \
    lhasa -xqw="$work/out-peer" "$work/setup.lzh"
PEER=extract race "verify vs extract, setup program" "$mksetup" verify "$work/setup.exe" -- \
    "$mksetup" extract "$work/setup.exe" -d "$work/out-peer"

if [ -x "$here/compare-encoder.sh" ] || [ -f "$here/compare-encoder.sh" ]; then
    if [ "${ENCODER:-1}" != 0 ] || [ ! -d "$work/encoder/jlha-streams" ]; then
        echo "# encoder: bench/compare-encoder.sh (jLHA against ours)"
        bash "$here/compare-encoder.sh" "$corpus" "$work/encoder" "$runs" || echo "# compare-encoder.sh failed"
    fi
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
