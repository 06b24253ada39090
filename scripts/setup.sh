#!/usr/bin/env bash
# Installs the build tools and libraries that a fresh machine may lack.
set -euo pipefail
packages=(cmake ninja-build g++ libgtest-dev libgmock-dev libicu-dev icu-devtools libbenchmark-dev
          clang libclang-rt-14-dev libcli11-dev nlohmann-json3-dev python3-jsonschema help2man dpkg-dev file)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi
