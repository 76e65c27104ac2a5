#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds Tarvik and runs the whole test suite three times:
# a plain build, the whole suite under AddressSanitizer with UndefinedBehaviorSanitizer,
# and the threaded tests under ThreadSanitizer; then builds the Debian package and checks it
# (scripts/package.sh --check). Any failure, sanitizer report or package finding fails it.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
# shellcheck disable=SC2086
install_missing $BUILD_PACKAGES $TEST_PACKAGES

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"

configure_and_build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
}

echo "== plain build =="
configure_and_build build-test
ctest --test-dir build-test --output-on-failure -j"$jobs" --timeout 600

echo "== AddressSanitizer + UndefinedBehaviorSanitizer =="
configure_and_build build-asan -DTARVIK_SANITIZE=address -DTARVIK_BUILD_BENCH=OFF
ctest --test-dir build-asan --output-on-failure -j"$jobs" --timeout 900

echo "== ThreadSanitizer (threaded tests) =="
configure_and_build build-tsan -DTARVIK_SANITIZE=thread -DTARVIK_BUILD_BENCH=OFF -DTARVIK_BUILD_APP=OFF
ctest --test-dir build-tsan --output-on-failure -j"$jobs" --timeout 900 -L threaded

echo "== fuzz targets (libFuzzer, a fixed number of runs each) =="
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTARVIK_BUILD_FUZZ=ON -DTARVIK_SANITIZE=address -DTARVIK_BUILD_APP=OFF -DTARVIK_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz --target fuzz -j"$jobs"
ctest --test-dir build-fuzz --output-on-failure -L '^fuzz$'

echo "== Debian package: lintian, desktop entry, AppStream, install, run, remove =="
bash scripts/package.sh --check
