"""The start: the notice comes first, over a hidden main window, and closing it ends the program."""

import pytest

from harness import EVENT_TIMEOUT, NOTICE_OUTER, Display, WindowWatch


def test_notice_comes_first_centred_over_a_hidden_main_window(display, web, launch):
    main_seen = WindowWatch(display, "MainWindow")
    app = launch(display)
    notice = display.wait_window("NoticeWindow")

    # The browser box starts on the first site while the notice is still up.
    web.wait_for_request(lambda r: r.path == "/site1/")
    display.screenshot("notice")
    assert display.windows("NoticeWindow") == [notice]
    assert display.outer_rect(notice) == NOTICE_OUTER
    # No caption text (a lone blank keeps a window manager from putting a name of its own there).
    assert display.title(notice).strip() == ""
    assert app.running()
    assert not main_seen.stop(), "MainWindow was shown before the notice was accepted"
    # Whatever MainWindow the program has created so far is unmapped.
    for wid in display.windows("MainWindow", visible_only=False):
        assert display.client_info(wid).map_state == "IsUnMapped"


@pytest.mark.parametrize("how", Display.CLOSE_WAYS)
def test_closing_the_notice_ends_the_program_without_showing_the_main_window(
        display, web, launch, how):
    main_seen = WindowWatch(display, "MainWindow")
    app = launch(display)
    notice = display.wait_window("NoticeWindow")
    web.wait_for_request(lambda r: r.path == "/site1/")

    display.close_by(notice, how)

    assert app.wait_exit() == 0
    assert not main_seen.stop(), "MainWindow was shown"
    assert list(app.state_dir.iterdir()) == [], "closing the notice must not save a size"


@pytest.mark.parametrize("binary", ["e2e_bin", "default_bin"])
def test_without_a_display_the_program_fails_with_a_message(request, launch, binary):
    app = launch(None, request.getfixturevalue(binary))
    assert app.wait_exit(EVENT_TIMEOUT) == 255
    assert app.stderr().strip(), "no message on stderr"
