"""The answers of each emulated host, in the form the program reads them. Each function takes the
request (path, query, headers) and gives a Response."""

import html
import json
import urllib.parse

from . import data, ports
from .chaos import Chaos
from .images import SIZES, PictureCache
from .images import album_of as images_album_of

PICTURE_PATHS = ("/large/", "/mw1024/", "/mw690/", "/small/")
LIST_PATHS = ("/albums/get_all", "/photos/get_all")


class Response:
    def __init__(self, status=200, body=b"", content_type="text/plain; charset=utf-8", headers=None, mode=None):
        self.status = status
        self.body = body
        self.content_type = content_type
        self.headers = list(headers or [])
        self.mode = mode  # how the body goes out, when a test asks for one: see server.Handler.send

    def with_headers(self, headers):
        self.headers += headers
        return self


def json_answer(value):
    # ASCII only: every non-ASCII character as a \uXXXX escape, as the real service writes it.
    return Response(body=json.dumps(value, ensure_ascii=True, separators=(",", ":")).encode("ascii"),
                    content_type="application/json")


def jsonp_answer(callback, value):
    text = json.dumps(value, ensure_ascii=True, separators=(",", ":"))
    return Response(body=f"{callback or 'callback'}({text});".encode("ascii"),
                    content_type="application/javascript")


def html_answer(text, status=200):
    return Response(status=status, body=text.encode("utf-8"), content_type="text/html; charset=utf-8")


def not_found():
    return html_answer("<html><body>404 not found</body></html>", 404)


