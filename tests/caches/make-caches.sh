#!/usr/bin/env bash
# Makes real browser caches for the cache readers' tests: serves a page of photos on 127.0.0.1
# (serve.py), has Debian's chromium (simple cache, blockfile cache, then SQL cache) and
# firefox-esr (cache2) load it headless with fresh profiles, and copies each cache folder into
# OUT with a manifest of what was served. Run as root on Debian 12; about fifteen seconds.
#
# Usage: tests/caches/make-caches.sh [--pack | --pack-sql | --pack-hostile] [OUT]
#   OUT         where the caches go (default: a new temporary folder); its fixtures are replaced
#   --pack      also write tests/caches/fixtures.tar.xz from OUT (with the hostile caches
#               already in it, as they are)
#   --pack-sql  also put OUT's chromium-sql/ into tests/caches/fixtures.tar.xz in place of the
#               one there, keeping every other file of the archive byte for byte (their times
#               are in the tests' expected reports)
#   --pack-hostile  load the hostile page instead (serve.py's /hostile.html: responses cut
#               short, error pages, a redirect, false or unusual content encodings, a gzip bomb,
#               header values that look like spreadsheet formulas) into hostile-* folders of
#               OUT, then put those and hostile-manifest.tsv into the archive beside every file
#               already there, kept byte for byte; about twenty seconds
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
pack=no
case "${1:-}" in
  --pack) pack=yes; shift ;;
  --pack-sql) pack=sql; shift ;;
  --pack-hostile) pack=hostile; shift ;;
esac
out=${1:-$(mktemp -d /tmp/snapsift-caches.XXXXXX)}
port=${CACHES_PORT:-47811}  # fixed, since it is part of every cached URL and of the manifest
python=/usr/bin/python3

bash "$repo/scripts/setup.sh" --with-browser-caches
# serve.py's br and zstd bodies.
if ! "$python" -c 'import brotli, zstandard' 2>/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends \
    python3-brotli python3-zstandard >/dev/null
fi

regular=(manifest.tsv browsers.txt chromium-simple chromium-blockfile chromium-sql firefox-cache2)
hostile=(hostile-manifest.tsv hostile-chromium-simple hostile-chromium-blockfile hostile-chromium-sql
  hostile-firefox-cache2)
mkdir -p "$out"
out=$(cd "$out" && pwd)
if [ "$pack" = hostile ]; then made=("${hostile[@]}"); else made=("${regular[@]}"); fi
for f in "${made[@]}"; do rm -rf "${out:?}/$f"; done
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
for _ in $(seq 100); do [ -s "$work/ready" ] && break; sleep 0.1; done
[ -s "$work/ready" ] || fail "the server did not start on 127.0.0.1:$port: $(cat "$work/serve.log")"

