#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# in build-fuzz/ and runs each for FUZZ_SECONDS seconds (default 5) from its seed corpus.
# Fails when a target finds a crash, a hang or a sanitizer report; the input that did it is
# kept in build-fuzz/artifacts/. Usage: scripts/fuzz.sh [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-5}
build=build-fuzz
command -v clang++ >/dev/null || { echo "fuzz: clang++ is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOCABULON_FUZZ=ON \
  -DVOCABULON_TESTS=OFF -DVOCABULON_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" --target vocabulon_fuzz_targets

targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=($(cd tests/fuzz/corpus && ls))
mkdir -p "$build/artifacts"
failed=0
for target in "${targets[@]}"; do
  work="$build/corpus/$target"
  mkdir -p "$work"
  log="$build/$target.log"
  status=0
  # Findings are written to the artifacts folder; the working corpus grows between runs.
  ASAN_OPTIONS=detect_leaks=0:handle_sigbus=0 UBSAN_OPTIONS=print_stacktrace=1 \
    "$build/tests/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" "$work" "tests/fuzz/corpus/$target" \
    >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ "$status" -ne 0 ]; then
    failed=1
    echo "$target: FAILED after ${runs:-?} executions (exit $status); see $log"
    grep -E "ERROR|runtime error|SUMMARY|Test unit written" "$log" | head -5
  else
    echo "$target: ${runs:-?} executions, no crash, hang or sanitizer report"
  fi
done
exit $failed
