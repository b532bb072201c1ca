"""The end-to-end test harness: a private X display, a loopback web server, the program.

Each test gets a private X screen (Xvfb, 1366 x 768) with openbox as its window manager, a launcher
that starts the program on it in a clean environment, and a loopback web server on
127.84.73.1:38471 that stands in for the video sites and the relay player. Every page the server
hands out reports back what it sees (its address and its inner size), so a test can tell what the
program's browser box shows without looking at pixels.

Binaries: XINGMU_E2E_BIN (built with the loopback addresses, default build/e2e/xingmu-huibo) and
XINGMU_DEFAULT_BIN (the ordinary build, default build/xingmu-huibo). Screenshots go to
build/e2e-shots/ (or XINGMU_E2E_SHOTS); their paths are listed at the end of the run.
"""

import http.server
import mimetypes
import os
import re
import select
import signal
import subprocess
import threading
import time
import urllib.parse
from dataclasses import dataclass, field
from pathlib import Path
from typing import Callable, NamedTuple, Optional

import pytest

ROOT = Path(__file__).resolve().parents[2]
SERVER_HOST = "127.84.73.1"
SERVER_PORT = 38471
SERVER_URL = f"http://{SERVER_HOST}:{SERVER_PORT}"
SITE_URLS = [f"{SERVER_URL}/site{n}/" for n in range(1, 6)]
RELAY_PAGE_URL = f"{SERVER_URL}/relay/ckplayer/play.html"
SCREEN_WIDTH, SCREEN_HEIGHT = 1366, 768
SHOT_DIR = Path(os.environ.get("XINGMU_E2E_SHOTS", ROOT / "build" / "e2e-shots"))

# Generous limits: the web engine may need several seconds to start on a busy 2-core machine.
FIRST_PAGE_TIMEOUT = 30.0
WINDOW_TIMEOUT = 30.0
EVENT_TIMEOUT = 15.0
EXIT_TIMEOUT = 20.0
TOOL_TIMEOUT = 15.0

saved_shots: list[Path] = []


