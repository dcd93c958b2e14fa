#!/usr/bin/env bash
# Scan speed with photos: bench_scan (a whole scan run: walk, digest, times, copy, report) over
# 5,000 recognised files of 50 KB, next to md5sum plus cp of the same files, on the same warm
# data in the same run. Best of several runs each; prints seconds, files/s and the ratio.
# Usage: bench/scan.sh [BUILD_DIR] (default build/native). Data lives in /tmp and is reused.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
bench=$build/bench/bench_scan
runs=${SNAPSIFT_BENCH_RUNS:-5}
data=${SNAPSIFT_SCAN_DATA:-/tmp/snapsift-bench-scan}
[ -x "$bench" ] || { echo "no $bench: build the benchmarks first" >&2; exit 1; }
command -v /usr/bin/time >/dev/null || apt-get install -y -qq time >/dev/null

src=$data/src
if [ ! -f "$data/.complete" ]; then
  echo "making $src (5,000 files of 50 KB in 50 folders)..."
  rm -rf "$data" && mkdir -p "$src"
  python3 - "$src" <<'PY'
import os, sys
root = sys.argv[1]
block = os.urandom(50_000 * 4)
for folder in range(50):
    d = os.path.join(root, f"Content.IE5/F{folder:04d}")
    os.makedirs(d)
    for i in range(100):
        n = folder * 100 + i
        with open(os.path.join(d, f"n{1000000 + n}_{n % 97}_{n % 89}[1].jpg"), "wb") as f:
            offset = (n * 4099) % (len(block) - 50_000)
            f.write(block[offset:offset + 50_000])
PY
  touch "$data/.complete"
fi
list=$data/files.list
find "$src" -type f -name '*.jpg' | sort >"$list"
[ "$(wc -l <"$list")" = 5000 ] || { echo "expected 5,000 files in $src" >&2; exit 1; }
out=$data/out
xargs -a "$list" cat >/dev/null  # warm the page cache

# Same digests as md5sum, and copies identical to their sources.
rm -rf "$out" && mkdir -p "$out"
"$bench" "$src" "$out" >/dev/null
report=$(ls "$out"/*/"Quorvia JPG Files.htm")
[ "$(grep -c '^<b>MD5:</b> ' "$report")" = 5000 ] || { echo "report lacks entries" >&2; exit 1; }
cmp <(grep -o '^<b>MD5:</b> [0-9a-f]*' "$report" | cut -c13- | sort) <(xargs -a "$list" md5sum | cut -c1-32 | sort) ||
  { echo "digest mismatch" >&2; exit 1; }
cmp "$(head -n 1 "$list")" "$(ls "$out"/*/n1000000_*-*.jpg)" || { echo "copy differs" >&2; exit 1; }

# Best wall-clock and CPU (user + system) seconds of $runs runs; the output is removed and
# written back to disk between runs, outside the timing.
best() {
  local wall="" cpu="" t e u s
  t=$(mktemp)
  for _ in $(seq "$runs"); do
    rm -rf "$out" && mkdir -p "$out/ref" && sync
    /usr/bin/time -f "%e %U %S" -o "$t" bash -c "$1" >/dev/null 2>&1
    read -r e u s <"$t"
    wall=$(awk -v x="$e" -v b="$wall" 'BEGIN { print (b == "" || x < b) ? x : b }')
    cpu=$(awk -v x="$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }')" -v b="$cpu" 'BEGIN { print (b == "" || x < b) ? x : b }')
  done
  rm -f "$t"
  echo "$wall $cpu"
}

read -r w_ours c_ours < <(best "'$bench' '$src' '$out'")
read -r w_ref c_ref < <(best "xargs -a '$list' md5sum >/dev/null && cp -r '$src' '$out/ref/'")
rm -rf "$out"

printf 'scan with photos, 5,000 files of 50 KB (best of %d, warm cache)\n' "$runs"
printf '  bench_scan:     %6.2f s wall (%5.0f files/s), %6.2f s CPU\n' "$w_ours" "$(awk -v w="$w_ours" 'BEGIN { print 5000 / w }')" "$c_ours"
printf '  md5sum + cp -r: %6.2f s wall (%5.0f files/s), %6.2f s CPU\n' "$w_ref" "$(awk -v w="$w_ref" 'BEGIN { print 5000 / w }')" "$c_ref"
printf '  ratio bench_scan / (md5sum + cp): %.2f wall, %.2f CPU (target: at most 1.2)\n' \
  "$(awk -v a="$w_ours" -v b="$w_ref" 'BEGIN { print a / b }')" "$(awk -v a="$c_ours" -v b="$c_ref" 'BEGIN { print a / b }')"
