#!/usr/bin/env bash
# Installs what the Windows build needs beyond scripts/setup.sh: the mingw-w64
# cross compilers, Wine (its 32-bit loader needs the i386 architecture), qemu
# for machines whose kernel runs no 32-bit programs, and ICU's source package
# (which needs deb-src lines). Then cross-builds ICU once (cached).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
changed=0

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "adding the i386 architecture"
  $sudo_cmd dpkg --add-architecture i386
  changed=1
fi

# ICU's source comes from the deb-src lines of the system's own archives.
if ! apt-get indextargets --format '$(CREATED_BY)' 2>/dev/null | grep -q '^Sources$'; then
  echo "enabling the source package lines"
  for sources in /etc/apt/sources.list.d/*.sources; do
    [ -f "$sources" ] || continue
    $sudo_cmd sed -i -E 's/^Types:[[:space:]]*deb[[:space:]]*$/Types: deb deb-src/' "$sources"
  done
  if [ -f /etc/apt/sources.list ]; then
    grep -E '^deb[[:space:]]' /etc/apt/sources.list | sed -E 's/^deb([[:space:]])/deb-src\1/' |
      while read -r line; do
        grep -qxF "$line" /etc/apt/sources.list || echo "$line" | $sudo_cmd tee -a /etc/apt/sources.list >/dev/null
      done
  fi
  changed=1
fi

packages=(g++-mingw-w64-i686-posix binutils-mingw-w64-i686 wine wine64 wine32:i386 qemu-user-static dpkg-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ] || [ $changed -eq 1 ]; then
  $sudo_cmd apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi

scripts/build-icu-windows.sh >/dev/null
