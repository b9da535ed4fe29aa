#!/usr/bin/env bash
# Our setup programs against NSIS on the same application (bench/app-corpus.sh:
# programs, libraries, documents, images, fonts and data of this machine,
# about 50 MB), packed four ways in one run:
#
#   ours LZHUF          mksetup build -9
#   ours LZMA           mksetup build --method lzma -9 (when this mksetup
#                       has --method; the table says when it has not)
#   NSIS zlib           makensis, SetCompressor zlib
#   NSIS LZMA /SOLID    makensis, SetCompressor /SOLID lzma
#
#   bench/nsis-compare.sh [WORK_DIR [RUNS]]   (defaults build/bench/nsis, 3)
#   BIN_DIR=build/bin                         mksetup and the stubs
#
# The NSIS script is generated: every file to $INSTDIR with SetOutPath and
# File, in the order mksetup packs them (by stored name, byte order), an
# uninstaller written and the uninstall entry registered, as a real NSIS
# installer does; NSIS's x86 stubs where Wine runs 32-bit programs, its
# amd64 stubs under wine64, each beside the matching build of our stub.
# NSIS's compressors keep their defaults (LZMA: 8 MB dictionary).
#
# Measured, RUNS runs alternating the programs, the best of each:
#   size      of the setup program, bytes;
#   build     wall clock of mksetup or makensis (CPU seconds beside it);
#   install   wall clock of the silent installation under Wine, Wine's
#             start and exit included (`setup.exe /S /D=C:\Program
#             Files\ZBench NAME` for all four), into a folder emptied
#             before each run.
# Every installation is checked before its time counts: exit code 0, every
# file of the application in place with its SHA-256, nothing else in the
# folder but the program's own (License.txt and Uninstal.inf, or
# uninst.exe). Each figure is also given as a ratio against NSIS LZMA
# /SOLID (below 1: smaller or faster than it).
set -euo pipefail
export LC_ALL=C
root=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$root/build/bench/nsis}
runs=${2:-3}
BIN=${BIN_DIR:-$root/build/bin}
fail() { echo "nsis-compare.sh: $*" >&2; exit 1; }
mkdir -p "$work"
work=$(cd "$work" && pwd)
. "$root/bench/wine-run.sh"
bench_prefix
stub=$BIN/setup-stub$WINE_SUFFIX.exe
if [ ! -x "$BIN/mksetup" ] || [ ! -f "$stub" ]; then fail "$BIN/mksetup or $stub missing: run make build"; fi
command -v makensis >/dev/null || fail "makensis missing (scripts/prereqs.sh bench installs nsis)"
[ -x /usr/bin/time ] || fail "/usr/bin/time missing (scripts/prereqs.sh bench installs time)"
nsis_target=x86-unicode
[ "$WINE_BITS" = 64 ] && nsis_target=amd64-unicode
: >"$work/wine.log"

# The application, made once (a second run on this machine makes the same).
[ -f "$work/app/SHA256SUMS" ] || bash "$root/bench/app-corpus.sh" "$work/app" >"$work/app.log"
app=$work/app/files
files=$(wc -l <"$work/app/SHA256SUMS")
bytes=$(awk '{s += $2} END {print s}' "$work/app/LIST")

programs=(ours-lzhuf)
if "$BIN/mksetup" build --help 2>&1 | grep -q -- --method; then
  programs+=(ours-lzma)
  method_note=""
else
  method_note="this mksetup has no --method"
fi
programs+=(nsis-zlib nsis-lzma)
label() {
  case $1 in
    ours-lzhuf) echo "ours, -9 (LZHUF)" ;;
    ours-lzma) echo "ours, --method lzma -9" ;;
    nsis-zlib) echo "NSIS zlib" ;;
    nsis-lzma) echo "NSIS LZMA /SOLID" ;;
  esac
}
install_dir() { echo "C:\\Program Files\\ZBench $1"; }

echo "# nsis-compare.sh: $WINE_LABEL"
echo "# $(wine --version), makensis $(makensis -VERSION) ($nsis_target stubs), $runs runs alternating, the best of each"
echo "# application: $files files, $bytes bytes (bench/app-corpus.sh, $work/app/LIST)"
[ -z "$method_note" ] || echo "# $method_note"

