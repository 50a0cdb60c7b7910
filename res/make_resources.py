"""Draws the program's icon (res/piclade.ico: 16 to 64 pixels) and the about picture
(res/about.png: 200 x 271). Run it again only to change the artwork; its output is kept in the
repository. Python 3 standard library only."""

import math
import struct
import zlib
from pathlib import Path

HERE = Path(__file__).resolve().parent


def png(width, height, pixel):
    rows = []
    for y in range(height):
        row = bytearray([0])
        for x in range(width):
            row += bytes(pixel(x, y))
        rows.append(bytes(row))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) +
            chunk(b"IEND", b""))


def icon_pixel(size):
    """A rounded blue tile with a white picture frame and an orange sun: pictures, saved."""
    def pixel(x, y):
        u, v = (x + 0.5) / size, (y + 0.5) / size
        corner = 0.18
        dx = max(corner - u, 0, u - (1 - corner))
        dy = max(corner - v, 0, v - (1 - corner))
        if dx * dx + dy * dy > corner * corner:
            return (0, 0, 0, 0)
        colour = (28, 110, 200, 255)
        if 0.2 <= u <= 0.8 and 0.28 <= v <= 0.72:
            colour = (245, 248, 252, 255)
            if 0.26 <= u <= 0.74 and 0.34 <= v <= 0.66:
                colour = (120, 190, 240, 255)
                if v > 0.52 + 0.25 * abs(u - 0.45):
                    colour = (40, 150, 80, 255)
                if (u - 0.62) ** 2 + (v - 0.44) ** 2 < 0.004:
                    colour = (250, 170, 40, 255)
        return colour
    return pixel


def about_pixel(x, y):
    """A soft vertical gradient with stacked photo frames."""
    t = y / 271
    base = (int(230 - 60 * t), int(240 - 40 * t), 255, 255)
    for i, (cx, cy) in enumerate(((70, 90), (110, 130), (140, 170))):
        if abs(x - cx) < 45 - i * 4 and abs(y - cy) < 35 - i * 3:
            inner = abs(x - cx) < 39 - i * 4 and abs(y - cy) < 29 - i * 3
            shade = int(140 + 30 * math.sin((x + y + i * 20) / 18))
            return (shade, 180, 255 - i * 40, 255) if inner else (255, 255, 255, 255)
    return base


def ico(sizes):
    images = [png(size, size, icon_pixel(size)) for size in sizes]
    header = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    entries = b""
    for size, image in zip(sizes, images):
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return header + entries + b"".join(images)


if __name__ == "__main__":
    (HERE / "piclade.ico").write_bytes(ico([16, 24, 32, 48, 64]))
    (HERE / "about.png").write_bytes(png(200, 271, about_pixel))
