#!/bin/bash
# The Wine install figure: a 20 MB application made from the corpus, packed by mksetup behind exttool.exe, which runs the
# stub's own ExtractEntry under Wine, against `mksetup extract` decoding
# the same entries to disk natively.
#
#   bench/install-bench.sh CORPUS_DIR [WORK_DIR [RUNS]]
#
# Timed, wall clock, median of RUNS alternating runs:
#   wine:   `wine setup.exe rewind . ; always F1 ; always F2 ...` - every
#           entry (setup information, license, each application file)
#           read, decoded and written by ExtractEntry into one folder; the
#           wineserver is kept running, and the same command with
#           "rewind" alone (Wine's start and exit) is timed and taken off.
#   native: `mksetup extract setup.exe -d DIR` - the same entries.
# Prints both and their ratio (Wine over native; the goal is 1.5 or less).
set -euo pipefail
export LC_ALL=C
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
BIN=${BIN_DIR:-$root/build/bin}
corpus=${1:?usage: install-bench.sh CORPUS_DIR [WORK_DIR [RUNS]]}
work=${2:-$root/build/bench-install}
runs=${3:-5}
mkdir -p "$work"
work=$(cd "$work" && pwd)
exttool=$BIN/wine/exttool.exe
[ -f "$exttool" ] || { echo "install-bench.sh: $exttool missing (win32 build)" >&2; exit 1; }
export WINEPREFIX=${WINEPREFIX:-$work/prefix} WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"

# The application: 100 files of about 200 KB, each made of consecutive
# corpus files (as LIST names them, so each kind is in it), 20 MB in all;
# a setup program records at most 157 files.
rm -rf "$work/app" && mkdir -p "$work/app"
n=0 size=0 total=0
while read -r name _; do
    [ "$total" -lt $((20 * 1024 * 1024)) ] || break
    if [ "$n" -eq 0 ] || [ "$size" -ge $((200 * 1024)) ]; then n=$((n + 1)); size=0; fi
    f=$corpus/$name
    cat "$f" >> "$work/app/$(printf 'f%03d.bin' $n)"
    s=$(stat -c %s "$f"); size=$((size + s)); total=$((total + s))
done < "$corpus/LIST"
cat > "$work/setup.inf" <<INF
[Install]
DefDir=C:\\Program Files\\Bench
AppName=Bench
AppBy=bench
CompReg=bench
VerNum=1.0
FileNum=$n
INF
echo "license" > "$work/license.txt"
"$BIN/mksetup" build --inf "$work/setup.inf" --license "$work/license.txt" --root "$work/app" \
    --stub "$exttool" -o "$work/setup.exe" >/dev/null
bytes=$(du -cb "$work/app" | tail -1 | cut -f1)
echo "# application: $n files, $bytes bytes; setup.exe $(stat -c %s "$work/setup.exe") bytes"

winpath() { echo "Z:$1" | sed 's|/|\\|g'; }
out=$(winpath "$work/out-wine")
args="rewind . ; always $out\\inf ; always $out\\lic"
for i in $(seq "$n"); do args="$args ; always $out\\$(printf 'f%03d.bin' "$i")"; done

[ -d "$WINEPREFIX" ] || { wineboot -i >/dev/null 2>&1 || true; }
wineserver -p 60 2>/dev/null || true
wine "$exttool" rewind . >/dev/null 2>&1 || true # warm up

now() { date +%s.%N; }
: > "$work/times"
for _ in $(seq "$runs"); do
    rm -rf "$work/out-wine" "$work/out-native"; mkdir -p "$work/out-wine"
    t0=$(now); wine "$work/setup.exe" rewind . >/dev/null 2>&1; t1=$(now)
    # shellcheck disable=SC2086
    wine "$work/setup.exe" $args > "$work/wine.log" 2>&1; t2=$(now)
    "$BIN/mksetup" extract "$work/setup.exe" -d "$work/out-native" >/dev/null; t3=$(now)
    echo "$t0 $t1 $t2 $t3" >> "$work/times"
done
# Every file came out of Wine whole.
for i in $(seq "$n"); do
    cmp -s "$work/app/$(printf 'f%03d.bin' "$i")" "$work/out-wine/$(printf 'f%03d.bin' "$i")" ||
        { echo "install-bench.sh: f$i differs after the Wine run" >&2; exit 1; }
done
median() { sort -g | awk '{v[NR]=$1} END{ if (NR%2) print v[(NR+1)/2]; else print (v[NR/2]+v[NR/2+1])/2 }'; }
start=$(awk '{print $2 - $1}' "$work/times" | median)
wine_all=$(awk '{print $3 - $2}' "$work/times" | median)
native=$(awk '{print $4 - $3}' "$work/times" | median)
ratio=$(awk '{print ($3 - $2 - ($2 - $1)) / ($4 - $3)}' "$work/times" | median)
ratio_all=$(awk '{print ($3 - $2) / ($4 - $3)}' "$work/times" | median)
printf 'install under Wine %6.3f s (Wine start and exit %5.3f s)  native extract %6.3f s  ratio %4.2fx (%4.2fx with start)\n' \
    "$wine_all" "$start" "$native" "$ratio" "$ratio_all"
wineserver -k 2>/dev/null || true
