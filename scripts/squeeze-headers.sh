#!/usr/bin/env bash
# Takes the linker's DOS program out from between the MZ header and the PE
# headers when that makes the headers one 512-byte block shorter (with
# four sections they pass 512 bytes by 24). The PE headers move to offset
# 64, every section's file offset moves down by the block, and a program
# of 14 bytes in the MZ header's reserved words says "Win32 only." under
# DOS. Addresses in memory do not change; the checksum, wrong anyway once
# the stub is padded and the archive appended, is cleared.
#   scripts/squeeze-headers.sh IMAGE     (in place)
set -euo pipefail
image=$1

u16() { od -An -tu2 -j "$1" -N2 "$image" | tr -d ' '; }
u32() { od -An -tu4 -j "$1" -N4 "$image" | tr -d ' '; }
write32() { # file offset value
  printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($3 & 255)) $(($3 >> 8 & 255)) \
    $(($3 >> 16 & 255)) $(($3 >> 24 & 255)))" |
    dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

[ "$(head -c 2 "$image")" = MZ ] || { echo "squeeze-headers.sh: $image: no MZ header" >&2; exit 1; }
pe=$(u32 60)
[ "$(dd if="$image" bs=1 skip="$pe" count=4 status=none | od -An -tx1 | tr -d ' ')" = 50450000 ] ||
  { echo "squeeze-headers.sh: $image: no PE header at $pe" >&2; exit 1; }
sections=$(u16 $((pe + 6)))
optional=$(u16 $((pe + 20)))
opt=$((pe + 24))
alignment=$(u32 $((opt + 36)))
headers=$(u32 $((opt + 60)))
length=$((24 + optional + 40 * sections))
squeezed=$(( (64 + length + alignment - 1) / alignment * alignment ))
[ "$pe" -gt 64 ] && [ "$squeezed" -lt "$headers" ] || exit 0
shift_by=$((headers - squeezed))

# Nothing else may hold a file offset: no debug directory, no certificate.
magic=$(u16 "$opt")
directories=$((opt + (magic == 523 ? 112 : 96)))
for entry in 4 6; do
  if [ "$(u32 $((directories + 8 * entry + 4)))" != 0 ]; then
    echo "squeeze-headers.sh: $image: data directory $entry holds file offsets" >&2
    exit 1
  fi
done

out=$image.squeeze
head -c 64 "$image" > "$out"
dd if="$image" bs=1 skip="$pe" count="$length" status=none >> "$out"
truncate -s "$squeezed" "$out"
tail -c +$((headers + 1)) "$image" >> "$out"

write32 "$out" 60 64
opt=$((64 + 24))
write32 "$out" $((opt + 60)) "$squeezed"
write32 "$out" $((opt + 64)) 0
table=$((opt + optional))
for ((i = 0; i < sections; i++)); do
  at=$((table + 40 * i + 20))
  raw=$(od -An -tu4 -j "$at" -N4 "$out" | tr -d ' ')
  [ "$raw" = 0 ] || write32 "$out" "$at" $((raw - shift_by))
done
# The DOS program: 2 header paragraphs, so it starts at offset 32:
# push cs; pop ds; mov dx, 14; mov ah, 9; int 21h; mov ax, 4C01h; int 21h,
# and the text at 32 + 14.
printf '\x02\x00' | dd of="$out" bs=1 seek=8 conv=notrunc status=none
printf '\x0e\x1f\xba\x0e\x00\xb4\x09\xcd\x21\xb8\x01\x4c\xcd\x21Win32 only.\r\n$' |
  dd of="$out" bs=1 seek=32 conv=notrunc status=none
mv "$out" "$image"
