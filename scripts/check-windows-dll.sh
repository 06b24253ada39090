#!/usr/bin/env bash
# Checks a Windows DLL's export table and import list with objdump -p: the
# plug-in exports exactly _F_ApiClientInit@16 and imports system DLLs only.
# Usage: check-windows-dll.sh OBJDUMP DLL
set -euo pipefail
objdump=$1
dll=$2
dump=$("$objdump" -p "$dll")

exports=$(printf '%s\n' "$dump" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p')
imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | tr 'A-Z' 'a-z' | sort -u)

status=0
if [ "$exports" != "_F_ApiClientInit@16" ]; then
  echo "exports: expected only _F_ApiClientInit@16, found:"
  printf '  %s\n' ${exports:-(none)}
  status=1
fi
# Libraries every Windows has; advapi32 serves ICU's registry reads.
system_dlls="kernel32.dll msvcrt.dll ole32.dll version.dll user32.dll advapi32.dll"
for dll_name in $imports; do
  case " $system_dlls " in
    *" $dll_name "*) ;;
    *) echo "imports: $dll_name is not a system DLL"; status=1 ;;
  esac
done
if [ $status -eq 0 ]; then
  echo "exports: _F_ApiClientInit@16; imports: $(echo $imports)"
fi
exit $status
