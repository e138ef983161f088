#!/bin/sh
# Lays out a Windows build as the release folder and checks the host guide
# against it: the guide shows each example program whole (the Python and C#
# ones run on Linux, in tests/bindings), and both C examples build with
# MinGW-w64 in the folder, by the guide's own commands, and run under Wine
# where they are built, beside the DLL, with an update file. Runs in the build's own
# Wine prefix, whose wineserver the caller keeps running.
# Usage: check_host_guide.sh BUILD_DIR
set -eu
build=$(cd "$1" && pwd)
wine=$(cd "$(dirname "$0")/../.." && pwd)/scripts/wine
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
release=$work/release
fail() { echo "FAIL: $*" >&2; exit 1; }
export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all

cmake --install "$build" --prefix "$release" >/dev/null
if [ -f "$release/x86/PovUpdate.dll" ]; then
  echo "host guide: checking the i686 build's release folder"
  arch=x86
else
  echo "host guide: 32-bit programs can't run here, checking the x86_64 build's release folder instead"
  arch=x64
fi

for example in "$release"/examples/*.c "$release"/examples/*.py "$release"/examples/*.cs; do
  name=${example##*/}
  case $name in
    *.c) language=c ;;
    *.py) language=python ;;
    *.cs) language=csharp ;;
  esac
  shown=$(awk -v link="(examples/$name)" -v language="$language" '
    index($0, link) { linked = 1; next }
    linked && $0 == "```" language { inside = 1; next }
    inside && /^```$/ { exit }
    inside { print }' "$release/HOST-GUIDE.md")
  [ "$shown" = "$(cat "$example")" ] || fail "HOST-GUIDE.md doesn't show examples/$name as it is"
done

# The guide's MinGW commands, run in the release folder as written (for the
# x86_64 build, with its compiler and folder), with warnings as errors.
commands=$(grep -o 'i686-w64-mingw32-gcc [^`]*' "$release/HOST-GUIDE.md")
[ "$(echo "$commands" | wc -l)" = 2 ] || fail "HOST-GUIDE.md shows these MinGW commands: $commands"
[ $arch = x86 ] || commands=$(echo "$commands" | sed 's/x86/x64/g; s/i686-w64-mingw32-gcc/x86_64-w64-mingw32-gcc/')
echo "$commands" | while read -r command; do
  (cd "$release" && eval "$command -std=c99 -Wall -Wextra -Werror") || fail "in the release folder: $command"
done
# The programs start where they were built, beside the DLL; the update
# file is beside them.
run=$release/$arch
printf '%s\r\n' '[SOFTWARE]' 1=PovViewer 2=PovHelp '' '[PovViewer]' Version=2.4.10 \
  'DownLoadPath=https://updates.example.com/PovViewer-2.4.10.exe' '' '[PovHelp]' Version=3.1 \
  >"$run/Update_6.1.ini"

# Both programs see Windows 7, as the update file is named. The install
# directory starts unset, so the host's default is stored and shown.
for program in host_import.exe host_loadlibrary.exe; do
  "$wine" reg.exe add "HKCU\\Software\\Wine\\AppDefaults\\$program" /v Version /d win7 /f >/dev/null 2>&1 </dev/null
done
forget_install_dir() {
  "$wine" reg.exe delete 'HKLM\SOFTWARE\DravuPovUpdate' /f >/dev/null 2>&1 </dev/null || true
}
forget_install_dir
trap 'forget_install_dir; rm -rf "$work"' EXIT

expect() {
  program=$1
  expected=$2
  shift 2
  output=$(cd "$run" && "$wine" "./$program" "$@" </dev/null | tr -d '\r') || fail "$program exited with $?"
  [ "$output" = "$expected" ] || fail "$program printed:
$output
instead of:
$expected"
  echo "$program: ok"
}
nothing_installed="PovViewer: offered 2.4.10, installed none
PovHelp: offered 3.1, installed none"
up_to_date="PovViewer: offered 2.4.10, installed 2.4.10
PovHelp: offered 3.1, installed 3.1"
names="update file: Update_6.1.ini
install directory: Z:$(echo "$run" | tr / '\\')\\Install"

expect host_loadlibrary.exe "update file: Update_6.1.ini
$nothing_installed"
expect host_import.exe "$names
PovViewer: offered 2.4.10, installed none
PovViewer: recorded 2.4.10
PovHelp: offered 3.1, installed none
PovHelp: recorded 3.1"
expect host_import.exe "$names
$up_to_date"
expect host_loadlibrary.exe "update file: Update_6.1.ini
$up_to_date"
# Given a directory, the host stores it, extended in its own buffer.
expect host_import.exe "install directory set: C:\\Pov\\Install
update file: Update_6.1.ini
install directory: C:\\Pov\\Install
$up_to_date" 'C:\Pov'