# Inputs of each build.
for p in "${programs[@]}"; do
  mkdir -p "$work/out/$p"
  case $p in
    ours-*)
      printf '[Install]\nDefDir=%s\nAppName=ZBench %s\nAppBy=zsetup benchmarks\nCompReg=zbench\nVerNum=1.0\n' \
        "$(install_dir "$p")" "$p" >"$work/out/$p.inf"
      ;;
    nsis-*)
      compressor=zlib
      [ "$p" = nsis-lzma ] && compressor="/SOLID lzma"
      key="Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZBench $p"
      # shellcheck disable=SC2016,SC1003 # NSIS's variables, Windows's backslashes
      {
        printf 'Unicode true\nTarget %s\nSetCompressor %s\nName "ZBench %s"\n' "$nsis_target" "$compressor" "$p"
        printf 'OutFile "out/%s/setup.exe"\nInstallDir "%s"\nRequestExecutionLevel admin\n' "$p" "$(install_dir "$p")"
        printf 'Section\n'
        # The stored names in byte order, as mksetup packs them; a new
        # SetOutPath where the folder changes.
        awk '{print $2}' "$work/app/SHA256SUMS" | tr '/' '\\' | sort | awk '{
          dir = $0; sub(/\\[^\\]*$/, "", dir); if (dir == $0) dir = ""
          if (NR == 1 || dir != last) printf "SetOutPath \"$INSTDIR%s\"\n", (dir == "" ? "" : "\\" dir)
          last = dir; path = $0; gsub(/\\/, "/", path); gsub(/\$/, "$$", path)
          printf "File \"app/files/%s\"\n", path }'
        printf 'WriteUninstaller "$INSTDIR\\uninst.exe"\n'
        printf 'WriteRegStr HKLM "%s" "DisplayName" "ZBench %s"\n' "$key" "$p"
        printf 'WriteRegStr HKLM "%s" "UninstallString" '"'"'"$INSTDIR\\uninst.exe"'"'"'\n' "$key"
        printf 'WriteRegStr HKLM "%s" "QuietUninstallString" '"'"'"$INSTDIR\\uninst.exe" /S'"'"'\n' "$key"
        printf 'SectionEnd\nSection "Uninstall"\nRMDir /r "$INSTDIR"\nDeleteRegKey HKLM "%s"\nSectionEnd\n' "$key"
      } >"$work/$p.nsi"
      ;;
  esac
done
printf 'A benchmark package; nothing to agree to.\n' >"$work/out/license.txt"

build() { # PROGRAM: builds it once, appends "wall cpu" to $work/build-PROGRAM
  local p=$1 t0 t1 out=$work/out/$1/setup.exe
  rm -f "$out"
  local cmd
  case $p in
    ours-lzhuf) cmd=("$BIN/mksetup" build -9) ;;
    ours-lzma) cmd=("$BIN/mksetup" build --method lzma --preview -9) ;;
  esac
  case $p in
    ours-*) cmd+=(--inf "$work/out/$p.inf" --license "$work/out/license.txt" --root "$app" --stub "$stub" -o "$out") ;;
    nsis-*) cmd=(makensis -V2 "$work/$p.nsi") ;;
  esac
  t0=$(date +%s%N)
  /usr/bin/time -o "$work/cpu" -f '%U %S' "${cmd[@]}" >"$work/build.log" 2>&1 ||
    { tail -20 "$work/build.log" >&2; fail "$(label "$p"): the build failed"; }
  t1=$(date +%s%N)
  [ -f "$out" ] || fail "$(label "$p"): no $out"
  echo "$(( (t1 - t0) / 1000000 )) $(awk 'END {printf "%d", ($1 + $2) * 1000}' "$work/cpu")" >>"$work/build-$p"
}

# A silent installation of PROGRAM, checked; appends its time to $work/install-PROGRAM.
install() { # PROGRAM
  local p=$1 dir target
  dir=$(install_dir "$p")
  target=$(host_path "$dir")
  rm -rf "$target"
  wine_run "$work/out/$p/setup.exe" "/S /D=$dir"
  [ "$wine_rc" -eq 0 ] || fail "$(label "$p"): setup.exe /S ended with exit code $wine_rc"
  [ -d "$target" ] || fail "$(label "$p"): nothing installed in $target"
  (cd "$target" && sha256sum --quiet -c "$work/app/SHA256SUMS") >"$work/check.txt" 2>&1 ||
    { head "$work/check.txt" >&2; fail "$(label "$p"): installed files missing or with other bytes"; }
  local own
  case $p in ours-*) own=$'License.txt\nUninstal.inf' ;; nsis-*) own=uninst.exe ;; esac
  (cd "$target" && find . -type f | sed 's|^\./||' | sort) >"$work/found.txt"
  { awk '{print $2}' "$work/app/SHA256SUMS"; echo "$own"; } | sort >"$work/expected.txt"
  diff "$work/expected.txt" "$work/found.txt" >"$work/check.txt" ||
    { head "$work/check.txt" >&2; fail "$(label "$p"): the installed folder holds other files than the application's"; }
  echo "$wine_ms" >>"$work/install-$p"
}

