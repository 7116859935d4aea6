"""The gallery beside the record (截图记录.html), opened in a real browser
(Debian's Chromium, headless): the real program run twice from the command
line with --record over one folder, against pages on 127.0.0.1, then a run
ended by SIGKILL.

The list: a page that stays, a page that changes between the runs, an
address nothing answers, a javascript: address and an address whose query
holds quotes and angle brackets.

    tests/run-under-display /usr/bin/python3 tests/e2e/test_gallery.py build/sorvane
"""

import csv
import io
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sorvane_e2e as e2e  # noqa: E402
from headless_chromium import Chromium  # noqa: E402
from sorvane_e2e import TestFailure  # noqa: E402

EXE = os.path.abspath(e2e.executable_from_argv())
GALLERY = "截图记录.html"
RECORD = "截图记录.csv"


class Pages(e2e.LoopbackSite):
    """/still is grey for good; /moving is blue, and from the second run on
    has a yellow band over its top half; /slow answers after a second."""

    def __init__(self):
        self.day = 1
        pages = self

        class Handler(e2e.QuietHandler):
            def do_GET(self):
                if self.path.startswith("/slow"):
                    pages.released.wait(1)
                band = ""
                if self.path.startswith("/moving") and pages.day > 1:
                    band = "<div style='height:284px;background:#ffff00'></div>"
                colour = "0000ff" if self.path.startswith("/moving") else "c0c0c0"
                self.send(("<!DOCTYPE html><html><head><meta charset='utf-8'></head>"
                           f"<body style='margin:0;background:#{colour}'>{band}</body></html>"
                           ).encode())

        super().__init__(Handler)


def closed_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


pages = Pages()
work = tempfile.mkdtemp(prefix="sorvane-gallery-")
HOSTILE_QUERY = pages.url("/still?q=\"><script>window.owned=1</script><img src=x onerror=\"window.owned=2\">&a=<b>")
SCRIPT = "javascript:window.owned=3;document.title='owned'"
URLS = [pages.url("/still"), pages.url("/moving"), f"http://127.0.0.1:{closed_port()}/nothing",
        SCRIPT, HOSTILE_QUERY]
ENDS = ["loaded", "loaded", "failed", "blank", "loaded"]
last = {}
browser = []


def expect(condition, message):
    if not condition:
        raise TestFailure(message)


def write_list(name, urls):
    path = os.path.join(work, name)
    with open(path, "wb") as f:
        f.write(b"".join(b"\r\n" + u.encode() for u in urls))
    return path


def command(list_file, folder):
    return [EXE, "--list", list_file, "--folder", folder, "--pause", "1", "--start",
            "--exit-when-done", "--page-timeout", "10", "--record", "--format", "png"]


def env():
    e = e2e.utf8_env()
    e["HOME"] = work
    return e


def record_rows(folder):
    with open(os.path.join(folder, RECORD), "rb") as f:
        return list(csv.reader(io.StringIO(f.read().decode("utf-8"), newline="")))[1:]


def chromium():
    if not browser:
        browser.append(Chromium())
    return browser[0]


def open_gallery(folder):
    c = chromium()
    c.open("file://" + urllib.parse.quote(os.path.join(folder, GALLERY)))
    return c


# Every thumbnail brought into view in turn (they load lazily), then what each shows.
THUMBNAILS = """(async () => {
  const shown = [];
  for (const img of document.images) {
    img.scrollIntoView();
    for (let i = 0; i < 100 && !(img.complete && img.naturalWidth > 0); i++)
      await new Promise(r => setTimeout(r, 50));
    shown.push([decodeURIComponent(new URL(img.src).pathname), img.naturalWidth]);
  }
  return shown;
})()"""

SECTIONS = """[...document.querySelectorAll('section')].map(s => ({
  heading: s.querySelector('h2').textContent,
  hidden: s.hidden,
  cards: [...s.querySelectorAll('.card')].map(c => ({
    url: c.querySelector('.url').textContent,
    links: [...c.querySelector('.url').querySelectorAll('a')].map(a => a.href),
    changed: c.classList.contains('changed'),
    visible: c.offsetParent !== null,
    diff: c.querySelector('a.diff') ? c.querySelector('a.diff').href : null,
  })),
}))"""


def file_of(url):
    expect(url.startswith("file://"), f"{url} is not a file address")
    return urllib.parse.unquote(urllib.parse.urlparse(url).path)


def two_runs():
    """two runs of the list: a section per run, a card per page in order, every thumbnail loaded"""
    folder = os.path.join(work, "截图 两次")
    os.makedirs(folder)
    list_file = write_list("list.txt", URLS)
    for day in (1, 2):
        pages.day = day
        r = subprocess.run(command(list_file, folder), cwd=work, env=env(), capture_output=True,
                           timeout=180)
        last.update(folder=folder, result=r)
        expect(r.returncode == 0, f"run {day} ended with {r.returncode}")
        time.sleep(1)  # no picture name shared between the runs
    rows = record_rows(folder)
    expect([(r[1], r[3]) for r in rows] == list(zip(URLS, ENDS)) * 2,
           f"the record holds {rows}")

    c = open_gallery(folder)
    expect(c.evaluate("document.title") == "截图记录", "the gallery's title")
    sections = c.evaluate(SECTIONS)
    expect(len(sections) == 2, f"{len(sections)} sections for two runs")
    for section, run in zip(sections, (rows[5:], rows[:5])):  # newest first
        expect(section["heading"] == run[0][0] + " 的运行", f"the heading {section['heading']}")
        expect([card["url"] for card in section["cards"]] == URLS,
               f"the cards of {section['heading']}: {[card['url'] for card in section['cards']]}")
        for card in section["cards"]:
            expect(card["visible"], f"the card of {card['url']} does not show")
            # The browser's form of the address: its quotes and brackets escaped.
            links = [urllib.parse.unquote(a) for a in card["links"]]
            linked = card["url"].startswith("http:")
            expect(links == ([urllib.parse.unquote(card["url"])] if linked else []),
                   f"the links of {card['url']}: {card['links']}")

    thumbnails = c.evaluate(THUMBNAILS)
    pictures = [r[2] for r in rows[5:] + rows[:5]]
    expect([os.path.basename(path) for path, _ in thumbnails] == pictures,
           f"the thumbnails {thumbnails}, the pictures {pictures}")
    for path, width in thumbnails:
        expect(width > 0 and os.path.dirname(path) == folder, f"the thumbnail {path} shows nothing")
    last["folder_checked"] = folder


