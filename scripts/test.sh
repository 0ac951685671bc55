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

# Root's capabilities pass every permission check, so the tests of unreadable and unwritable
# files skip above. Run their executables again without any capability, where permissions
# bind as for any user; none of their tests may skip there.
drop_caps=(setpriv --inh-caps=-all --ambient-caps=-all --bounding-set=-all --)
if [[ "$(id -u)" == 0 ]]; then
  echo "== tests of file permissions, without root's capabilities"
  "${drop_caps[@]}" true || { echo "setpriv cannot drop the capabilities here" >&2; exit 1; }
  for test in foundation/test_registry foundation/test_streamedinifile foundation/test_syscaller plugins/test_rate_sources \
    setup/test_setup_core; do
    exe=$(basename "$test")
    out="$("${drop_caps[@]}" "$build/tests/$test" --gtest_brief=1 2>&1)" || { echo "$out"; exit 1; }
    if grep -q '^\[  SKIPPED \]' <<<"$out"; then
      echo "$out"
      echo "$exe: tests skipped without capabilities" >&2
      exit 1
    fi
    echo "$exe: passed"
  done
fi
