#!/usr/bin/env bash
# Installs the Debian packages Marquetor needs that are not there yet.
# Usage: scripts/install-deps.sh [base|bench]   (base is the default)
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev
  libpng-dev libjpeg62-turbo-dev zlib1g-dev
  libgtest-dev libgmock-dev nlohmann-json3-dev
  libcli11-dev nettle-dev
  libpugixml-dev tiled qt5-image-formats-plugins
  python3 python3-jsonschema groff-base man-db git
  clang libclang-rt-14-dev
  xvfb xauth
  desktop-file-utils appstream shared-mime-info libxml2-utils
  dpkg-dev file
  mono-mcs mono-runtime lua5.1 luajit lua5.4
)
# The readers' tests (readers/): Rust's cargo from Debian when no cargo is on the PATH (a
# rustup installation is used as it is).
if ! command -v cargo > /dev/null 2>&1; then
  packages+=(cargo)
fi
# The JavaScript reader's tests need Node.js: Debian's, unless a node is on the PATH already.
if ! command -v node >/dev/null 2>&1; then
  packages+=(nodejs)
fi
if [ "${1:-base}" = bench ]; then
  packages+=(libbenchmark-dev valgrind time)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
