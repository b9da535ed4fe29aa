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
# unseal IN OUT: the setup program without its integrity record, as a tool
# without one would make it: the trailer zeroed, the record dropped.
unseal() { head -c -20 "$1" >"$2" && poke "$2" 38904 '\0\0\0\0\0\0\0\0'; }

# make_stub OUT: a stub of the shape the build makes: an MZ header leading to
# a PE header (i386, no sections, 1024 bytes of headers), zero bytes up to
# 38,912 and CR LF.
make_stub() {
  { printf 'MZ'; head -c 58 /dev/zero; printf '\x80\x00\x00\x00'; head -c 64 /dev/zero
    printf 'PE\x00\x00\x4c\x01\x00\x00'; head -c 12 /dev/zero
    printf '\xe0\x00\x02\x01\x0b\x01'; head -c 58 /dev/zero; printf '\x00\x04\x00\x00'
  } >"$1"
  truncate -s 38912 "$1" && printf '\r\n' >>"$1"
}

# The real stub when it has been built, else a stand-in of the same shape.
stub=$bin_dir/setup-stub.exe
if [ ! -f "$stub" ]; then
  stub=$work/stub.exe
  make_stub "$stub"
fi

# A copy of the example with known times: odd seconds, one that the six-hour
# shift carries across midnight and one across a leap day.
# The program is built by the cross build; a stand-in of a few bytes here.
cp -r "$example" "$work/hello"
pkg=$work/hello
printf 'MZ hello world stand-in\r\n' >"$pkg/files/HelloWorld.exe"
export TZ=UTC
touch -d '2026-05-06 07:08:10' "$pkg/files/HelloWorld.exe"
touch -d '2026-03-04 03:15:07' "$pkg/files/Readme.txt"
touch -d '1999-12-31 23:59:58' "$pkg/files/hello.txt"
touch -d '2024-03-01 04:00:00' "$pkg/files/data/sample.bin"
touch -d '2010-06-15 18:30:01' "$pkg/files/help/Guide.txt"
touch -d '2020-01-01 00:00:00' "$pkg/setup.inf" "$pkg/license.txt"
build() { "$mksetup" build --inf "$pkg/setup.inf" --license "$pkg/license.txt" \
            --root "$pkg/files" --stub "$stub" "$@"; }

# --- build, list, verify, extract ---------------------------------------
expect_success "build" build -o "$work/setup.exe"
grep -qE '^/.*/setup.exe: 5 application files, LZHUF -9, [0-9,]+ bytes in, [0-9,]+ bytes out \([0-9.]+ %\), [0-9,]+ bytes with the stub, [0-9.]+ s$' "$work/out" ||
  fail "build prints no summary"
grep -q 'filea' "$work/out" && fail "build prints the key table without --verbose"
expect_success "build --verbose" build --verbose -o "$work/setup.exe"
for line in 'filea    HelloWorld.exe' 'fileb    Readme.txt' 'filec    data\sample.bin' \
            'filed    hello.txt' 'filee    help\Guide.txt'; do
  grep -qF -- "$line" "$work/out" || fail "build does not print \"$line\""
done
cmp -s -n 38904 "$stub" "$work/setup.exe" || fail "setup.exe does not begin with the stub"
cmp -s -i 38912 -n 2 "$stub" "$work/setup.exe" || fail "setup.exe has no CR LF at 38912"
# The trailer points at the integrity record, the file's last 20 bytes.
size=$(stat -c %s "$work/setup.exe")
[ "$(od -An -tx1 -j 38904 -N 4 "$work/setup.exe" | tr -d ' ')" = 57594300 ] ||
  fail "no trailer in the stub's padding"
[ "$(od -An -tu4 -j 38908 -N 4 "$work/setup.exe" | tr -d ' ')" = $((size - 20 - 38914)) ] ||
  fail "the trailer does not give the archive's length"
[ "$(tail -c 20 "$work/setup.exe" | head -c 8 | od -An -tx1 | tr -d ' ')" = 5759430014000000 ] ||
  fail "no integrity record at the end"

expect_success "list" "$mksetup" list "$work/setup.exe"
[ "$(grep -c '0x20 A---' "$work/out")" = 7 ] || fail "list does not show 7 entries"
grep -qE '^integrity record: CRC-32 [0-9A-F]{8} over [0-9]+ bytes, 7 entries: OK$' "$work/out" ||
  fail "list does not show the integrity record"
grep -qE '^ +5 +filec +3448 .*2024-03-01 04:00:00 .*data\\sample.bin$' "$work/out" ||
  fail "list row of sample.bin"; 

