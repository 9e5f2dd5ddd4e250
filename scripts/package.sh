#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from the working tree (in build/deb/, outside the tree's own
# files), checks it with lintian, and installs it into a throwaway root to check the dictionary
# trigger (scripts/package-test.sh). Prints the package's path last.
set -euo pipefail
cd "$(dirname "$0")/.."
version=$(dpkg-parsechangelog -S Version)
out=build/deb
rm -rf "$out"
mkdir -p "$out/src"
# The files git knows (tracked, and new ones not ignored), as they are now.
git ls-files -z --cached --others --exclude-standard | xargs -0 tar -cf - | tar -xf - -C "$out/src"
start=$(date +%s)
(cd "$out/src" && dpkg-buildpackage -us -uc -b -j"$(nproc)" >../build.log 2>&1) || {
  tail -40 "$out/build.log" >&2
  exit 1
}
built=$(date +%s)
deb="$out/vocabulon_${version}_$(dpkg --print-architecture).deb"
# Errors fail; warnings are listed (the README says which remain, and why).
lintian --fail-on error --tag-display-limit 0 "$out"/vocabulon_"${version}"_*.changes
bash scripts/package-test.sh "$deb"
echo "package: build $((built - start)) s; $deb"
