#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (in build-fuzz) and runs each for the given number
# of seconds on a copy of its seed corpus, so the repository's corpus never grows. Targets
# may be named after the seconds; by default all of the list below run, one after the other.
# Exits non-zero when libFuzzer reports a finding; the input is kept in build-fuzz/artifacts/.
set -euo pipefail

seconds="${1:?usage: scripts/run-fuzzer.sh <seconds per target> [target...]}"
shift
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-fuzz"

# One line per target: the program fuzz_<name>, seeded from tests/fuzz/corpus/<name>/.
targets=(
  html
  ratesource_ecb
  ratesource_cbr
  plugin_definition
)
[[ $# -gt 0 ]] && targets=("$@")

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVEMRA_BUILD_FUZZERS=ON -DVEMRA_BUILD_BENCHMARKS=OFF -DVEMRA_SANITIZE=ON >/dev/null
cmake --build "$build" --target "${targets[@]/#/fuzz_}"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$build/artifacts"

for target in "${targets[@]}"; do
  echo "== fuzz_$target for ${seconds}s"
  rm -rf "$work/corpus"
  cp -r "$root/tests/fuzz/corpus/$target" "$work/corpus"
  "$build/tests/fuzz/fuzz_$target" "$work/corpus" \
    -max_total_time="$seconds" -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-"
done
