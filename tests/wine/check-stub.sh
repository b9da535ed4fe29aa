#!/usr/bin/env bash
# Checks the layout of stub-like programs: exactly 38,914 bytes (STUB_SIZE)
# ending in CR LF (so the payload starts there), and an import table naming only
# the system DLLs a bare Windows has.
# Usage: check-stub.sh STUB [OTHER-PADDED-EXE...]
# Prints one line per check and "N passed, N failed"; exit status 1 on failure.
set -uo pipefail
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
# 38,914 for the product; STUB_SIZE gives the x86_64 test build's.
stub_size=${STUB_SIZE:-38914}
allowed="kernel32.dll user32.dll gdi32.dll comctl32.dll comdlg32.dll advapi32.dll ole32.dll shell32.dll"
passed=0 failed=0

check() { # name, condition result (0 = ok), detail
  if [ "$2" -eq 0 ]; then
    passed=$((passed + 1)); echo "  ok   $1"
  else
    failed=$((failed + 1)); echo "  FAIL $1: $3"
  fi
}

for exe in "$@"; do
  name=$(basename "$exe")
  if [ ! -f "$exe" ]; then
    check "$name exists" 1 "$exe not found"; continue
  fi
  size=$(stat -c %s "$exe")
  [ "$size" -eq "$stub_size" ]; check "$name is $stub_size bytes" $? "$size bytes"
  tail_hex=$(tail -c 2 "$exe" | od -An -tx1 | tr -d ' \n')
  [ "$tail_hex" = "0d0a" ]; check "$name ends in CR LF" $? "last bytes $tail_hex"
  dlls=$("$objdump" -p "$exe" 2>/dev/null | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
  bad=""
  for dll in $dlls; do
    case " $allowed " in *" $dll "*) ;; *) bad="$bad $dll" ;; esac
  done
  [ -n "$dlls" ] && [ -z "$bad" ]
  check "$name imports only system DLLs ($(echo $dlls))" $? "not allowed:${bad:- (no import table)}"
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
