"""Pictures at another browser size and of whole pages, one table of runs of
the real program against pages on 127.0.0.1. Each row is one unattended run
of one page; the rows with a record share one folder, in order.

    tests/run-under-display /usr/bin/python3 tests/e2e/test_page_sizes.py build/sorvane
"""

import csv
import io
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sorvane_e2e as e2e  # noqa: E402
from sorvane_e2e import TestFailure  # noqa: E402

EXE = os.path.abspath(e2e.executable_from_argv())
W, H = e2e.PICTURE_WIDTH, e2e.PICTURE_HEIGHT
BOUND = 20000
SCROLL_BAR = 30  # the most a vertical scroll bar may take off the view's width
BANDS = [(255, 0, 0), (0, 160, 0), (0, 0, 255), (255, 255, 0), (255, 0, 255), (0, 255, 255)]
BLUE, GREEN, ORANGE = (0, 0, 255), (0, 160, 0), (255, 128, 0)


def hexed(rgb):
    return "#%02x%02x%02x" % rgb


def bands_page(height):
    bands = "".join(
        f"<div style='height:1000px;background:{hexed(BANDS[i % len(BANDS)])}'></div>"
        for i in range(height // 1000))
    return f"<body style='margin:0'>{bands}</body>"


PAGES = {
    # Narrow (blue) unless the view is at least 1300 wide (green).
    "/media": "<style>body{margin:0;overflow:hidden;background:#0000ff}"
              "@media (min-width:1300px){body{background:#00a000}}</style><body></body>",
    "/bands6000": bands_page(6000),
    "/bands40000": bands_page(40000),
    "/wide5000": "<body style='margin:0'><div style='width:5000px;height:1000px;"
                 "background:#ff8000'></div></body>",
    # Sized to the window: the tall content scrolls inside it.
    "/fills": "<style>html,body{margin:0;height:100%;overflow:hidden}</style>"
              "<body><div style='height:100%;overflow:auto;background:#ff8000'>"
              "<div style='height:9000px'></div></div></body>",
}


class Pages(e2e.LoopbackSite):
    def __init__(self):
        class Handler(e2e.QuietHandler):
            def do_GET(self):
                body = PAGES.get(self.path)
                if body is None:
                    self.send(b"", status=404)
                else:
                    self.send(("<!DOCTYPE html><html><head><meta charset='utf-8'></head>"
                               + body + "</html>").encode())

        super().__init__(Handler)


def band_probes(height):
    """Each band's colour a little inside it, down to the picture's end."""
    return [(20, y * 1000 + 500, BANDS[y % len(BANDS)]) for y in range(min(height, BOUND) // 1000)]


FULL = ["--full-page"]
# options, page, the picture's size (a width of None: the view's, less at most
# a scroll bar), probes (x, y, colour), the sixth field, the fifth field.
ROWS = [
    ([], "/media", (W, H), [(10, 10, BLUE), (W - 5, H - 5, BLUE)], None, None),
    (["--size", "1366x768"], "/media", (1366, 768), [(10, 10, GREEN), (1360, 760, GREEN)], None, None),
    # Larger than the virtual screen (1280 x 1024): still whole.
    (["--size", "1920x1080"], "/media", (1920, 1080), [(1900, 1070, GREEN)], None, None),
    (["--size", "320x240"], "/media", (320, 240), [(315, 235, BLUE)], None, None),
    (FULL, "/bands6000", (None, 6000), band_probes(6000), "whole", None),
    (FULL + ["--size", "1366x768"], "/bands6000", (None, 6000), band_probes(6000), "whole", None),
    (FULL, "/bands40000", (W, BOUND), band_probes(40000), "cut", None),
    (FULL + ["--format", "jpeg"], "/bands40000", (W, BOUND), [], "cut", None),
    (FULL + ["--format", "png"], "/bands6000", (None, 6000), band_probes(6000)[::2], "whole", None),
    (FULL, "/wide5000", (3840, 1000), [(3830, 990, ORANGE)], "cut", None),
    (FULL, "/fills", (W, H), [(10, 10, ORANGE), (W - 30, H - 5, ORANGE)], "whole", None),
    # One folder with a record: a normal picture, then two whole ones.
    (["--record"], "/bands6000", (None, H), [], None, "new"),
    (FULL + ["--record"], "/bands6000", (None, 6000), [], "whole", "changed"),
    (FULL + ["--record"], "/bands6000", (None, 6000), [], "whole", "0.0"),
]

pages = Pages()
work = tempfile.mkdtemp(prefix="sorvane-sizes-")
record_folder = os.path.join(work, "record")
last = {}


def expect(condition, message):
    if not condition:
        raise TestFailure(message)


def picture(path):
    """(width, height, pixel(x, y) -> (r, g, b)) of a saved picture."""
    with open(path, "rb") as f:
        data = f.read()
    width, height = e2e.picture_size(data)
    if data[:2] == b"BM":
        return width, height, e2e.read_bmp(path).pixel
    # PNG and JPEG through ImageMagick, whose own limits stop below the bound.
    def pixel(x, y):
        out = subprocess.run(["convert", path, "-crop", f"1x1+{x}+{y}", "-depth", "8", "rgb:-"],
                             capture_output=True, check=True).stdout
        return tuple(out[:3])
    return width, height, pixel


def run_row(options, page, size, probes, sixth, fifth):
    folder = record_folder if "--record" in options else os.path.join(work, f"row{len(last)}")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(work, "list.txt"), "wb") as f:
        f.write(b"\r\n" + pages.url(page).encode())
    env = e2e.utf8_env()
    env["HOME"] = work
    r = subprocess.run([EXE, "--list", "list.txt", "--folder", folder, "--pause", "1", "--start",
                        "--exit-when-done", "--page-timeout", "20"] + options,
                       cwd=work, env=env, capture_output=True, timeout=180)
    what = f"{' '.join(options) or '(no options)'} {page}"
    last[what] = r
    expect(r.returncode == 0, f"{what}: ended with {r.returncode}: {r.stderr.decode()[-1500:]}")
    fields = r.stdout.decode().rstrip("\n").split("\t")
    wanted_fields = 6 if sixth else 5 if fifth else 4
    expect(len(fields) == wanted_fields and fields[3] == "loaded", f"{what}: the line {fields}")
    if sixth:
        expect(fields[5] == sixth, f"{what}: the sixth field is {fields[5]}, not {sixth}")
    if fifth:
        change = fields[4]
        expect(change == fifth if fifth != "changed" else change not in ("0.0", "new", "-"),
               f"{what}: the change {change}, wanted {fifth}")
    width, height, pixel = picture(fields[2])
    view = int(options[options.index("--size") + 1].split("x")[0]) if "--size" in options else W
    expect(height == size[1] and (width == size[0] if size[0] else 0 <= view - width <= SCROLL_BAR),
           f"{what}: the picture is {width} x {height}, wanted {size}")
    for x, y, colour in probes:
        seen = pixel(x, y)
        expect(all(abs(a - b) <= 8 for a, b in zip(seen, colour)),
               f"{what}: at ({x}, {y}) {seen}, wanted {colour}")
    if "--record" in options:
        with open(os.path.join(folder, "截图记录.csv"), encoding="utf-8") as f:
            rows = list(csv.reader(io.StringIO(f.read(), newline="")))
        expect(rows[-1][4] == fields[4], f"{what}: the record's last row {rows[-1]}")


def sizes_and_shapes():
    """every row of the table"""
    for row in ROWS:
        run_row(*row)


def cleanup():
    pages.close()
    shutil.rmtree(work, ignore_errors=True)


def details():
    for what, r in last.items():
        print(what, "exit", r.returncode)
        print(" out:", r.stdout.decode(errors="replace").strip())
        print(" err:", r.stderr.decode(errors="replace")[-1500:].strip())


if __name__ == "__main__":
    sys.exit(e2e.Steps().run([sizes_and_shapes], cleanup, details))
