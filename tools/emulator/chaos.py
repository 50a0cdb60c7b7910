"""Chaos mode (/chaos?seed=N&level=ci|full on the control port, off with /reset): the chaos owner's
homepage, album and photo lists, covers and pictures are answered with faults, on every host that
can be sent to (main site, photo service, image host, stranger). An answer's fault is a pure function
of (seed, level, method, path, query, the n-th request for that address): a seed replays exactly
whatever order requests arrive in. Sign-in is never faulted.

Every request taken here is recorded (/chaos/record): what it asked for, its fault, whether the true
answer went out whole and, for a photo list, which photos it listed; the driver checks the
program's claims against that record."""

import http.server
import json
import re
import socket
import struct
import threading
import time
import urllib.parse
from email.utils import formatdate

from . import ports
from .chaos_values import HOMEPAGE_ID, KEY_PATTERN, Draw, Plan
from .images import SIZES

PICTURE_SIZES = ("/large/", "/mw1024/", "/mw690/", "/small/")
COVER_PATTERN = re.compile(r"/thumb150/zc(\d{2})cover\.jpg$")
HOP_PATTERN = re.compile(r"[?&]chaos_hop=(\d+)$")
KEY = re.compile(KEY_PATTERN)
HOSTS = ("main", "photos", "images", "stranger")
KINDS = ("homepage", "album_list", "photo_list", "picture", "cover")

FAULTS = ("delay", "stall", "cut_short", "cut_chunked", "cut_close", "cut_unframed", "reset", "500", "503",
          "418", "429", "432", "error_object", "html", "empty", "redirect_same", "redirect_service",
          "redirect_stranger")
REDIRECTS = ("redirect_same", "redirect_service", "redirect_stranger")
# Faults a run must ask for by name (/chaos?...&with=expire_session): a lapsed session needs a new
# sign-in before anything goes on, which a run that does not expect it cannot give.
OPTIONAL_FAULTS = ("expire_session",)
# The share of signed-in list answers (album and photo lists, main site and photo service) that
# end the session when expire_session is asked for; drawn apart from the other faults, so that
# asking for it leaves every other answer's fault as it was.
EXPIRE_RATE = 0.04
LIMITS = ("418", "429", "432")
# Rows of the coverage table beyond the classes: how limits named their wait.
LIMIT_ROWS = ("limit with Retry-After", "limit without Retry-After")

# The share of answers faulted, by kind.
RATES = {"homepage": 0.3, "album_list": 0.3, "photo_list": 0.3, "picture": 0.22, "cover": 0.3}
# The largest delay, stall and Retry-After (seconds) and the share of limits without Retry-After
# (the program then waits 30 s, doubled for each limit in a row). At level ci a stall stays below
# the test build's 6 s stall window; at level full some go past it.
BOUNDS = {"ci": {"delay": 3.0, "stall": 4.5, "retry_after": 2, "no_retry_after": 0.12},
          "full": {"delay": 5.0, "stall": 10.0, "retry_after": 5, "no_retry_after": 0.25}}
# Where "another service host" is, by kind: a host that can answer the same request.
OTHER_SERVICE = {"homepage": "photos", "album_list": "main", "photo_list": "main", "picture": "photos", "cover": "main"}
RECORD_LIMIT = 100000
LONGEST_LOCATION = 1300  # bytes of path and query a redirect may carry (see choose_fault)


class Fault:
    def __init__(self, name, **values):
        self.name = name
        self.values = values

    def __getattr__(self, item):
        try:
            return self.values[item]
        except KeyError:
            raise AttributeError(item) from None


def choose_fault(seed, level, method, path, query, n, kind, hop, without=()):
    """The fault of one answer, or None: from its fields alone. A fault `without` names ("html" or
    "html@picture") is left out; every other answer keeps its fault."""
    d = Draw("fault", seed, level, method, path, query, n)
    if not d.chance(RATES[kind]):
        return None
    bounds = BOUNDS[level]
    # A chain of redirects ends: the third hop is answered.
    name = d.choice(FAULTS if hop < 2 else tuple(f for f in FAULTS if f not in REDIRECTS))
    if name in without or f"{name}@{kind}" in without:
        return None
    # Wine's WinHTTP cuts a response header line at 1460 bytes: a longer Location would reach the
    # program cut, which no Windows client sees.
    if name in REDIRECTS and len(path) + len(query) > LONGEST_LOCATION:
        return None
    if name == "delay":
        return Fault(name, seconds=d.between(0.3, bounds["delay"]))
    if name == "stall":
        return Fault(name, seconds=d.between(0.5, bounds["stall"]), share=d.between(0.1, 0.9))
    if name in ("cut_short", "cut_chunked", "cut_close", "cut_unframed", "reset"):
        return Fault(name, share=d.between(0.05, 0.95), extra=1 + d.below(4000))
    if name in LIMITS:
        wait = None if d.chance(bounds["no_retry_after"]) else d.below(bounds["retry_after"] + 1)
        return Fault(name, retry_after=wait, as_date=level == "full" and wait is not None and d.chance(0.2))
    return Fault(name, hop=hop + 1)


