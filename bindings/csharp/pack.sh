#!/bin/sh
# Builds the binding's assembly with xbuild and packs it with the native
# libraries into OUT_DIR/PovUpdate.VERSION.nupkg. Nothing is written into
# the source tree.
# Usage: pack.sh WORK_DIR OUT_DIR VERSION WIN_X86_DLL WIN_X64_DLL LINUX_LIBRARY
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$1 out=$2 version=$3
rm -rf "$work"
mkdir -p "$work/project" "$work/stage/win-x86" "$work/stage/win-x64" "$work/stage/linux-x64" "$out"
cp "$here/PovUpdate.cs" "$here/PovUpdate.csproj" "$here/PovUpdate.nuspec" "$here/PovUpdate.Managed.dll.config" \
  "$work/project/"
xbuild /nologo /verbosity:quiet "$work/project/PovUpdate.csproj" >"$work/xbuild.log" 2>&1 \
  || { cat "$work/xbuild.log" >&2; exit 1; }
cp "$work/project/bin/Release/PovUpdate.Managed.dll" "$work/project/bin/Release/PovUpdate.Managed.dll.config" \
  "$work/stage/"
cp "$4" "$work/stage/win-x86/PovUpdate.dll"
cp "$5" "$work/stage/win-x64/PovUpdate.dll"
cp -L "$6" "$work/stage/linux-x64/libpovupdate.so"
# NuGet keeps its settings in the home directory: one of its own here.
HOME=$work nuget pack "$work/project/PovUpdate.nuspec" -BasePath "$work/stage" \
  -Properties version="$version" -OutputDirectory "$out" -NonInteractive >"$work/nuget.log" 2>&1 \
  || { cat "$work/nuget.log" >&2; exit 1; }
