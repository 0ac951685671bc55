#!/usr/bin/env bash
# lay-out-installation.sh <build dir>: lays out the current user's installation from a
# build (HOME, XDG_DATA_HOME, XDG_CONFIG_HOME and VEMRA_REGISTRY_DIR choose where) unless
# one exists, and prints the installed program's path. The build must hold vemra,
# vemra_lay_out and the shipped data.
set -euo pipefail
build=$(cd "${1:?usage: lay-out-installation.sh <build dir>}" && pwd)
exec "$build/app/core/vemra_lay_out" "$build/shipped" "$build/app/vemra"
