"""Fixtures for the end-to-end tests; the machinery is in harness.py."""

import subprocess
from pathlib import Path
from typing import Optional

import pytest

from harness import (AGREE_BOX_POINT, EVENT_TIMEOUT, ROOT, App, Display, WebServer, binary_path,
                     saved_shots)


# --------------------------------------------------------------------------------------------
# Fixtures and hooks


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    report = outcome.get_result()
    setattr(item, "xm_failed", getattr(item, "xm_failed", False) or report.failed)


def pytest_terminal_summary(terminalreporter):
    if saved_shots:
        terminalreporter.section("screenshots")
        for path in dict.fromkeys(saved_shots):
            terminalreporter.write_line(str(path))


@pytest.fixture(scope="session")
def e2e_bin() -> Path:
    """The program built to use the loopback server's addresses."""
    return binary_path("XINGMU_E2E_BIN", ROOT / "build" / "e2e" / "xingmu-huibo")


@pytest.fixture(scope="session")
def default_bin() -> Path:
    """The program built with its ordinary addresses."""
    return binary_path("XINGMU_DEFAULT_BIN", ROOT / "build" / "xingmu-huibo")


@pytest.fixture(scope="session")
def _web_server(tmp_path_factory):
    server = WebServer(tmp_path_factory.mktemp("media"))
    yield server
    server.stop()


@pytest.fixture
def web(_web_server) -> WebServer:
    """The loopback server, with the requests of earlier tests forgotten."""
    _web_server.clear()
    return _web_server


@pytest.fixture
def display(tmp_path):
    for attempt in range(3):
        try:
            disp = Display(tmp_path / f"display{attempt}")
            break
        except RuntimeError as error:  # the X server or the window manager did not come up
            if attempt == 2:
                raise
            print(f"display: {error}; trying again")
    yield disp
    disp.stop()


@pytest.fixture
def launch(request, tmp_path, e2e_bin, display):
    """launch(display, binary=e2e_bin) starts the program; every run is stopped after the test,
    and a failing test shows what the program wrote to stderr."""
    apps: list[App] = []

    def start(disp: Optional[Display], binary: Optional[Path] = None) -> App:
        app = App(binary or e2e_bin, tmp_path / f"app{len(apps)}", disp)
        apps.append(app)
        return app

    yield start
    failed = getattr(request.node, "xm_failed", False)
    if failed:
        # The screen as the failure left it, while the program is still up.
        for disp in dict.fromkeys(app.display for app in apps if app.display is not None):
            try:
                disp.screenshot(f"FAILED-{request.node.name}")
            except (AssertionError, OSError, subprocess.SubprocessError):
                pass
    for app in apps:
        app.stop()
    if failed:
        for app in apps:
            print(f"--- program stderr ({app.stderr_path}):\n{app.stderr()[-4000:]}")


@pytest.fixture
def main_window(display, web, launch):
    """The program past the notice: (app, MainWindow's id)."""
    app = launch(display)
    notice = display.wait_window("NoticeWindow")
    display.click(notice, *AGREE_BOX_POINT)
    try:
        return app, display.wait_window("MainWindow", EVENT_TIMEOUT)
    except AssertionError as error:
        notices = display.windows("NoticeWindow")
        where = display.outer_rect(notices[0]) if notices else "gone"
        raise AssertionError(f"{error} after ticking the agreement; NoticeWindow: {where}") from None
