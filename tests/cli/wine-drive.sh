#!/bin/sh
# Runs a Windows test program under Wine with a drive letter of its own: an empty folder mapped
# as Q: (or the next free letter) in the Wine prefix, named to the test in SNAPSIFT_TEST_DRIVE,
# and removed again afterwards.
set -eu
prefix=${WINEPREFIX:-$HOME/.wine}
[ -d "$prefix/dosdevices" ] || WINEDEBUG=-all wineboot -u >/dev/null 2>&1
folder=$(mktemp -d)
for letter in q r s t u v w x y; do
  if [ ! -e "$prefix/dosdevices/$letter:" ] && ln -s "$folder" "$prefix/dosdevices/$letter:" 2>/dev/null; then
    break
  fi
  letter=
done
[ -n "$letter" ] || { echo "no free drive letter in $prefix" >&2; exit 1; }
status=0
SNAPSIFT_TEST_DRIVE=$(echo "$letter" | tr a-z A-Z): WINEDEBUG=-all wine "$@" || status=$?
rm -f "$prefix/dosdevices/$letter:"
rm -rf "$folder"
exit $status
