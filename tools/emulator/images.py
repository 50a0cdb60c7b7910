"""The image host's pictures, drawn on first request and kept in memory: photos and covers that
look like photographs with their album's caption and number, the placeholder cover, the avatar
and the QR codes. Every picture is a PNG whose bytes differ by name and by size."""

import queue
import struct
import threading
import zlib

from PIL import ImageDraw

from . import data, scenes, sign_in_pictures

# Picture sizes by size path, largest first; every size gives different bytes for the same photo.
SIZES = {
    "/large/": (480, 360),
    "/mw1024/": (400, 300),
    "/mw690/": (320, 240),
    "/small/": (200, 150),
    "/thumb150/": (140, 140),
}
COVER_SUFFIX = "cover.jpg"  # covers are named album id + this
PLACEHOLDER = "placeholder.jpg"


def _index_photos():
    """By picture name: each photo's album caption, number in the album and the album's count,
    and the names of the photos after it; and the albums by id."""
    photos, following, albums = {}, {}, {}
    for owner in data.OWNERS.values():
        for album in owner.albums:
            albums[album.album_id] = album
            names = [photo.pic_name for photo in album.photos]
            for number, name in enumerate(names, 1):
                photos[name] = (album.caption, number, len(names))
                following[name] = names[number:number + PictureCache.AHEAD]
                ALBUM_OF.setdefault(name, album)
    return photos, following, albums


ALBUM_OF = {}  # picture name -> the sample album that first lists it


def album_of(name):
    return ALBUM_OF.get(name)


def _chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


def png(picture, title):
    """PNG bytes of an RGB picture; `title` is written into the file, so that two addresses never
    share bytes. Rows go unfiltered: the drawn scenes pack nearly as small that way, several
    times faster than with the adaptive filters of the imaging library's own writer."""
    width, height = picture.size
    raw, stride = picture.tobytes(), width * 3
    rows = b"\x00" + b"\x00".join(raw[y * stride:(y + 1) * stride] for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + _chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            _chunk(b"tEXt", b"Title\x00" + title.encode("ascii", "backslashreplace")) +
            _chunk(b"IDAT", zlib.compress(rows, 3)) + _chunk(b"IEND", b""))


def placeholder(width, height):
    """The cover of an album without one: a grey card with a picture sign."""
    picture = scenes.gradient(width, height, (236, 236, 236), (212, 212, 212))
    draw = ImageDraw.Draw(picture)
    w, h = width / 140, height / 140
    draw.rounded_rectangle([34 * w, 40 * h, 106 * w, 96 * h], radius=6 * w, outline=(160, 160, 160), width=max(1, round(3 * w)))
    draw.polygon([(42 * w, 88 * h), (62 * w, 62 * h), (76 * w, 78 * h), (86 * w, 68 * h), (98 * w, 88 * h)], fill=(170, 170, 170))
    draw.ellipse([82 * w, 48 * h, 92 * w, 58 * h], fill=(170, 170, 170))
    return scenes.label(picture, "暂无封面")


def badge(picture, colour):
    """A square of `colour` over the middle of a cover (three fifths of its side, a white edge
    around it): the middle pixel on screen tells which album's cover a row shows."""
    width, height = picture.size
    draw = ImageDraw.Draw(picture)
    edge = max(1, round(width / 70))
    draw.rounded_rectangle([width * 0.2 - edge, height * 0.2 - edge, width * 0.8 + edge, height * 0.8 + edge],
                           radius=4 * edge, fill=(255, 255, 255))
    draw.rounded_rectangle([width * 0.2, height * 0.2, width * 0.8, height * 0.8], radius=3 * edge, fill=colour)


def photo(width, height, name):
    """A photo, or an album's cover (its first photo's scene with the album's caption)."""
    if name in PHOTOS:
        caption, number, count = PHOTOS[name]
        return scenes.label(scenes.scene(width, height, name), caption, f"{number}/{count}")
    if name.endswith(COVER_SUFFIX) and name[:-len(COVER_SUFFIX)] in ALBUMS:
        album = ALBUMS[name[:-len(COVER_SUFFIX)]]
        seed = album.photos[0].pic_name if album.photos else name
        picture = scenes.scene(width, height, seed)
        if album.badge:
            badge(picture, album.badge)
        return scenes.label(picture, album.caption, f"{len(album.photos)}张")
    if name == PLACEHOLDER:
        return placeholder(width, height)
    extra = data.extra_photo(name)
    if extra:
        # Past the sample data (the account's photo count, growth): the same bytes whatever the
        # album holds at the time, so a picture never changes with a setting.
        return scenes.label(scenes.scene(width, height, name), extra[0].caption, extra[1])
    return scenes.label(scenes.scene(width, height, name), name.rsplit(".", 1)[0])


class PictureCache:
    """Each picture is drawn once and then served from memory. A photo's request also has the
    album's next photos in that size drawn ahead on a thread of their own, while the program's
    requests wait out their latency, since the program asks for an album's pictures in order."""

    AHEAD = 8

    def __init__(self):
        self._cache = {}
        self._lock = threading.Lock()  # one drawing at a time: the fonts are shared
        self._asked_ahead = set()
        self._ahead = queue.SimpleQueue()
        threading.Thread(target=self._draw_ahead, name="pictures ahead", daemon=True).start()

    def _kept(self, key, draw):
        found = self._cache.get(key)
        if found is None:
            with self._lock:
                found = self._cache.get(key)
                if found is None:
                    found = self._cache[key] = png(draw(), "".join(key))
        return found

    def _photo(self, size_path, name):
        width, height = SIZES.get(size_path, SIZES["/thumb150/"])
        return self._kept((size_path, name), lambda: photo(width, height, name))

    def _draw_ahead(self):
        while True:
            self._photo(*self._ahead.get())

    def get(self, size_path, name, following_names=None):
        """A picture; `following_names`, when given, are drawn ahead instead of the sample data's."""
        body = self._photo(size_path, name)
        for following in FOLLOWING.get(name, ()) if following_names is None else following_names:
            key = (size_path, following)
            if key not in self._asked_ahead:
                self._asked_ahead.add(key)
                self._ahead.put(key)
        return body

    # The scale mode's few drawn pictures per size; every address gets one of them with the
    # address written into it, so a benchmark of thousands of pictures measures the program, not
    # the drawing.
    SCALE_BASES = 4

    def scaled(self, size_path, name):
        """The picture at an address in the scale mode: a ready-made body made unique by a text
        chunk holding the address, right after the header."""
        base = self._photo(size_path, f"scale{zlib.crc32(name.encode()) % self.SCALE_BASES}.jpg")
        header_end = 8 + 25  # the signature and the IHDR chunk
        return base[:header_end] + _chunk(b"tEXt", b"Address\x00" + (size_path + name).encode("ascii", "backslashreplace")) + base[header_end:]

    def avatar(self, uid):
        return self._kept(("/avatar/", uid), lambda: sign_in_pictures.avatar(uid))

    def qr_code(self, qrid, content):
        """A code is drawn once per id; its content names where scanning it confirms it."""
        return self._kept(("/qr/", qrid), lambda: sign_in_pictures.qr_code(content, qrid))


PHOTOS, FOLLOWING, ALBUMS = _index_photos()
