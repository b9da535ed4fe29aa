#!/usr/bin/env bash
# How install and uninstall time grow with the number of files: packages
# of 500, 2,000 and 5,000 small files (a few dozen bytes each, in nested
# folders, six shortcuts in [Links]), each installed silently under Wine
# and removed with its quiet uninstall command.
#
#   bench/any-size.sh [WORK_DIR [RUNS]]     (defaults build/bench/any-size, 3)
#   SIZES="500 2000 5000"                   the packages' numbers of files
#   BIN_DIR=build/bin                       mksetup and the stubs
#
# Each run installs every package once (`setup.exe /S /D=C:\Program
# Files\ZBench N`), then removes it with the registry's
# QuietUninstallString, the packages in turn; RUNS runs, wall clock, the
# best of them. Every run is checked, and the script fails loudly on the
# first fault: exit code 0 from both; after the install, every file in
# place with its bytes, the shortcuts made, the quiet uninstall command
# registered; after the uninstall, the prefix's drive C holds exactly what
# it held before the first install (the uninstaller itself,
# C:\windows\Duvedozi.exe, stays: every installation shares it), and the
# uninstall entry is gone.
#
# Wine's start and exit are timed alike and taken off before dividing by
# the number of files: `setup.exe /S /X` (exit code 1, an unknown switch,
# found before anything is read or written) for the install, the
# uninstaller on a log that does not exist (exit code 5) for the removal.
# Prints a table (Markdown), the per-file time of the largest package over
# that of the smallest (the aim is at most 1.3), and what each further file
# costs from one package to the next.
set -euo pipefail
export LC_ALL=C
root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$root/build/bench/any-size}
runs=${2:-3}
sizes=${SIZES:-500 2000 5000}
BIN=${BIN_DIR:-$root/build/bin}
fail() { echo "any-size.sh: $*" >&2; exit 1; }
mkdir -p "$work"
work=$(cd "$work" && pwd)
. "$root/bench/wine-run.sh"
bench_prefix
stub=$BIN/setup-stub$WINE_SUFFIX.exe
if [ ! -x "$BIN/mksetup" ] || [ ! -f "$stub" ]; then fail "$BIN/mksetup or $stub missing: run make build"; fi
: >"$work/wine.log"

echo "# any-size.sh: $WINE_LABEL"
echo "# $(wine --version), $runs runs, the best of them (wall clock)"

