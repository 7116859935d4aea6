"""A whole session as a person has it: build a list of pages, choose a
folder, run through the list with pictures, then save the list to a file,
clear it and read it back.

    tests/run-under-display /usr/bin/python3 tests/e2e/test_run.py build/sorvane
"""

import os
import shutil
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sorvane_e2e as e2e  # noqa: E402
from sorvane_e2e import TestFailure, wait_for  # noqa: E402

EXE = e2e.executable_from_argv()
RED, MAGENTA, GREEN, BLUE = "ff0000", "ff00ff", "00ff00", "0000ff"

server = e2e.PageServer()
work = tempfile.mkdtemp(prefix="sorvane-run-")
# A folder name a Chinese user might well give it, typed in the chooser.
shots = os.path.join(work, "截图 保存")
os.mkdir(shots)
list_file = os.path.join(work, "网址列表.txt")
p = None
visits = [RED, GREEN, BLUE]
urls = [server.url(c) for c in visits]
run_began = run_ended = 0.0


def expect(condition, message):
    if not condition:
        raise TestFailure(message)


def start():
    """The program starts with an empty list"""
    global p
    p = e2e.Program(EXE)
    expect(p.list_entries() == [], f"the list starts with {p.list_entries()}")


def build_list():
    """Three addresses typed and added, one deleted by a double-click"""
    p.add_address(server.url(RED))
    p.wait_for_entries([server.url(RED)])
    p.add_address(server.url(MAGENTA))
    p.wait_for_entries([server.url(RED), server.url(MAGENTA)])
    p.add_address(server.url(GREEN))
    p.wait_for_entries([server.url(c) for c in (RED, MAGENTA, GREEN)])
    # Adding leaves the text in the box for the next edit.
    expect(p.text("编辑框2") == server.url(GREEN), "the address box was emptied by adding")
    p.double_click_row(1)
    p.wait_for_entries([server.url(RED), server.url(GREEN)])
    p.add_address(server.url(BLUE))
    p.wait_for_entries(urls)


def duplicate_refused():
    """A duplicate asks first; answering No keeps the list as it was"""
    p.add_address(server.url(RED))
    p.answer("该网址已经存在！是否继续添加？", "否(N)")
    p.wait_for_entries(urls)


def choose_folder():
    """The folder is chosen in the folder chooser, which ticks 截图"""
    expect(not p.is_checked(), "截图 is ticked before a folder was chosen")
    p.click("按钮6")
    p.choose_path(shots, "选择")
    wait_for(lambda: p.text("编辑框1") == shots + "/", what=f"{shots}/ in the folder box")
    wait_for(p.is_checked, what="截图 ticked")


def set_pause():
    """The pause is typed: 2 seconds"""
    p.replace_text("编辑框3", "2")


def run_through():
    """开始 visits every page, one picture each, and says 连续访问结束"""
    global run_began, run_ended
    run_began = time.time()
    p.click_start()
    wait_for(lambda: e2e.name(p.start_button()) == "停止", what="the caption 停止")
    # 1 s to the first page, then a picture every 2 s and 1 s to each next
    # page: about 8 s in all; a busy machine gets plenty more.
    p.answer("连续访问结束", "确定", timeout=120)
    run_ended = time.time()
    # Timers never fire early: the last picture comes 1 + 3 x 2 s after 开始
    # and the end 1 s later, however busy the machine.
    expect(run_ended - run_began >= 7.5, f"the run took only {run_ended - run_began:.1f} s")
    wait_for(lambda: e2e.name(p.start_button()) == "开始", what="the caption back to 开始")
    expect(
        e2e.name(p.control("标签2")) == "载入状态：正在载入",
        f"the loading state reads {e2e.name(p.control('标签2'))!r}",
    )
    pages = [r for r in server.requests if len(r) == 6]
    expect(pages == visits, f"the pages were fetched as {pages}, expected {visits}")


