#!/usr/bin/env bash
# Makes the Windows release from a MinGW build tree and checks it as a Windows user gets it:
# what the zip holds, that both programs need nothing beyond Windows' own libraries, and that
# they run from the unpacked zip under Wine. snapsift-cli.exe scans the sample drive as a drive
# letter and must write the report that the Linux build writes for the same files, with Windows
# paths. Where the installer is made, it installs silently. Needs the native build too.
# Usage: check-windows-package.sh WIN_BUILD_DIR NATIVE_BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: check-windows-package.sh WIN_BUILD_DIR NATIVE_BUILD_DIR}" && pwd)
native=$(cd "${2:?usage: check-windows-package.sh WIN_BUILD_DIR NATIVE_BUILD_DIR}" && pwd)
source=$(cd "$(dirname "$0")/../.." && pwd)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
prefix=${WINEPREFIX:-$HOME/.wine}

(cd "$build" && cpack >/dev/null)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
zip="$build/snapsift-$version-win64.zip"
work=$(mktemp -d)
drive=
cleanup() {
  [ -n "$drive" ] && rm -f "$prefix/dosdevices/$drive"
  rm -rf "$work"
}
trap cleanup EXIT
fail=0

echo "release: $(basename "$zip")"
unzip -Z1 "$zip" | sed 's/^/  /'
unzip -q "$zip" -d "$work"
top="$work/snapsift-$version-win64"
wanted=(snapsift-cli.exe README.md README.html LICENSE)
[ -e "$build/src/snapsift.exe" ] && wanted+=(snapsift.exe)
for file in "${wanted[@]}"; do [ -f "$top/$file" ] || { echo "zip lacks $file"; fail=1; }; done

# The README as a web page that says its encoding, showing the pictures the zip holds at the
# paths the page gives them.
if [ -f "$top/README.html" ]; then
  grep -q '<meta charset="utf-8">' "$top/README.html" || { echo "README.html does not say its encoding"; fail=1; }
  grep -q '<h1>Snapsift' "$top/README.html" || { echo "README.html has no Snapsift heading"; fail=1; }
  pictures=$(grep -o '<img src="[^"]*"' "$top/README.html" | sed 's/^<img src="//; s/"$//')
  [ -n "$pictures" ] || { echo "README.html shows no pictures"; fail=1; }
  for picture in $pictures; do
    [ -f "$top/$picture" ] || { echo "zip lacks $picture, which README.html shows"; fail=1; }
  done
  echo "README.html shows $(echo "$pictures" | wc -w) pictures, all in the zip"
fi

