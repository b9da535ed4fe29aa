# Sourced by the scripts that run our Win32 programs under Wine. Finds out
# whether this machine runs 32-bit programs by starting one (Wine's own
# i386 loader), and sets up the one path that works here:
#
#   WINE_BITS=32  the product's i686 programs (build/bin, build/bin/wine)
#                 in a 32-bit prefix: the normal case.
#   WINE_BITS=64  the x86_64 build of the same sources (setup-stub64.exe,
#                 build/bin/wine64) in a WINEARCH=win64 prefix under
#                 wine64: for kernels that refuse 32-bit programs.
#
# Sets WINE_BITS, WINE_SUFFIX ("" or "64"), WINE_LABEL (one line saying
# which), WINE_PREFIX_SUFFIX, and puts a "wine" that starts the right
# loader first on PATH (wineboot and the other tools start "wine" too).
# WINE_FORCE_BITS=64 takes the 64-bit path on a machine that could run both.
wine_env_root=$(cd "$(dirname "${BASH_SOURCE[0]:-$0}")/.." && pwd)
if [ "${WINE_FORCE_BITS:-}" != 64 ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
  WINE_BITS=32 WINE_SUFFIX="" WINE_PREFIX_SUFFIX=""
  WINE_LABEL="Win32 suite (i686)"
else
  WINE_BITS=64 WINE_SUFFIX=64 WINE_PREFIX_SUFFIX=-win64
  if [ "${WINE_FORCE_BITS:-}" = 64 ]; then
    WINE_LABEL="Win32 suite (x86_64 build of the same sources: asked for by WINE_FORCE_BITS=64)"
  else
    WINE_LABEL="Win32 suite (x86_64 build of the same sources: this machine cannot run 32-bit programs)"
  fi
  if [ ! -x /usr/lib/wine/wine64 ]; then
    echo "error: this machine cannot run 32-bit programs and wine64 is missing" \
         "(scripts/prereqs.sh installs it)" >&2
    return 1 2>/dev/null || exit 1
  fi
  # The Debian "wine" script prefers the i386 loader whenever it is
  # installed, runnable or not; this one goes straight to wine64.
  wine_shim=${TMPDIR:-/tmp}/zsetup-wine64-shim
  mkdir -p "$wine_shim"
  for name in wine wine-stable; do
    printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' \
      > "$wine_shim/$name"
    chmod +x "$wine_shim/$name"
  done
  case ":$PATH:" in *":$wine_shim:"*) ;; *) PATH=$wine_shim:$PATH ;; esac
  export PATH WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
fi
export WINE_BITS WINE_SUFFIX WINE_LABEL WINE_PREFIX_SUFFIX
