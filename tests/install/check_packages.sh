#!/bin/sh
# Makes the Debian packages of a Linux build with CPack into DIR and checks
# what each holds and what it depends on; check_install.sh unpacks them.
# Usage: check_packages.sh BUILD_DIR DIR
set -eu
build=$1
out=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >/dev/null
rm -rf "$out/_CPack_Packages"
arch=$(dpkg --print-architecture)
runtime=$out/libpovupdate1_${version}_$arch.deb
dev=$out/libpovupdate-dev_${version}_$arch.deb
cli=$out/povupdate_${version}_$arch.deb
[ "$(ls "$out")" = "${dev##*/}
${runtime##*/}
${cli##*/}" ] || fail "the packages are: $(ls "$out")"

contents() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ {print $6}' | sort | tr '\n' ' '; }
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
# The runtime package tells dpkg its library and runs ldconfig on install.
control=$(mktemp -d)
trap 'rm -rf "$control"' EXIT
dpkg-deb -e "$runtime" "$control"
grep -q ldconfig "$control/postinst" || fail "libpovupdate1 runs no ldconfig"
grep -q "^libpovupdate 1 libpovupdate1" "$control/shlibs" || fail "libpovupdate1's shlibs"
echo "Debian packages: libpovupdate1, libpovupdate-dev and povupdate $version"
