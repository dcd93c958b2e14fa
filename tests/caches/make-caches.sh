#!/usr/bin/env bash
# Makes real browser caches for the cache readers' tests: serves a page of photos on 127.0.0.1
# (serve.py), has Debian's chromium (simple cache, blockfile cache, then SQL cache) and
# firefox-esr (cache2) load it headless with fresh profiles, and copies each cache folder into
# OUT with a manifest of what was served. Run as root on Debian 12; about fifteen seconds.
#
# Usage: tests/caches/make-caches.sh [--pack | --pack-sql] [OUT]
#   OUT         where the caches go (default: a new temporary folder); its fixtures are replaced
#   --pack      also write tests/caches/fixtures.tar.xz from OUT
#   --pack-sql  also put OUT's chromium-sql/ into tests/caches/fixtures.tar.xz in place of the
#               one there, keeping every other file of the archive byte for byte (their times
#               are in the tests' expected reports)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
pack=no
case "${1:-}" in
  --pack) pack=yes; shift ;;
  --pack-sql) pack=sql; shift ;;
esac
out=${1:-$(mktemp -d /tmp/snapsift-caches.XXXXXX)}
port=${CACHES_PORT:-47811}  # fixed, since it is part of every cached URL and of the manifest
python=/usr/bin/python3

bash "$repo/scripts/setup.sh" --with-browser-caches

mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -rf "$out/chromium-simple" "$out/chromium-blockfile" "$out/chromium-sql" "$out/firefox-cache2" \
  "$out/manifest.tsv" "$out/browsers.txt"
work=$(mktemp -d /tmp/snapsift-caches-work.XXXXXX)
server=
cleanup() {
  if [ -n "$server" ]; then kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "make-caches: $*" >&2
  exit 1
}

# The browsers keep their own state under HOME; none of it should land in the real one.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_CACHE_HOME=$work/home/.cache
mkdir -p "$HOME"

"$python" "$here/serve.py" --manifest "$port" >"$work/manifest.tsv"
"$python" "$here/serve.py" --port "$port" --ready "$work/ready" 2>"$work/serve.log" &
server=$!
for _ in $(seq 50); do [ -s "$work/ready" ] && break; sleep 0.1; done
[ -s "$work/ready" ] || fail "the server did not start on 127.0.0.1:$port: $(cat "$work/serve.log")"

page=http://127.0.0.1:$port/index.html
images=$(($(wc -l <"$work/manifest.tsv") - 2))  # less the header and the page

# Every served URL, and its body as sent, lies whole in the cache's files (each format keeps the
# URL in its key, and these bodies in one piece).
check_entries() { "$python" "$here/serve.py" --check "$port" "$1" || fail "$1 lacks entries"; }

