#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Services and application tests with AddressSanitizer and UndefinedBehaviorSanitizer
# in build-sanitize/ and runs them; any sanitizer report fails the run. Too slow to build for
# every CI run, so it is a command of its own (see the README).
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVOCABULON_SANITIZE=ON -DVOCABULON_BENCH=OFF >/dev/null
cmake --build build-sanitize -j "$(nproc)" --target \
  vocabulon vocabulon-window vocabulon_cocoa_test_helper vocabulon_app_session \
  vocabulon_platform_ui_tests vocabulon_application_tests vocabulon_controller_tests
built=$(date +%s)

suppressions="$PWD/scripts/sanitize-leaks.supp"
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:detect_leaks=1:exitcode=86:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:exitcode=87"
export LSAN_OPTIONS="suppressions=$suppressions:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen
# The processes the tests start write their reports here too; any report is a failure.
reports=$(mktemp -d)
export ASAN_OPTIONS="$ASAN_OPTIONS:log_path=$reports/asan"
export UBSAN_OPTIONS="$UBSAN_OPTIONS:log_path=$reports/ubsan"
status=0
ctest --test-dir build-sanitize --output-on-failure -j 2 \
  -R '^(ServicesTest|Application[A-Za-z]*|WholeApplication|Controller)\.' || status=$?
if compgen -G "$reports/*" >/dev/null; then
  echo "sanitizer reports:" >&2
  cat "$reports"/* >&2
  status=1
fi
rm -rf "$reports"
echo "sanitize: build $((built - start)) s, tests $(($(date +%s) - built)) s, status $status"
exit "$status"
