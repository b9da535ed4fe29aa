#!/usr/bin/env bash
# Turns the linked image into the stub: zero bytes up to 38,912, then CR LF,
# so that the payload archive starts at the fixed offset 38,914.
set -euo pipefail
image=$1 stub=$2 budget=38912
size=$(stat -c %s "$image")
if [ "$size" -gt "$budget" ]; then
  echo "error: $image is $size bytes; the stub image must fit in $budget bytes" \
       "($((size - budget)) over). Make the stub smaller." >&2
  exit 1
fi
cp "$image" "$stub.tmp"
truncate -s "$budget" "$stub.tmp"
printf '\r\n' >> "$stub.tmp"
mv "$stub.tmp" "$stub"
echo "stub: image $size bytes, $((budget - size)) bytes to spare"
