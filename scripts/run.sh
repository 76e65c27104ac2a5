#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds Tarvik and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
# shellcheck disable=SC2086
install_missing $BUILD_PACKAGES
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARVIK_BUILD_BENCH=OFF >/dev/null
cmake --build build-release --target tarvik tarvik-boardsim -j"$(nproc)"
exec ./build-release/src/app/tarvik
