#!/usr/bin/env bash
# Window overhead: a scan driven through the real main window (offscreen platform, bench_gui)
# next to snapsift-cli over the same warm 200,000-file tree in the same run, photos off in
# both. Best of several runs each; prints the seconds, files per second and the ratio
# window/command line (the aim: at most 1.5).
# Usage: bench/gui/gui.sh [BUILD_DIR] (default build/native). The tree is the walk
# benchmark's (SNAPSIFT_WALK_TREE, default /tmp/snapsift-bench-walk), made by its generator.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/native}
gui=$build/bench/gui/bench_gui
cli=$build/src/cli/snapsift-cli
runs=${SNAPSIFT_BENCH_RUNS:-3}
tree=${SNAPSIFT_WALK_TREE:-/tmp/snapsift-bench-walk}
for program in "$gui" "$cli" "$build/bench/bench_walk"; do
  [ -x "$program" ] || { echo "no $program: build the benchmarks first" >&2; exit 1; }
done

"$build/bench/bench_walk" generate "$tree"  # the walk benchmark's tree, made once
files=$(find "$tree" -type f | wc -l)  # every file the walk meets, its marker too
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
find "$tree" >/dev/null  # warm the cache

now() { date +%s.%N; }
best_cli=999999; best_gui=999999; best_click=999999
for run in $(seq "$runs"); do
  mkdir -p "$work/cli$run" "$work/gui$run"
  start=$(now)
  "$cli" --folder "$tree" --output "$work/cli$run" --no-photos >"$work/cli$run.out" 2>/dev/null
  end=$(now)
  best_cli=$(awk -v s="$start" -v e="$end" -v b="$best_cli" 'BEGIN {t = e - s; print (t < b) ? t : b}')
  start=$(now)
  QT_QPA_PLATFORM=offscreen "$gui" "$tree" "$work/gui$run" >"$work/gui$run.out" 2>/dev/null
  end=$(now)
  best_gui=$(awk -v s="$start" -v e="$end" -v b="$best_gui" 'BEGIN {t = e - s; print (t < b) ? t : b}')
  best_click=$(awk -F': ' -v b="$best_click" '/^seconds/ {print ($2 < b) ? $2 : b}' "$work/gui$run.out")
  rm -rf "$work/cli$run"/* "$work/gui$run"/*
done
cli_found=$(grep -o 'Total files found: [0-9]*' "$work/cli1.out" | head -n 1)
gui_found=$(grep -o 'Total files found: [0-9]*' "$work/gui1.out" | head -n 1)
[ "$cli_found" = "$gui_found" ] || { echo "the two disagree: '$cli_found' and '$gui_found'" >&2; exit 1; }

awk -v f="$files" -v c="$best_cli" -v g="$best_gui" -v s="$best_click" -v found="$cli_found" -v r="$runs" 'BEGIN {
  printf "tree: %d files (%s); best of %d runs each\n", f, found, r
  printf "snapsift-cli, whole program:     %.3f s  %9.0f files/s\n", c, f / c
  printf "window, whole program:           %.3f s  %9.0f files/s\n", g, f / g
  printf "window, from START to the end: %.3f s  %9.0f files/s\n", s, f / s
  printf "ratio window/cli: %.2f whole program, %.2f the scan alone (aim: at most 1.50)\n", g / c, s / c
  printf "window overhead per file: %.2f us\n", (s - c) * 1e6 / f
}'
