#!/bin/bash
# The LZMA method's figures: bench/corpus.sh's four kinds plus Windows
# programs and libraries of this machine (the mingw runtime's DLLs for
# i386 and x86-64, stripped as shipped DLLs are, and every 12th of Wine's
# x86-64 DLLs and programs below 4 MB, none of its setup or installer
# parts), then lzma_bench over all of it.
#
#   bench/lzma-compare.sh DIR [RUNS]    (BIN_DIR: where lzma_bench is)
set -euo pipefail
export LC_ALL=C
out=${1:?usage: lzma-compare.sh DIR [RUNS]}
runs=${2:-3}
here=$(cd "$(dirname "$0")" && pwd)
bin=${BIN_DIR:-$(dirname "$here")/build/bin}
[ -d "$out/corpus" ] || bash "$here/corpus.sh" "$out/corpus" >/dev/null
if [ ! -d "$out/pe" ]; then
    mkdir -p "$out/pe/pe32" "$out/pe/pe64"
    for arch in i686 x86_64; do
        dest=$out/pe/pe32; [ $arch = x86_64 ] && dest=$out/pe/pe64
        find /usr/lib/gcc/$arch-w64-mingw32 /usr/$arch-w64-mingw32 -name '*.dll' 2>/dev/null |
            grep -v -- '-win32/' | sort | while read -r f; do
            n=$(basename "$f")
            [ -e "$dest/$n" ] || $arch-w64-mingw32-strip -o "$dest/$n" "$f" 2>/dev/null || cp "$f" "$dest/$n"
        done
    done
    wine=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
    if [ -d $wine ]; then
        ls $wine | grep -viE 'setup|msi|inst|advpack|cab|wusa|updspapi|extrac' | awk 'NR % 12 == 0' |
            while read -r n; do
                [ -f "$wine/$n" ] && [ "$(stat -c %s "$wine/$n")" -lt 4000000 ] && cp "$wine/$n" "$out/pe/pe64/wine-$n"
            done
    fi
fi
"$bin/lzma_bench" "$out/corpus" "$out/pe" --runs "$runs"
