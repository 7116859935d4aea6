"""How long the gallery at its bound takes to open in a browser: Debian's
Chromium, headless, a new profile each time.

    /usr/bin/python3 bench/gallery_open.py build/bench/bench_gallery [TIMES]

bench_gallery makes the folder (a record of 100,000 rows, its latest 2,000
pictures there) and a gallery of 2,000 cards; the page is then opened TIMES
(10) times. Timed from the navigation to the load event, and to every
thumbnail of the first screen shown (the rest load as they are scrolled to).
"""

import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from headless_chromium import Chromium  # noqa: E402

FIRST_SCREEN = """(async () => {
  const seen = [...document.images].filter(i => i.getBoundingClientRect().top < innerHeight);
  while (!seen.every(i => i.complete && i.naturalWidth > 0))
    await new Promise(r => setTimeout(r, 5));
  return [seen.length, document.querySelectorAll('.card').length];
})()"""


def main():
    bench = sys.argv[1]
    times = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    folder = tempfile.mkdtemp(prefix="sorvane-gallery-open-")
    try:
        subprocess.run([bench, "100", folder], check=True, stdout=subprocess.DEVNULL)
        url = "file://" + urllib.parse.quote(os.path.join(folder, "截图记录.html"))
        loaded, shown = [], []
        for _ in range(times):
            c = Chromium()
            try:
                c.open("about:blank")
                start = time.monotonic()
                c.open(url)
                loaded.append((time.monotonic() - start) * 1000)
                thumbnails, cards = c.evaluate(FIRST_SCREEN)
                shown.append((time.monotonic() - start) * 1000)
            finally:
                c.close()
        print(f"gallery of {cards} cards, {os.path.getsize(urllib.parse.unquote(url[7:]))} bytes")
        for what, values in (("load event", loaded),
                             (f"first screen's {thumbnails} thumbnails shown", shown)):
            print(f"{what:40} median {statistics.median(values):.0f} ms, "
                  f"min {min(values):.0f}, max {max(values):.0f} over {len(values)}")
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
