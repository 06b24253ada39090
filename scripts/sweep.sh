#!/usr/bin/env bash
# Runs the whole fault sweep: every verb with every host call and every
# allocation of the plug-in failing in turn (CI runs a sample of it). Prints
# each verb's run count and the violations by kind; exits 1 if there are any.
# Arguments go to fault_sweep (--case NAME, --verbose, --sample).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target fault_sweep
build/default/bin/fault_sweep "$@"