rm -f "$work"/build-* "$work"/install-* "$work/start" "$work"/out/*/setup.exe
for run in $(seq "$runs"); do
  for p in "${programs[@]}"; do build "$p"; done
  echo "# run $run, build: $(for p in "${programs[@]}"; do printf '%s %s ms  ' "$p" "$(tail -n1 "$work/build-$p" | cut -d' ' -f1)"; done)"
done
for p in "${programs[@]}"; do install "$p"; done # warms the prefix and the file cache
rm -f "$work"/install-*
for run in $(seq "$runs"); do
  wine_run "$work/out/ours-lzhuf/setup.exe" "/S /X"
  [ "$wine_rc" -eq 1 ] || fail "setup.exe /S /X ended with exit code $wine_rc, not 1"
  echo "$wine_ms" >>"$work/start"
  for p in "${programs[@]}"; do install "$p"; done
  echo "# run $run, install: $(for p in "${programs[@]}"; do printf '%s %s ms  ' "$p" "$(tail -n1 "$work/install-$p")"; done)"
done
for p in "${programs[@]}"; do rm -rf "$(host_path "$(install_dir "$p")")"; done

size() { stat -c %s "$work/out/$1/setup.exe"; }
best_build() { sort -n "$work/build-$1" | head -n1; }
ref_size=$(size nsis-lzma) ref_build=$(best_build nsis-lzma | cut -d' ' -f1) ref_install=$(best "$work/install-nsis-lzma")
echo
echo "$WINE_LABEL"
echo "$files files, $bytes bytes; best of $runs runs, wall clock; ratios against NSIS LZMA /SOLID."
echo "Wine's start and exit (ours, \`setup.exe /S /X\`): $(best "$work/start") ms, in every install time."
echo
echo "| Setup program | Size, bytes | Size ratio | Build s (CPU s) | Build ratio | Install s | Install ratio |"
echo "|---|---:|---:|---:|---:|---:|---:|"
for p in ours-lzhuf ours-lzma nsis-zlib nsis-lzma; do
  if [ ! -f "$work/build-$p" ]; then
    echo "| $(label "$p") | - | - | - | - | - | - |"
    continue
  fi
  read -r wall cpu <<<"$(best_build "$p")"
  awk -v l="$(label "$p")" -v s="$(size "$p")" -v w="$wall" -v c="$cpu" -v i="$(best "$work/install-$p")" \
    -v rs="$ref_size" -v rb="$ref_build" -v ri="$ref_install" 'BEGIN {
      n = sprintf("%d", s); t = ""
      while (length(n) > 3) { t = "," substr(n, length(n) - 2) t; n = substr(n, 1, length(n) - 3) }
      printf "| %s | %s | %.3f | %.1f (%.1f) | %.2f | %.2f | %.2f |\n", l, n t, s / rs, w / 1000, c / 1000, w / rb, i / 1000, i / ri }'
done
echo
[ -z "$method_note" ] || echo "No LZMA row: $method_note."
# The machine may be shared: the ratios within each run, for the scatter.
for p in "${programs[@]}"; do
  [ "$p" != nsis-lzma ] || continue
  printf '%s, each run against NSIS LZMA /SOLID: build %s, install %s\n' "$(label "$p")" \
    "$(paste -d' ' "$work/build-$p" "$work/build-nsis-lzma" | awk '{printf "%s%.2f", (NR > 1 ? " " : ""), $1 / $3}')" \
    "$(paste -d' ' "$work/install-$p" "$work/install-nsis-lzma" | awk '{printf "%s%.2f", (NR > 1 ? " " : ""), $1 / $2}')"
done
echo "Aims: ours LZMA at most 0.97 of NSIS LZMA /SOLID's size; both of ours at most 0.8 of its install time."
