#!/usr/bin/env python3
"""Recompresses a PNG's image data at zlib's best level: icongen stores its pixels
uncompressed, which is fine in an executable but not in a page's first visit.
   png_squeeze.py IN.png OUT.png"""
import struct
import sys
import zlib


def chunks(data):
    at = 8
    while at < len(data):
        (length,) = struct.unpack(">I", data[at:at + 4])
        yield data[at + 4:at + 8], data[at + 8:at + 8 + length]
        at += 12 + length


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def main(source, target):
    data = open(source, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"{source}: not a PNG")
    parts = list(chunks(data))
    pixels = zlib.decompress(b"".join(body for kind, body in parts if kind == b"IDAT"))
    out = data[:8]
    for kind, body in parts:
        if kind == b"IDAT":
            if pixels is not None:
                out += chunk(b"IDAT", zlib.compress(pixels, 9))
                pixels = None
        else:
            out += chunk(kind, body)
    open(target, "wb").write(out)


if __name__ == "__main__":
    main(*sys.argv[1:3])
