#!/usr/bin/env bash
# Runs the Win32 test programs under Wine: tests/wine/run.sh [PROGRAM...]
# PROGRAM names test programs (test_extract, ...) to run; default all.
#
# Where this machine runs 32-bit programs the suite runs the product's
# i686 programs ($BIN_DIR/wine/test_*.exe against setup-stub.exe) in a
# 32-bit prefix; where it does not, the same test programs built for
# x86_64 ($BIN_DIR/wine64, setup-stub64.exe) run in a 64-bit prefix under
# wine64 (scripts/wine-env.sh decides, by starting a 32-bit program). The
# first line and the summary line say which.
#
# Uses the prefix $WINEPREFIX (default build/wine-prefix, or
# build/wine-prefix-win64, created when missing) with one wineserver kept
# alive for the whole run, and its own Xvfb when there is no DISPLAY. Ends
# with "N passed, N failed, N skipped" over all programs; exit status 1 on
# any failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/wine-env.sh" || exit 1
echo "$WINE_LABEL"
BIN_DIR=${BIN_DIR:-$root/build/bin}
WINE_BIN=$BIN_DIR/wine$WINE_SUFFIX
TEST_TIMEOUT=${TEST_TIMEOUT:-600}
export WINEPREFIX=${WINEPREFIX:-$root/build/wine-prefix$WINE_PREFIX_SUFFIX}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-winemenubuilder.exe=d;mscoree=d;mshtml=d}

xvfb_pid="" small_drive=""
cleanup() {
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  [ -n "$small_drive" ] && umount "$small_drive" 2>/dev/null
}
trap cleanup EXIT

if [ ! -d "$WINE_BIN" ]; then
  echo "error: $WINE_BIN not found; run 'make build' first" >&2
  exit 1
fi

# A display of our own when there is none: Xvfb picks a free number.
if [ -z "${DISPLAY:-}" ]; then
  displayfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$displayfile" ] && break; sleep 0.1; done
  if [ ! -s "$displayfile" ]; then
    echo "error: Xvfb did not start" >&2
    exit 1
  fi
  export DISPLAY=":$(head -n1 "$displayfile")"
  rm -f "$displayfile"
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "creating Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
fi
# A drive that fills up: X: on a 64 KB tmpfs, where this user may mount one
# (the full-disk case is reported as skipped otherwise).
if [ -z "${WTEST_SMALL_DRIVE:-}" ]; then
  mkdir -p "$root/build/small-drive"
  umount "$root/build/small-drive" 2>/dev/null
  if mount -t tmpfs -o size=64k zsetup-small "$root/build/small-drive" 2>/dev/null; then
    small_drive=$root/build/small-drive
    ln -sfn "$small_drive" "$WINEPREFIX/dosdevices/x:"
    export WTEST_SMALL_DRIVE=X:
  fi
fi
# The server and Wine's own services outlive every program; they must not
# hold our output pipes open, so they start here with their output elsewhere.
wineserver -p >/dev/null 2>&1
wineboot >/dev/null 2>&1

total_passed=0 total_failed=0 total_skipped=0
# Adds one program's "N passed, N failed[, N skipped]" to the totals; a
# program that ends without its summary line, or with a failure status,
# counts as one failed test more.
tally() { # name, log, status
  local summary p f k
  summary=$(grep -aE '^[0-9]+ passed, [0-9]+ failed' "$2" | tail -n1)
  if [ -z "$summary" ]; then
    echo "FAIL $1: no summary (status $3)"
    total_failed=$((total_failed + 1))
    return
  fi
  p=${summary%% passed*}
  f=${summary#*, }; f=${f%% failed*}
  k=0
  case "$summary" in *skipped*) k=${summary##*failed, }; k=${k%% skipped*} ;; esac
  total_passed=$((total_passed + p))
  total_failed=$((total_failed + f))
  total_skipped=$((total_skipped + k))
  if [ "$3" -ne 0 ] && [ "$f" -eq 0 ]; then
    echo "FAIL $1: exit status $3"
    total_failed=$((total_failed + 1))
  fi
}

log=$(mktemp)
# The product's layout is checked on every machine; the x86_64 build's
# too where it is the one that runs.
echo "== stub layout"
"$root/tests/wine/check-stub.sh" "$BIN_DIR/setup-stub.exe" "$BIN_DIR/wine/exttool.exe" | tee "$log"
tally check-stub "$log" "${PIPESTATUS[0]}"
if [ "$WINE_BITS" = 64 ]; then
  echo "== stub layout (x86_64 build)"
  STUB_SIZE=51202 OBJDUMP=x86_64-w64-mingw32-objdump "$root/tests/wine/check-stub.sh" \
    "$BIN_DIR/setup-stub64.exe" "$WINE_BIN/exttool.exe" | tee "$log"
  tally check-stub64 "$log" "${PIPESTATUS[0]}"
fi

# The signed setup program test_integrity installs, made and checked on the
# host (osslsigncode, openssl).
echo "== signed setup program"
"$root/tests/wine/make-signed.sh" "$BIN_DIR/mksetup" "$BIN_DIR/setup-stub$WINE_SUFFIX.exe" \
  "$BIN_DIR/example/hello$WINE_SUFFIX" "$WINE_BIN/fixtures/signed-setup.exe" | tee "$log"
tally make-signed "$log" "${PIPESTATUS[0]}"

# The LZMA setup programs and their LZHUF twins (examples/hello and a
# package of mixed files), made and checked on the host.
echo "== LZMA setup programs"
"$root/tests/wine/make-lzma.sh" "$BIN_DIR/mksetup" "$BIN_DIR/setup-stub$WINE_SUFFIX.exe" \
  "$BIN_DIR/example/hello$WINE_SUFFIX" "$WINE_BIN/fixtures" | tee "$log"
tally make-lzma "$log" "${PIPESTATUS[0]}"

if [ $# -gt 0 ]; then
  programs=()
  for name in "$@"; do programs+=("$WINE_BIN/${name%.exe}.exe"); done
else
  programs=("$WINE_BIN"/test_*.exe)
fi
for exe in "${programs[@]}"; do
  name=$(basename "$exe" .exe)
  echo "== $name"
  if [ ! -f "$exe" ]; then
    echo "FAIL $name: $exe not found"
    total_failed=$((total_failed + 1))
    continue
  fi
  # Into a file, not a pipe: a process left behind must not stall the run.
  (cd "$(dirname "$exe")" && exec timeout -k 10 "$TEST_TIMEOUT" wine "$exe") >"$log" 2>&1 </dev/null
  status=$?
  cat "$log"
  [ "$status" -eq 124 ] && echo "FAIL $name: killed after ${TEST_TIMEOUT} s"
  tally "$name" "$log" "$status"
done
rm -f "$log"

echo "$WINE_LABEL: $total_passed passed, $total_failed failed, $total_skipped skipped"
[ "$total_failed" -eq 0 ]
