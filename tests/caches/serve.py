#!/usr/bin/env python3
"""Serves the page and the photos that make-caches.sh has the browsers cache, on 127.0.0.1.

Every body is made from its path alone, so each run serves the same bytes. Photos are real,
decodable 16x16 JPEGs whose comment segment carries pseudo-random filler up to the row's size.

  serve.py --port N --ready FILE   serve until killed; FILE gets the port once listening
  serve.py --manifest PORT         print the manifest of what is served, as TSV
  serve.py --check PORT DIR        fail unless DIR's files hold every URL and every body as sent
  serve.py --check-sql PORT DIR    the same for an SQL cache folder, through its shard databases
  serve.py --hostile-manifest PORT print the manifest of the hostile page's responses, as TSV
  serve.py --check-hostile PORT DIR KIND...  the same for the hostile page's responses of those kinds
  serve.py --describe DIR          print what a cache folder of any of the four formats holds
"""
import os
import glob
import re
import sqlite3
import argparse
import gzip
import hashlib
import http.server
import struct
import sys
import typing
import urllib.parse
import zlib

# A 16x16 grey-blue baseline JPEG (ImageMagick: convert -size 16x16 xc:'#6a8caf' -strip -quality 90).
BASE_JPEG = bytes.fromhex(
    "ffd8ffe000104a46494600010100000100010000ffdb0043000302020302020303030304030304050805050404"
    "050a070706080c0a0c0c0b0a0b0b0d0e12100d0e110e0b0b1016101113141515150c0f171816141812141514ff"
    "db00430103040405040509050509140d0b0d14141414141414141414141414141414141414141414141414141414"
    "14141414141414141414141414141414141414141414ffc00011080010001003011100021101031101ffc40015"
    "00010100000000000000000000000000000005ffc40014100100000000000000000000000000000000ffc40015"
    "01010100000000000000000000000000000006ffc40014110100000000000000000000000000000000ffda000c"
    "03010002110311003f00a0bd4500000fffd9")
JFIF_END = 20  # SOI (2) + APP0 JFIF segment (18)

# One row per photo URL: path as sent (with any query), the name the photo is reported under
# (the last path segment, percent-decoded; empty when it must not be recognised), its user ID,
# Content-Type, Content-Encoding, decoded body size. Bodies over 16 KiB leave the blockfile
# cache's block files for a file of their own.
PHOTOS = [
    ("/photos/n1234567_890_123.jpg", "n1234567_890_123.jpg", "1234567", "image/jpeg", "", 3000),
    ("/photos/1111_222_3456789_444_555_n.jpg", "1111_222_3456789_444_555_n.jpg", "3456789",
     "image/jpeg", "", 5000),
    ("/photos/n2345678_901_234.jpg?oh=abc&oe=123", "n2345678_901_234.jpg", "2345678",
     "image/jpeg", "", 2500),
    ("/photos/n7654321%5F11%5F22.jpg", "n7654321_11_22.jpg", "7654321", "image/jpeg", "", 2000),
    ("/photos/2222_333_4567890_555_666_n.jpg", "2222_333_4567890_555_666_n.jpg", "4567890",
     "image/jpeg", "gzip", 6000),
    ("/photos/n3456789_12_345.jpg", "n3456789_12_345.jpg", "3456789", "binary/octet-stream", "",
     3500),
    ("/photos/3333_444_5678901_666_777_n.jpg", "3333_444_5678901_666_777_n.jpg", "5678901",
     "image/jpeg", "", 24000),
    ("/photos/profile.jpg", "", "", "image/jpeg", "", 1500),
    ("/photos/n12x_1.jpg", "", "", "image/jpeg", "", 1500),
    ("/photos/n4567890_23_456.png", "", "", "image/png", "", 0),  # size: whatever the PNG is
]

PAGE_PATH = "/index.html"


def filler(seed: str, size: int) -> bytes:
    out = bytearray()
    counter = 0
    while len(out) < size:
        out += hashlib.sha256(f"{seed}#{counter}".encode()).digest()
        counter += 1
    return bytes(out[:size])


def make_jpeg(path: str, size: int) -> bytes:
    # SOI + JFIF, then a COM segment padded so the whole file is `size` bytes, then the rest.
    comment_size = size - len(BASE_JPEG) - 4
    assert 0 < comment_size <= 65533, path
    comment = struct.pack(">HH", 0xFFFE, comment_size + 2) + filler(path, comment_size)
    return BASE_JPEG[:JFIF_END] + comment + BASE_JPEG[JFIF_END:]


