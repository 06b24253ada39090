#!/usr/bin/env bash
# Installs the build into a scratch prefix, moves the prefix away from the
# build tree and runs every verb's sample-book case from there, so that the
# program finds the plug-in and its data through the installed layout.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1 source=$2
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cmake --install "$build" --prefix "$scratch/stage" >/dev/null
mv "$scratch/stage" "$scratch/moved"
prefix=$scratch/moved
program=$prefix/bin/gridwright

# Nothing of the build tree is needed any more.
[[ ! -e $prefix/bin/gridwright.so && ! -e $prefix/bin/icu_data ]]
ls "$prefix"/lib*/gridwright/gridwright.so "$prefix"/share/gridwright/icu_data >/dev/null

# --version and version print the version resource header's version twice.
version=$(sed -n 's/^#define GW_VERSION_TEXT "\(.*\)"$/\1/p' "$source/src/platform/version_info.h")
[[ -n $version ]]
"$program" --version | grep -qx "gridwright $version"
[[ $("$program" version | grep -c "$version") -eq 2 ]]

# The manual page and the completion are installed.
grep -q '^\.TH GRIDWRIGHT "1"' "$prefix/share/man/man1/gridwright.1"
grep -q 'list-usage' "$prefix/share/man/man1/gridwright.1"
completion=$prefix/share/bash-completion/completions/gridwright
# Every verb of the help completes.
for verb in $("$program" --help | sed -n '/^Verbs:/,/^$/s/^  \([a-z-]*\) .*/\1/p'); do
  words=$(bash -c 'source "$1"; COMP_WORDS=(gridwright "$2"); COMP_CWORD=1; _gridwright; echo "${COMPREPLY[@]}"' \
    _ "$completion" "${verb:0:4}")
  [[ " $words " == *" $verb "* ]] || { echo "completion lacks $verb"; exit 1; }
done

"$here/run_cases.sh" "$program" "$source/samples" "$source/tests/cli/expected" "$here/sample_cases.txt" "$scratch"
