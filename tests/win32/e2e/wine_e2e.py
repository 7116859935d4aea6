"""What the Windows program's end-to-end tests share: the program given on
the command line, the Wine wrapper with its prefix, and Windows paths for
files of the test's own.
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from e2e_desk import TestFailure  # noqa: E402

EXE = os.path.abspath(sys.argv[1])
WINE_RUN = os.path.join(ROOT, "tests", "win32", "wine-run")
if not os.environ.get("SORVANE_WINEPREFIX"):
    os.environ["SORVANE_WINEPREFIX"] = "/tmp/sorvane-wine-e2e-%d" % os.getuid()


def expect(condition, message):
    if not condition:
        raise TestFailure(message)


def windows_path(path):
    """A Linux path as the program under Wine names it."""
    return "Z:" + path.replace("/", "\\")
