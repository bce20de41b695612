#!/usr/bin/env python3
"""Converts the dialog screenshots the Windows view tests save (32-bit,
top-down, uncompressed BMP) into PNG files beside them, with the standard
library only. Usage: bmp-to-png.py FOLDER... (every *.bmp in each folder)."""
import pathlib
import struct
import sys
import zlib


def bmp_to_png(bmp: bytes) -> bytes:
    offset, = struct.unpack_from("<I", bmp, 10)
    width, height, _, bits, compression = struct.unpack_from("<iiHHI", bmp, 18)
    if bits != 32 or compression != 0:
        raise ValueError("not a 32-bit uncompressed bitmap")
    rows = [bmp[offset + y * width * 4: offset + (y + 1) * width * 4] for y in range(abs(height))]
    if height > 0:  # bottom-up
        rows.reverse()
    raw = b"".join(b"\0" + bytes(v for px in range(width) for v in (r[px * 4 + 2], r[px * 4 + 1], r[px * 4]))
                   for r in rows)

    def chunk(kind: bytes, data: bytes) -> bytes:
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", width, abs(height), 8, 2, 0, 0, 0)  # 8-bit RGB
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b"")


for folder in sys.argv[1:]:
    for path in sorted(pathlib.Path(folder).glob("*.bmp")):
        path.with_suffix(".png").write_bytes(bmp_to_png(path.read_bytes()))
        path.unlink()