# A file's little-endian 32-bit number at an offset; its bytes in hex.
le32() { od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '; }
magic() { od -An -tx1 -N"${3:-4}" -j "${2:-0}" "$1" | tr -d ' \n'; }

blockfile=--enable-features=DiskCacheBackendExperiment:backend/blockfile
sql=--enable-features=DiskCacheBackendExperiment:backend/sql

run_chromium() {  # NAME URL TITLE [FLAGS...]: OUT/NAME, the cache left by loading URL, whose title must start with TITLE
  local name=$1 url=$2 title=$3 profile=$work/$1
  shift 3
  # --dump-dom prints the page at its load event, which waits for every image, then the
  # browser shuts down cleanly and closes its cache.
  timeout 90 chromium --headless --no-sandbox --disable-gpu --no-first-run --disable-sync \
    --disable-background-networking --disable-component-update --disable-default-apps \
    --user-data-dir="$profile" "$@" --dump-dom "$url" >"$work/$name.html" 2>"$work/$name.log" \
    || fail "chromium ($name) failed: $(tail -5 "$work/$name.log")"
  grep -qF "<title>$title" "$work/$name.html" \
    || fail "chromium ($name) did not load every image: $(grep -o '<title>.*</title>' "$work/$name.html")"
  cp -a "$profile/Default/Cache/Cache_Data" "$out/$name"
}

# Firefox: a profile that keeps a disk cache inside itself, opens nothing of its own, and lets
# the page close its window, which quits the browser normally and writes every entry out.
run_firefox() {  # NAME URL: OUT/NAME, the cache2 folder left by loading URL
  local name=$1 url=$2 profile=$work/$1
  mkdir -p "$profile"
  cat >"$profile/user.js" <<PREFS
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
user_pref("network.captive-portal-service.enabled", false);
user_pref("network.connectivity-service.enabled", false);
PREFS
  timeout 90 firefox-esr --headless --no-remote --profile "$profile" "$url#close=3" \
    >"$work/$name.log" 2>&1 || fail "firefox-esr failed: $(tail -5 "$work/$name.log")"
  cp -a "$profile/cache2" "$out/$name"
}

if [ "$pack" = hostile ]; then
  # The hostile page: what each browser keeps of it is in the README, and each cache made here
  # must hold every entry said there, whole as sent, after a clean shutdown.
  "$python" "$here/serve.py" --hostile-manifest "$port" >"$work/hostile-manifest.tsv"
  page=http://127.0.0.1:$port/hostile.html
  images=$(($(wc -l <"$work/hostile-manifest.tsv") - 3))  # less the header, the page and the redirect's target
  chromium_keeps=(page cut cut-ranges 404 301 redirect-target formula br zstd good good-gzip)
  firefox_keeps=(page cut-ranges 404 redirect-target zlib-as-gzip bomb formula br zstd good good-gzip)

  # Whether Chromium keeps a 404 whose image request it cancelled after reading it is a race, lost
  # now and then by one format: a set-up that lacks an entry is run again, up to three times.
  # A response that never ends keeps Chromium's load event, and with it --dump-dom, waiting:
  # --timeout stops the page 15 seconds after its own deadline (30 s) has given up on it, and the
  # browser still shuts down cleanly, keeping such an entry as truncated.
  load_hostile() {  # NAME BROWSER [FLAGS...]: OUT/NAME, holding every entry that BROWSER keeps
    local name=$1 browser=$2 attempt
    local -a kinds
    shift 2
    if [ "$browser" = chromium ]; then kinds=("${chromium_keeps[@]}"); else kinds=("${firefox_keeps[@]}"); fi
    for attempt in 1 2 3; do
      rm -rf "${out:?}/$name" "${work:?}/$name"
      if [ "$browser" = chromium ]; then
        run_chromium "$name" "$page" "done $images images, " --timeout=45000 "$@"
      else
        run_firefox "$name" "$page"
      fi
      if "$python" "$here/serve.py" --check-hostile "$port" "$out/$name" "${kinds[@]}" 2>"$work/$name.lacks"; then
        return
      fi
      echo "make-caches: $name, run $attempt: $(tr '\n' ' ' <"$work/$name.lacks")" >&2
    done
    fail "$name lacked entries in each of three runs"
  }
  describe() {  # NAME WHAT-THE-PAGE-SAW: what the browser kept, entry by entry
    echo "== $1: $2"
    "$python" "$here/serve.py" --describe "$out/$1" | cut -f2-8,10 | sed "s|http://127.0.0.1:$port||" | column -ts $'\t'
  }

  for set_up in simple blockfile sql; do
    name=hostile-chromium-$set_up
    case $set_up in
      simple) load_hostile "$name" chromium ;;
      blockfile) load_hostile "$name" chromium "$blockfile" ;;
      sql) load_hostile "$name" chromium "$sql" ;;
    esac
    dir=$out/$name
    case $set_up in
      simple) [ -s "$dir/index-dir/the-real-index" ] || fail "$dir: the simple cache wrote no index on shutdown" ;;
      blockfile) [ "$(le32 "$dir/index" 32)" -eq 0 ] || fail "$dir: the index says the browser did not shut down cleanly" ;;
      sql) for f in "$dir"/sqldb*-journal "$dir"/sqldb*-wal; do
          [ ! -s "$f" ] || fail "$dir: $f is not empty, the browser left a change unfinished"
        done ;;
    esac
    describe "$name" "$(grep -o '<title>.*</title>' "$work/$name.html" | sed 's/<[^>]*>//g')"
  done
  logged=$(wc -l <"$work/serve.log")
  load_hostile hostile-firefox-cache2 firefox
  describe hostile-firefox-cache2 "$(tail -n +$((logged + 1)) "$work/serve.log" | sed -n 's/^serve: report: //p' | tail -1)"
  cp "$work/hostile-manifest.tsv" "$out/hostile-manifest.tsv"