def poll(check: Callable[[], object], timeout: float, interval: float = 0.1):
    """Calls check until it returns something true, and returns that; None after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() >= deadline:
            return None
        time.sleep(interval)


def _stop_process_group(proc: subprocess.Popen, grace: float = 5.0) -> None:
    """Ends a process started with start_new_session=True and everything left in its group."""
    if getattr(proc, "xm_stopped", False):
        return
    try:
        os.killpg(proc.pid, signal.SIGTERM)
    except ProcessLookupError:
        pass
    try:
        proc.wait(timeout=grace)
    except subprocess.TimeoutExpired:
        pass
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    proc.wait()
    proc.xm_stopped = True


def _safe_name(text: str) -> str:
    return re.sub(r"[^A-Za-z0-9_.-]+", "-", text).strip("-")[:120]


# --------------------------------------------------------------------------------------------
# X display and window helpers


class Rect(NamedTuple):
    x: int
    y: int
    width: int
    height: int


class Extents(NamedTuple):
    left: int
    right: int
    top: int
    bottom: int


@dataclass
class ClientInfo:
    rect: Rect
    map_state: str


class Display:
    """A private Xvfb screen with openbox running on it."""

    def __init__(self, workdir: Path):
        self.workdir = workdir
        self.name = ""
        self._xvfb: Optional[subprocess.Popen] = None
        self._wm: Optional[subprocess.Popen] = None
        workdir.mkdir(parents=True, exist_ok=True)
        try:
            self._start()
        except BaseException:
            self.stop()
            raise

    def _start(self) -> None:
        read_end, write_end = os.pipe()
        try:
            with open(self.workdir / "xvfb.log", "wb") as log:
                self._xvfb = subprocess.Popen(
                    ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                     f"{SCREEN_WIDTH}x{SCREEN_HEIGHT}x24", "-nolisten", "tcp"],
                    pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                    start_new_session=True)
            os.close(write_end)
            write_end = -1
            number = b""
            deadline = time.monotonic() + 30
            while not number.endswith(b"\n"):
                left = deadline - time.monotonic()
                ready, _, _ = select.select([read_end], [], [], max(left, 0))
                if not ready:
                    raise RuntimeError("Xvfb did not report its display number")
                chunk = os.read(read_end, 64)
                if not chunk:
                    raise RuntimeError("Xvfb ended: " + self._log("xvfb.log"))
                number += chunk
        finally:
            os.close(read_end)
            if write_end >= 0:
                os.close(write_end)
        self.name = ":" + number.decode().strip()

        with open(self.workdir / "openbox.log", "wb") as log:
            self._wm = subprocess.Popen(
                ["openbox"], env=self.tool_env(), stdin=subprocess.DEVNULL, stdout=log,
                stderr=log, start_new_session=True)
        wm = self._wm
        poll(lambda: wm.poll() is not None or self._wm_running(), 30)
        if wm.poll() is not None or not self._wm_running():
            raise RuntimeError(f"openbox did not start on {self.name}: " + self._log("openbox.log"))

    def _log(self, name: str) -> str:
        try:
            return (self.workdir / name).read_text(errors="replace")[-2000:]
        except OSError:
            return ""

    def _wm_running(self) -> bool:
        out = self.x11("xprop", "-root", "_NET_SUPPORTING_WM_CHECK", check=False)
        return "window id" in out

    def stop(self) -> None:
        for proc in (self._wm, self._xvfb):
            if proc is not None:
                _stop_process_group(proc)

    def tool_env(self) -> dict:
        env = dict(os.environ)
        env["DISPLAY"] = self.name
        env["LC_ALL"] = "C.UTF-8"
        return env

    def x11(self, *args: str, check: bool = True, timeout: float = TOOL_TIMEOUT) -> str:
        """Runs an X client tool on this display and returns its standard output."""
        result = subprocess.run(args, env=self.tool_env(), stdin=subprocess.DEVNULL,
                                capture_output=True, text=True, errors="replace",
                                timeout=timeout)
        if check and result.returncode != 0:
            raise AssertionError(f"{' '.join(args)} failed ({result.returncode}): "
                                 f"{result.stderr.strip()}")
        return result.stdout

    # Finding windows --------------------------------------------------------------------

    def windows(self, instance: str, visible_only: bool = True) -> list[int]:
        """Windows whose WM_CLASS instance name is exactly `instance`."""
        args = ["xdotool", "search"]
        if visible_only:
            args.append("--onlyvisible")
        out = self.x11(*args, "--classname", f"^{instance}$", check=False)
        return [int(line) for line in out.split() if line.isdigit()]

    def wait_window(self, instance: str, timeout: float = WINDOW_TIMEOUT) -> int:
        """The one visible window of that instance name, once it has stopped moving."""
        found = poll(lambda: self.windows(instance), timeout)
        if not found:
            raise AssertionError(f"no visible {instance} within {timeout:.0f} s")
        assert len(found) == 1, f"more than one visible {instance}: {found}"
        self.wait_settled(found[0])
        return found[0]

    def wait_settled(self, wid: int, quiet: float = 0.3, timeout: float = EVENT_TIMEOUT) -> Rect:
        """Waits until the window's outer rectangle has stayed the same for `quiet` seconds.
        A window can be mapped before the window manager and the program have agreed on its
        place; a click sent in between lands beside it."""
        last = self.outer_rect(wid)
        since = time.monotonic()
        deadline = since + timeout
        while time.monotonic() < deadline:
            time.sleep(0.05)
            try:
                rect = self.outer_rect(wid)
            except AssertionError:  # gone meanwhile
                return last
            if rect != last:
                last, since = rect, time.monotonic()
            elif time.monotonic() - since >= quiet:
                break
        return last

    def wait_no_window(self, instance: str, timeout: float = EVENT_TIMEOUT) -> None:
        if not poll(lambda: not self.windows(instance), timeout):
            raise AssertionError(f"{instance} still visible after {timeout:.0f} s")

    # Reading windows --------------------------------------------------------------------

    def client_info(self, wid: int) -> ClientInfo:
        out = self.x11("xwininfo", "-id", str(wid))

        def field_value(label: str) -> str:
            match = re.search(rf"^\s*{re.escape(label)}:\s*(.+)$", out, re.M)
            assert match, f"xwininfo gave no {label!r}: {out}"
            return match.group(1).strip()

        rect = Rect(int(field_value("Absolute upper-left X")),
                    int(field_value("Absolute upper-left Y")),
                    int(field_value("Width")), int(field_value("Height")))
        return ClientInfo(rect, field_value("Map State"))

    def frame_extents(self, wid: int) -> Extents:
        out = self.x11("xprop", "-id", str(wid), "_NET_FRAME_EXTENTS", check=False)
        numbers = re.findall(r"-?\d+", out.partition("=")[2])
        if len(numbers) != 4:
            return Extents(0, 0, 0, 0)
        return Extents(*map(int, numbers))

    def outer_rect(self, wid: int) -> Rect:
        """The window's rectangle with the frame the window manager draws around it."""
        client = self.client_info(wid).rect
        ext = self.frame_extents(wid)
        return Rect(client.x - ext.left, client.y - ext.top,
                    client.width + ext.left + ext.right,
                    client.height + ext.top + ext.bottom)

    def wait_outer_rect(self, wid: int, expected: Rect, timeout: float = EVENT_TIMEOUT) -> Rect:
        """The outer rectangle once it equals `expected`, or the last one seen after timeout."""
        seen = [self.outer_rect(wid)]

        def matches() -> bool:
            seen.append(self.outer_rect(wid))
            return seen[-1] == expected

        poll(matches, timeout)
        return seen[-1]

    def _text_property(self, wid: int, name: str) -> Optional[str]:
        out = self.x11("xprop", "-id", str(wid), "-notype", name, check=False)
        match = re.search(r'=\s*"(.*)"\s*$', out, re.S)
        if not match:
            return None
        raw = match.group(1)
        # xprop escapes quotes and backslashes, and writes unprintable bytes in octal.
        return re.sub(r"\\([0-7]{3}|.)",
                      lambda m: chr(int(m.group(1), 8)) if len(m.group(1)) == 3 else m.group(1),
                      raw)

    def title(self, wid: int) -> str:
        """What the window manager shows as the title: _NET_WM_NAME, else WM_NAME."""
        for name in ("_NET_WM_NAME", "WM_NAME"):
            text = self._text_property(wid, name)
            if text is not None:
                return text
        return ""

    # Acting on windows ------------------------------------------------------------------

    def click(self, wid: int, x: int, y: int) -> None:
        """A left click at (x, y) in the window's client area."""
        self.x11("xdotool", "mousemove", "--window", str(wid), str(x), str(y), "click", "1")

    def key(self, wid: int, keysym: str) -> None:
        """Gives the window the focus, then presses and releases a key."""
        self.x11("xdotool", "windowactivate", "--sync", str(wid))
        # The window manager marks the window active before the X input focus reaches it.
        if not poll(lambda: self.focused_window() == wid, EVENT_TIMEOUT):
            raise AssertionError(f"window {wid} did not get the input focus; "
                                 f"{self.focused_window()} has it")
        self.x11("xdotool", "key", keysym)

    def focused_window(self) -> Optional[int]:
        """The program window (the one with a WM_CLASS) that has the X input focus."""
        out = self.x11("xdotool", "getwindowfocus", check=False).strip()
        return int(out) if out.isdigit() else None

    def close(self, wid: int) -> None:
        """Asks the window manager to close the window (WM_DELETE_WINDOW, like the close box)."""
        self.x11("wmctrl", "-i", "-c", hex(wid))

    # The ways a user closes a window, for tests that cover each.
    CLOSE_WAYS = ("window manager", "Esc")

    def close_by(self, wid: int, how: str) -> None:
        """Closes the window one of the CLOSE_WAYS: the close box (via the window manager) or Esc."""
        if how == "Esc":
            self.key(wid, "Escape")
        else:
            self.close(wid)

    def resize_outer(self, wid: int, width: int, height: int) -> None:
        """Has the window manager resize the window so that its frame is width x height."""
        ext = self.frame_extents(wid)
        self.x11("xdotool", "windowsize", str(wid), str(width - ext.left - ext.right),
                 str(height - ext.top - ext.bottom))

    def screenshot(self, name: str) -> Path:
        """Saves the whole screen as build/e2e-shots/<name>.png and returns the path."""
        SHOT_DIR.mkdir(parents=True, exist_ok=True)
        path = SHOT_DIR / f"{_safe_name(name)}.png"
        self.x11("import", "-window", "root", str(path), timeout=30)
        saved_shots.append(path)
        print(f"screenshot: {path}")
        return path