def pictures():
    """One 672 x 568 picture per page, named by its time, showing that page"""
    names = sorted(os.listdir(shots))
    keys = {n: e2e.picture_sort_key(n) for n in names}
    bad = [n for n, k in keys.items() if k is None]
    expect(not bad, f"pictures named against the date-time rule: {bad}")
    expect(len(names) == len(visits), f"{len(names)} pictures for {len(visits)} pages: {names}")
    in_order = sorted(names, key=lambda n: keys[n])
    by_time = sorted(names, key=lambda n: os.stat(os.path.join(shots, n)).st_mtime_ns)
    expect(in_order == by_time, f"names {in_order} do not follow the times written {by_time}")
    first = time.localtime(int(run_began))[:6]
    last = time.localtime(int(run_ended) + 1)[:6]
    for n in in_order:
        expect(first <= keys[n][:6] <= last, f"{n} is not named for a time within the run")
    # Two seconds apart, so never in the same second.
    stamps = [time.mktime(keys[n][:6] + (0, 0, -1)) for n in in_order]
    gaps = [b - a for a, b in zip(stamps, stamps[1:])]
    expect(all(g >= 1 for g in gaps), f"pictures taken too close together: {in_order}")
    for n, colour in zip(in_order, visits):
        path = os.path.join(shots, n)
        size = os.path.getsize(path)
        expect(size == e2e.PICTURE_BYTES, f"{n} holds {size} bytes, not {e2e.PICTURE_BYTES}")
        bmp = e2e.read_bmp(path)
        expect(
            (bmp.width, bmp.height) == (e2e.PICTURE_WIDTH, e2e.PICTURE_HEIGHT),
            f"{n} is {bmp.width} x {bmp.height}",
        )
        expect(bmp.file_size == size, f"{n} says it holds {bmp.file_size} bytes; it holds {size}")
        want = tuple(int(colour[i : i + 2], 16) for i in (0, 2, 4))
        # Well inside the page: no scroll bar, no edge.
        seen = bmp.colours_in(64, 64, e2e.PICTURE_WIDTH - 64, e2e.PICTURE_HEIGHT - 64)
        expect(seen == {want}, f"{n} should show the page #{colour}; it shows {sorted(seen)[:6]}")


def export_list():
    """导出网址 saves the list through the save chooser: 保存成功！"""
    p.click("按钮3")
    p.choose_path(list_file, "保存(_S)")
    p.answer("保存成功！", "确定")
    with open(list_file, "rb") as f:
        data = f.read()
    want = b"".join(b"\r\n" + u.encode() for u in urls)
    expect(data == want, f"the list file holds {data!r}, expected {want!r}")


def clear_and_import():
    """清空网址 empties list and box; 导入网址 reads the same list back"""
    p.click("按钮5")
    p.wait_for_entries([])
    wait_for(lambda: p.text("编辑框2") == "", what="the address box emptied")
    p.click("按钮4")
    p.choose_path(list_file, "打开(_O)")
    p.wait_for_entries(urls)
    expect(p.no_message_box(), "importing showed a message")


def stop_and_again():
    """停止 halts a run at once; 开始 begins again at the first address"""
    p.replace_text("编辑框3", "1")
    fetched = len(server.requests)
    p.click_start()
    wait_for(lambda: len(server.requests) > fetched, what="the first page fetched")
    p.click_start()
    wait_for(lambda: e2e.name(p.start_button()) == "开始", what="the caption back to 开始")
    # With a pause of 1 s the next page would be fetched within about 2 s.
    halted_at = len(server.requests)
    deadline = time.monotonic() + 4
    while time.monotonic() < deadline:
        expect(len(server.requests) == halted_at,
               f"pages fetched after 停止: {server.requests[halted_at:]}")
        time.sleep(e2e.POLL)
    expect(p.no_message_box(), "停止 showed a message")
    p.replace_text("编辑框3", "30")
    p.click_start()
    wait_for(lambda: len(server.requests) > halted_at, what="a page fetched after 开始")
    again = server.requests[halted_at]
    expect(again == RED, f"the new run began with {again}, not the first address {RED}")
    expect(e2e.name(p.start_button()) == "停止", "the run is not on")


def escape_ends():
    """Esc ends the program, in the middle of a run, with exit code 0"""
    code = p.escape()
    expect(code == 0, f"the program ended with code {code}")


def cleanup():
    if p:
        p.report()
        p.close()
    server.close()
    shutil.rmtree(work, ignore_errors=True)


def details():
    if p:
        print("pictures:", sorted(os.listdir(shots)) if os.path.isdir(shots) else None)
        print("program output:\n" + p.log()[-4000:])


if __name__ == "__main__":
    sys.exit(
        e2e.Steps().run(
            [start, build_list, duplicate_refused, choose_folder, set_pause, run_through,
             pictures, export_list, clear_and_import, stop_and_again, escape_ends],
            cleanup,
            details,
        )
    )
