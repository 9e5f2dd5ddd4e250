#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The window's screenshots in docs/, taken under Xvfb with GCIDE: a 20-word lookup, the same
# under a dark theme, the window at its minimum size, and the results zoomed with the find bar.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export VOCABULON_SYSTEM_ROOT="$work/root"
mkdir -p "$HOME" "$VOCABULON_SYSTEM_ROOT/System/Library/Automator"
cp -r "build/root/System/Library/Automator/Get Definition of Word.action" "$VOCABULON_SYSTEM_ROOT/System/Library/Automator/"
./build/vocabulon import /usr/share/dictd/gcide.index >/dev/null
title="The Collaborative International Dictionary of English v.0.48"
shot() {
  xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/vocabulon-bench-window shot "$title" \
    bench/data/english-10000.txt 20 "$@" 2>/dev/null
}
shot docs/window-20-words.png
shot docs/window-dark-theme.png dark
shot docs/window-minimum-size.png minimum
shot docs/window-zoomed-find.png zoomed find eleven
echo "docs/window-20-words.png docs/window-dark-theme.png docs/window-minimum-size.png docs/window-zoomed-find.png"
