#!/usr/bin/env bash
# What the integrity check costs: a setup program of about 100 MB (a mix of
# random and text-like data, packed at -1), sealed and the same bytes
# unsealed (trailer zeroed, record dropped), measured alternately:
#   - natively, `mksetup verify` (decodes every entry; the sealed run also
#     computes the CRC and walks the chain);
#   - under Wine, the setup program's start until its first question shows
#     (the backdrop is up by then), which is where the stub checks the
#     record; uidriver.exe notes the time and answers No.
# Usage: bench/seal-bench.sh [WORK_DIR] [RUNS]     (BIN_DIR: build/bin)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$root/build/bench/seal}
runs=${2:-5}
BIN=${BIN_DIR:-$root/build/bin}
. "$root/scripts/wine-env.sh"
WINE_BIN=$BIN/wine$WINE_SUFFIX
mkdir -p "$work/files"

if [ ! -f "$work/sealed.exe" ]; then
  echo "making about 100 MB of application files in $work/files"
  python3 - "$work/files" <<'PY'
import os, random, sys
out = sys.argv[1]
rng = random.Random(7)
words = [''.join(rng.choice('etaoinshrdlucmfwypvbgkjqxz') for _ in range(rng.randint(2, 9)))
         for _ in range(3000)]
for i in range(10):
    with open(os.path.join(out, 'random%d.bin' % i), 'wb') as f:
        f.write(rng.randbytes(7 * 1024 * 1024 + 512 * 1024))
    with open(os.path.join(out, 'text%d.txt' % i), 'w') as f:
        size = 0
        while size < 4 * 1024 * 1024:
            line = ' '.join(rng.choice(words) for _ in range(12)) + '\n'
            f.write(line)
            size += len(line)
PY
  printf '[Install]\r\nDefDir=C:\\SealBench\r\nAppName=Seal Bench\r\n' >"$work/setup.inf"
  printf 'License\r\n' >"$work/license.txt"
  "$BIN/mksetup" build -1 --inf "$work/setup.inf" --license "$work/license.txt" \
    --root "$work/files" --stub "$BIN/setup-stub$WINE_SUFFIX.exe" -o "$work/sealed.exe" >/dev/null
fi
head -c -20 "$work/sealed.exe" >"$work/unsealed.exe"
printf '\0\0\0\0\0\0\0\0' | dd of="$work/unsealed.exe" bs=1 seek=38904 conv=notrunc status=none
size=$(stat -c %s "$work/sealed.exe")
echo "setup program: $size bytes; $runs runs each, alternating"

seconds() { /usr/bin/time -f %e "$@" 2>&1 >/dev/null | tail -n1; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

: >"$work/verify-sealed" ; : >"$work/verify-unsealed"
for _ in $(seq "$runs"); do
  seconds "$BIN/mksetup" verify "$work/sealed.exe" >>"$work/verify-sealed"
  seconds "$BIN/mksetup" verify "$work/unsealed.exe" >>"$work/verify-unsealed"
done
vs=$(median <"$work/verify-sealed") vu=$(median <"$work/verify-unsealed")
echo "native mksetup verify: sealed ${vs} s, without record ${vu} s, ratio $(echo "scale=3; $vs / $vu" | bc)"

export WINEPREFIX=${WINEPREFIX:-$work/prefix$WINE_PREFIX_SUFFIX} WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
[ -f "$WINEPREFIX/system.reg" ] || { wineboot -i >/dev/null 2>&1; wineserver -w; }
wineserver -p >/dev/null 2>&1
printf 'timeout 120000\nwait-box previous version\nelapsed question\npress 7\nwait-exit\n' \
  >"$work/question.txt"
winpath() { echo "Z:$1" | sed 's|/|\\|g'; }
start_ms() { # program
  xvfb-run -a wine "$WINE_BIN/uidriver.exe" --script "$(winpath "$work/question.txt")" \
    -- "$(winpath "$1")" 2>/dev/null | sed -n 's/.*elapsed question: \([0-9]*\) ms.*/\1/p'
}
start_ms "$work/sealed.exe" >/dev/null # warm the file cache and the prefix
: >"$work/start-sealed" ; : >"$work/start-unsealed"
for _ in $(seq "$runs"); do
  start_ms "$work/sealed.exe" >>"$work/start-sealed"
  start_ms "$work/unsealed.exe" >>"$work/start-unsealed"
done
ss=$(median <"$work/start-sealed") su=$(median <"$work/start-unsealed")
echo "Wine, start until the first question: sealed ${ss} ms, without record ${su} ms, ratio $(echo "scale=3; $ss / $su" | bc)"
wineserver -k >/dev/null 2>&1 || true
