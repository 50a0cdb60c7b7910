"""Drawn scenes that read as photographs at any size from 140 pixels up: a sky at some time of
day over mountains, a lake, the sea, a town or a forest. The same seed gives the same scene at
every size, so a photo looks alike in each of its sizes."""

import random

from PIL import Image, ImageDraw, ImageFont

FONT_FILE = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"  # fonts-wqy-microhei: Chinese captions

# Sky colours (zenith, horizon) and the light of the sun or moon, by time of day.
SKIES = {
    "day": ((62, 118, 196), (176, 208, 236), (255, 250, 225)),
    "dawn": ((86, 110, 172), (246, 196, 160), (255, 236, 190)),
    "dusk": ((38, 46, 104), (242, 142, 82), (255, 210, 120)),
    "night": ((8, 12, 38), (42, 54, 96), (236, 236, 214)),
}
KINDS = ("mountains", "lake", "sea", "town", "forest", "meadow")

_fonts = {}


def font(pixels):
    if pixels not in _fonts:
        try:
            _fonts[pixels] = ImageFont.truetype(FONT_FILE, pixels)
        except OSError:
            _fonts[pixels] = ImageFont.load_default()
    return _fonts[pixels]


def mix(a, b, share):
    return tuple(round(x + (y - x) * share) for x, y in zip(a, b))


def gradient(width, height, top, bottom):
    """A vertical gradient: one column worked out, then repeated across (fast at any size)."""
    height = max(1, height)
    column = bytes(channel for y in range(height) for channel in mix(top, bottom, y / max(1, height - 1)))
    return Image.frombytes("RGB", (1, height), column).resize((width, height), Image.NEAREST)


def ridge(rng, points, roughness):
    """Heights between 0 and 1 along a skyline, by midpoint displacement."""
    heights = [rng.random(), rng.random()]
    spread = 0.5
    while len(heights) < points:
        finer = []
        for left, right in zip(heights, heights[1:]):
            finer += [left, (left + right) / 2 + rng.uniform(-spread, spread)]
        heights = finer + [heights[-1]]
        spread *= roughness
    low, high = min(heights), max(heights)
    return [(h - low) / ((high - low) or 1) for h in heights]


def draw_ridges(draw, rng, width, height, base, layers, sky_colour, near_colour):
    """Mountain ridges from far (hazy, the sky's colour) to near."""
    for layer in range(layers):
        depth = (layer + 1) / layers
        colour = mix(sky_colour, near_colour, 0.35 + 0.65 * depth)
        top = base - height * (0.34 - 0.08 * layer) * rng.uniform(0.7, 1.0)
        heights = ridge(rng, 33, rng.uniform(0.5, 0.62))
        outline = [(width * i / (len(heights) - 1), top + (base - top) * (1 - h) * 0.9)
                   for i, h in enumerate(heights)]
        draw.polygon(outline + [(width, base + 1), (0, base + 1)], fill=colour)


def draw_light(picture, rng, time_of_day, x, y, radius):
    """The sun or the moon with its glow (blended over its own corner of the sky only), and the
    stars at night."""
    glow = SKIES[time_of_day][2]
    reach = radius * 3.2
    box = tuple(round(v) for v in (max(0, x - reach), max(0, y - reach),
                                   min(picture.width, x + reach), min(picture.height, y + reach)))
    region = picture.crop(box).convert("RGBA")
    overlay = Image.new("RGBA", region.size, (0, 0, 0, 0))
    draw = ImageDraw.Draw(overlay)
    cx, cy = x - box[0], y - box[1]
    for ring in range(8):  # rings of faint light, brighter towards the middle
        r = radius * (3.2 - ring * 0.28)
        alpha = 20 + ring * 4
        draw.ellipse([cx - r, cy - r, cx + r, cy + r], fill=glow + (alpha,))
    draw.ellipse([cx - radius, cy - radius, cx + radius, cy + radius], fill=glow + (255,))
    picture.paste(Image.alpha_composite(region, overlay).convert("RGB"), box[:2])
    if time_of_day == "night":
        draw = ImageDraw.Draw(picture)
        for _ in range(40):
            star = rng.randint(150, 255)
            draw.point((rng.random() * picture.width, rng.random() * y * 1.6), fill=(star, star, star - 20))


