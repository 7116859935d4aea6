"""The main window as a person meets it: every control where it belongs,
the keys, the message boxes, and the folder and file choosers.

    tests/run-under-display /usr/bin/python3 tests/e2e/test_window.py build/sorvane
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sorvane_e2e as e2e  # noqa: E402
from sorvane_e2e import LAYOUT, TestFailure, press, type_text, wait_for  # noqa: E402

EXE = e2e.executable_from_argv()
TAB_CYCLE = ["按钮1", "按钮2", "编辑框2", "编辑框3", "按钮3", "按钮4", "列表框1", "按钮5",
             "选择框1", "编辑框1", "按钮6"]

work = tempfile.mkdtemp(prefix="sorvane-window-")
folder = os.path.join(work, "shots")
os.mkdir(folder)
list_file = os.path.join(work, "list.txt")
p = None


def expect(condition, message):
    if not condition:
        raise TestFailure(message)


def no_box_for(seconds):
    """No message box comes up within the next moment."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        boxes = p.message_boxes()
        expect(not boxes, f"an unexpected message box: {[b[1:] for b in boxes]}")
        time.sleep(e2e.POLL)


def start():
    """The window "Sorvane" opens, centred, with a 1073 x 620 client area"""
    global p
    p = e2e.Program(EXE)
    x, y, w, h = e2e.extents(p.window)
    expect((w, h) == e2e.CLIENT_SIZE, f"the client area is {w} x {h}")
    screen = subprocess.run(["xdotool", "getdisplaygeometry"], capture_output=True, text=True,
                            check=True).stdout.split()
    sw, sh = int(screen[0]), int(screen[1])
    # Centred as a framed window would be; without a window manager there is
    # no frame, so allow its width and caption bar.
    dx, dy = abs(x + w / 2 - sw / 2), abs(y + h / 2 - sh / 2)
    expect(dx <= 8 and dy <= 30, f"the window at {x},{y} is not centred on {sw} x {sh}")


def layout():
    """Every control is found by role and caption at its layout rectangle"""
    wrong = []
    for layout_name, (role, caption, _) in LAYOUT.items():
        acc = p.control(layout_name)
        got = e2e.extents(acc)
        want = p.layout_rect(layout_name)
        if got != want:
            wrong.append(f"{layout_name} {role} {caption or ''}: at {got}, layout says {want}")
        if caption is not None and e2e.name(acc) != caption:
            wrong.append(f"{layout_name} reads {e2e.name(acc)!r}, not {caption!r}")
    expect(not wrong, "controls out of place:\n  " + "\n  ".join(wrong))
    # The list box's rows live in a view inside its frame.
    table = p.list_table()
    tx, ty, tw, th = e2e.extents(table)
    lx, ly, lw, lh = p.layout_rect("列表框1")
    expect(lx <= tx and ly <= ty and tx + tw <= lx + lw and ty + th <= ly + lh,
           f"the list's rows at {(tx, ty, tw, th)} spill out of {(lx, ly, lw, lh)}")


def first_state():
    """At start: focus on 开始, pause 5, no folder, 截图 not ticked, list empty"""
    expect(p.focused_name() == "按钮1", f"the focus starts on {p.focused_name()}")
    expect(p.text("编辑框3") == "5", f"the pause starts as {p.text('编辑框3')!r}")
    expect(p.text("编辑框1") == "", "the folder box is not empty")
    expect(p.text("编辑框2") == "", "the address box is not empty")
    expect(not p.is_checked(), "截图 starts ticked")
    expect(p.list_entries() == [], "the list is not empty")
    expect(e2e.name(p.start_button()) == "开始", "按钮1 does not read 开始")
    expect(e2e.name(p.control("标签2")) == "载入状态：", "标签2 does not read 载入状态：")
    for field, editable in (("编辑框1", False), ("编辑框2", True), ("编辑框3", True)):
        state = e2e.has_state(p.control(field), e2e.Atspi.StateType.EDITABLE)
        expect(state == editable, f"{field} editable: {state}, expected {editable}")


def step_focus(key, expected):
    """Presses a key and checks where the focus went."""
    before = p.focused_name()

    def moved():
        now = p.focused_name()
        return now if now not in (before, None) else None

    press(key)
    got = wait_for(moved, what=f"{key} to move the focus on from {before}")
    expect(got == expected, f"{key} from {before} went to {got}, expected {expected}")


def tab_cycle():
    """Tab runs 按钮1 … 按钮6 and back to 按钮1; Shift+Tab runs it backwards"""
    expect(p.focused_name() == "按钮1", f"the cycle starts from {p.focused_name()}")
    for expected in TAB_CYCLE[1:] + TAB_CYCLE[:1]:
        step_focus("Tab", expected)
    for expected in list(reversed(TAB_CYCLE)):
        step_focus("shift+Tab", expected)


def enter_does_nothing():
    """Enter on a focused button clicks nothing"""
    wait_for(lambda: p.focused_name() == "按钮1", what="the focus on 开始")
    # Were Enter to click 开始, the box about the empty list would take the
    # keyboard and the Tab after it would not reach 添加网址.
    press("Return")
    step_focus("Tab", "按钮2")
    no_box_for(0.5)


