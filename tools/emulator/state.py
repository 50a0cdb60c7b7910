"""What the emulator remembers while it runs: QR codes, sign-on tickets, sessions and their
lapses, faults, request counts, and the sample data's changes (the account's photo count, grown
albums). Every handler thread goes through one lock."""

import random
import secrets
import threading
import time

from . import data

DEFAULT_FAULTS = {
    "latency": 0,          # ms from a request's arrival to its answer
    "picture_latency": 0,  # the same, more, for picture answers
    "scope": "pictures",   # which answers the faults below hit: "pictures", "pages" (photo lists) or "all"
    "error_rate": 0.0,     # share answered 500
    "fail_first": 0,       # the first N requests of every address answered 500
    "drop_rate": 0.0,      # share whose connection is dropped halfway through the body
    "short_rate": 0.0,     # share whose Content-Length promises more than is sent
    "rate_limit": 0.0,     # share answered 418
    "limit_count": 0,      # the next N requests answered 418
    "limit_ms": 0,         # requests answered 418 for N ms (from now, or after every limit_every pictures)
    "limit_every": 0,      # the limit_ms window opens after every N pictures served
    "retry_after": -1,     # the Retry-After seconds of the rate-limit answers; -1: none
    "limit_status": 418,   # their status: 418, 429 or 432
    "fail_page": 0,        # this page of every photo list ...
    "fail_album_page": 0,  # ... or of every album list ...
    "fail_page_times": 0,  # ... is answered as a failure this many times (-1: always) ...
    "fail_page_shape": "500",  # ... of this shape (PAGE_FAILURE_SHAPES)
    "chunked_cut": False,  # picture bodies sent chunked and broken off halfway, no last chunk
    "redirect_lists": False,  # album and photo lists sent on (302) to the stranger host
    "need_referer": False,  # pictures asked for without the main site's Referer answered 403
    "no_length": False,    # bodies delimited by closing the connection
    "chunked": False,      # bodies sent chunked
    "trickle": False,      # bodies sent in small pieces, slowly
    "repeat_pages": False,  # album and photo lists answer their first page whatever page is asked for
    "claim_total": 0,      # album and photo lists claim this many in "total" (0: the truth)
    "drip": 0,             # bodies sent N bytes every 0.2 s (1: a host that never quite stops)
    "scale_pictures": False,  # pictures from a few drawn bodies, each made unique by its address
    "seed": 1,
    "refuse_sessions": False,  # the main site treats every session cookie as unknown
    "slow_path": "",       # one path (a homepage "/u/<id>", say) answered late ...
    "slow_path_ms": 0,     # ... by this many ms
    "expire_session_after": 0,  # a session's list requests after this many are answered as lapsed (0: never)
    "expire_session_times": -1,  # how many sessions may lapse so (-1: every one)
    "expire_session_shape": "redirect",  # a lapse's answer: LAPSE_SHAPES
}

# How a failing list page is answered: a server error, a 200 that is no list (an error object, an
# empty body, an HTML page, text that is not JSON, the page's JSON without its list), a refusal
# (403) or rate limit (432), or the list cut off halfway.
PAGE_FAILURE_SHAPES = ("500", "error_object", "empty", "html", "not_json", "no_list", "403", "432", "cut")
# A lapsed session's list answer: a 302 to the sign-on host's login page, or that page itself (200).
LAPSE_SHAPES = ("redirect", "html")
LIMIT_STATUSES = (418, 429, 432)

DEFAULT_QR = {"scan_after": 3, "confirm_after": 6, "expire_after": 0}


