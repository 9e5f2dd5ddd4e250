#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what Vocabulon needs, builds it, puts the sample, WordNet and GCIDE dictionaries
# into the build's system root, and runs the main job: the window when a display is present,
# else a lookup on the command line.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
./build/vocabulon import /usr/share/dictd/wn.index /usr/share/dictd/gcide.index
./build/vocabulon dictionaries
echo
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec ./build/vocabulon   # the window
fi
# No display: the same lookup on the command line.
./build/vocabulon define -d "WordNet (r) 3.0 (2006)" "Don't look up well-known words one by one."
