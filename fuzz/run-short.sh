#!/bin/sh
# Runs every fuzz target for a while (60 s each unless FUZZ_SECONDS says
# otherwise) from a starting corpus made afresh from real setup programs,
# after replaying the saved regression inputs. Fails on any crash, sanitizer
# report, broken invariant or timeout; prints the executions per target.
# Usage: fuzz/run-short.sh [BIN_DIR [MKSETUP]]
set -u
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
bin=${1:-$top/build/fuzz/bin}
mksetup=${2:-$top/build/bin/mksetup}
[ -x "$mksetup" ] || mksetup=$bin/mksetup
seconds=${FUZZ_SECONDS:-60}
work=${FUZZ_WORK:-$(mktemp -d)}
mkdir -p "$work"
"$here/make-corpus.sh" "$work/corpus" "$mksetup" || exit 1
status=0
for target in fuzz_decoder fuzz_entry fuzz_reader fuzz_lzma; do
  [ -x "$bin/$target" ] || { echo "run-short: no $bin/$target" >&2; exit 1; }
  mkdir -p "$work/artifacts/$target"
  # Saved inputs of past findings first: each must pass now.
  for input in "$here"/regressions/*; do
    [ -f "$input" ] || continue
    case $(basename "$input") in "${target#fuzz_}"-*) ;; *) continue ;; esac
    if ! "$bin/$target" "$input" >"$work/$target.replay.log" 2>&1; then
      echo "run-short: $target fails on $(basename "$input")" >&2
      tail -n 30 "$work/$target.replay.log" >&2
      status=1
    fi
  done
  "$bin/$target" "$work/corpus/$target" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -max_len=16384 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/$target/" >"$work/$target.log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$target.log")
  echo "$target: ${runs:-?} executions in ${seconds} s, exit status $rc"
  if [ $rc -ne 0 ]; then
    status=1
    grep -E 'ERROR|invariant broken|SUMMARY|#[0-9]+ 0x' "$work/$target.log" | head -n 25 >&2
    ls "$work/artifacts/$target" >&2
  fi
done
[ $status -eq 0 ] && [ -z "${FUZZ_WORK:-}" ] && rm -rf "$work"
[ $status -ne 0 ] && echo "run-short: logs and inputs in $work" >&2
exit $status
