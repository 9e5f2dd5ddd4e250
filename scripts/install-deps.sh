#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages that building, running and testing Vocabulon need.
# Idempotent: does nothing when everything is already installed.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev qt6-webengine-dev
  qt6-image-formats-plugins
  zlib1g-dev libicu-dev
  libhunspell-dev hunspell-en-us
  googletest libgtest-dev libbenchmark-dev
  dictd dict dict-wn dict-gcide sdcv
  unrtf libplist-utils attr
  shared-mime-info
  xvfb xauth libxcb1-dev
  desktop-file-utils appstream man-db librsvg2-bin
  build-essential debhelper dpkg-dev lintian fakeroot
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: run as root or install sudo" >&2; exit 1; }
  sudo=sudo
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
# Services the packages bring (dictd) are left as the machine has them: the tests start their
# own dictd on 127.0.0.1 and a port of their own.
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
