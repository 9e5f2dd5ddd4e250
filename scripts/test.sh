#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what Vocabulon needs, builds it, runs every test and each fuzz target for a few
# seconds, checks the desktop entry, the AppStream metadata and the manual page, and builds the
# Debian package and installs it into a throwaway root (about 15 minutes on two cores).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
ctest --test-dir build --output-on-failure -j 2
# Each fuzz target for a few seconds, under the sanitizers.
bash scripts/fuzz.sh
bash scripts/check-desktop.sh
bash scripts/package.sh
