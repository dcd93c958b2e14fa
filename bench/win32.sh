#!/usr/bin/env bash
# Window overhead on Windows: a scan driven through the real Win32 main window (bench_win32:
# folder mode, photos off, START clicked) next to snapsift-cli.exe over the same warm
# 200,000-file tree in the same run, both under Wine. Best of several runs each; prints the
# seconds, files per second and the ratio window/command line (the aim: at most 1.5).
# Usage: bench/win32.sh [BUILD_DIR] (the MinGW build, default build/win), on a display
# ($DISPLAY, such as Xvfb's). The Wine prefix ($WINEPREFIX) is made ready by
# tests/win32/wine-prefix.sh. The tree is the walk benchmark's (SNAPSIFT_WALK_TREE, default
# /tmp/snapsift-bench-walk), made by the native build's bench_walk (SNAPSIFT_NATIVE_BUILD,
# default build/native) when it is not there yet.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/win}
window=$build/bench/win32/bench_win32.exe
cli=$build/src/cli/snapsift-cli.exe
runs=${SNAPSIFT_BENCH_RUNS:-3}
tree=${SNAPSIFT_WALK_TREE:-/tmp/snapsift-bench-walk}
native=${SNAPSIFT_NATIVE_BUILD:-build/native}
for program in "$window" "$cli"; do
  [ -f "$program" ] || { echo "no $program: build bench_win32 and snapsift-cli first" >&2; exit 1; }
done
[ -n "${DISPLAY:-}" ] || { echo "no display: run on one (xvfb-run -a $0 $*)" >&2; exit 1; }
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
bash tests/win32/wine-prefix.sh

if [ ! -f "$tree/.complete" ]; then
  [ -x "$native/bench/bench_walk" ] || { echo "no $tree and no $native/bench/bench_walk to make it" >&2; exit 1; }
  "$native/bench/bench_walk" generate "$tree"
fi
files=$(find "$tree" -type f | wc -l)  # every file the walk meets, its marker too
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
find "$tree" >/dev/null  # warm the cache
wtree=$(winepath -w "$tree")

now() { date +%s.%N; }
best() { awk -v s="$1" -v e="$2" -v b="$3" 'BEGIN {t = e - s; print (t < b) ? t : b}'; }
best_cli=999999; best_win=999999; best_click=999999
for run in $(seq "$runs"); do
  mkdir -p "$work/cli$run" "$work/win$run"
  start=$(now)
  wine "$cli" --folder "$wtree" --output "$(winepath -w "$work/cli$run")" --no-photos 2>/dev/null | tr -d '\r' >"$work/cli$run.out"
  best_cli=$(best "$start" "$(now)" "$best_cli")
  start=$(now)
  wine "$window" "$wtree" "$(winepath -w "$work/win$run")" 2>/dev/null | tr -d '\r' >"$work/win$run.out"
  best_win=$(best "$start" "$(now)" "$best_win")
  best_click=$(awk -F': ' -v b="$best_click" '/^seconds/ {print ($2 < b) ? $2 : b}' "$work/win$run.out")
  rm -rf "${work:?}/cli$run"/* "${work:?}/win$run"/*
done
cli_found=$(grep -o 'Total files found: [0-9]*' "$work/cli1.out" | head -n 1)
win_found=$(grep -o 'Total files found: [0-9]*' "$work/win1.out" | head -n 1)
[ "$cli_found" = "$win_found" ] || { echo "the two disagree: '$cli_found' and '$win_found'" >&2; exit 1; }

awk -v f="$files" -v c="$best_cli" -v w="$best_win" -v s="$best_click" -v found="$cli_found" -v r="$runs" 'BEGIN {
  printf "tree: %d files (%s); best of %d runs each, under Wine\n", f, found, r
  printf "snapsift-cli.exe, whole program:  %.3f s  %9.0f files/s\n", c, f / c
  printf "window, whole program:            %.3f s  %9.0f files/s\n", w, f / w
  printf "window, from START to the end:  %.3f s  %9.0f files/s\n", s, f / s
  printf "ratio window/cli: %.2f whole program, %.2f the scan alone (aim: at most 1.50)\n", w / c, s / c
}'
