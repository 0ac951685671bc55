#!/usr/bin/env bash
# Builds the converter and starts it from the current user's installation: the README's run
# command. The first run lays the installation out as the installer will (the install key,
# the program, the shared data with the waiting plug-in packages, the resource library in
# the user's XDG folders); later runs reuse it and refresh only the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build=${VEMRA_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel --target vemra vemra_lay_out vemra_shipped_data
program=$(scripts/lay-out-installation.sh "$build")
exec "$program" "$@"