# The packages: file i of n lies in one of eight top folders, one of
# twelve below it, and every third one folder deeper; its text names it,
# 24 to 83 bytes.
rm -rf "$work/pkg"
# shellcheck disable=SC2086 # one argument per package
python3 - "$work/pkg" $sizes <<'PY'
import os, sys
out = sys.argv[1]
tops = ['bin', 'lib', 'data', 'locale', 'plugins', 'help', 'themes', 'samples']
exts = ['txt', 'dat', 'ini', 'xml', 'cfg']
for n in map(int, sys.argv[2:]):
    pkg = os.path.join(out, str(n))
    names = []
    for i in range(n):
        parts = [tops[i % 8], 'part%02d' % (i // 8 % 12)]
        if i % 3 == 0:
            parts.append('res')
        parts.append('item%05d.%s' % (i, exts[i % 5]))
        path = os.path.join(pkg, 'files', *parts)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        text = 'file %d of the %d-file package ' % (i, n)
        text = (text + 'abcdefghijklmnopqrstuvwxyz' * 4)[:24 + i * 37 % 60] + '\n'
        with open(path, 'w') as f:
            f.write(text)
        names.append('\\'.join(parts))
    with open(os.path.join(pkg, 'setup.inf'), 'w') as f:
        f.write('[Install]\nDefDir=C:\\Program Files\\ZBench %d\nAppName=ZBench %d\n'
                'AppBy=zsetup benchmarks\nCompReg=zbench\nVerNum=1.0\n[Links]\n' % (n, n))
        for k, letter in enumerate('abcdef'):
            f.write('link%s=%s\nlinkfile%s=Item %d.lnk\n' % (letter, names[k], letter, k + 1))
    with open(os.path.join(pkg, 'license.txt'), 'w') as f:
        f.write('A benchmark package; nothing to agree to.\n')
PY
links=6
for n in $sizes; do
  pkg=$work/pkg/$n
  "$BIN/mksetup" build --inf "$pkg/setup.inf" --license "$pkg/license.txt" --root "$pkg/files" \
    --stub "$stub" -o "$pkg/setup.exe" >"$pkg/build.log" 2>&1 ||
    { cat "$pkg/build.log" >&2; fail "mksetup build of the $n-file package failed"; }
  echo "# $n files: setup.exe $(stat -c %s "$pkg/setup.exe") bytes"
done

drive=$WINEPREFIX/drive_c
snapshot() { find "$drive" -path "$drive/windows/Duvedozi.exe" -prune -o -print | sort; }
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'

# One installation and removal of the n-file package, checked; appends
# the times to $work/install-N and $work/uninstall-N.
cycle() { # N
  local n=$1 pkg=$work/pkg/$1 dir="C:\\Program Files\\ZBench $1" quiet
  local target; target=$(host_path "$dir")
  wine_run "$pkg/setup.exe" "/S /D=$dir"
  [ "$wine_rc" -eq 0 ] || fail "$n files: setup.exe /S ended with exit code $wine_rc"
  echo "$wine_ms" >>"$work/install-$n"
  diff -rq -x License.txt -x Uninstal.inf "$pkg/files" "$target" >"$work/diff.txt" ||
    { head "$work/diff.txt" >&2; fail "$n files: the installed files differ from the package's"; }
  if [ ! -f "$target/License.txt" ] || [ ! -f "$target/Uninstal.inf" ]; then
    fail "$n files: License.txt or Uninstal.inf missing in $target"
  fi
  [ "$(find "$drive" -path "*/ZBench $n/*.lnk" | wc -l)" -eq "$links" ] ||
    fail "$n files: not $links shortcuts in the Start menu"
  quiet=$(wine reg query "$uninstall_key\\ZBench $n" /v QuietUninstallString 2>/dev/null | tr -d '\r' |
    sed -n 's/^ *QuietUninstallString *REG_SZ *//p')
  [ -n "$quiet" ] || fail "$n files: no QuietUninstallString in $uninstall_key\\ZBench $n"
  wine_run "${quiet%% *}" "${quiet#* }"
  [ "$wine_rc" -eq 0 ] || fail "$n files: $quiet ended with exit code $wine_rc"
  echo "$wine_ms" >>"$work/uninstall-$n"
  snapshot >"$work/after.txt"
  diff "$work/before.txt" "$work/after.txt" >"$work/diff.txt" ||
    { head -20 "$work/diff.txt" >&2; fail "$n files: the uninstall left the prefix otherwise than it found it"; }
  ! wine reg query "$uninstall_key\\ZBench $n" >/dev/null 2>&1 ||
    fail "$n files: the uninstall entry is still there"
}

snapshot >"$work/before.txt"
rm -f "$work"/install-* "$work"/uninstall-* "$work"/start-*
first=${sizes%% *}
cycle "$first" # warms the prefix and the file cache
rm -f "$work"/install-* "$work"/uninstall-*
for run in $(seq "$runs"); do
  wine_run "$work/pkg/$first/setup.exe" "/S /X"
  [ "$wine_rc" -eq 1 ] || fail "setup.exe /S /X ended with exit code $wine_rc, not 1"
  echo "$wine_ms" >>"$work/start-install"
  wine_run 'C:\windows\Duvedozi.exe' '/S C:\ZBench-none\uninstal.inf'
  [ "$wine_rc" -eq 5 ] || fail "the uninstaller on a missing log ended with exit code $wine_rc, not 5"
  echo "$wine_ms" >>"$work/start-uninstall"
  for n in $sizes; do
    cycle "$n"
    echo "# run $run, $n files: install $(tail -n1 "$work/install-$n") ms, uninstall $(tail -n1 "$work/uninstall-$n") ms"
  done
done

si=$(best "$work/start-install") su=$(best "$work/start-uninstall")
echo
echo "$WINE_LABEL"
echo "Best of $runs runs, wall clock. Wine's start and exit, taken off before dividing:"
echo "${si} ms for the setup program, ${su} ms for the uninstaller."
echo
echo "| Files | Install s | Install ms per file | Uninstall s | Uninstall ms per file |"
echo "|------:|----------:|--------------------:|------------:|----------------------:|"
for n in $sizes; do
  awk -v n="$n" -v i="$(best "$work/install-$n")" -v u="$(best "$work/uninstall-$n")" \
    -v si="$si" -v su="$su" 'BEGIN {
      printf "| %d | %.2f | %.3f | %.2f | %.3f |\n", n, i / 1000, (i - si) / n, u / 1000, (u - su) / n }'
done
last=${sizes##* }
awk -v a="$first" -v b="$last" -v ia="$(best "$work/install-$first")" -v ib="$(best "$work/install-$last")" \
  -v ua="$(best "$work/uninstall-$first")" -v ub="$(best "$work/uninstall-$last")" -v si="$si" -v su="$su" 'BEGIN {
    ri = ((ib - si) / b) / ((ia - si) / a); ru = ((ub - su) / b) / ((ua - su) / a)
    printf "\nPer-file time, %d files over %d: install %.2f, uninstall %.2f (aim: at most 1.3; %s).\n",
      b, a, ri, ru, (ri <= 1.3 && ru <= 1.3) ? "met" : "not met"
    printf "Without taking Wine'"'"'s start off: install %.2f, uninstall %.2f.\n", (ib / b) / (ia / a), (ub / b) / (ua / a) }'
# What each further file costs, from one package to the next: the
# installation's fixed work (the uninstaller's copy, the registry, the
# shortcuts) drops out, so growth faster than linear shows undiluted.
echo
prev=""
for n in $sizes; do
  if [ -n "$prev" ]; then
    awk -v a="$prev" -v b="$n" -v ia="$(best "$work/install-$prev")" -v ib="$(best "$work/install-$n")" \
      -v ua="$(best "$work/uninstall-$prev")" -v ub="$(best "$work/uninstall-$n")" 'BEGIN {
        printf "Each file from %d to %d: install %.3f ms, uninstall %.3f ms.\n", a, b, (ib - ia) / (b - a), (ub - ua) / (b - a) }'
  fi
  prev=$n
done
