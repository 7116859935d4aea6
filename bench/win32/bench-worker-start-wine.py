"""What a new worker costs under Wine: the Windows program started as a run's
worker, from launch to its first sign of life (its window and browser made)
and to its first address being loaded (after the run's first one-second
poll). Six starts with a warm prefix and wine server; the first is not
counted. Wine figures, not Windows ones.

    tests/run-under-display /usr/bin/python3 bench/win32/bench-worker-start-wine.py build-win64/sorvane.exe
"""

import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
WINE_RUN = os.path.join(HERE, "..", "..", "tests", "win32", "wine-run")
EXE = os.path.abspath(sys.argv[1])


def main():
    if subprocess.run([WINE_RUN, "--can-run", EXE]).returncode != 0:
        print(f"Wine cannot run {EXE} here")
        return 77
    work = tempfile.mkdtemp(prefix="sorvane-worker-bench-")
    list_file = os.path.join(work, "list.txt")
    with open(list_file, "wb") as f:
        f.write(b"about:blank\r\n")
    alive, page = [], []
    for i in range(6):
        began = time.monotonic()
        worker = subprocess.Popen(
            [WINE_RUN, EXE, "--worker-from", "1", "--list", "Z:" + list_file.replace("/", "\\"),
             "--pause", "1", "--page-timeout", "3", "--start", "--exit-when-done"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        first_alive = first_page = None
        for line in worker.stdout:
            now = time.monotonic() - began
            if line.startswith(b"alive") and first_alive is None:
                first_alive = now
            if line.startswith(b"page\t"):
                first_page = now
        worker.wait()
        if i > 0:
            alive.append(first_alive * 1000)
            page.append(first_page * 1000)
    print("worker start under Wine, launch to first sign of life (ms):",
          " ".join("%.0f" % t for t in alive), "median %.0f" % statistics.median(alive))
    print("launch to its first address loading (ms):",
          " ".join("%.0f" % t for t in page), "median %.0f" % statistics.median(page))
    return 0


if __name__ == "__main__":
    sys.exit(main())