class WindowWatch:
    """Polls in the background for visible windows of one instance name and keeps what it saw."""

    def __init__(self, display: Display, instance: str):
        self.seen: set[int] = set()
        self._display = display
        self._instance = instance
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def _run(self) -> None:
        while not self._stop.is_set():
            try:
                self.seen.update(self._display.windows(self._instance))
            except (OSError, subprocess.SubprocessError):
                pass
            self._stop.wait(0.05)

    def stop(self) -> set[int]:
        self._stop.set()
        self._thread.join(timeout=TOOL_TIMEOUT + 5)
        return self.seen


# --------------------------------------------------------------------------------------------
# Loopback web server

_REPORT_SCRIPT = """<script>
function xmReport() {
  var r = new XMLHttpRequest();
  r.open('GET', '/report?href=' + encodeURIComponent(location.href) +
         '&w=' + window.innerWidth + '&h=' + window.innerHeight, true);
  r.send();
}
window.addEventListener('load', xmReport);
window.addEventListener('resize', xmReport);
</script>"""

_PAGE_COLOURS = ["#cfe8ff", "#ffe0c2", "#d8f5d0", "#f5d0f0", "#fff5b8", "#e0e0e0"]


def _page(title: str, colour: str) -> bytes:
    return (f"<!DOCTYPE html><html><head><meta charset='utf-8'><title>{title}</title>"
            f"<style>html,body{{margin:0;height:100%;background:{colour};"
            f"font:28px sans-serif}}h1{{margin:0;padding:16px}}</style>{_REPORT_SCRIPT}</head>"
            f"<body><h1>{title}</h1></body></html>").encode()


