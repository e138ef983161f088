#!/bin/sh
# Makes the Debian packages of a Linux build with CPack, checks what each
# holds and what it depends on, unpacks all of them into a scratch root with
# dpkg and builds the C host against that root, with pkg-config and with
# find_package(PovUpdate); the host and the command-line host run from it.
# Usage: check_packages.sh BUILD_DIR C_COMPILER CMAKE_GENERATOR [EXTRA_FLAGS]
set -eu
build=$1
cc=$2
generator=$3
flags=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
fail() { echo "FAIL: $*" >&2; exit 1; }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >/dev/null
arch=$(dpkg --print-architecture)
runtime=$work/libpovupdate1_${version}_$arch.deb
dev=$work/libpovupdate-dev_${version}_$arch.deb
cli=$work/povupdate_${version}_$arch.deb
for deb in "$runtime" "$dev" "$cli"; do [ -f "$deb" ] || fail "no ${deb##*/}"; done

contents() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ {print $6}' | sed 's/ ->.*//' | sort | tr '\n' ' '; }
[ "$(contents "$runtime")" = "./usr/lib/libpovupdate.so.1 ./usr/lib/libpovupdate.so.1.0.0 " ] ||
  fail "libpovupdate1 holds $(contents "$runtime")"
[ "$(contents "$dev" | sed 's/Targets-[a-z]*\.cmake/Targets-CONFIG.cmake/')" = "./usr/include/povupdate.h \
./usr/lib/cmake/PovUpdate/PovUpdateConfig.cmake ./usr/lib/cmake/PovUpdate/PovUpdateConfigVersion.cmake \
./usr/lib/cmake/PovUpdate/PovUpdateTargets-CONFIG.cmake ./usr/lib/cmake/PovUpdate/PovUpdateTargets.cmake \
./usr/lib/libpovupdate.so ./usr/lib/pkgconfig/povupdate.pc " ] || fail "libpovupdate-dev holds $(contents "$dev")"
[ "$(contents "$cli")" = "./usr/bin/povupdate " ] || fail "povupdate holds $(contents "$cli")"

depends() { dpkg-deb -f "$1" Depends; }
depends "$runtime" | grep -q 'libc6' || fail "libpovupdate1 depends on: $(depends "$runtime")"
for deb in "$dev" "$cli"; do
  depends "$deb" | grep -q "libpovupdate1 (= $version)" || fail "${deb##*/} depends on: $(depends "$deb")"
done
# The runtime package registers its library with ldconfig.
dpkg-deb -e "$runtime" "$work/control"
grep -q ldconfig "$work/control/postinst" || fail "libpovupdate1 runs no ldconfig"
grep -q "libpovupdate 1 libpovupdate1" "$work/control/shlibs" || fail "libpovupdate1's shlibs"

for deb in "$runtime" "$dev" "$cli"; do dpkg -x "$deb" "$root"; done
export POVUPDATE_OS_VERSION=6.1 POVUPDATE_MODULE_DIR="$work"
expect_file_name() {
  output=$("$@") || fail "$* exited with $?"
  [ "$output" = Update_6.1.ini ] || fail "$* printed: $output"
}
expect_file_name "$root/usr/bin/povupdate" file-name

# shellcheck disable=SC2046,SC2086
"$cc" -std=c99 -Wall -Wextra -pedantic -Werror $flags -o "$work/pkg-config-host" "$here/consumer/consumer.c" \
  $(PKG_CONFIG_SYSROOT_DIR="" PKG_CONFIG_PATH="$root/usr/lib/pkgconfig" pkg-config --cflags --libs povupdate)
expect_file_name env LD_LIBRARY_PATH="$root/usr/lib" "$work/pkg-config-host"
cmake -S "$here/consumer" -B "$work/consumer" -G "$generator" -DCMAKE_C_COMPILER="$cc" \
  -DCMAKE_PREFIX_PATH="$root/usr" -DCMAKE_C_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
cmake --build "$work/consumer" >/dev/null
expect_file_name env LD_LIBRARY_PATH="$root/usr/lib" "$work/consumer/consumer"
echo "Debian packages: libpovupdate1, libpovupdate-dev and povupdate $version, each host ran"
