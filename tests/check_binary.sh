#!/bin/sh
# Checks what a built library shows the world: exactly the seven exports
# (Windows: at ordinals 1 to 7) and, for the DLL, imports from Windows'
# own DLLs only. Usage: check_binary.sh linux|windows LIBRARY [OBJDUMP]
#
# check_binary.sh host PROGRAM ARCHIVE STATELESS_SOURCE...: a Linux host
# imports the seven exports and holds none of the library's code (the
# static ARCHIVE of it) but that of the stateless sources named.
set -eu
kind=$1
library=$2
expected="GetTheUpdateSoftwareInforFromIni GetTheLocalSoftwareInforFromIni UpdateLocalSoftwareInforToIni
DeleteTheUpdateFile GetSaveFilePath SetSaveFilePath GetTheFileName"
fail() { echo "FAIL: $*" >&2; exit 1; }

# The names a binary defines, demangled, one a line. In an archive only the
# global ones count, and none of the members whose sources are named in $2;
# in a program the hidden ones are local, so all count.
defined() {
  symbols=$(nm -C --defined-only "$1") || fail "$1 can't be read"
  echo "$symbols" | awk -v skip="$2" -v global_only="$3" '
    BEGIN { n = split(skip, names, " "); for (i = 1; i <= n; i++) skipped[names[i] ".o:"] = 1 }
    /\.o:$/ { member = $1; next }
    NF >= 3 && $2 ~ (global_only ? "^[TDBR]$" : "^[TtDdBbRr]$") && !(member in skipped) {
      $1 = ""; $2 = ""; sub(/^ +/, ""); print
    }' | sort -u
}

if [ "$kind" = host ]; then
  program=$2
  archive=$3
  shift 3
  for name in $expected; do
    nm -u "$program" | grep -Eq "^ *U $name\$" || fail "$program does not import $name"
  done
  host_names=$(mktemp)
  trap 'rm -f "$host_names"' EXIT
  defined "$program" "" "" > "$host_names"
  library_names=$(defined "$archive" "$*" 1)
  copies=$(echo "$library_names" | comm -12 - "$host_names")
  [ -z "$copies" ] || fail "$program holds the library's own code: $copies"
  echo "imports the 7 exports; holds none of the library's code but its $*"
elif [ "$kind" = linux ]; then
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
