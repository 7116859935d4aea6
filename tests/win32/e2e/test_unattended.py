"""The shipped Windows program started from a script under Wine: the same
options as on Linux, on sorvane.exe.

    tests/run-under-display /usr/bin/python3 tests/win32/e2e/test_unattended.py build-win64/sorvane.exe

Checks --version and a bad start (exit code 2, one line on standard error,
no window), then a prepared run: a GBK list file, a folder whose name has
Chinese characters and a space, --pause 1, --start, --exit-when-done and
--page-timeout. Wine's browser control has no engine here, so every page ends
as a failed load, and each line says so ("failed"); a `javascript:` address
in the list shows nothing of its own ("blank"), and its picture is white, not
the page before. The run, its lines, its pictures and its exit code are what
this can show.
"""

import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_e2e import EXE, WINE_RUN, TestFailure, expect, windows_path  # noqa: E402
from e2e_pages import PICTURE_BYTES, PICTURE_HEIGHT, PICTURE_NAME, PICTURE_WIDTH  # noqa: E402
from e2e_pages import PageServer, read_bmp  # noqa: E402


def run(*args, timeout=180):
    r = subprocess.run([WINE_RUN, EXE, *args], capture_output=True, timeout=timeout)
    return r.returncode, r.stdout.decode("gbk", "replace"), r.stderr.decode("gbk", "replace")


def main():
    if subprocess.run([WINE_RUN, "--can-run", EXE]).returncode != 0:
        print("Wine cannot run this build on this machine", flush=True)
        return 77
    server = PageServer()
    work = tempfile.mkdtemp(prefix="sorvane-wine-cli-")
    try:
        print("-- --version", flush=True)
        code, out, err = run("--version")
        expect(code == 0, f"--version ended with {code}: {err!r}")
        expect(out.startswith("Sorvane"), f"--version printed {out!r}")

        print("-- a bad start", flush=True)
        code, out, err = run("--pause", "x", "--start")
        expect(code == 2, f"a bad pause ended with {code}")
        expect(out == "", f"a bad start printed on standard output: {out!r}")
        expect(len(err.strip().splitlines()) == 1, f"a bad start said {err!r}")

        print("-- a prepared run to its end", flush=True)
        pages = [server.url("ff0000"), server.url("00ff00"), server.url("0000ff")]
        urls = pages[:2] + ["javascript:1"] + pages[2:]
        ends = ["failed", "failed", "blank", "failed"]
        list_file = os.path.join(work, "网址 列表.txt")
        with open(list_file, "wb") as f:
            f.write(b"".join(b"\r\n" + u.encode("gbk") for u in urls))
        shots = os.path.join(work, "截图 文件夹")
        os.mkdir(shots)
        code, out, err = run("--list", windows_path(list_file), "--folder", windows_path(shots),
                             "--pause", "1", "--start", "--exit-when-done",
                             "--page-timeout", "3", timeout=300)
        expect(code == 0, f"the run ended with {code}: {err!r}")
        lines = out.splitlines()
        expect(len(lines) == len(urls), f"one line per page expected: {lines!r}")
        pictures = sorted(os.listdir(shots))
        expect(len(pictures) == len(urls), f"pictures: {pictures}")
        for line, url, end in zip(lines, urls, ends):
            fields = line.split("\t")
            expect(len(fields) == 4 and fields[1] == url and fields[3] == end,
                   f"the line {line!r} for {url}, which should end {end!r}")
            name = fields[2].rsplit("\\", 1)[-1]
            expect(name in pictures, f"the line names {fields[2]!r}, not in {pictures}")
            if end == "blank":
                bmp = read_bmp(os.path.join(shots, name))
                colours = bmp.colours_in(0, 0, PICTURE_WIDTH, PICTURE_HEIGHT)
                expect(colours == {(255, 255, 255)}, f"the blank picture holds {colours}")
        for p in pictures:
            expect(PICTURE_NAME.match(p), f"a picture is named {p!r}")
            size = os.path.getsize(os.path.join(shots, p))
            expect(size == PICTURE_BYTES, f"{p} has {size} bytes")
        requested = ["/" + r for r in server.requests]
        for url in pages:
            path = url.split(str(server.port), 1)[1]
            expect(path in requested, f"the engine never asked for {path}: {requested}")
        print("unattended run under Wine: passed", flush=True)
        return 0
    except TestFailure as e:
        print(f"FAILED: {e}", flush=True)
        return 1
    finally:
        server.close()


if __name__ == "__main__":
    sys.exit(main())
