#!/usr/bin/python3
"""Packs PNG pictures into one Windows icon file (.ico), each picture kept as
PNG, which Windows reads at every size since Vista.
Usage: make_icon.py OUT.ico PICTURE.png..."""
import struct
import sys


def png_size(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        raise SystemExit("make_icon.py: not a PNG picture")
    return struct.unpack(">II", data[16:24])


def main():
    out, pictures = sys.argv[1], [open(p, "rb").read() for p in sys.argv[2:]]
    header = struct.pack("<HHH", 0, 1, len(pictures))
    offset = len(header) + 16 * len(pictures)
    entries, bodies = b"", b""
    for data in pictures:
        width, height = png_size(data)
        if width > 256 or height > 256:
            raise SystemExit("make_icon.py: an icon picture is at most 256 pixels square")
        # 256 is written as 0; 32 bits per pixel with alpha.
        entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(data), offset + len(bodies))
        bodies += data
    with open(out, "wb") as f:
        f.write(header + entries + bodies)


main()
