#!/usr/bin/env python3
"""Packs the icon's PNG images, as the Linux build renders them, into the
Windows icon file (one PNG entry a size):
    scripts/make-windows-icon.py build/icons ui/icons/bc245xlt.ico"""
import struct
import sys
from pathlib import Path

SIZES = (16, 32, 48, 64, 256)


def main():
    source, target = Path(sys.argv[1]), Path(sys.argv[2])
    images = []
    for size in SIZES:
        data = (source / f"bc245xlt-{size}.png").read_bytes()
        width, height = struct.unpack(">II", data[16:24])
        if (width, height) != (size, size):
            sys.exit(f"bc245xlt-{size}.png is {width}x{height}")
        images.append((size, data))
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries, blobs = b"", b""
    for size, data in images:
        side = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
        blobs += data
    target.write_bytes(header + entries + blobs)


if __name__ == "__main__":
    main()
