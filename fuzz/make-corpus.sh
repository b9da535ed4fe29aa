#!/bin/sh
# Makes the starting corpus of the fuzz targets from real setup programs:
# mksetup packs examples/hello and a few small generated packages behind a
# stand-in stub, with either method, and the archives, their entry blocks and plain data are
# laid out in OUT/<target>/ in the form each target reads.
# Usage: fuzz/make-corpus.sh OUT [MKSETUP]
set -eu
out=$1
here=$(cd "$(dirname "$0")" && pwd)
top=$(dirname "$here")
mksetup=${2:-$top/build/bin/mksetup}
[ -x "$mksetup" ] || { echo "make-corpus: no mksetup at $mksetup" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out/fuzz_decoder" "$out/fuzz_entry" "$out/fuzz_reader" "$out/fuzz_lzma"

# The stub's content does not matter to the reader; mksetup wants the shape
# the build makes: an MZ header leading to a PE header (i386, no sections),
# zero bytes up to 38,912 and CR LF.
python3 - "$work/stub.exe" <<'PY'
import struct, sys
stub = bytearray(38912)
stub[0:2] = b"MZ"
struct.pack_into("<I", stub, 0x3C, 0x80)
stub[0x80:0x84] = b"PE\0\0"
struct.pack_into("<HHIIIHH", stub, 0x84, 0x14C, 0, 0, 0, 0, 0xE0, 0x0102)
struct.pack_into("<H", stub, 0x98, 0x10B)
struct.pack_into("<I", stub, 0x98 + 60, 0x400)
open(sys.argv[1], "wb").write(bytes(stub) + b"\r\n")
PY

# The example with a stand-in for its program, which the cross build makes.
cp -r "$top/examples/hello/files" "$work/hello-files"
printf 'MZ hello world stand-in\r\n' >"$work/hello-files/HelloWorld.exe"
"$mksetup" build --inf "$top/examples/hello/setup.inf" \
  --license "$top/examples/hello/license.txt" --root "$work/hello-files" \
  --stub "$work/stub.exe" -o "$work/hello.exe" >/dev/null

# Generated packages: an empty file, repeats, text, random bytes, a name
# with directories.
for kind in empty repeat text random nested; do
  root="$work/$kind"; mkdir -p "$root"
  case $kind in
    empty) : >"$root/empty.dat" ;;
    repeat) python3 -c 'import sys; sys.stdout.buffer.write(b"ab" * 3000)' >"$root/repeat.dat" ;;
    text) head -c 5000 "$top/CMakeLists.txt" >"$root/text.txt" ;;
    random) head -c 700 /dev/urandom >"$root/random.bin" ;;
    nested) mkdir -p "$root/a/b"; echo nested >"$root/a/b/c.txt" ;;
  esac
  printf '[Install]\r\nDefDir=C:\\%s\r\nAppName=%s\r\nFileNum=1\r\n' "$kind" "$kind" >"$work/$kind.inf"
  printf 'License for %s\r\n' "$kind" >"$work/$kind.lic"
  "$mksetup" build --inf "$work/$kind.inf" --license "$work/$kind.lic" \
    --root "$root" --stub "$work/stub.exe" -o "$work/$kind.exe" >/dev/null
  "$mksetup" build --method lzma --preview --inf "$work/$kind.inf" --license "$work/$kind.lic" \
    --root "$root" --stub "$work/stub.exe" -o "$work/$kind-lzma.exe" >/dev/null
done
# The example with the LZMA method: one solid stream, and one per file.
for solid in "" --no-solid; do
  "$mksetup" build --method lzma --preview $solid --inf "$top/examples/hello/setup.inf" \
    --license "$top/examples/hello/license.txt" --root "$work/hello-files" \
    --stub "$work/stub.exe" -o "$work/hello-lzma${solid:+-separate}.exe" >/dev/null
done

python3 - "$out" "$work"/*.exe <<'PY'
import os, random, sys
out, programs = sys.argv[1], sys.argv[2:]
start = 38914
def put(target, name, data):
    with open(os.path.join(out, target, name), "wb") as f:
        f.write(data)
for path in programs:
    base = os.path.basename(path)[:-4]
    program = open(path, "rb").read()
    archive = program[start:]
    put("fuzz_reader", base + "-archive", b"\x00" + archive)
    put("fuzz_reader", base + "-commands", b"\x03" + archive)
    offset, number = start, 1
    while offset + 8 <= len(program):
        length = int.from_bytes(program[offset + 4:offset + 8], "little")
        if length < 18:
            break
        block = program[offset + 4:offset + length]
        put("fuzz_decoder", "%s-entry%d" % (base, number), b"\x00" + block)
        put("fuzz_entry", "%s-entry%d" % (base, number), block[:64])
        offset += length
        number += 1
put("fuzz_reader", "hello-whole-cut", b"\x01" + open(programs[0], "rb").read()[:100])
rng = random.Random(7)
put("fuzz_reader", "roundtrip-text", b"\x02\x08" + b"the quick brown fox " * 20)
put("fuzz_reader", "roundtrip-random", b"\x02\x00" + bytes(rng.randrange(256) for _ in range(300)))
put("fuzz_reader", "roundtrip-run", b"\x02\x04" + b"\x00" * 5000)
# Crafted decoder streams: a few literals and matches, then rebuilds made
# by the leaf at node 0, the last leaf, one inside a run and any leaf,
# over each filler kind.
steps = b"\x00A\x00B\x05\x10\x03\x20"
put("fuzz_decoder", "crafted-node0-text", b"\xe0" + steps + b"\x02\x01")
put("fuzz_decoder", "crafted-last-matches", b"\xe1" + steps + b"\x16\x02\x12\x03")
put("fuzz_decoder", "crafted-run-flat", b"\xe2" + b"\x2a\x04\x0b\x40\x2a\x05")
put("fuzz_decoder", "crafted-any-dominant", b"\xe3" + b"\x3e\x06\x3e\x07\x02\x08")
# LZMA2 streams as liblzma makes them (Python's lzma module is liblzma):
# text, a stored stretch, runs, other lc/lp/pb, and x86 code, each behind
# an option byte that picks a dictionary of 64 KiB, 4 KiB or 1 byte.
import lzma
def raw(data, **options):
    return lzma.compress(data, format=lzma.FORMAT_RAW,
                         filters=[dict(id=lzma.FILTER_LZMA2, dict_size=1 << 16, **options)])
words = [b"setup", b"file", b"the", b"install", b"directory", b"of", b"program", b"a"]
text = b" ".join(words[rng.randrange(len(words))] for _ in range(1200))[:6000]
code = bytes(rng.randrange(256) if i % 9 else 0xE8 for i in range(4000))
for name, data, options in [("text", text, {}), ("stored", bytes(rng.randrange(256) for _ in range(2000)), {}),
                            ("run", b"ab" * 3000, {"preset": 0}), ("lc4pb0", text[:3000], {"lc": 4, "pb": 0}),
                            ("lp2", text[:3000], {"lc": 0, "lp": 2}), ("code", code, {})]:
    put("fuzz_lzma", "lzma2-" + name, b"\x04" + raw(data, **options))
put("fuzz_lzma", "lzma2-text-small-dictionary", b"\x02" + raw(text))
put("fuzz_lzma", "lzma2-text-one-byte-dictionary", b"\x00" + raw(text))
PY
echo "make-corpus: $(ls "$out"/* | wc -l) files in $out"
