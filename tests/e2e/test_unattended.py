"""A run from the command line, as cron would start it: the real program with
--list and --folder given relative to the caller's directory (a folder name
with Chinese characters and a space), --pause 1, --start, --exit-when-done
and --page-timeout, against pages on 127.0.0.1, one of which never finishes.
Nobody touches the window.

    tests/run-under-display /usr/bin/python3 tests/e2e/test_unattended.py build/sorvane
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sorvane_e2e as e2e  # noqa: E402
from sorvane_e2e import TestFailure  # noqa: E402

EXE = os.path.abspath(e2e.executable_from_argv())
RED, BLUE, YELLOW = "ff0000", "0000ff", "ffff00"
PAUSE, PAGE_TIMEOUT = 1, 3


class StuckPageServer(e2e.LoopbackSite):
    """Serves one page that starts (a yellow body) and never finishes: the
    response promises more bytes than ever come, and the connection stays
    open until the server closes."""

    def __init__(self):
        site = self

        class Handler(e2e.QuietHandler):
            def do_GET(self):
                head = (
                    "<!DOCTYPE html><html><head><meta charset='utf-8'></head>"
                    f"<body style='margin:0;background:#{YELLOW}'>"
                ).encode()
                self.send_response(200)
                self.send_header("Content-Type", "text/html; charset=utf-8")
                self.send_header("Content-Length", str(len(head) + 1_000_000))
                self.end_headers()
                # Enough for the parser to show the body before the rest.
                self.wfile.write(head + b"<!--" + b" " * 4096 + b"-->")
                self.wfile.flush()
                site.released.wait()

        super().__init__(Handler)
        self.stuck = self.url("/stuck")


pages = e2e.PageServer()
stuck = StuckPageServer()
work = tempfile.mkdtemp(prefix="sorvane-unattended-")
caller = os.path.join(work, "caller")  # the directory the run is started from
home = os.path.join(work, "home")
shots_name = "截图 保存"
shots = os.path.join(caller, shots_name)
list_name = "网址.txt"
urls = [pages.url(RED), stuck.stuck, pages.url(BLUE)]
result = None


def expect(condition, message):
    if not condition:
        raise TestFailure(message)


def environment(display=True):
    env = e2e.utf8_env()
    env.update(
        HOME=home,
        XDG_CONFIG_HOME=os.path.join(home, ".config"),
        XDG_DATA_HOME=os.path.join(home, ".local", "share"),
        XDG_CACHE_HOME=os.path.join(home, ".cache"),
    )
    if not display:
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
    return env


def run(args, display=True, timeout=180):
    return subprocess.run(
        [EXE, *args], cwd=caller, env=environment(display), capture_output=True,
        timeout=timeout,
    )


def all_files(top):
    found = set()
    for folder, _, names in os.walk(top):
        found.update(os.path.relpath(os.path.join(folder, n), top) for n in names)
    return found


def prepare():
    """A list file and an empty picture folder beside the caller"""
    os.makedirs(shots)
    os.makedirs(home)
    with open(os.path.join(caller, list_name), "wb") as f:
        f.write(b"".join(b"\r\n" + u.encode() for u in urls))


def refused_without_a_window():
    """Help needs no display; a missing folder is code 2 and one line, before any window"""
    r = run(["--help"], display=False, timeout=30)
    expect(r.returncode == 0, f"--help ended with {r.returncode}: {r.stderr!r}")
    expect("--exit-when-done" in r.stdout.decode() and "用法" in r.stdout.decode(),
           f"--help says {r.stdout.decode()!r}")
    r = run(["--list", list_name, "--folder", "没有这个文件夹", "--start", "--exit-when-done"],
            display=False, timeout=30)
    expect(r.returncode == 2, f"a missing folder ended with {r.returncode}")
    expect(r.stdout == b"", f"standard output holds {r.stdout!r}")
    lines = r.stderr.decode().splitlines()
    expect(lines == ["sorvane: 截图文件夹不存在或无法写入：没有这个文件夹"],
           f"standard error says {lines}")


def unattended_run():
    """--start --exit-when-done runs the list and ends by itself with code 0"""
    global result
    began = time.time()
    result = run(["--list", list_name, "--folder", shots_name, "--pause", str(PAUSE), "--start",
                  "--exit-when-done", "--page-timeout", str(PAGE_TIMEOUT)])
    took = time.time() - began
    expect(result.returncode == 0,
           f"the run ended with {result.returncode}: {result.stderr.decode()[-2000:]}")
    # The stuck page alone holds the run for the page time-out.
    expect(took >= PAGE_TIMEOUT + 2, f"the run took only {took:.1f} s")
    expect("sorvane: 网页载入超时，已停止载入：" + stuck.stuck in result.stderr.decode(),
           "no word of the stopped page on standard error")


def one_line_per_page():
    """One line per page on standard output: time, address, picture, how it ended; nothing else"""
    lines = result.stdout.decode().split("\n")
    expect(lines[-1] == "", "standard output does not end with a line end")
    lines = lines[:-1]
    expect(len(lines) == len(urls), f"{len(lines)} lines for {len(urls)} pages: {lines}")
    for line, url, ending in zip(lines, urls, ["loaded", "timeout", "loaded"]):
        fields = line.split("\t")
        expect(len(fields) == 4, f"not four fields: {line!r}")
        stamp, address, picture, how = fields
        expect(how == ending, f"the page of {url} ended '{how}', not '{ending}'")
        time.strptime(stamp, "%Y-%m-%d %H:%M:%S")
        expect(address == url, f"the line names {address}, not {url}")
        expect(os.path.dirname(picture) == shots,
               f"{picture} is not in the folder given, made full: {shots}")
        key = e2e.picture_sort_key(os.path.basename(picture))
        expect(key is not None, f"{picture} breaks the date-time naming rule")
        expect(key[:6] == time.strptime(stamp, "%Y-%m-%d %H:%M:%S")[:6],
               f"{picture} is not named for the time of its line, {stamp}")


def pictures():
    """One picture per page, each showing its page; the stuck one as it stood"""
    named = [line.split("\t")[2] for line in result.stdout.decode().splitlines()]
    on_disk = sorted(os.listdir(shots))
    expect(on_disk == sorted(os.path.basename(p) for p in named),
           f"the folder holds {on_disk}; the lines name {named}")
    for picture, colour in zip(named, [RED, YELLOW, BLUE]):
        size = os.path.getsize(picture)
        expect(size == e2e.PICTURE_BYTES, f"{picture} holds {size} bytes")
        bmp = e2e.read_bmp(picture)
        seen = bmp.colours_in(64, 64, e2e.PICTURE_WIDTH - 64, e2e.PICTURE_HEIGHT - 64)
        want = tuple(int(colour[i : i + 2], 16) for i in (0, 2, 4))
        expect(seen == {want}, f"{picture} should show #{colour}; it shows {sorted(seen)[:6]}")


def nothing_elsewhere():
    """Nothing written but the pictures: the caller's directory, home and the program's folder"""
    expected = {list_name} | {os.path.join(shots_name, n) for n in os.listdir(shots)}
    found = all_files(caller)
    expect(found == expected, f"the caller's directory holds {sorted(found - expected)} too")
    program_folder = os.path.dirname(os.path.abspath(EXE))
    stray = [n for n in os.listdir(program_folder) if e2e.picture_sort_key(n)]
    stray += [f for f in all_files(home) if e2e.picture_sort_key(os.path.basename(f))]
    expect(not stray, f"pictures written elsewhere: {stray}")


def cleanup():
    pages.close()
    stuck.close()
    shutil.rmtree(work, ignore_errors=True)


def details():
    e2e.print_run(result, shots)


if __name__ == "__main__":
    sys.exit(
        e2e.Steps().run(
            [prepare, refused_without_a_window, unattended_run, one_line_per_page, pictures,
             nothing_elsewhere],
            cleanup,
            details,
        )
    )
