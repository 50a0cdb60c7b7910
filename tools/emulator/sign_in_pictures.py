"""The two pictures of the sign-in page: a real QR code, and the signed-in account's avatar."""

import hashlib

import segno
from PIL import Image, ImageDraw

from .scenes import gradient, mix

QR_SIZE = 180      # the size the program asks the sign-on host for
BADGE_MODULES = 7  # the side of the badge in the code's middle, in modules
AVATAR_SIZE = 140  # the "avatar_large" the main site names


def qr_code(content, seed, size=QR_SIZE):
    """A scannable code holding `content`: black square modules on white, at least four modules
    of white around them, drawn on a square of `size` pixels. Its middle carries a small badge
    in a colour of its own for each `seed`, as service codes carry a logo; the code's error
    correction reads through it, and the middle pixel tells one code from the next."""
    code = segno.make(content, error="q", boost_error=False, micro=False)
    modules = code.symbol_size(scale=1, border=0)[0]
    scale = size // (modules + 8)
    symbol = Image.new("L", (modules, modules), 255)
    symbol.putdata([0 if dark else 255 for row in code.matrix for dark in row])
    picture = Image.new("RGB", (size, size), (255, 255, 255))
    offset = (size - modules * scale) // 2
    picture.paste(symbol.resize((modules * scale, modules * scale), Image.NEAREST), (offset, offset))
    digest = hashlib.sha256(seed.encode("utf-8")).digest()
    colour = tuple(40 + byte * 160 // 255 for byte in digest[:3])
    middle, half = size / 2, BADGE_MODULES * scale / 2
    draw = ImageDraw.Draw(picture)
    draw.rectangle([middle - half, middle - half, middle + half - 1, middle + half - 1], fill=(255, 255, 255))
    inner = half - scale
    draw.rounded_rectangle([middle - inner, middle - inner, middle + inner - 1, middle + inner - 1],
                           radius=scale, fill=colour)
    ring = inner * 0.55
    draw.ellipse([middle - ring, middle - ring, middle + ring, middle + ring], outline=(255, 255, 255),
                 width=max(1, scale // 2))
    return picture


def avatar(seed, size=AVATAR_SIZE):
    """Head and shoulders on a soft background; the face covers the middle of the picture."""
    digest = hashlib.sha256(seed.encode("utf-8")).digest()
    hue = [(120, 170, 220), (236, 170, 130), (150, 200, 160), (200, 160, 210)][digest[0] % 4]
    picture = gradient(size, size, mix(hue, (255, 255, 255), 0.45), hue)
    draw = ImageDraw.Draw(picture)
    s = size / 140
    skin = (240, 200, 170)
    hair = [(52, 36, 28), (24, 22, 24), (110, 70, 40)][digest[1] % 3]
    shirt = [(40, 80, 140), (170, 60, 60), (60, 120, 90), (80, 80, 90)][digest[2] % 4]
    draw.ellipse([14 * s, 104 * s, 126 * s, 190 * s], fill=shirt)
    draw.rectangle([58 * s, 88 * s, 82 * s, 110 * s], fill=mix(skin, (0, 0, 0), 0.12))
    draw.ellipse([38 * s, 20 * s, 102 * s, 62 * s], fill=hair)
    draw.ellipse([42 * s, 28 * s, 98 * s, 98 * s], fill=skin)
    draw.chord([40 * s, 20 * s, 100 * s, 56 * s], 180, 360, fill=hair)
    for eye in (55, 79):
        draw.ellipse([eye * s, 56 * s, (eye + 6) * s, 62 * s], fill=(40, 32, 30))
    draw.arc([58 * s, 74 * s, 82 * s, 88 * s], 20, 160, fill=(170, 80, 80), width=max(1, round(2 * s)))
    return picture