expect_success "verify" "$mksetup" verify "$work/setup.exe"
grep -q 'setup.exe: 7 entries OK, integrity record OK$' "$work/out" || fail "verify says nothing of the record"
expect_success "extract" "$mksetup" extract "$work/setup.exe" -d "$work/x"
cmp -s "$pkg/setup.inf" "$work/x/Uninstal.inf" || fail "Uninstal.inf differs"
cmp -s "$pkg/license.txt" "$work/x/License.txt" || fail "License.txt differs"
for f in HelloWorld.exe Readme.txt hello.txt data/sample.bin help/Guide.txt; do
  cmp -s "$pkg/files/$f" "$work/x/$f" || fail "$f differs after extract"
  want=$(( $(stat -c %Y "$pkg/files/$f") / 2 * 2 ))
  got=$(stat -c %Y "$work/x/$f")
  [ "$want" = "$got" ] || fail "$f: mtime $got, wanted $want"
done

# --- determinism and the author's order ---------------------------------
expect_success "second build" build -o "$work/again.exe"
cmp -s "$work/setup.exe" "$work/again.exe" || fail "two builds differ"
expect_success "build with paths" build -v -o "$work/ordered.exe" help/Guide.txt hello.txt \
  data/sample.bin Readme.txt HelloWorld.exe
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

# --- the LZMA method ------------------------------------------------------
# The example and a Windows program of x86 code (the stub, real or not)
# as tool.exe, the last file, so that the keys stay as the example has them.
cp -rp "$pkg/files" "$work/lz"
cp "$stub" "$work/lz/tool.exe" && touch -d '2025-07-08 09:10:12' "$work/lz/tool.exe"
sed '/^FileNum=/d' "$pkg/setup.inf" >"$work/lz.inf" && touch -r "$pkg/setup.inf" "$work/lz.inf"
lzbuild() { "$mksetup" build --inf "$work/lz.inf" --license "$pkg/license.txt" --root "$work/lz" \
              --stub "$stub" "$@"; }
lzfiles="HelloWorld.exe Readme.txt hello.txt data/sample.bin help/Guide.txt tool.exe"
# extracted DIR WHAT: every file of the package, byte for byte and with its time.
extracted() {
  local f
  for f in $lzfiles; do
    cmp -s "$work/lz/$f" "$1/$f" || fail "$2: $f differs after extract"
    [ "$(( $(stat -c %Y "$work/lz/$f") / 2 * 2 ))" = "$(stat -c %Y "$1/$f")" ] || fail "$2: $f: mtime"
  done
  cmp -s "$pkg/license.txt" "$1/License.txt" || fail "$2: License.txt differs"
}
expect_success "build --method lzma" lzbuild --method lzma --preview -o "$work/lzma.exe"
grep -qE '^/.*/lzma.exe: 6 application files, LZMA -9 \(1 solid stream, dictionary [0-9,]+ bytes, x86 filter on 1 file\), [0-9,]+ bytes in, [0-9,]+ bytes out \([0-9.]+ %\), [0-9,]+ bytes with the stub, [0-9.]+ s$' "$work/out" ||
  fail "build --method lzma: summary: $(cat "$work/out")"
expect_success "list of an LZMA program" "$mksetup" list "$work/lzma.exe"
grep -qE '^ +1  - .* LZHUF +- +.*Uninstal.inf$' "$work/out" && grep -qE '^ +2  - .* LZHUF +- ' "$work/out" ||
  fail "list: the texts are not LZHUF entries"
grep -qE '^ +3  filea .* LZMA +1 start .*HelloWorld.exe$' "$work/out" &&
  grep -qE '^ +7  filee .* LZMA +1 .*help\\Guide.txt$' "$work/out" &&
  grep -qE '^ +8  filef .* LZMA\+x86 +1 .*tool.exe$' "$work/out" || fail "list: methods and stream of the LZMA entries"
grep -qE '^LZMA: 1 stream; the setup program allocates a dictionary of at most [0-9,]+ bytes \(stream 1\) and about [0-9]+ KB of decoder state$' "$work/out" ||
  fail "list: no line on the LZMA dictionary"
expect_success "verify of an LZMA program" "$mksetup" verify "$work/lzma.exe"
grep -q 'lzma.exe: 8 entries OK (6 of them LZMA, in 1 stream), integrity record OK$' "$work/out" ||
  fail "verify of an LZMA program: $(cat "$work/out")"
