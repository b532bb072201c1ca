"""The main window's size kept between runs in two INI files in the state directory."""

import os
import signal

import pytest

from harness import EVENT_TIMEOUT, MAIN_OUTER, SITE_URLS, Display, Rect
from tool_helpers import HEIGHT_FILE, WIDTH_FILE, accept_notice, size_file_bytes

FIRST_PAGE_AT_FULL_SIZE = (MAIN_OUTER.width - 10, MAIN_OUTER.height - 40)


def state_files(app) -> dict[str, bytes]:
    return {path.name: path.read_bytes() for path in app.state_dir.iterdir()}


def test_first_run_saves_both_sizes_when_the_main_window_closes(display, web, launch):
    app = launch(display)
    main = accept_notice(display, display.wait_window("NoticeWindow"))
    assert display.wait_outer_rect(main, MAIN_OUTER) == MAIN_OUTER
    web.wait_for_report(lambda r: (r.width, r.height) == FIRST_PAGE_AT_FULL_SIZE)
    assert state_files(app) == {}, "a size was saved before the main window closed"

    display.close(main)
    assert app.wait_exit() == 0
    assert state_files(app) == {
        WIDTH_FILE: size_file_bytes("宽度", 1022),
        HEIGHT_FILE: size_file_bytes("高度", 546),
    }


def test_stored_width_sizes_the_main_window(display, web, launch):
    app = launch(display)
    notice = display.wait_window("NoticeWindow")
    # The size is read once the notice is accepted, so writing it now is in time.
    stored = size_file_bytes("宽度", 800)
    (app.state_dir / WIDTH_FILE).write_bytes(stored)

    main = accept_notice(display, notice)
    expected = Rect(MAIN_OUTER.x, MAIN_OUTER.y, 800, MAIN_OUTER.height)
    assert display.wait_outer_rect(main, expected) == expected
    web.wait_for_report(lambda r: r.href == SITE_URLS[0] and (r.width, r.height) == (790, 506))

    display.close(main)
    assert app.wait_exit() == 0
    assert state_files(app) == {WIDTH_FILE: stored, HEIGHT_FILE: size_file_bytes("高度", 546)}


# Files that a save would change: other values, another line ending, lines of their own.
EARLIER_FILES = {
    WIDTH_FILE: "; 旧的\r\n[配置]\r\n宽度=900\r\n[其他]\r\n键=值\r\n".encode("gb18030"),
    HEIGHT_FILE: "[配置]\n高度=600\n".encode("gb18030"),
}


@pytest.mark.parametrize("earlier", [{}, EARLIER_FILES], ids=["first-run", "files-present"])
@pytest.mark.parametrize("how", Display.CLOSE_WAYS)
def test_closing_the_notice_leaves_the_files_alone(display, web, launch, how, earlier):
    app = launch(display)
    notice = display.wait_window("NoticeWindow")
    for name, data in earlier.items():
        (app.state_dir / name).write_bytes(data)
    web.wait_for_request(lambda r: r.path == "/site1/")

    display.close_by(notice, how)

    assert app.wait_exit() == 0
    assert state_files(app) == earlier


def test_unwritable_state_directory_still_ends_normally(display, web, launch):
    app = launch(display)
    main = accept_notice(display, display.wait_window("NoticeWindow"))
    web.wait_for_report(lambda r: (r.width, r.height) == FIRST_PAGE_AT_FULL_SIZE)
    # Put a regular file where the state directory should be: no one, root included, can create
    # a directory or a file under it.
    app.state_dir.rmdir()
    app.state_dir.write_bytes(b"not a directory\n")

    display.close(main)
    assert app.wait_exit() == 0
    assert app.state_dir.read_bytes() == b"not a directory\n"


@pytest.mark.parametrize("signal_number", [signal.SIGTERM, signal.SIGHUP], ids=["TERM", "HUP"])
def test_session_end_signal_in_the_main_phase_saves_nothing(display, web, launch,
                                                            signal_number):
    app = launch(display)
    main = accept_notice(display, display.wait_window("NoticeWindow"))
    web.wait_for_report(lambda r: (r.width, r.height) == FIRST_PAGE_AT_FULL_SIZE)
    # A size other than the first run's, so that any save would be seen.
    display.resize_outer(main, 700, 400)
    web.wait_for_report(lambda r: (r.width, r.height) == (690, 360), EVENT_TIMEOUT)

    os.kill(app.proc.pid, signal_number)
    assert app.wait_exit() == 0
    assert state_files(app) == {}
