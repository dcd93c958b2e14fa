#!/usr/bin/env bash
# Cold-cache speed: the page cache dropped before every run, the tools run in turns in one run
# of this script (each run in another order), the median of several runs each.
#   walk: find, fdfind (Debian's fd-find, a parallel walker) and snapsift-cli --no-photos over
#         the 200,000-file tree of bench/walk.sh;
#   scan: snapsift-cli with photos over the 5,000 files of 50 KB of bench/scan.sh, next to
#         md5sum plus cp -r of the same files.
# Dropping the page cache needs root: the script says so and stops where it cannot.
# SNAPSIFT_READ_AHEAD=N sets the CLI's read-ahead helpers (0: none); SNAPSIFT_BENCH_RUNS the runs;
# SNAPSIFT_BENCH_SETTLE the seconds to wait after each sync (see below).
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
# On a virtual disk the host goes on writing for a while after a sync in the guest returns, and a
# run that starts then reads more slowly: each run waits `settle` seconds after the sync.
settle=${SNAPSIFT_BENCH_SETTLE:-5}
. bench/cold-runs.sh
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

# One timed run of a tool by its key.
run_tool() {
  local key=$1 run=$2
  case $key in
    find) times[find]+="$(cold find "$tree" -name '*.jpg') " ;;
    fdfind) times[fdfind]+="$(cold fdfind -u -g '*.jpg' "$tree") " ;;
    walk) mkdir -p "$out/walk-$run"
          times[walk]+="$(cold "$cli" --folder "$tree" --output "$out/walk-$run" --no-photos) " ;;
    ref) mkdir -p "$out/ref-$run"
         times[ref]+="$(cold bash -c "xargs -a '$list' md5sum >/dev/null && cp -r '$src' '$out/ref-$run/'") " ;;
    scan) mkdir -p "$out/scan-$run"
          times[scan]+="$(cold "$cli" --folder "$src" --output "$out/scan-$run") " ;;
  esac
}

# The walks first, none of which writes much; then the scans. Each run takes the tools in another
# order, so that no tool always comes first, or right after another's writes.
declare -A times
walkers=(find fdfind walk)
for run in $(seq "$runs"); do
  for i in 0 1 2; do run_tool "${walkers[(run + i) % 3]}" "$run"; done
done
scanners=(ref scan)
for run in $(seq "$runs"); do
  for i in 0 1; do run_tool "${scanners[(run + i) % 2]}" "$run"; done
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
