"""Takes the README's picture of the gallery (截图记录.html): the real
program runs a small list twice with --record against pages served on
127.0.0.1, on a private virtual screen, and headless Chromium pictures the
gallery the second run left.

    /usr/bin/python3 tools/gallery-picture.py PATH/TO/sorvane docs/gallery.png

Builds nothing. Needs what the tests need (tools/setup.sh linux): Xvfb,
Chromium and python3-websocket.
"""

import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))

if os.environ.get("SORVANE_UNDER_DISPLAY") != "1":
    if len(sys.argv) != 3:
        sys.exit(f"usage: {sys.argv[0]} PATH/TO/sorvane OUTPUT.png")
    os.environ["SORVANE_NO_ACCESSIBILITY"] = "1"
    os.execv(os.path.join(HERE, "..", "tests", "run-under-display"),
             ["run-under-display", sys.executable, os.path.abspath(__file__),
              os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])])

from e2e_pages import LoopbackSite, QuietHandler  # noqa: E402
from headless_chromium import Chromium  # noqa: E402

PAGE = """<!DOCTYPE html><html><head><meta charset='utf-8'><style>
body{{margin:0;font:16px sans-serif;background:#fff}} header{{background:{colour};color:#fff;
padding:18px 24px;font-size:28px}} main{{padding:16px 24px;line-height:1.9}}
.box{{background:{box};height:120px;margin:12px 0}}</style></head><body>
<header>{title}</header><main>{body}</main></body></html>"""


class Site(LoopbackSite):
    def __init__(self):
        self.day = 1
        site = self

        class Handler(QuietHandler):
            def do_GET(self):
                name = self.path.strip("/")
                if name == "news":
                    items = ["市政府发布新一年交通规划", "本周末气温回升", "图书馆延长开放时间"]
                    if site.day > 1:
                        items = ["突发：跨江大桥今晚封闭施工", "本周末气温回升", "地铁五号线开通在即"]
                    body = "".join(f"<p>· {t}</p>" for t in items) + "<div class='box'></div>"
                    box = "#f0d0d0" if site.day == 1 else "#ffd54f"
                    page = PAGE.format(colour="#b22222", box=box, title="今日要闻", body=body)
                elif name == "prices":
                    rows = "".join(f"<p>{n}　{p} 元</p>" for n, p in
                                   [("大米", "5.20"), ("鸡蛋", "9.80"), ("白菜", "2.10")])
                    page = PAGE.format(colour="#2e7d32", box="#d8ecd8", title="价格表", body=rows)
                else:
                    page = PAGE.format(colour="#1565c0", box="#d0e0f4", title="天气",
                                       body="<p>晴，12 至 21 度</p><p>东南风 2 级</p>")
                self.send(page.encode())

        super().__init__(Handler)


def main(exe, out):
    site = Site()
    work = tempfile.mkdtemp(prefix="sorvane-gallery-picture-")
    try:
        folder = os.path.join(work, "截图")
        os.mkdir(folder)
        # A port nothing listens on: the page the engine shows for a failed load.
        closed = socket.socket()
        closed.bind(("127.0.0.1", 0))
        port = closed.getsockname()[1]
        closed.close()
        urls = [site.url("/news"), site.url("/prices"), site.url("/weather"),
                f"http://127.0.0.1:{port}/closed"]
        with open(os.path.join(work, "list.txt"), "wb") as f:
            f.write(b"".join(b"\r\n" + u.encode() for u in urls))
        env = dict(os.environ, HOME=work, LANG="C.UTF-8", LC_ALL="C.UTF-8")
        for day in (1, 2):
            site.day = day
            subprocess.run([exe, "--list", "list.txt", "--folder", folder, "--pause", "1",
                            "--start", "--exit-when-done", "--page-timeout", "10", "--record",
                            "--format", "png"], cwd=work, env=env, check=True,
                           stdout=subprocess.DEVNULL, timeout=120)
            time.sleep(1)
        browser = Chromium(width=1100, height=820)
        try:
            browser.open("file://" + urllib.parse.quote(os.path.join(folder, "截图记录.html")))
            browser.evaluate("""(async () => {
              for (const img of document.images) {
                while (img.getBoundingClientRect().top < innerHeight &&
                       !(img.complete && img.naturalWidth > 0))
                  await new Promise(r => setTimeout(r, 20));
              }
            })()""")
            os.makedirs(os.path.dirname(out), exist_ok=True)
            browser.screenshot(out)
        finally:
            browser.close()
        print(out)
    finally:
        site.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
