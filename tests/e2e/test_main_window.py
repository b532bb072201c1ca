"""The main window once the notice is accepted: place, title, browser box size, ways to close."""

import pytest

from harness import (MAIN_OUTER, MAIN_TITLE, SITE_URLS, Display, Rect)


def test_accepting_the_notice_shows_the_main_window_on_the_first_site(display, web, main_window):
    app, main = main_window
    display.wait_no_window("NoticeWindow")
    assert display.title(main) == MAIN_TITLE
    assert display.wait_outer_rect(main, MAIN_OUTER) == MAIN_OUTER

    # The browser box fills the window but for the margins: 10 narrower, 40 lower.
    report = web.wait_for_report(lambda r: (r.width, r.height) == (1012, 506))
    assert report.href == SITE_URLS[0]
    display.screenshot("main-window")
    assert app.running()


@pytest.mark.parametrize("width, height", [(800, 500), (1150, 640), (400, 200)])
def test_browser_box_follows_a_resize_by_the_window_manager(display, web, main_window, width,
                                                             height):
    app, main = main_window
    web.wait_for_report(lambda r: (r.width, r.height) == (1012, 506))

    display.resize_outer(main, width, height)

    assert display.wait_outer_rect(main, Rect(MAIN_OUTER.x, MAIN_OUTER.y, width, height)) == \
        Rect(MAIN_OUTER.x, MAIN_OUTER.y, width, height)
    web.wait_for_report(lambda r: (r.width, r.height) == (width - 10, height - 40))
    assert app.running()


@pytest.mark.parametrize("how", Display.CLOSE_WAYS)
def test_closing_the_main_window_ends_the_program(display, web, main_window, how):
    app, main = main_window
    web.wait_for_report(lambda r: r.href == SITE_URLS[0])

    display.close_by(main, how)

    assert app.wait_exit() == 0
