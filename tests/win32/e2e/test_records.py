"""A record kept by the shipped Windows program under Wine: one run with
--format png --record, from a GBK list file into a folder whose name has
Chinese characters and a space. The record must be GBK, as a spreadsheet on a
Chinese Windows reads it, and hold exactly the run's lines.

    tests/run-under-display /usr/bin/python3 tests/win32/e2e/test_records.py build-win64/sorvane.exe

Wine's browser control has no engine here, so the pages end as failed loads;
the pictures, the record and the lines are what this can show.
"""

import html
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_e2e import EXE, WINE_RUN, TestFailure, expect, windows_path  # noqa: E402
from e2e_pages import PageServer  # noqa: E402


def csv_field(text):
    if any(c in text for c in ',"\r\n'):
        return '"' + text.replace('"', '""') + '"'
    return text


def check_gallery(shots, urls, pictures):
    """The gallery is UTF-8 though the program's texts are GBK: its addresses
    read as listed, and each picture's reference decodes (as browsers decode
    a file address, UTF-8) to the name of the file in the folder, its Chinese
    characters written as themselves: a browser that reads escapes in the
    system's code page finds the file too."""
    with open(os.path.join(shots, "截图记录.html"), "rb") as f:
        page = f.read().decode("utf-8")
    expect('<meta charset="utf-8">' in page, "the gallery declares no character set")
    shown = [html.unescape(re.sub(r"<[^>]*>", "", u))
             for u in re.findall(r'<p class="url">(.*?)</p>', page)]
    expect(shown == urls, f"the gallery shows the addresses {shown!r}")
    thumbnails = re.findall(r'<img loading="lazy" src="([^"]*)"', page)
    expect([urllib.parse.unquote(t, errors="strict") for t in thumbnails] == pictures,
           f"the thumbnails {thumbnails!r} are not the pictures {pictures!r}")
    for t in thumbnails:
        expect(not re.search(r"%[89A-F][0-9A-F]", t), f"{t} escapes characters beyond ASCII")
        expect(os.path.isfile(os.path.join(shots, urllib.parse.unquote(t))), f"{t} names no file")


def main():
    if subprocess.run([WINE_RUN, "--can-run", EXE]).returncode != 0:
        print("Wine cannot run this build on this machine", flush=True)
        return 77
    server = PageServer()
    work = tempfile.mkdtemp(prefix="sorvane-wine-records-")
    try:
        urls = [server.url("ff0000"), server.url("00ff00") + "?名称=甲,乙&\"引号\""]
        list_file = os.path.join(work, "网址.txt")
        with open(list_file, "wb") as f:
            f.write(b"".join(b"\r\n" + u.encode("gbk") for u in urls))
        shots = os.path.join(work, "截图 记录")
        os.mkdir(shots)
        r = subprocess.run([WINE_RUN, EXE, "--list", windows_path(list_file), "--folder",
                            windows_path(shots), "--pause", "1", "--start", "--exit-when-done",
                            "--page-timeout", "3", "--format", "png", "--record"],
                           capture_output=True, timeout=300)
        out, err = r.stdout.decode("gbk"), r.stderr.decode("gbk", "replace")
        expect(r.returncode == 0, f"the run ended with {r.returncode}: {err!r}")
        lines = [line.split("\t") for line in out.splitlines()]
        expect(len(lines) == len(urls), f"one line per page expected: {lines!r}")
        want = "时间,网址,截图,结果,变化\r\n"
        for fields, url in zip(lines, urls):
            expect(len(fields) == 5 and fields[1] == url and fields[4] == "new",
                   f"the line {fields!r} for {url}")
            name = fields[2].rsplit("\\", 1)[-1]
            expect(name.endswith(".png"), f"the picture is named {name!r}")
            with open(os.path.join(shots, name), "rb") as f:
                data = f.read()
            expect(data[:8] == b"\x89PNG\r\n\x1a\n", f"{name} is not a PNG")
            size = struct.unpack(">II", data[16:24])
            expect(size == (672, 568), f"{name} is {size[0]} × {size[1]}")
            want += ",".join(csv_field(v) for v in [fields[0], url, name, fields[3], "new"]) + "\r\n"
        with open(os.path.join(shots, "截图记录.csv"), "rb") as f:
            record = f.read()
        expect(record == want.encode("gbk"),
               f"the record holds {record!r}, not {want.encode('gbk')!r}")
        pictures = [f[2].rsplit("\\", 1)[-1] for f in lines]
        expected_files = sorted(pictures + ["截图记录.csv", "截图记录.html"])
        expect(sorted(os.listdir(shots)) == expected_files, f"the folder holds {os.listdir(shots)}")
        check_gallery(shots, urls, pictures)
        print("a record under Wine: passed", flush=True)
        return 0
    except TestFailure as e:
        print(f"FAILED: {e}", flush=True)
        return 1
    finally:
        server.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
