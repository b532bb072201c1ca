"""The tool window: where it opens and docks, what its buttons make the browser load, its tips box,
and the ways it closes without ending the program."""

import time
import urllib.parse

import pytest

from harness import (EVENT_TIMEOUT, MAIN_OUTER, NOTICE_OUTER, RELAY_PAGE_URL, SITE_URLS, Rect,
                     poll)
from tool_helpers import (ADD_POINT, CLEAR_POINT, REFRESH_POINT, SITE_POINTS, TIPS_POINT,
                          TIPS_TITLE, TOOL_BOX_POINT, TOOL_SIZE, accept_notice, kill_pids,
                          open_tool_window, type_into_edit_box, web_process_pids)


BESIDE_NOTICE = Rect(NOTICE_OUTER.x + NOTICE_OUTER.width, NOTICE_OUTER.y, *TOOL_SIZE)


def docked_rect(main: Rect) -> Rect:
    return Rect(main.x + main.width, main.y, *TOOL_SIZE)


def page_requests(web) -> list:
    return [r for r in web.requests() if r.path != "/report"]


def wait_page(web, url: str):
    """Waits until the server hands out `url` and the page loaded from it reports back."""
    path = urllib.parse.urlparse(url).path
    request = web.wait_for_request(lambda r: r.path == path, EVENT_TIMEOUT)
    return web.wait_for_report(lambda r: r.href == url and r.time >= request.time, EVENT_TIMEOUT)


def move_beside_notice(display, tool: int) -> Rect:
    """Where the tool window went; one left elsewhere is then moved beside the notice, as a user
    would, since at its centred place it covers the notice's check boxes."""
    place = display.wait_outer_rect(tool, BESIDE_NOTICE, 2.0)
    if place != BESIDE_NOTICE:
        display.x11("xdotool", "windowmove", str(tool), str(BESIDE_NOTICE.x), str(BESIDE_NOTICE.y))
        assert display.wait_outer_rect(tool, BESIDE_NOTICE) == BESIDE_NOTICE
    return place


@pytest.fixture
def notice_tool(display, web, launch):
    """The notice with the tool window opened from it and the first page loaded:
    (app, notice, tool)."""
    app = launch(display)
    notice = display.wait_window("NoticeWindow")
    web.wait_for_report(lambda r: r.href == SITE_URLS[0])
    return app, notice, open_tool_window(display, notice)


@pytest.fixture
def docked_tool(display, web, notice_tool):
    """The notice accepted, the tool window docked to the main window, the first page shown at the
    main window's size and the server's record emptied: (app, main, tool)."""
    app, notice, tool = notice_tool
    move_beside_notice(display, tool)  # its place has a test of its own
    main = accept_notice(display, notice)
    assert display.wait_outer_rect(main, MAIN_OUTER) == MAIN_OUTER
    assert display.wait_outer_rect(tool, docked_rect(MAIN_OUTER)) == docked_rect(MAIN_OUTER)
    web.wait_for_report(lambda r: r.href == SITE_URLS[0] and (r.width, r.height) == (1012, 506))
    web.clear()
    return app, main, tool


def test_tool_window_opens_beside_the_notice_and_drives_the_hidden_browser(display, web,
                                                                           notice_tool):
    app, notice, tool = notice_tool
    # Opened four times: the place is set right after the window appears, which can race.
    places = [move_beside_notice(display, tool)]
    for _ in range(3):
        display.click(notice, *TOOL_BOX_POINT)  # untick: the window goes
        display.wait_no_window("ToolMenuWindow")
        tool = open_tool_window(display, notice)
        places.append(move_beside_notice(display, tool))
    display.screenshot("tool-window-beside-notice")
    assert places == [BESIDE_NOTICE] * 4

    web.clear()
    display.click(tool, *SITE_POINTS[1])
    report = wait_page(web, SITE_URLS[1])
    assert report.width > 0
    assert display.windows("NoticeWindow") == [notice]
    assert display.windows("MainWindow") == []
    assert app.running()


@pytest.mark.parametrize("site", [1, 2, 3, 4, 5])
def test_site_button_opens_its_site(display, web, docked_tool, site):
    app, main, tool = docked_tool
    display.click(tool, *SITE_POINTS[site - 1])
    wait_page(web, SITE_URLS[site - 1])
    assert [r.path for r in page_requests(web)] == [f"/site{site}/"]


def test_refresh_loads_the_current_page_again(display, web, docked_tool):
    app, main, tool = docked_tool
    display.click(tool, *SITE_POINTS[2])
    wait_page(web, SITE_URLS[2])
    web.clear()

    display.click(tool, *REFRESH_POINT)
    wait_page(web, SITE_URLS[2])
    assert [r.path for r in page_requests(web)] == ["/site3/"]