else
  page=http://127.0.0.1:$port/index.html
  images=$(($(wc -l <"$work/manifest.tsv") - 2))  # less the header and the page
  title="done $images images, 0 failed</title>"

  # Every served URL, and its body as sent, lies whole in the cache's files (each format keeps the
  # URL in its key, and these bodies in one piece).
  check_entries() { "$python" "$here/serve.py" --check "$port" "$1" || fail "$1 lacks entries"; }

  run_chromium chromium-simple "$page" "$title"
  dir=$out/chromium-simple
  check_entries "$dir"
  [ "$(magic "$dir/index" 0 8)" = 305c72a71b6dfbfc ] || fail "$dir/index is not a simple cache index"
  [ -s "$dir/index-dir/the-real-index" ] || fail "$dir: the simple cache wrote no index on shutdown"
  entries=$(find "$dir" -maxdepth 1 -name '*_0' | wc -l)
  [ "$entries" -eq $((images + 1)) ] || fail "$dir: $entries entries, not $((images + 1))"

  run_chromium chromium-blockfile "$page" "$title" "$blockfile"
  dir=$out/chromium-blockfile
  check_entries "$dir"
  [ "$(magic "$dir/index")" = c3ca03c1 ] || fail "$dir/index is not a blockfile index"
  for f in data_0 data_1 data_2 data_3; do [ -f "$dir/$f" ] || fail "$dir: no $f"; done
  [ "$(le32 "$dir/index" 8)" -eq $((images + 1)) ] || fail "$dir: index counts $(le32 "$dir/index" 8) entries"
  [ "$(le32 "$dir/index" 32)" -eq 0 ] || fail "$dir: the index says the browser did not shut down cleanly"
  ls "$dir"/f_* >/dev/null 2>&1 || fail "$dir: no body was kept in a file of its own"

  # The SQL cache: shard databases sqldb0... whose bodies over a page are split across SQLite's
  # overflow pages, so its check reads them through the databases.
  run_chromium chromium-sql "$page" "$title" "$sql"
  dir=$out/chromium-sql
  [ "$(magic "$dir/sqldb0" 0 16)" = 53514c69746520666f726d6174203300 ] || fail "$dir/sqldb0 is not an SQLite database"
  for f in "$dir"/sqldb*-journal "$dir"/sqldb*-wal; do
    [ ! -s "$f" ] || fail "$dir: $f is not empty, the browser left a change unfinished"
  done
  "$python" "$here/serve.py" --check-sql "$port" "$dir" || fail "$dir lacks entries"

  run_firefox firefox-cache2 "$page"
  dir=$out/firefox-cache2
  entries=$(find "$dir/entries" -type f | wc -l)
  [ "$entries" -eq $((images + 1)) ] || fail "$dir: $entries entries, not $((images + 1))"
  check_entries "$dir"

  cp "$work/manifest.tsv" "$out/manifest.tsv"
  {
    chromium --version
    firefox-esr --version
  } 2>/dev/null | sed 's/ *$//' >"$out/browsers.txt"
fi

# The archive: the photo page's fixtures from one folder, then the hostile page's from another,
# where there are any.
pack_folders() {  # REGULAR HOSTILE
  local files=(-C "$1" "${regular[@]}" -C "$2") f
  for f in "${hostile[@]}"; do if [ -e "$2/$f" ]; then files+=("$f"); fi; done
  tar --sort=name --owner=0 --group=0 --numeric-owner -cf - "${files[@]}" | xz -9e >"$here/fixtures.tar.xz"
  echo "Packed $here/fixtures.tar.xz ($(stat -c %s "$here/fixtures.tar.xz") bytes)"
}
if [ "$pack" != no ]; then
  old=$work/packed
  mkdir -p "$old"
  if [ -f "$here/fixtures.tar.xz" ]; then tar -C "$old" -xJf "$here/fixtures.tar.xz"; fi
fi
if [ "$pack" = yes ]; then
  pack_folders "$out" "$old"
elif [ "$pack" = sql ]; then
  cmp -s "$old/manifest.tsv" "$out/manifest.tsv" || fail "the archive's manifest is not what was served now"
  rm -rf "$old/chromium-sql"
  cp -a "$out/chromium-sql" "$old/chromium-sql"
  pack_folders "$old" "$old"
elif [ "$pack" = hostile ]; then
  cmp -s "$old/manifest.tsv" "$work/manifest.tsv" || fail "the archive's manifest is not what serve.py serves now"
  [ "$(head -1 "$old/browsers.txt")" = "$(chromium --version 2>/dev/null | sed 's/ *$//')" ] \
    || echo "make-caches: note: the archive's caches were made by $(head -1 "$old/browsers.txt")" >&2
  pack_folders "$old" "$out"
fi
echo "Caches in $out"