expect_success "extract of an LZMA program" "$mksetup" extract "$work/lzma.exe" -d "$work/lzma-x"
extracted "$work/lzma-x" "LZMA"
expect_success "build --method lzma again" lzbuild --method=LZMA --preview -9 -o "$work/lzma2.exe"
cmp -s "$work/lzma.exe" "$work/lzma2.exe" || fail "two LZMA builds differ"
expect_success "build --method lzhuf" lzbuild --method lzhuf -o "$work/lzhuf.exe"
expect_success "build without --method" lzbuild -o "$work/default.exe"
cmp -s "$work/lzhuf.exe" "$work/default.exe" || fail "--method lzhuf is not the default"
[ "$(stat -c %s "$work/lzma.exe")" -lt "$(stat -c %s "$work/lzhuf.exe")" ] || fail "LZMA is no smaller than LZHUF"

expect_success "build --no-solid" lzbuild --method lzma --preview --no-solid -1 -o "$work/separate.exe"
grep -qF 'LZMA -1 (6 streams, dictionaries up to ' "$work/out" || fail "--no-solid: summary"
expect_success "list --no-solid" "$mksetup" list "$work/separate.exe"
[ "$(grep -cE ' LZMA(\+x86)? +[1-6] start ' "$work/out")" = 6 ] || fail "--no-solid: not one stream per file"
expect_success "verify --no-solid" "$mksetup" verify "$work/separate.exe"
expect_success "extract --no-solid" "$mksetup" extract "$work/separate.exe" -d "$work/separate-x"
extracted "$work/separate-x" "--no-solid"

# The first chunk of entry 4 (Readme.txt) given a control byte LZMA2 does
# not define: verify names it and the four entries behind it in its stream.
cp "$work/lzma.exe" "$work/lzma-damaged.exe"
at=$(offset_of 'Readme.txt' "$work/lzma-damaged.exe")
poke "$work/lzma-damaged.exe" $((at + 10 + 4 + 2)) '\x03'
expect_failure "verify of a damaged LZMA entry" 'entry 4 "Readme.txt": its LZMA2 data is damaged' \
  "$mksetup" verify "$work/lzma-damaged.exe"
[ "$(grep -c 'lost with entry 4, which its solid stream needs' "$work/err")" = 4 ] &&
  grep -q 'entry 8 "tool.exe": lost with entry 4' "$work/err" || fail "verify: the entries lost with entry 4"
grep -q 'entry 3' "$work/err" && fail "verify: entry 3 called damaged"
unseal "$work/lzma-damaged.exe" "$work/lzma-unsealed.exe"
expect_failure "extract of a damaged LZMA entry" 'entry 4 "Readme.txt": its LZMA2 data is damaged' \
  "$mksetup" extract "$work/lzma-unsealed.exe" -d "$work/lzma-damaged"
cmp -s "$work/lz/HelloWorld.exe" "$work/lzma-damaged/HelloWorld.exe" && [ ! -e "$work/lzma-damaged/Readme.txt" ] &&
  [ ! -e "$work/lzma-damaged/tool.exe" ] || fail "extract: not the entries before the damaged one alone"

expect_failure "unknown method" '--method zip is not a method; the methods are lzhuf (the default) and lzma' \
  lzbuild --method zip -o "$work/bad.exe"
for mib in 0 65 1000 8M; do
  expect_failure "--dictionary $mib" "--dictionary $mib is out of range: the LZMA dictionary is 1 to 64 MiB" \
    lzbuild --method lzma --preview --dictionary "$mib" -o "$work/bad.exe"
done
expect_failure "LZMA without --preview" 'cannot install LZMA entries' lzbuild --method lzma -o "$work/bad.exe"
expect_failure "--preview without LZMA" '--preview is an option of --method lzma' lzbuild --preview -o "$work/bad.exe"
expect_failure "--no-solid without LZMA" '--no-solid is an option of --method lzma' lzbuild --no-solid -o "$work/bad.exe"
expect_failure "--dictionary without LZMA" '--dictionary is an option of --method lzma' \
  lzbuild --method lzhuf --dictionary 8 -o "$work/bad.exe"
[ ! -e "$work/bad.exe" ] || fail "a refused build left its output"
expect_success "--dictionary 5" lzbuild --method lzma --preview --dictionary 5 -o "$work/dict5.exe"
grep -qF -- '--dictionary 5: note: ' "$work/err" && grep -qF 'packed with 4 MiB, the largest of them up to 5 MiB' "$work/err" ||
  fail "no note of the dictionary taken down"

# --- errors of the author ------------------------------------------------
sed 's/^FileNum=5/FileNum=6/' "$pkg/setup.inf" >"$work/wrong.inf"
expect_failure "wrong FileNum" 'wrong.inf:7: error: FileNum is 6, but 5' \
  "$mksetup" build --inf "$work/wrong.inf" --license "$pkg/license.txt" \
  --root "$pkg/files" --stub "$stub" -o "$work/bad.exe"
