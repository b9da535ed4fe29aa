#!/bin/sh
# A longer fuzz campaign: every target for MINUTES minutes (default 30),
# one after the other, from a fresh starting corpus plus what earlier
# campaigns kept in WORK. Findings do not stop a run (fork mode ignores
# them and goes on); they are left in WORK/artifacts/<target>/.
# Usage: fuzz/campaign.sh [MINUTES [WORK [BIN_DIR [MKSETUP]]]]
set -u
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
minutes=${1:-30}
work=${2:-$top/build/fuzz/campaign}
bin=${3:-$top/build/fuzz/bin}
mksetup=${4:-$top/build/bin/mksetup}
[ -x "$mksetup" ] || mksetup=$bin/mksetup
mkdir -p "$work"
"$here/make-corpus.sh" "$work/start" "$mksetup" || exit 1
for target in fuzz_decoder fuzz_entry fuzz_reader; do
  mkdir -p "$work/corpus/$target" "$work/artifacts/$target"
  "$bin/$target" "$work/corpus/$target" "$work/start/$target" \
    -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
    -max_total_time=$((minutes * 60)) -timeout=10 -rss_limit_mb=2048 \
    -max_len=16384 -artifact_prefix="$work/artifacts/$target/" \
    >"$work/$target.log" 2>&1
  last=$(grep -E '^#[0-9]+:' "$work/$target.log" | tail -n 1)
  total=$(echo "$last" | sed -n 's/^#\([0-9]*\):.*/\1/p')
  cov=$(echo "$last" | sed -n 's/.* cov: \([0-9]*\).*/\1/p')
  counts=$(echo "$last" | sed -n 's/.*oom\/timeout\/crash: \([0-9/]*\).*/\1/p')
  found=$(ls "$work/artifacts/$target" | wc -l)
  echo "$target: ${total:-?} executions in $minutes min, coverage ${cov:-?}," \
    "oom/timeout/crash ${counts:-?}, $found input(s) kept in $work/artifacts/$target"
done