@pytest.mark.parametrize("text", [
    "abc",
    "",
    "https://v.qq.com/x/cover/a1.html?vid=b2&t=30",
    "中文 视频 abc",
], ids=["letters", "empty", "address", "chinese-and-blanks"])
def test_add_opens_the_relay_page_with_the_typed_text(display, web, docked_tool, text):
    app, main, tool = docked_tool
    if text:
        type_into_edit_box(display, tool, text)

    display.click(tool, *ADD_POINT)
    request = web.wait_for_request(lambda r: r.path != "/report", EVENT_TIMEOUT)
    assert request.path == urllib.parse.urlparse(RELAY_PAGE_URL).path
    # The engine sends non-ASCII text and blanks percent-encoded as UTF-8, the rest as typed.
    assert urllib.parse.unquote(request.query) == text
    if text.isascii() and " " not in text:
        assert request.query == text
    # The address keeps its "?" even when nothing follows it.
    report = web.wait_for_report(lambda r: r.href.startswith(RELAY_PAGE_URL), EVENT_TIMEOUT)
    assert report.href == f"{RELAY_PAGE_URL}?{request.query}"


def test_clearing_empties_the_edit_box_without_loading_anything(display, web, docked_tool):
    app, main, tool = docked_tool
    type_into_edit_box(display, tool, "xyz")

    display.click(tool, *CLEAR_POINT)
    time.sleep(1.0)
    assert page_requests(web) == []

    display.click(tool, *ADD_POINT)
    request = web.wait_for_request(lambda r: r.path != "/report", EVENT_TIMEOUT)
    assert (request.path, request.query) == ("/relay/ckplayer/play.html", "")


@pytest.mark.parametrize("key", ["Return", "Escape"])
def test_tips_box_shows_and_closes(display, web, docked_tool, key):
    app, main, tool = docked_tool
    display.click(tool, *TIPS_POINT)

    def tips_boxes() -> list[int]:
        out = display.x11("xdotool", "search", "--onlyvisible", "--name", f"^{TIPS_TITLE}$",
                          check=False)
        return [int(w) for w in out.split() if w.isdigit()]

    boxes = poll(tips_boxes, EVENT_TIMEOUT)
    assert boxes and len(boxes) == 1, "no tips box"
    box = boxes[0]
    assert display.title(box) == TIPS_TITLE
    assert display.windows("MessageBox") == [box]
    display.screenshot("tips-box")

    display.key(box, key)
    display.wait_no_window("MessageBox")
    # The tool window is still alive and working.
    display.click(tool, *SITE_POINTS[3])
    wait_page(web, SITE_URLS[3])
    assert app.running()


def test_tool_window_follows_the_main_window(display, web, docked_tool):
    app, main, tool = docked_tool
    display.screenshot("tool-window-docked")

    display.x11("xdotool", "windowmove", str(main), str(MAIN_OUTER.x - 100), str(MAIN_OUTER.y))
    moved = Rect(MAIN_OUTER.x - 100, MAIN_OUTER.y, MAIN_OUTER.width, MAIN_OUTER.height)
    assert display.wait_outer_rect(main, moved) == moved
    assert display.wait_outer_rect(tool, docked_rect(moved)) == docked_rect(moved)

    display.resize_outer(main, 800, 500)
    resized = Rect(moved.x, moved.y, 800, 500)
    assert display.wait_outer_rect(main, resized) == resized
    assert display.wait_outer_rect(tool, docked_rect(resized)) == docked_rect(resized)


def test_tool_window_hides_with_the_minimized_main_window(display, web, docked_tool):
    app, main, tool = docked_tool
    display.x11("xdotool", "windowminimize", str(main))
    display.wait_no_window("MainWindow")
    display.wait_no_window("ToolMenuWindow")

    display.x11("xdotool", "windowactivate", str(main))
    assert display.wait_window("MainWindow", EVENT_TIMEOUT) == main
    assert display.wait_window("ToolMenuWindow", EVENT_TIMEOUT) == tool
    assert display.wait_outer_rect(tool, docked_rect(MAIN_OUTER)) == docked_rect(MAIN_OUTER)
    assert app.running()


def test_unticking_after_the_tool_window_was_closed_keeps_the_program(display, web, notice_tool):
    app, notice, tool = notice_tool
    display.close(tool)
    display.wait_no_window("ToolMenuWindow")

    display.click(notice, *TOOL_BOX_POINT)  # untick: the window is already gone
    time.sleep(1.0)
    assert app.running()
    assert display.windows("NoticeWindow") == [notice]
    assert display.windows("ToolMenuWindow") == []

    # Ticking again opens a new one.
    open_tool_window(display, notice)

    display.close(notice)
    assert app.wait_exit() == 0


def test_closing_the_tool_window_alone_keeps_the_program(display, web, docked_tool):
    app, main, tool = docked_tool
    display.close(tool)
    display.wait_no_window("ToolMenuWindow")
    time.sleep(1.0)
    assert app.running()
    assert display.windows("MainWindow") == [main]

    display.close(main)
    assert app.wait_exit() == 0


def test_refresh_after_the_web_process_crashed_loads_the_page_again(display, web, docked_tool):
    app, main, tool = docked_tool
    pids = web_process_pids(app.proc.pid)
    assert pids, "no web process found under the program"
    kill_pids(pids)
    assert poll(lambda: not set(pids) & set(web_process_pids(app.proc.pid)), EVENT_TIMEOUT)
    time.sleep(0.5)
    assert app.running()
    web.clear()

    display.click(tool, *REFRESH_POINT)
    wait_page(web, SITE_URLS[0])
    assert [r.path for r in page_requests(web)] == ["/site1/"]
    assert app.running()