expect_failure "missing file" 'missing.txt: error: no such file' \
  build -o "$work/bad.exe" Readme.txt hello.txt data/sample.bin missing.txt
head -c 38913 "$stub" >"$work/short-stub.exe"
expect_failure "short stub" 'short-stub.exe: error: is 38913 bytes' \
  build --stub "$work/short-stub.exe" -o "$work/bad.exe"
head -c 38914 /dev/zero >"$work/zero-stub.exe"
expect_failure "stub without CR LF" 'does not end in CR LF' \
  build --stub "$work/zero-stub.exe" -o "$work/bad.exe"
head -c 38912 /dev/zero >"$work/zero-stub.exe" && printf '\r\n' >>"$work/zero-stub.exe"
expect_failure "stub that is no Windows program" \
  'zero-stub.exe: error: is no Windows program (no MZ header); not a stub' \
  build --stub "$work/zero-stub.exe" -o "$work/bad.exe"
make_stub "$work/arm-stub.exe" && poke "$work/arm-stub.exe" $((0x84)) '\x64\xaa'
expect_failure "stub for another machine" 'is a program for machine 0xAA64, not for x86 Windows' \
  build --stub "$work/arm-stub.exe" -o "$work/bad.exe"
[ ! -e "$work/bad.exe" ] || fail "a failed build left its output"
expect_failure "missing inf" 'nothing.inf: cannot open' \
  "$mksetup" build --inf "$work/nothing.inf" --license "$pkg/license.txt" \
  --root "$pkg/files" --stub "$stub" -o "$work/bad.exe"
expect_failure "unknown command" 'unknown command' "$mksetup" pack
expect_success "help" "$mksetup" --help
grep -q 'mksetup extract \[--codepage N\] SETUP -d DIR' "$work/out" || fail "--help shows no usage"

# A path the setup program could not record is packed with a warning.
mkdir -p "$work/long"
long_name=$(printf 'n%.0s' $(seq 240))
: >"$work/long/$long_name"
printf '[Install]\r\nDefDir=C:\\Program Files\\Hello\r\nAppName=Hello\r\nFileNum=1\r\n' >"$work/long.inf"
expect_success "build with a long name" "$mksetup" build --inf "$work/long.inf" \
  --license "$pkg/license.txt" --root "$work/long" --stub "$stub" -o "$work/long.exe"
grep -q 'warning: n*: installed under "C:\\Program Files\\Hello", its path has 263' \
  "$work/err" || fail "no warning about a path too long to record"

# --- damaged setup programs ---------------------------------------------
expect_failure "list of a file shorter than a stub" \
  'setup.inf: not a setup program: [0-9]* bytes, shorter than the 38914-byte stub' \
  "$mksetup" list "$pkg/setup.inf"
{ printf '\x7fELF'; head -c 60000 /dev/zero; } >"$work/elf"
expect_failure "list of a Linux program" 'elf: not a setup program: it does not begin with a Windows program' \
  "$mksetup" list "$work/elf"
[ ! -s "$work/out" ] || fail "list printed a table for a file that is no setup program"
{ head -c 38912 "$stub"; head -c 5000 /dev/zero; } >"$work/other.exe"
expect_failure "verify of another Windows program" 'other.exe: not a setup program: neither' \
  "$mksetup" verify "$work/other.exe"
expect_failure "verify of a stub alone" 'holds 0 entries' "$mksetup" verify "$stub"

# decodedSize of entry 5 (behind its name) made far larger than its stream:
# the record's CRC no longer holds, and verify still says which entry fails.
cp "$work/setup.exe" "$work/damaged.exe"
at=$(offset_of 'data\sample.bin' "$work/damaged.exe")
poke "$work/damaged.exe" $((at + 15 + 2)) '\x7f'
expect_failure "verify damaged size" 'entry 5 "data\\sample.bin": compressed data is damaged' \
  "$mksetup" verify "$work/damaged.exe"
grep -q 'the archive is damaged: CRC mismatch' "$work/err" || fail "verify damaged size: no CRC mismatch"
expect_failure "extract damaged size" 'the archive is damaged: CRC mismatch.*nothing extracted' \
  "$mksetup" extract "$work/damaged.exe" -d "$work/damaged"
[ ! -e "$work/damaged" ] || fail "extract wrote files from a damaged archive"
unseal "$work/damaged.exe" "$work/damaged-unsealed.exe"
expect_failure "extract damaged size without a record" 'entry 5' \
  "$mksetup" extract "$work/damaged-unsealed.exe" -d "$work/damaged"

