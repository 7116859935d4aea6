"""Records from the command line, as a daily cron job keeps them: the real
program run twice over the same folder with --record --changed-only, once
with --format png and once with --format jpeg, against pages on 127.0.0.1.
Between the two runs one page changes its top half; the other stays as it was.

    tests/run-under-display /usr/bin/python3 tests/e2e/test_records.py build/sorvane
"""

import csv
import io
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sorvane_e2e as e2e  # noqa: E402
from sorvane_e2e import TestFailure  # noqa: E402

EXE = os.path.abspath(e2e.executable_from_argv())
WIDTH, HEIGHT = e2e.PICTURE_WIDTH, e2e.PICTURE_HEIGHT
RECORD = "截图记录.csv"
HEADER = ["时间", "网址", "截图", "结果", "变化"]


class Pages(e2e.LoopbackSite):
    """/still is red for good; /moving is blue, and from the second day has
    a yellow band over its top half."""

    def __init__(self):
        self.day = 1
        pages = self

        class Handler(e2e.QuietHandler):
            def do_GET(self):
                band = ""
                if self.path == "/moving" and pages.day > 1:
                    band = f"<div style='height:{HEIGHT // 2}px;background:#ffff00'></div>"
                colour = "ff0000" if self.path == "/still" else "0000ff"
                body = (
                    "<!DOCTYPE html><html><head><meta charset='utf-8'></head>"
                    f"<body style='margin:0;overflow:hidden;background:#{colour}'>{band}</body></html>"
                ).encode()
                self.send(body)

        super().__init__(Handler)
        self.still = self.url("/still")
        self.moving = self.url("/moving")


pages = Pages()
work = tempfile.mkdtemp(prefix="sorvane-records-")
urls = [pages.still, pages.moving]
last = {}  # the latest run's result, for the failure report


def expect(condition, message):
    if not condition:
        raise TestFailure(message)


def run(folder, fmt):
    env = e2e.utf8_env()
    env["HOME"] = work
    r = subprocess.run(
        [EXE, "--list", "list.txt", "--folder", folder, "--pause", "1", "--start",
         "--exit-when-done", "--page-timeout", "10", "--record", "--changed-only", "--format", fmt],
        cwd=work, env=env, capture_output=True, timeout=120)
    last.update(folder=folder, result=r)
    expect(r.returncode == 0, f"the run ended with {r.returncode}: {r.stderr.decode()[-2000:]}")
    # Nothing but the first line, which names the engine that drew.
    said = r.stderr.decode().splitlines()
    expect(len(said) == 1 and said[0].startswith("sorvane: 网页由 "), f"standard error: {said}")
    lines = [line.split("\t") for line in r.stdout.decode().splitlines()]
    expect(len(lines) == len(urls) and all(len(f) == 5 for f in lines),
           f"one line of five fields per page expected: {lines}")
    for fields, url in zip(lines, urls):
        expect(fields[1] == url and fields[3] == "loaded", f"the line {fields} for {url}")
    return lines


def picture_size(path):
    """(width, height) from the picture's own header; the format must match the name."""
    with open(path, "rb") as f:
        data = f.read()
    expect(data[:4] == b"\x89PNG" if path.endswith(".png") else data[:3] == b"\xff\xd8\xff",
           f"{path} is not in the format its name says")
    return e2e.picture_size(data)


def colour_at(path, x, y):
    out = subprocess.run(["convert", path, "-crop", f"1x1+{x}+{y}", "-depth", "8", "txt:-"],
                         capture_output=True, text=True, check=True).stdout
    m = re.search(r"\((\d+),(\d+),(\d+)", out.splitlines()[-1])
    return tuple(int(v) for v in m.groups())


def near(colour, wanted, slack):
    return all(abs(a - b) <= slack for a, b in zip(colour, wanted))


def two_days(fmt, extension, slack):
    folder = os.path.join(work, f"截图 {fmt}")
    os.makedirs(folder)
    pages.day = 1
    first = run(folder, fmt)
    for fields in first:
        expect(fields[4] == "new", f"a first picture compared with something: {fields}")
        expect(fields[2].endswith(extension) and os.path.dirname(fields[2]) == folder,
               f"the picture {fields[2]}")
        expect(picture_size(fields[2]) == (WIDTH, HEIGHT), f"{fields[2]} is not {WIDTH} × {HEIGHT}")
    time.sleep(1)  # a later second, so no name is shared with the first day
    pages.day = 2
    second = run(folder, fmt)

    still, moving = second
    expect(still[4] == "0.0", f"the page that did not change: {still}")
    expect(still[2] == first[0][2], f"its row should name the first day's picture: {still}")
    change = float(moving[4])
    expect(45 <= change <= 55, f"half the page changed, the line says {moving[4]}")
    expect(moving[2] != first[1][2] and os.path.exists(moving[2]), f"the changed picture {moving}")

    base, ext = os.path.splitext(os.path.basename(moving[2]))
    framed = os.path.join(folder, base + "-变化" + ext)
    kept = sorted(os.path.basename(f[2]) for f in first) + [os.path.basename(moving[2])]
    expect(sorted(os.listdir(folder)) ==
           sorted(kept + [os.path.basename(framed), RECORD, "截图记录.html"]),
           f"the folder holds {sorted(os.listdir(folder))}")
    expect(picture_size(framed) == (WIDTH, HEIGHT), f"{framed} is not {WIDTH} × {HEIGHT}")
    # Red frames the yellow band, which is left as it was; below it, blue as before.
    expect(near(colour_at(framed, 0, HEIGHT // 4), (255, 0, 0), slack), "no red frame at the band's side")
    expect(near(colour_at(framed, WIDTH // 2, HEIGHT // 4), (255, 255, 0), slack), "the band is hidden")
    expect(near(colour_at(framed, WIDTH // 2, HEIGHT * 3 // 4), (0, 0, 255), slack), "below the band")

    with open(os.path.join(folder, RECORD), "rb") as f:
        data = f.read()
    expect(data.endswith(b"\r\n") and b"\r\n\r\n" not in data, "rows end in CR LF")
    rows = list(csv.reader(io.StringIO(data.decode("utf-8"), newline="")))
    want = [HEADER] + [[f[0], f[1], os.path.basename(f[2]), f[3], f[4]] for f in first + second]
    expect(rows == want, f"the record holds {rows}, not {want}")


def png_two_days():
    """--format png: two days, the unchanged picture not kept, the changed one framed"""
    two_days("png", ".png", 0)


def jpeg_two_days():
    """--format jpeg: the same, and JPEG noise never counts as a change"""
    two_days("jpeg", ".jpg", 24)


def prepare():
    """a list of two pages"""
    with open(os.path.join(work, "list.txt"), "wb") as f:
        f.write(b"".join(b"\r\n" + u.encode() for u in urls))


def cleanup():
    pages.close()
    shutil.rmtree(work, ignore_errors=True)


def details():
    e2e.print_run(last.get("result"), last.get("folder"))
    if "folder" in last and os.path.isdir(last["folder"]):
        record = os.path.join(last["folder"], RECORD)
        if os.path.exists(record):
            print(open(record, encoding="utf-8", errors="replace").read())


if __name__ == "__main__":
    sys.exit(e2e.Steps().run([prepare, png_two_days, jpeg_two_days], cleanup, details))