@dataclass
class Request:
    method: str
    path: str
    query: str  # raw, as sent
    time: float
    params: dict = field(default_factory=dict)  # the query parsed, last value of each name


@dataclass
class Report:
    href: str
    width: int
    height: int
    time: float


class WebServer:
    def __init__(self, media_dir: Path):
        self.media_dir = media_dir
        self._lock = threading.Lock()
        self._requests: list[Request] = []
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                server._handle(self, send_body=True)

            def do_HEAD(self):
                server._handle(self, send_body=False)

            def log_message(self, *args):
                pass

        try:
            self._httpd = http.server.ThreadingHTTPServer((SERVER_HOST, SERVER_PORT), Handler)
        except OSError as error:
            pytest.fail(f"cannot serve on {SERVER_HOST}:{SERVER_PORT} ({error}); the program "
                        "under test has this address built in: is another e2e run going on?")
        self._httpd.daemon_threads = True
        self._thread = threading.Thread(target=self._httpd.serve_forever, daemon=True)
        self._thread.start()

    def stop(self) -> None:
        self._httpd.shutdown()
        self._httpd.server_close()

    # What was asked -----------------------------------------------------------------------

    def clear(self) -> None:
        with self._lock:
            self._requests.clear()

    def requests(self) -> list[Request]:
        with self._lock:
            return list(self._requests)

    def reports(self) -> list[Report]:
        result = []
        for req in self.requests():
            if req.path == "/report":
                try:
                    result.append(Report(req.params.get("href", ""), int(req.params["w"]),
                                         int(req.params["h"]), req.time))
                except (KeyError, ValueError):
                    pass
        return result

    def wait_for_request(self, predicate: Callable[[Request], bool],
                         timeout: float = FIRST_PAGE_TIMEOUT) -> Request:
        found = poll(lambda: next((r for r in self.requests() if predicate(r)), None), timeout)
        if found is None:
            seen = "\n  ".join(f"{r.method} {r.path}?{r.query}" for r in self.requests())
            raise AssertionError(f"no matching request within {timeout:.0f} s; seen:\n  {seen}")
        return found

    def wait_for_report(self, predicate: Callable[[Report], bool],
                        timeout: float = FIRST_PAGE_TIMEOUT) -> Report:
        found = poll(lambda: next((r for r in self.reports() if predicate(r)), None), timeout)
        if found is None:
            seen = "\n  ".join(f"{r.href} {r.width}x{r.height}" for r in self.reports())
            raise AssertionError(f"no matching page report within {timeout:.0f} s; seen:\n  {seen}")
        return found

    # Serving ----------------------------------------------------------------------------

    def _handle(self, h: http.server.BaseHTTPRequestHandler, send_body: bool) -> None:
        path, _, query = h.path.partition("?")
        params = {k: v[-1] for k, v in urllib.parse.parse_qs(query, keep_blank_values=True).items()}
        with self._lock:
            self._requests.append(Request(h.command, path, query, time.monotonic(), params))

        site = re.fullmatch(r"/site([1-5])/.*", path)
        if site:
            n = int(site.group(1))
            self._send(h, 200, "text/html; charset=utf-8", _page(f"Site {n}", _PAGE_COLOURS[n - 1]),
                       send_body)
        elif path == "/relay/ckplayer/play.html":
            self._send(h, 200, "text/html; charset=utf-8", _page("Relay player", _PAGE_COLOURS[5]),
                       send_body)
        elif path == "/report":
            self._send(h, 204, None, b"", send_body)
        elif path.startswith("/media/"):
            self._send_media(h, urllib.parse.unquote(path[len("/media/"):]), send_body)
        else:
            self._send(h, 404, "text/plain", b"not found\n", send_body)

    @staticmethod
    def _send(h, status: int, content_type: Optional[str], body: bytes, send_body: bool,
              extra_headers: Optional[dict] = None) -> None:
        h.send_response(status)
        if content_type:
            h.send_header("Content-Type", content_type)
        h.send_header("Cache-Control", "no-store")
        for name, value in (extra_headers or {}).items():
            h.send_header(name, value)
        if status != 204:
            h.send_header("Content-Length", str(len(body)))
        h.end_headers()
        if send_body and status != 204:
            try:
                h.wfile.write(body)
            except (BrokenPipeError, ConnectionResetError):
                pass

    def _send_media(self, h, name: str, send_body: bool) -> None:
        file = (self.media_dir / name).resolve()
        if self.media_dir.resolve() not in file.parents or not file.is_file():
            self._send(h, 404, "text/plain", b"not found\n", send_body)
            return
        data = file.read_bytes()
        content_type = mimetypes.guess_type(file.name)[0] or "application/octet-stream"
        headers = {"Accept-Ranges": "bytes"}
        match = re.fullmatch(r"bytes=(\d*)-(\d*)", h.headers.get("Range", "").strip())
        if match and (match.group(1) or match.group(2)):
            if match.group(1):
                start = int(match.group(1))
                end = int(match.group(2)) if match.group(2) else len(data) - 1
            else:
                start, end = max(len(data) - int(match.group(2)), 0), len(data) - 1
            end = min(end, len(data) - 1)
            if start > end:
                headers["Content-Range"] = f"bytes */{len(data)}"
                self._send(h, 416, "text/plain", b"", send_body, headers)
                return
            headers["Content-Range"] = f"bytes {start}-{end}/{len(data)}"
            self._send(h, 206, content_type, data[start:end + 1], send_body, headers)
        else:
            self._send(h, 200, content_type, data, send_body, headers)