def choose_expiry(seed, level, method, path, query, n):
    """(lapses, shape) of a signed-in list answer in a run that asked for expire_session: whether it
    ends the session, and whether a lapsed answer there is a 302 to the login page ("redirect") or
    the page itself ("html"). From its fields alone, as choose_fault."""
    d = Draw("expire", seed, level, method, path, query, n)
    shape = "html" if d.chance(0.5) else "redirect"
    return d.chance(EXPIRE_RATE), shape


def _strip_hop(target):
    found = HOP_PATTERN.search(target)
    return (target[:found.start()], int(found.group(1))) if found else (target, 0)


def _query(raw):
    # Plain unquoting: ids hold no "+", and "%5C" must come back as a backslash.
    values = {}
    for part in raw.split("&"):
        name, _, value = part.partition("=")
        values[_wire_text(name)] = _wire_text(value)
    return values


def _wire_text(text):
    """A request's text as the client meant it: the bytes on the wire (the server read them as
    Latin-1), %XX decoded, read as UTF-8."""
    try:
        raw = text.encode("latin-1")
    except UnicodeEncodeError:
        return text
    return urllib.parse.unquote_to_bytes(raw).decode("utf-8", errors="replace")


def _forms(text):
    return {text, text.replace("/", "\\"), text.replace("\\", "/")}


