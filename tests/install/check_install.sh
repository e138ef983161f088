#!/bin/sh
# Installs a Linux build into a temporary prefix, checks what lands there and
# builds a C host against it twice: with pkg-config and with a CMake project
# using find_package(PovUpdate). Each host must run from the prefix alone.
# The build is installed with `cmake --install` (cmake), or made into Debian
# packages with CPack, checked package by package and unpacked with dpkg into
# a scratch root whose usr/ is the prefix (deb).
# Usage: check_install.sh cmake|deb BUILD_DIR C_COMPILER CMAKE_GENERATOR [EXTRA_FLAGS]
set -eu
how=$1
build=$2
cc=$3
generator=$4
flags=${5:-}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
fail() { echo "FAIL: $*" >&2; exit 1; }

if [ "$how" = cmake ]; then
  cmake --install "$build" --prefix "$prefix" >/dev/null
else
  sh "$here/check_packages.sh" "$build" "$work/packages"
  for deb in "$work"/packages/*.deb; do dpkg -x "$deb" "$work/root"; done
  prefix=$work/root/usr
fi

# Exactly the library with its links in the architecture's own directory,
# the header, the two package descriptions and the command-line host with
# its manual page and completion, when built; the packages add each one's
# copyright and changelog; no static code libraries.
lib=lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)
installed=$(cd "$prefix" && find . -type f -o -type l | sed 's/Targets-[a-z]*\.cmake$/Targets-CONFIG.cmake/' | sort)
expected="./include/povupdate.h
./$lib/cmake/PovUpdate/PovUpdateConfig.cmake
./$lib/cmake/PovUpdate/PovUpdateConfigVersion.cmake
./$lib/cmake/PovUpdate/PovUpdateTargets-CONFIG.cmake
./$lib/cmake/PovUpdate/PovUpdateTargets.cmake
./$lib/libpovupdate.so
./$lib/libpovupdate.so.1
./$lib/libpovupdate.so.1.0.0
./$lib/pkgconfig/povupdate.pc"
cli=""
if grep -q '^POVUPDATE_CLI:BOOL=ON$' "$build/CMakeCache.txt"; then
  cli=yes
  expected="$expected
./bin/povupdate
./share/bash-completion/completions/povupdate
./share/man/man1/povupdate.1.gz"
fi
if [ "$how" = deb ]; then
  for package in libpovupdate1 libpovupdate-dev povupdate; do
    expected="$expected
./share/doc/$package/changelog.gz
./share/doc/$package/copyright"
  done
fi
expected=$(echo "$expected" | sort)
[ "$installed" = "$expected" ] || fail "installed files are:
$installed"
[ "$(readlink "$prefix/$lib/libpovupdate.so")" = libpovupdate.so.1 ] || fail "libpovupdate.so link"
[ "$(readlink "$prefix/$lib/libpovupdate.so.1")" = libpovupdate.so.1.0.0 ] || fail "libpovupdate.so.1 link"
soname() { readelf -d "$1" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p'; }
[ "$(soname "$prefix/$lib/libpovupdate.so.1.0.0")" = libpovupdate.so.1 ] || fail "SONAME"

# Every host finds the update file for version 6.1 in its own directory.
export POVUPDATE_OS_VERSION=6.1 POVUPDATE_MODULE_DIR="$work"
expect_file_name() {
  output=$("$@") || fail "$* exited with $?"
  [ "$output" = Update_6.1.ini ] || fail "$* printed: $output"
}
needs_soname() {
  readelf -d "$1" | grep -q '(NEEDED).*\[libpovupdate\.so\.1\]' || fail "$1 doesn't need libpovupdate.so.1"
}

[ -z "$cli" ] || expect_file_name "$prefix/bin/povupdate" file-name

# shellcheck disable=SC2046,SC2086
"$cc" -std=c99 -Wall -Wextra -pedantic -Werror $flags -o "$work/pkg-config-host" "$here/consumer/consumer.c" \
  $(PKG_CONFIG_PATH="$prefix/$lib/pkgconfig" pkg-config --cflags --libs povupdate)
needs_soname "$work/pkg-config-host"
expect_file_name env LD_LIBRARY_PATH="$prefix/$lib" "$work/pkg-config-host"
echo "$how: pkg-config host: Update_6.1.ini"

cmake -S "$here/consumer" -B "$work/consumer" -G "$generator" -DCMAKE_C_COMPILER="$cc" \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
cmake --build "$work/consumer" >/dev/null
needs_soname "$work/consumer/consumer"
expect_file_name "$work/consumer/consumer"
echo "$how: find_package host: Update_6.1.ini"