# One bit flipped inside a stream, where the decoder may not notice: only
# the record tells.
cp "$work/setup.exe" "$work/flipped.exe"
at=$(offset_of 'help\Guide.txt' "$work/flipped.exe")
byte=$(od -An -tu1 -j $((at + 40)) -N 1 "$work/flipped.exe" | tr -d ' ')
poke "$work/flipped.exe" $((at + 40)) "$(printf '\\x%02x' $((byte ^ 16)))"
expect_failure "verify one flipped bit" 'the archive is damaged: CRC mismatch' \
  "$mksetup" verify "$work/flipped.exe"

# A signature appended behind the record is no entry.
{ cat "$work/setup.exe"; printf 'WY1\0\x30\0\0\0'; head -c 40 /dev/urandom; } >"$work/signed.exe"
expect_success "verify with data behind the record" "$mksetup" verify "$work/signed.exe"
grep -q '7 entries OK, integrity record OK (48 bytes behind the record)' "$work/out" ||
  fail "verify does not mention the bytes behind the record"
expect_success "list with data behind the record" "$mksetup" list "$work/signed.exe"
grep -q '48 bytes behind it' "$work/out" || fail "list does not mention the bytes behind the record"
expect_success "extract with data behind the record" "$mksetup" extract "$work/signed.exe" -d "$work/signed"
[ "$(find "$work/signed" -type f | wc -l)" = 7 ] || fail "extract of a signed program wrote other than 7 files"

# Cut into the record: the trailer still asks for it.
head -c -10 "$work/setup.exe" >"$work/cut-record.exe"
expect_failure "verify cut record" 'the archive is damaged: truncated' \
  "$mksetup" verify "$work/cut-record.exe"
unseal "$work/setup.exe" "$work/unsealed.exe"
expect_success "verify without a record" "$mksetup" verify "$work/unsealed.exe"
expect_success "list without a record" "$mksetup" list "$work/unsealed.exe"
grep -q '^no integrity record' "$work/out" || fail "list of an unsealed program says nothing of it"

# The file cut short: the last entry's length runs past the end.
head -c -40 "$work/setup.exe" >"$work/cut.exe"
expect_failure "verify cut file" \
  'entry 7 "help\\Guide.txt" (offset [0-9]*): truncated: entry length [0-9]* runs past the end' \
  "$mksetup" verify "$work/cut.exe"
expect_failure "list cut file" 'entry 7 "help\\Guide.txt" (offset [0-9]*): truncated' \
  "$mksetup" list "$work/cut.exe"

# Entry 4's length set to 0.
cp "$work/setup.exe" "$work/zero.exe"
at=$(offset_of 'Readme.txt' "$work/zero.exe")
poke "$work/zero.exe" $((at - 10)) '\x00\x00\x00\x00'
expect_failure "entry length 0" 'entry 4 (offset [0-9]*): entry length is 0' \
  "$mksetup" verify "$work/zero.exe"

# A stored name that climbs out of the install directory is never written
# (made without a record, so that extract gets as far as the names).
cp "$work/unsealed.exe" "$work/unsafe.exe"
at=$(offset_of 'hello.txt' "$work/unsafe.exe")
poke "$work/unsafe.exe" "$at" '..\\lo.txt'
expect_failure "extract unsafe name" 'entry 6 "..\\lo.txt": unsafe stored name' \
  "$mksetup" extract "$work/unsafe.exe" -d "$work/unsafe"
[ ! -e "$work/unsafe" ] || fail "extract wrote files from a setup with an unsafe name"
expect_failure "verify unsafe name" 'entry 6' "$mksetup" verify "$work/unsafe.exe"

# Stored names and the program's other text are shown escaped, never raw:
# an ESC in a name cannot reach the terminal.
cp "$work/unsealed.exe" "$work/escape.exe"
poke "$work/escape.exe" "$(offset_of 'hello.txt' "$work/escape.exe")" '\x1b[2J'
expect_success "list of a name with ESC" "$mksetup" list "$work/escape.exe"
grep -qF '\x1B[2Jo.txt' "$work/out" && ! grep -qa $'\x1b' "$work/out" || fail "list does not escape ESC in a name"
expect_failure "verify of a name with ESC" 'entry 6 "\\x1B\[2Jo.txt"' "$mksetup" verify "$work/escape.exe"
! grep -qa $'\x1b' "$work/out" "$work/err" || fail "verify let a raw ESC through"

# --- sizes: no file of 4 GiB or more is read --------------------------------
mkdir -p "$work/huge" && truncate -s 4G "$work/huge/disk.img" && : >"$work/huge/small.txt"
printf '[Install]\r\nDefDir=C:\\Huge\r\nAppName=Huge\r\nCompReg=Co\r\n' >"$work/huge.inf"
expect_failure "a file of 4 GiB" 'huge/disk.img: error: is 4,294,967,296 bytes; an entry of the setup program holds at most 4,294,967,295 (4 GiB - 1)' \
  timeout 20 "$mksetup" build --inf "$work/huge.inf" --license "$pkg/license.txt" --root "$work/huge" \
  --stub "$stub" -o "$work/bad.exe"

