#!/usr/bin/env bash
# Runs a command on a private Xvfb display (and, with --tray, a tray host), then stops them
# and returns the command's exit code. Xvfb chooses a free display itself (-displayfd), so
# parallel runs never collide.
#   with-xvfb.sh [--tray] [--] command [arguments...]
set -uo pipefail

tray=0
while [[ $# -gt 0 ]]; do
  case "$1" in
    --tray) tray=1; shift ;;
    --) shift; break ;;
    *) break ;;
  esac
done
[[ $# -gt 0 ]] || { echo "usage: $0 [--tray] [--] command [arguments...]" >&2; exit 2; }

workdir=$(mktemp -d "${TMPDIR:-/tmp}/vemra-xvfb.XXXXXX") || exit 2
xvfb_pid=
tray_pid=
cleanup() {
  [[ -n "$tray_pid" ]] && kill "$tray_pid" 2>/dev/null && wait "$tray_pid" 2>/dev/null
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$workdir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Xvfb writes the display number to the file once it accepts connections.
Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 1280x1024x24 3>"$workdir/display" \
  >"$workdir/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 200); do
  [[ -s "$workdir/display" ]] && break
  kill -0 "$xvfb_pid" 2>/dev/null || { cat "$workdir/xvfb.log" >&2; exit 2; }
  sleep 0.05
done
display=$(tr -dc '0-9' <"$workdir/display")
[[ -n "$display" ]] || { echo "Xvfb did not start" >&2; cat "$workdir/xvfb.log" >&2; exit 2; }
export DISPLAY=":$display"
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb

if [[ $tray -eq 1 ]]; then
  trayer --edge top --align right --widthtype pixel --width 120 --heighttype pixel --height 24 \
    >"$workdir/trayer.log" 2>&1 &
  tray_pid=$!
  # Ready once its window exists (it owns the tray selection by then).
  for _ in $(seq 1 100); do
    xwininfo -root -tree 2>/dev/null | grep -qi 'panel\|trayer' && break
    sleep 0.05
  done
fi

"$@"
status=$?
exit $status
