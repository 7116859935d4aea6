"""The shipped Windows program under Wine, driven as a person would with real
X input: a list typed in, a folder chosen in the folder picker, a run to
"连续访问结束" with one picture per address, the list exported and imported
as GBK, and Esc ending the program with exit code 0.

    tests/run-under-display /usr/bin/python3 tests/win32/e2e/test_program.py build-win64/sorvane.exe

Wine's browser control has no engine here: every page is requested from the
test server and then ends as a failed load, and the pictures show that. The
test checks what that allows: requests, names, sizes, the pace of the run.
It also prints the start-up time (launch to window) as a Wine figure.
"""

import glob
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from e2e_desk import TestFailure, click_at, press, type_text, utf8_env, wait_for  # noqa: E402
from e2e_pages import PICTURE_BYTES, PICTURE_HEIGHT, PICTURE_WIDTH, PICTURE_NAME, PageServer  # noqa: E402
from e2e_pages import read_bmp  # noqa: E402

EXE = os.path.abspath(sys.argv[1])
WINE_RUN = os.path.join(ROOT, "tests", "win32", "wine-run")
PREFIX = os.environ.get("SORVANE_WINEPREFIX") or "/tmp/sorvane-wine-e2e-%d" % os.getuid()
os.environ["SORVANE_WINEPREFIX"] = PREFIX

# Client-area centres of the controls the test uses (group box children are
# placed inside their box: 分组框1 at (696, 8), 分组框2 at (696, 552)).
ADDRESS_BOX = (696 + 12 + 120, 8 + 462 + 10)
ADD_BUTTON = (696 + 264 + 40, 8 + 456 + 16)
EXPORT_BUTTON = (696 + 80 + 40, 8 + 496 + 16)
IMPORT_BUTTON = (696 + 172 + 40, 8 + 496 + 16)
FOLDER_BUTTON = (696 + 312 + 16, 552 + 19 + 16)
PAUSE_BOX = (392 + 20, 590 + 10)
START_BUTTON = (568 + 40, 584 + 16)
STATE_LABEL = (100, 600)

PAUSE_SECONDS = 1
SHOTS_NAME = "sorvaneshots"


def expect(condition, message):
    if not condition:
        raise TestFailure(message)


def xdotool(*args):
    r = subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True,
                       env=utf8_env())
    return r.stdout.strip()


def windows():
    """Every named X window: {id: name}."""
    ids = xdotool("search", "--onlyvisible", "--name", ".").split()
    return {i: xdotool("getwindowname", i) for i in ids}


def window_named(name):
    for i, n in windows().items():
        if n == name:
            return i
    return None


def dialogs(main):
    """Windows other than the main one and Wine's input-method helpers."""
    return {i: n for i, n in windows().items() if i != main and n not in ("", "Default IME")}


class Program:
    def __init__(self):
        self.began = time.monotonic()
        self.process = subprocess.Popen([WINE_RUN, EXE], stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT)
        self.window = wait_for(lambda: window_named("Sorvane"), timeout=120,
                               what="the Sorvane window")
        self.startup = time.monotonic() - self.began
        geometry = dict(line.split("=", 1) for line in
                        xdotool("getwindowgeometry", "--shell", self.window).split())
        self.x, self.y = int(geometry["X"]), int(geometry["Y"])
        self.size = (int(geometry["WIDTH"]), int(geometry["HEIGHT"]))

    def click(self, point):
        click_at(self.x + point[0], self.y + point[1])

    def replace_text(self, point, text):
        self.click(point)
        press("End", "shift+Home")
        type_text(text)

    def wait_dialog(self, timeout=30, what="a dialog"):
        return wait_for(lambda: next(iter(dialogs(self.window).items()), None), timeout=timeout,
                        what=what)

    def wait_no_dialog(self, what="the dialog to close"):
        wait_for(lambda: not dialogs(self.window), what=what)

    def answer_box(self, text_hint, timeout=30):
        """Waits for a message box (caption "信息：") and presses Enter on it."""
        box, name = self.wait_dialog(timeout=timeout, what=f"the box {text_hint}")
        expect(name == "信息：", f"expected the message box {text_hint}, found {name!r}")
        press("Return")
        self.wait_no_dialog(f"the box {text_hint} to close")

    def file_dialog(self, windows_path):
        """Puts a full path into the open or save dialog and confirms it."""
        dialog, name = self.wait_dialog(what="the file dialog")
        time.sleep(0.5)  # the dialog sets its focus after it is mapped
        if windows_path.isascii():
            type_text(windows_path)
        else:
            paste_text(windows_path)
        press("Return")
        wait_for(lambda: dialog not in windows(), what=f"{name} to close")


# Characters without a key (the Chinese of a name) are typed through a key
# mapped for the moment, and Wine, when busy, reads the key after the map is
# back and drops the character. Such a text is pasted instead, as a person
# would paste a name: a small GTK process holds it on the clipboard meanwhile.
CLIPBOARD_OWNER = """
import sys, gi
gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, Gtk
Gtk.Clipboard.get(Gdk.SELECTION_CLIPBOARD).set_text(sys.argv[1], -1)
print("held", flush=True)
Gtk.main()
"""


def paste_text(text):
    owner = subprocess.Popen([sys.executable, "-c", CLIPBOARD_OWNER, text],
                             stdout=subprocess.PIPE, text=True)
    try:
        expect(owner.stdout.readline().strip() == "held", "the clipboard was not taken")
        press("End", "shift+Home", "ctrl+v")
        time.sleep(1)  # Wine asks the owner for the text while it handles the key
    finally:
        owner.kill()
        owner.wait()