class Chaos:
    def __init__(self, services):
        self.services = services
        self.lock = threading.Lock()
        self.plan = None
        self.without = ()
        self.optional = ()  # OPTIONAL_FAULTS asked for
        self.names, self.keys = {}, {}  # pic_name -> key, key -> (album index, photo)
        self.counts = {}  # (method, path, query) -> requests so far
        self.record = []

    # -- control ------------------------------------------------------------------------------
    def start(self, seed, level, without=(), plain=(), optional=()):
        unknown = [item for item in without if item.partition("@")[0] not in FAULTS
                   or item.partition("@")[2] not in ("", *KINDS)]
        if unknown:
            raise ValueError(f"without: {', '.join(unknown)}")
        unknown = [item for item in optional if item not in OPTIONAL_FAULTS]
        if unknown:
            raise ValueError(f"with: {', '.join(unknown)}")
        plan = Plan(int(seed), level, plain)
        with self.lock:
            self.plan = plan
            self.without = tuple(without)
            self.optional = tuple(optional)
            self.counts = {}
            self.record = []
            self.names = {photo.pic_name: key for key, (_, photo) in plan.photo_keys().items()}
            self.keys = plan.photo_keys()
        return plan

    def stop(self):
        with self.lock:
            self.plan = None
            self.optional = ()
            self.counts = {}
            self.record = []

    def control(self, path, query):
        from .services import Response, json_answer
        if path == "/chaos":
            try:
                plan = self.start(query.get("seed", "1"), query.get("level", "ci"),
                                  [item for item in query.get("without", "").split(",") if item],
                                  [item for item in query.get("plain", "").split(",") if item],
                                  [item for item in query.get("with", "").split(",") if item])
            except ValueError as error:
                return json_answer({"ok": False, "error": str(error)})
            described = dict(plan.describe(), without=list(self.without))
            if self.optional:
                described["with"] = list(self.optional)
            return json_answer({"ok": True, "plan": described})
        plan = self.plan
        if plan is None:
            return json_answer({"ok": False, "error": "chaos is off"})
        if path == "/chaos/plan":
            return json_answer({"ok": True, "plan": plan.describe()})
        if path == "/chaos/record":
            since = max(0, int(query.get("since") or 0))
            with self.lock:
                entries = [dict(entry) for entry in self.record[since:]]
                total = len(self.record)
            return json_answer({"ok": True, "total": total, "entries": entries})
        if path == "/chaos/reference":
            # The bytes the image host gives for a photo or cover in one size, without faults.
            size, key = query.get("size", ""), query.get("key", "")
            if size not in SIZES or not (key in self.keys or re.fullmatch(r"zc\d{2}", key)):
                return json_answer({"ok": False, "error": "unknown picture"})
            return Response(body=self.picture_bytes(size, key), content_type="image/png")
        if path == "/chaos/coverage":
            return json_answer({"ok": True, "coverage": self.coverage()})
        return json_answer({"ok": False, "error": "unknown chaos request"})

    def coverage(self):
        """Answers per fault class and kind, and the hostile values the owner holds, per class."""
        with self.lock:
            entries = list(self.record)
            plan = self.plan
            # An optional fault has a row only in a run that asked for it: a run's coverage needs
            # every row it shows.
            rows = FAULTS + self.optional + LIMIT_ROWS
        faults = {name: {kind: 0 for kind in KINDS} for name in rows}
        for entry in entries:
            name = entry["fault"]
            if not name:
                continue
            faults[name][entry["kind"]] += 1
            if name in LIMITS:
                row = LIMIT_ROWS[0] if entry["retry_after"] is not None else LIMIT_ROWS[1]
                faults[row][entry["kind"]] += 1
        # Lists, not objects: the rows' names hold blanks.
        values = plan.coverage() if plan else {}
        return {"kinds": list(KINDS), "faults": [{"name": name, "counts": [faults[name][kind] for kind in KINDS]}
                                                 for name in rows],
                "values": [{"name": name, "count": count} for name, count in values.items()]}

    # -- requests -----------------------------------------------------------------------------
    def takes(self, service, path):
        """Whether a request is the chaos owner's: its homepage, lists, covers and pictures."""
        if self.plan is None or service not in HOSTS:
            return False
        return (path.rstrip("/") == "/u/" + HOMEPAGE_ID or path in ("/albums/get_all", "/photos/get_all")
                or path.startswith(PICTURE_SIZES) or bool(COVER_PATTERN.search(path)))

    def picture_bytes(self, size, key):
        return self.services.pictures.get(size, key)

    def find_photo(self, remainder):
        """(key, exact): the photo a picture request names, by its whole name (exact), else by the
        key in it; (None, False) when it names none."""
        name = _wire_text(remainder)
        for form in (remainder, name, *_forms(name)):
            if form in self.names:
                return self.names[form], True
        found = KEY.search(name)
        return (found.group(0), False) if found and found.group(0) in self.keys else (None, False)

    def serve(self, handler, service):
        from .services import json_answer
        plan = self.plan
        method = handler.command
        target, hop = _strip_hop(handler.path)
        path, _, raw_query = target.partition("?")
        query = _query(raw_query)
        signed_in = service != "stranger" and self.services.state.is_session(handler.headers.get("Cookie"))
        target_text = handler.path if len(handler.path) <= 300 else handler.path[:150] + "…" + handler.path[-150:]
        entry = {"service": service, "target": target_text, "target_length": len(handler.path), "hop": hop, "album": -1, "key": "", "page": 0,
                 "size": "", "resolved": True, "unresolved": "", "fault": "", "retry_after": None, "whole": False, "done": False}

        response, listed = None, None
        if path.startswith("/u/"):
            kind = "homepage"
            uid = "2000000001" if signed_in else ""
            if not signed_in:  # an analysis can go no further with this page
                entry["resolved"], entry["unresolved"] = False, "no session"
            config = f"$CONFIG['oid']='{plan.oid}';\n$CONFIG['onick']='{plan.onick}';\n$CONFIG['uid']='{uid}';\n"
            response = _html(f"<html><head><script>var $CONFIG = {{}};\n{config}</script></head>"
                             f"<body>{plan.onick} 的主页</body></html>")
        elif path == "/albums/get_all":
            kind = "album_list"
            entry["page"] = page = max(1, _int(query.get("page"), 1))
            count = max(1, _int(query.get("count"), 20))
            if service in ("main", "photos") and not signed_in:
                response = json_answer({"result": False, "code": "100002", "msg": "not login", "data": {}})
                entry["resolved"], entry["unresolved"] = False, "no session"
            elif not (_forms(query.get("uid", "")) & {plan.oid}):
                response = json_answer({"result": True, "data": {"total": 0, "album_list": []}})
                entry["resolved"], entry["unresolved"] = False, "unknown owner"
            else:
                chosen = plan.albums[(page - 1) * count: page * count]
                response = json_answer({"result": True, "data": {"total": plan.album_total, "album_list": [{
                    "album_id": album.album_id, "caption": album.caption, "uid": album.uid,
                    "cover_pic": self.address("images", f"/thumb150/zc{album.index:02d}cover.jpg") if album.cover else "",
                    "count": {"photos": album.count, "likes": 0}} for album in chosen]}})
        elif path == "/photos/get_all":
            kind = "photo_list"
            entry["page"] = page = max(1, _int(query.get("page"), 1))
            count = max(1, _int(query.get("count"), 32))
            wanted = _forms(query.get("album_id", ""))
            album = next((album for album in plan.albums if album.album_id in wanted), None)
            if service in ("main", "photos") and not signed_in:
                response = json_answer({"result": False, "code": "100002", "msg": "not login", "data": {}})
                entry["resolved"], entry["unresolved"] = False, "no session"
            elif album is None:
                response = json_answer({"result": True, "data": {"total": 0, "album_id": query.get("album_id", ""),
                                                                 "photo_list": []}})
                entry["resolved"], entry["unresolved"] = False, "unknown album"
            else:
                entry["album"] = album.index
                chosen = album.photos[(page - 1) * count: page * count]
                listed = [photo.key for photo in chosen]
                response = json_answer({"result": True, "data": {
                    "total": album.total, "album_id": query.get("album_id", ""), "photo_list": [{
                        "photo_id": f"{album.index}{k:04d}", "pic_host": self.host_address(photo.host),
                        "pic_name": photo.pic_name, "caption_render": photo.caption, "timestamp": photo.timestamp,
                        "type": 3} for k, photo in enumerate(chosen, (page - 1) * count + 1)]}})
        elif path.startswith("/thumb150/"):
            kind = "cover"
            index = int(COVER_PATTERN.search(path).group(1))
            entry["album"], entry["key"], entry["size"] = index, f"zc{index:02d}", "/thumb150/"
            if index >= len(plan.albums):
                entry["resolved"], entry["unresolved"] = False, "unknown album"
                response = _html("<html><body>404 not found</body></html>", 404)
            else:
                response = _png(self.picture_bytes("/thumb150/", f"zc{index:02d}"))
        else:
            kind = "picture"
            size = next(size for size in PICTURE_SIZES if path.startswith(size))
            remainder = path[len(size):] + ("?" + raw_query if raw_query else "")
            key, entry["exact"] = self.find_photo(remainder)
            entry["size"] = size
            if key is None:
                entry["resolved"], entry["unresolved"] = False, "unknown picture"
                response = _html("<html><body>404 not found</body></html>", 404)
            else:
                entry["key"] = key
                entry["album"] = self.keys[key][0]
                response = _png(self.picture_bytes(size, key))
        entry["kind"] = kind

        fault = None
        with self.lock:
            address = (method, *handler.path.partition("?")[::2])
            n = self.counts[address] = self.counts.get(address, 0) + 1
            entry["n"] = n
            if entry["resolved"]:
                fault = choose_fault(plan.seed, plan.level, *address, n, kind, hop, self.without)
            lapse = self.lapse(plan, handler, service, kind, address, n)
            if lapse:
                fault, response = lapse
            if fault:
                entry["fault"] = fault.name
                if fault.name in ("418", "429", "432"):
                    entry["retry_after"] = fault.retry_after
            if len(self.record) < RECORD_LIMIT:
                entry["i"] = len(self.record)
                self.record.append(entry)
        whole = send(handler, response, fault, self.redirect_target(fault, kind, service, target, hop) if fault else None)
        with self.lock:
            entry["done"] = True
            entry["whole"] = whole and response.status == 200 and entry["resolved"] and (
                fault is None or fault.name in ("delay", "stall"))
            if listed is not None and entry["whole"]:
                entry["listed"] = listed

    def lapse(self, plan, handler, service, kind, address, n):
        """(fault, answer) when a list request is answered as a lapsed session's: its session lapsed
        before, or lapses now (one in EXPIRE_RATE, drawn from the address as the faults are); None
        when the run did not ask for expire_session."""
        if "expire_session" not in self.optional or kind not in ("album_list", "photo_list") \
                or service not in ("main", "photos"):
            return None
        state, cookie = self.services.state, handler.headers.get("Cookie")
        lapses, shape = choose_expiry(plan.seed, plan.level, *address, n)
        if state.is_lapsed(cookie):
            state.note_lapsed_answer()
        elif not (lapses and state.lapse(cookie)):
            return None
        host = handler.headers.get("Host") or ports.address(service, self.services.base)
        return Fault("expire_session", shape=shape), self.services.lapsed_answer(host, handler.path, shape)

    def redirect_target(self, fault, kind, service, target, hop):
        separator = "&" if "?" in target else "?"
        moved = f"{target}{separator}chaos_hop={hop + 1}"
        if fault.name == "redirect_same":
            return moved  # relative: the same host
        if fault.name == "redirect_service":
            other = OTHER_SERVICE[kind]
            if other == service:
                other = "main" if service != "main" else "photos"
            return f"http://{ports.address(other, self.services.base)}{moved}"
        if fault.name == "redirect_stranger":
            return f"http://{ports.address('stranger', self.services.base)}{moved}"
        return None

    def address(self, host, path):
        return f"http://{ports.address(host, self.services.base)}{path}"

    def host_address(self, host):
        return f"http://{ports.address(host, self.services.base)}"


