#!/usr/bin/env python3
"""Makes examples/sample-drive: a small drive image with user profiles, browser cache folders,
tiny real JPEG photos named under both Quorvia schemes, and look-alike files that must not be
reported. Needs ImageMagick's `convert`; the generated files are committed, so nobody else does.

    python3 examples/make-sample-drive.py

A scan of the drive's profile folders finds exactly the files listed in RECOGNISED.
"""
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
DRIVE = os.path.join(HERE, "sample-drive")

ALICE_CACHE = "Users/alice/AppData/Local/Microsoft/Windows/Temporary Internet Files/Content.IE5"
BOB_CACHE = "Users/bob/AppData/Local/Microsoft/Windows/INetCache/IE"
CAROL_CACHE = "Documents and Settings/carol/Local Settings/Temporary Internet Files/Content.IE5"

# Photo files that a profile scan reports, with the user ID each name carries.
RECOGNISED = [
    (f"{ALICE_CACHE}/AB12CD34/n1234567_890_123[1].jpg", "1234567"),
    (f"{ALICE_CACHE}/QX9Z0W12/1111_222_3456789_444_555_n[1].jpg", "3456789"),
    (f"{BOB_CACHE}/7HJK2LMN/a100000234567_5_6[2].jpg", "100000234567"),
    (f"{BOB_CACHE}/7HJK2LMN/a12345^6_7[1].jpg", "12345^6"),
    ("Users/bob/Downloads/0001_222_0333_444_555_n[1].jpg", "0333"),
    (f"{CAROL_CACHE}/ZX81AB12/n7654321_1_2[1].jpg", "7654321"),
]

# Files that look like photo files but are not (or lie outside the profile folders). No two
# names differ in letter case alone, so that the drive checks out whole on Windows too.
DECOY_PHOTOS = [
    f"{ALICE_CACHE}/AB12CD34/photo.jpg",             # lower-case first letter, no scheme
    f"{ALICE_CACHE}/AB12CD34/n1234567_890_123.jpg",  # no "[digit]" before ".jpg"
    f"{ALICE_CACHE}/QX9Z0W12/IMG_0001.JPG",          # camera name, upper-case extension
    "Users/alice/Pictures/holiday.jpeg",             # ".jpeg"
    "Users/alice/Pictures/N1234567_890_123[1].jpg",  # capital first letter
    "Users/bob/Downloads/12345_67890_12345_n.jpg",   # digit-first look-alike without "[1]"
    "Users/bob/Downloads/1111_222_333_444_n[1].jpg",  # only four numeric fields
    f"{CAROL_CACHE}/ZX81AB12/n7654321_1_3[1].JPG",   # upper-case extension
    "Documents and Settings/carol/My Documents/My Pictures/sunset.jpg",
    "Windows/Web/Wallpaper/n1111111_1_1[1].jpg",     # outside the profile folders
]

OTHER_FILES = {
    "Users/Public/Desktop/desktop.ini": b"[.ShellClassInfo]\r\n",
    "Users/bob/AppData/Local/Google/Chrome/User Data/Default/Cache/data_0": bytes(64),
    "Users/bob/AppData/Local/Google/Chrome/User Data/Default/Cache/f_000001": b"\x00cache entry\x00",
    f"{ALICE_CACHE}/AB12CD34/index.htm": b"<html></html>\r\n",
    f"{CAROL_CACHE}/ZX81AB12/logo[1].gif": b"GIF89a\x01\x00\x01\x00\x00\x00\x00;",
    "Documents and Settings/carol/NTUSER.DAT": bytes(32),
}

# Every file's last access and last write, in seconds since 1970 UTC (2009-06-01 08:00:00 and
# 2010-03-15 14:05:09). Git keeps no file times, so whoever copies the drive sets these again.
ACCESSED, MODIFIED = 1243843200, 1268661909

PALETTE = ["#c0392b", "#2980b9", "#27ae60", "#8e44ad", "#d35400", "#16a085", "#7f8c8d", "#f1c40f"]


def make_jpeg(path, index):
    """A 96x72 baseline JPEG: a two-colour gradient, no metadata, so every run makes the same bytes."""
    first = PALETTE[index % len(PALETTE)]
    second = PALETTE[(index * 3 + 1) % len(PALETTE)]
    subprocess.run(["convert", "-size", "96x72", f"gradient:{first}-{second}", "-strip",
                    "-interlace", "none", "-quality", "80", "-sampling-factor", "2x2", path], check=True)


def main():
    if shutil.which("convert") is None:
        sys.exit("make-sample-drive: ImageMagick's convert is needed")
    shutil.rmtree(DRIVE, ignore_errors=True)
    for index, relative in enumerate([r for r, _ in RECOGNISED] + DECOY_PHOTOS):
        path = os.path.join(DRIVE, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        make_jpeg(path, index)
    for relative, contents in OTHER_FILES.items():
        path = os.path.join(DRIVE, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(contents)
    for folder, _, files in os.walk(DRIVE):
        for name in files:
            os.utime(os.path.join(folder, name), (ACCESSED, MODIFIED))
    total = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(DRIVE) for f in fs)
    print(f"{DRIVE}: {len(RECOGNISED)} photo files, {len(DECOY_PHOTOS)} look-alikes, {total} bytes")


if __name__ == "__main__":
    main()
