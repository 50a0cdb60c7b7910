"""python3 -m tools.emulator (from the repository root): starts every host, prints one READY line,
serves until SIGTERM or Ctrl+C."""

import argparse
import json
import signal
import sys
import threading
from pathlib import Path

from . import imaging

imaging.ensure_available(["-m", "tools.emulator"] + sys.argv[1:])

from . import ports  # noqa: E402 (the pictures' packages must import first)
from .images import PictureCache  # noqa: E402
from .server import make_certificates, start_all  # noqa: E402
from .state import DEFAULT_FAULTS, ServiceState  # noqa: E402


def main(argv=None):
    parser = argparse.ArgumentParser(description="Local emulator of the web service")
    parser.add_argument("--port-base", type=int, default=ports.DEFAULT_BASE)
    parser.add_argument("--state-dir", default=str(Path(__file__).resolve().parent.parent / "state"),
                        help="where the test certificates are kept")
    parser.add_argument("--scan-after", type=int, default=3, help="polls before a QR code reads as scanned (0: never)")
    parser.add_argument("--confirm-after", type=int, default=6, help="polls before it is confirmed (0: never)")
    parser.add_argument("--expire-after", type=int, default=0, help="polls before it expires (0: never)")
    parser.add_argument("--account-photos", type=int, default=0,
                        help="photos in each album of the whole account, 1 to 200 (0: its own 2 to 6)")
    for name, value in DEFAULT_FAULTS.items():
        kind = type(value)
        if kind is bool:
            parser.add_argument("--" + name.replace("_", "-"), action="store_true")
        else:
            parser.add_argument("--" + name.replace("_", "-"), type=kind, default=value)
    args = parser.parse_args(argv)

    certificates = make_certificates(args.state_dir)
    faults = {name: getattr(args, name) for name in DEFAULT_FAULTS}
    state = ServiceState({"scan_after": args.scan_after, "confirm_after": args.confirm_after,
                          "expire_after": args.expire_after}, faults, args.account_photos)
    servers = start_all(state, args.port_base, certificates, PictureCache())

    stopping = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stopping.set())
    signal.signal(signal.SIGINT, lambda *_: stopping.set())
    ready = {name: ports.address(name, args.port_base) for name in ports.OFFSETS}
    ready["ca"] = str(certificates["ca"])
    print("READY " + json.dumps(ready), flush=True)
    while not stopping.wait(0.5):
        pass
    for server in servers:
        server.shutdown()
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
