#!/usr/bin/env bash
# programs.sh [build dir] [rounds] [converter build dir]: the installed converter and a bare Qt tray program of our
# own (floor_tray, the floor) side by side in the same rounds, on a private Xvfb with a tray
# host, observed from the outside (programs_probe): exec to the tray icon embedded, resident
# memory 2.5 s after that and after the converter's first rate update (from a page on
# 127.0.0.1, point_store), and Ctrl copy to balloon painted at 100, 1,000 and 10,000 cells
# and at 1,000 cells once more (the first large balloon pays for its new window buffer once)
# (from the clipboard's owner change to the first paint; Ctrl released between copies).
# Each round installs the converter afresh through vemrasetup into its own temporary home and
# starts it once uncounted (the installation's first start); the two programs take turns in
# going first. Prints every round, then per figure the median of the per-round ratios
# converter / floor with their spread. The converter comes from the installer of the third
# argument's build (by default the first's), so that an older build can be measured with the
# same probes. Not a test: run by hand.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
rounds=${2:-5}
converter_build=$(cd "${3:-$build}" && pwd)
if [[ -z "${VEMRA_PROGRAMS_UNDER_XVFB:-}" ]]; then
  export VEMRA_PROGRAMS_UNDER_XVFB=1
  exec "$root/scripts/with-xvfb.sh" --tray -- "$0" "$build" "$rounds" "$converter_build"
fi
sizes=100,1000,10000,1000
work=$(mktemp -d "${TMPDIR:-/tmp}/vemra-programs.XXXXXX")
store_pid=
cleanup() {
  [[ -n "$store_pid" ]] && kill "$store_pid" 2>/dev/null && wait "$store_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
# Every address off the machine goes to a port where nothing listens.
closed=http://127.0.0.1:9
export http_proxy=$closed https_proxy=$closed HTTPS_PROXY=$closed ALL_PROXY=$closed all_proxy=$closed
export no_proxy=127.0.0.1,localhost
export LC_MESSAGES=en_US.UTF-8
# No sound card here: event sounds go to libcanberra's silent driver.
export CANBERRA_DRIVER=null
unset LC_ALL

results=$work/results
: >"$results"
for round in $(seq 1 "$rounds"); do
  home=$work/home$round
  mkdir -p "$home/run"
  chmod 700 "$home/run"
  export HOME=$home XDG_DATA_HOME=$home/data XDG_CONFIG_HOME=$home/config XDG_RUNTIME_DIR=$home/run \
    VEMRA_REGISTRY_DIR=$home/registry VEMRA_SYSTEM_ROOT=$home/no-machine-wide-folders
  "$converter_build/setup/vemrasetup" /INSTALL /DATA= >"$work/setup.log" 2>&1 || { cat "$work/setup.log" >&2; exit 1; }
  program=$HOME/.local/opt/Vemra/vemra
  [[ -x "$program" ]] || { echo "vemrasetup installed no $program" >&2; exit 1; }
  "$build/benchmarks/startup_probe" vemra 2500 "$program" >/dev/null || { echo "the first start failed" >&2; exit 1; }

  measure_vemra() {
    coproc STORE { "$build/benchmarks/point_store" -platform offscreen 2>"$work/store.log"; }
    store_pid=$STORE_PID
    local ready log
    read -r ready log <&"${STORE[0]}" || true
    [[ "$ready" == ready ]] || { cat "$work/store.log" >&2; exit 1; }
    VEMRA_FIRST_UPDATE_MS=4000 "$build/benchmarks/programs_probe" vemra "$log" "$sizes" "$program" || true
    eval "exec ${STORE[1]}>&-"
    wait "$store_pid" 2>/dev/null || true
    store_pid=
  }
  measure_floor() { "$build/benchmarks/programs_probe" floortray - "$sizes" "$build/benchmarks/floor_tray" || true; }
  if (( round % 2 )); then
    v=$(measure_vemra); f=$(measure_floor)
  else
    f=$(measure_floor); v=$(measure_vemra)
  fi
  printf 'round %d vemra: %s\nround %d floor: %s\n' "$round" "$v" "$round" "$f"
  echo "$v $f" >>"$results"
done

# Per round the ratio of each figure, then the median and the spread over the rounds.
awk -v rounds="$rounds" '
  function median(a, n,   i, j, t) {
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  BEGIN {
    split("exec -> tray icon embedded (ms)|resident at start (MB)|resident after the update (MB)|balloon, 100 cells (ms)|balloon, 1,000 cells (ms)|balloon, 10,000 cells (ms)|balloon, 1,000 cells again (ms)", name, "|")
    scale[2] = scale[3] = 1024
  }
  {
    for (k = 1; k <= 7; k++) {
      v = $k; f = $(k + 7)
      if (v > 0 && f > 0) { n[k]++; ratio[k, n[k]] = v / f; vs[k, n[k]] = v; fs[k, n[k]] = f }
    }
  }
  END {
    printf "\n%-32s %10s %10s %8s %8s %8s  (%d rounds)\n", "figure", "vemra", "floor", "ratio", "min", "max", rounds
    for (k = 1; k <= 7; k++) {
      m = n[k]; if (!m) { printf "%-32s no figures\n", name[k]; continue }
      for (i = 1; i <= m; i++) { r[i] = ratio[k, i]; a[i] = vs[k, i]; b[i] = fs[k, i] }
      lo = r[1]; hi = r[1]; for (i = 2; i <= m; i++) { if (r[i] < lo) lo = r[i]; if (r[i] > hi) hi = r[i] }
      d = scale[k] ? scale[k] : 1
      printf "%-32s %10.1f %10.1f %7.2fx %7.2fx %7.2fx\n", name[k], median(a, m) / d, median(b, m) / d, median(r, m), lo, hi
    }
  }' "$results"
