#!/bin/sh
# Builds the C# binding with Mono's compiler twice, with its test and with the
# host guide's C# example, and runs both on the Linux library in a directory
# and registry store of their own.
# Usage: check_csharp.sh LIBRARY_DIR SOURCE_DIR
set -eu
library_dir=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

binding=$source/bindings/csharp/PovUpdate.cs
mcs -warnaserror -out:"$work/binding_test.exe" "$binding" "$source/tests/bindings/BindingTest.cs"
mcs -warnaserror -out:"$work/host.exe" "$binding" "$source/docs/examples/Host.cs"

# Mono finds the library as libpovupdate.so on the library path. A crash
# fails at once rather than waiting on a debugger.
export MONO_DEBUG=no-gdb-backtrace
export LD_LIBRARY_PATH="$library_dir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
export POVUPDATE_OS_VERSION=6.1 POVUPDATE_MODULE_DIR="$work/module" POVUPDATE_REGISTRY_DIR="$work/registry"
mkdir "$work/module"
mono "$work/binding_test.exe"

rm -rf "$work/registry" "$work/module"/*
printf '%s\r\n' '[SOFTWARE]' 1=PovViewer 2=PovHelp '' '[PovViewer]' Version=2.4.10 '' \
  '[PovHelp]' Version=3.1 >"$work/module/Update_6.1.ini"
expect() {
  output=$(mono "$work/host.exe") || fail "the guide's C# example exited with $?"
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
