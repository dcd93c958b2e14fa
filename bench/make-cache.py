#!/usr/bin/env python3
"""Makes a Chromium simple cache for bench/cache.sh, laid out as the browser writes it.

    make-cache.py FIXTURES OUT_CACHE MANIFEST [--entries N] [--seed S]
    make-cache.py --self-check FIXTURES

FIXTURES is the chromium-simple/ folder of tests/caches/fixtures.tar.xz: its `index` file is
copied, and one of its entries gives the stored HTTP response (stream 0) every entry carries,
with its Content-Type, Content-Length, Date and ETag lines set for the entry. OUT_CACHE (the
Cache_Data folder) gets one "<16 hex>_0" file per entry, `index` and index-dir/the-real-index
listing every entry; MANIFEST (a file best kept outside the folders a scan searches) one row per
photo entry: url, the name it should be reported under, user ID, MD5 of the body.

--self-check rebuilds every fixture entry and the fixture index from what they hold (key, body,
stream 0; the index's records and times) and fails unless the bytes come out the same as the
browser's, so the layout written here is the browser's.
"""
import argparse
import email.utils
import hashlib
import os
import random
import struct
import sys
import zlib

INITIAL_MAGIC = 0xFCFB6D1BA7725C30
FINAL_MAGIC = 0xF4FA6F45970D41D8
INDEX_MAGIC = 0x656E74657220796F
ENTRY_VERSION = 5
INDEX_VERSION = 9
EOF_HAS_CRC32, EOF_HAS_KEY_SHA256 = 1, 2
SITE = "http://127.0.0.1"
ORIGIN = "http://127.0.0.1:47811"
TEMPLATE_URL = ORIGIN + "/photos/n1234567_890_123.jpg"  # the fixture entry stream 0 comes from
US_PER_S = 1_000_000


def super_fast_hash(data):
    """The 32-bit hash Chromium keeps of the key in an entry's header (Paul Hsieh's)."""
    m = 0xFFFFFFFF
    h = len(data)
    if not data:
        return 0

    def signed(b):
        return b - 256 if b > 127 else b

    i = 0
    for _ in range(len(data) >> 2):
        h = (h + (data[i] | data[i + 1] << 8)) & m
        h = ((h << 16) & m) ^ (((data[i + 2] | data[i + 3] << 8) << 11 ^ h) & m)
        h = (h + (h >> 11)) & m
        i += 4
    rest = len(data) & 3
    if rest == 3:
        h = (h + (data[i] | data[i + 1] << 8)) & m
        h ^= (h << 16) & m
        h ^= (signed(data[i + 2]) << 18) & m
        h = (h + (h >> 11)) & m
    elif rest == 2:
        h = (h + (data[i] | data[i + 1] << 8)) & m
        h ^= (h << 11) & m
        h = (h + (h >> 17)) & m
    elif rest == 1:
        h = (h + signed(data[i])) & m
        h ^= (h << 10) & m
        h = (h + (h >> 1)) & m
    h ^= (h << 3) & m
    h = (h + (h >> 5)) & m
    h ^= (h << 4) & m
    h = (h + (h >> 17)) & m
    h ^= (h << 25) & m
    h = (h + (h >> 6)) & m
    return h


def entry_hash(key):
    """The first 8 bytes of the key's SHA-1, little-endian: the entry's number and file name."""
    return struct.unpack("<Q", hashlib.sha1(key).digest()[:8])[0]


def eof_record(flags, crc, size):
    return struct.pack("<QIIII", FINAL_MAGIC, flags, crc, size, 0)


def entry_bytes(key, body, stream0):
    """An entry's "_0" file: header, key, body and its end record (size 0, as Chromium writes
    it), stream 0, the key's SHA-256 and the last end record with stream 0's size."""
    return b"".join((
        struct.pack("<QIIII", INITIAL_MAGIC, ENTRY_VERSION, len(key), super_fast_hash(key), 0),
        key,
        body,
        eof_record(EOF_HAS_CRC32, zlib.crc32(body), 0),
        stream0,
        hashlib.sha256(key).digest(),
        eof_record(EOF_HAS_CRC32 | EOF_HAS_KEY_SHA256, zlib.crc32(stream0), len(stream0)),
    ))


def index_bytes(records, written):
    """index-dir/the-real-index: a pickle (payload size, CRC-32 of the payload) of the magic,
    version, entry count, cache size, a reason, then per entry its hash, last-used time and
    size in 256-byte units (shifted left by 8), then the time of writing."""
    payload = struct.pack("<QIQQI", INDEX_MAGIC, INDEX_VERSION, len(records),
                          sum((packed >> 8) * 256 for _, _, packed in records), 0)
    payload += b"".join(struct.pack("<QQQ", *record) for record in records)
    payload += struct.pack("<Q", written)
    return struct.pack("<II", len(payload), zlib.crc32(payload)) + payload


