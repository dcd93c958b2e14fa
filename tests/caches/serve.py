#!/usr/bin/env python3
"""Serves the page and the photos that make-caches.sh has the browsers cache, on 127.0.0.1.

Every body is made from its path alone, so each run serves the same bytes. Photos are real,
decodable 16x16 JPEGs whose comment segment carries pseudo-random filler up to the row's size.

  serve.py --port N --ready FILE   serve until killed; FILE gets the port once listening
  serve.py --manifest PORT         print the manifest of what is served, as TSV
  serve.py --check PORT DIR        fail unless DIR's files hold every URL and every body as sent
  serve.py --check-sql PORT DIR    the same for an SQL cache folder, through its shard databases
"""
import os
import glob
import sqlite3
import argparse
import gzip
import hashlib
import http.server
import struct
import sys
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


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    table = responses()

    def do_GET(self):
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


def check_cache(port: int, folder: str) -> list:
    """What a cache folder lacks: each URL and each body as sent lies whole in one of its files."""
    contents = []
    for root, _, files in os.walk(folder):
        for name in files:
            with open(os.path.join(root, name), "rb") as f:
                contents.append(f.read())
    lacking = []
    for path, (body, sent, *_) in responses().items():
        url = f"http://127.0.0.1:{port}{path}".encode()
        sent = body if sent is None else sent
        if not any(url in c for c in contents):
            lacking.append(f"no entry for {url.decode()}")
        elif not any(sent in c for c in contents):
            lacking.append(f"no whole body for {url.decode()}")
    return lacking


def check_sql_cache(port: int, folder: str) -> list:
    """What an SQL cache folder lacks: each URL once as a live resource of one shard, whose blob
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
    for path, (body, sent, *_) in responses().items():
        url = f"http://127.0.0.1:{port}{path}"
        sent = body if sent is None else sent
        if url not in found:
            lacking.append(f"no entry for {url}")
        elif found[url] != sent:
            lacking.append(f"not the body as sent for {url}")
    return lacking


def check_names():
    # A photo's reported name is its URL's last segment, decoded, without the query.
    for path, name, *_ in PHOTOS:
        segment = urllib.parse.unquote(urllib.parse.urlsplit(path).path.rsplit("/", 1)[1])
        assert not name or name == segment, (path, name)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--ready")
    parser.add_argument("--manifest", type=int, metavar="PORT")
    parser.add_argument("--check", nargs=2, metavar=("PORT", "DIR"))
    parser.add_argument("--check-sql", nargs=2, metavar=("PORT", "DIR"))
    args = parser.parse_args()
    check_names()
    if args.manifest is not None:
        sys.stdout.write(manifest(args.manifest))
        return
    if args.check or args.check_sql:
        check = check_sql_cache if args.check_sql else check_cache
        port, folder = args.check_sql or args.check
        lacking = check(int(port), folder)
        for line in lacking:
            print(f"{folder}: {line}", file=sys.stderr)
        sys.exit(1 if lacking else 0)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    if args.ready:
        with open(args.ready, "w") as f:
            f.write(f"{server.server_address[1]}\n")
    server.serve_forever()


if __name__ == "__main__":
    main()
