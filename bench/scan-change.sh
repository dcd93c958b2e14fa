#!/usr/bin/env bash
# What a change costs a scan with photos: bench_scan of this tree next to bench_scan of an
# earlier revision (the reference), over the same 5,000 files of 50 KB that bench/scan.sh makes,
# alternating run by run. Prints each one's median and best seconds and the ratio of medians.
# Usage: bench/scan-change.sh [BASE_REVISION] [BUILD_DIR]  (defaults: main, build/native)
# SNAPSIFT_BENCH_OUT picks where the runs write (default /dev/shm when it exists: on a disk the
# writeback of the copies of earlier runs makes single runs vary by a factor of two, for both).
set -euo pipefail
cd "$(dirname "$0")/.."
base=${1:-main}
build=${2:-build/native}
runs=${SNAPSIFT_BENCH_RUNS:-12}
data=${SNAPSIFT_SCAN_DATA:-/tmp/snapsift-bench-scan}
ours=$build/bench/bench_scan
[ -x "$ours" ] || { echo "no $ours: build the benchmarks first" >&2; exit 1; }
command -v /usr/bin/time >/dev/null || apt-get install -y -qq time >/dev/null

# The photos, as bench/scan.sh makes them.
if [ ! -f "$data/.complete" ]; then
  SNAPSIFT_BENCH_RUNS=1 bash bench/scan.sh "$build" >/dev/null
fi
src=$data/src

# The reference: the base revision's bench_scan, built once per revision and kept.
base_commit=$(git rev-parse --verify "$base^{commit}")
ref_dir=/tmp/snapsift-bench-base/$base_commit
reference=$ref_dir/build/bench/bench_scan
if [ ! -x "$reference" ]; then
  echo "building bench_scan at $base (${base_commit:0:7})..."
  rm -rf "$ref_dir" && mkdir -p "$ref_dir"
  git archive --prefix=tree/ "$base_commit" | tar -x -C "$ref_dir"
  cmake -S "$ref_dir/tree" -B "$ref_dir/build" -DCMAKE_BUILD_TYPE=Release -DSNAPSIFT_GUI=OFF -DSNAPSIFT_TESTS=OFF \
    -DSNAPSIFT_BENCH=ON >/dev/null
  cmake --build "$ref_dir/build" -j"$(nproc)" --target bench_scan >/dev/null
fi

out_root=${SNAPSIFT_BENCH_OUT:-$([ -d /dev/shm ] && echo /dev/shm || echo /tmp)}
out=$(mktemp -d "$out_root/snapsift-scan-change.XXXXXX")
trap 'rm -rf "$out"' EXIT
find "$src" -type f -print0 | xargs -0 cat >/dev/null  # warm the page cache

times=$(mktemp)
for run in $(seq "$runs"); do
  for who in reference ours; do
    exe=$reference
    [ "$who" = ours ] && exe=$ours
    mkdir -p "$out/$who-$run"
    sync
    /usr/bin/time -f "$who %e" -a -o "$times" "$exe" "$src" "$out/$who-$run" >/dev/null
  done
  rm -rf "$out/reference-$run" "$out/ours-$run"
done
summary() {
  grep "^$1 " "$times" | awk '{print $2}' | sort -n |
    awk '{v[NR] = $1} END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; print m, v[1] }'
}
read -r median_ref best_ref < <(summary reference)
read -r median_ours best_ours < <(summary ours)
rm -f "$times"
echo "reference ($base, ${base_commit:0:7}): median ${median_ref} s, best ${best_ref} s"
echo "this tree: median ${median_ours} s, best ${best_ours} s"
awk -v a="$median_ours" -v b="$median_ref" 'BEGIN { printf "ratio (medians): %.3f\n", a / b }'
