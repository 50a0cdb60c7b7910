"""Which host each request went to and the Cookie header it carried (none at all is not the same
as an empty one), for the tests that check where the session's cookies are sent. Read with
/request_log on the control port; /reset empties it."""

import threading


class RequestLog:
    LIMIT = 5000  # the newest requests are kept

    def __init__(self):
        self.lock = threading.Lock()
        self.entries = []

    def record(self, service, path, headers):
        entry = {"service": service, "host": headers.get("Host", ""), "path": path}
        cookies = headers.get_all("Cookie")
        if cookies is not None:
            entry["cookie"] = "; ".join(cookies)
        with self.lock:
            self.entries.append(entry)
            del self.entries[:-self.LIMIT]

    def clear(self):
        with self.lock:
            self.entries.clear()

    def snapshot(self):
        with self.lock:
            return [dict(entry) for entry in self.entries]