def _int(text, default):
    try:
        return int(text)
    except (TypeError, ValueError):
        return default


def _html(text, status=200):
    from .services import html_answer
    return html_answer(text, status)


def _png(body):
    from .services import Response
    return Response(body=body, content_type="image/png")


def _reason(status):
    return http.server.BaseHTTPRequestHandler.responses.get(status, ("",))[0]


def send(handler, response, fault, location):
    """Sends an answer as its fault shapes it; True when every byte of it went out."""
    body = response.body
    status, content_type, headers = response.status, response.content_type, list(response.headers)
    name = fault.name if fault else ""
    if name in ("500", "503"):
        status, content_type, body, headers = int(name), "text/html", f"<html>{name} server error</html>".encode(), []
    elif name in ("418", "429", "432"):
        status, content_type, body, headers = int(name), "text/html", f"<html>{name} slow down</html>".encode(), []
        if fault.retry_after is not None:
            wait = formatdate(time.time() + fault.retry_after, usegmt=True) if fault.as_date else str(fault.retry_after)
            headers.append(("Retry-After", wait))
    elif name == "error_object":
        status, content_type, body, headers = 200, "application/json", b'{"code":"100001","msg":"busy"}', []
    elif name == "html":
        status, content_type, headers = 200, "text/html; charset=utf-8", []
        body = "<!DOCTYPE html><html><head><title>微博</title></head><body>系统繁忙,请稍后再试</body></html>".encode()
    elif name == "empty":
        status, body, headers = 200, b"", []
    elif name in REDIRECTS:
        status, content_type, body, headers = 302, "text/html", b"", [("Location", location)]

    head = [f"HTTP/1.1 {status} {_reason(status)}", f"Content-Type: {content_type}", f"Server: {handler.server_version}"]
    head += [f"{key}: {value}" for key, value in headers]
    cut = int(len(body) * fault.share) if name.startswith("cut") or name in ("reset", "stall") else len(body)
    if name == "cut_short":
        head.append(f"Content-Length: {len(body) + fault.extra}")
    elif name == "cut_chunked":
        head.append("Transfer-Encoding: chunked")
    elif name == "cut_unframed":
        head.append("Connection: close")
    else:
        head.append(f"Content-Length: {len(body)}")
    start = ("\r\n".join(head) + "\r\n\r\n").encode("latin-1")

    connection = handler.connection
    try:
        if name == "delay":
            time.sleep(fault.seconds)
        if name == "stall":  # the head and part of the body, then nothing for a while
            handler.wfile.write(start + body[:cut])
            handler.wfile.flush()
            time.sleep(fault.seconds)
            handler.wfile.write(body[cut:])
        elif name == "cut_short":  # the whole body, short of the length it announced
            handler.wfile.write(start + body)
        elif name == "cut_chunked":  # whole chunks, then part of one, never the last chunk
            pieces = [body[i:i + 1000] for i in range(0, len(body), 1000)] or [b""]
            keep = max(0, min(len(pieces) - 1, int(len(pieces) * fault.share)))
            payload = b"".join(f"{len(p):x}\r\n".encode() + p + b"\r\n" for p in pieces[:keep])
            following = pieces[keep]
            payload += f"{len(following):x}\r\n".encode() + following[:len(following) // 2]
            handler.wfile.write(start + payload)
        elif name in ("cut_close", "cut_unframed", "reset"):
            handler.wfile.write(start + body[:cut])
        else:
            handler.wfile.write(start + body)
        handler.wfile.flush()
        if name.startswith("cut"):
            handler.close_connection = True
            connection.shutdown(socket.SHUT_RDWR)
            return False
        if name == "reset":  # linger 0: the close sends RST
            handler.close_connection = True
            connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            connection.close()
            return False
        return True
    except OSError:
        handler.close_connection = True
        return False
