#!/usr/bin/env bash
# mksetup as an author uses it, on examples/hello.
# Usage: mksetup_cli.sh MKSETUP EXAMPLE_DIR BIN_DIR
set -uo pipefail
mksetup=$1 example=$2 bin_dir=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect_success() { local what=$1; shift; "$@" >"$work/out" 2>"$work/err" || { fail "$what"; cat "$work/err" >&2; }; }
# expect_failure WHAT PATTERN COMMAND...: non-zero status and PATTERN on stderr.
expect_failure() {
  local what=$1 pattern=$2; shift 2
  if "$@" >"$work/out" 2>"$work/err"; then fail "$what: succeeded"; return; fi
  grep -q -- "$pattern" "$work/err" || { fail "$what: no \"$pattern\" in:"; cat "$work/err" >&2; }
}
offset_of() { grep -obUaF -- "$1" "$2" | head -1 | cut -d: -f1; }
poke() { printf "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }

# The real stub when it has been built, else a stand-in of the same shape.
stub=$bin_dir/setup-stub.exe
if [ ! -f "$stub" ]; then
  stub=$work/stub.exe
  head -c 38912 /dev/zero >"$stub" && printf '\r\n' >>"$stub"
fi

# A copy of the example with known times: odd seconds, one that the six-hour
# shift carries across midnight and one across a leap day.
cp -r "$example" "$work/hello"
pkg=$work/hello
export TZ=UTC
touch -d '2026-03-04 03:15:07' "$pkg/files/Readme.txt"
touch -d '1999-12-31 23:59:58' "$pkg/files/hello.txt"
touch -d '2024-03-01 04:00:00' "$pkg/files/data/sample.bin"
touch -d '2010-06-15 18:30:01' "$pkg/files/help/Guide.txt"
touch -d '2020-01-01 00:00:00' "$pkg/setup.inf" "$pkg/license.txt"
build() { "$mksetup" build --inf "$pkg/setup.inf" --license "$pkg/license.txt" \
            --root "$pkg/files" --stub "$stub" "$@"; }

# --- build, list, verify, extract ---------------------------------------
expect_success "build" build -o "$work/setup.exe"
for line in 'filea    Readme.txt' 'fileb    data\sample.bin' 'filec    hello.txt' \
            'filed    help\Guide.txt'; do
  grep -qF -- "$line" "$work/out" || fail "build does not print \"$line\""
done
cmp -s -n 38914 "$stub" "$work/setup.exe" || fail "setup.exe does not begin with the stub"

expect_success "list" "$mksetup" list "$work/setup.exe"
[ "$(grep -c '0x20 A---' "$work/out")" = 6 ] || fail "list does not show 6 entries"
grep -qE '^ +4 +fileb +3448 .*2024-03-01 04:00:00 .*data\\sample.bin$' "$work/out" ||
  fail "list row of sample.bin"; 

expect_success "verify" "$mksetup" verify "$work/setup.exe"
expect_success "extract" "$mksetup" extract "$work/setup.exe" -d "$work/x"
cmp -s "$pkg/setup.inf" "$work/x/Uninstal.inf" || fail "Uninstal.inf differs"
cmp -s "$pkg/license.txt" "$work/x/License.txt" || fail "License.txt differs"
for f in Readme.txt hello.txt data/sample.bin help/Guide.txt; do
  cmp -s "$pkg/files/$f" "$work/x/$f" || fail "$f differs after extract"
  want=$(( $(stat -c %Y "$pkg/files/$f") / 2 * 2 ))
  got=$(stat -c %Y "$work/x/$f")
  [ "$want" = "$got" ] || fail "$f: mtime $got, wanted $want"
done

# --- determinism and the author's order ---------------------------------
expect_success "second build" build -o "$work/again.exe"
cmp -s "$work/setup.exe" "$work/again.exe" || fail "two builds differ"
expect_success "build with paths" build -o "$work/ordered.exe" help/Guide.txt hello.txt \
  data/sample.bin Readme.txt
grep -qF 'filea    help\Guide.txt' "$work/out" && grep -qF 'filed    Readme.txt' "$work/out" ||
  fail "paths are not packed in the order given"
expect_success "fast build" build -1 -o "$work/fast.exe"
# Without --stub mksetup takes the stub that sits next to it.
if [ "$(dirname "$mksetup")/setup-stub.exe" -ef "$stub" ]; then
  expect_success "build with the default stub" "$mksetup" build --inf "$pkg/setup.inf" \
    --license "$pkg/license.txt" --root "$pkg/files" -o "$work/default.exe"
  cmp -s "$work/setup.exe" "$work/default.exe" || fail "the default stub is not the one built"
fi
expect_success "verify fast build" "$mksetup" verify "$work/fast.exe"

# --- errors of the author ------------------------------------------------
sed 's/^FileNum=4/FileNum=5/' "$pkg/setup.inf" >"$work/wrong.inf"
expect_failure "wrong FileNum" 'FileNum is 5, but 4' \
  "$mksetup" build --inf "$work/wrong.inf" --license "$pkg/license.txt" \
  --root "$pkg/files" --stub "$stub" -o "$work/bad.exe"
expect_failure "missing file" 'missing.txt: no such file' \
  build -o "$work/bad.exe" Readme.txt hello.txt data/sample.bin missing.txt
head -c 38913 "$stub" >"$work/short-stub.exe"
expect_failure "short stub" 'short-stub.exe: is 38913 bytes' \
  build --stub "$work/short-stub.exe" -o "$work/bad.exe"
head -c 38914 /dev/zero >"$work/zero-stub.exe"
expect_failure "stub without CR LF" 'does not end in CR LF' \
  build --stub "$work/zero-stub.exe" -o "$work/bad.exe"
[ ! -e "$work/bad.exe" ] || fail "a failed build left its output"
expect_failure "missing inf" 'nothing.inf: cannot open' \
  "$mksetup" build --inf "$work/nothing.inf" --license "$pkg/license.txt" \
  --root "$pkg/files" --stub "$stub" -o "$work/bad.exe"
expect_failure "unknown command" 'unknown command' "$mksetup" pack
expect_success "help" "$mksetup" --help
grep -q 'mksetup extract SETUP -d DIR' "$work/out" || fail "--help shows no usage"

# A path the setup program could not record is packed with a warning.
mkdir -p "$work/long"
long_name=$(printf 'n%.0s' $(seq 240))
: >"$work/long/$long_name"
printf '[Install]\r\nDefDir=C:\\Program Files\\Hello\r\nFileNum=1\r\n' >"$work/long.inf"
expect_success "build with a long name" "$mksetup" build --inf "$work/long.inf" \
  --license "$pkg/license.txt" --root "$work/long" --stub "$stub" -o "$work/long.exe"
grep -q 'warning: n*: installed under "C:\\Program Files\\Hello", its path has 263' \
  "$work/err" || fail "no warning about a path too long to record"

# --- damaged setup programs ---------------------------------------------
expect_failure "list of a file shorter than a stub" 'shorter than the 38914-byte stub' \
  "$mksetup" list "$pkg/setup.inf"
expect_failure "verify of a stub alone" 'holds 0 entries' "$mksetup" verify "$stub"

# decodedSize of entry 4 (behind its name) made far larger than its stream.
cp "$work/setup.exe" "$work/damaged.exe"
at=$(offset_of 'data\sample.bin' "$work/damaged.exe")
poke "$work/damaged.exe" $((at + 15 + 2)) '\x7f'
expect_failure "verify damaged size" 'entry 4 "data\\sample.bin": compressed data is damaged' \
  "$mksetup" verify "$work/damaged.exe"
expect_failure "extract damaged size" 'entry 4' \
  "$mksetup" extract "$work/damaged.exe" -d "$work/damaged"

# The file cut short: the last entry's length runs past the end.
head -c -10 "$work/setup.exe" >"$work/cut.exe"
expect_failure "verify cut file" 'entry 6 (offset [0-9]*): entry length [0-9]* runs past the end' \
  "$mksetup" verify "$work/cut.exe"
expect_failure "list cut file" 'runs past the end' "$mksetup" list "$work/cut.exe"

# Entry 3's length set to 0.
cp "$work/setup.exe" "$work/zero.exe"
at=$(offset_of 'Readme.txt' "$work/zero.exe")
poke "$work/zero.exe" $((at - 10)) '\x00\x00\x00\x00'
expect_failure "entry length 0" 'entry 3 (offset [0-9]*): entry length is 0' \
  "$mksetup" verify "$work/zero.exe"

# A stored name that climbs out of the install directory is never written.
cp "$work/setup.exe" "$work/unsafe.exe"
at=$(offset_of 'hello.txt' "$work/unsafe.exe")
poke "$work/unsafe.exe" "$at" '..\\lo.txt'
expect_failure "extract unsafe name" 'entry 5 "..\\lo.txt": unsafe stored name' \
  "$mksetup" extract "$work/unsafe.exe" -d "$work/unsafe"
[ ! -e "$work/unsafe" ] || fail "extract wrote files from a setup with an unsafe name"
expect_failure "verify unsafe name" 'entry 5' "$mksetup" verify "$work/unsafe.exe"

if [ "$failures" -ne 0 ]; then echo "$failures failure(s)" >&2; exit 1; fi
echo "mksetup CLI: all passed"
