#!/bin/sh
# Builds the C# project with xbuild and packs it with nuget, checks the
# package's layout, then builds the binding's test and the host guide's C#
# example against the package's assembly and runs them on the Linux library
# as .NET and Mono hosts find it: from the package's runtimes folder, and by
# its installed name libpovupdate.so.1. Each in a directory and registry
# store of its own. Debian has no .NET: Mono stands in for it.
# Usage: check_csharp.sh LIBRARY_FILE SOURCE_DIR VERSION
set -eu
library=$1 source=$2 version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The Windows DLLs are no part of the Linux build: stand-ins show where the
# package puts them (scripts/package packs the real ones).
printf 'MZ' >"$work/PovUpdate.dll"
sh "$source/bindings/csharp/pack.sh" "$work/pack" "$work/out" "$version" \
  "$work/PovUpdate.dll" "$work/PovUpdate.dll" "$library"
package=$work/out/PovUpdate.$version.nupkg
sh "$source/tests/package/check_nupkg.sh" "$package"
mkdir "$work/package"
(cd "$work/package" && unzip -q "$package")

# A host's output folder: the assembly with its config, and the package's
# runtimes beside it.
app=$work/app
mkdir "$app"
cp "$work/package/lib/net45/"* "$app/"
cp -r "$work/package/runtimes" "$app/"
mcs -warnaserror -r:"$app/PovUpdate.Managed.dll" -out:"$app/binding_test.exe" \
  "$source/tests/bindings/BindingTest.cs"
mcs -warnaserror -r:"$app/PovUpdate.Managed.dll" -out:"$app/host.exe" "$source/docs/examples/Host.cs"

# A crash fails at once rather than waiting on a debugger.
export MONO_DEBUG=no-gdb-backtrace
export POVUPDATE_OS_VERSION=6.1 POVUPDATE_MODULE_DIR="$work/module" POVUPDATE_REGISTRY_DIR="$work/registry"
mkdir "$work/module"
mono "$app/binding_test.exe"

# Without the runtimes folder and without the config's map, by its installed
# name alone.
rm -rf "$app/runtimes" "$app/PovUpdate.Managed.dll.config"
missing=$(mono "$app/binding_test.exe" missing) || fail "no error without the library"
case "$missing" in
  "the PovUpdate library can't be loaded; looked for $app/libpovupdate.so ("*"), $app/runtimes/linux-x64/native/libpovupdate.so ("*"), libpovupdate.so.1 ("*")") ;;
  *) fail "without the library: $missing" ;;
esac
mkdir "$work/lib"
cp -L "$library" "$work/lib/libpovupdate.so.1"
export LD_LIBRARY_PATH="$work/lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
rm -rf "$work/registry" "$work/module"/*
printf '%s\r\n' '[SOFTWARE]' 1=PovViewer 2=PovHelp '' '[PovViewer]' Version=2.4.10 '' \
  '[PovHelp]' Version=3.1 >"$work/module/Update_6.1.ini"
expect() {
  output=$(mono "$app/host.exe") || fail "the guide's C# example exited with $?"
  [ "$output" = "$1" ] || fail "the guide's C# example printed:
$output"
}
names="update file: Update_6.1.ini
install directory: $work/module/Install"
expect "$names
PovViewer: offered 2.4.10, installed none
PovViewer: recorded 2.4.10
PovHelp: offered 3.1, installed none
PovHelp: recorded 3.1"
expect "$names
PovViewer: offered 2.4.10, installed 2.4.10
PovHelp: offered 3.1, installed 3.1"
echo "the guide's C# example: ok"
