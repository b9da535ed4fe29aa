#!/usr/bin/env bash
# Makes the LZMA setup programs that the Wine suite installs, each with an
# LZHUF twin of the same inputs, and checks them on the host:
#   lzma-setup.exe, lzhuf-setup.exe   examples/hello (its files and program
#                                     as the build stages them in PACKAGE)
#   lzma-many.exe, lzhuf-many.exe     280 generated files of mixed kinds in
#                                     OUT/many (text, noise, copies of
#                                     PACKAGE/HelloWorld.exe, an empty file,
#                                     one text of 4 MB), 10.0 MB in all: more
#                                     than the 8 MiB dictionary, so that the
#                                     setup program's dictionary wraps
# The generated files are the same on every run (a fixed pseudo-random
# sequence), and so are the setup programs.
# Usage: make-lzma.sh MKSETUP STUB PACKAGE OUT
# Prints one line per check and "N passed, N failed"; exit status 1 on a
# failure.
set -uo pipefail
mksetup=$1 stub=$2 package=$3 out=$4
root=$(cd "$(dirname "$0")/../.." && pwd)
example=$root/examples/hello
passed=0 failed=0
check() { # name, status, detail
  if [ "$2" -eq 0 ]; then passed=$((passed + 1)); echo "  ok   $1"
  else failed=$((failed + 1)); echo "  FAIL $1: $3"; fi
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -rf "$out/many"
rm -f "$out"/lzma-setup.exe "$out"/lzhuf-setup.exe "$out"/lzma-many.exe "$out"/lzhuf-many.exe
mkdir -p "$out/many"

# The mixed package: the program copies under bin\, texts under docs\NN\,
# noise under data\; sizes and words from MINSTD (x = x * 48271 mod 2^31-1).
many=$out/many
mkdir -p "$many/bin" "$many/data" "$many/docs"
for d in $(seq -w 0 13); do mkdir -p "$many/docs/$d"; done
for i in $(seq -w 1 70); do cp "$package/HelloWorld.exe" "$many/bin/prog$i.exe"; done
LC_ALL=C awk -v dir="$many" '
function rand31() { x = (x * 48271) % 2147483647; return x }
BEGIN {
  x = 20261208
  split("setup install program file folder window shortcut registry license " \
        "directory the a of and to with from which is not for every one each " \
        "Windows dictionary stream entry archive byte", word, " ")
  for (i = 1; i <= 140; i++) {
    name = sprintf("%s/docs/%02d/note%03d.txt", dir, i % 14, i)
    size = i == 140 ? 4000000 : 200 + rand31() % 30000
    for (n = 0; n < size;) {
      line = ""
      for (w = 0; w < 12; w++) line = line word[1 + rand31() % 30] " "
      line = line sprintf("%d\r\n", rand31() % 1000)
      printf "%s", line > name
      n += length(line)
    }
    close(name)
  }
  for (i = 1; i <= 69; i++) {
    name = sprintf("%s/data/noise%02d.bin", dir, i)
    size = i == 1 ? 1 : rand31() % 60000
    for (n = 0; n < size; n++) printf "%c", int(rand31() / 8388608) > name
    close(name)
  }
}'
: >"$many/data/empty.bin"
# Times of their own, fixed: the setup programs store them.
find "$many" -type f -exec touch -d '2026-01-02 03:04:06 UTC' {} +
count=$(find "$many" -type f | wc -l)
printf '[Install]\r\nDefDir=C:\\Program Files\\Many\r\nAppName=Many Files\r\nCompReg=Example Software\r\nVerNum=1.0\r\n' \
  >"$work/many.inf"
touch -d '2026-01-02 03:04:06 UTC' "$work/many.inf"

# build WHAT OUTPUT OPTIONS...: one setup program, checked with verify and
# extracted into $work/x-OUTPUT.
build() {
  local what=$1 output=$2; shift 2
  "$mksetup" build --stub "$stub" -o "$out/$output" "$@" >"$work/log" 2>&1
  check "$what: built" $? "$(tail -n 3 "$work/log")"
  "$mksetup" verify "$out/$output" >"$work/log" 2>&1 && grep -q 'integrity record OK' "$work/log"
  check "$what: mksetup verify" $? "$(tail -n 3 "$work/log")"
  "$mksetup" extract "$out/$output" -d "$work/x-$output" >"$work/log" 2>&1
  check "$what: extracted" $? "$(tail -n 3 "$work/log")"
}
hello=(--inf "$example/setup.inf" --license "$example/license.txt" --root "$package")
build "examples/hello, LZMA" lzma-setup.exe --method lzma --preview "${hello[@]}"
build "examples/hello, LZHUF" lzhuf-setup.exe --method lzhuf "${hello[@]}"
mixed=(--inf "$work/many.inf" --license "$example/license.txt" --root "$many")
build "$count mixed files, LZMA" lzma-many.exe --method lzma --preview "${mixed[@]}"
build "$count mixed files, LZHUF" lzhuf-many.exe --method lzhuf "${mixed[@]}"

"$mksetup" list "$out/lzma-many.exe" >"$work/log" 2>&1
[ "$(grep -c ' LZMA+x86 ' "$work/log")" = 70 ] && [ "$(grep -c ' start ' "$work/log")" = 1 ]
check "lzma-many.exe: one solid stream, the x86 filter on the 70 programs" $? "$(grep -c ' LZMA+x86 ' "$work/log") filtered"
for kind in setup many; do
  diff -r "$work/x-lzma-$kind.exe" "$work/x-lzhuf-$kind.exe" >"$work/log" 2>&1
  check "lzma-$kind.exe and lzhuf-$kind.exe hold the same files" $? "$(head -n 3 "$work/log")"
  lzma=$(stat -c %s "$out/lzma-$kind.exe") lzhuf=$(stat -c %s "$out/lzhuf-$kind.exe")
  echo "       lzma-$kind.exe $lzma bytes, lzhuf-$kind.exe $lzhuf bytes"
  [ "$lzma" -lt "$lzhuf" ]
  check "lzma-$kind.exe is the smaller" $? "$lzma bytes against $lzhuf"
done
diff -r -x Uninstal.inf -x License.txt "$work/x-lzma-many.exe" "$many" >"$work/log" 2>&1
check "lzma-many.exe holds the generated files" $? "$(head -n 3 "$work/log")"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
