#!/bin/bash
# Compares mksetup's LZHUF encoder with jLHA's -lh1- encoder on the
# benchmark corpus: sizes as a user sees them (jLHA stores a file as -lh0-
# when -lh1- does not shrink it; such files count at their stored size, our
# entries have no stored form) and encoding throughput, both as ratios
# against jLHA.
#
#   bench/compare-encoder.sh [CORPUS_DIR [WORK_DIR [RUNS]]]
#
# CORPUS_DIR defaults to WORK_DIR/corpus, built with bench/corpus.sh when
# missing; WORK_DIR to build/bench-encoder; RUNS (default 5) timed runs of
# each encoder, alternating, of which the median counts. Every stream of
# ours is decoded again with the stub's decoder and checked.
#
# Besides the table it leaves jLHA's raw -lh1- streams in
# WORK_DIR/jlha-streams/<path under CORPUS_DIR> (kept even where jLHA would
# store the file), listed with their original sizes in index.txt there.
#
# Output: lines of whitespace-separated fields, '#' lines are comments:
#   size  <encoder> <level> <bytes> <ratio>            streams alone
#   stored <encoder> <level> <bytes> <ratio>           with per-file headers
#   kind  <kind> <jlha bytes> <ours at -9> <ratio>
#   speed <encoder> <level> <MB/s> <ratio>             median of RUNS
set -euo pipefail
export LC_ALL=C
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
work=${2:-$root/build/bench-encoder}
mkdir -p "$work"
work=$(cd "$work" && pwd)
corpus=${1:-$work/corpus}
runs=${3:-5}
levels="1 5 9"
jar=/usr/share/java/jlha.jar

[ -f "$jar" ] || { echo "compare-encoder.sh: $jar is missing (package jlha-utils)" >&2; exit 1; }
command -v javac >/dev/null || { echo "compare-encoder.sh: javac is missing (package default-jdk-headless)" >&2; exit 1; }
[ -d "$corpus" ] || bash "$here/corpus.sh" "$corpus" >&2
corpus=$(cd "$corpus" && pwd)

# Tools: the Java harness and a native encoder built from the sources as
# they are now, optimised as mksetup is.
mkdir -p "$work/classes"
javac -cp "$jar" -d "$work/classes" "$here/jlha/JlhaPack.java"
${CXX:-g++} -O2 -std=c++20 -I "$root/src/archive" -I "$root/tools/mksetup" \
    "$here/encode_tool.cpp" "$root/tools/mksetup/lzhuf_encoder.cpp" \
    "$root/src/archive/lzhuf_decode.cpp" -o "$work/encode_tool"
jlha() { java -cp "$jar:$work/classes" JlhaPack "$@"; }

list=$work/files.txt
find "$corpus" -type f ! -path "$corpus/LIST" | sort > "$list"
count=$(wc -l < "$list")
[ "$count" -gt 0 ] || { echo "compare-encoder.sh: no files in $corpus" >&2; exit 1; }

# Sizes.
rm -rf "$work/jlha-streams"
jlha sizes "$corpus" "$list" "$work/jlha-streams" > "$work/jlha-sizes.txt"
for level in $levels; do
    "$work/encode_tool" "$level" "$list" sizes > "$work/ours-$level.txt"
done

original=$(awk '{s += $4} END {print s}' "$work/jlha-sizes.txt")
jlha_bytes=$(awk '{s += $3} END {print s}' "$work/jlha-sizes.txt")
# jLHA's archive: each member's header and data, one end byte.
jlha_stored=$(awk '{s += $3 + $5} END {print s + 1}' "$work/jlha-sizes.txt")
stored_files=$(awk '$2 == "-lh0-"' "$work/jlha-sizes.txt" | wc -l)

echo "# encoder comparison: $count files, $original bytes, $stored_files stored by jLHA as -lh0-"
echo "# size: streams alone; stored: with each file's header (jLHA's level-2"
echo "# member header and end byte; our entry's 18 bytes and name)"
echo "size   jlha-lh1 - $jlha_bytes 1.0000"
for level in $levels; do
    awk -v j="$jlha_bytes" -v l="$level" '{s += $2} END {printf "size   ours     %s %d %.4f\n", l, s, s / j}' "$work/ours-$level.txt"
done
echo "stored jlha-lh1 - $jlha_stored 1.0000"
for level in $levels; do
    awk -v j="$jlha_stored" -v l="$level" '{
            s += $2; path = $0; sub(/^[0-9]+ [0-9]+ [0-9]+ /, "", path)
            n = split(path, part, "/"); s += 18 + length(part[n])
        } END {printf "stored ours     %s %d %.4f\n", l, s, s / j}' "$work/ours-$level.txt"
done
# By the corpus's kinds (its first level of folders), at -9.
awk -v c="$corpus/" 'NR == FNR {j[$1] = $3; next} {
        path = $0; sub(/^[0-9]+ [0-9]+ [0-9]+ /, "", path); sub("^" c, "", path)
        kind = path; if (!sub(/\/.*/, "", kind)) kind = "-"
        J[kind] += j[$1]; O[kind] += $2
    } END {for (k in J) printf "kind   %-8s %d %d %.4f\n", k, J[k], O[k], O[k] / J[k]}' \
    "$work/jlha-sizes.txt" "$work/ours-9.txt" | sort

# Throughput: the files are read into memory first; each run encodes them
# all once (jLHA: the second of two passes in one JVM, so that the timed
# pass runs compiled code), the encoders taking turns.
: > "$work/times.txt"
for run in $(seq 1 "$runs"); do
    echo "jlha $(jlha time "$list")" >> "$work/times.txt"
    for level in $levels; do
        echo "ours$level $("$work/encode_tool" "$level" "$list" time)" >> "$work/times.txt"
    done
done
median() { awk -v k="$1" '$1 == k {print $2}' "$work/times.txt" | sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
jlha_ns=$(median jlha)
echo "# speed: MB/s of original data (10^6 bytes), median of $runs runs"
awk -v b="$original" -v t="$jlha_ns" 'BEGIN {printf "speed  jlha-lh1 - %.2f 1.0000\n", b / t * 1000}'
for level in $levels; do
    awk -v b="$original" -v t="$(median "ours$level")" -v j="$jlha_ns" -v l="$level" \
        'BEGIN {printf "speed  ours     %s %.2f %.4f\n", l, b / t * 1000, j / t}'
done
