#!/usr/bin/env bash
# Fails when a 32-bit program holds an instruction that an Intel 386 cannot
# run: Windows 95 runs on a 386DX and on the 486s and Pentiums of its day,
# and one such instruction in a path that runs ends the program there with
# an invalid-opcode fault. Disassembles every code section and names each
# instruction found, with its address.
#   scripts/check-i386.sh PROGRAM.exe [OBJDUMP]
set -euo pipefail
program=$1
objdump=${2:-i686-w64-mingw32-objdump}
# 486: bswap, cmpxchg, xadd, invd, wbinvd, invlpg. Pentium: cmpxchg8b,
# rdtsc, rdmsr, wrmsr, cpuid, rsm. Pentium Pro and later: cmov, fcmov,
# fcomi, fucomi, rdpmc, ud2, sysenter/sysexit, the multi-byte nop (0f 1f).
# MMX, SSE and later: any mm/xmm/ymm register, fisttp, fences, prefetches,
# movbe, popcnt, lzcnt, tzcnt, clflush, fxsave/fxrstor.
mnemonics='cmov[a-z]*|fcmov[a-z]*|bswap|cmpxchg[a-z0-9]*|xadd[bwl]?|invd|wbinvd|invlpg|rdtscp?|rdpmc|rdmsr|wrmsr|cpuid|rsm|fu?comip?|ud2[a-z]*|sysenter|sysexit|nop[lwq]|fisttp[a-z]*|[lsm]fence|prefetch[a-z0-9]*|movbe|popcnt|lzcnt|tzcnt|clflush[a-z]*|fxsave|fxrstor|emms'
found=$("$objdump" -d --no-show-raw-insn "$program" |
  awk -v re="^($mnemonics)\$" '
    /^ *[0-9a-f]+:/ {
      address = $1; sub(":", "", address)
      mnemonic = $2
      if (mnemonic ~ re || $0 ~ /%[xy]?mm[0-9]/) print "  0x" address ": " substr($0, index($0, $2))
    }')
if [ -n "$found" ]; then
  count=$(printf '%s\n' "$found" | wc -l)
  echo "error: $program holds $count instruction(s) a 386 cannot run:" >&2
  printf '%s\n' "$found" | head -n 40 >&2
  exit 1
fi
echo "$(basename "$program"): every instruction runs on a 386"
