#!/usr/bin/env bash
# Fresh-machine entry point: installs what is missing (Debian, as root or
# with sudo), then runs the make target: `bash make.sh demo`, `bash make.sh test`.
set -euo pipefail
cd "$(dirname "$0")"
if ! command -v make >/dev/null 2>&1; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends make
fi
scripts/prereqs.sh "${1:-test}"
exec make "${@:-test}"
