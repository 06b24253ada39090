#!/usr/bin/env bash
# Cross-builds ICU's common library for 32-bit Windows from Debian's ICU source
# package and prints the folder it was installed to.
#
# Debian ships no mingw ICU. The source package cross-builds: configure a
# native build (the cross build reads its tool settings), then build the
# common library and the stub data library with the mingw posix compilers.
# The plug-in needs no ICU data in its library: it opens only its own
# converter files from icu_data and ICU's algorithmic Unicode converters, so
# the stub data library keeps the DLL small.
#
# The result is cached under $HOME/.cache/gridwright/ by ICU version, so only
# the first build on a machine pays for it. Progress goes to standard error.
#
# ICU is told of no data folder of its own (ICU_DATA_DIR ""): the build's
# prefix means nothing on the machine the DLL runs on, and the plug-in points
# ICU at the host's icu_data folder only while ICU has no folder yet.
set -euo pipefail

host=i686-w64-mingw32
version=$(dpkg-query -W -f='${Version}' libicu-dev 2>/dev/null || true)
if [ -z "$version" ]; then
  echo "build-icu-windows: libicu-dev is not installed (run scripts/setup.sh)" >&2
  exit 1
fi
upstream=${version%%-*}
cache_root=${GRIDWRIGHT_CACHE:-$HOME/.cache/gridwright}
prefix=$cache_root/icu-$upstream-$host-r3
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

# The work folder survives a failed build, so that the next try goes on from
# where it stopped; a finished build removes it.
work=$prefix.build
mkdir -p "$work"
log=$work/build.log
echo "build-icu-windows: building ICU $upstream for $host (a few minutes; log in $log)" >&2

[ -f "$work/source/configure" ] || (
  cd "$work"
  # Debian's sources of the installed version, with Debian's patches applied.
  apt-get source "icu=$version" || apt-get source icu
  mv icu-*/source source
) >>"$log" 2>&1 || { echo "build-icu-windows: could not fetch ICU's source (deb-src lines?)" >&2; tail -n 20 "$log" >&2; exit 1; }
source_dir=$work/source

common_options=(--disable-tests --disable-samples --disable-extras --disable-layoutex --disable-icuio
                --with-data-packaging=archive)
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2

run() {
  if ! "$@" >>"$log" 2>&1; then
    echo "build-icu-windows: failed: $*" >&2
    tail -n 30 "$log" >&2
    exit 1
  fi
}

# The native side: configured only, for config/icucross.mk. No ICU data is
# built on either side, so none of the native tools are needed.
mkdir -p "$work/native" "$work/cross"
cd "$work/native"
[ -f config/icucross.inc ] || {
  run "$source_dir/configure" "${common_options[@]}"
  run make config/icucross.mk config/icucross.inc
}

cd "$work/cross"
[ -f Makefile ] || run env CC=$host-gcc-posix CXX=$host-g++-posix AR=$host-ar RANLIB=$host-ranlib \
    CPPFLAGS='-DICU_DATA_DIR=\"\"' CFLAGS="-O2" CXXFLAGS="-O2 -std=c++17" \
    "$source_dir/configure" --host=$host --with-cross-build="$work/native" \
    --enable-static --disable-shared --disable-tools --prefix="$prefix" "${common_options[@]}"
rm -rf "$prefix"
mkdir -p lib bin
run make -j"$jobs" -C stubdata
run make -j"$jobs" -C common
run make -C stubdata install
run make -C common install
touch "$prefix/.complete"
cd /
rm -rf "$work"
echo "$prefix"
