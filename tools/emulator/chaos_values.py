"""The chaos owner: one owner whose ids, names, numbers and picture addresses are drawn from a seed,
many of them hostile (names that climb, name devices, end as programs, hold characters Windows
forbids or code page 936 lacks, run to 10 kB; numbers below zero or past any int32). Everything
follows from (seed, level) through sha256, never from Python's own hash or random, so a seed gives
the same owner on every machine."""

import hashlib

LEVELS = ("ci", "full")
HOMEPAGE_ID = "3000000000"  # the chaos owner's homepage: /u/3000000000

# Each photo is known by a key written into its picture name, so that it is found again however the
# name arrives (escaped, cut at a "?", with its slashes turned); a key's letters in upper case are
# another photo (the names that differ only in case).
KEY_PATTERN = r"[zZ][qQ]\d{5}"

HOSTILE_CLASSES = (
    "path segment", "device name", "forbidden character", "control character", "trailing dot or blank",
    "executable ending", "outside code page 936", "10 kB text", "negative number", "huge number",
    "duplicated pic_name", "names equal but for case", "picture host variant",
)


class Draw:
    """Choices that follow from a few fields alone: sha256 of the fields, then of a counter."""

    def __init__(self, *fields):
        self.key = hashlib.sha256("\x1f".join(str(f) for f in fields).encode("utf-8", "surrogatepass")).digest()
        self.n = 0

    def unit(self):
        self.n += 1
        block = hashlib.sha256(self.key + self.n.to_bytes(8, "big")).digest()
        return int.from_bytes(block[:8], "big") / 2.0 ** 64

    def below(self, n):
        return min(n - 1, int(self.unit() * n))

    def between(self, low, high):
        return low + (high - low) * self.unit()

    def choice(self, items):
        return items[self.below(len(items))]

    def chance(self, share):
        return self.unit() < share

    def weighted(self, pairs):
        total = sum(weight for _, weight in pairs)
        point = self.unit() * total
        for item, weight in pairs:
            point -= weight
            if point < 0:
                return item
        return pairs[-1][0]


LONG = "超长的名字" * 683  # 10 245 bytes in UTF-8
OUTSIDE_936 = ("😀", "한국어", "і", "Ґанок", "🎉사진", "ẞ")
DEVICES = ("CON", "NUL", "COM1", "LPT9", "PRN", "AUX", "con", "Nul", "COM9", "CONIN$")
EXECUTABLE = (".url", ".lnk", ".scf", ".bat", ".exe")
CONTROL = ("\t", "\n", "\r", "\x01", "\x1f", "\x7f")


class Hostile:
    """Hostile texts by class; `used` counts the values given out per class and the fields they
    went to. Each value has a draw of its own (seed, level, field, where), so that turning one
    field plain changes nothing else."""

    def __init__(self, seed, level, plain=()):
        self.seed, self.level = seed, level
        self.plain = set(plain)  # fields given their ordinary values
        self.used = {name: 0 for name in HOSTILE_CLASSES}
        self.fields = {name: set() for name in HOSTILE_CLASSES}

    def draw(self, field, *where):
        return Draw(self.seed, self.level, field, *where)

    def note(self, name, field):
        if field in self.plain:
            return
        self.used[name] += 1
        self.fields[name].add(field)

    def text(self, field, where, ordinary, share, classes, core=""):
        """`ordinary`, or `share` of the time a hostile text of one of `classes`, holding `core` (a
        photo's key, an id's number) where the class allows."""
        d = self.draw(field, *where)
        if not d.chance(share) or field in self.plain:
            return ordinary
        name = d.choice(classes)
        self.note(name, field)
        if name == "path segment":
            return d.choice(("..\\..\\", "../", "..\\", "../../../", "./..\\")) + (core or d.choice(("..", "上一级")))
        if name == "device name":
            device = d.choice(DEVICES)
            return d.choice((device, device + ".jpg", device + " ", device + "." + core)) if core else device
        if name == "forbidden character":
            return core + "".join(d.choice('\\/:*?"<>|') + d.choice(("a", "图", "")) for _ in range(1 + d.below(4)))
        if name == "control character":
            return core + d.choice(CONTROL) + d.choice(("x", "图", "")) + d.choice(CONTROL)
        if name == "trailing dot or blank":
            return (core or d.choice(("点", "end"))) + d.choice((".", "...", " ", "  ", ". .", " ."))
        if name == "executable ending":
            return (core or "run") + d.choice(EXECUTABLE)
        if name == "outside code page 936":
            return core + d.choice(OUTSIDE_936) + d.choice(OUTSIDE_936)
        if name == "10 kB text":
            return core + LONG
        if name == "negative number":
            return d.choice(("-1", "-2147483648", "-9999999999")) + core
        if name == "huge number":
            return d.choice(("2147483648", "9223372036854775807", "99999999999999999999")) + core
        raise ValueError(name)

    def number(self, field, where, ordinary, share):
        """A count or a time: the true one, or `share` of the time a negative or huge one."""
        d = self.draw(field, *where)
        if not d.chance(share) or field in self.plain:
            return ordinary
        if d.chance(0.5):
            self.note("negative number", field)
            return d.choice((-1, -5, -2147483648, -2208988800, -9223372036854775808))
        self.note("huge number", field)
        return d.choice((2147483647, 2147483648, 4102444800, 9999999999, 10 ** 19))


