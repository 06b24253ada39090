#!/usr/bin/env bash
# Builds the Windows DLL, the Windows substitute host, the test programs and
# gridwright.exe, checks the DLL's export and imports, and runs every test
# program under Wine (one process each). Arguments go to ctest, for example
# -R 'commands_tests|cli_tests' to run some of them. GRIDWRIGHT_WINE_SECONDS
# bounds the time of the Wine run as a whole.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-windows.sh
cmake --build --preset windows
source scripts/wine-env.sh
if [ -n "${GRIDWRIGHT_WINE_SECONDS:-}" ]; then
  timeout "$GRIDWRIGHT_WINE_SECONDS" ctest --preset windows "$@"
else
  ctest --preset windows "$@"
fi
