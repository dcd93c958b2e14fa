#!/usr/bin/env bash
# Scan speed with photos: bench_scan (a whole scan run: walk, digest, times, copy, report) over
# 5,000 recognised files of 50 KB, next to md5sum plus cp of the same files, on the same warm
# data in the same run. Best of several runs each; prints seconds, files/s and the ratio; and the
# share of the run that its summary by user ID takes (bench_scan times it over the run's entries).
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
rm -rf "$out"
xargs -a "$list" cat >/dev/null  # warm the page cache

# Every run writes into a folder of its own and nothing is deleted until the end: ext4 takes
# longer to hand out inodes just after many were freed, which would blur the figures.
times_ours=$(mktemp)
times_ref=$(mktemp)
said=$(mktemp)
for run in $(seq "$runs"); do
  mkdir -p "$out/ours-$run" "$out/ref-$run"
  sync
  /usr/bin/time -f "%e %U %S" -a -o "$times_ours" "$bench" "$src" "$out/ours-$run" >>"$said"
  sync
  /usr/bin/time -f "%e %U %S" -a -o "$times_ref" bash -c "xargs -a '$list' md5sum >/dev/null && cp -r '$src' '$out/ref-$run/'"
done
# Best wall-clock and best CPU (user + system) seconds; CPU is steadier on a shared machine.
best() { awk 'NR == 1 || $1 < w { w = $1 } NR == 1 || $2 + $3 < c { c = $2 + $3 } END { print w, c }' "$1"; }
read -r w_ours c_ours < <(best "$times_ours")
read -r w_ref c_ref < <(best "$times_ref")
rm -f "$times_ours" "$times_ref"
# The summary's best time against the run's best, both as bench_scan measured them.
read -r s_run s_summary < <(awk '$1 == "files" && (r == "" || $4 < r) { r = $4 } $1 == "summary" && (s == "" || $3 < s) { s = $3 }
                                 END { print r, s }' "$said")
rm -f "$said"

# The last run's report has the digests md5sum gives, and its copies are identical.
report=$(ls "$out/ours-$runs"/*/"Quorvia JPG Files.htm")
[ "$(grep -c '^<b>MD5:</b> ' "$report")" = 5000 ] || { echo "report lacks entries" >&2; exit 1; }
cmp <(grep -o '^<b>MD5:</b> [0-9a-f]*' "$report" | cut -c13- | sort) <(xargs -a "$list" md5sum | cut -c1-32 | sort) ||
  { echo "digest mismatch" >&2; exit 1; }
cmp "$(head -n 1 "$list")" "$(ls "$out/ours-$runs"/*/n1000000_*-*.jpg)" || { echo "copy differs" >&2; exit 1; }
rm -rf "$out"

printf 'scan with photos, 5,000 files of 50 KB (best of %d, warm cache)\n' "$runs"
printf '  bench_scan:     %6.2f s wall (%5.0f files/s), %6.2f s CPU\n' "$w_ours" "$(awk -v w="$w_ours" 'BEGIN { print 5000 / w }')" "$c_ours"
printf '  md5sum + cp -r: %6.2f s wall (%5.0f files/s), %6.2f s CPU\n' "$w_ref" "$(awk -v w="$w_ref" 'BEGIN { print 5000 / w }')" "$c_ref"
printf '  ratio bench_scan / (md5sum + cp): %.2f wall, %.2f CPU (target: at most 1.2)\n' \
  "$(awk -v a="$w_ours" -v b="$w_ref" 'BEGIN { print a / b }')" "$(awk -v a="$c_ours" -v b="$c_ref" 'BEGIN { print a / b }')"
printf '  summary by user ID of the 5,000 entries: %.4f s, %.2f %% of the run (%.2f s) (target: at most 5 %%)\n' \
  "$s_summary" "$(awk -v a="$s_summary" -v b="$s_run" 'BEGIN { print 100 * a / b }')" "$s_run"
