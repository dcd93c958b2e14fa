#!/usr/bin/env bash
# Digest speed: bench_digest (DigestFileToHexStr) next to `openssl dgst -md5` and md5sum on
# the same warm data in the same run. Two loads: one 200 MB file (throughput), and 20,000
# files of 20 KB (per-file cost). Best of several runs each; prints MB/s, files/s and ratios.
# Usage: bench/digest.sh [BUILD_DIR] (default build/native). Data lives in /tmp and is reused.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
bench=$build/bench/bench_digest
runs=${SNAPSIFT_BENCH_RUNS:-5}
data=${SNAPSIFT_DIGEST_DATA:-/tmp/snapsift-bench-digest}
[ -x "$bench" ] || { echo "no $bench: build the benchmarks first" >&2; exit 1; }
command -v /usr/bin/time >/dev/null || apt-get install -y -qq time >/dev/null

big=$data/big.bin
small=$data/small
mkdir -p "$data"
if [ ! -f "$big" ] || [ "$(stat -c %s "$big")" != 200000000 ]; then
  echo "making $big (200 MB)..."
  head -c 200000000 /dev/urandom >"$big"
fi
if [ ! -f "$small/.complete" ]; then
  echo "making $small (20,000 files of 20 KB)..."
  rm -rf "$small" && mkdir -p "$small"
  head -c 400000000 /dev/urandom | (cd "$small" && split -b 20000 -d -a 5 - f)
  touch "$small/.complete"
fi
list=$data/small.list
find "$small" -type f -name 'f*' | sort >"$list"
[ "$(wc -l <"$list")" = 20000 ] || { echo "expected 20,000 files in $small" >&2; exit 1; }

# Warm the page cache, and check that every tool gives the same digests.
cat "$big" >/dev/null
xargs -a "$list" cat >/dev/null
ours_big=$("$bench" file "$big" 2>/dev/null | cut -c1-32)
ref_big=$(md5sum "$big" | cut -c1-32)
ssl_big=$(openssl dgst -md5 -r "$big" | cut -c1-32)
[ "$ours_big" = "$ref_big" ] && [ "$ssl_big" = "$ref_big" ] || { echo "digest mismatch on $big" >&2; exit 1; }
cmp <("$bench" list "$list" 2>/dev/null) <(xargs -a "$list" md5sum) || { echo "digest mismatch on $small" >&2; exit 1; }

# Best wall-clock and best CPU (user + system) seconds of $runs runs of a command line; the
# CPU figure is steadier on a machine that other work shares.
best() {
  local wall="" cpu="" t
  t=$(mktemp)
  for _ in $(seq "$runs"); do
    /usr/bin/time -f "%e %U %S" -o "$t" bash -c "$1" >/dev/null 2>&1
    read -r e u s <"$t"
    wall=$(awk -v x="$e" -v b="$wall" 'BEGIN { print (b == "" || x < b) ? x : b }')
    cpu=$(awk -v x="$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }')" -v b="$cpu" 'BEGIN { print (b == "" || x < b) ? x : b }')
  done
  rm -f "$t"
  echo "$wall $cpu"
}

read -r w_ours c_ours < <(best "'$bench' file '$big'")
read -r w_ssl c_ssl < <(best "openssl dgst -md5 '$big'")
read -r w_sum c_sum < <(best "md5sum '$big'")
read -r w_ours_many c_ours_many < <(best "'$bench' list '$list'")
read -r w_sum_many c_sum_many < <(best "xargs -a '$list' md5sum")
read -r w_ssl_many c_ssl_many < <(best "xargs -a '$list' openssl dgst -md5")

awk -v runs="$runs" \
    -v wo="$w_ours" -v co="$c_ours" -v ws="$w_ssl" -v cs="$c_ssl" -v wm="$w_sum" -v cm="$c_sum" \
    -v wom="$w_ours_many" -v com="$c_ours_many" -v wmm="$w_sum_many" -v cmm="$c_sum_many" \
    -v wsm="$w_ssl_many" -v csm="$c_ssl_many" 'BEGIN {
  printf "One 200 MB file, warm cache, best of %d (wall clock | CPU user+sys):\n", runs
  printf "  %-22s %6.3f s %7.1f MB/s | %6.3f s %7.1f MB/s\n", "snapsift (ours)", wo, 200 / wo, co, 200 / co
  printf "  %-22s %6.3f s %7.1f MB/s | %6.3f s %7.1f MB/s\n", "openssl dgst -md5", ws, 200 / ws, cs, 200 / cs
  printf "  %-22s %6.3f s %7.1f MB/s | %6.3f s %7.1f MB/s\n", "md5sum", wm, 200 / wm, cm, 200 / cm
  printf "  speed ours/openssl: %.3f | %.3f   ours/md5sum: %.3f | %.3f\n", ws / wo, cs / co, wm / wo, cm / co
  printf "20,000 files of 20 KB, warm cache, best of %d (wall clock | CPU user+sys):\n", runs
  printf "  %-22s %6.3f s %7.0f files/s | %6.3f s\n", "snapsift (ours)", wom, 20000 / wom, com
  printf "  %-22s %6.3f s %7.0f files/s | %6.3f s\n", "xargs md5sum", wmm, 20000 / wmm, cmm
  printf "  %-22s %6.3f s %7.0f files/s | %6.3f s\n", "xargs openssl dgst", wsm, 20000 / wsm, csm
  printf "  speed ours/md5sum: %.3f | %.3f   ours/openssl: %.3f | %.3f\n", wmm / wom, cmm / com, wsm / wom, csm / com
}'
