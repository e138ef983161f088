#!/bin/sh
# Checks that the NuGet package holds exactly the binding's assembly with its
# config for Mono hosts and the native library of each runtime, besides the
# manifest and NuGet's own records.
# Usage: check_nupkg.sh NUPKG
set -eu
package=$1
listed=$(unzip -Z1 "$package" | grep -Ev '^(_rels/|package/|\[Content_Types\])' | sort)
[ "$listed" = "PovUpdate.nuspec
lib/net45/PovUpdate.Managed.dll
lib/net45/PovUpdate.Managed.dll.config
runtimes/linux-x64/native/libpovupdate.so
runtimes/win-x64/native/PovUpdate.dll
runtimes/win-x86/native/PovUpdate.dll" ] || { echo "FAIL: $package holds:
$listed" >&2; exit 1; }
echo "$package: the assembly, its config and the native library of each runtime"
