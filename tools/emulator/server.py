"""HTTP plumbing: one threaded server per emulated host, the certificates of the sign-on host,
and the faults applied to answers on their way out."""

import http.server
import select
import socket
import ssl
import subprocess
import threading
import time
import traceback
import urllib.parse
from pathlib import Path

from . import ports
from .request_log import RequestLog, kind_of
from .services import PICTURE_PATHS, Response, Services, json_answer, parse_query


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # Headers and body go out in one write with Nagle off: no 40 ms stall against delayed ACKs.
    disable_nagle_algorithm = True
    server_version = "PicladeEmulator/1.0"

    def log_message(self, format, *args):  # quiet: tests read their own output
        pass

    def do_GET(self):
        # An answer's latency counts from here, as a real host's does: the emulator's own work on
        # the request is part of it, not added to it.
        self.arrived = time.monotonic()
        # A cover request counts as in flight from its arrival until its answer starts out.
        self.cover_pending = kind_of(self.server.service_name, self.path) == "cover"
        if self.cover_pending:
            self.server.services.state.cover_began()
        try:
            return self.serve_get()
        finally:
            self.cover_answered()

    def cover_answered(self):
        if self.cover_pending:
            self.cover_pending = False
            self.server.services.state.cover_ended()

    def serve_get(self):
        split = urllib.parse.urlsplit(self.path)
        log = self.server.services.request_log
        self.logged = None
        if self.server.service_name != "control":
            self.logged = log.record(self.server.service_name, self.command, self.path, self.headers, self.client_address[1])
        elif split.path == "/request_log":
            try:
                since = float(parse_query(split.query)["since"])
            except (KeyError, ValueError):
                since = None
            return self.send(json_answer({"ok": True, "now": time.monotonic(), "requests": log.snapshot(since)}),
                             split.path)
        elif split.path == "/certificate":
            self.server.services.forged_certificate = parse_query(split.query).get("forged") == "1"
            return self.send(json_answer({"ok": True}), split.path)
        elif split.path == "/reset":
            log.clear()
            self.server.services.forged_certificate = False
        chaos = self.server.services.chaos
        if chaos.takes(self.server.service_name, split.path):
            self.server.services.state.count_request(split.path)
            try:
                return chaos.serve(self, self.server.service_name)
            except Exception:  # a broken answer, not a dead host: the rest keeps serving
                traceback.print_exc()
                self.close_connection = True
                return None
        route = getattr(self.server.services, self.server.service_name)
        self.headers.request_line = self.requestline
        response = route(split.path, parse_query(split.query), self.headers)
        self.server.services.state.count_request(split.path)
        self.send(response, split.path)

    def client_left(self, seconds):
        """Holds the answer back until `seconds` after the request arrived, watching the
        connection: True as soon as the client closes it (it gave up on the request), False once
        the time is up."""
        watch = select.poll()
        watch.register(self.connection.fileno(), select.POLLRDHUP)  # hang-ups and errors are always reported
        end = self.arrived + seconds
        # Whole milliseconds while they last, then the fraction: the hold ends on time, not up to
        # a millisecond late.
        while (left := end - time.monotonic()) >= 0.001:
            if watch.poll(int(left * 1000)):
                return True
        if left > 0:
            time.sleep(left)
        return False

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        if length:
            self.rfile.read(length)
        self.do_GET()

    def send(self, response, path):
        state = self.server.services.state
        faults = state.faults
        is_picture = path.startswith(PICTURE_PATHS)
        in_scope = is_picture if faults["scope"] == "pictures" else (
            path == "/photos/get_all" if faults["scope"] == "pages" else True)
        if self.server.service_name == "control":
            in_scope = False

        delay = faults["latency"] + (faults["picture_latency"] if is_picture else 0)
        if faults["slow_path"] and path == faults["slow_path"]:
            delay += faults["slow_path_ms"]
        if delay and self.server.service_name != "control" and self.client_left(delay / 1000.0):
            if getattr(self, "logged", None) is not None:
                self.logged["closed"] = time.monotonic()
            self.close_connection = True
            return

        if in_scope and response.status == 200:
            attempts = state.requests.get(path, 0)
            if attempts <= faults["fail_first"] or state.draw(faults["error_rate"]):
                response = Response(500, b"<html>500 internal error</html>", "text/html")
            elif state.take_limit() or state.draw(faults["rate_limit"]):
                wait, status = faults["retry_after"], faults["limit_status"]
                response = Response(status, f"<html>{status} slow down</html>".encode(), "text/html",
                                    headers=[("Retry-After", str(wait))] if wait >= 0 else [])
        if is_picture and response.status == 200 and self.server.service_name == "images":
            state.picture_served()
        if getattr(self, "logged", None) is not None:
            self.logged["status"] = response.status
            retry_after = [value for name, value in response.headers if name == "Retry-After"]
            if retry_after:
                self.logged["retry_after"] = retry_after[0]

        body = response.body
        head = [f"HTTP/1.1 {response.status} {self.responses.get(response.status, ('',))[0]}",
                f"Content-Type: {response.content_type}", f"Server: {self.server_version}"]
        head += [f"{name}: {value}" for name, value in response.headers]

        mode = response.mode or "plain"
        if mode == "plain" and in_scope and response.status == 200:
            if is_picture and faults["chunked_cut"]:
                mode = "chunked_cut"
            elif state.draw(faults["drop_rate"]):
                mode = "drop"
            elif state.draw(faults["short_rate"]):
                mode = "short"
            elif faults["chunked"]:
                mode = "chunked"
            elif faults["no_length"]:
                mode = "no_length"
            elif faults["trickle"]:
                mode = "trickle"
            elif faults["drip"]:
                mode = "drip"

        if mode in ("chunked", "chunked_cut"):
            head.append("Transfer-Encoding: chunked")
            pieces = [body[i:i + 1000] for i in range(0, len(body), 1000)]
            if mode == "chunked_cut":
                # Whole chunks up to about half the body, then half of the next one and the end of
                # the connection: no chunk is announced as the last, and the one under way is short.
                kept = pieces[:max(1, len(pieces) // 2)]
                following = pieces[len(kept)] if len(kept) < len(pieces) else b""
                payload = b"".join(f"{len(p):x}\r\n".encode() + p + b"\r\n" for p in kept)
                if following:
                    payload += f"{len(following):x}\r\n".encode() + following[:len(following) // 2]
                self.close_connection = True
            else:
                payload = b"".join(f"{len(p):x}\r\n".encode() + p + b"\r\n" for p in pieces) + b"0\r\n\r\n"
        elif mode == "zero":
            head.append("Content-Length: 0")
            head.append("Connection: close")
            payload = body
            self.close_connection = True
        elif mode == "no_length":
            head.append("Connection: close")
            payload = body
            self.close_connection = True
        elif mode == "short":
            head.append(f"Content-Length: {len(body) + 1000}")
            payload = body
            self.close_connection = True
        else:
            head.append(f"Content-Length: {len(body)}")
            payload = body[: len(body) // 2] if mode == "drop" else body
            if mode == "drop":
                self.close_connection = True

        data = ("\r\n".join(head) + "\r\n\r\n").encode("latin-1") + payload
        # Before the first byte: a client that has its answer can never see it still counted.
        self.cover_answered()
        try:
            if mode == "drip":  # the head at once, then a few bytes of the body every 0.2 s
                head_length = len(data) - len(payload)
                step = max(1, faults["drip"])
                self.wfile.write(data[:head_length])
                self.wfile.flush()
                for i in range(head_length, len(data), step):
                    time.sleep(0.2)
                    self.wfile.write(data[i:i + step])
                    self.wfile.flush()
            elif mode == "trickle":
                for i in range(0, len(data), 256):
                    self.wfile.write(data[i:i + 256])
                    self.wfile.flush()
                    time.sleep(0.01)
            else:
                self.wfile.write(data)
            self.wfile.flush()
            if getattr(self, "logged", None) is not None:
                self.logged["answered"] = time.monotonic()
            state.count_answer(path)
            if self.close_connection:
                self.connection.shutdown(socket.SHUT_RDWR)
        except OSError:
            self.close_connection = True


class ServiceServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, name, port, services, tls=None, host=ports.HOST):
        super().__init__((host, port), Handler)
        self.service_name = name
        self.services = services
        if tls:
            self.socket = tls.wrap_socket(self.socket, server_side=True)


def _openssl(*args):
    subprocess.run(["openssl", *args], check=True, capture_output=True)


def make_certificates(folder):
    """A test certificate authority and a server certificate for 127.0.0.1 signed by it, plus a
    self-signed one that nobody trusts. Made once, kept in the folder."""
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    ca_key, ca_cert = folder / "ca.key", folder / "ca.pem"
    key, cert = folder / "server.key", folder / "server.pem"
    rogue_key, rogue_cert = folder / "untrusted.key", folder / "untrusted.pem"
    if not ca_cert.exists():
        _openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "3650", "-subj",
                 "/CN=Piclade Test Authority", "-keyout", str(ca_key), "-out", str(ca_cert),
                 "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    if not cert.exists():
        csr = folder / "server.csr"
        extensions = folder / "server.ext"
        # The address also as a DNS name: Wine's name check compares DNS names only.
        extensions.write_text("subjectAltName=IP:127.0.0.1,DNS:127.0.0.1,DNS:localhost\nextendedKeyUsage=serverAuth\n"
                              "basicConstraints=CA:FALSE\n")
        _openssl("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout", str(key), "-out", str(csr))
        _openssl("x509", "-req", "-in", str(csr), "-CA", str(ca_cert), "-CAkey", str(ca_key), "-CAcreateserial",
                 "-days", "3650", "-extfile", str(extensions), "-out", str(cert))
    if not rogue_cert.exists():
        _openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "3650", "-subj", "/CN=127.0.0.1",
                 "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", str(rogue_key), "-out", str(rogue_cert))
    return {"ca": ca_cert, "cert": cert, "key": key, "untrusted_cert": rogue_cert, "untrusted_key": rogue_key}


def _tls(cert, key):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(str(cert), str(key))
    return context


class Closer:
    """A port that accepts connections and closes them at once, counting them: the client's retries
    on a failed connection are counted here."""

    def __init__(self, port, state):
        self.socket = socket.create_server((ports.HOST, port), reuse_port=False)
        self.state = state
        threading.Thread(target=self.serve, name="closer", daemon=True).start()

    def serve(self):
        while True:
            try:
                connection, _ = self.socket.accept()
            except OSError:
                return
            self.state.count_request("closer")
            connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
            connection.close()

    def shutdown(self):
        self.socket.close()

    def server_close(self):
        pass


def start_all(state, base, certificates, pictures):
    """Starts every host on its own thread; returns the servers."""
    services = Services(state, base, pictures)
    services.request_log = RequestLog()
    trusted = _tls(certificates["cert"], certificates["key"])
    untrusted = _tls(certificates["untrusted_cert"], certificates["untrusted_key"])
    # After /certificate?forged=1 the sign-on host shows the certificate nobody trusts, from the
    # next handshake on (the callback runs on every handshake, with or without a server name).
    services.forged_certificate = False
    trusted.sni_callback = lambda connection, name, context: (
        setattr(connection, "context", untrusted) if services.forged_certificate else None)
    plan = [("main", None), ("cross", None), ("photos", None), ("images", None), ("control", None),
            ("stranger", None), ("sso", trusted), ("sso_untrusted", untrusted)]
    servers = []
    for name, tls in plan:
        route_name = "sso" if name == "sso_untrusted" else name
        server = ServiceServer(route_name, ports.port(name, base), services, tls, ports.host(name))
        threading.Thread(target=server.serve_forever, name=name, daemon=True).start()
        servers.append(server)
    servers.append(Closer(ports.port("closer", base), state))
    return servers
