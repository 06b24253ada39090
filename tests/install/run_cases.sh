#!/usr/bin/env bash
# Runs the sample-book cases of sample_cases.txt with an installed gridwright
# and compares each transcript with its expected file.
# Usage: run_cases.sh PROGRAM SAMPLES_DIR EXPECTED_DIR CASES_FILE WORK_DIR
set -euo pipefail
program=$1 samples=$2 expected=$3 cases=$4 work=$5
failures=0 count=0
while read -r name code arguments; do
  [[ -z $name || $name == \#* ]] && continue
  rm -rf "$work/case" && mkdir -p "$work/case" && cp -r "$samples/manual" "$work/case/manual"
  read -ra words <<<"${arguments//\{dir\}/$work/case}"
  set +e
  (cd "$work" && env -u GRIDWRIGHT_PLUGIN -u GRIDWRIGHT_ICU_DATA "$program" "${words[@]}" >out.txt 2>err.txt </dev/null)
  rc=$?
  set -e
  { cat "$work/out.txt"; echo "--- standard error ---"; cat "$work/err.txt"; echo "--- exit $rc ---"; } |
    sed "s|$work/case|{dir}|g" >"$work/transcript.txt"
  count=$((count + 1))
  if [[ $rc != "$code" ]] || ! diff -u "$expected/$name" "$work/transcript.txt"; then
    echo "FAILED: $name (exit $rc, expected $code)"
    failures=$((failures + 1))
  fi
done <"$cases"
echo "$count cases, $failures failed"
[[ $count -gt 0 && $failures -eq 0 ]]