class ServiceState:
    def __init__(self, qr_settings=None, faults=None, account_photos=0):
        self.lock = threading.Lock()
        self.qr_settings = dict(DEFAULT_QR, **(qr_settings or {}))
        self.initial_qr_settings = dict(self.qr_settings)
        self.faults = dict(DEFAULT_FAULTS, **(faults or {}))
        self.random = random.Random(self.faults["seed"])
        self.qr_codes = {}        # qrid -> {"polls", "status"}
        self.tickets = {}         # alt -> qrid
        self.cross_tickets = {}   # ticket -> session value
        self.sessions = set()     # valid SUB cookie values
        self.requests = {}        # path -> how many times it was asked for
        self.answered = {}        # path -> how many answers to it went out whole
        self.lapsed = set()       # SUB values of sessions that lapsed (no longer in `sessions`)
        self.lapsed_answers = 0   # list answers sent as a lapsed session's
        self.initial_account_photos = self.account_photos = _account_photos(account_photos)
        self.grown = {}           # album id -> photos added in front of it
        self.covers_in_flight = 0       # cover requests arrived whose answer has not started out
        self.most_covers_in_flight = 0  # the most of them at once since the last reset
        self._arm_counters(self.faults)

    # -- QR codes ----------------------------------------------------------------------------
    def new_qr(self):
        with self.lock:
            qrid = "QR" + secrets.token_hex(8)
            self.qr_codes[qrid] = {"polls": 0, "status": "waiting"}
            return qrid

    def poll_qr(self, qrid):
        """The status of a code after one more poll: waiting, scanned, confirmed, expired, used
        or unknown. Scanning and confirming come by themselves after a number of polls."""
        with self.lock:
            code = self.qr_codes.get(qrid)
            if code is None:
                return "unknown", None
            code["polls"] += 1
            settings = self.qr_settings
            if code["status"] in ("waiting", "scanned"):
                if settings["expire_after"] and code["polls"] >= settings["expire_after"]:
                    code["status"] = "expired"
                elif settings["confirm_after"] and code["polls"] >= settings["confirm_after"]:
                    code["status"] = "confirmed"
                elif settings["scan_after"] and code["polls"] >= settings["scan_after"]:
                    code["status"] = "scanned"
            alt = None
            if code["status"] == "confirmed":
                alt = code.setdefault("alt", "ALT-" + secrets.token_hex(12))
                self.tickets[alt] = qrid
            return code["status"], alt

    def set_qr(self, qrid, status):
        with self.lock:
            targets = [qrid] if qrid else list(self.qr_codes)
            for target in targets:
                if target in self.qr_codes:
                    self.qr_codes[target]["status"] = status
            return bool(targets)

    def set_qr_settings(self, changes):
        """Changes how codes move by themselves (scan_after, confirm_after, expire_after)."""
        with self.lock:
            for key, value in changes.items():
                if key not in DEFAULT_QR:
                    raise KeyError(key)
                self.qr_settings[key] = int(value)

    def use_ticket(self, alt):
        """Exchanges a confirmed code's ticket for a cross-domain ticket, once."""
        with self.lock:
            qrid = self.tickets.pop(alt, None)
            if not qrid:
                return None
            self.qr_codes[qrid]["status"] = "used"
            ticket = "T" + secrets.token_hex(12)
            self.cross_tickets[ticket] = "SUB" + secrets.token_hex(16)
            return ticket

    def open_session(self, ticket):
        with self.lock:
            session = self.cross_tickets.pop(ticket, None)
            if session:
                self.sessions.add(session)
            return session

    def is_session(self, cookie_header):
        values = _cookie_values(cookie_header)
        with self.lock:
            return not self.faults["refuse_sessions"] and values.get("SUB") in self.sessions

    def list_request(self, cookie_header):
        """Counts one list request of a session; True when it is to be answered as lapsed: its
        session lapsed before, or lapses now, past expire_session_after list requests. A lapsed
        session counts as signed in nowhere."""
        session = _cookie_values(cookie_header).get("SUB")
        with self.lock:
            if session in self.lapsed:
                self.lapsed_answers += 1
                return True
            after = self.faults["expire_session_after"]
            if not after or self.faults["refuse_sessions"] or session not in self.sessions or self.lapses_left == 0:
                return False
            self.list_counts[session] = self.list_counts.get(session, 0) + 1
            if self.list_counts[session] <= after:
                return False
            if self.lapses_left > 0:
                self.lapses_left -= 1
            self.sessions.discard(session)
            self.lapsed.add(session)
            self.lapsed_answers += 1
            return True

    def lapse(self, cookie_header):
        """Ends a session at once (chaos mode's lapse); True when there was one to end."""
        session = _cookie_values(cookie_header).get("SUB")
        with self.lock:
            if session not in self.sessions:
                return False
            self.sessions.discard(session)
            self.lapsed.add(session)
            self.lapsed_answers += 1
            return True

    def is_lapsed(self, cookie_header):
        with self.lock:
            return _cookie_values(cookie_header).get("SUB") in self.lapsed

    def note_lapsed_answer(self):
        with self.lock:
            self.lapsed_answers += 1

    # -- the sample data's changes -----------------------------------------------------------
    def set_account_photos(self, count):
        with self.lock:
            self.account_photos = _account_photos(count)

    def grow(self, album_id, count):
        """Adds `count` new photos in front of an album; the photos it now has in front."""
        if count < 1:
            raise ValueError(f"count: {count}")
        with self.lock:
            self.grown[album_id] = self.grown.get(album_id, 0) + count
            return self.grown[album_id]

    def photos_of(self, album):
        """An album's photos as the service lists them now."""
        with self.lock:
            account_photos, grown = self.account_photos, self.grown.get(album.album_id, 0)
        return data.listed_photos(album, account_photos, grown)

    def changed(self, album):
        """Whether an album is listed otherwise than the sample data has it."""
        with self.lock:
            return album.album_id in self.grown or (
                bool(self.account_photos) and album.album_id in data.ACCOUNT_ALBUM_IDS)

    # -- faults and counts -------------------------------------------------------------------
    def count_request(self, path):
        with self.lock:
            self.requests[path] = self.requests.get(path, 0) + 1
            return self.requests[path]

    def cover_began(self):
        with self.lock:
            self.covers_in_flight += 1
            self.most_covers_in_flight = max(self.most_covers_in_flight, self.covers_in_flight)

    def cover_ended(self):
        with self.lock:
            self.covers_in_flight -= 1

    def count_answer(self, path):
        with self.lock:
            self.answered[path] = self.answered.get(path, 0) + 1

    def draw(self, share):
        if share <= 0:
            return False
        with self.lock:
            return self.random.random() < share

    def set_faults(self, changes):
        with self.lock:
            for key, value in changes.items():
                if key not in DEFAULT_FAULTS:
                    raise KeyError(key)
                kind = type(DEFAULT_FAULTS[key])
                if kind is bool:
                    value = value in ("1", "true", "yes", True)
                else:
                    value = kind(value)
                if key == "fail_page_shape" and value not in PAGE_FAILURE_SHAPES:
                    raise ValueError(f"fail_page_shape: {value}")
                if key == "expire_session_shape" and value not in LAPSE_SHAPES:
                    raise ValueError(f"expire_session_shape: {value}")
                if key == "limit_status" and value not in LIMIT_STATUSES:
                    raise ValueError(f"limit_status: {value}")
                self.faults[key] = value
            self.random = random.Random(self.faults["seed"])
            self._arm_counters(changes)

    def _arm_counters(self, changes):
        """Starts the counted and timed faults that `changes` names (the lock is held)."""
        if "limit_count" in changes:
            self.limits_left = self.faults["limit_count"]
        if "limit_ms" in changes or "limit_every" in changes:
            self.limited_until = 0.0
            if not self.faults["limit_every"]:
                self.limited_until = time.monotonic() + self.faults["limit_ms"] / 1000.0
        if "fail_page_times" in changes or "fail_page" in changes or "fail_album_page" in changes:
            # Each list counts its own failures: "once" fails one photo page and one album page.
            self.page_failures_left = {"photos": self.faults["fail_page_times"], "albums": self.faults["fail_page_times"]}
        if "expire_session_after" in changes or "expire_session_times" in changes:
            # Every session counts its list requests from the moment the lapse is set.
            self.list_counts = {}
            self.lapses_left = self.faults["expire_session_times"]
        if not hasattr(self, "pictures_served"):
            self.pictures_served = 0

    def take_limit(self):
        """Whether this answer is to be a rate limit (418): counted ones first, then a window."""
        with self.lock:
            if self.limits_left > 0:
                self.limits_left -= 1
                return True
            return time.monotonic() < self.limited_until

    def picture_served(self):
        with self.lock:
            self.pictures_served += 1
            every = self.faults["limit_every"]
            if every and self.pictures_served % every == 0:
                self.limited_until = time.monotonic() + self.faults["limit_ms"] / 1000.0

    def take_page_failure(self, page, listing="photos"):
        """The shape this page of a photo list (or with listing "albums", of an album list) is to
        fail in, or None when it is answered as it should be."""
        with self.lock:
            failing = self.faults["fail_album_page" if listing == "albums" else "fail_page"]
            if page != failing or self.page_failures_left[listing] == 0:
                return None
            if self.page_failures_left[listing] > 0:
                self.page_failures_left[listing] -= 1
            return self.faults["fail_page_shape"]

    def reset(self):
        with self.lock:
            self.faults = dict(DEFAULT_FAULTS)
            self.qr_settings = dict(self.initial_qr_settings)
            self.random = random.Random(self.faults["seed"])
            self.requests.clear()
            self.answered.clear()
            self.pictures_served = 0
            # Lapsed sessions count as signed in again, as if the lapse had never been set.
            self.sessions |= self.lapsed
            self.lapsed.clear()
            self.lapsed_answers = 0
            self.account_photos = self.initial_account_photos
            self.grown.clear()
            self.most_covers_in_flight = self.covers_in_flight
            self._arm_counters(self.faults)

    def snapshot(self):
        with self.lock:
            return {"faults": dict(self.faults), "qr": dict(self.qr_settings),
                    "requests": dict(self.requests), "answered": dict(self.answered),
                    "sessions": len(self.sessions), "lapsed_sessions": len(self.lapsed),
                    "lapsed_answers": self.lapsed_answers, "account_photos": self.account_photos,
                    "grown": dict(self.grown), "now": time.monotonic(), "wall": time.time(),
                    "covers_in_flight": self.covers_in_flight, "most_covers_in_flight": self.most_covers_in_flight,
                    "qr_codes": {k: dict(v) for k, v in self.qr_codes.items()}}


def _account_photos(count):
    count = int(count)
    if not 0 <= count <= data.MOST_ACCOUNT_PHOTOS:
        raise ValueError(f"account photos: {count} (0 to {data.MOST_ACCOUNT_PHOTOS})")
    return count


def _cookie_values(header):
    values = {}
    for part in (header or "").split(";"):
        name, _, value = part.strip().partition("=")
        if name:
            values[name] = value
    return values
