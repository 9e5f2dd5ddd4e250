#!/usr/bin/env bash
# Installs what Vocabulon needs, builds it, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
ctest --test-dir build --output-on-failure -j 2
# Each fuzz target for a few seconds, under the sanitizers.
bash scripts/fuzz.sh