def make_png(path: str) -> bytes:
    def chunk(kind: bytes, data: bytes) -> bytes:
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    width = height = 16
    shade = filler(path, 3)
    raw = b"".join(b"\x00" + shade * width for _ in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def make_page() -> bytes:
    tags = "\n".join(f'<img src="{html_escape(p[0])}" width="16" height="16" alt="">' for p in PHOTOS)
    # The title says when every image has loaded or failed. With "#close=S" in its address the
    # page then closes itself S seconds later, which lets a browser that allows it quit cleanly.
    return f"""<!DOCTYPE html>
<html><head><meta charset="utf-8"><link rel="icon" href="data:,"><title>loading</title></head>
<body>
{tags}
<script>
let left = document.images.length, failed = 0;
function one(ok) {{
  if (!ok) failed++;
  if (--left === 0) {{
    document.title = "done " + document.images.length + " images, " + failed + " failed";
    const close = /#close=(\\d+)/.exec(location.hash);
    if (close) setTimeout(() => window.close(), close[1] * 1000);
  }}
}}
for (const img of document.images) {{
  if (img.complete) one(img.naturalWidth > 0);
  else {{ img.onload = () => one(true); img.onerror = () => one(false); }}
}}
</script>
</body></html>
""".encode()


def html_escape(text: str) -> str:
    return text.replace("&", "&amp;").replace('"', "&quot;").replace("<", "&lt;")


def responses():
    """path as sent -> (decoded body, body as sent, Content-Type, Content-Encoding, row)."""
    table = {PAGE_PATH: (make_page(), None, "text/html; charset=utf-8", "", None)}
    for row in PHOTOS:
        path, _, _, content_type, encoding, size = row
        body = make_png(path) if content_type == "image/png" else make_jpeg(path, size)
        sent = gzip.compress(body, compresslevel=9, mtime=0) if encoding == "gzip" else body
        table[path] = (body, sent, content_type, encoding, row)
    return table


LAST_MODIFIED = "Mon, 02 Mar 2026 10:00:00 GMT"


# The hostile page: every image is a recognised photo name with a user ID of its own, served by
# a server that lies about it or sends what a reader must not take on trust. One row per kind of
# response: path, kind, size of the JPEG behind it (0: none).
HOSTILE_PAGE_PATH = "/hostile.html"
HOSTILE = [
    ("/hostile/n1000001_10_1.jpg", "cut", 3021),           # Content-Length 3021, 1510 bytes, then closed
    ("/hostile/n1000002_20_2.jpg", "404", 0),              # an HTML error page, cacheable
    ("/hostile/n1000003_30_3.jpg", "301", 0),              # to MOVED_PATH, empty body, cacheable
    ("/hostile/n1000004_40_4.jpg", "zlib-as-gzip", 2200),  # a zlib stream (RFC 1950) called gzip
    ("/hostile/n1000005_50_5.jpg", "bomb", 0),             # gzip of 300 MiB of zeros, as image/jpeg
    ("/hostile/n1000006_60_6.jpg", "formula", 2000),       # header values a spreadsheet would run
    ("/hostile/n1000007_70_7.jpg", "br", 2300),
    ("/hostile/n1000008_80_8.jpg", "zstd", 2400),
    ("/hostile/n1000009_90_9.jpg", "good", 2500),          # the two controls
    ("/hostile/n1000010_100_10.jpg", "good-gzip", 2600),
    ("/hostile/n1000011_110_11.jpg", "cut-ranges", 3021),  # the same cut, with Accept-Ranges: bytes
]
MOVED_PATH = "/hostile/moved-here.jpg"  # no photo name; a 404 with no caching headers
REPORT_PATH = "/hostile-report"  # the page posts its outcome here; the answer is not cached
CUT_SENT = 1510  # of the cut photo's 3021 bytes
BOMB_SIZE = 300 << 20
PHOTO_NAME = re.compile(r"n(\d+)_\d+_\d+\.jpg")


class Hostile(typing.NamedTuple):
    kind: str
    status: int
    headers: list  # (name, value) as sent, Server and Date aside
    sent: bytes  # what follows the headers on the wire
    decoded: typing.Optional[bytes]  # the body with its content encoding undone; None if invalid, or the bomb


def caching_headers(content_type: str, sent: bytes, encoding: str = "", length: int = -1) -> list:
    headers = [("Content-Type", content_type)]
    if encoding:
        headers.append(("Content-Encoding", encoding))
    return headers + [("Content-Length", str(len(sent) if length < 0 else length)),
                      ("Cache-Control", "max-age=86400"), ("Last-Modified", LAST_MODIFIED),
                      ("ETag", '"' + hashlib.md5(sent).hexdigest()[:16] + '"')]


def gzip_bomb() -> bytes:
    packer = zlib.compressobj(9, zlib.DEFLATED, 31)  # wbits 31: a gzip wrapper, mtime 0
    zeros = bytes(1 << 20)
    return b"".join(packer.compress(zeros) for _ in range(BOMB_SIZE >> 20)) + packer.flush()


def decode(encoding: str, sent: bytes) -> typing.Optional[bytes]:
    try:
        if encoding == "gzip":
            return gzip.decompress(sent)
        if encoding == "br":
            import brotli  # Debian: python3-brotli
            return brotli.decompress(sent)
        if encoding == "zstd":
            import zstandard  # Debian: python3-zstandard
            return zstandard.ZstdDecompressor().decompress(sent)
    except Exception:
        return None
    return sent


def error_page(path: str, status: str) -> bytes:
    return (f"<!DOCTYPE html>\n<html><head><title>{status}</title></head>\n"
            f"<body><h1>{status}</h1><p>{html_escape(path)} is not here.</p></body></html>\n").encode()


def make_hostile_page() -> bytes:
    tags = "\n".join(f'<img src="{html_escape(path)}" data-kind="{kind}" width="16" height="16" alt="">'
                     for path, kind, _ in HOSTILE)
    # Each image counts once, when it loads or fails, or when it is still loading at the deadline
    # (a response that never ends must not keep the page open: window.stop() ends its load in
    # Firefox; Chromium's --dump-dom needs its own --timeout): then the title says which failed,
    # in page order, the page posts that to the server, and "#close=S" closes it S seconds later.
    return f"""<!DOCTYPE html>
<html><head><meta charset="utf-8"><link rel="icon" href="data:,"><title>loading</title></head>
<body>
{tags}
<script>
const images = Array.from(document.images), deadline = 30;
let left = images.length, finished = false;
function kinds(result) {{
  return images.filter(img => img.dataset.result === result).map(img => img.dataset.kind).join(" ");
}}
function finish() {{
  if (finished) return;
  finished = true;
  const failed = kinds("failed"), unfinished = kinds("unfinished");
  document.title = "done " + images.length + " images, " + (failed ? failed.split(" ").length : 0) +
    " failed" + (failed ? ": " + failed : "") + (unfinished ? "; unfinished: " + unfinished : "");
  navigator.sendBeacon("{REPORT_PATH}", document.title);
  const close = /#close=(\\d+)/.exec(location.hash);
  if (close) setTimeout(() => window.close(), close[1] * 1000);
}}
function one(img, result) {{
  if (img.dataset.result) return;
  img.dataset.result = result;
  if (--left === 0) finish();
}}
for (const img of images) {{
  if (img.complete) one(img, img.naturalWidth > 0 ? "loaded" : "failed");
  else {{ img.onload = () => one(img, "loaded"); img.onerror = () => one(img, "failed"); }}
}}
setTimeout(() => {{
  if (finished) return;
  for (const img of images) if (!img.dataset.result) one(img, "unfinished");
  window.stop();
}}, deadline * 1000);
</script>
</body></html>
""".encode()


def hostile_responses() -> dict:
    """path -> Hostile: the hostile page, its photos and the 301's target."""
    page = make_hostile_page()
    table = {HOSTILE_PAGE_PATH: Hostile("page", 200, caching_headers("text/html; charset=utf-8", page), page, page)}
    for path, kind, size in HOSTILE:
        body = make_jpeg(path, size) if size else b""
        status, encoding, content_type, length, extra = 200, "", "image/jpeg", -1, []
        if kind in ("cut", "cut-ranges"):
            sent, length = body[:CUT_SENT], len(body)
            if kind == "cut-ranges":
                extra = [("Accept-Ranges", "bytes")]
        elif kind == "404":
            status, sent = 404, error_page(path, "404 Not Found")
        elif kind == "301":
            status, sent = 301, b""
        elif kind == "zlib-as-gzip":
            encoding, sent = "gzip", zlib.compress(body, 9)
        elif kind == "bomb":
            encoding, sent = "gzip", gzip_bomb()
        elif kind == "formula":
            content_type, sent = '=HYPERLINK("http://example.invalid","x")', body
            extra = [("Server", "@SUM(1+1)"), ("ETag", '"-2+3"')]
        elif kind == "br":
            import brotli
            encoding, sent = "br", brotli.compress(body, quality=11)
        elif kind == "zstd":
            import zstandard
            encoding, sent = "zstd", zstandard.ZstdCompressor(level=19).compress(body)
        elif kind == "good":
            sent = body
        elif kind == "good-gzip":
            encoding, sent = "gzip", gzip.compress(body, compresslevel=9, mtime=0)
        else:
            raise ValueError(kind)
        if status == 200:
            # A cut one's ETag and Content-Length are those of the whole photo.
            headers = caching_headers(content_type, body if length >= 0 else sent, encoding, length)
        elif status == 301:
            headers = [("Location", MOVED_PATH), ("Content-Length", "0"), ("Cache-Control", "max-age=86400")]
        else:
            headers = [("Content-Type", "text/html"), ("Content-Length", str(len(sent))),
                       ("Cache-Control", "max-age=86400")]
        replaced = {name for name, _ in extra}
        headers = [h for h in headers if h[0] not in replaced] + extra
        decoded = None if kind == "bomb" else decode(encoding, sent)
        table[path] = Hostile(kind, status, headers, sent, decoded)
    moved = error_page(MOVED_PATH, "404 Not Found")
    table[MOVED_PATH] = Hostile("redirect-target", 404, [("Content-Type", "text/html"),
                                                         ("Content-Length", str(len(moved)))], moved, moved)
    return table


def hostile_manifest(port: int) -> str:
    lines = ["url\tkind\tphoto_name\tuser_id\tstatus\tcontent_length_header\tbytes_sent\tmd5_sent\tmd5_decoded"]
    for path, r in hostile_responses().items():
        name = path.rsplit("/", 1)[1]
        match = PHOTO_NAME.fullmatch(name)
        length = dict(r.headers)["Content-Length"]
        lines.append("\t".join([f"http://127.0.0.1:{port}{path}", r.kind, name if match else "",
                                match.group(1) if match else "", str(r.status), length, str(len(r.sent)),
                                hashlib.md5(r.sent).hexdigest(),
                                "" if r.decoded is None else hashlib.md5(r.decoded).hexdigest()]))
    return "\n".join(lines) + "\n"


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    table = responses()
    hostile = {}  # filled before serving: the bomb takes a second or two to make

    def do_GET(self):
        if self.path in self.hostile:
            self.send_hostile(self.hostile[self.path])
            return
        entry = self.table.get(self.path)
        if entry is None:
            self.send_error(404)
            return
        body, sent, content_type, encoding, _ = entry
        sent = body if sent is None else sent
        self.send_response(200)
        self.send_header("Content-Type", content_type)
        if encoding:
            self.send_header("Content-Encoding", encoding)
        self.send_header("Content-Length", str(len(sent)))
        self.send_header("Cache-Control", "max-age=86400")
        self.send_header("Last-Modified", LAST_MODIFIED)
        self.send_header("ETag", '"' + hashlib.md5(sent).hexdigest()[:16] + '"')
        self.end_headers()
        self.wfile.write(sent)

    def send_hostile(self, response: Hostile):
        self.log_request(response.status)
        self.send_response_only(response.status)
        headers = dict(response.headers)
        self.send_header("Server", headers.get("Server", self.version_string()))
        self.send_header("Date", self.date_time_string())
        for name, value in response.headers:
            if name != "Server":
                self.send_header(name, value)
        self.end_headers()
        self.wfile.write(response.sent)
        if response.kind.startswith("cut"):
            self.close_connection = True  # short of its Content-Length: the client sees the end

    def do_POST(self):
        if self.path != REPORT_PATH:
            self.send_error(404)
            return
        text = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        sys.stderr.write("serve: report: " + text.decode(errors="replace") + "\n")
        self.send_response(204)
        self.send_header("Cache-Control", "no-store")
        self.end_headers()

    def log_message(self, format, *args):
        sys.stderr.write("serve: " + (format % args) + "\n")


def manifest(port: int) -> str:
    lines = ["url\tphoto_name\tuser_id\tmd5\tcontent_encoding\tcontent_type\tsize\tsent_size"]
    for path, (body, sent, content_type, encoding, row) in responses().items():
        sent = body if sent is None else sent
        name, user_id = (row[1], row[2]) if row else ("", "")
        lines.append("\t".join([f"http://127.0.0.1:{port}{path}", name, user_id,
                                hashlib.md5(body).hexdigest(), encoding, content_type,
                                str(len(body)), str(len(sent))]))
    return "\n".join(lines) + "\n"


def served_bodies() -> dict:
    """path -> body as sent, for the photo page."""
    return {path: body if sent is None else sent for path, (body, sent, *_) in responses().items()}


def hostile_bodies(kinds: list) -> dict:
    """path -> body as sent, for the hostile page's responses of these kinds."""
    table = hostile_responses()
    unknown = set(kinds) - {r.kind for r in table.values()}
    if unknown:
        raise SystemExit(f"serve.py: no such kind of response: {' '.join(sorted(unknown))}")
    return {path: r.sent for path, r in table.items() if r.kind in kinds}


def check_cache(port: int, folder: str, wanted: dict) -> list:
    """What a cache folder lacks: each wanted URL and its body as sent lie whole in its files."""
    contents = []
    for root, _, files in os.walk(folder):
        for name in files:
            with open(os.path.join(root, name), "rb") as f:
                contents.append(f.read())
    lacking = []
    for path, sent in wanted.items():
        url = f"http://127.0.0.1:{port}{path}".encode()
        if not any(url in c for c in contents):
            lacking.append(f"no entry for {url.decode()}")
        elif not any(sent in c for c in contents):
            lacking.append(f"no whole body for {url.decode()}")
    return lacking


def check_sql_cache(port: int, folder: str, wanted: dict) -> list:
    """What an SQL cache folder lacks: each wanted URL once as a live resource of one shard, whose blob
    pieces run from 0 to body_end and hold the body as sent, with the checksums of its head and
    pieces (CRC-32 of the bytes, then the key's hash as 4 big-endian bytes) as stored."""
    found, lacking = {}, []
    shards = sorted(glob.glob(os.path.join(folder, "sqldb[0-9]*")))
    shards = [s for s in shards if not s.endswith(("-journal", "-wal", "-shm"))]
    if not shards:
        return ["no sqldb<N> file"]
    for shard in shards:
        # immutable: SQLite takes no lock and looks for no journal, so the folder stays as it is.
        db = sqlite3.connect(f"file:{shard}?immutable=1", uri=True)
        for res_id, key, head, check_sum, key_hash, body_end, doomed in db.execute(
                "SELECT res_id, cache_key, head, check_sum, cache_key_hash, body_end, doomed FROM resources"):
            def checksum(data):
                return zlib.crc32(data + struct.pack(">I", key_hash & 0xFFFFFFFF))
            if checksum(head) != check_sum & 0xFFFFFFFF:
                lacking.append(f"{shard}: {key}: the head's checksum does not match")
            body, end = b"", 0
            for start, piece_end, piece, piece_sum in db.execute(
                    "SELECT start, end, blob, check_sum FROM blobs WHERE res_id=? ORDER BY start", (res_id,)):
                if start != end or piece_end != start + len(piece) or checksum(piece) != piece_sum & 0xFFFFFFFF:
                    lacking.append(f"{shard}: {key}: a body piece out of place at {start}")
                body, end = body + piece, piece_end
            if end != body_end or doomed:
                lacking.append(f"{shard}: {key}: body_end {body_end}, pieces to {end}, doomed {doomed}")
            found[key.rsplit(" ", 1)[-1]] = body
        db.close()
    for path, sent in wanted.items():
        url = f"http://127.0.0.1:{port}{path}"
        if url not in found:
            lacking.append(f"no entry for {url}")
        elif found[url] != sent:
            lacking.append(f"not the body as sent for {url}")
    return lacking


# What a cache folder holds, entry by entry, read from its files: for the fixtures' README and for
# a look at what a browser kept of the hostile page.
TRUNCATED = 1 << 12  # in the first flags word of Chromium's pickled response info


def chromium_head(head: bytes) -> tuple:
    """Chromium's pickled response info (stream 0, or an SQL row's head) -> (flags, header lines)."""
    flags = struct.unpack_from("<I", head, 4)[0]
    at = head.find(b"HTTP/")
    size = struct.unpack_from("<I", head, at - 4)[0]
    return flags, head[at:at + size].decode("latin-1").split("\0")


def simple_entries(folder: str):
    for name in sorted(os.listdir(folder)):
        if not re.fullmatch(r"[0-9a-f]{16}_0", name):
            continue
        data = open(os.path.join(folder, name), "rb").read()
        key_size = struct.unpack_from("<I", data, 12)[0]
        key = data[24:24 + key_size].decode("latin-1")
        _, eof_flags, _, head_size = struct.unpack_from("<QIII", data, len(data) - 24)
        head_end = len(data) - 24 - (32 if eof_flags & 2 else 0)
        head = data[head_end - head_size:head_end]
        yield name, key, head, data[24 + key_size:head_end - head_size - 24], ""


BLOCK_SIZES = {1: 36, 2: 256, 3: 1024, 4: 4096}


def blockfile_read(folder: str, address: int, size: int) -> bytes:
    if not address & 0x80000000:
        return b""
    kind = (address >> 28) & 7
    if kind == 0:
        with open(os.path.join(folder, "f_%06x" % (address & 0x0FFFFFFF)), "rb") as f:
            return f.read(size)
    with open(os.path.join(folder, "data_%d" % ((address >> 16) & 0xFF)), "rb") as f:
        f.seek(8192 + (address & 0xFFFF) * BLOCK_SIZES[kind])
        return f.read(size)


def blockfile_entries(folder: str):
    index = open(os.path.join(folder, "index"), "rb").read()
    table_size = struct.unpack_from("<i", index, 28)[0]
    for slot in range(table_size):
        address = struct.unpack_from("<I", index, 368 + 4 * slot)[0]
        while address & 0x80000000:
            entry = blockfile_read(folder, address, 256 * (((address >> 24) & 3) + 1))
            _, following, _, reuse, _, state = struct.unpack_from("<IIIiii", entry, 0)
            key_size, long_key = struct.unpack_from("<iI", entry, 32)
            sizes = struct.unpack_from("<4i", entry, 40)
            addresses = struct.unpack_from("<4I", entry, 56)
            key = (blockfile_read(folder, long_key, key_size) if long_key else entry[96:96 + key_size])
            yield ("%08x" % address, key.decode("latin-1"), blockfile_read(folder, addresses[0], sizes[0]),
                   blockfile_read(folder, addresses[1], sizes[1]), f"state {state}, reuse {reuse}")
            address = following


def sql_entries(folder: str):
    for shard in sorted(glob.glob(os.path.join(folder, "sqldb[0-9]*"))):
        if shard.endswith(("-journal", "-wal", "-shm")):
            continue
        db = sqlite3.connect(f"file:{shard}?immutable=1", uri=True)
        for res_id, key, head, body_end, doomed in db.execute(
                "SELECT res_id, cache_key, head, body_end, doomed FROM resources ORDER BY res_id"):
            body = b"".join(piece for piece, in db.execute(
                "SELECT blob FROM blobs WHERE res_id=? ORDER BY start", (res_id,)))
            yield (f"{os.path.basename(shard)}:{res_id}", key, head, body, f"body_end {body_end}, doomed {doomed}")
        db.close()


def firefox_entries(folder: str):
    entries = os.path.join(folder, "entries")
    for name in sorted(os.listdir(entries)):
        data = open(os.path.join(entries, name), "rb").read()
        offset = struct.unpack_from(">I", data, len(data) - 4)[0] & 0x7FFFFFFF
        at = offset + 4 + 2 * ((offset + (1 << 18) - 1) >> 18)
        version, fetches, _, _, _, expires, key_size, flags = struct.unpack_from(">8I", data, at)
        at += 32
        key = data[at:at + key_size].decode("latin-1")
        pairs = data[at + key_size + 1:len(data) - 8].split(b"\0")
        elements = {pairs[i].decode("latin-1"): pairs[i + 1].decode("latin-1") for i in range(0, len(pairs) - 1, 2)}
        head = elements.get("response-head", "").split("\r\n")
        yield name, key, head, data[:offset], f"fetches {fetches}, flags {flags}"


def describe(folder: str) -> str:
    """One TSV row per entry: where it is, the URL, the stored status line, the body's stored size,
    the Content-Length and Content-Encoding stored, Chromium's truncated bit (and its whole flags
    word), the MD5 of the stored body, and what else the format says of the entry."""
    lines = ["entry\turl\tstatus_line\tstored_body\tcontent_length\tcontent_encoding\ttruncated\tflags"
             "\tmd5_stored\tnotes"]
    if os.path.isdir(os.path.join(folder, "entries")):
        rows = ((name, key, None, head, body, notes) for name, key, head, body, notes in firefox_entries(folder))
    else:
        if os.path.exists(os.path.join(folder, "sqldb0")):
            entries = sql_entries(folder)
        elif open(os.path.join(folder, "index"), "rb").read(4) == bytes.fromhex("c3ca03c1"):
            entries = blockfile_entries(folder)
        else:
            entries = simple_entries(folder)
        rows = ((name, key) + chromium_head(head) + (body, notes) for name, key, head, body, notes in entries)
    for name, key, flags, head, body, notes in rows:
        fields = {}
        for line in head[1:]:
            if ":" in line:
                field, value = line.split(":", 1)
                fields.setdefault(field.strip().lower(), value.strip())
        lines.append("\t".join([name, key.rsplit(" ", 1)[-1].split(",:", 1)[-1], head[0], str(len(body)),
                                fields.get("content-length", ""), fields.get("content-encoding", ""),
                                "" if flags is None else ("yes" if flags & TRUNCATED else "no"),
                                "" if flags is None else "0x%08x" % flags, hashlib.md5(body).hexdigest(), notes]))
    return "\n".join(lines) + "\n"


def check_names():
    # A photo's reported name is its URL's last segment, decoded, without the query.
    for path, name, *_ in PHOTOS:
        segment = urllib.parse.unquote(urllib.parse.urlsplit(path).path.rsplit("/", 1)[1])
        assert not name or name == segment, (path, name)
    # Each hostile row is a recognised photo name with a user ID of its own.
    matches = [PHOTO_NAME.fullmatch(path.rsplit("/", 1)[1]) for path, *_ in HOSTILE]
    assert all(matches), HOSTILE
    assert len({m.group(1) for m in matches}) == len(HOSTILE), HOSTILE


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--ready")
    parser.add_argument("--manifest", type=int, metavar="PORT")
    parser.add_argument("--hostile-manifest", type=int, metavar="PORT")
    parser.add_argument("--check", nargs=2, metavar=("PORT", "DIR"))
    parser.add_argument("--check-sql", nargs=2, metavar=("PORT", "DIR"))
    parser.add_argument("--check-hostile", nargs="+", metavar="PORT DIR KIND")
    parser.add_argument("--describe", metavar="DIR")
    args = parser.parse_args()
    check_names()
    if args.manifest is not None:
        sys.stdout.write(manifest(args.manifest))
        return
    if args.hostile_manifest is not None:
        sys.stdout.write(hostile_manifest(args.hostile_manifest))
        return
    if args.describe:
        sys.stdout.write(describe(args.describe))
        return
    if args.check or args.check_sql or args.check_hostile:
        port, folder, *kinds = args.check or args.check_sql or args.check_hostile
        if args.check_hostile and not kinds:
            parser.error("--check-hostile needs PORT, DIR and at least one kind")
        wanted = hostile_bodies(kinds) if args.check_hostile else served_bodies()
        sql = os.path.exists(os.path.join(folder, "sqldb0"))
        lacking = (check_sql_cache if args.check_sql or (args.check_hostile and sql) else check_cache)(
            int(port), folder, wanted)
        for line in lacking:
            print(f"{folder}: {line}", file=sys.stderr)
        sys.exit(1 if lacking else 0)
    Handler.hostile = hostile_responses()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    if args.ready:
        with open(args.ready, "w") as f:
            f.write(f"{server.server_address[1]}\n")
    server.serve_forever()


if __name__ == "__main__":
    main()
