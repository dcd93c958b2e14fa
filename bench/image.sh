#!/usr/bin/env bash
# Disk image speed: snapsift-cli --image over a 50,000-file NTFS image next to snapsift-cli over
# a read-only ntfs-3g mount of the same image (target: at most 0.6 times), and over the E01 of
# it next to ewfmount + ntfs-3g + snapsift-cli, mounts included (target: at most 0.8 times).
# Both scans make the digests and the report, no copies; warm cache, best of several runs.
# Usage: bench/image.sh [BUILD_DIR] (default build/native). Needs root and /dev/fuse. The
# images live in /tmp and are reused.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
cli=$(realpath "$build/src/cli/snapsift-cli")
generator=$(realpath "$build/bench/bench_image")
runs=${SNAPSIFT_BENCH_RUNS:-5}
work=${SNAPSIFT_IMAGE_BENCH:-/tmp/snapsift-bench-image}
[ -x "$cli" ] && [ -x "$generator" ] || { echo "no $cli or $generator: build them first" >&2; exit 1; }
[ "$(id -u)" = 0 ] && [ -e /dev/fuse ] || { echo "needs root and /dev/fuse" >&2; exit 1; }

mkdir -p "$work"
cd "$work"
mkdir -p m e out
cleanup() { umount m 2>/dev/null || true; umount e 2>/dev/null || true; }
trap cleanup EXIT
if [ ! -e .complete ]; then
  echo "making the images (50,000 files)..." >&2
  rm -f raw.img case.E*
  truncate -s 1G raw.img || exit 1
  mkntfs -F -Q -q raw.img >/dev/null 2>&1 || exit 1
  ntfs-3g raw.img m || exit 1
  "$generator" generate m || exit 1
  umount m || exit 1
  ewfacquire -u -q -t case -c fast raw.img >/dev/null || exit 1
  touch .complete
fi

# Best wall time in seconds of a command, over the runs.
best() {
  local best=999999 start end took
  for _ in $(seq "$runs"); do
    start=$(date +%s.%N)
    "$@" >/dev/null
    end=$(date +%s.%N)
    took=$(echo "$end - $start" | bc -l)
    best=$(echo "if ($took < $best) $took else $best" | bc -l)
  done
  printf '%.3f' "$best"
}
ratio() { printf '%.2f' "$(echo "$1 / $2" | bc -l)"; }

# Each scan makes its output folder in an empty folder of its own: two in one second would clash.
image_raw() { rm -rf out/*; "$cli" --image raw.img --profiles --output out --no-photos; }
mounted() { rm -rf out/*; "$cli" --profiles "$PWD/m" --output out --no-photos; }
image_e01() { rm -rf out/*; "$cli" --image case.E01 --profiles --output out --no-photos; }
mounted_e01() {
  rm -rf out/*
  ewfmount case.E01 e >/dev/null && ntfs-3g -o ro e/ewf1 m && "$cli" --profiles "$PWD/m" --output out --no-photos
  local status=$?
  umount m && umount e
  return $status
}

image_raw >/dev/null  # warms the cache
ntfs-3g -o ro raw.img m
mounted >/dev/null
raw=$(best image_raw)
mount=$(best mounted)
umount m
echo "raw image: --image $raw s, read-only mount $mount s, ratio $(ratio "$raw" "$mount") (target at most 0.60)"
image_e01 >/dev/null
mounted_e01 >/dev/null
e01=$(best image_e01)
e01mount=$(best mounted_e01)
echo "E01: --image $e01 s, ewfmount + ntfs-3g + scan $e01mount s, ratio $(ratio "$e01" "$e01mount") (target at most 0.80)"
