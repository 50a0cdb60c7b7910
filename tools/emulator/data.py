"""Sample accounts, albums and photos. Deterministic: the same every run, so tests can name exact
file names and counts. What changes while the emulator runs (the account's photo count, albums
grown by a test) is kept by the state; the functions at the end give an album's photos as listed."""

import re

SIGNED_IN_UID = "2000000001"
SIGNED_IN_NICK = "测试用户"

# A long caption: more than 200 bytes in code page 936 (each Chinese character is two bytes).
LONG_CAPTION = "很长的说明" * 25

HOSTILE_CAPTIONS = [
    'a/b\\c:d*e?f"g<h>i|j',
    "..",
    "trailing dots...",
    "trailing blanks   ",
    "😀 表情 emoji",
    "CON",
    "tab\there",
]


class Photo:
    def __init__(self, photo_id, pic_name, caption, timestamp):
        self.photo_id = photo_id
        self.pic_name = pic_name
        self.caption = caption
        self.timestamp = timestamp


class Album:
    def __init__(self, album_id, caption, photos, cover=True, badge=None):
        self.album_id = album_id
        self.caption = caption
        self.photos = photos
        self.cover = cover  # False: the answer gives an empty cover_pic
        self.badge = badge  # (r, g, b): the cover carries a square of this colour in its middle


class Owner:
    def __init__(self, uid, nick, albums, homepage=None):
        self.uid = uid
        self.nick = nick
        self.albums = albums
        self.homepage = homepage or uid  # the id in the homepage's address, "/u/<homepage>"


def _photos(album_id, count, caption_of=None, timestamp_of=None, name_of=None):
    photos = []
    for k in range(1, count + 1):
        name = name_of(k) if name_of else f"{album_id}{k:04d}pic.jpg"
        caption = caption_of(k) if caption_of else f"照片 {k}"
        timestamp = timestamp_of(k) if timestamp_of else 1500000000 + k * 3600
        photos.append(Photo(f"{album_id}{k:04d}", name, caption, timestamp))
    return photos


def _odd_photos(album_id):
    """Photos that exercise file naming: empty caption, time 0, no extension, long caption."""
    def caption(k):
        return {1: "", 2: "零点", 3: "没有扩展名", 4: LONG_CAPTION}.get(k, f"普通 {k}")

    def timestamp(k):
        return 0 if k == 2 else 1500000000 + k

    def name(k):
        return f"{album_id}noext{k}" if k == 3 else f"{album_id}{k:04d}pic.jpg"

    return _photos(album_id, 6, caption, timestamp, name)


def build_owners():
    owners = {}

    traveller = "1000000001"
    owners[traveller] = Owner(traveller, "摄影师小王", [
        Album("3550000001", "旅行 2017", _photos("3550000001", 32)),
        Album("3550000002", "家人", _photos("3550000002", 33)),
        Album("3550000003", "空相册", []),
    ])

    collector = "1000000002"
    albums = []
    for n in range(1, 26):
        album_id = f"36600000{n:02d}"
        if n <= len(HOSTILE_CAPTIONS):
            caption = HOSTILE_CAPTIONS[n - 1]
        elif n == 8:
            caption = "没有封面"
        elif n == 9:
            caption = "奇怪的照片"
        else:
            caption = f"相册 {n}"
        photos = _odd_photos(album_id) if n == 9 else _photos(album_id, 3)
        albums.append(Album(album_id, caption, photos, cover=(n != 8)))
    owners[collector] = Owner(collector, "多相册用户", albums)

    hostile = "1000000003"
    owners[hostile] = Owner(hostile, 'bad/nick:*?"<>|. ', [
        Album("3770000001", "普通相册", _photos("3770000001", 2)),
    ])

    big = "1000000004"
    owners[big] = Owner(big, "大相册", [Album("3880000001", "五百张", _photos("3880000001", 500))])

    escaper = _escaping_owner()
    owners[escaper.uid] = escaper

    wanderer = _wanderer()
    owners[wanderer.uid] = wanderer

    account = _account()
    owners[account.uid] = account

    # For the scale benchmark: 625 photo-list pages, its pictures served in the scale mode.
    scale = SCALE_UID
    owners[scale] = Owner(scale, "两万张", [Album(SCALE_ALBUM_ID, "两万张照片", _photos(SCALE_ALBUM_ID, 20000))])
    many = _many_albums()
    owners[many.uid] = many
    return owners


