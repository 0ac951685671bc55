#!/usr/bin/env bash
# startup.sh [build dir] [runs]: starts the installed converter 10 times (by default) on a
# private Xvfb with a tray host, from an installation laid out in a temporary home, and
# reports the time from exec to the tray icon embedded and the resident memory 2.5 s after
# (once the splash has closed): each run, then the median and the worst.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-10}
if [[ -z "${VEMRA_STARTUP_UNDER_XVFB:-}" ]]; then
  export VEMRA_STARTUP_UNDER_XVFB=1
  exec "$root/scripts/with-xvfb.sh" --tray -- "$0" "$build" "$runs"
fi
home=$(mktemp -d "${TMPDIR:-/tmp}/vemra-startup.XXXXXX")
trap 'rm -rf "$home"' EXIT
mkdir -m 700 "$home/run"
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" \
  VEMRA_REGISTRY_DIR="$home/registry" XDG_RUNTIME_DIR="$home/run"
program=$("$build/app/core/vemra_lay_out" "$build/shipped" "$build/app/vemra")
# The first start is the installation's first (it saves every setting); it is not counted.
"$build/benchmarks/startup_probe" vemra 2500 "$program" >/dev/null
times=()
rss=()
for i in $(seq 1 "$runs"); do
  read -r ms kb anon pss < <("$build/benchmarks/startup_probe" vemra 2500 "$program")
  printf 'run %2d: %7.1f ms to the tray icon, %5.1f MB resident (%4.1f MB anonymous, %5.1f MB proportional)\n' \
    "$i" "$ms" "$(awk -v k="$kb" 'BEGIN {print k / 1024}')" "$(awk -v k="$anon" 'BEGIN {print k / 1024}')" \
    "$(awk -v k="$pss" 'BEGIN {print k / 1024}')"
  times+=("$ms")
  rss+=("$kb")
done
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
worst() { printf '%s\n' "$@" | sort -g | tail -1; }
printf 'tray icon: median %.1f ms, worst %.1f ms (aim: at most 150 ms)\n' "$(median "${times[@]}")" "$(worst "${times[@]}")"
printf 'resident:  median %.1f MB, worst %.1f MB (aim: at most 35 MB)\n' \
  "$(awk -v k="$(median "${rss[@]}")" 'BEGIN {print k / 1024}')" "$(awk -v k="$(worst "${rss[@]}")" 'BEGIN {print k / 1024}')"
