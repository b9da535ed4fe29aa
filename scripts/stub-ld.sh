#!/usr/bin/env bash
# Writes the stub's linker script: the linker's own default one with the
# read-only data (.rdata) placed in the code section instead of a section
# of its own. Every section of the image takes whole 512-byte blocks in
# the file, so one section fewer is one partly filled block fewer; both
# are read-only, and the loader maps them alike.
#   scripts/stub-ld.sh LINKER OUT
set -euo pipefail
linker=$1 out=$2
"$linker" --verbose | awk '
  /^==========/ { inside = !inside; next }
  !inside { next }
  # The code section ends where the exception tables end: the read-only
  # data goes in behind them.
  /KEEP \(\*\(\.gcc_except_table\)\)/ { print; print "    *(.rdata)"; print "    *(SORT(.rdata$*))"; next }
  /^  \.rdata / { rdata = 1 }
  rdata && /\*\(\.rdata\)|\*\(SORT\(\.rdata\$\*\)\)/ { next }
  rdata && /^  }/ { rdata = 0 }
  { print }
' > "$out.tmp"
grep -q 'gcc_except_table' "$out.tmp" || { echo "stub-ld.sh: unexpected default script" >&2; exit 1; }
mv "$out.tmp" "$out"
