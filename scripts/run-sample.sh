#!/usr/bin/env bash
# Builds the command line with the default preset and prints the List Table
# Usage report of the sample book: the README's first command.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target gridwright_cli
build/default/bin/gridwright list-usage samples/manual/manual.book
