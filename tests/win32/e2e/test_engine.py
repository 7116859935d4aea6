"""Which engine draws on Windows, under Wine, with a stand-in program in the
browser's place. The stand-in answers the handshake and draws nothing: it is
a test double for finding, starting and ending the browser, and no page is
ever run on it.

    tests/run-under-display /usr/bin/python3 tests/win32/e2e/test_engine.py build-win64/sorvane.exe

- Found in a known folder with no option given, it is started with the
  window, and ending the program (killed, as a crash would) ends it.
- One that never answers: the window's control draws instead, and an
  unattended run says why in one line on standard error; `--engine chromium`
  with it ends with exit code 2 and its line.
"""

import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from wine_e2e import EXE, WINE_RUN, expect, windows_path  # noqa: E402

STAND_IN = os.path.join(os.path.dirname(EXE), "tests", "win32", "browser", "stand_in_browser.exe")


def stand_ins():
    r = subprocess.run(["pgrep", "-f", "Chrome.Application.chrome.exe"], capture_output=True)
    return r.stdout.split()


def until(condition, seconds):
    deadline = time.time() + seconds
    while not condition() and time.time() < deadline:
        time.sleep(0.2)
    return condition()


def run(*args, env=None):
    r = subprocess.run([WINE_RUN, EXE, *args], capture_output=True, timeout=120, env=env)
    return r.returncode, r.stderr.decode("gbk", "replace")


def main():
    if subprocess.run([WINE_RUN, "--can-run", EXE]).returncode != 0:
        print("Wine cannot run this build on this machine", flush=True)
        return 77
    run("--version")  # the prefix, made once
    local = glob.glob(os.path.join(os.environ["SORVANE_WINEPREFIX"], "drive_c", "users", "*",
                                   "AppData", "Local"))
    expect(local, "no local application data folder in the prefix")
    folder = os.path.join(local[0], "Google", "Chrome", "Application")
    os.makedirs(folder, exist_ok=True)
    shutil.copy(STAND_IN, os.path.join(folder, "chrome.exe"))
    work = tempfile.mkdtemp(prefix="sorvane-wine-engine-")
    silent = dict(os.environ, SORVANE_STAND_IN_SILENT="1")
    try:
        print("-- found with no option, started with the window, ended with the program", flush=True)
        program = subprocess.Popen([WINE_RUN, EXE], stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        expect(until(stand_ins, 30), "the browser found in the known folder was not started")
        time.sleep(2)
        expect(program.poll() is None, f"the program ended with {program.returncode}")
        program.kill()
        program.wait()
        expect(until(lambda: not stand_ins(), 15), "the browser outlived the program")

        list_file = os.path.join(work, "list.txt")
        with open(list_file, "wb") as f:
            f.write(b"\r\njavascript:1")
        unattended = ["--list", windows_path(list_file), "--pause", "1", "--start",
                      "--exit-when-done"]
        print("-- one that never answers: the control draws, and the run says why", flush=True)
        code, err = run(*unattended, env=silent)
        lines = [l for l in err.splitlines() if l.strip()]
        expect(code == 0, f"the run ended with {code}: {err!r}")
        expect(sum("改用系统浏览器控件" in l for l in lines) == 1, f"standard error: {lines!r}")
        expect(any("网页由 系统浏览器控件 绘制" in l for l in lines), f"standard error: {lines!r}")

        print("-- and --engine chromium with it ends with 2 and its line", flush=True)
        code, err = run("--engine", "chromium", *unattended, env=silent)
        lines = [l for l in err.splitlines() if l.strip()]
        expect(code == 2, f"--engine chromium ended with {code}: {err!r}")
        expect(len(lines) == 1 and "浏览器没有应答" in lines[0], f"standard error: {lines!r}")
        expect(until(lambda: not stand_ins(), 15), "a browser that never answered was left running")
    finally:
        shutil.rmtree(folder, ignore_errors=True)
        shutil.rmtree(work, ignore_errors=True)
        subprocess.run(["pkill", "-9", "-f", "Chrome.Application.chrome.exe"])
    print("passed", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
