#!/bin/sh
# Checks that the release zip holds exactly the files a host's developer
# needs, all in one folder named after the release, and that the changelog
# shipped is the repository's.
# Usage: check_release_zip.sh ZIP
set -eu
zip=$1
name=$(basename "$zip" .zip)
source=$(cd "$(dirname "$0")/../.." && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }

listed=$(unzip -Z1 "$zip" | grep -v '/$' | sort)
expected=$(sed "s|^|$name/|" <<'LIST' | sort
CHANGELOG.md
HOST-GUIDE.md
PovUpdate.def
README.md
bindings/csharp/PovUpdate.cs
bindings/csharp/PovUpdate.Managed.dll.config
bindings/csharp/PovUpdate.csproj
bindings/python/povupdate/__init__.py
bindings/python/povupdate/py.typed
bindings/python/pyproject.toml
examples/Host.cs
examples/PovConfig_6.1.ini
examples/Update_6.1.ini
examples/host.py
examples/host_import.c
examples/host_loadlibrary.c
povupdate.h
x64/PovUpdate.dll
x64/PovUpdate.lib
x64/libPovUpdate.dll.a
x64/povupdate.exe
x86/PovUpdate.dll
x86/PovUpdate.lib
x86/libPovUpdate.dll.a
x86/povupdate.exe
LIST
)
[ "$listed" = "$expected" ] || fail "$zip holds:
$listed"
unzip -p "$zip" "$name/CHANGELOG.md" | cmp -s - "$source/CHANGELOG.md" || fail "CHANGELOG.md is not the repository's"
echo "$zip: $(echo "$listed" | wc -l) files, as a release holds them"
