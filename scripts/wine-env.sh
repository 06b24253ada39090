# Prepares Wine to run the 32-bit Windows programs of the build. Sourced by
# the Windows scripts; exports WINEPREFIX, WINEARCH, WINEDEBUG and
# WINEDLLOVERRIDES for the programs that follow.
#
# Where the kernel refuses 32-bit executables, Wine's 32-bit loader runs under
# qemu's user-mode emulation, registered here in binfmt_misc. Emulated, a Wine
# process needs about a minute to start, and Wine's session services crash, so
# they are switched off; the programs need none of them.

gw_wine_fail() { echo "wine-env: $*" >&2; return 1; }

gw_sudo=""
[ "$(id -u)" -eq 0 ] || gw_sudo="sudo"

# Wine maps its shared user data at a fixed address near 2 GB; qemu's default
# guest layout puts its own mappings there, and Wine then stops with "failed to
# map the shared user data". A reserved guest space below the top of the 4 GB
# range leaves that address free. Only qemu reads this, so it is set for any
# run: the emulator may have been registered by an earlier run.
export QEMU_RESERVED_VA=${QEMU_RESERVED_VA:-0xf7000000}

# 32-bit programs: natively, or through qemu-i386-static.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  binfmt=/proc/sys/fs/binfmt_misc
  if [ ! -e "$binfmt/register" ]; then
    $gw_sudo mount -t binfmt_misc binfmt_misc "$binfmt" || gw_wine_fail "cannot mount binfmt_misc" || return 1
  fi
  if [ ! -e "$binfmt/qemu-i386" ]; then
    # The i386 ELF header (executables and position-independent ones), run by
    # the emulator with its file opened at registration (F), so that it works
    # inside other mount namespaces too.
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' |
      $gw_sudo tee "$binfmt/register" >/dev/null || gw_wine_fail "cannot register qemu-i386-static" || return 1
  fi
  /usr/lib/wine/wine --version >/dev/null 2>&1 || gw_wine_fail "32-bit programs do not run, not even emulated" || return 1
  echo "wine-env: 32-bit programs run under qemu-i386-static" >&2
fi

# Whether the programs run emulated (the emulator is registered and on): each
# Wine process then takes a minute to start and runs several times slower.
GW_WINE_EMULATED=0
if [ -f /proc/sys/fs/binfmt_misc/qemu-i386 ] && [ "$(head -n 1 /proc/sys/fs/binfmt_misc/qemu-i386)" = enabled ]; then
  GW_WINE_EMULATED=1
fi
export GW_WINE_EMULATED

export WINEPREFIX=${GRIDWRIGHT_WINEPREFIX:-${HOME}/.cache/gridwright/wine-prefix}
export WINEARCH=win32
export WINEDEBUG=-all
gw_wine_services="services.exe,winedevice.exe,plugplay.exe,explorer.exe,winemenubuilder.exe"

# A prefix of our own, made once: wineboot lays out the system folders.
if [ ! -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ]; then
  echo "wine-env: creating the Wine prefix $WINEPREFIX" >&2
  mkdir -p "$(dirname "$WINEPREFIX")"
  # Emulated, wineboot may never finish once the files are in place; the
  # files are what counts.
  WINEDLLOVERRIDES="mscoree,mshtml=;$gw_wine_services=d" timeout 900 wine wineboot --init >/dev/null 2>&1 || true
  wineserver -k >/dev/null 2>&1 || true
  [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ] || gw_wine_fail "wineboot did not create the prefix" || return 1
fi
export WINEDLLOVERRIDES="mscoree,mshtml=;wineboot.exe,$gw_wine_services=d"
