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
lib=./usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)
doc() { echo "./usr/share/doc/$1/changelog.gz ./usr/share/doc/$1/copyright"; }
[ "$(contents "$runtime")" = "$lib/libpovupdate.so.1 $lib/libpovupdate.so.1.0.0 $(doc libpovupdate1) " ] ||
  fail "libpovupdate1 holds $(contents "$runtime")"
[ "$(contents "$dev" | sed 's/Targets-[a-z]*\.cmake/Targets-CONFIG.cmake/')" = "./usr/include/povupdate.h \
$lib/cmake/PovUpdate/PovUpdateConfig.cmake $lib/cmake/PovUpdate/PovUpdateConfigVersion.cmake \
$lib/cmake/PovUpdate/PovUpdateTargets-CONFIG.cmake $lib/cmake/PovUpdate/PovUpdateTargets.cmake \
$lib/libpovupdate.so $lib/pkgconfig/povupdate.pc $(doc libpovupdate-dev) " ] ||
  fail "libpovupdate-dev holds $(contents "$dev")"
[ "$(contents "$cli")" = "./usr/bin/povupdate ./usr/share/bash-completion/completions/povupdate \
$(doc povupdate) ./usr/share/man/man1/povupdate.1.gz " ] || fail "povupdate holds $(contents "$cli")"

depends() { dpkg-deb -f "$1" Depends; }
depends "$runtime" | grep -q 'libc6' || fail "libpovupdate1 depends on: $(depends "$runtime")"
for deb in "$dev" "$cli"; do
  depends "$deb" | grep -q "libpovupdate1 (= $version)" || fail "${deb##*/} depends on: $(depends "$deb")"
done
# The runtime package tells dpkg its library and has the loader's cache
# brought up to date by the ldconfig trigger, with no maintainer scripts.
control=$(mktemp -d)
trap 'rm -rf "$control"' EXIT
dpkg-deb -e "$runtime" "$control"
[ "$(ls "$control")" = "control
md5sums
shlibs
triggers" ] || fail "libpovupdate1's control files: $(ls "$control")"
grep -qx "activate-noawait ldconfig" "$control/triggers" || fail "libpovupdate1's triggers"
grep -q "^libpovupdate 1 libpovupdate1" "$control/shlibs" || fail "libpovupdate1's shlibs"

# Debian's own checker finds nothing to warn of.
lintian --fail-on error,warning "$runtime" "$dev" "$cli" >"$control/lintian" 2>&1 || {
  cat "$control/lintian" >&2
  fail "lintian"
}
echo "Debian packages: libpovupdate1, libpovupdate-dev and povupdate $version"
