#!/usr/bin/env bash
# A case over 20 run folders of 5,000 entries each (one run of 5,000 photos of 50 KB with their
# copies, its folder linked 20 times over): snapsift-cli --case, which checks each run folder as
# --verify does and sums up the others, next to sha256sum -c of every run folder's SHA256SUMS, on
# the same warm data in the same run. Best of several runs each; prints seconds and the ratio.
# Usage: bench/case.sh [BUILD_DIR] (default build/native). Data lives in /tmp and is reused.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
cli=$build/src/cli/snapsift-cli
runs=${SNAPSIFT_BENCH_RUNS:-3}
data=${SNAPSIFT_CASE_DATA:-/tmp/snapsift-bench-case}
[ -x "$cli" ] || { echo "no $cli: build snapsift-cli first" >&2; exit 1; }
command -v /usr/bin/time >/dev/null || apt-get install -y -qq time >/dev/null

if [ ! -f "$data/.complete" ]; then
  echo "making $data (one run over 5,000 files of 50 KB, its folder linked 20 times)..."
  rm -rf "$data" && mkdir -p "$data/src" "$data/base" "$data/runs"
  python3 - "$data/src" <<'PY'
import os, sys
root = sys.argv[1]
block = os.urandom(50_000 * 4)
for folder in range(50):
    d = os.path.join(root, f"Users/u{folder % 5}/Content.IE5/F{folder:04d}")
    os.makedirs(d)
    for i in range(100):
        n = folder * 100 + i
        with open(os.path.join(d, f"n{1000000 + n % 700}_{n % 97}_{n}[1].jpg"), "wb") as f:
            offset = (n * 4099) % (len(block) - 50_000)
            f.write(block[offset:offset + 50_000])
PY
  "$cli" --folder "$data/src" --output "$data/base" >/dev/null
  base=$(ls -d "$data/base"/Snapsift*)
  for n in $(seq -w 1 20); do cp -al "$base" "$data/runs/run-$n"; done
  touch "$data/.complete"
fi
cases=$data/cases
rm -rf "$cases" && mkdir -p "$cases"
cat "$data"/runs/run-01/* >/dev/null  # warm the page cache: every run folder shares these bytes

times_ours=$(mktemp)
times_ref=$(mktemp)
for run in $(seq "$runs"); do
  /usr/bin/time -f "%e %U %S" -a -o "$times_ours" "$cli" --case "$cases" "$data"/runs/run-* >/dev/null
  /usr/bin/time -f "%e %U %S" -a -o "$times_ref" bash -c \
    "for d in '$data'/runs/run-*; do (cd \"\$d\" && sha256sum --quiet -c SHA256SUMS) || exit 1; done"
done
best() { awk 'NR == 1 || $1 < w { w = $1 } NR == 1 || $2 + $3 < c { c = $2 + $3 } END { print w, c }' "$1"; }
read -r w_ours c_ours < <(best "$times_ours")
read -r w_ref c_ref < <(best "$times_ref")
rm -f "$times_ours" "$times_ref"

# The last case sums up every run: a row per user ID and run.
summary=$(ls "$cases"/Snapsift*/"Quorvia user IDs.csv" | tail -n 1)
rows=$(($(wc -l <"$summary") - 1))
[ "$rows" = $((20 * 700)) ] || { echo "the case has $rows rows, not $((20 * 700))" >&2; exit 1; }
rm -rf "$cases"

printf 'case over 20 run folders of 5,000 entries (best of %d, warm cache)\n' "$runs"
printf '  snapsift-cli --case:         %6.2f s wall, %6.2f s CPU\n' "$w_ours" "$c_ours"
printf '  sha256sum -c of each folder: %6.2f s wall, %6.2f s CPU\n' "$w_ref" "$c_ref"
printf '  ratio --case / sha256sum -c: %.2f wall, %.2f CPU (target: at most 1.2)\n' \
  "$(awk -v a="$w_ours" -v b="$w_ref" 'BEGIN { print a / b }')" "$(awk -v a="$c_ours" -v b="$c_ref" 'BEGIN { print a / b }')"