def unix_to_windows(path):
    return "Z:" + path.replace("/", "\\")


def gbk_list(entries):
    return b"".join(b"\r\n" + e.encode("gbk") for e in entries)


def main():
    if subprocess.run([WINE_RUN, "--can-run", EXE]).returncode != 0:
        print("Wine cannot run this build on this machine", flush=True)
        return 77
    server = PageServer()
    work = tempfile.mkdtemp(prefix="sorvane-wine-e2e-")
    program = None
    failed = False
    try:
        urls = [server.url("ff0000"), server.url("00ff00") + "#截图", server.url("0000ff")]

        program = Program()
        print(f"start-up under Wine: {program.startup:.2f} s (launch to window)", flush=True)
        expect(program.size == (1073, 624) or program.size[0] > 1000,
               f"the client area is {program.size}")

        # The picker starts at the desktop, which lists its folders: one of
        # ours is there, reached by typing its name into the tree.
        desktops = [d for d in glob.glob(os.path.join(PREFIX, "drive_c", "users", "*", "Desktop"))
                    if "/Public/" not in d]
        expect(desktops, "the Wine prefix has no desktop folder")
        shots = os.path.join(desktops[0], SHOTS_NAME)
        os.makedirs(shots, exist_ok=True)
        for f in os.listdir(shots):
            os.remove(os.path.join(shots, f))

        print("-- a list typed in", flush=True)
        for url in urls:
            program.replace_text(ADDRESS_BOX, url)
            program.click(ADD_BUTTON)
        # A duplicate asks first; No keeps the list as it was.
        program.click(ADD_BUTTON)
        box, name = program.wait_dialog(what="the duplicate question")
        expect(name == "信息：", f"the duplicate question came as {name!r}")
        press("n")
        program.wait_no_dialog()

        print("-- a folder chosen in the picker", flush=True)
        program.click(FOLDER_BUTTON)
        program.wait_dialog(what="the folder picker")
        time.sleep(0.5)
        press("shift+Tab")
        type_text(SHOTS_NAME)
        press("Return")
        program.wait_no_dialog("the folder picker to close")

        print("-- a run to its end", flush=True)
        program.replace_text(PAUSE_BOX, str(PAUSE_SECONDS))
        run_began = time.monotonic()
        program.click(START_BUTTON)
        # One second before each load, the pause, one second after the picture.
        program.answer_box("连续访问结束", timeout=30 + len(urls) * (PAUSE_SECONDS + 4))
        run_took = time.monotonic() - run_began
        print(f"   the run took {run_took:.1f} s for {len(urls)} addresses", flush=True)
        pictures = sorted(os.listdir(shots))
        expect(len(pictures) == len(urls), f"pictures: {pictures}")
        for p in pictures:
            expect(PICTURE_NAME.match(p), f"a picture is named {p!r}")
            bmp = read_bmp(os.path.join(shots, p))
            expect(os.path.getsize(os.path.join(shots, p)) == PICTURE_BYTES,
                   f"{p} has {os.path.getsize(os.path.join(shots, p))} bytes")
            expect((bmp.width, bmp.height) == (PICTURE_WIDTH, PICTURE_HEIGHT),
                   f"{p} is {bmp.width} x {bmp.height}")
        requested = ["/" + r for r in server.requests]
        for url in urls:
            path = url.split(str(server.port), 1)[1].split("#")[0]
            expect(path in requested, f"the engine never asked for {path}: {requested}")

        print("-- the list exported in GBK", flush=True)
        exported = os.path.join(work, "exported.txt")
        program.click(EXPORT_BUTTON)
        program.file_dialog(unix_to_windows(exported))
        program.answer_box("保存成功！")
        with open(exported, "rb") as f:
            data = f.read()
        expect(data == gbk_list(urls), f"the exported list holds {data!r}")

        print("-- a GBK list imported and exported again unchanged", flush=True)
        entries = [server.url("00ffff") + "#网址", "第二个网址"]
        imported = os.path.join(work, "网址列表.txt")
        with open(imported, "wb") as f:
            f.write(gbk_list(entries))
        program.click(IMPORT_BUTTON)
        program.file_dialog(unix_to_windows(imported))
        again = os.path.join(work, "again.txt")
        program.click(EXPORT_BUTTON)
        program.file_dialog(unix_to_windows(again))
        program.answer_box("保存成功！")
        with open(again, "rb") as f:
            data = f.read()
        expect(data == gbk_list(entries), f"the list exported after the import holds {data!r}")

        print("-- Esc ends the program", flush=True)
        program.click(STATE_LABEL)
        press("Escape")
        code = program.process.wait(timeout=30)
        expect(code == 0, f"the program ended with exit code {code}")
        print("ok", flush=True)
    except Exception as e:  # noqa: BLE001
        failed = True
        print(f"FAILED: {e}", flush=True)
        shot = os.path.join(tempfile.gettempdir(), "sorvane-wine-e2e-failure.png")
        subprocess.run(["import", "-window", "root", shot], check=False)
        print(f"   screen: {shot}", flush=True)
    finally:
        if program and program.process.poll() is None:
            program.process.kill()
            program.process.wait()
        server.close()
        subprocess.run(["rm", "-rf", work], check=False)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
