#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (in build-fuzz) and runs each listed target on a
# copy of its seed corpus (tests/fuzz/corpus/<target without "fuzz_">), so the repository's
# corpus never grows. Exits non-zero when libFuzzer reports a finding; the input is kept in
# build-fuzz/artifacts/.
#
#   scripts/run-fuzzer.sh                 every target for its time below (CI, about 6 minutes)
#   scripts/run-fuzzer.sh 600             every target for 600 seconds
#   scripts/run-fuzzer.sh 600 fuzz_ini    only the named targets
set -euo pipefail

# One target a line: name, seconds in CI.
targets="
fuzz_html 40
fuzz_pipeline 60
fuzz_ini 30
fuzz_ratefile 30
fuzz_registry 30
fuzz_ratesource_ecb 30
fuzz_ratesource_cbr 30
fuzz_plugin_definition 30
fuzz_clipboard_html 30
fuzz_command_line 30
fuzz_archive 30
"

seconds="${1:-}"
shift || true
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-fuzz"

declare -A time_of=()
order=()
while read -r name time; do
  [[ -z "$name" ]] && continue
  time_of[$name]="$time"
  order+=("$name")
done <<<"$targets"
if (($# > 0)); then
  for name in "$@"; do
    [[ -n "${time_of[$name]:-}" ]] || { echo "unknown fuzz target: $name" >&2; exit 2; }
  done
  order=("$@")
fi

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVEMRA_BUILD_FUZZERS=ON -DVEMRA_BUILD_BENCHMARKS=OFF -DVEMRA_SANITIZE=ON >/dev/null
cmake --build "$build" --target "${order[@]}"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$build/artifacts"

for name in "${order[@]}"; do
  corpus="$work/${name#fuzz_}"
  mkdir -p "$corpus"
  seeds="$root/tests/fuzz/corpus/${name#fuzz_}"
  [[ -d "$seeds" ]] && cp -r "$seeds/." "$corpus/"
  echo "== $name for ${seconds:-${time_of[$name]}} s"
  "$build/tests/fuzz/$name" "$corpus" \
    -max_total_time="${seconds:-${time_of[$name]}}" -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-"
done
