# Sourced by the cold-cache benchmarks: drop (the page cache, after a sync and `settle` seconds,
# so that the disk has written back what a previous run left), cold (the wall-clock seconds of one
# run of a command from a dropped cache) and median (of numbers, one a line).
drop() { sync && sleep "$settle" && echo 3 >/proc/sys/vm/drop_caches; }
cold() {
  drop
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1 || true
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", b - a }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