# --------------------------------------------------------------------------------------------
# The program


def binary_path(variable: str, default: Path) -> Path:
    path = Path(os.environ.get(variable) or default)
    if not os.access(path, os.X_OK):
        pytest.fail(f"{path} is missing: build it first (scripts/test does), or set {variable}")
    return path


class App:
    """One run of the program, in an environment of its own under `workdir`."""

    def __init__(self, binary: Path, workdir: Path, display: Optional[Display]):
        self.workdir = workdir
        self.display = display
        dirs = {name: workdir / name for name in ("home", "cache", "data", "config", "runtime",
                                                   "state")}
        for path in dirs.values():
            path.mkdir(parents=True, exist_ok=True)
        dirs["runtime"].chmod(0o700)
        self.state_dir = dirs["state"]
        env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "HOME": str(dirs["home"]),
            "XDG_CACHE_HOME": str(dirs["cache"]),
            "XDG_DATA_HOME": str(dirs["data"]),
            "XDG_CONFIG_HOME": str(dirs["config"]),
            "XDG_RUNTIME_DIR": str(dirs["runtime"]),
            "XINGMU_STATE_DIR": str(self.state_dir),
            "NO_AT_BRIDGE": "1",
            "WEBKIT_DISABLE_COMPOSITING_MODE": "1",
            "LANG": "C.UTF-8",
        }
        if display is not None:
            env["DISPLAY"] = display.name
        self.stdout_path = workdir / "stdout.txt"
        self.stderr_path = workdir / "stderr.txt"
        with open(self.stdout_path, "wb") as out, open(self.stderr_path, "wb") as err:
            self.proc = subprocess.Popen([str(binary)], env=env, cwd=dirs["home"],
                                         stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                         start_new_session=True)

    def running(self) -> bool:
        return self.proc.poll() is None

    def wait_exit(self, timeout: float = EXIT_TIMEOUT) -> int:
        """The exit status (255 for exit(-1)); a failure if the program is still running."""
        try:
            self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError(f"the program is still running after {timeout:.0f} s") from None
        status = self.proc.returncode
        self.stop()  # whatever it started goes too
        return status

    def stop(self) -> None:
        _stop_process_group(self.proc)

    def stderr(self) -> str:
        return self.stderr_path.read_text(errors="replace")

    def stdout(self) -> str:
        return self.stdout_path.read_text(errors="replace")


# --------------------------------------------------------------------------------------------
# What the program shows

# Notice window layout, in client coordinates.
AGREE_BOX_POINT = (24, 188)  # inside "我已经接受上边的注意事项。" at (16, 176), 176 x 24
NOTICE_OUTER = Rect(493, 265, 380, 237)
MAIN_OUTER = Rect(172, 111, 1022, 546)
MAIN_TITLE = "星幕汇播V1.65 "
