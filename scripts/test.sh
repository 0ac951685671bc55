#!/usr/bin/env bash
# Builds vemra with its tests and runs them: the README's test command.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${VEMRA_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --parallel
source scripts/test-env.sh
ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" --timeout 300