# Statically linked: only libraries that every Windows has.
for exe in "$top"/*.exe; do
  x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' | while read -r dll; do
    case "$dll" in
      kernel32.dll|user32.dll|gdi32.dll|shell32.dll|ole32.dll|comctl32.dll|comdlg32.dll|advapi32.dll|msvcrt.dll|\
      shlwapi.dll|uxtheme.dll|oleaut32.dll|version.dll|ws2_32.dll|bcrypt.dll|mpr.dll|api-ms-win-*) ;;
      *) echo "$(basename "$exe") needs $dll, which Windows does not bring"; exit 1 ;;
    esac
  done || fail=1
done

[ -d "$prefix/dosdevices" ] || wineboot -u >/dev/null 2>&1
got=$(wine "$top/snapsift-cli.exe" --version | tr -d '\r')
[ "$got" = "snapsift-cli $version" ] || { echo "snapsift-cli.exe --version said: $got"; fail=1; }

# The window program starts from the zip and shows its window (where a display is at hand).
if [ -f "$top/snapsift.exe" ] && [ -n "${DISPLAY:-}" ]; then
  (cd "$top" && wine snapsift.exe >/dev/null 2>&1 &)
  shown=
  for _ in $(seq 300); do
    if xwininfo -root -tree 2>/dev/null | grep -q '"Snapsift"'; then shown=yes; break; fi
    sleep 0.1
  done
  [ -n "$shown" ] || { echo "snapsift.exe showed no window \"Snapsift\""; fail=1; }
  wineserver -k 2>/dev/null || true
  [ -n "$shown" ] && echo "snapsift.exe: window \"Snapsift\" shown"
elif [ -f "$top/snapsift.exe" ]; then
  echo "note: no display, so snapsift.exe was not started"
fi

# The sample drive as a drive letter, scanned by both builds.
cp -a "$source/examples/sample-drive" "$work/drive"
mkdir "$work/out-linux" "$work/out-windows"
for letter in e f g h i j k l m n o p; do
  if [ ! -e "$prefix/dosdevices/$letter:" ] && ln -s "$work/drive" "$prefix/dosdevices/$letter:"; then
    drive="$letter:"
    break
  fi
done
[ -n "$drive" ] || { echo "no free drive letter in $prefix"; exit 1; }
D=$(echo "$drive" | tr a-z A-Z)
"$native/src/cli/snapsift-cli" --profiles "$work/drive" --output "$work/out-linux" >/dev/null
(cd "$work" && wine "$top/snapsift-cli.exe" --profiles "$D" --output 'Z:'"$work/out-windows" >/dev/null)
linux=$(ls "$work"/out-linux/*/"Quorvia JPG Files.htm")
windows=$(ls "$work"/out-windows/*/"Quorvia JPG Files.htm")
# Entry for entry the same as the Linux report, with the drive's Windows paths. Each build lists
# folders in its file system's order (Wine sorts names as NTFS does), so entries are compared
# apart from their order, their number (the anchor, the copy's number, which of two entries of
# the same bytes names the other); created times are compared apart (below).
python3 - "$linux" "$windows" "$work/drive" "$D" <<'PY' || fail=1
import re, sys
linux, windows, root, drive = open(sys.argv[1], 'rb').read(), open(sys.argv[2], 'rb').read(), sys.argv[3], sys.argv[4]
def entries(report, path):
    parts = re.split(rb'<hr(?: id="entry-\d+")?>\r\n', report)
    head, body, tail = parts[0], parts[1:-1], parts[-1]
    # The run's facts (source, start and end, host, user) differ from run to run and build to build.
    facts = rb'<b>(Source|Searched|Options|Run started|Program|Host|User|Run ended|Result):</b>[^\r]*\r\n'
    head, tail = re.sub(facts, b'', head), re.sub(facts, b'', tail)
    body = [re.sub(rb'-\d+\.jpg"', b'-N.jpg"', re.sub(rb'<b>(?:Created time:|Same bytes as entry)</b>[^\r]*\r\n', b'', e)) for e in body]
    return head, sorted(path(e) for e in body), tail
def windows_path(entry):
    return re.sub(rb'(<b>Full path:</b> )' + re.escape(root.encode()) + rb'/([^<]*)',
                  lambda m: m.group(1) + drive.encode() + b'\\' + m.group(2).replace(b'/', b'\\'), entry)
a, b = entries(linux, windows_path), entries(windows, lambda e: e)
if a != b:
    print("the Windows build's report differs from the Linux build's:")
    for x, y in zip(a[1], b[1]):
        if x != y: print(x.decode(errors='replace')); print(y.decode(errors='replace')); break
    sys.exit(1)
print(f"the Windows report holds the Linux report's {len(a[1])} entries, with Windows paths")
PY
grep -c '^<b>MD5:</b> [0-9a-f]' "$windows" | grep -qx 6 || { echo "the Windows report lacks the six photos"; fail=1; }
created_linux=$(grep -m1 '^<b>Created time:' "$linux" | tr -d '\r')
created_windows=$(grep -m1 '^<b>Created time:' "$windows" | tr -d '\r')
if [ "$(grep -c '^<b>Created time:' "$windows")" != 6 ]; then
  echo "the Windows report lacks created times"; fail=1
elif [ "$created_linux" != "$created_windows" ]; then
  echo "note: Wine does not report the birth time that Linux keeps: '$created_linux' here, '$created_windows' under Wine"
fi

# The installer, where one was made, installs both programs silently.
setup="$build/snapsift-$version-setup.exe"
if [ -f "$setup" ]; then
  echo "installer: $(basename "$setup")"
  # A registration left by an earlier check that was cut short names an uninstaller that is gone:
  # the installer would run it first and stop on a message box that no silent switch closes.
  wine reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Snapsift' /f >/dev/null 2>&1 || true
  timeout 300 wine "$setup" /S '/D=C:\Snapsift-check' >/dev/null 2>&1 || { echo "installer failed"; fail=1; }
  for file in "${wanted[@]}"; do
    [ -f "$prefix/drive_c/Snapsift-check/$file" ] || { echo "installer did not install $file"; fail=1; }
  done
  # "_?=" runs the uninstaller in place and waits for it, so that it has taken back the
  # registration before the folder goes.
  if [ -f "$prefix/drive_c/Snapsift-check/Uninstall.exe" ]; then
    timeout 120 wine 'C:\Snapsift-check\Uninstall.exe' /S '_?=C:\Snapsift-check' >/dev/null 2>&1 ||
      { echo "uninstaller failed"; fail=1; }
    wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Snapsift' >/dev/null 2>&1 &&
      { echo "uninstaller left its registration"; fail=1; }
  fi
  rm -rf "$prefix/drive_c/Snapsift-check"
fi

[ "$fail" = 0 ] && echo "Windows release: ok"
exit "$fail"
