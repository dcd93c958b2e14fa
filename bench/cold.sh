#!/usr/bin/env bash
# Cold-cache speed: the page cache dropped before every run, the tools run alternating in one
# run of this script, the median of several runs each.
#   walk: find, fdfind (Debian's fd-find, a parallel walker) and snapsift-cli --no-photos over
#         the 200,000-file tree of bench/walk.sh;
#   scan: snapsift-cli with photos over the 5,000 files of 50 KB of bench/scan.sh, next to
#         md5sum plus cp -r of the same files.
# Dropping the page cache needs root: the script says so and stops where it cannot.
# SNAPSIFT_READ_AHEAD=N sets the CLI's read-ahead helpers (0: none); SNAPSIFT_BENCH_RUNS the runs.
# Usage: bench/cold.sh [BUILD_DIR] (default build/native).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
cli=$build/src/cli/snapsift-cli
walkgen=$build/bench/bench_walk
runs=${SNAPSIFT_BENCH_RUNS:-5}
tree=${SNAPSIFT_WALK_TREE:-/tmp/snapsift-bench-walk}
data=${SNAPSIFT_SCAN_DATA:-/tmp/snapsift-bench-scan}
[ -x "$cli" ] && [ -x "$walkgen" ] || { echo "no $cli or $walkgen: build snapsift-cli and the benchmarks first" >&2; exit 1; }

if [ "$(id -u)" != 0 ]; then
  echo "cold runs drop the page cache, which needs root: run as root" >&2
  exit 1
fi
drop() { sync && echo 3 >/proc/sys/vm/drop_caches; }
drop 2>/dev/null || { echo "cannot drop the page cache here (/proc/sys/vm/drop_caches refused)" >&2; exit 1; }
command -v fdfind >/dev/null || { apt-get install -y -qq fd-find >/dev/null || { echo "cannot install fd-find" >&2; exit 1; }; }

"$walkgen" generate "$tree" >/dev/null
if [ ! -f "$data/.complete" ]; then
  bash bench/scan.sh "$build" >/dev/null  # makes the scan data
fi
src=$data/src
list=$data/files.list
find "$src" -type f -name '*.jpg' | sort >"$list"
# Every run writes into a folder of its own, all removed at the end: ext4 is slower to create
# files just after many were removed, which would slow whichever tool ran after a removal.
out=$(mktemp -d /tmp/snapsift-cold-out.XXXXXX)
trap 'rm -rf "$out"' EXIT

# Every tool's times, in seconds: find, fdfind, snapsift-cli --no-photos (walk), md5sum plus
# cp -r (ref) and snapsift-cli with photos (scan).
# Seconds of wall-clock time for one cold run of a command.
cold() {
  drop
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1 || true
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", b - a }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

declare -A times
for run in $(seq "$runs"); do
  times[find]+="$(cold find "$tree" -name '*.jpg') "
  times[fdfind]+="$(cold fdfind -u -g '*.jpg' "$tree") "
  mkdir -p "$out/walk-$run" "$out/ref-$run" "$out/scan-$run"
  times[walk]+="$(cold "$cli" --folder "$tree" --output "$out/walk-$run" --no-photos) "
  times[ref]+="$(cold bash -c "xargs -a '$list' md5sum >/dev/null && cp -r '$src' '$out/ref-$run/'") "
  times[scan]+="$(cold "$cli" --folder "$src" --output "$out/scan-$run") "
done
declare -A med
for key in find fdfind walk ref scan; do
  med[$key]=$(tr ' ' '\n' <<<"${times[$key]}" | grep . | median)
  printf '  %-7s %s s (runs: %s)\n' "$key" "${med[$key]}" "${times[$key]% }"
done
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
printf 'cold walk (median of %d): snapsift-cli --no-photos / fdfind %s (target at most 1.0), / find %s (target at most 0.5)\n' \
  "$runs" "$(ratio "${med[walk]}" "${med[fdfind]}")" "$(ratio "${med[walk]}" "${med[find]}")"
printf 'cold scan with photos (median of %d): snapsift-cli / (md5sum + cp -r) %s (target at most 0.7)\n' \
  "$runs" "$(ratio "${med[scan]}" "${med[ref]}")"