class Services:
    def __init__(self, state, base, pictures):
        self.state = state
        self.base = base
        self.pictures = pictures
        self.chaos = Chaos(self)

    def image_url(self, path):
        return f"http://{ports.address('images', self.base)}{path}"

    # -- single sign-on (HTTPS) --------------------------------------------------------------
    def sso(self, path, query, headers):
        callback = query.get("callback", "")
        if path == "/sso/qrcode/image":
            qrid = self.state.new_qr()
            return jsonp_answer(callback, {"retcode": 20000000, "msg": "succ", "data": {
                "qrid": qrid, "image": f"//{ports.address('images', self.base)}/qr/{qrid}.png"}})
        if path == "/sso/qrcode/check":
            status, alt = self.state.poll_qr(query.get("qrid", ""))
            codes = {"waiting": 50114001, "scanned": 50114002, "confirmed": 20000000,
                     "expired": 50114003, "used": 50114004, "unknown": 50114005}
            answer = {"retcode": codes[status], "msg": status, "data": {}}
            if alt:
                answer["data"] = {"alt": alt}
            return jsonp_answer(callback, answer)
        if path == "/sso/login.php" and "r" in query and "alt" not in query:
            # Where a lapsed session is sent: the login page, with the address to return to.
            return html_answer(self.login_page(query["r"]))
        if path == "/sso/login.php":
            ticket = self.state.use_ticket(query.get("alt", ""))
            if not ticket:
                return jsonp_answer(callback, {"retcode": "101", "reason": "bad ticket", "crossDomainUrlList": []})
            cross = f"http://{ports.address('cross', self.base)}/crossdomain?ticket={ticket}&action=login"
            return jsonp_answer(callback, {"retcode": "0", "uid": data.SIGNED_IN_UID, "crossDomainUrlList": [
                "https://other.invalid/crossdomain?action=login", "https://another.invalid/sso/crossdomain", cross]})
        return not_found()

    # -- cross-domain sign-in: one redirect, then the session cookies on the final answer ----
    def cross(self, path, query, headers):
        ticket = query.get("ticket", "")
        if path == "/crossdomain":
            return Response(302, b"", headers=[("Location", f"/crossdomain/final?ticket={ticket}")])
        if path == "/crossdomain/final":
            session = self.state.open_session(ticket)
            if not session:
                return html_answer("<html>ticket used or unknown</html>", 403)
            return Response(200, b"<html>ok</html>", "text/html", headers=[
                ("Set-Cookie", f"SUB={session}; path=/; domain=.127.0.0.1; httponly"),
                ("Set-Cookie", "SUBP=0033WrSXqPxfM72-Ws9jqgMF55529P9D9W; expires=Sat, 01-Jan-2028 00:00:00 GMT; path=/"),
                ("Set-Cookie", "ALF=deleted; expires=Thu, 01-Jan-1970 00:00:01 GMT; path=/"),
            ])
        return not_found()

    # -- main site: the inline configuration the program cuts values from --------------------
    def main(self, path, query, headers):
        signed_in = self.state.is_session(headers.get("Cookie"))
        if path == "/":
            config = ""
            if signed_in:
                avatar = f"//{ports.address('images', self.base)}/avatar/{data.SIGNED_IN_UID}.png"
                config = (f"$CONFIG['uid']='{data.SIGNED_IN_UID}';\n$CONFIG['nick']='{data.SIGNED_IN_NICK}';\n"
                          f"$CONFIG['avatar_large']='{avatar}';\n")
            return html_answer(f"<html><head><script>var $CONFIG = {{}};\n{config}</script></head><body>首页</body></html>")
        if path == "/go":  # a link that sends the visitor on, as short links and moved homepages do
            return Response(302, b"", headers=[("Location", query.get("to", "/"))])
        if path.startswith("/u/"):
            owner = data.HOMEPAGES.get(path[3:].strip("/"))
            if not owner:
                return html_answer("<html><body>用户不存在</body></html>", 404)
            uid = data.SIGNED_IN_UID if signed_in else ""
            config = (f"$CONFIG['oid']='{owner.uid}';\n$CONFIG['onick']='{owner.nick}';\n$CONFIG['uid']='{uid}';\n")
            return html_answer(f"<html><head><script>var $CONFIG = {{}};\n{config}</script></head>"
                               f"<body>{owner.nick} 的主页</body></html>")
        return not_found()

    # -- photo service: album and photo lists, paged exactly as asked ------------------------
    def photos(self, path, query, headers):
        if self.state.faults["redirect_lists"] and path in LIST_PATHS:
            # The same request, sent on to a host that is not the service's.
            target = headers.request_line.split(" ")[1]
            return Response(302, b"", headers=[("Location", f"http://{ports.address('stranger', self.base)}{target}")])
        if path in LIST_PATHS and self.state.list_request(headers.get("Cookie")):
            return self.lapsed_answer(headers.get("Host") or ports.address("photos", self.base),
                                      headers.request_line.split(" ")[1], self.state.faults["expire_session_shape"])
        if not self.state.is_session(headers.get("Cookie")):
            return json_answer({"result": False, "code": "100002", "msg": "not login", "data": {}})
        if path in LIST_PATHS:
            listing = "albums" if path == "/albums/get_all" else "photos"
            shape = self.state.take_page_failure(max(1, _int(query.get("page"), 1)), listing)
            if shape:
                return self.failed_page(shape, self.lists(path, query))
        return self.lists(path, query)

    # -- a host that is not the service's: it keeps no sessions and lists for anybody ---------
    def stranger(self, path, query, headers):
        return self.lists(path, query)

    # -- a lapsed session: sent to sign in again ---------------------------------------------
    def login_address(self, return_to):
        return (f"https://{ports.address('sso', self.base)}/sso/login.php?entry=weibo&r="
                + urllib.parse.quote(return_to, safe=""))

    def login_page(self, return_to):
        action = html.escape(f"https://{ports.address('sso', self.base)}/sso/login.php", quote=True)
        return ("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>登录 - 通行证</title></head><body>"
                f"<form action=\"{action}\" method=\"post\"><input type=\"hidden\" name=\"r\" "
                f"value=\"{html.escape(return_to, quote=True)}\"><p>登录状态已失效,请重新登录</p>"
                "<input name=\"username\"><input name=\"password\" type=\"password\"></form></body></html>")

    def lapsed_answer(self, host, target, shape):
        """A list request of a lapsed session: 302 to the login page (LAPSE_SHAPES "redirect"), or
        the login page itself where JSON was expected ("html")."""
        asked = f"http://{host}{target}"
        if shape == "html":
            return html_answer(self.login_page(asked))
        return Response(302, b"", "text/html", headers=[("Location", self.login_address(asked))])

    def failed_page(self, shape, whole):
        """A list page answered as a failure of the given shape (state.PAGE_FAILURE_SHAPES)."""
        if shape == "error_object":
            return json_answer({"code": "100001", "msg": "busy"})
        if shape == "empty":
            return Response(200, b"", "application/json")
        if shape == "html":
            return html_answer("<!DOCTYPE html><html><head><title>微博</title></head><body>系统繁忙,请稍后再试</body></html>")
        if shape == "not_json":
            # The page's JSON broken off halfway, yet sent whole: only reading it tells.
            return Response(200, whole.body[:len(whole.body) // 2], "application/json")
        if shape == "no_list":
            # Everything of the page but its list: a total that promises what never comes.
            page = json.loads(whole.body)
            for listed in ("album_list", "photo_list"):
                page["data"].pop(listed, None)
            return json_answer(page)
        if shape in ("403", "432"):
            wait = self.state.faults["retry_after"]
            return html_answer(f"<html><body>{shape} refused</body></html>", int(shape)).with_headers(
                [("Retry-After", str(wait))] if wait >= 0 else [])
        if shape == "cut":
            # The whole length announced, half the body sent, the connection closed.
            whole.mode = "drop"
            return whole
        return Response(500, b"<html>500 internal error</html>", "text/html")

    def lists(self, path, query):
        owner = data.find_owner(query.get("uid", ""))
        # A service that ignores the page asked for answers the first one every time.
        page = 1 if self.state.faults["repeat_pages"] else max(1, _int(query.get("page"), 1))
        count = max(1, _int(query.get("count"), 20))
        claimed = self.state.faults["claim_total"]
        if path == "/albums/get_all":
            albums = owner.albums if owner else []
            chosen = albums[(page - 1) * count: page * count]
            return json_answer({"result": True, "data": {"total": claimed or len(albums), "album_list": [{
                "album_id": album.album_id, "caption": album.caption, "uid": owner.uid,
                "cover_pic": self.image_url(f"/thumb150/{album.album_id}cover.jpg") if album.cover else "",
                "count": {"photos": len(self.state.photos_of(album)), "likes": 0}} for album in chosen]}})
        if path == "/photos/get_all":
            album = data.find_album(query.get("uid", ""), query.get("album_id", ""))
            photos = self.state.photos_of(album) if album else []
            chosen = photos[(page - 1) * count: page * count]
            return json_answer({"result": True, "data": {"total": claimed or len(photos), "album_id": query.get("album_id", ""),
                                "photo_list": [{
                                    "photo_id": photo.photo_id, "pic_host": f"http://{ports.address('images', self.base)}",
                                    "pic_name": photo.pic_name, "caption_render": photo.caption,
                                    "timestamp": photo.timestamp, "type": 3} for photo in chosen]}})
        return not_found()

    # -- image host ---------------------------------------------------------------------------
    def images(self, path, query, headers):
        for size_path in SIZES:
            if path.startswith(size_path) and len(path) > len(size_path):
                if self.state.faults["need_referer"] and headers.get("Referer") != f"http://{ports.address('main', self.base)}/":
                    return html_answer("<html><body>403 hotlinking refused</body></html>", 403)
                name = path[len(size_path):]
                if self.state.faults["scale_pictures"]:
                    return Response(body=self.pictures.scaled(size_path, name), content_type="image/png")
                return Response(body=self.pictures.get(size_path, name, self.following(name)), content_type="image/png")
        if path.startswith("/qr/"):
            qrid = path[len("/qr/"):].rsplit(".", 1)[0]
            confirm = f"http://{ports.address('control', self.base)}/qr?qrid={qrid}&action=confirm"
            return Response(body=self.pictures.qr_code(qrid, confirm), content_type="image/png")
        if path.startswith("/avatar/"):
            uid = path[len("/avatar/"):].rsplit(".", 1)[0]
            return Response(body=self.pictures.avatar(uid), content_type="image/png")
        if path.startswith("/loop/"):
            step = _int(path[len("/loop/"):], 0)
            return Response(302, b"", headers=[("Location", f"/loop/{step + 1}")])
        return not_found()

    def following(self, name):
        """The names listed after a photo in an album that is listed otherwise than the sample data
        has it (grown, or the account's photo count set), for drawing ahead; None for the rest."""
        extra = data.extra_photo(name)
        album = extra[0] if extra else images_album_of(name)
        if album is None or not self.state.changed(album):
            return None
        names = [photo.pic_name for photo in self.state.photos_of(album)]
        if name not in names:
            return ()
        at = names.index(name) + 1
        return names[at:at + PictureCache.AHEAD]

    # -- control requests for tests -----------------------------------------------------------
    def control(self, path, query, headers):
        if path == "/faults":
            try:
                self.state.set_faults(query)
            except (KeyError, ValueError) as error:
                return json_answer({"ok": False, "error": str(error)})
            return json_answer({"ok": True, "faults": self.state.snapshot()["faults"]})
        if path == "/reset":
            self.state.reset()
            self.chaos.stop()
            return json_answer({"ok": True})
        if path == "/chaos" or path.startswith("/chaos/"):
            return self.chaos.control(path, query)
        if path == "/qr":
            statuses = {"scan": "scanned", "confirm": "confirmed", "expire": "expired", "wait": "waiting"}
            status = statuses.get(query.get("action", ""))
            ok = bool(status) and self.state.set_qr(query.get("qrid", ""), status)
            return json_answer({"ok": ok})
        if path == "/qr_settings":
            try:
                self.state.set_qr_settings(query)
            except (KeyError, ValueError) as error:
                return json_answer({"ok": False, "error": str(error)})
            return json_answer({"ok": True, "qr": self.state.snapshot()["qr"]})
        if path == "/state":
            return json_answer(self.state.snapshot())
        if path == "/account":
            try:
                self.state.set_account_photos(query.get("photos", "0"))
            except ValueError as error:
                return json_answer({"ok": False, "error": str(error)})
            return json_answer({"ok": True, "account_photos": self.state.snapshot()["account_photos"]})
        if path == "/grow":
            return self.grow(query)
        return self.testing(path, query, headers)

    def grow(self, query):
        """/grow?album_id=&count=: new photos in front of an album of any sample owner."""
        album = data.find_any_album(query.get("album_id", ""))
        if album is None:
            return json_answer({"ok": False, "error": "unknown album"})
        try:
            front = self.state.grow(album.album_id, int(query.get("count", "1")))
        except ValueError as error:
            return json_answer({"ok": False, "error": str(error)})
        photos = self.state.photos_of(album)
        return json_answer({"ok": True, "album_id": album.album_id, "grown": front, "total": len(photos),
                            "new": [photo.pic_name for photo in photos[:front]]})

    # -- answers shaped for the HTTP client's tests, on the control port ----------------------
    def testing(self, path, query, headers):
        if path == "/echo":
            lines = [f"{headers.request_line}"] + [f"{name}: {value}" for name, value in headers.items()]
            return Response(body=("\r\n".join(lines) + "\r\n").encode("utf-8"))
        if path == "/blob":
            size = _int(query.get("size"), 0)
            pattern = bytes(range(256))
            body = (pattern * (size // 256 + 1))[:size]
            return Response(body=body, content_type="application/octet-stream", mode=query.get("mode") or None)
        if path.startswith("/redirect"):
            # Content-Location first when asked: a client must not take it for Location.
            described = [("Content-Location", "/described")] if "described" in query else []
            return Response(302, b"", headers=described + [("Location", query.get("to", "/"))])
        if path == "/setcookie":
            lines = urllib.parse.parse_qs(urllib.parse.urlsplit(headers.request_line.split(" ")[1]).query).get("line", [])
            return Response(body=b"ok", headers=[("Set-Cookie", line) for line in lines])
        return not_found()


def _int(text, default):
    try:
        return int(text)
    except (TypeError, ValueError):
        return default


def parse_query(raw):
    return {key: values[-1] for key, values in urllib.parse.parse_qs(raw, keep_blank_values=True).items()}
