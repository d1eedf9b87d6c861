#!/usr/bin/env bash
# Installs the Debian packages the player, its tools and its tests need, only those
# missing. Works as root or through sudo.
set -euo pipefail

PACKAGES=(
  # toolchain
  g++ cmake ninja-build ccache pkg-config make python3
  # tests, benchmarks, fuzzing
  libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
  # the peer interpreter the expression benchmarks compare with (benchmarks only)
  liblua5.4-dev
  # window, input, sound device
  libsdl2-dev
  # pictures and compression
  zlib1g-dev libpng-dev libjpeg62-turbo-dev
  # text: the font service and the faces that stand for the ones titles name
  libfreetype-dev libfontconfig-dev fonts-ipafont-gothic fonts-ipafont-mincho
  # the peer of the drawing-surface benchmarks
  libpixman-1-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null; then SUDO="sudo"; else
    echo "install-deps: need root or sudo to install: ${missing[*]}" >&2; exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
