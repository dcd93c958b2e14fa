#!/usr/bin/env bash
# Decompression bombs: the peak memory (maximum resident set size) of bench_decode-bombs decoding
# 20 gzip bodies of 300 MiB of zeros each (stopped at the 256 MiB limit) in pieces into an MD5,
# next to the same run over 20 plain gzip bodies (1 MiB of text each), and next to the bombs
# decoded whole, as DecodeBody does for a caller that wants the bytes. Prints each peak in MiB,
# the difference the bombs make, and the seconds taken. A measurement, not a test: it fails only
# when the program does.
# Then the same for whole scans: snapsift-cli over 20 Firefox cache folders each holding the bomb
# that firefox-esr kept from the hostile test server, next to 20 holding a good photo's entry.
# Usage: bench/decode-bombs.sh [BUILD_DIR] (default build/native). Data lives in /tmp and is reused.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
bench=$build/bench/bench_decode-bombs
data=${SNAPSIFT_BOMB_DATA:-/tmp/snapsift-bench-bombs}
bodies=20
[ -x "$bench" ] || { echo "no $bench: build the benchmarks first" >&2; exit 1; }
command -v /usr/bin/time >/dev/null || apt-get install -y -qq time >/dev/null

if [ ! -f "$data/.complete" ]; then
  echo "making $bodies bombs of 300 MiB and $bodies plain bodies in $data..."
  rm -rf "$data" && mkdir -p "$data"
  for i in $(seq -w "$bodies"); do
    { printf 'bomb %s\n' "$i"; head -c $((300 << 20)) /dev/zero; } | gzip -9 >"$data/bomb-$i.gz"
    head -c $((3 << 18)) /dev/urandom | base64 -w 76 | gzip -9 >"$data/plain-$i.gz"
  done
  touch "$data/.complete"
fi

# Peak resident MiB and wall-clock seconds of one run; its output, one line per body, in $2.
measure() {
  local times
  times=$(mktemp)
  /usr/bin/time -v -o "$times" "$bench" "${@:3}" >"$2" 2>/dev/null || { echo "$1 run failed" >&2; cat "$times" >&2; exit 1; }
  awk -F': ' '/Maximum resident set size/ { kb = $2 } /Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0;
              for (i = 1; i <= n; i++) s = s * 60 + t[i] } END { printf "%.1f %.2f\n", kb / 1024, s }' "$times"
  rm -f "$times"
}

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
read -r plain_mib plain_s < <(measure plain "$out/plain" pieces gzip "$data"/plain-*.gz)
read -r bombs_mib bombs_s < <(measure bombs "$out/bombs" pieces gzip "$data"/bomb-*.gz)
read -r whole_mib whole_s < <(measure whole "$out/whole" whole gzip "$data"/bomb-*.gz)

# Every bomb stopped at the limit, and every plain body gave a digest.
stopped=$(grep -c "more than 256 MiB" "$out/bombs" || true)
digested=$(grep -cE '^[0-9A-F]{32}  ' "$out/plain" || true)
[ "$stopped" = "$bodies" ] || echo "warning: $stopped of $bodies bombs stopped at the limit" >&2
[ "$digested" = "$bodies" ] || echo "warning: $digested of $bodies plain bodies digested" >&2

awk -v n="$bodies" -v pm="$plain_mib" -v ps="$plain_s" -v bm="$bombs_mib" -v bs="$bombs_s" \
    -v wm="$whole_mib" -v ws="$whole_s" 'BEGIN {
  printf "%d gzip bodies each, peak resident memory (maximum resident set size) and wall clock:\n", n
  printf "  %-40s %8.1f MiB %7.2f s\n", "plain bodies (1 MiB), in pieces", pm, ps
  printf "  %-40s %8.1f MiB %7.2f s\n", "bombs (300 MiB), in pieces", bm, bs
  printf "  %-40s %8.1f MiB %7.2f s\n", "bombs (300 MiB), whole (DecodeBody)", wm, ws
  printf "  bombs in pieces - plain: %+.1f MiB   bombs whole - plain: %+.1f MiB\n", bm - pm, wm - pm
}'

# Whole scans over the hostile fixtures' Firefox entries: one folder per copy, as a profile's cache2.
cli=$build/src/cli/snapsift-cli
fixtures=$(mktemp -d)
trap 'rm -rf "$out" "$fixtures"' EXIT
tar -C "$fixtures" -xJf tests/caches/fixtures.tar.xz hostile-firefox-cache2 hostile-manifest.tsv
entries=$fixtures/hostile-firefox-cache2/entries
# The entry whose key (NUL-ended, in the metadata) is the photo's URL, not the page that names it.
entry_of() { grep -laP "/hostile/$1\x00" "$entries"/*; }
bomb_entry=$(entry_of n1000005_50_5.jpg)
good_entry=$(entry_of n1000009_90_9.jpg)
for kind in bomb good; do
  entry=${kind}_entry
  for i in $(seq -w "$bodies"); do
    mkdir -p "$fixtures/$kind/p$i/cache2/entries" && cp "${!entry}" "$fixtures/$kind/p$i/cache2/entries/"
  done
  mkdir -p "$out/$kind-run"
done
scan() {
  local times
  times=$(mktemp)
  /usr/bin/time -v -o "$times" "$cli" --folder "$fixtures/$1" --output "$out/$1-run" --no-photos >/dev/null 2>&1 || true
  awk -F': ' '/Maximum resident set size/ { printf "%.1f\n", $2 / 1024 }' "$times"
  rm -f "$times"
}
good_scan=$(scan good)
bomb_scan=$(scan bomb)
awk -v n="$bodies" -v g="$good_scan" -v b="$bomb_scan" 'BEGIN {
  printf "snapsift-cli over %d Firefox cache folders, peak resident memory:\n", n
  printf "  %-40s %8.1f MiB\n  %-40s %8.1f MiB\n  bombs - good: %+.1f MiB\n", "a good photo each", g, "a bomb each", b, b - g
}'