# A file too large for the memory mksetup may use is named, not a bare
# std::bad_alloc.
expect_failure "list of a file larger than memory" 'huge/disk.img: is 4294967296 bytes, more than mksetup can hold in memory' \
  bash -c 'ulimit -v 1000000 && exec "$0" list "$1"' "$mksetup" "$work/huge/disk.img"

# --- a thousand files: keys past the thirtieth --------------------------------
mkdir -p "$work/many"
for i in $(seq 1000); do printf '%d' "$i" >"$work/many/f$(printf '%04d' "$i")"; done
printf '[Install]\r\nDefDir=C:\\Many\r\nAppName=Many\r\nCompReg=Co\r\n[Copymode]\r\nf1000=3\r\nfile31=2\r\n' >"$work/many.inf"
expect_success "a thousand files" "$mksetup" build -1 --inf "$work/many.inf" --license "$pkg/license.txt" \
  --root "$work/many" --stub "$stub" -o "$work/many.exe"
grep -qF 'many.inf:6: note: f1000 is packed as the key "file1000"' "$work/err" || fail "no note of file1000"
expect_success "list of a thousand files" "$mksetup" list "$work/many.exe"
grep -qE '^ +33  file31 .* f0031$' "$work/out" && grep -qE '^ *1002  file1000 .* f1000$' "$work/out" ||
  fail "list does not show the keys past the thirtieth"
"$mksetup" extract "$work/many.exe" -d "$work/many-x" >/dev/null
grep -q $'^file1000=3\r$' "$work/many-x/Uninstal.inf" && grep -q $'^file31=2\r$' "$work/many-x/Uninstal.inf" &&
  grep -q $'^FileNum=1000\r$' "$work/many-x/Uninstal.inf" || fail "packed [Copymode] of a thousand files"

# --- a license formatted for 80 columns --------------------------------------
for p in 1 2; do
  fmt -w 80 /dev/stdin <<'TEXT'
Permission is hereby granted, free of charge, to any person obtaining a copy of this software and associated documentation files, to deal in the Software without restriction, including without limitation the rights to use, copy, modify, merge, publish and distribute copies of the Software.
TEXT
  printf '\n'
done >"$work/wide.txt"
printf '  1. An indented item that is left exactly as it was written, with no change.\n' >>"$work/wide.txt"
expect_success "a license of 80 columns" build --license "$work/wide.txt" -o "$work/wide.exe"
grep -qE 'wide.txt:[0-9]+: note: [0-9]+ lines are wider than the license box, .*--reflow-license joins' "$work/err" ||
  fail "no note of the ragged license"
expect_success "--reflow-license" build --license "$work/wide.txt" --reflow-license -o "$work/reflow.exe"
grep -qF 'wide.txt: note: --reflow-license joined the lines of 2 paragraphs' "$work/err" || fail "no note of the reflow"
"$mksetup" extract "$work/reflow.exe" -d "$work/reflow" >/dev/null
[ "$(grep -c '' "$work/reflow/License.txt")" = 5 ] && grep -q '^  1. An indented item' "$work/reflow/License.txt" ||
  fail "--reflow-license: paragraphs not joined, or the indented line changed"
expect_success "--reflow-license again" build --license "$work/wide.txt" --reflow-license -o "$work/reflow2.exe"
cmp -s "$work/reflow.exe" "$work/reflow2.exe" || fail "--reflow-license builds differ"

# --- the author's files are protected --------------------------------------
cp "$pkg/setup.inf" "$work/setup.inf.saved"; cp "$pkg/license.txt" "$work/license.txt.saved"
cp "$stub" "$work/own-stub.exe"
expect_failure "-o the setup information file" \
  'setup.inf: error: is the setup information file (--inf); mksetup does not overwrite its inputs' \
  build -o "$pkg/files/../setup.inf"
expect_failure "-o the license" 'is the license (--license)' build -o "$pkg/license.txt"
expect_failure "-o the stub" 'is the stub' \
  build --stub "$work/own-stub.exe" -o "$work/own-stub.exe"
expect_failure "-o inside the root" 'lies inside the package root' build -o "$pkg/files/help/setup.exe"
cmp -s "$pkg/setup.inf" "$work/setup.inf.saved" && cmp -s "$pkg/license.txt" "$work/license.txt.saved" &&
  cmp -s "$stub" "$work/own-stub.exe" || fail "an input was overwritten"