def draw_clouds(draw, rng, width, height, colour):
    for _ in range(rng.randint(2, 4)):
        cx, cy = rng.uniform(0, width), rng.uniform(0.08, 0.35) * height
        size = rng.uniform(0.05, 0.1) * width
        for _ in range(5):
            dx, dy = rng.uniform(-1.6, 1.6) * size, rng.uniform(-0.4, 0.3) * size
            r = size * rng.uniform(0.6, 1.0)
            draw.ellipse([cx + dx - r * 1.4, cy + dy - r * 0.7, cx + dx + r * 1.4, cy + dy + r * 0.7], fill=colour)


def draw_trees(draw, rng, width, ground, height, colour, count, pines):
    for _ in range(count):
        x = rng.uniform(-0.05, 1.05) * width
        tall = rng.uniform(0.12, 0.3) * height
        foot = ground + rng.uniform(0, 0.12) * height
        shade = mix(colour, (0, 0, 0), rng.uniform(0, 0.35))
        if pines:
            half = tall * 0.28
            draw.polygon([(x, foot - tall), (x + half, foot), (x - half, foot)], fill=shade)
        else:
            draw.rectangle([x - tall * 0.04, foot - tall * 0.5, x + tall * 0.04, foot], fill=(84, 60, 40))
            r = tall * 0.3
            draw.ellipse([x - r, foot - tall - r * 0.2, x + r, foot - tall * 0.45], fill=shade)


def draw_town(draw, rng, width, ground, height, lit):
    x = -rng.uniform(0, 0.05) * width
    while x < width:
        w = rng.uniform(0.06, 0.14) * width
        top = ground - rng.uniform(0.12, 0.48) * height
        body = mix((30, 34, 48), (70, 74, 92), rng.random()) if lit else mix((120, 110, 104), (196, 188, 170), rng.random())
        draw.rectangle([x, top, x + w, ground], fill=body)
        step = max(3.0, w / 5)
        for wy in range(int(top + step), int(ground - step), int(step * 1.4)):
            for wx in range(int(x + step * 0.6), int(x + w - step * 0.6), int(step)):
                if rng.random() < (0.55 if lit else 0.9):
                    glass = (250, 214, 120) if lit else (150, 182, 210)
                    draw.rectangle([wx, wy, wx + step * 0.45, wy + step * 0.6], fill=glass)
        x += w + rng.uniform(0, 0.02) * width