def index_size(file_size, key_length):
    """The entry size the index keeps, packed: near enough the browser's figure (the file, and
    the header, key and end record of the second file it does not write) in 256-byte units."""
    return ((file_size + 24 + key_length + 24 + 255) // 256) << 8


def split_entry(data):
    """(key, body, stream 0) of a browser-written "_0" file."""
    key_length = struct.unpack_from("<I", data, 12)[0]
    key = data[24:24 + key_length]
    flags, size0 = struct.unpack_from("<I4xI", data, len(data) - 16)
    stream0_end = len(data) - 24 - (32 if flags & EOF_HAS_KEY_SHA256 else 0)
    stream0 = data[stream0_end - size0:stream0_end]
    return key, data[24 + key_length:stream0_end - size0 - 24], stream0


class ResponseTemplate:
    """The pickled response info of a fixture entry, re-made with other header lines and times."""

    def __init__(self, stream0):
        self.flags, self.extra = struct.unpack_from("<II", stream0, 4)
        if not self.flags & 0x80000000 or not self.extra & 4:
            sys.exit("the template's stored response lacks its extra flags or original time")
        request, self.response = struct.unpack_from("<QQ", stream0, 12)
        self.request_gap = self.response - request
        # payload size, flags, extra flags, request, response and original times, the headers
        length = struct.unpack_from("<I", stream0, 36)[0]
        self.lines = stream0[40:40 + length].split(b"\0")
        self.rest = stream0[40 + ((length + 3) & ~3):]

    def make(self, time_us, headers):
        lines = []
        for line in self.lines:
            name = line.split(b":", 1)[0]
            lines.append(name + b": " + headers[name.lower()] if name.lower() in headers else line)
        text = b"\0".join(lines)
        payload = struct.pack("<IIQQQI", self.flags, self.extra, time_us - self.request_gap, time_us, time_us,
                              len(text))
        payload += text + b"\0" * (-len(text) % 4) + self.rest
        return struct.pack("<I", len(payload)) + payload


def http_date(time_us):
    return email.utils.formatdate(time_us / US_PER_S - 11644473600, usegmt=True).encode()


def key_of(url):
    return f"1/0/_dk_{SITE} {SITE} {url}".encode()


def read_fixtures(folder):
    entries = {}
    for name in sorted(os.listdir(folder)):
        if name.endswith("_0"):
            with open(os.path.join(folder, name), "rb") as f:
                entries[name] = f.read()
    return entries


def self_check(folder):
    problems = []
    entries = read_fixtures(folder)
    for name, data in entries.items():
        key, body, stream0 = split_entry(data)
        if f"{entry_hash(key):016x}_0" != name:
            problems.append(f"{name}: the key's SHA-1 gives another file name")
        if entry_bytes(key, body, stream0) != data:
            problems.append(f"{name}: re-made with other bytes")
        template = ResponseTemplate(stream0)
        if template.make(template.response, {}) != stream0:
            problems.append(f"{name}: its stored response re-made with other bytes")
    with open(os.path.join(folder, "index-dir", "the-real-index"), "rb") as f:
        index = f.read()
    count = struct.unpack_from("<Q", index, 20)[0]
    records = [struct.unpack_from("<QQQ", index, 40 + 24 * i) for i in range(count)]
    written = struct.unpack_from("<Q", index, 40 + 24 * count)[0]
    if index_bytes(records, written) != index:
        problems.append("the-real-index: re-made with other bytes")
    if not any(split_entry(d)[0] == key_of(TEMPLATE_URL) for d in entries.values()):
        problems.append(f"no entry for {TEMPLATE_URL}")
    for problem in problems:
        print("self-check:", problem, file=sys.stderr)
    if problems or not entries:
        sys.exit(1)
    print(f"self-check: {len(entries)} entries and the index re-made as the browser wrote them")


# URLs ---------------------------------------------------------------------------------------

WORDS = ["app", "main", "vendor", "chunk", "bundle", "common", "feed", "story", "comments",
         "widget", "player", "ads", "tracking", "polyfill", "runtime", "theme", "layout"]
KINDS = [  # (weight, content type, how a path is made)
    (30, b"application/javascript", lambda r, i: f"/static/js/{r.choice(WORDS)}.{r.getrandbits(32):08x}.js"),
    (10, b"text/css", lambda r, i: f"/static/css/{r.choice(WORDS)}.{r.getrandbits(32):08x}.css"),
    (12, b"text/html; charset=utf-8", lambda r, i: f"/{r.choice(WORDS)}/{i}.html"),
    (8, b"application/json", lambda r, i: f"/api/{r.choice(WORDS)}?cursor={r.getrandbits(40)}"),
    (14, b"image/png", lambda r, i: f"/images/{r.choice(WORDS)}_{i}.png"),
    (8, b"image/gif", lambda r, i: f"/pixel/t{i}.gif?r={r.getrandbits(20)}"),
    # JPEG files under names no photo scheme accepts
    (10, b"image/jpeg", lambda r, i: f"/images/thumb_{r.choice(WORDS)}_{i}.jpg"),
    (2, b"image/jpeg", lambda r, i: f"/photos/profile{i}.jpg"),
    (2, b"image/jpeg", lambda r, i: f"/photos/n{i}x_{r.randrange(99)}.jpg"),
    (2, b"image/jpeg", lambda r, i: f"/photos/{r.randrange(1000, 9999)}_{i}.jpg"),
    (2, b"image/webp", lambda r, i: f"/photos/n{1000000 + i}_{r.randrange(999)}_{r.randrange(999)}.webp"),
]


def photo(r):
    """(path, reported name, user ID): either scheme, some with a query string, a few with the
    underscores percent-encoded, as the browser keeps a URL as it was requested."""
    uid = str(r.randrange(10000, 999999999))
    if r.random() < 0.5:
        name = f"n{uid}_{r.randrange(1, 9999)}_{r.randrange(1, 9999)}.jpg"
    else:
        name = f"{r.randrange(1000, 9999)}_{r.randrange(100, 999)}_{uid}_{r.randrange(100, 999)}_{r.randrange(100, 999)}_n.jpg"
    shown = name.replace("_", "%5F") if r.random() < 0.05 else name
    query = f"?oh={r.getrandbits(64):016x}&oe={r.getrandbits(32):08X}" if r.random() < 0.25 else ""
    return f"/photos/{shown}{query}", name, uid


def body_size(r):
    """500 B to 200 KB, median about 10 KB, a long tail as in a browser's cache."""
    return max(500, min(200_000, int(r.lognormvariate(9.2, 1.0))))


def make(fixtures, out, manifest, count, seed):
    entries = read_fixtures(fixtures)
    template = None
    for data in entries.values():
        key, _, stream0 = split_entry(data)
        if key == key_of(TEMPLATE_URL):
            template = ResponseTemplate(stream0)
    if template is None:
        sys.exit(f"no fixture entry for {TEMPLATE_URL} in {fixtures}")
    r = random.Random(seed)
    pool = os.urandom(4 << 20)
    written = struct.unpack_from("<Q", open(os.path.join(fixtures, "index-dir", "the-real-index"), "rb").read(), -8)[0]
    os.makedirs(os.path.join(out, "index-dir"), exist_ok=True)
    weights = [k[0] for k in KINDS]
    records, photos, seen = [], [], set()
    total = 0
    while len(records) < count:
        i = len(records)
        if r.random() < 0.02:
            path, name, uid = photo(r)
            kind = b"image/jpeg"
        else:
            _, kind, make_path = r.choices(KINDS, weights)[0]
            path, name = make_path(r, i), None
        url = ORIGIN + path
        key = key_of(url)
        number = entry_hash(key)
        if number in seen:
            continue
        seen.add(number)
        size = body_size(r)
        start = r.randrange(len(pool) - size)
        body = pool[start:start + size]
        if name:
            body = b"\xff\xd8\xff" + body[3:]
        used = written - r.randrange(30 * 86400) * US_PER_S
        stream0 = template.make(used, {
            b"content-type": kind,
            b"content-length": str(size).encode(),
            b"date": http_date(used),
            b"etag": f'"{number:016x}"'.encode(),
        })
        data = entry_bytes(key, body, stream0)
        with open(os.path.join(out, f"{number:016x}_0"), "wb") as f:
            f.write(data)
        records.append((number, used, index_size(len(data), len(key))))
        total += len(data)
        if name:
            photos.append((url, name, uid, hashlib.md5(body).hexdigest()))
    with open(os.path.join(fixtures, "index"), "rb") as f:
        fake_index = f.read()
    with open(os.path.join(out, "index"), "wb") as f:
        f.write(fake_index)
    with open(os.path.join(out, "index-dir", "the-real-index"), "wb") as f:
        f.write(index_bytes(records, written))
    with open(manifest, "w") as f:
        f.write("url\tphoto_name\tuser_id\tmd5\n")
        f.writelines("\t".join(row) + "\n" for row in photos)
    print(f"{out}: {count} entries, {len(photos)} photos, {total / 1e6:.0f} MB")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--self-check", action="store_true")
    parser.add_argument("--entries", type=int, default=20000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("fixtures")
    parser.add_argument("out", nargs="?")
    parser.add_argument("manifest", nargs="?")
    args = parser.parse_args()
    if args.self_check:
        self_check(args.fixtures)
    elif args.manifest:
        make(args.fixtures, args.out, args.manifest, args.entries, args.seed)
    else:
        parser.error("OUT_CACHE and MANIFEST are needed")


if __name__ == "__main__":
    main()
