#!/usr/bin/env bash
# Takes the documentation screenshots into docs/images/: the real windows on a virtual X
# display (idle, folder mode, during a scan, the final message, the About box) and the HTML
# report of the bundled sample drive in headless Chromium.
# Usage: scripts/screenshots.sh [BUILD_DIR]   (default build/native; configured if missing)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build/native}
bash scripts/setup.sh --with-screenshots
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)" --target snapsift_window_shots
images=$root/docs/images
mkdir -p "$images"
work=/tmp/snapsift-screenshots  # a steady name, since it shows in the pictures
rm -rf "$work" && mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

# An evidence drive: two user profiles with browser caches, a few thousand files in all.
python3 - "$work/evidence" <<'PY'
import os, sys
root = sys.argv[1]
jpeg = b"\xff\xd8\xff\xe0\x00\x10JFIF\x00" + bytes(600) + b"\xff\xd9"
cache = "AppData/Local/Microsoft/Windows/Temporary Internet Files/Content.IE5"
n = 0
for user in ("ana.moreno", "jbecker"):
    for folder in range(40):
        d = os.path.join(root, "Users", user, cache, "%08X" % (0x1A2B3C4D + folder * 7919))
        os.makedirs(d)
        for i in range(40):
            n += 1
            if i % 13 == 5:
                name = "n%d_%d_%d[1].jpg" % (100000000 + n * 37, 4000 + n, 700 + i)
            else:
                name = ("ad_banner%d[1].gif", "style%d[1].css", "script%d[1].js", "thumb%d[1].jpg")[i % 4] % n
            with open(os.path.join(d, name), "wb") as f:
                f.write(jpeg if name.endswith(".jpg") else b"x" * 64)
PY
mkdir -p "$work/out"
cat > "$work/shoot.sh" <<'SH'
#!/usr/bin/env bash
# shoot.sh FILE WxH+X+Y: one window cut out of the virtual screen.
import -window root -crop "$2" +repage "$1"
SH
chmod +x "$work/shoot.sh"
# A small NTFS image with a profile folder, for the disk image's entry (making it needs root and
# /dev/fuse; without them that picture is left).
image=()
if [ "$(id -u)" = 0 ] && [ -e /dev/fuse ] && command -v mkntfs >/dev/null; then
  truncate -s 16M "$work/case.img" && mkntfs -F -Q -q "$work/case.img" >/dev/null 2>&1 && mkdir -p "$work/m" &&
    ntfs-3g "$work/case.img" "$work/m" && mkdir -p "$work/m/Users/ana.moreno" && umount "$work/m" && image=("$work/case.img")
fi
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
  "$build/tools/window-shots/snapsift_window_shots" "$work/shoot.sh" "$images" "$work/evidence" "$work/out/" "${image[@]}"

# The report of the sample drive, as a browser shows it.
cli=$build/src/cli/snapsift-cli
if [ -d examples/sample-drive ] && cmake --build "$build" -j "$(nproc)" --target snapsift-cli >/dev/null 2>&1; then
  mkdir -p "$work/report"
  "$cli" --profiles "$root/examples/sample-drive" --output "$work/report" >/dev/null
  report=$(ls "$work"/report/Snapsift*/"Quorvia JPG Files.htm")
  chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$(mktemp -d)" --hide-scrollbars --window-size=1000,1100 \
    --screenshot="$images/report.png" "file://$report" 2>/dev/null
  echo "report.png: taken"
else
  echo "report.png: skipped (no sample drive or no snapsift-cli)"
fi
ls -l "$images"
