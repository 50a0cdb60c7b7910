"""Which host each request went to, when it came and when its answer went (or when the client closed
the connection before it could), over which connection, what kind of request it was, its method
and headers as sent, the Cookie header it carried (none at all is not the same as an empty one)
and the status it was answered with, for the tests that check each request as the program sends
it, where the session's cookies go and when requests stop and start again, and for the
benchmarks' timelines. Read with /request_log on the control port (since=T: those at T or later);
/reset empties it."""

import threading
import time

PICTURE_SIZES = ("/large/", "/mw1024/", "/mw690/", "/small/")


def kind_of(service, path):
    """What a request asked for, by its host and path."""
    route = path.partition("?")[0]
    if service in ("sso", "cross"):
        return "sign_in"
    if route == "/albums/get_all":
        return "album_list"
    if route == "/photos/get_all":
        return "photo_list"
    if route.startswith(PICTURE_SIZES):
        return "picture"
    if route.startswith("/thumb150/"):
        return "cover"
    if route.startswith("/avatar/"):
        return "avatar"
    if route.startswith("/qr/"):
        return "qr"
    if route.startswith("/u/"):
        return "homepage"
    if service == "main" and route == "/":
        return "main_page"
    return "other"


class RequestLog:
    LIMIT = 5000  # the newest requests are kept

    def __init__(self):
        self.lock = threading.Lock()
        self.entries = []

    def record(self, service, method, path, headers, client_port=0):
        """The entry for a request as it arrives; the server adds "status" and "answered" (when
        the answer's last byte was handed to the socket), or "closed" (when the client closed the
        connection while its answer was held back), to it. The client's port tells one connection
        from another: a port seen again is a connection kept alive."""
        # The monotonic clock of /state's and /request_log's "now": tests read the time there.
        entry = {"service": service, "method": method, "host": headers.get("Host", ""), "path": path,
                 "kind": kind_of(service, path), "time": time.monotonic(), "port": client_port,
                 "headers": [[name, value] for name, value in headers.items()]}
        cookies = headers.get_all("Cookie")
        if cookies is not None:
            entry["cookie"] = "; ".join(cookies)
        with self.lock:
            self.entries.append(entry)
            del self.entries[:-self.LIMIT]
        return entry

    def clear(self):
        with self.lock:
            self.entries.clear()

    def snapshot(self, since=None):
        with self.lock:
            return [dict(entry) for entry in self.entries if since is None or entry["time"] >= since]
