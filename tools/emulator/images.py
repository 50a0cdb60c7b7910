"""Real PNG pictures made on the fly: deterministic, different for every name and size."""

import hashlib
import struct
import zlib

# Picture sizes by size path; every size gives different bytes for the same photo.
SIZES = {
    "/large/": (96, 72),
    "/mw1024/": (64, 48),
    "/mw690/": (48, 36),
    "/small/": (24, 18),
    "/thumb150/": (140, 140),
}


def _chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png(width, height, seed):
    """An RGB picture of horizontal stripes whose colours come from the seed."""
    digest = hashlib.sha256(seed.encode("utf-8")).digest()
    rows = []
    for y in range(height):
        base = digest[(y * 3) % 30: (y * 3) % 30 + 3]
        row = bytearray([0])  # filter: none
        for x in range(width):
            row += bytes(((base[0] + x) & 0xFF, (base[1] + y) & 0xFF, base[2]))
        rows.append(bytes(row))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + _chunk(b"IHDR", header) +
            _chunk(b"IDAT", zlib.compress(b"".join(rows), 6)) + _chunk(b"IEND", b""))


class PictureCache:
    """Pictures are made once and kept in memory, so serving them costs nothing."""

    def __init__(self):
        self._cache = {}

    def get(self, size_path, name):
        key = (size_path, name)
        if key not in self._cache:
            width, height = SIZES.get(size_path, (32, 32))
            self._cache[key] = png(width, height, size_path + name)
        return self._cache[key]
