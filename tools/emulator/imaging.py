"""The emulator draws its pictures with Debian's python3-pil and python3-segno (scripts/lib.sh
installs them). A Python that cannot import them, such as a pyenv or virtualenv interpreter
found first on PATH, hands the process over to the system's own Python, which can."""

import os
import sys

SYSTEM_PYTHON = "/usr/bin/python3"
_HANDED_OVER = "PICLADE_SYSTEM_PYTHON"


def _available():
    try:
        import PIL.Image  # noqa: F401
        import segno  # noqa: F401
    except ImportError:
        return False
    return True


def ensure_available(arguments):
    """Returns when the imaging packages import; otherwise runs `arguments` (what follows the
    interpreter on its command line) under the system's Python in place of this process, or
    stops with a message saying what to install."""
    if _available():
        return
    if not os.environ.get(_HANDED_OVER) and os.access(SYSTEM_PYTHON, os.X_OK) \
            and os.path.realpath(sys.executable) != os.path.realpath(SYSTEM_PYTHON):
        os.environ[_HANDED_OVER] = "1"
        sys.stdout.flush()
        os.execv(SYSTEM_PYTHON, [SYSTEM_PYTHON] + list(arguments))
    raise SystemExit("the emulator draws its pictures with python3-pil and python3-segno: "
                     "install them (scripts/lib.sh does)")
