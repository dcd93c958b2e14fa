#!/usr/bin/env bash
# Builds the Debian package from a native build tree, unpacks it into a scratch root and
# checks that it holds what an installation needs and that both programs start from there.
set -euo pipefail
build=${1:?usage: check-package.sh BUILD_DIR}
build=$(cd "$build" && pwd)
(cd "$build" && cpack -G DEB >/dev/null)
# The version that project() gave the build.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || { echo "no project version in $build/CMakeCache.txt"; exit 1; }
deb=$(ls -t "$build"/snapsift_*.deb | head -n 1)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

fail=0
expect() { [ -e "$root/$1" ] || { echo "package lacks $1"; fail=1; }; }
expect usr/bin/snapsift
expect usr/bin/snapsift-cli
expect usr/share/applications/snapsift.desktop
expect usr/share/man/man1/snapsift-cli.1.gz
expect usr/share/doc/snapsift/README.md
# Every picture the README shows, at the path it gives.
for picture in $(grep -o '(docs/images/[A-Za-z0-9_.-]*)' README.md | tr -d '()' | sort -u); do
  expect "usr/share/doc/snapsift/$picture"
done
for size in 16 32 48 64 128 256; do expect "usr/share/icons/hicolor/${size}x${size}/apps/snapsift.png"; done
grep -q '^Exec=snapsift' "$root/usr/share/applications/snapsift.desktop" || { echo "desktop entry does not start snapsift"; fail=1; }
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || { echo "package version is not $version"; fail=1; }
zcat "$root/usr/share/man/man1/snapsift-cli.1.gz" | sed -n 1p | grep -qF "\"snapsift $version\"" ||
  { echo "manual page does not give version $version"; fail=1; }
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || { echo "package does not depend on Qt Widgets"; fail=1; }

# The command-line program runs from the installed path and scans.
[ "$("$root/usr/bin/snapsift-cli" --version)" = "snapsift-cli $version" ] || { echo "snapsift-cli --version failed"; fail=1; }
src=$(mktemp -d); out=$(mktemp -d)
printf 'x' > "$src/n12345_67[1].jpg"
"$root/usr/bin/snapsift-cli" --folder "$src" --output "$out" --no-photos >/dev/null
grep -q 'n12345_67\[1\].jpg' "$out"/Snapsift*/"Quorvia JPG Files.htm" || { echo "installed snapsift-cli wrote no entry"; fail=1; }
rm -rf "$src" "$out"

# The window program starts and stays up until it is told to end.
QT_QPA_PLATFORM=offscreen "$root/usr/bin/snapsift" & pid=$!
sleep 3
if kill -0 "$pid" 2>/dev/null; then kill "$pid"; wait "$pid" 2>/dev/null || true
else echo "installed snapsift did not stay up"; fail=1; fi

[ $fail -eq 0 ] && echo "package check: $(basename "$deb") passed" && dpkg-deb -c "$deb" | awk '{print $6}'
exit $fail
