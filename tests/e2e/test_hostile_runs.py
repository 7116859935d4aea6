"""Runs that must end, and pictures that must show their own page, against
hostile pages on 127.0.0.1. Each row is a run of the real program from the
command line (--pause 1 --page-timeout 3 --start --exit-when-done) over
three addresses: a red page, the hostile one, a blue page. For each row:
the run ends within its bound, with exit code 0; one line per address with
the right last field; no picture shows the page of the address before it;
and the blue page after the hostile one is pictured as blue.

    tests/run-under-display /usr/bin/python3 tests/e2e/test_hostile_runs.py build/sorvane
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sorvane_e2e as e2e  # noqa: E402
from hostile_pages import GREEN, HostileServer  # noqa: E402
from sorvane_e2e import TestFailure  # noqa: E402

EXE = os.path.abspath(e2e.executable_from_argv())
# The engine that draws: the window's own, or with SORVANE_ENGINE=chromium
# a browser of our own.
ENGINE = os.environ.get("SORVANE_ENGINE", "builtin")
RED, BLUE, WHITE = "ff0000", "0000ff", "ffffff"
PAUSE, PAGE_TIMEOUT = 1, 3
# The promise: every address within its time-out, the pause and 2 s; plus
# the program's start and end.
def bound(timeout):
    return 3 * (timeout + PAUSE + 2) + 10

# What the hostile address's line ends with (after the red page, or after
# the optional last field's red page), what its picture shows ("blank"
# a white page, "own" the page's green, "not red" anything but the red page
# before it), and what the blue page after it shows ("blue", or "blank" where
# it timed out behind a web process the hostile page left spinning).
ROWS = [
    ("a script that never returns", "/spin", {"timeout"}, "not red", "blue"),
    ("one line of 30 MB of text", "/long-line", {"timeout"}, "not red", "blue"),
    ("XML with nested entities", "/entities", {"timeout"}, "not red",
     "blue"),
    # Same site: the blue page goes to the spinning process. The engine finds
    # it unresponsive 3 s after the address is sent, as the time-out ends.
    ("a script that spins once the page is up", "/spin-later", {"loaded"}, "own", "blank"),
    ("a page that goes to a dead address after its picture", "/refresh-to-hang", {"loaded"},
     "own", "blue"),
    ("a script address", "javascript:1", {"blank"}, "blank", "blue"),
    ("fifty alerts", "/alerts", {"loaded"}, "own", "blue"),
    ("a page that opens new windows", "/popup", {"loaded"}, "own", "blue"),
    # Moves within the page on show load nothing of their own; they are its own.
    ("a route after '#' in the red page", "/ff0000#/b", {"loaded"}, "red", "blue"),
    ("a route of the address the red page gave itself", "/red/home#/b", {"loaded"}, "red", "blue",
     PAGE_TIMEOUT, "/pushing-red"),
    # Ports that the engine will not load from fail, as a refused connection does.
    ("a port browsers refuse (9)", "http://127.0.0.1:9/", {"failed"}, "blank", "blue"),
    ("a port browsers refuse (6000)", "http://127.0.0.1:6000/", {"failed"}, "blank", "blue"),
    ("a download", "/download", {"blank"}, "blank", "blue"),
    ("an HTTP Digest challenge", "/digest", {"blank"}, "blank", "blue"),
    ("a response with nothing in it before the time-out", "/silent", {"timeout"}, "blank",
     "blue"),
    ("an endless stream of small chunks", "/chunks", {"timeout"}, "not red", "blue"),
]
# With time to spare, the blue page after a spinning one is sent again to a
# fresh web process and shows.
SLOW_ROWS = [
    ("a script that spins once the page is up, with a 6 s time-out", "/spin-later", {"loaded"},
     "own", "blue", 6),
]

# Where our own engine's browser ends otherwise, by path: it reads the XML
# through, shows its own page for a refused port or a cancelled sign-in, and
# sends the page after a spinning one to a fresh process at once.
CHROMIUM_ENDS = {
    "/entities": ({"loaded"}, "not red", "blue"),
    "/spin-later": ({"loaded"}, "own", "blue"),
    "http://127.0.0.1:9/": ({"failed"}, "not red", "blue"),
    "http://127.0.0.1:6000/": ({"failed"}, "not red", "blue"),
    "/digest": ({"failed"}, "not red", "blue"),
}

work = tempfile.mkdtemp(prefix="sorvane-hostile-")
home = os.path.join(work, "home")
server = None
runs = []


def rgb(hex_colour):
    return tuple(int(hex_colour[i : i + 2], 16) for i in (0, 2, 4))


def colours(picture):
    bmp = e2e.read_bmp(picture)
    return bmp.colours_in(64, 64, e2e.PICTURE_WIDTH - 64, e2e.PICTURE_HEIGHT - 64)


def run_row(name, path, timeout, first):
    folder = os.path.join(work, f"row{len(runs)}")
    os.makedirs(folder)
    address = path if ":" in path else server.url(path)
    urls = [server.url(first), address, server.url("/" + BLUE)]
    list_file = os.path.join(folder, "list.txt")
    with open(list_file, "wb") as f:
        f.write(b"".join(b"\r\n" + u.encode() for u in urls))
    shots = os.path.join(folder, "shots")
    os.makedirs(shots)
    env = e2e.utf8_env()
    env["HOME"] = home
    began = time.time()
    try:
        r = subprocess.run(
            [EXE, "--engine", ENGINE, "--list", list_file, "--folder", shots, "--pause", str(PAUSE),
             "--page-timeout", str(timeout), "--start", "--exit-when-done"],
            cwd=folder, env=env, capture_output=True, timeout=bound(timeout) + 60)
    except subprocess.TimeoutExpired:
        raise TestFailure(f"{name}: the run did not end within {bound(timeout) + 60} s")
    took = time.time() - began
    runs.append((name, r, took))
    return urls, r, took


def check_row(name, path, words, shows, after, timeout=PAGE_TIMEOUT, first="/" + RED):
    urls, r, took = run_row(name, path, timeout, first)
    out, err = r.stdout.decode(), r.stderr.decode()
    where = f"{name}: exit {r.returncode}, {took:.1f} s\n{out}{err[-1500:]}"
    if r.returncode != 0:
        raise TestFailure(f"{where}\nthe run ended with {r.returncode}")
    if took > bound(timeout):
        raise TestFailure(f"{where}\nthe run took more than {bound(timeout)} s")
    lines = out.splitlines()
    if len(lines) != 3:
        raise TestFailure(f"{where}\n{len(lines)} lines for 3 addresses")
    fields = [line.split("\t") for line in lines]
    if [f[1] for f in fields] != urls or any(len(f) != 4 for f in fields):
        raise TestFailure(f"{where}\nthe lines do not name the addresses with four fields")
    if fields[1][3] not in words:
        raise TestFailure(f"{where}\nthe hostile address ends '{fields[1][3]}', not {words}")
    if fields[0][3] != "loaded":
        raise TestFailure(f"{where}\nthe red page ends '{fields[0][3]}'")
    for picture, want in zip((f[2] for f in fields), ("red", shows, after)):
        seen = colours(picture)
        red = {rgb(RED)}
        ok = {
            "red": seen == red,
            "blue": seen == {rgb(BLUE)},
            "own": seen == {rgb(GREEN)},
            "blank": seen == {rgb(WHITE)},
            "not red": rgb(RED) not in seen,
        }[want]
        if not ok:
            raise TestFailure(f"{where}\n{picture} should be {want}; it shows {sorted(seen)[:5]}")
    return fields[1][3]


def every_row():
    """Every row runs to its end; the failures of all rows are told together"""
    only = os.environ.get("SORVANE_HOSTILE_ROWS")
    failures = []
    for row in ROWS + SLOW_ROWS:
        name, path = row[:2]
        if only and path not in only.split(","):
            continue
        if ENGINE == "chromium" and path in CHROMIUM_ENDS:
            row = (name, path, *CHROMIUM_ENDS[path], *row[5:])
        began = time.time()
        try:
            word = check_row(*row)
            print(f"   {name}: {word}, ok ({time.time() - began:.1f} s)", flush=True)
        except TestFailure as e:
            print(f"   {name}: FAILED", flush=True)
            failures.append(str(e))
    if failures:
        raise TestFailure("\n\n".join(failures))


def prepare():
    """A server of hostile pages and a home for the engine"""
    global server
    os.makedirs(home)
    server = HostileServer()


def cleanup():
    if server:
        server.close()
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(e2e.Steps().run([prepare, every_row], cleanup))
