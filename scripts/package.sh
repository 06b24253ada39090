#!/usr/bin/env bash
# Builds the Debian package of gridwright (build/default/gridwright_*.deb):
# the program, the plug-in and its data, the manual page and the completion.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target gridwright_cli gridwright gw_icu_data gridwright_man
cd build/default
cpack -G DEB
ls -1 "$PWD"/gridwright_*.deb
