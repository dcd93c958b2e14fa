#!/usr/bin/env bash
# Carving speed: snapsift-cli --image --carve over a 1 GiB NTFS image whose unallocated space
# holds deleted files (random bytes, and copies of the fixture simple-cache and cache2 folders),
# next to blkls reading the same unallocated clusters to /dev/null; over the raw image and over
# an E01 of it (target: at most 1.25 times blkls). The scan searches a small folder, makes its report and no copies,
# so that the time is the carving's. Warm cache, the median of several runs, the tools in turns.
# Usage: bench/carve.sh [BUILD_DIR] (default build/native). Needs root and /dev/fuse (to make the
# image), blkls and ewfacquire. The images live in /tmp and are reused.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
cli=$(realpath "$build/src/cli/snapsift-cli")
fixtures=$(realpath tests/caches/fixtures.tar.xz)
runs=${SNAPSIFT_BENCH_RUNS:-5}
work=${SNAPSIFT_CARVE_BENCH:-/tmp/snapsift-bench-carve}
[ -x "$cli" ] || { echo "no $cli: build it first" >&2; exit 1; }
command -v blkls >/dev/null || { echo "needs blkls (Debian's sleuthkit)" >&2; exit 1; }
. bench/cold-runs.sh  # median

mkdir -p "$work"
cd "$work"
mkdir -p m out
trap 'umount m 2>/dev/null || true' EXIT
if [ ! -e .complete ]; then
  [ "$(id -u)" = 0 ] && [ -e /dev/fuse ] || { echo "making the image needs root and /dev/fuse" >&2; exit 1; }
  echo "making the images (1 GiB)..." >&2
  rm -rf raw.img case.E* fixtures
  truncate -s 1G raw.img
  mkntfs -F -Q -q raw.img >/dev/null 2>&1
  ntfs-3g raw.img m
  mkdir -p m/Users/alice/Documents m/filler fixtures
  for i in 1 2 3; do echo "note $i" >"m/Users/alice/Documents/note$i.txt"; done
  tar -xJf "$fixtures" -C fixtures
  # Files of 1 to 8 MB of random bytes, with the caches' folders among them, then all deleted.
  for i in $(seq 1 200); do
    head -c $(((i % 8 + 1) << 20)) /dev/urandom >"m/filler/$i.bin" 2>/dev/null || break
    if [ $((i % 20)) = 0 ]; then mkdir "m/filler/caches$i" && cp -r fixtures/chromium-simple fixtures/firefox-cache2 "m/filler/caches$i"; fi
  done
  rm -rf m/filler
  umount m
  ewfacquire -u -q -t case -c fast raw.img >/dev/null
  touch .complete
fi

# Seconds of one run of a command, its output dropped.
timed() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1 || true
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", b - a }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
# Each scan makes its output folder in an empty folder of its own: two in one second would clash.
carve() { rm -rf out/*; "$cli" --image "$1" --folder Users/alice/Documents --carve --no-photos --output out; }

rm -rf out/*
"$cli" --image raw.img --folder Users/alice/Documents --carve --no-photos --output out >/dev/null 2>&1 || true
found=$(grep -c 'unallocated space, byte offset' out/*/'Quorvia JPG Files.csv' 2>/dev/null || echo 0)
unallocated=$(blkls raw.img | wc -c)
echo "unallocated space: $((unallocated >> 20)) MB; photos carved from it: $found" >&2
for image in raw.img case.E01; do
  args=()
  [ "$image" = case.E01 ] && args=(-i ewf)
  blkls "${args[@]}" "$image" >/dev/null  # warms the cache
  snap="" tsk=""
  for _ in $(seq "$runs"); do
    snap+="$(timed carve "$image") "
    tsk+="$(timed blkls "${args[@]}" "$image") "
  done
  s=$(printf '%s\n' $snap | median)
  t=$(printf '%s\n' $tsk | median)
  echo "$image: --carve $s s, blkls $t s, ratio $(ratio "$s" "$t") (target at most 1.25)"
done