def scene(width, height, seed):
    """An RGB picture of a landscape chosen and shaped by `seed`."""
    rng = random.Random(seed)
    kind = rng.choice(KINDS)
    time_of_day = rng.choice(("night",) if kind == "town" and rng.random() < 0.5 else ("day", "dawn", "dusk", "day"))
    zenith, horizon_colour, _ = SKIES[time_of_day]
    horizon = round(height * rng.uniform(0.52, 0.66))
    picture = gradient(width, height, zenith, horizon_colour)
    light_x = rng.uniform(0.15, 0.85) * width
    light_y = horizon * rng.uniform(0.25, 0.7)
    draw_light(picture, rng, time_of_day, light_x, light_y, min(width, height) * rng.uniform(0.04, 0.07))
    draw = ImageDraw.Draw(picture)
    if time_of_day != "night":
        draw_clouds(draw, rng, width, height, mix(horizon_colour, (255, 255, 255), 0.7))

    dark = time_of_day == "night"
    land = mix((62, 112, 58), (14, 22, 26), 0.7 if dark else 0.0)
    if kind in ("mountains", "lake", "forest"):
        draw_ridges(draw, rng, width, height, horizon, 3, horizon_colour, mix(land, (40, 52, 70), 0.5))
    if kind in ("sea", "lake"):
        water_top = mix(horizon_colour, (20, 60, 110), 0.45)
        picture.paste(gradient(width, height - horizon, water_top, (16, 44, 86)), (0, horizon))
        if kind == "lake":  # the mountains mirrored, dimmed by the water
            mirrored = picture.crop((0, max(0, 2 * horizon - height), width, horizon)).transpose(Image.FLIP_TOP_BOTTOM)
            picture.paste(Image.blend(mirrored, Image.new("RGB", mirrored.size, (24, 56, 92)), 0.55), (0, horizon))
        glint = SKIES[time_of_day][2]
        for row in range(horizon + 2, height, max(2, height // 60)):
            spread = (row - horizon) / max(1, height - horizon)
            half = width * (0.02 + 0.1 * spread) * rng.uniform(0.4, 1.0)
            draw.line([(light_x - half, row), (light_x + half, row)], fill=mix(water_top, glint, 0.6 - 0.4 * spread))
        if kind == "sea":
            sand = round(height * rng.uniform(0.82, 0.9))
            draw.polygon([(0, sand), (width, sand - height * 0.05), (width, height), (0, height)], fill=(222, 200, 156))
    else:
        picture.paste(gradient(width, height - horizon, land, mix(land, (0, 0, 0), 0.45)), (0, horizon))
        if kind == "meadow":
            for hill in range(2):
                top = horizon - height * (0.06 - 0.03 * hill)
                colour = mix(land, (150, 190, 90), 0.4 - 0.2 * hill)
                draw.ellipse([-width * 0.3 + hill * width * 0.5, top, width * (0.7 + hill * 0.6), top + height * 0.5], fill=colour)
            for _ in range(30):
                fx, fy = rng.uniform(0, width), rng.uniform(horizon + height * 0.08, height)
                r = max(1.0, width / 200)
                draw.ellipse([fx - r, fy - r, fx + r, fy + r], fill=rng.choice(((240, 220, 80), (250, 250, 250), (230, 120, 150))))
    if kind == "forest":
        draw_trees(draw, rng, width, horizon, height, land, 14, True)
    elif kind == "meadow":
        draw_trees(draw, rng, width, horizon + height * 0.05, height, mix(land, (40, 90, 40), 0.5), 3, False)
    elif kind == "town":
        draw_town(draw, rng, width, horizon + height * 0.08, height, dark)
    return picture


def fitted(text, face, room):
    """`text` cut to fit `room` pixels, with an ellipsis when it was cut."""
    # Control characters read as blanks; the font has nothing beyond the basic plane (emoji).
    text = "".join(" " if ch < " " else ch for ch in text if ord(ch) <= 0xFFFF).strip()
    if face.getlength(text) <= room:
        return text
    while text and face.getlength(text + "…") > room:
        text = text[:-1]
    return text + "…"


def label(picture, left_text, right_text=""):
    """A translucent band along the bottom with the caption on the left, the number on the right."""
    width, height = picture.size
    band = max(16, round(height * 0.13))
    face = font(max(10, round(band * 0.62)))
    margin = max(4, band // 3)
    region = picture.crop((0, height - band, width, height)).convert("RGBA")
    shade = Image.new("RGBA", region.size, (0, 0, 0, 120))
    region = Image.alpha_composite(region, shade)
    draw = ImageDraw.Draw(region)
    right_room = face.getlength(right_text) if right_text else 0
    left = fitted(left_text, face, width - 3 * margin - right_room)
    middle = band / 2
    draw.text((margin, middle), left, font=face, fill=(255, 255, 255), anchor="lm")
    if right_text:
        draw.text((width - margin, middle), right_text, font=face, fill=(255, 255, 255), anchor="rm")
    picture.paste(region.convert("RGB"), (0, height - band))
    return picture
