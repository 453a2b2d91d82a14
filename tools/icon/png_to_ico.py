#!/usr/bin/env python3
"""Wraps a square PNG into a Windows .ico file holding it as its one image
(Windows reads PNG-compressed icon images since Vista)."""
import struct
import sys


def main(source, target):
    with open(source, "rb") as f:
        png = f.read()
    if png[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"{source}: not a PNG file")
    width, height = struct.unpack(">II", png[16:24])
    if width > 256 or height > 256:
        sys.exit(f"{source}: an icon image is at most 256 pixels wide")
    header = struct.pack("<HHH", 0, 1, 1)  # reserved, type 1 (icon), one image
    entry = struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(png), 6 + 16)
    with open(target, "wb") as f:
        f.write(header + entry + png)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: png_to_ico.py icon.png icon.ico")
    main(sys.argv[1], sys.argv[2])
