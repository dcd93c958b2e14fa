#!/usr/bin/env bash
# Scale check: snapsift-cli over a generated tree of 1,000,000 files in 100,000 folders, next
# to find over the same warm tree. Prints time, files per second and peak memory.
# Usage: bench/scale.sh [BUILD_DIR] (default build/native). The tree is made once in
# /tmp/snapsift-scale-tree and reused; it is never committed.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
cli=$build/src/cli/snapsift-cli
tree=${SNAPSIFT_SCALE_TREE:-/tmp/snapsift-scale-tree}
command -v /usr/bin/time >/dev/null || apt-get install -y -qq time >/dev/null
command -v bc >/dev/null || apt-get install -y -qq bc >/dev/null

if [ ! -f "$tree/.complete" ]; then
  echo "generating $tree (1,000,000 files in 100,000 folders)..."
  rm -rf "$tree"
  python3 - "$tree" <<'PY'
import os, sys
root = sys.argv[1]
# 1,000 top folders x 100 subfolders = 100,000 leaf folders, 10 files each.
names = ["index.dat", "desktop.ini", "photo.jpg", "a.gif", "b.png", "c.js", "d.css", "e.htm", "f.txt", "g.jpg"]
n = 0
for top in range(1000):
    for sub in range(100):
        d = os.path.join(root, f"u{top:04d}", f"c{sub:03d}")
        os.makedirs(d)
        for i, name in enumerate(names):
            if i == 9 and (top * 100 + sub) % 250 == 0:
                name = f"n{100000 + n}_{sub}_{i}[1].jpg"  # 400 recognised files
            fd = os.open(os.path.join(d, name), os.O_WRONLY | os.O_CREAT, 0o644)
            if name.startswith("n1"):
                os.write(fd, b"\xff\xd8\xff\xe0" + bytes(2000))
            os.close(fd)
            n += 1
open(os.path.join(root, ".complete"), "w").close()
PY
fi

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
find "$tree" -name '*.jpg' >/dev/null  # warm the cache
best_find=999999
for _ in 1 2 3; do
  start=$(date +%s.%N); find "$tree" -name '*.jpg' >/dev/null; end=$(date +%s.%N)
  best_find=$(echo "$end - $start" | bc -l | awk -v b="$best_find" '{print ($1 < b) ? $1 : b}')
done
/usr/bin/time -v "$cli" --folder "$tree" --output "$out" --no-photos >"$out/stdout" 2>"$out/time"
seconds=$(awk -F': ' '/Elapsed \(wall clock\)/ {split($2, t, ":"); s = 0; for (i = 1; i <= length(t); i++) s = s * 60 + t[i]; print s}' "$out/time")
peak_kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$out/time")
files=$(find "$tree" -type f | wc -l)
found=$(grep -o 'Total files found: [0-9]*' "$out/stdout" | head -n 1)
printf 'tree: %s files\nsnapsift-cli: %.2f s, %.0f files/s, peak memory %.1f MB (%s)\nfind -name: %.2f s\nratio snapsift-cli/find: %.2f\n' \
  "$files" "$seconds" "$(echo "$files / $seconds" | bc -l)" "$(echo "$peak_kb / 1024" | bc -l)" "$found" \
  "$best_find" "$(echo "$seconds / $best_find" | bc -l)"
[ "$peak_kb" -lt 153600 ] || { echo "peak memory over 150 MB"; exit 1; }