SCALE_UID = "1000000010"
SCALE_ALBUM_ID = "5550000001"


# The whole account: 25 albums over two album pages of 20, a few photos each, or with the account's
# photo count set (--account-photos, /account?photos=) that many in every album, for benchmarks.
ACCOUNT_UID = "1000000007"
ACCOUNT_ALBUM_IDS = tuple(f"43300000{n:02d}" for n in range(1, 26))
MOST_ACCOUNT_PHOTOS = 200


def _account_photos(album_id, count):
    # Newest first, as the service lists an album: photo 1 is the latest.
    return _photos(album_id, count, timestamp_of=lambda k: 1600000000 - k * 3600)


def _account():
    albums = [Album(album_id, f"账号相册 {n:02d}", _account_photos(album_id, 2 + n % 5))
              for n, album_id in enumerate(ACCOUNT_ALBUM_IDS, 1)]
    return Owner(ACCOUNT_UID, "整个账号", albums)


# Many albums whose covers tell themselves apart on screen: 100 albums over five album pages of 20,
# one photo each, every cover with a square of its own colour (badge_colour) in its middle.
MANY_ALBUMS_UID = "1000000009"
MANY_ALBUMS = 100


def badge_colour(number):
    """The colour in the middle of the number-th album's cover (from 1): a grid of 5 × 5 × 4, so
    that any two differ by at least 45 in one channel. tests/e2e/covers_test.cpp knows it too."""
    i = number - 1
    return (60 + 45 * (i % 5), 60 + 45 * (i // 5 % 5), 70 + 55 * (i // 25))


def _many_albums():
    albums = [Album(f"47700{n:05d}", f"封面 {n:03d}", _photos(f"47700{n:05d}", 1), badge=badge_colour(n))
              for n in range(1, MANY_ALBUMS + 1)]
    return Owner(MANY_ALBUMS_UID, "一百个相册", albums)


def _escaping_owner():
    """An owner whose every name tries to leave the save folder or to run: reached at /u/1000000005,
    its id is a relative path, its nick "..", its albums have an id that climbs, a device name, and
    pictures and an album whose names end as programs and shortcuts do, and pictures whose names
    differ only in case or come twice."""
    def photo(number, pic_name, caption="危险", timestamp=None):
        return Photo(f"3990000{number:03d}", pic_name, caption, timestamp or 1500000000 + number * 60)

    climbing = Album(CLIMBING_ALBUM_ID, "", [photo(k, f"escape{k:04d}pic.jpg", "..\\..\\往上") for k in range(1, 4)])
    device = Album("3990000002", "CON", [photo(10 + k, f"device{k:04d}pic.jpg", "CON") for k in range(1, 3)])
    twice = photo(29, "twice.jpg", "两次")
    named = Album("3990000003", "危险的名字.lnk", [
        photo(21, "shortcut.url"), photo(22, "link.lnk"), photo(23, "explorer.scf"), photo(24, "run.bat"),
        photo(25, "setup.exe"),
        photo(26, "Same.jpg", "同名", 1500090000), photo(27, "same.jpg", "同名", 1500090000),
        photo(28, "ok.jpg", "好的"), twice, twice,
    ])
    long_caption = Album("3990000004", HUGE_CAPTION, [photo(31, "long0001pic.jpg", HUGE_CAPTION)])
    return Owner(ESCAPING_UID, "..", [climbing, device, named, long_caption], homepage="1000000005")


def _wanderer():
    """An owner whose names hold characters code page 936 lacks: an emoji in the nick, two captions
    that differ only in their emoji, photo captions with ö, Hangul and emoji, and an album and
    captions of 300 Hangul syllables, far past a file name's 200 bytes."""
    def photos(album_id, count, caption_of):
        return _photos(album_id, count, caption_of, lambda k: 1500000000 + k * 60)

    flying = Album("4220000001", "旅行✈", photos("4220000001", 2, lambda k: f'Jörg 사진 ✈ "{k}"'))
    driving = Album("4220000002", "旅行🚗", photos("4220000002", 3, lambda k: f"路上 🚗 {k}"))
    long_captions = {1: HANGUL_RUN, 2: MIXED_RUN}
    hangul = Album("4220000003", HANGUL_RUN, photos("4220000003", 2, long_captions.get))
    return Owner("1000000006", "旅人🚗", [flying, driving, hangul])


# 300 different Hangul syllables, none in code page 936: 900 bytes of UTF-8.
HANGUL_RUN = "".join(chr(0xAC00 + k) for k in range(300))
# Two Chinese characters (two bytes each in code page 936), then emoji, Hangul and ASCII, counted
# by their UTF-8 bytes (four, three, one) where code page 936 lacks them: 244 bytes so counted, cut
# to 200 right after the 25th emoji (counted in UTF-8 alone, the cut would fall before it).
MIXED_RUN = "中文" + "😀한a" * 30

# The escaping owner's ids hold real backslashes: "..\..\escape_oid".
ESCAPING_UID = "..\\..\\escape_oid"
CLIMBING_ALBUM_ID = "..\\..\\escape_album"
# About 10 kB: a caption far past any file name's length. Mostly ASCII, because Wine keeps a Windows
# name as a Linux one, at most 255 bytes of UTF-8: a name of 240 Chinese characters, which Windows
# holds, would come back cut under Wine.
HUGE_CAPTION = "非常长的相册说明 " + "a very long album caption " * 390

OWNERS = build_owners()
HOMEPAGES = {owner.homepage: owner for owner in OWNERS.values()}


def _id_forms(text):
    """An id as asked for, and with either kind of slash: a client may turn "\\" into "/"."""
    return (text, text.replace("/", "\\"))


def find_owner(uid):
    for form in _id_forms(uid):
        if form in OWNERS:
            return OWNERS[form]
    return None


def find_album(owner_uid, album_id):
    owner = find_owner(owner_uid)
    if not owner:
        return None
    forms = _id_forms(album_id)
    return next((album for album in owner.albums if album.album_id in forms), None)


# -- albums as listed while the emulator runs ------------------------------------------------------
# Grown photos are named after the album's id with whatever is not a letter, digit or "_" left out,
# so that a climbing id (..\..\escape_album) gives a plain name ("escape_albumnew1pic.jpg").
GROWN_NAME = re.compile(r"^(\w+)new(\d+)pic\.jpg$", re.ASCII)
ACCOUNT_NAME = re.compile(r"^(43300000\d\d)(\d{4})pic\.jpg$")


def name_stem(album_id):
    return re.sub(r"[^0-9A-Za-z_]", "", album_id) or "album"


def _albums_by_id():
    albums = {}
    for owner in OWNERS.values():
        for album in owner.albums:
            albums.setdefault(album.album_id, album)
    return albums


ALBUMS = _albums_by_id()
STEMS = {name_stem(album_id): album for album_id, album in ALBUMS.items()}


def find_any_album(album_id):
    """An album of any owner by its id alone (ids are unique across the sample owners)."""
    for form in _id_forms(album_id):
        if form in ALBUMS:
            return ALBUMS[form]
    return None


def grown_photos(album, listed, count):
    """`count` photos newer than every photo listed, newest first: the j-th added is named
    "<stem>new<j>pic.jpg" and is a minute newer than the one added before it."""
    newest = max((photo.timestamp for photo in listed), default=1500000000)
    stem = name_stem(album.album_id)
    return [Photo(f"{stem}new{j:04d}", f"{stem}new{j}pic.jpg", f"新照片 {j}", newest + j * 60)
            for j in range(count, 0, -1)]


def listed_photos(album, account_photos=0, grown=0):
    """An album's photos as the service lists them now: the account's albums hold `account_photos`
    when it is set, and `grown` new photos come first."""
    photos = album.photos
    if account_photos and album.album_id in ACCOUNT_ALBUM_IDS:
        photos = _account_photos(album.album_id, account_photos)
    if grown:
        photos = grown_photos(album, photos, grown) + photos
    return photos


def extra_photo(name):
    """(album, label) of a photo that only an account photo count or growth lists, else None:
    its number alone, since the album's count changes with the setting."""
    found = ACCOUNT_NAME.match(name)
    if found and found.group(1) in ACCOUNT_ALBUM_IDS and int(found.group(2)) > 0:
        return ALBUMS[found.group(1)], str(int(found.group(2)))
    found = GROWN_NAME.match(name)
    if found and found.group(1) in STEMS and int(found.group(2)) > 0:
        return STEMS[found.group(1)], f"新 {int(found.group(2))}"
    return None