[ ! -e "$pkg/files/help/setup.exe" ] || fail "a setup program was written into the root"

# A whole root: hidden files and editor backups are left out with a warning,
# --all-files packs them; a symbolic link out of the root stops the build.
cp -rp "$pkg/files" "$work/messy"
: >"$work/messy/.DS_Store"; : >"$work/messy/hello.txt~"; mkdir "$work/messy/.git"; : >"$work/messy/.git/HEAD"
ln -s /etc/passwd "$work/messy/passwd"
expect_failure "a link out of the root" 'messy/passwd: error: leads to /etc/passwd, outside the package root' \
  build --root "$work/messy" -o "$work/messy.exe"
rm "$work/messy/passwd"
expect_success "a root with hidden files" build --root "$work/messy" -o "$work/messy.exe"
for line in 'messy/.DS_Store: warning: hidden file not packed (--all-files packs it)' \
            'messy/.git: warning: hidden folder not packed' 'messy/hello.txt~: warning: editor backup not packed'; do
  grep -qF -- "$line" "$work/err" || fail "no warning \"$line\""
done
cmp -s "$work/setup.exe" "$work/messy.exe" || fail "hidden files changed the setup program"
printf '[Install]\r\nDefDir=C:\\Hello\r\nAppName=Hello\r\n' >"$work/all.inf"
expect_success "--all-files" "$mksetup" build --inf "$work/all.inf" --license "$pkg/license.txt" \
  --root "$work/messy" --stub "$stub" --all-files --verbose -o "$work/all.exe"
grep -qF 'filea    .DS_Store' "$work/out" && grep -qF '.git\HEAD' "$work/out" &&
  grep -qF 'hello.txt~' "$work/out" || fail "--all-files left files out"

# --- the script checked like a compiler: every mistake at once ------------
cat >"$work/wrong-all.inf" <<'INF'
[Install]
DefDir=Program Files\Hello
ApName=Hello
AppName=My/App: v2?
FileNum=six
[Link]
[Links]
linka=Readme.txt
linkfilea=MyApp
linkc=hello.txt
linkfilec=Hello.lnk
[Copymode]
filed=keep
fileg=3
[Uninstall]
filea=C:\Windows\win.ini
INF
cat >"$work/wrong-all.expected" <<'OUT'
W/wrong-all.inf: note: converted for the setup program: line ends to CR LF
W/wrong-all.inf:2: error: DefDir "Program Files\Hello" is not an absolute path (such as C:\Program Files\Example)
W/wrong-all.inf:3: warning: unknown key ApName in [Install] (did you mean AppName?); the setup program never reads it
W/wrong-all.inf:4: error: AppName "My/App: v2?" holds "/", ":" and "?", which a folder name cannot hold (the Start-menu folder is named after the application)
W/wrong-all.inf:4: warning: [Install] has AppName but no CompReg; the uninstaller then removes no per-user settings key (HKCU\Software\<CompReg>\My/App: v2?)
W/wrong-all.inf:5: error: FileNum "six" is not a decimal number (the setup program reads it as 0)
W/wrong-all.inf:6: warning: unknown section [Link] (did you mean [Links]?); the setup program never reads it
W/wrong-all.inf:9: warning: linkfilea=MyApp: a shortcut's file name ends in .lnk; without it the shell does not show the file as a shortcut
W/wrong-all.inf:10: error: linkc is never read: the setup program stops at linkb, which is missing
W/wrong-all.inf:11: error: linkfilec is never read: the setup program stops at linkb, which is missing
W/wrong-all.inf:13: error: filed=keep: a copy mode is a number: 1 (replace), 2 (ask) or 3 (keep)
W/wrong-all.inf:14: error: fileg is the key of the 7th application file, but 5 are packed
W/wrong-all.inf:15: error: [Uninstall] is the setup program's record of what it installs: shipped, it shifts the application's records to later keys and makes the uninstaller delete every file it names
mksetup: 8 errors and 4 warnings; W/bad.exe not written
OUT
expect_failure "a script with every mistake" 'not written' \
  "$mksetup" build --inf "$work/wrong-all.inf" --license "$pkg/license.txt" \
  --root "$pkg/files" --stub "$stub" -o "$work/bad.exe"
sed "s|$work|W|g" "$work/err" | diff "$work/wrong-all.expected" - >&2 || fail "diagnostics of the wrong script"
[ ! -e "$work/bad.exe" ] || fail "a script with errors was packed"

