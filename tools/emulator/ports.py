"""The emulator's loopback ports: one base, every service at a fixed offset from it."""

DEFAULT_BASE = 47080
HOST = "127.0.0.1"

OFFSETS = {
    "main": 0,           # main site, HTTP: "/" and homepages
    "cross": 1,          # cross-domain sign-in, HTTP
    "photos": 2,         # photo service, HTTP: album and photo lists
    "images": 3,         # image host, HTTP: pictures, covers, avatar, QR codes
    "closer": 8,         # accepts and closes at once (connection failures for tests)
    "control": 9,        # control requests for tests
    "stranger": 10,      # a host that is not the service's, on its own address (see HOSTS)
    "sso": 363,          # single sign-on, HTTPS (47443 by default)
    "sso_untrusted": 364,  # the same service behind a certificate nobody trusts
}


# Hosts that must not pass for the service's own: another loopback address, so that no rule about
# 127.0.0.1 and its ports takes them in. Linux answers all of 127.0.0.0/8 without set-up.
HOSTS = {"stranger": "127.0.0.2"}


def host(name):
    return HOSTS.get(name, HOST)


def port(name, base=DEFAULT_BASE):
    return base + OFFSETS[name]


def address(name, base=DEFAULT_BASE):
    return f"{host(name)}:{port(name, base)}"
