"""An unattended run with --page-timeout on the Windows program under Wine is
carried out by a worker, a second copy of the program: a worker frozen
(SIGSTOP, as a page's endless script holds its thread) or killed while it
loads the second address is ended or found gone, that address says
`timeout` or `failed` with no picture, a new worker pictures the third, the
record has a row for each address, and the run ends with exit code 0 as it
would have without the fault. A watcher that is ended takes its worker with
it.

    tests/run-under-display /usr/bin/python3 tests/win32/e2e/test_worker.py build-win64/sorvane.exe

Wine's control loads no page here: each page is requested and then ends as
a failed load, and the second address's server holds its request, so the
fault comes while the worker is at that address.
"""

import csv
import os
import signal
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_e2e import EXE, WINE_RUN, TestFailure, expect, windows_path  # noqa: E402
from e2e_pages import LoopbackSite, QuietHandler, colour_page  # noqa: E402


class Site(LoopbackSite):
    """/rrggbb pages, and /held, which answers only when the site closes."""

    def __init__(self):
        self.held_asked = threading.Event()
        site = self

        class Handler(QuietHandler):
            def do_GET(self):
                if self.path == "/held":
                    site.held_asked.set()
                    site.released.wait(300)
                    return
                self.send(colour_page(self.path.strip("/")))

        super().__init__(Handler)


def windows_programs(marker=b""):
    """The Linux processes of the program under Wine (each Windows process is
    one), by their command line: Wine writes the Windows one in its place."""
    name = os.path.basename(EXE).encode()
    pids = []
    for entry in os.listdir("/proc"):
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                first, _, rest = f.read().partition(b"\0")
            if first.replace(b"\\", b"/").rsplit(b"/", 1)[-1] == name and marker in rest:
                pids.append(int(entry))
        except (OSError, ValueError):
            pass
    return pids


def worker_pids():
    return windows_programs(b"--worker-from")


def start_run(work, word):
    """The site, its addresses, the picture folder and the watcher's run over
    them; the second address is being loaded when this returns."""
    site = Site()
    urls = [site.url("/ff0000"), site.url("/held"), site.url("/0000ff")]
    list_file = os.path.join(work, f"list-{word}.txt")
    with open(list_file, "wb") as f:
        f.write(b"".join(u.encode() + b"\r\n" for u in urls))
    shots = os.path.join(work, f"截图 {word}")
    os.mkdir(shots)
    run = subprocess.Popen([WINE_RUN, EXE, "--list", windows_path(list_file),
                            "--folder", windows_path(shots), "--pause", "1", "--record",
                            "--page-timeout", "3", "--start", "--exit-when-done"],
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if not site.held_asked.wait(120):
        run.kill()
        site.close()
        raise TestFailure("the second address was never asked for")
    return site, urls, shots, run


def watcher_ended_takes_its_worker_along(work):
    """A watcher that is ended (closed, killed) leaves no worker running on."""
    site, _, _, run = start_run(work, "watcher")
    try:
        workers = worker_pids()
        expect(len(workers) == 1, f"one worker expected, found {workers}")
        watchers = [pid for pid in windows_programs() if pid not in workers]
        expect(len(watchers) == 1, f"one watcher expected, found {watchers}")
        os.kill(watchers[0], signal.SIGKILL)
        run.communicate(timeout=60)
        for _ in range(100):
            if not worker_pids():
                break
            time.sleep(0.1)
        expect(not worker_pids(), "the worker runs on after its watcher was ended")
    finally:
        if run.poll() is None:
            run.kill()
        site.close()
    print("-- a watcher ended: passed", flush=True)


def fault_run(work, fault, word):
    site, urls, shots, run = start_run(work, word)
    struck = []
    try:
        struck = worker_pids()
        expect(len(struck) == 1, f"one worker expected, found {struck}")
        os.kill(struck[0], fault)
        # The run must end by itself: this bound is only there so that a
        # watcher that waits for ever fails the test instead of hanging it.
        out, err = run.communicate(timeout=180)
    finally:
        if run.poll() is None:
            run.kill()
        for pid in struck:  # a frozen process is gone for Wine, not for Linux
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass
        site.close()
    out, err = out.decode("gbk", "replace"), err.decode("gbk", "replace")
    expect(run.returncode == 0, f"{word}: the run ended with {run.returncode}: {err!r}")
    lines = [line.split("\t") for line in out.splitlines()]
    expect([f[1] for f in lines] == urls, f"{word}: one line per address in order: {out!r}")
    expect([f[3] for f in lines] == ["failed", word, "failed"], f"{word}: the lines {out!r}")
    expect(lines[1][2] == "-" and lines[1][4] == "-", f"{word}: the lost page's line {lines[1]}")
    pictures = os.listdir(shots)
    third = lines[2][2].rsplit("\\", 1)[-1]
    expect(third in pictures, f"{word}: the third address's picture {third} not in {pictures}")
    expect(urls[1] in err, f"{word}: standard error does not name the lost address: {err!r}")
    with open(os.path.join(shots, "截图记录.csv"), encoding="gbk", newline="") as f:
        rows = list(csv.reader(f))[1:]
    expect([(r[1], r[3]) for r in rows] == list(zip(urls, ["failed", word, "failed"])),
           f"{word}: the record's rows {rows}")
    expect(rows[1][2] == "" and rows[2][2] == third, f"{word}: the record's pictures {rows}")
    print(f"-- a worker {'frozen' if fault == signal.SIGSTOP else 'killed'}: passed", flush=True)


def main():
    if subprocess.run([WINE_RUN, "--can-run", EXE]).returncode != 0:
        print("Wine cannot run this build on this machine", flush=True)
        return 77
    work = tempfile.mkdtemp(prefix="sorvane-wine-worker-")
    try:
        fault_run(work, signal.SIGSTOP, "timeout")
        fault_run(work, signal.SIGKILL, "failed")
        watcher_ended_takes_its_worker_along(work)
        print("workers under Wine: passed", flush=True)
        return 0
    except (TestFailure, subprocess.TimeoutExpired) as e:
        print(f"FAILED: {e}", flush=True)
        return 1


if __name__ == "__main__":
    sys.exit(main())
