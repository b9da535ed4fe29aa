#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine, when missing.
# Usage: scripts/prereqs.sh [build|test|demo|bench]
set -euo pipefail
what=${1:-test}
# wine32 runs the product's i686 programs where the kernel runs 32-bit
# programs; wine64 and the x86_64 cross compiler give the same suite on
# machines whose kernel refuses them (scripts/wine-env.sh chooses).
pkgs=(cmake make g++ ca-certificates googletest libgtest-dev libbenchmark-dev liblzma-dev g++-mingw-w64-i686
      binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine wine64 wine32:i386
      xvfb xauth imagemagick lhasa osslsigncode openssl)
case "$what" in
  # The demo's desktop: Wine's own fonts (the caption buttons' glyphs), a
  # Times New Roman stand-in, and xdotool for the Start menu.
  demo) pkgs+=(fonts-wine fonts-liberation fontconfig xdotool) ;;
  # nsis: bench/nsis-compare.sh's peer; python3 makes its application and
  # bench/any-size.sh's packages.
  bench) pkgs+=(jlha-utils default-jre-headless default-jdk-headless valgrind time nsis python3) ;;
  fuzz) pkgs+=(clang libclang-rt-14-dev) ;;
esac
missing=()
for p in "${pkgs[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
  dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
