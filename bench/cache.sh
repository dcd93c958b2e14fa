#!/usr/bin/env bash
# Browser-cache scan speed: snapsift-cli --no-photos over a profile holding a Chromium simple
# cache of 20,000 entries (one folder, sizes 500 B to 200 KB, median about 10 KB; about 2% of
# them photos under either name scheme), next to a warm `cat` of every file of the same tree, in
# the same run, in turns. Best of several runs each; prints seconds and the ratio, and the number
# of photos the report lists next to the number the cache holds: a different number fails the
# run, except 0 (a build that does not read caches), which is a warning.
# The cache is made by bench/make-cache.py from the browser-written entries in
# tests/caches/fixtures.tar.xz, and checked against them first.
# Then, where the page cache can be dropped (root), the same cold: the page cache dropped before
# every run, the two in turns, the median of several runs each (SNAPSIFT_BENCH_SETTLE: seconds to
# wait after each sync, as in bench/cold.sh; SNAPSIFT_BENCH_COLD=0 leaves the cold runs out).
# Usage: bench/cache.sh [BUILD_DIR] (default build/native). Data lives in /tmp and is reused.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
cli=$build/src/cli/snapsift-cli
runs=${SNAPSIFT_BENCH_RUNS:-5}
data=${SNAPSIFT_CACHE_DATA:-/tmp/snapsift-bench-cache}
entries=20000
[ -x "$cli" ] || { echo "no $cli: build snapsift-cli first" >&2; exit 1; }
command -v /usr/bin/time >/dev/null || apt-get install -y -qq time >/dev/null

root=$data/src
cache=$root/home/user/.cache/chromium/Default/Cache/Cache_Data
manifest=$data/photos.tsv
# The data is remade when the generator changes.
stamp=$(sha1sum bench/make-cache.py | cut -c1-40)
if [ "$(cat "$data/.complete" 2>/dev/null)" != "$stamp" ]; then
  echo "making $cache ($entries entries)..."
  rm -rf "$data" && mkdir -p "$cache" "$data/fixtures"
  tar -xJf tests/caches/fixtures.tar.xz -C "$data/fixtures"
  python3 bench/make-cache.py --self-check "$data/fixtures/chromium-simple"
  python3 bench/make-cache.py --entries "$entries" "$data/fixtures/chromium-simple" "$cache" "$manifest"
  rm -rf "$data/fixtures"
  echo "$stamp" >"$data/.complete"
fi
[ "$(find "$cache" -maxdepth 1 -name '*_0' | wc -l)" = "$entries" ] || { echo "expected $entries entries in $cache" >&2; exit 1; }
photos=$(($(wc -l <"$manifest") - 1))
megabytes=$(find "$root" -type f -printf '%s\n' | awk '{ s += $1 } END { printf "%.0f", s / 1e6 }')
out=$data/out
rm -rf "$out" && mkdir -p "$out"
reference='find "$1" -type f -print0 | xargs -0 cat >/dev/null'
bash -c "$reference" _ "$root"  # warm the page cache

times_ours=$(mktemp)
times_ref=$(mktemp)
log=$data/cli.log
trap 'rm -f "$times_ours" "$times_ref"' EXIT
for run in $(seq "$runs"); do
  rm -rf "${out:?}"/*  # the last run's report stays for the count below
  if ! /usr/bin/time -f "%e %U %S" -a -o "$times_ours" "$cli" --folder "$root" --output "$out" --no-photos >"$log" 2>&1; then
    echo "snapsift-cli failed (run $run):" >&2
    cat "$log" >&2
    exit 1
  fi
  /usr/bin/time -f "%e %U %S" -a -o "$times_ref" bash -c "$reference" _ "$root"
done
# Best wall-clock and best CPU (user + system) seconds; CPU is steadier on a shared machine.
best() { awk 'NR == 1 || $1 < w { w = $1 } NR == 1 || $2 + $3 < c { c = $2 + $3 } END { print w, c }' "$1"; }
read -r w_ours c_ours < <(best "$times_ours")
read -r w_ref c_ref < <(best "$times_ref")

report=$(sed -n 's/^Report: //p' "$log")
[ -f "$report" ] || { echo "no report named in snapsift-cli's output:" >&2; cat "$log" >&2; exit 1; }
found=$(sed -n 's/^Total files found: \([0-9]*\).*/\1/p' "$log")
[ -n "$found" ] || { echo "no \"Total files found\" line in snapsift-cli's output" >&2; cat "$log" >&2; exit 1; }
listed=$(grep -c '^<b>Full path:</b> ' "$report" || true)  # the entries the report holds

printf 'Chromium simple cache, %d entries in one folder (%d MB), %d photos (best of %d, warm cache)\n' \
  "$entries" "$megabytes" "$photos" "$runs"
printf '  snapsift-cli --no-photos: %6.2f s wall, %6.2f s CPU\n' "$w_ours" "$c_ours"
printf '  cat of every file:        %6.2f s wall, %6.2f s CPU\n' "$w_ref" "$c_ref"
printf '  ratio snapsift-cli / cat: %.2f wall, %.2f CPU (target: at most 1.0)\n' \
  "$(awk -v a="$w_ours" -v b="$w_ref" 'BEGIN { print a / b }')" "$(awk -v a="$c_ours" -v b="$c_ref" 'BEGIN { print a / b }')"
printf '  photos: %d in the report (%d entries listed), %d in the cache\n' "$found" "$listed" "$photos"
if [ "$found" = 0 ]; then
  echo "warning: the report lists no photo: this build does not read browser caches yet" >&2
elif [ "$found" != "$photos" ] || [ "$listed" != "$photos" ]; then
  echo "the report lists $found photos ($listed entries), the cache holds $photos (see $manifest)" >&2
  exit 1
fi

# Cold: the page cache dropped before each run.
[ "${SNAPSIFT_BENCH_COLD:-1}" = 1 ] || exit 0
settle=${SNAPSIFT_BENCH_SETTLE:-3}
. bench/cold-runs.sh
if [ "$(id -u)" != 0 ] || ! drop 2>/dev/null; then
  echo "cold runs left out: the page cache cannot be dropped here (needs root)" >&2
  exit 0
fi
cold_ours=() cold_ref=()
for run in $(seq "$runs"); do
  rm -rf "${out:?}"/*
  # Each run takes the two in another order.
  if [ $((run % 2)) = 1 ]; then
    cold_ours+=("$(cold "$cli" --folder "$root" --output "$out" --no-photos)")
    cold_ref+=("$(cold bash -c "$reference" _ "$root")")
  else
    cold_ref+=("$(cold bash -c "$reference" _ "$root")")
    cold_ours+=("$(cold "$cli" --folder "$root" --output "$out" --no-photos)")
  fi
done
m_ours=$(printf '%s\n' "${cold_ours[@]}" | median)
m_ref=$(printf '%s\n' "${cold_ref[@]}" | median)
printf 'The same cold (page cache dropped before each run; median of %d)\n' "$runs"
printf '  snapsift-cli --no-photos: %6.2f s wall (runs: %s)\n' "$m_ours" "${cold_ours[*]}"
printf '  cat of every file:        %6.2f s wall (runs: %s)\n' "$m_ref" "${cold_ref[*]}"
printf '  ratio snapsift-cli / cat: %.2f (target: at most 1.0)\n' "$(awk -v a="$m_ours" -v b="$m_ref" 'BEGIN { print a / b }')"
