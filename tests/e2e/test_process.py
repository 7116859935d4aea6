"""The process around the window, as cron and scripts meet it: standard
streams closed by the caller, termination signals during a run, the display
going away under the program. Every end is a clear one: the run's lines and
exit code, a "sorvane: " line, and no engine process left behind.

    tests/run-under-display /usr/bin/python3 tests/e2e/test_process.py build/sorvane
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import uuid

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sorvane_e2e as e2e  # noqa: E402
from hostile_pages import HostileServer  # noqa: E402
from sorvane_e2e import TestFailure  # noqa: E402

EXE = os.path.abspath(e2e.executable_from_argv())
RED, BLUE = "ff0000", "0000ff"

work = tempfile.mkdtemp(prefix="sorvane-process-")
server = None


def expect(condition, message):
    if not condition:
        raise TestFailure(message)


def marked_processes(mark):
    """Processes started with this mark in their environment (the program
    and every engine process it started)"""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/environ", "rb") as f:
                if f"SORVANE_TEST_MARK={mark}".encode() in f.read().split(b"\0"):
                    with open(f"/proc/{pid}/comm") as c:
                        found.append(c.read().strip())
        except OSError:
            pass
    return found


def none_left(mark, within=1.5):
    deadline = time.time() + within
    while marked_processes(mark) and time.time() < deadline:
        time.sleep(0.1)
    left = marked_processes(mark)
    expect(not left, f"processes left behind: {left}")


def setting(name, urls):
    folder = os.path.join(work, name)
    shots = os.path.join(folder, "shots")
    os.makedirs(shots)
    list_file = os.path.join(folder, "list.txt")
    with open(list_file, "wb") as f:
        f.write(b"".join(b"\r\n" + u.encode() for u in urls))
    env = e2e.utf8_env()
    env["HOME"] = os.path.join(work, "home")
    env["SORVANE_TEST_MARK"] = mark = uuid.uuid4().hex
    return folder, shots, list_file, env, mark


def prepare():
    """A page server and a home for the engine"""
    global server
    os.makedirs(os.path.join(work, "home"))
    server = HostileServer()


def closed_streams():
    """With standard output and error closed, the run still ends, with its pictures"""
    urls = [server.url("/" + RED), server.url("/" + BLUE)]
    folder, shots, list_file, env, mark = setting("closed", urls)
    command = [EXE, "--list", list_file, "--folder", shots, "--pause", "1", "--start",
               "--exit-when-done"]
    r = subprocess.run(["/bin/sh", "-c", 'exec "$@" <&- >&- 2>&-', "sh", *command], cwd=folder,
                       env=env, timeout=60)
    expect(r.returncode == 0, f"the run ended with {r.returncode}")
    expect(len(os.listdir(shots)) == 2, f"pictures: {os.listdir(shots)}")
    none_left(mark)


def terminated(sig, stuck_path, want_code, engine="builtin"):
    urls = [server.url("/" + RED), server.url(stuck_path)]
    folder, shots, list_file, env, mark = setting(f"signal{sig}{stuck_path[1:]}{engine}", urls)
    p = subprocess.Popen([EXE, "--engine", engine, "--list", list_file, "--folder", shots, "--pause", "1", "--start",
                          "--exit-when-done"], cwd=folder, env=env, stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE)
    # The red page is pictured at 3 s and the stuck one sent at 4 s.
    time.sleep(6)
    expect(p.poll() is None, "the run ended before the signal")
    sent = time.time()
    p.send_signal(sig)
    try:
        out, err = p.communicate(timeout=10)
    except subprocess.TimeoutExpired:
        p.kill()
        raise TestFailure(f"signal {sig} did not end the run within 10 s")
    took = time.time() - sent
    expect(p.returncode == want_code, f"signal {sig}: exit {p.returncode}, {err.decode()[-800:]}")
    expect(took < 5, f"signal {sig} took {took:.1f} s to end the run")
    expect(len(out.decode().splitlines()) == 1, f"lines: {out.decode()!r}")
    stray = [l for l in err.decode().splitlines() if l and not l.startswith("sorvane: ")]
    expect(not stray, f"standard error holds lines not the program's: {stray}")
    # A killed program says nothing: its browser leaves when the pipe closes.
    none_left(mark, within=5 if sig == signal.SIGKILL else 1.5)


def signals():
    """SIGTERM, SIGINT and SIGHUP during a run end it as closing the window does (code 3), with no engine process left, on a spinning page too"""
    for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        terminated(sig, "/hang", 3)
    terminated(signal.SIGTERM, "/spin", 3)


def chromium_endings():
    """With our own engine's browser: a signal ends the run with 3 and a killed program leaves no browser process within seconds"""
    terminated(signal.SIGTERM, "/spin", 3, "chromium")
    terminated(signal.SIGKILL, "/hang", -signal.SIGKILL, "chromium")


def lost_display():
    """A display that goes away ends the program on the fatal path: one line, code -1"""
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                             "1280x1024x24", "-nolisten", "tcp"], pass_fds=(write_end,),
                            stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read_end, 16)
        if not chunk:
            break
        number += chunk
    os.close(read_end)
    urls = [server.url("/" + RED), server.url("/spin")]
    folder, shots, list_file, env, mark = setting("display", urls)
    env["DISPLAY"] = ":" + number.decode().strip()
    env.pop("XAUTHORITY", None)
    p = subprocess.Popen([EXE, "--list", list_file, "--folder", shots, "--pause", "1", "--start",
                          "--exit-when-done"], cwd=folder, env=env, stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE)
    time.sleep(6)
    xvfb.kill()
    xvfb.wait()
    try:
        out, err = p.communicate(timeout=10)
    except subprocess.TimeoutExpired:
        p.kill()
        raise TestFailure("the program went on without its display")
    lines = err.decode().splitlines()
    expect(p.returncode == 255, f"exit {p.returncode}: {lines[-5:]}")
    expect(lines and all(l.startswith("sorvane: ") for l in lines if l),
           f"standard error: {lines[-5:]}")
    none_left(mark)


def cleanup():
    if server:
        server.close()
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(e2e.Steps().run([prepare, closed_streams, signals, chromium_endings, lost_display], cleanup))
