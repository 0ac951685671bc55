#!/usr/bin/env bash
# Builds the converter and its installer, installs it unattended for the current user through
# the installer (vemrasetup /INSTALL /DATA=, as an update run does) and starts the installed
# converter: the README's run command. A later run installs over the same folders, closing a
# running converter first, and keeps the user's settings and rates.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${VEMRA_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel --target vemrasetup
# The current user's folders even when run as root: a machine root that does not exist cannot
# be written, so every "All users" folder falls back to the user's own.
# The machine hive follows that root, so nothing is written under /etc either.
export VEMRA_SYSTEM_ROOT="$(cd "$build" && pwd)/no-machine-wide-folders"
# The installer's archives and the converter's temporary files stay in the user's own folders.
export TMPDIR="${XDG_CACHE_HOME:-${HOME:?}/.cache}/vemra-tmp"
mkdir -p -m 0700 "$TMPDIR"
# Nothing after /DATA= keeps the installation type's plug-ins folder (~/Documents/Vemra).
"$build/setup/vemrasetup" /INSTALL /DATA=
exec "${HOME:?}/.local/opt/Vemra/vemra" "$@"
