#!/bin/sh
# A host installed set-user-ID root and started by nobody, with variables
# that point the library at nobody's own files, must read the update file
# beside it, get the install path beside it and write its registry store in
# root's home from the password database: nothing where the variables point.
# The same host without the bit follows the variables, as any host does.
# Runs as root in a mount namespace of its own, where root's home and the
# host's directory are fresh tmpfs mounts, so that nothing of the machine's
# is touched and no nosuid mount is in the way.
# Usage: raised_rights.sh WALK_HOST LIBRARY. Exits 77 when it can't run here.
set -eu
skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }

if [ "${1:-}" != inside ]; then
  [ "$(id -u)" = 0 ] || skip "not root: no set-user-ID-root host can be made"
  unshare --mount --propagation private true 2>/dev/null ||
    skip "no mount namespace can be made here"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  status=0
  unshare --mount --propagation private sh "$0" inside "$work" "$@" || status=$?
  exit $status
fi

work=$2
host=$3
library=$4
home=$(getent passwd 0 | cut -d: -f6)
[ -d "$home" ] && [ "$home" != / ] || skip "root's home is '$home'"
nobody_uid=$(id -u nobody)
nobody_gid=$(id -g nobody)
mount -t tmpfs -o mode=0700 povupdate-home "$home"
mount -t tmpfs -o mode=0755 povupdate-work "$work"

# The host's directory, root's own: the host, the library and the update file.
trusted=$work/host
mkdir "$trusted"
cp "$host" "$trusted/host"
cp "$library" "$trusted/libpovupdate.so"
printf '[SOFTWARE]\r\n1=Trusted\r\n' >"$trusted/Update_6.1.ini"
chmod 4755 "$trusted/host"
# The caller's directory, with an update file of the caller's.
hostile=$work/hostile
mkdir "$hostile"
printf '[SOFTWARE]\r\n1=Evil\r\n' >"$hostile/Update_6.1.ini"
chown -R "$nobody_uid:$nobody_gid" "$hostile"

# Runs HOST as nobody, from the hostile directory, with every variable
# pointing there.
run_as_nobody() {
  (cd "$hostile" && setpriv --reuid="$nobody_uid" --regid="$nobody_gid" --clear-groups \
    env -i PATH=/usr/bin:/bin POVUPDATE_OS_VERSION=6.1 POVUPDATE_MODULE_DIR="$hostile" \
    POVUPDATE_REGISTRY_DIR="$hostile/reg" XDG_CONFIG_HOME="$hostile/config" HOME="$hostile" \
    "$1" "$trusted/libpovupdate.so")
}

before=$(find "$hostile" | sort)
output=$(run_as_nobody "$trusted/host") || fail "the set-user-ID host failed: $output"
case $output in
  raised=1*) ;;
  *) skip "the set-user-ID bit was not honoured (a nosuid mount, or valgrind)" ;;
esac
expected="raised=1
first=Trusted
install=$trusted/Install"
[ "$output" = "$expected" ] || fail "the set-user-ID host printed: $output"
[ "$(find "$hostile" | sort)" = "$before" ] || fail "written where the variables point: $(find "$hostile")"
store=$home/.config/povupdate/registry/HKEY_LOCAL_MACHINE.txt
grep -q "$trusted/Install" "$store" || fail "no install path in root's own store $store"
echo "set-user-ID root: the host's own update file, install path and root's store"

# Without the bit, the variables hold.
plain=$work/plain
mkdir "$plain"
cp "$host" "$plain/host"
chmod 755 "$plain/host"
output=$(run_as_nobody "$plain/host") || fail "the plain host failed: $output"
expected="raised=0
first=Evil
install=$hostile/Install"
[ "$output" = "$expected" ] || fail "the plain host printed: $output"
[ -f "$hostile/reg/HKEY_LOCAL_MACHINE.txt" ] || fail "the plain host's store is not in POVUPDATE_REGISTRY_DIR"
echo "without raised rights: the variables' update file, install path and store"