# The fields whose hostile values can be turned plain, one by one, to see which of them a failure needs.
FIELDS = ("oid", "onick", "album_id", "caption", "uid", "count", "total", "album total", "caption_render",
          "pic_name", "timestamp", "pic_host")


class Photo:
    def __init__(self, key, pic_name, caption, timestamp, host):
        self.key = key            # the identity of its picture: the bytes the image host gives
        self.pic_name = pic_name
        self.caption = caption
        self.timestamp = timestamp
        self.host = host          # which of the emulator's image addresses serves it


class Album:
    def __init__(self, index, album_id, caption, uid, photos, count, total, cover):
        self.index = index
        self.album_id = album_id
        self.caption = caption
        self.uid = uid            # the "uid" the album list gives (the program goes by the owner's)
        self.photos = photos
        self.count = count        # "count.photos" in the album list
        self.total = total        # "total" in the photo list
        self.cover = cover


class Plan:
    """The chaos owner of one seed and level, and which size the driver asks for in each row."""

    def __init__(self, seed, level, plain=()):
        if level not in LEVELS:
            raise ValueError(f"level: {level}")
        unknown = set(plain) - set(FIELDS)
        if unknown:
            raise ValueError(f"plain: {', '.join(sorted(unknown))}")
        self.seed, self.level, self.plain = seed, level, tuple(plain)
        self.hostile = h = Hostile(seed, level, plain)
        ids = ("path segment", "device name", "forbidden character", "trailing dot or blank", "executable ending",
               "outside code page 936", "10 kB text", "negative number", "huge number")
        names = ids + ("control character",)

        # Control characters in an id make an address no client sends, so they are rare there.
        rare_control = ("control character",) if h.draw("oid control").chance(0.1) else ()
        self.oid = h.text("oid", (), f"30{seed % 100000000:08d}", 0.4, ids + rare_control, core=f"{seed}")
        self.onick = h.text("onick", (), f"混沌用户{seed}", 0.7, names)

        shape = h.draw("shape")
        if level == "ci":
            album_count, budget, most = 1 + shape.below(3), 40, 20
        else:
            album_count = 1 + shape.below(6) if shape.chance(0.9) else 21 + shape.below(4)
            budget, most = 150, 70 if album_count < 10 else 3
        self.albums = []
        used_ids, exact_names = set(), set()
        for index in range(album_count):
            photo_count = min(budget, shape.below(most + 1))
            budget -= photo_count
            album_id = h.text("album_id", (index,), f"38{seed % 100000:05d}{index:03d}", 0.35, ids, core=f"{index}")
            while album_id in used_ids:
                album_id += f"_{index}"
            used_ids.add(album_id)
            caption = h.text("caption", (index,), f"相册 {index + 1}", 0.7, names)
            uid = h.text("uid", (index,), self.oid, 0.3, names)
            photos = self._photos(index, photo_count, exact_names)
            count = h.number("count", (index,), len(photos), 0.2)
            total = h.number("total", (index,), len(photos), 0.1)
            cover = not h.draw("cover", index).chance(0.15)
            self.albums.append(Album(index, album_id, caption, uid, photos, count, total, cover))
        self.album_total = h.number("album total", (), len(self.albums), 0.1)
        # The size asked for in each row of the list: 原图, 高清, 标清 or 缩略.
        self.sizes = [h.draw("size", index).choice(("/large/", "/mw1024/", "/mw1024/", "/mw690/", "/small/"))
                      for index in range(album_count)]

    def _photos(self, album, count, exact_names):
        h = self.hostile
        plain = "pic_name" in self.plain
        photos = []
        for k in range(count):
            key = f"zq{album:02d}{k:03d}"
            listing = h.draw("listing", album, k)
            if photos and listing.chance(0.06) and not plain:  # the same picture listed again
                h.note("duplicated pic_name", "pic_name")
                photos.append(listing.choice(photos))
                continue
            if photos and listing.chance(0.06) and not plain:  # another picture whose name differs only in case
                twin = listing.choice(photos)
                taken = {photo.key for photo in photos}
                # Only a name that holds its key, in lower case, has a twin: the key tells them apart.
                if twin.key.islower() and twin.key in twin.pic_name and twin.key.swapcase() not in taken:
                    h.note("names equal but for case", "pic_name")
                    photos.append(Photo(twin.key.swapcase(), twin.pic_name.swapcase(), twin.caption,
                                        twin.timestamp, twin.host))
                    continue
            pic_name = key + ".jpg" if plain else self._pic_name(h.draw("pic_name", album, k), key, exact_names)
            caption = h.text("caption_render", (album, k), f"照片 {k + 1}", 0.5, (
                "path segment", "device name", "forbidden character", "control character", "trailing dot or blank",
                "executable ending", "outside code page 936", "10 kB text"))
            timestamp = h.number("timestamp", (album, k), 1500000000 + album * 86400 + k * 3600, 0.15)
            host = "images"
            where = h.draw("pic_host", album, k)
            if where.chance(0.2) and "pic_host" not in self.plain:
                host = where.choice(("stranger", "main", "photos"))
                h.note("picture host variant", "pic_host")
            photos.append(Photo(key, pic_name, caption, timestamp, host))
        return photos

    def _pic_name(self, d, key, exact_names):
        h = self.hostile
        name = d.weighted([(None, 5), ("path segment", 1), ("device name", 1), ("forbidden character", 1),
                           ("control character", 0.4), ("trailing dot or blank", 1), ("executable ending", 1.5),
                           ("outside code page 936", 1), ("10 kB text", 0.4)])
        if name is None:
            return key + ".jpg"
        h.note(name, "pic_name")
        if name == "path segment":
            return d.choice(("..\\..\\", "../", "..\\", "a/../../", "../..\\")) + key + ".jpg"
        if name == "device name":
            device = d.choice(DEVICES)
            # A name that is only a device is known by its name alone: one per owner.
            if device.lower() not in exact_names and d.chance(0.5):
                exact_names.add(device.lower())
                return device
            return d.choice((device + "." + key + ".jpg", key + "/" + device + ".jpg", device + "." + key))
        if name == "forbidden character":
            return key + "".join(d.choice(':*"<>|') + d.choice(("a", "图")) for _ in range(1 + d.below(3))) + ".jpg"
        if name == "control character":
            return key + d.choice(CONTROL) + ".jpg"
        if name == "trailing dot or blank":
            return key + d.choice((".jpg.", ".jpg ", ". .", ".jpg...", " "))
        if name == "executable ending":
            return key + d.choice(EXECUTABLE)
        if name == "outside code page 936":
            return key + d.choice(OUTSIDE_936) + ".jpg"
        return key + LONG + ".jpg"

    def photo_keys(self):
        """Every photo by key (a duplicate listing is the same photo) with its album's index."""
        keys = {}
        for album in self.albums:
            for photo in album.photos:
                keys.setdefault(photo.key, (album.index, photo))
        return keys

    def coverage(self):
        return {name: count for name, count in self.hostile.used.items()}

    def describe(self):
        return {"seed": self.seed, "level": self.level, "plain": list(self.plain), "homepage": HOMEPAGE_ID, "albums": len(self.albums),
                "photos": sum(len(album.photos) for album in self.albums), "sizes": self.sizes,
                "hostile": self.coverage(), "fields": {name: sorted(fields) for name, fields in self.hostile.fields.items()}}
