"""The desk the end-to-end tests sit at: real X input from xdotool, the
accessibility bus read through Atspi, and waiting by polling.

Nothing here sleeps where a condition can be polled: on a loaded two-core
machine fixed pauses are either too short or needlessly long.
"""

import os
import subprocess
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

# Generous: the machine may be busy with a build next door.
DEFAULT_TIMEOUT = 30.0
POLL = 0.05
# Waits longer than this are shown in the output, to see where the time goes.
SLOW = 3.0


class TestFailure(AssertionError):
    pass


def end_process(process, grace=10):
    """Ends a process a test started, if it still runs: asked first, then
    killed after `grace` seconds; reaped either way."""
    if process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(grace)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


def wait_for(condition, timeout=DEFAULT_TIMEOUT, what="condition"):
    """Polls until condition() gives something true and returns it."""
    began = time.monotonic()
    deadline = began + timeout
    last_error = None
    while True:
        try:
            value = condition()
            if value:
                if time.monotonic() - began > SLOW:
                    print(f"   (waited {time.monotonic() - began:.1f} s for {what})", flush=True)
                return value
        except (GLib.Error, RuntimeError) as e:  # object went away mid-read
            last_error = e
        if time.monotonic() > deadline:
            extra = f" (last error: {last_error})" if last_error else ""
            raise TestFailure(f"timed out after {timeout:.0f} s waiting for {what}{extra}")
        time.sleep(POLL)


# ---------------------------------------------------------------- X input


def _xdotool(*args):
    subprocess.run(["xdotool", *map(str, args)], check=True, env=utf8_env())


def utf8_env():
    env = dict(os.environ)
    env["LANG"] = env["LC_ALL"] = "C.UTF-8"
    return env


def mouse_location():
    r = subprocess.run(["xdotool", "getmouselocation", "--shell"], capture_output=True,
                       text=True, check=True)
    values = dict(line.split("=", 1) for line in r.stdout.split())
    return (int(values["X"]), int(values["Y"]))


def move_to(x, y):
    # xdotool's --sync waits for the pointer to arrive, and for seconds when
    # it is already there; so move only when it has to.
    if mouse_location() != (int(x), int(y)):
        _xdotool("mousemove", "--sync", int(x), int(y))


def click_at(x, y, button=1):
    move_to(x, y)
    _xdotool("click", button)


def double_click_at(x, y):
    move_to(x, y)
    _xdotool("click", "--repeat", 2, "--delay", 80, 1)


def press(*keys):
    """One or more key chords, e.g. press("ctrl+a", "BackSpace")."""
    for k in keys:
        _xdotool("key", "--clearmodifiers", k)


def type_text(text):
    """Types text with real key events; characters without a key on the
    keyboard map (Chinese, for one) are mapped to a spare key for the moment."""
    _xdotool("type", "--delay", 40, "--clearmodifiers", "--", text)


# ---------------------------------------------------------------- AT-SPI


def role(acc):
    return acc.get_role_name()


def name(acc):
    return acc.get_name() or ""


def states(acc):
    return acc.get_state_set()


def has_state(acc, state):
    return states(acc).contains(state)


def extents(acc):
    """Screen rectangle (x, y, width, height)."""
    e = acc.get_extents(Atspi.CoordType.SCREEN)
    return (e.x, e.y, e.width, e.height)


def centre(acc):
    x, y, w, h = extents(acc)
    return (x + w // 2, y + h // 2)


def children(acc):
    out = []
    for i in range(acc.get_child_count()):
        c = acc.get_child_at_index(i)
        if c is not None:
            out.append(c)
    return out


def descendants(acc, keep=lambda a: True, skip_inside=("table",)):
    """Depth first; does not walk into tables (their cells are read through
    the table interface, and a long list would make every search slow)."""
    found = []
    stack = [acc]
    while stack:
        a = stack.pop()
        if a is not acc and keep(a):
            found.append(a)
        if a is not acc and role(a) in skip_inside:
            continue
        stack.extend(reversed(children(a)))
    return found


def text_of(acc):
    return Atspi.Text.get_text(acc, 0, Atspi.Text.get_character_count(acc))


def settled_text(acc, quiet=0.8, timeout=DEFAULT_TIMEOUT):
    """An entry's text once it has stayed the same for `quiet` seconds."""
    deadline = time.monotonic() + timeout
    last, since = None, time.monotonic()
    while time.monotonic() < deadline:
        acc.clear_cache()
        now = text_of(acc)
        if now != last:
            last, since = now, time.monotonic()
        elif time.monotonic() - since >= quiet:
            return now
        time.sleep(POLL)
    return last


def set_text(acc, text):
    """Sets an entry's whole text without typing: only for fields a person
    would paste into."""
    Atspi.EditableText.set_text_contents(acc, text)


def table_rows(table):
    """The texts of a one-column table (the list box), top to bottom."""
    return [name(Atspi.Table.get_accessible_at(table, r, 0))
            for r in range(Atspi.Table.get_n_rows(table))]


def table_cell(table, row):
    return Atspi.Table.get_accessible_at(table, row, 0)


def desktop_apps():
    return children(Atspi.get_desktop(0))


def buttons_in(window, caption=None):
    """Push buttons inside a window, all or those with one caption."""
    return [a for a in descendants(window, lambda a: role(a) == "push button")
            if caption is None or name(a) == caption]
