#!/bin/sh
# Writes CHANGELOG.md as the Debian changelog of the packages, compressed as
# Debian wants it. Each "## VERSION (YYYY-MM-DD)" section becomes an entry:
# its paragraphs and list items become the entry's items. A section without
# a date (work not yet released) is left out.
# Usage: changelog.sh CHANGELOG.md SOURCE_PACKAGE MAINTAINER OUTPUT.gz
set -eu
awk -v source="$2" -v maintainer="$3" '
function close_entry() {
  if (open) printf "\n -- %s  %s\n", maintainer, stamp
  open = 0
}
/^## / {
  close_entry()
  if ($0 !~ /^## [^ ]+ \([0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]\)$/) next
  command = "date -u -R -d " substr($3, 2, 10)
  command | getline stamp
  close(command)
  if (entries++) print ""
  printf "%s (%s) unstable; urgency=medium\n\n", source, $2
  open = 1
  item = 0
  next
}
!open { next }
/^$/ { item = 0; next }
/^- / { printf "  * %s\n", substr($0, 3); item = 1; next }
item { sub(/^ +/, ""); printf "    %s\n", $0; next }
{ printf "  * %s\n", $0; item = 1 }
END {
  close_entry()
  if (!entries) exit 1
}' "$1" >"$4.text" || {
  rm -f "$4.text"
  echo "changelog.sh: $1 has no section \"## VERSION (YYYY-MM-DD)\"" >&2
  exit 1
}
gzip -9n <"$4.text" >"$4"
rm "$4.text"
