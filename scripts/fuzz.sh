#!/usr/bin/env bash
# Fuzzes the MIF reader, the document model, the writer and books with
# libFuzzer for the given number of seconds (default 60), starting from the
# committed corpus and dictionary. New inputs go to build/fuzz/corpus, crashes
# to build/fuzz/artifacts; the committed corpus is left alone.
#   scripts/fuzz.sh [SECONDS] [JOBS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
jobs="${2:-1}"
scripts/setup.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
mkdir -p build/fuzz/corpus build/fuzz/artifacts
options=(-dict=tests/fuzz/mif.dict -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536
         -artifact_prefix=build/fuzz/artifacts/ -print_final_stats=1)
if [ "$jobs" -gt 1 ]; then
  options+=(-jobs="$jobs" -workers="$jobs")
fi
ASAN_OPTIONS=detect_leaks=1 build/fuzz/bin/mif_fuzz "${options[@]}" build/fuzz/corpus tests/fuzz/corpus
