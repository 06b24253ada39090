#!/usr/bin/env bash
# Builds the Debian package of the build, unpacks it into a scratch root and
# runs the sample book from there.
# Usage: package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 source=$2
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

(cd "$build" && cpack -G DEB -B "$scratch/package" >/dev/null)
deb=$(ls "$scratch"/package/gridwright_*.deb)
# The dependencies come from the libraries the program links (ICU).
dpkg-deb -f "$deb" Depends | grep -q 'libicu'
dpkg-deb -x "$deb" "$scratch/root"
program=$scratch/root/usr/bin/gridwright
[[ -x $program ]]
[[ -f $scratch/root/usr/share/man/man1/gridwright.1 || -f $scratch/root/usr/share/man/man1/gridwright.1.gz ]]
[[ -f $scratch/root/usr/share/bash-completion/completions/gridwright ]]
grep -x 'list-usage-book.txt .*' "$here/sample_cases.txt" >"$scratch/cases.txt"
"$here/run_cases.sh" "$program" "$source/samples" "$source/tests/cli/expected" "$scratch/cases.txt" "$scratch"
