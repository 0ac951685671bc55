#!/usr/bin/env bash
# The clipboard-to-balloon time under a private Xvfb: balloon.sh <build dir> [runs per size]
# A picture of the balloon instead: balloon.sh <build dir> --shot <file.png>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
if [[ "${2:-}" == --shot ]]; then
  export VEMRA_BALLOON_SHOT=$3
  set -- "$1" 1
fi
exec "$here/../scripts/with-xvfb.sh" --tray -- "$build/benchmarks/bench_balloon" "${2:-15}"