# --- no bookkeeping: FileNum and [Copymode] by name give the same program --
sed '/^FileNum=/d' "$pkg/setup.inf" >"$work/nofilenum.inf"
sed 's/^filed=3/hello.txt=3/; s|^filee=2|help/guide.txt=2|' "$pkg/setup.inf" >"$work/named.inf"
touch -r "$pkg/setup.inf" "$work/nofilenum.inf" "$work/named.inf"
for variant in nofilenum named; do
  expect_success "build with $variant.inf" "$mksetup" build --inf "$work/$variant.inf" \
    --license "$pkg/license.txt" --root "$pkg/files" --stub "$stub" -v -o "$work/$variant.exe"
  cmp -s "$work/setup.exe" "$work/$variant.exe" || fail "$variant.inf gives another setup program"
done
grep -qF 'filed    hello.txt  copymode 3 (keep)' "$work/out" &&
  grep -qF 'filee    help\Guide.txt  copymode 2 (ask)' "$work/out" || fail "the letter table of named.inf"
grep -qF 'named.inf:22: note: help/guide.txt is packed as the key "filee"' "$work/err" || fail "no note of the renamed key"

# --- text in the code page with CR LF ------------------------------------
printf 'Caf\xc3\xa9 \xe2\x82\xac 5\nsecond line\n' >"$work/utf8.txt"
expect_success "a UTF-8 license with LF" build --license "$work/utf8.txt" -o "$work/utf8.exe"
grep -qF 'utf8.txt: note: converted for the setup program: line ends to CR LF, UTF-8 to code page 1252' \
  "$work/err" || fail "no note on the converted license"
"$mksetup" extract "$work/utf8.exe" -d "$work/utf8" >/dev/null
printf 'Caf\xe9 \x80 5\r\nsecond line\r\n' | cmp -s - "$work/utf8/License.txt" || fail "license bytes in code page 1252"
printf '\xd0\x9b\xd0\xb8\xd1\x86\xd0\xb5\xd0\xbd\xd0\xb7\xd0\xb8\xd1\x8f\n' >"$work/ru.txt"
expect_failure "Cyrillic in code page 1252" \
  'ru.txt:1: error: "Л" (U+041B), "и" (U+0438), "ц" (U+0446), "е" (U+0435), "н" (U+043D), "з" (U+0437), "я" (U+044F) are not in code page 1252' \
  build --license "$work/ru.txt" -o "$work/bad.exe"
expect_success "--codepage 1251" build --license "$work/ru.txt" --codepage=1251 -o "$work/ru.exe"
"$mksetup" extract "$work/ru.exe" -d "$work/ru" >/dev/null
printf '\xcb\xe8\xf6\xe5\xed\xe7\xe8\xff\r\n' | cmp -s - "$work/ru/License.txt" || fail "license bytes in code page 1251"
mkdir -p "$work/names" && : >"$work/names/Caf$(printf '\xc3\xa9').txt"
printf '[Install]\nDefDir=C:\\Caf\xc3\xa9\nAppName=Caf\xc3\xa9\n' >"$work/names.inf"
expect_success "a name beyond ASCII" "$mksetup" build --inf "$work/names.inf" --license "$pkg/license.txt" \
  --root "$work/names" --stub "$stub" -o "$work/names.exe"
grep -qaF "$(printf 'Caf\xe9.txt')" "$work/names.exe" || fail "stored name not in code page 1252"
"$mksetup" extract "$work/names.exe" -d "$work/names-x" >/dev/null
printf '[Install]\r\nDefDir=C:\\Caf\xe9\r\nAppName=Caf\xe9\r\nFileNum=1\r\n' | cmp -s - "$work/names-x/Uninstal.inf" ||
  fail "packed setup information file"

# --- the command line ----------------------------------------------------
for command in build list verify extract; do
  expect_success "$command --help" "$mksetup" $command --help
  grep -q "^$command " "$work/out" || fail "$command --help does not describe $command"
done
expect_success "help build" "$mksetup" help build
expect_success "--opt=value" "$mksetup" build --inf="$pkg/setup.inf" --license="$pkg/license.txt" \
  --root="$pkg/files" --stub="$stub" --output="$work/eq.exe"
cmp -s "$work/setup.exe" "$work/eq.exe" || fail "--opt=value builds another program"
expect_success "--version" "$mksetup" --version
grep -q '^mksetup [0-9]' "$work/out" && grep -q 'code pages: .*1252' "$work/out" || fail "--version"
expect_failure "--codepage 932" 'codepage 932 is not supported' build --codepage=932 -o "$work/bad.exe"
expect_failure "--all-files=1" '--all-files takes no value' build --all-files=1 -o "$work/bad.exe"
expect_failure "unknown option" 'unknown option --level for build' build --level 3 -o "$work/bad.exe"

if [ "$failures" -ne 0 ]; then echo "$failures failure(s)" >&2; exit 1; fi
echo "mksetup CLI: all passed"
