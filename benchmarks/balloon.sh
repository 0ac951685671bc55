#!/usr/bin/env bash
# The clipboard-to-balloon time under a private Xvfb: balloon.sh <build dir> [runs per size]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
exec "$here/../scripts/with-xvfb.sh" --tray -- "$build/benchmarks/bench_balloon" "${2:-15}"
