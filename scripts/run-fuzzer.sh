#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (in build-fuzz) and runs fuzz_html for the given
# number of seconds on a copy of the seed corpus, so the repository's corpus never grows.
# Exits non-zero when libFuzzer reports a finding; the input is kept in build-fuzz/artifacts/.
set -euo pipefail

seconds="${1:?usage: scripts/run-fuzzer.sh <seconds>}"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-fuzz"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVEMRA_BUILD_FUZZERS=ON -DVEMRA_BUILD_BENCHMARKS=OFF -DVEMRA_SANITIZE=ON >/dev/null
cmake --build "$build" --target fuzz_html

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp -r "$root/tests/fuzz/corpus/html" "$work/corpus"
mkdir -p "$build/artifacts"

"$build/tests/fuzz/fuzz_html" "$work/corpus" \
  -max_total_time="$seconds" -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$build/artifacts/"
