"""Driving the built program as a person would, for the end-to-end tests.

The program runs on the virtual display that tests/run-under-display sets up.
Its controls are found on the accessibility bus by role and caption, the way a
screen reader sees them; the mouse and the keyboard are real X input from
xdotool, so every click and key goes through the same path as a person's.
The helpers live in e2e_desk (input, accessibility, waiting) and e2e_pages
(pages and pictures); this module knows the program itself.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

from e2e_desk import (
    DEFAULT_TIMEOUT, POLL, Atspi, GLib, TestFailure, buttons_in, centre, children, click_at, end_process,
    descendants, desktop_apps, double_click_at, extents, has_state, name, press, role,
    settled_text, table_cell, table_rows, text_of, type_text, utf8_env, wait_for)
from e2e_pages import (
    PICTURE_BYTES, PICTURE_HEIGHT, PICTURE_NAME, PICTURE_WIDTH, LoopbackSite, PageServer,
    QuietHandler, read_bmp, picture_size, picture_sort_key, serve_on_loopback)

# What the tests take from here: the helpers of e2e_desk and e2e_pages too.
__all__ = [
    "CLIENT_SIZE", "LAYOUT", "CHANGING_CAPTIONS", "Program", "Steps", "executable_from_argv",
    "DEFAULT_TIMEOUT", "POLL", "Atspi", "GLib", "TestFailure", "buttons_in", "centre",
    "children", "click_at", "descendants", "desktop_apps", "double_click_at", "extents",
    "has_state", "name", "press", "role", "settled_text", "table_cell", "table_rows", "text_of",
    "type_text", "utf8_env", "wait_for", "PICTURE_BYTES", "PICTURE_HEIGHT", "PICTURE_NAME",
    "PICTURE_WIDTH", "LoopbackSite", "PageServer", "QuietHandler", "read_bmp", "picture_size",
    "picture_sort_key", "serve_on_loopback",
]

# Client area of the main window, and where each control sits in it (left,
# top, width, height). Controls inside a group box count from its corner,
# so their absolute place is the group box's plus their own.
CLIENT_SIZE = (1073, 620)
GROUP1 = (696, 8)
GROUP2 = (696, 552)


def _inside(group, left, top, width, height):
    return (group[0] + left, group[1] + top, width, height)


# name: (role, caption or None, rectangle in the client area)
LAYOUT = {
    "互联网浏览器1": ("panel", None, (0, 8, 672, 568)),
    "分组框1": ("panel", "网页地址", (696, 8, 352, 536)),
    "列表框1": ("scroll pane", None, _inside(GROUP1, 8, 16, 336, 416)),
    "标签3": ("label", "双击上边列表选项可删除！", _inside(GROUP1, 16, 432, 160, 24)),
    "编辑框2": ("text", None, _inside(GROUP1, 12, 462, 240, 20)),
    "按钮2": ("push button", "添加网址", _inside(GROUP1, 264, 456, 80, 32)),
    "按钮3": ("push button", "导出网址", _inside(GROUP1, 80, 496, 80, 32)),
    "按钮4": ("push button", "导入网址", _inside(GROUP1, 172, 496, 80, 32)),
    "按钮5": ("push button", "清空网址", _inside(GROUP1, 264, 496, 80, 32)),
    "分组框2": ("panel", "截图保存地址", (696, 552, 352, 64)),
    "编辑框1": ("text", None, _inside(GROUP2, 8, 24, 296, 20)),
    "按钮6": ("push button", "…", _inside(GROUP2, 312, 19, 32, 32)),
    "标签2": ("label", "载入状态：", (0, 588, 248, 24)),
    "标签1": ("label", "间隔（秒）：", (312, 588, 80, 24)),
    "编辑框3": ("text", None, (392, 590, 40, 20)),
    "选择框1": ("check box", "截图", (456, 588, 64, 24)),
    "按钮1": ("push button", "开始", (568, 584, 80, 32)),
}

# Found by role and place: the program rewrites these captions.
CHANGING_CAPTIONS = {"按钮1", "标签2"}


# ---------------------------------------------------------------- the program


class Program:
    """The built program, started in a temporary home of its own."""

    def __init__(self, executable, timeout=60.0, arguments=()):
        self.executable = os.path.abspath(executable)
        self.home = tempfile.mkdtemp(prefix="sorvane-e2e-")
        self.log_path = os.path.join(self.home, "program.log")
        env = utf8_env()
        env.update(
            HOME=self.home,
            XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
            XDG_DATA_HOME=os.path.join(self.home, ".local", "share"),
            XDG_CACHE_HOME=os.path.join(self.home, ".cache"),
            NO_AT_BRIDGE="0",
        )
        self.notes = []  # things worth telling that are not failures
        self._log = open(self.log_path, "wb")
        self.started = time.time()
        self.process = subprocess.Popen(
            [self.executable, *arguments], cwd=self.home, env=env, stdout=self._log,
            stderr=subprocess.STDOUT
        )
        self.app = wait_for(self._find_app, timeout, "the program on the accessibility bus")
        self.window = wait_for(
            lambda: self._top_level("frame", "Sorvane"), timeout, 'the main window "Sorvane"'
        )
        # The focus lands on the first button once the window is up and active.
        wait_for(
            lambda: self.focused_name() == "按钮1", timeout, "the focus on 开始 after start-up"
        )

    # -- finding things

    def _find_app(self):
        if self.process.poll() is not None:
            raise TestFailure(f"the program ended early with code {self.process.returncode}")
        for a in desktop_apps():
            try:
                if a.get_process_id() == self.process.pid and a.get_child_count() > 0:
                    return a
            except Exception:
                continue
        return None

    def top_levels(self):
        self.app.clear_cache()
        return children(self.app)

    def _top_level(self, wanted_role, wanted_name=None):
        for w in self.top_levels():
            if role(w) == wanted_role and (wanted_name is None or name(w) == wanted_name):
                if has_state(w, Atspi.StateType.SHOWING):
                    return w
        return None

    def origin(self):
        """Screen position of the main window's client area."""
        x, y, _, _ = extents(self.window)
        return (x, y)

    def control(self, layout_name):
        """A control of the main window, by role and caption, or for the
        caption-less ones by role and the place the layout gives them."""
        wanted_role, caption, rect = LAYOUT[layout_name]
        self.window.clear_cache()
        found = descendants(self.window, lambda a: role(a) == wanted_role)
        if caption is not None and layout_name not in CHANGING_CAPTIONS:
            found = [a for a in found if name(a) == caption]
        else:
            found = [a for a in found if has_state(a, Atspi.StateType.SHOWING)]
        if not found:
            raise TestFailure(f"no {wanted_role} for {layout_name} ({caption or 'no caption'})")
        ox, oy = self.origin()
        want = (ox + rect[0] + rect[2] / 2, oy + rect[1] + rect[3] / 2)

        def distance(a):
            cx, cy = centre(a)
            return abs(cx - want[0]) + abs(cy - want[1])

        return min(found, key=distance)

    def start_button(self):
        """按钮1 under whichever caption it has now."""
        return self.control("按钮1")

    def list_table(self):
        pane = self.control("列表框1")
        tables = descendants(pane, lambda a: role(a) == "table", skip_inside=())
        if not tables:
            raise TestFailure("the list box has no table inside its scroll pane")
        return tables[0]

    def list_entries(self):
        table = self.list_table()
        table.clear_cache()
        return table_rows(table)

    def layout_rect(self, layout_name):
        """Where the layout puts a control, in screen coordinates."""
        ox, oy = self.origin()
        x, y, w, h = LAYOUT[layout_name][2]
        return (ox + x, oy + y, w, h)

    def focused_name(self):
        """Layout name of the control that has the keyboard focus, or a
        description of whatever else has it."""
        self.window.clear_cache()
        for a in descendants(self.window, skip_inside=()):
            if has_state(a, Atspi.StateType.FOCUSED):
                return self._layout_name_of(a) or f"{role(a)} {name(a)!r}"
        return None

    def _layout_name_of(self, acc):
        r = role(acc)
        if r == "table":  # the list box's view sits in its scroll pane
            return "列表框1"
        cx, cy = centre(acc)
        ox, oy = self.origin()
        for layout_name, (lr, _, (x, y, w, h)) in LAYOUT.items():
            if lr == r and ox + x <= cx < ox + x + w and oy + y <= cy < oy + y + h:
                return layout_name
        return None

    def text(self, layout_name):
        acc = self.control(layout_name)
        acc.clear_cache()
        return text_of(acc)

    def is_checked(self, layout_name="选择框1"):
        acc = self.control(layout_name)
        acc.clear_cache()
        return has_state(acc, Atspi.StateType.CHECKED)

    # -- acting

    def click(self, layout_name):
        click_at(*centre(self.control(layout_name)))

    def click_start(self):
        click_at(*centre(self.start_button()))

    def focus_field(self, layout_name):
        """Clicks into an edit box and waits until it has the focus."""
        self.click(layout_name)
        wait_for(lambda: self.focused_name() == layout_name, what=f"the focus in {layout_name}")

    def replace_text(self, layout_name, text):
        """Clicks into an edit box, selects all it holds and types over it."""
        self.focus_field(layout_name)
        press("ctrl+a", "BackSpace")
        wait_for(lambda: self.text(layout_name) == "", what=f"{layout_name} emptied")
        if text:
            type_text(text)
            wait_for(lambda: self.text(layout_name) == text, what=f"{text!r} in {layout_name}")

    def add_address(self, address):
        """Types an address and presses 添加网址; returns without waiting for
        the list, since a duplicate brings up a question first."""
        self.replace_text("编辑框2", address)
        self.click("按钮2")

    def double_click_row(self, row):
        cell = table_cell(self.list_table(), row)
        double_click_at(*centre(cell))

    def wait_for_entries(self, entries, timeout=DEFAULT_TIMEOUT):
        wait_for(
            lambda: self.list_entries() == list(entries),
            timeout,
            f"the list to read {list(entries)} (it reads {self._safe_entries()})",
        )

    def _safe_entries(self):
        try:
            return self.list_entries()
        except Exception as e:  # only for messages
            return f"<{e}>"

    # -- message boxes

    def message_boxes(self):
        """The message boxes on screen now: (box, its text, its buttons' names)."""
        boxes = []
        for w in self.top_levels():
            if role(w) not in ("dialog", "alert") or not has_state(w, Atspi.StateType.SHOWING):
                continue
            labels = [name(a) for a in descendants(w, lambda a: role(a) == "label")]
            buttons = [name(b) for b in buttons_in(w)]
            if labels and buttons:
                boxes.append((w, "".join(labels), buttons))
        return boxes

    def message_box(self, timeout=DEFAULT_TIMEOUT):
        """Waits for a message box; returns (box, its text, its buttons' names)."""
        return wait_for(lambda: (self.message_boxes() or [None])[0], timeout, "a message box")

    def answer(self, expected_text, button, timeout=DEFAULT_TIMEOUT):
        """Waits for the message box that says expected_text, clicks the
        named button and waits until the box has gone."""
        box, text, buttons = self.message_box(timeout)
        if text != expected_text:
            raise TestFailure(f"message box says {text!r}, expected {expected_text!r}")
        if button not in buttons:
            raise TestFailure(f"message box has buttons {buttons}, no {button!r}")
        click_at(*centre(buttons_in(box, button)[0]))
        wait_for(lambda: not self.is_open(box), what=f"the box {expected_text!r} to close")

    def no_message_box(self):
        return not self.message_boxes()

    def is_open(self, window):
        """Whether one of the program's windows is still on screen."""
        try:
            return any(w == window and has_state(w, Atspi.StateType.SHOWING)
                       for w in self.top_levels())
        except GLib.Error:
            return False

    def is_active(self, window):
        """Whether a window of the program has the keyboard."""
        window.clear_cache()
        return has_state(window, Atspi.StateType.ACTIVE)

    # -- file and folder choosers

    def chooser(self, timeout=DEFAULT_TIMEOUT):
        def find():
            for w in self.top_levels():
                if role(w) == "file chooser" and has_state(w, Atspi.StateType.SHOWING):
                    return w
            return None

        return wait_for(find, timeout, "a file or folder chooser")

    def choose_path(self, path, accept_caption, timeout=DEFAULT_TIMEOUT):
        """Fills a chooser in as a person would: Ctrl+L for the location
        field, select what it holds, type the full path, Enter; then clicks
        the accept button if the chooser is still there (a folder chooser
        may take Enter as "go into this folder")."""
        dialog = self.chooser(timeout)
        wait_for(lambda: self.is_active(dialog), what="the chooser to take the keyboard")
        press("ctrl+l")
        entry = wait_for(lambda: self._focused_text(dialog), what="the chooser's location field")
        self._type_location(entry, path)
        press("Return")
        deadline = time.monotonic() + 5
        while self.is_open(dialog) and time.monotonic() < deadline:
            time.sleep(POLL)
        if self.is_open(dialog):
            accept = buttons_in(dialog, accept_caption)
            if not accept:
                raise TestFailure(f"the chooser has no {accept_caption!r} button")
            click_at(*centre(accept[0]))
        wait_for(lambda: not self.is_open(dialog), what="the chooser to close")

    def cancel_chooser(self, cancel_caption="取消", timeout=DEFAULT_TIMEOUT):
        dialog = self.chooser(timeout)
        cancel = buttons_in(dialog, cancel_caption)
        if not cancel:
            raise TestFailure(f"the chooser has no {cancel_caption!r} button")
        click_at(*centre(cancel[0]))
        wait_for(lambda: not self.is_open(dialog), what="the chooser to close")

    def _type_location(self, entry, path):
        """Types a path into a chooser's location field the way a person
        does who watches it. In the open and folder choosers GTK completes a
        name as it is typed and leaves the completion in the text unselected,
        so typing on blindly doubles it: /tmp/sh gets "ots-" added, and the
        rest of /tmp/shots-x then follows it. So: type what is missing, look,
        rub out whatever the field added that does not belong, and go on. A
        trailing "/" that the field adds to a folder's name is harmless."""
        wanted = (path, path.rstrip("/") + "/")
        press("ctrl+a", "BackSpace")
        got = settled_text(entry)
        for _ in range(12):
            if got in wanted:
                return
            common = len(os.path.commonprefix([got, path]))
            if common < len(got):
                press(*["BackSpace"] * (len(got) - common))
                self.notes.append(f"the location field added {got[common:]!r}; rubbed out")
            else:
                type_text(path[common:])
            got = settled_text(entry)
        raise TestFailure(f"could not type {path!r} into the location field; it holds {got!r}")

    def _focused_text(self, window):
        window.clear_cache()
        for a in descendants(window, lambda a: role(a) == "text", skip_inside=("table",)):
            if has_state(a, Atspi.StateType.FOCUSED):
                return a
        return None

    # -- the end

    def escape(self):
        """Presses Esc with a control of the main window focused; returns the
        program's exit code."""
        wait_for(lambda: self.focused_name() is not None, what="a control of the main window focused")
        press("Escape")
        return self.exit_code()

    def exit_code(self, timeout=DEFAULT_TIMEOUT):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise TestFailure("the program did not end")

    def log(self):
        self._log.flush()
        with open(self.log_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def warnings(self):
        """The distinct warnings the program and its libraries printed, with
        how often each came (process ids and times taken out)."""
        counts = {}
        for line in self.log().splitlines():
            if "CRITICAL" in line or "WARNING" in line:
                key = re.sub(r"^\(\S+:\d+\): ", "", line)
                key = re.sub(r"\*\*: \d\d:\d\d:\d\d\.\d+: ", "**: ", key)
                counts[key] = counts.get(key, 0) + 1
        return counts

    def report(self):
        """What a test tells besides pass or fail."""
        for note in self.notes:
            print(f"note: {note}")
        for line, n in self.warnings().items():
            print(f"program warning ({n}x): {line}")

    def close(self):
        """Ends the program if a test left it running; keeps nothing behind."""
        end_process(self.process)
        self._log.close()
        shutil.rmtree(self.home, ignore_errors=True)


# ---------------------------------------------------------------- running a test file


def print_run(result, folder=None):
    """What a failed step needs to be understood: how the program's run
    ended, what it said, and what its folder holds."""
    if result is not None:
        print("exit code:", result.returncode)
        print("standard output:\n" + result.stdout.decode(errors="replace"))
        print("standard error:\n" + result.stderr.decode(errors="replace")[-4000:])
    if folder and os.path.isdir(folder):
        print("files:", sorted(os.listdir(folder)))


def executable_from_argv():
    if len(sys.argv) < 2:
        sys.exit(f"usage: {sys.argv[0]} PATH/TO/sorvane")
    exe = sys.argv.pop(1)
    if not os.access(exe, os.X_OK):
        sys.exit(f"{exe} is not an executable program")
    return exe


class Steps:
    """Runs named steps in order, stops at the first failure, prints how
    long each one took; the exit status tells CTest the outcome."""

    def __init__(self):
        self.started = time.monotonic()

    def run(self, steps, cleanup, on_failure=None):
        ok = True
        try:
            for step in steps:
                t = time.monotonic()
                label = " ".join((step.__doc__ or step.__name__).split())
                print(f"-- {label}", flush=True)
                step()
                print(f"   ok ({time.monotonic() - t:.1f} s)", flush=True)
        except Exception as e:  # report every kind of failure the same way
            ok = False
            import traceback

            traceback.print_exc()
            print(f"FAILED: {e}", flush=True)
            if on_failure:
                try:
                    on_failure()
                except Exception as e2:
                    print(f"(while collecting details: {e2})")
        finally:
            cleanup()
        print(f"{'passed' if ok else 'failed'} in {time.monotonic() - self.started:.1f} s")
        return 0 if ok else 1
