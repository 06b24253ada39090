#!/usr/bin/env bash
# Builds the plug-in as the 32-bit Windows DLL its users install, with the
# `windows` preset into build/windows/, and lays it out in dist/windows/:
# gridwright.dll and the icu_data folder with the host-encoding converter.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-windows.sh
GRIDWRIGHT_ICU_WINDOWS=$(scripts/build-icu-windows.sh)
export GRIDWRIGHT_ICU_WINDOWS
cmake --preset windows >/dev/null
cmake --build --preset windows --target gridwright gw_icu_data

rm -rf dist/windows
mkdir -p dist/windows
cp build/windows/bin/gridwright.dll dist/windows/
cp -r build/windows/bin/icu_data dist/windows/
echo "dist/windows: gridwright.dll ($(stat -c %s dist/windows/gridwright.dll) bytes) and icu_data"