# A file's little-endian 32-bit number at an offset; its bytes in hex.
le32() { od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '; }
magic() { od -An -tx1 -N"${3:-4}" -j "${2:-0}" "$1" | tr -d ' \n'; }

run_chromium() {
  local name=$1 profile=$work/$1
  shift
  # --dump-dom prints the page at its load event, which waits for every image, then the
  # browser shuts down cleanly and closes its cache.
  timeout 60 chromium --headless --no-sandbox --disable-gpu --no-first-run --disable-sync \
    --disable-background-networking --disable-component-update --disable-default-apps \
    --user-data-dir="$profile" "$@" --dump-dom "$page" >"$work/$name.html" 2>"$work/$name.log" \
    || fail "chromium ($name) failed: $(tail -5 "$work/$name.log")"
  grep -qF "<title>done $images images, 0 failed</title>" "$work/$name.html" \
    || fail "chromium ($name) did not load every image: $(grep -o '<title>.*</title>' "$work/$name.html")"
  cp -a "$profile/Default/Cache/Cache_Data" "$out/$name"
}

run_chromium chromium-simple
dir=$out/chromium-simple
check_entries "$dir"
[ "$(magic "$dir/index" 0 8)" = 305c72a71b6dfbfc ] || fail "$dir/index is not a simple cache index"
[ -s "$dir/index-dir/the-real-index" ] || fail "$dir: the simple cache wrote no index on shutdown"
entries=$(find "$dir" -maxdepth 1 -name '*_0' | wc -l)
[ "$entries" -eq $((images + 1)) ] || fail "$dir: $entries entries, not $((images + 1))"

run_chromium chromium-blockfile --enable-features=DiskCacheBackendExperiment:backend/blockfile
dir=$out/chromium-blockfile
check_entries "$dir"
[ "$(magic "$dir/index")" = c3ca03c1 ] || fail "$dir/index is not a blockfile index"
for f in data_0 data_1 data_2 data_3; do [ -f "$dir/$f" ] || fail "$dir: no $f"; done
[ "$(le32 "$dir/index" 8)" -eq $((images + 1)) ] || fail "$dir: index counts $(le32 "$dir/index" 8) entries"
[ "$(le32 "$dir/index" 32)" -eq 0 ] || fail "$dir: the index says the browser did not shut down cleanly"
ls "$dir"/f_* >/dev/null 2>&1 || fail "$dir: no body was kept in a file of its own"

# The SQL cache: shard databases sqldb0... whose bodies over a page are split across SQLite's
# overflow pages, so its check reads them through the databases.
run_chromium chromium-sql --enable-features=DiskCacheBackendExperiment:backend/sql
dir=$out/chromium-sql
[ "$(magic "$dir/sqldb0" 0 16)" = 53514c69746520666f726d6174203300 ] || fail "$dir/sqldb0 is not an SQLite database"
for f in "$dir"/sqldb*-journal "$dir"/sqldb*-wal; do
  [ ! -s "$f" ] || fail "$dir: $f is not empty, the browser left a change unfinished"
done
"$python" "$here/serve.py" --check-sql "$port" "$dir" || fail "$dir lacks entries"

# Firefox: a profile that keeps a disk cache inside itself, opens nothing of its own, and lets
# the page close its window, which quits the browser normally and writes every entry out.
profile=$work/firefox
mkdir -p "$profile"
cat >"$profile/user.js" <<EOF
user_pref("browser.cache.disk.enable", true);
user_pref("browser.cache.disk.smart_size.enabled", false);
user_pref("browser.cache.disk.capacity", 262144);
user_pref("browser.cache.disk.parent_directory", "$profile");
user_pref("dom.allow_scripts_to_close_windows", true);
user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("browser.startup.page", 0);
user_pref("browser.startup.homepage_override.mstone", "ignore");
user_pref("browser.startup.homepage.abouthome_cache.enabled", false);
user_pref("browser.newtabpage.enabled", false);
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("toolkit.telemetry.enabled", false);
user_pref("app.update.enabled", false);
user_pref("browser.safebrowsing.update.enabled", false);
user_pref("network.predictor.enabled", false);
EOF
timeout 90 firefox-esr --headless --no-remote --profile "$profile" "$page#close=3" \
  >"$work/firefox.log" 2>&1 || fail "firefox-esr failed: $(tail -5 "$work/firefox.log")"
cp -a "$profile/cache2" "$out/firefox-cache2"
dir=$out/firefox-cache2
entries=$(find "$dir/entries" -type f | wc -l)
[ "$entries" -eq $((images + 1)) ] || fail "$dir: $entries entries, not $((images + 1))"
check_entries "$dir"

cp "$work/manifest.tsv" "$out/manifest.tsv"
{
  chromium --version
  firefox-esr --version
} 2>/dev/null | sed 's/ *$//' >"$out/browsers.txt"

pack_folder() {  # FOLDER: the archive of its fixtures
  tar -C "$1" --sort=name --owner=0 --group=0 --numeric-owner -cf - \
    manifest.tsv browsers.txt chromium-simple chromium-blockfile chromium-sql firefox-cache2 \
    | xz -9e >"$here/fixtures.tar.xz"
  echo "Packed $here/fixtures.tar.xz ($(stat -c %s "$here/fixtures.tar.xz") bytes)"
}
if [ "$pack" = yes ]; then
  pack_folder "$out"
elif [ "$pack" = sql ]; then
  old=$work/packed
  mkdir -p "$old"
  tar -C "$old" -xJf "$here/fixtures.tar.xz"
  cmp -s "$old/manifest.tsv" "$out/manifest.tsv" || fail "the archive's manifest is not what was served now"
  rm -rf "$old/chromium-sql"
  cp -a "$out/chromium-sql" "$old/chromium-sql"
  pack_folder "$old"
fi
echo "Caches in $out"
