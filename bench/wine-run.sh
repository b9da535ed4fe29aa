# shellcheck shell=bash disable=SC2154,SC2034
# Sourced by the benchmarks that time setup programs under Wine
# (any-size.sh, nsis-compare.sh). Expects $root (the source tree) and
# $work (the benchmark's folder, absolute), and a `fail` function.
#
#   bench_prefix        sources scripts/wine-env.sh (WINE_BITS, WINE_LABEL,
#                       WINE_SUFFIX), takes $work/prefix$WINE_PREFIX_SUFFIX as
#                       the prefix (made when missing; never the test
#                       suite's), starts one wineserver for the whole run
#                       and stops it when the script ends.
#   wine_run PROGRAM TAIL
#                       runs PROGRAM under Wine with the command-line tail
#                       TAIL and sets wine_ms (wall clock, milliseconds,
#                       Wine's start and exit included) and wine_rc (the
#                       program's exit code).
#   host_path WINPATH   where C:\... lies in the prefix on this machine.
#   best FILE           the smallest number in FILE (one a line).
#
# Wine quotes an argument that holds a blank, and the programs timed here
# take everything after /D= (or the uninstaller's /S) as a path, quotes
# and all. So TAIL is passed as its words, which Wine joins with one blank
# each: the program sees TAIL as written, as long as it holds no run of
# blanks (none of these does).

bench_prefix() {
  . "$root/scripts/wine-env.sh" || exit 1
  export WINEPREFIX=$work/prefix$WINE_PREFIX_SUFFIX WINEDEBUG=-all
  export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
  trap 'wineserver -k >/dev/null 2>&1; wineserver -w >/dev/null 2>&1' EXIT
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "# creating the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    [ -f "$WINEPREFIX/system.reg" ] || fail "wineboot made no prefix in $WINEPREFIX"
  fi
  # The server outlives every program; its output goes elsewhere than ours.
  wineserver -p >/dev/null 2>&1 </dev/null
  wineboot >/dev/null 2>&1 </dev/null || true
}

wine_run() { # PROGRAM TAIL
  local program=$1 words t0 t1
  read -ra words <<<"$2"
  t0=$(date +%s%N)
  # Into a file, not a pipe: a process left behind must not stall the run.
  wine_rc=0
  timeout -k 10 "${BENCH_TIMEOUT:-1200}" wine "$program" "${words[@]}" >>"$work/wine.log" 2>&1 </dev/null ||
    wine_rc=$?
  t1=$(date +%s%N)
  wine_ms=$(( (t1 - t0) / 1000000 ))
  [ "$wine_rc" -ne 124 ] || fail "$program $2: killed after ${BENCH_TIMEOUT:-1200} s"
}

host_path() { # C:\dir\... -> $WINEPREFIX/drive_c/dir/...
  local rest=${1#?:\\}
  printf '%s/drive_%s/%s\n' "$WINEPREFIX" "$(printf '%s' "${1%%:*}" | tr '[:upper:]' '[:lower:]')" "${rest//\\//}"
}

best() { sort -n "$1" | head -n1; }