def empty_list_box():
    """开始 with an empty list says 请输入网址！ and starts nothing"""
    p.click_start()
    p.answer("请输入网址！", "确定")
    expect(e2e.name(p.start_button()) == "开始", "按钮1 changed its caption")


def tick_without_folder():
    """Ticking 截图 without a folder unticks it and says where to choose one"""
    p.click("选择框1")
    p.answer("请在右边选择截图保存目录！", "确定")
    wait_for(lambda: not p.is_checked(), what="截图 unticked")


def folder_chooser():
    """The folder chooser: the folder shows with a trailing /, 截图 ticked;
    unticking says nothing; cancelling empties the folder and unticks"""
    p.click("按钮6")
    p.choose_path(folder, "选择")
    wait_for(lambda: p.text("编辑框1") == folder + "/", what=f"{folder}/ in the folder box")
    wait_for(p.is_checked, what="截图 ticked by choosing a folder")
    p.click("选择框1")
    wait_for(lambda: not p.is_checked(), what="截图 unticked by a click")
    no_box_for(0.5)
    p.click("选择框1")
    wait_for(p.is_checked, what="截图 ticked again, a folder being set")
    no_box_for(0.5)
    # Cancelled: the folder is forgotten.
    p.click("按钮6")
    p.cancel_chooser()
    wait_for(lambda: p.text("编辑框1") == "", what="the folder box emptied by cancelling")
    wait_for(lambda: not p.is_checked(), what="截图 unticked by cancelling")
    # Chosen again for what follows.
    p.click("按钮6")
    p.choose_path(folder, "选择")
    wait_for(lambda: p.text("编辑框1") == folder + "/", what=f"{folder}/ in the folder box")


def typing_rules():
    """Letters and a full stop do not go into the pause box; digits and - do;
    nothing goes into the folder box"""
    p.focus_field("编辑框3")
    press("End")
    type_text("abc.xyz")
    pause = p.control("编辑框3")
    expect(e2e.settled_text(pause, 0.5) == "5", f"letters went in: {e2e.text_of(pause)!r}")
    type_text("-12")
    wait_for(lambda: p.text("编辑框3") == "5-12", what="'-12' typed after the 5")
    p.replace_text("编辑框3", "3")
    p.focus_field("编辑框1")
    press("End")
    type_text("x9")
    shown = e2e.settled_text(p.control("编辑框1"), 0.5)
    expect(shown == folder + "/", f"the folder box took typing: {shown!r}")


def export_dialog():
    """导出网址: an empty list says so; the save chooser cancelled says
    nothing; confirmed, it writes the file and says 保存成功！"""
    p.click("按钮3")
    p.answer("网址列表不可为空！", "确定")
    entries = ["http://127.0.0.1:9/a", "http://例子.测试/页面"]
    for i, entry in enumerate(entries):
        p.add_address(entry)
        p.wait_for_entries(entries[: i + 1])
    p.click("按钮3")
    dialog = p.chooser()
    wait_for(lambda: p.is_active(dialog), what="the save chooser to take the keyboard")
    press("Escape")
    wait_for(lambda: not p.is_open(dialog), what="the save chooser to close on Esc")
    no_box_for(1.0)
    expect(not os.path.exists(list_file), "a cancelled save wrote the file")
    p.click("按钮3")
    p.choose_path(list_file, "保存(_S)")
    p.answer("保存成功！", "确定")
    with open(list_file, "rb") as f:
        data = f.read()
    want = b"".join(b"\r\n" + e.encode() for e in entries)
    expect(data == want, f"the file holds {data!r}, expected {want!r}")


def escape_ends():
    """Esc ends the program with exit code 0"""
    code = p.escape()
    expect(code == 0, f"the program ended with code {code}")


def opened_with_a_list():
    """A list named alone, as Notepad saves it, opens the window with its
    addresses; the toolkit's own option before it goes to the toolkit"""
    global p
    p.report()
    p.close()
    dropped = os.path.join(work, "网址.txt")
    with open(dropped, "wb") as f:
        f.write("\ufeffhttp://例子.中国/\r\nhttp://b/".encode())
    p = e2e.Program(EXE, arguments=["--display", os.environ["DISPLAY"], dropped])
    p.wait_for_entries(["http://例子.中国/", "http://b/"])
    no_box_for(0.5)
    code = p.escape()
    expect(code == 0, f"the program ended with code {code}")


def cleanup():
    if p:
        p.report()
        p.close()
    shutil.rmtree(work, ignore_errors=True)


def details():
    if p:
        print("program output:\n" + p.log()[-4000:])


if __name__ == "__main__":
    sys.exit(
        e2e.Steps().run(
            [start, layout, first_state, tab_cycle, enter_does_nothing, empty_list_box,
             tick_without_folder, folder_chooser, typing_rules, export_dialog, escape_ends,
             opened_with_a_list],
            cleanup,
            details,
        )
    )
