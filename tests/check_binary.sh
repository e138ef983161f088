#!/bin/sh
# Checks what a built library shows the world: exactly the seven exports
# (Windows: at ordinals 1 to 7) and, for the DLL, imports from Windows'
# own DLLs only. Usage: check_binary.sh linux|windows LIBRARY [OBJDUMP]
set -eu
kind=$1
library=$2
expected="GetTheUpdateSoftwareInforFromIni GetTheLocalSoftwareInforFromIni UpdateLocalSoftwareInforToIni
DeleteTheUpdateFile GetSaveFilePath SetSaveFilePath GetTheFileName"
fail() { echo "FAIL: $*" >&2; exit 1; }

if [ "$kind" = linux ]; then
  exports=$(nm -D --defined-only "$library" | awk '{print $3}' | sort)
  want=$(echo $expected | tr ' ' '\n' | sort)
  [ "$exports" = "$want" ] || fail "exports are: $exports"
  echo "7 exports, nothing else"
else
  dump=$("${3:-i686-w64-mingw32-objdump}" -p "$library")
  ordinal=1
  for name in $expected; do
    echo "$dump" | grep -Eq "^[[:space:]]+\[ *$((ordinal - 1))\] $name\$" ||
      fail "$name is not exported at ordinal $ordinal"
    ordinal=$((ordinal + 1))
  done
  count=$(echo "$dump" | grep -c '^[[:space:]]*\[ *[0-9]*\] [A-Za-z]' || true)
  [ "$count" -eq 7 ] || fail "$count names exported"
  imports=$(echo "$dump" | sed -n 's/.*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
  for dll in $imports; do
    case "$dll" in
      kernel32.dll | advapi32.dll | ole32.dll | msvcrt.dll | user32.dll | ntdll.dll) ;;
      *) fail "imports $dll" ;;
    esac
  done
  echo "7 exports at ordinals 1-7; imports: $(echo $imports)"
fi
