#!/usr/bin/env bash
# Builds the Windows DLL, the Windows substitute host, the test programs and
# gridwright.exe, checks the DLL's export and imports, and runs every test
# program under Wine (one process each). Arguments go to ctest, for example
# -R 'commands_tests|cli_tests' to run some of them. GRIDWRIGHT_WINE_SECONDS
# bounds the time of the Wine run as a whole; GRIDWRIGHT_WINE_EMULATED_SKIP
# names tests to leave out where the programs run emulated.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-windows.sh
cmake --build --preset windows
source scripts/wine-env.sh
# GRIDWRIGHT_WINE_EMULATED_SKIP: a ctest -E pattern of tests left out when the
# programs run emulated, for a bounded run (CI leaves out the long suites).
extra=()
if [ "$GW_WINE_EMULATED" = 1 ] && [ -n "${GRIDWRIGHT_WINE_EMULATED_SKIP:-}" ]; then
  echo "test-windows: 32-bit programs run emulated here; leaving out: $GRIDWRIGHT_WINE_EMULATED_SKIP" >&2
  extra=(-E "$GRIDWRIGHT_WINE_EMULATED_SKIP")
fi
if [ -n "${GRIDWRIGHT_WINE_SECONDS:-}" ]; then
  timeout "$GRIDWRIGHT_WINE_SECONDS" ctest --preset windows "${extra[@]}" "$@"
else
  ctest --preset windows "${extra[@]}" "$@"
fi
