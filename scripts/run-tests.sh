#!/usr/bin/env bash
# Runs every test of a build folder.  The tests get their own D-Bus session,
# the offscreen Qt platform and private configuration and temporary folders.
set -euo pipefail
build=${1:-build}
top=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export QT_QPA_PLATFORM=offscreen
export KELVARAN_CONFIG_DIR="$scratch/config"
export KELVARAN_SOURCE_DIR="$top"
export HOME="$scratch/home"
mkdir -p "$HOME" "$KELVARAN_CONFIG_DIR"
cd "$build"
jobs=$(nproc)
exec dbus-run-session -- ctest --output-on-failure --timeout 600 -j "$jobs"
