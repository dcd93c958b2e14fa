#!/usr/bin/env bash
# Walk speed: bench_walk (SearchFolderTree with a silent host and a handler that only
# recognises names) next to `find TREE -name '*.jpg'` on the same warm synthetic tree of
# 200,000 files in 20,000 folders; then the walk a scan without photos makes (every file handed
# to the evidence entry) over a tree of the same shape with no photos and an old cache's
# index.dat in three folders of four, next to find. Best and median of several runs each;
# prints the times and ratios.
# Usage: bench/walk.sh [BUILD_DIR] (default build/native). The trees live in /tmp and are reused.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
bench=$build/bench/bench_walk
runs=${SNAPSIFT_BENCH_RUNS:-7}
tree=${SNAPSIFT_WALK_TREE:-/tmp/snapsift-bench-walk}
indexdat_tree=${SNAPSIFT_WALK_INDEXDAT_TREE:-/tmp/snapsift-bench-walk-indexdat}
[ -x "$bench" ] || { echo "no $bench: build the benchmarks first" >&2; exit 1; }

"$bench" generate "$tree"
files=$(find "$tree" -type f ! -name .complete | wc -l)
folders=$(find "$tree" -mindepth 1 -type d | wc -l)
echo "tree: $tree ($files files in $folders folders)"
echo "ours: $("$bench" walk "$tree")"
echo "find: $(find "$tree" -name '*.jpg' | wc -l) names ending in .jpg"
"$bench" compare "$tree" "$runs"

"$bench" generate-indexdat "$indexdat_tree"
indexes=$(find "$indexdat_tree" -type f -name index.dat | wc -l)
echo
echo "tree: $indexdat_tree (no photos, $indexes files named index.dat)"
echo "scan: $("$bench" scan "$indexdat_tree")"
"$bench" compare "$indexdat_tree" "$runs" scan