def changed_card():
    """the changed page's card stands out, its framed picture a click away"""
    c = chromium()
    sections = c.evaluate(SECTIONS)
    marked = [(i, card) for i, s in enumerate(sections) for card in s["cards"] if card["changed"]]
    expect(len(marked) == 1 and marked[0][0] == 0 and marked[0][1]["url"] == URLS[1],
           f"the cards marked changed: {marked}")
    framed = file_of(marked[0][1]["diff"])
    expect(os.path.basename(framed).endswith("-变化.png") and os.path.isfile(framed),
           f"the framed picture {framed}")
    width = c.evaluate(f"""(async () => {{
      const img = new Image();
      img.src = document.querySelector('.card.changed a.diff').href;
      await img.decode();
      return img.naturalWidth;
    }})()""")
    expect(width == e2e.PICTURE_WIDTH, f"the framed picture opens {width} wide")


def filter_and_no_script():
    """the filter shows only the changed card, or the pages not loaded; without script every card shows"""
    c = chromium()

    def choose(f):
        c.evaluate(f"document.querySelector('nav button[data-f=\"{f}\"]').click()")
        return [(card["url"], s["hidden"]) for s in c.evaluate(SECTIONS) for card in s["cards"]
                if card["visible"]]

    expect(choose("changed") == [(URLS[1], False)], f"changed: {choose('changed')}")
    hidden = [s["hidden"] for s in c.evaluate(SECTIONS)]
    expect(hidden == [False, True], f"a section with no changed card stays: {hidden}")
    not_loaded = [url for url, _ in choose("notloaded")]
    expect(not_loaded == [URLS[2], URLS[3]] * 2, f"not loaded: {not_loaded}")
    expect(len(choose("")) == 10, "all: every card again")

    # Nothing from an address ran: no global set, no title changed, one script only.
    state = c.evaluate("""({owned: typeof window.owned, title: document.title,
      scripts: document.scripts.length,
      handlers: document.querySelectorAll('[onerror],[onload],[onclick]').length,
      scriptLinks: [...document.links].filter(a => !/^(https?|file):/.test(a.href)).length})""")
    expect(state == {"owned": "undefined", "title": "截图记录", "scripts": 1, "handlers": 0,
                     "scriptLinks": 0}, f"a hostile address did something: {state}")

    here = c.evaluate("location.href")
    c.call("Emulation.setScriptExecutionDisabled", value=True)
    try:
        c.open(here)
        shown = c.evaluate("""[document.querySelector('nav').offsetParent === null,
          [...document.querySelectorAll('.card')].filter(c => c.offsetParent !== null).length]""")
        expect(shown == [True, 10], f"without script: filter hidden, cards shown: {shown}")
    finally:
        c.call("Emulation.setScriptExecutionDisabled", value=False)


def killed_run():
    """a run ended by SIGKILL leaves a whole gallery that opens"""
    folder = os.path.join(work, "截图 中断")
    os.makedirs(folder)
    list_file = write_list("slow.txt", [pages.url(f"/slow/{i}") for i in range(12)])
    p = subprocess.Popen(command(list_file, folder), cwd=work, env=env(),
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline and p.poll() is None:
            path = os.path.join(folder, RECORD)
            if os.path.exists(path) and len(record_rows(folder)) >= 3:
                break
            time.sleep(0.02)
        expect(p.poll() is None, f"the run ended by itself with {p.returncode}")
    finally:
        p.send_signal(signal.SIGKILL)
        p.wait()
    rows = record_rows(folder)
    with open(os.path.join(folder, GALLERY), "rb") as f:
        text = f.read().decode("utf-8")
    expect(text.startswith("<!DOCTYPE html>") and text.endswith("</body></html>\n"),
           "the gallery is cut short")
    c = open_gallery(folder)
    sections = c.evaluate(SECTIONS)
    cards = [card["url"] for s in sections for card in s["cards"]]
    # Killed between a row and its page, the page has every row but that one.
    expect(len(sections) == 1 and cards in ([r[1] for r in rows], [r[1] for r in rows[:-1]]),
           f"the gallery shows {cards} for the rows {rows}")
    expect(all(width > 0 for _, width in c.evaluate(THUMBNAILS)), "a thumbnail shows nothing")


def cleanup():
    for c in browser:
        c.close()
    pages.close()
    shutil.rmtree(work, ignore_errors=True)


def details():
    e2e.print_run(last.get("result"), last.get("folder"))
    for c in browser:
        print("chromium:", c.output())


if __name__ == "__main__":
    sys.exit(e2e.Steps().run([two_runs, changed_card, filter_and_no_script, killed_run], cleanup,
                             details))
