"""The built-in relay player page, xingmu://relay/ckplayer/play.html, in the real web engine.

relay_probe (built with the program) opens one address in a WebKitWebView that serves the page,
waits, and reports what the page then shows. The address is the relay prefix followed by the text
exactly as a user would type it into the tool window, which is how the program builds it.
A loopback server stands in for the web: a small H.264 clip, the same as an HLS list of MPEG-TS
segments, and a plain HTML page.

Probe binary: XINGMU_RELAY_PROBE, default build/tests/e2e/relay_probe.
"""

import http.server
import json
import os
import select
import shutil
import subprocess
import threading
import time
import urllib.parse
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
PROBE = Path(os.environ.get("XINGMU_RELAY_PROBE", ROOT / "build" / "tests" / "e2e" / "relay_probe"))
RELAY = "xingmu://relay/ckplayer/play.html?"
HOST = "127.84.73.2"
PAGE_TEXT = "目标页面"
PAGE_TITLE = "星幕汇播 播放器"
ASK_FOR_ADDRESS = "请在编辑框里粘贴视频网页的地址"
UNUSABLE = "无法识别这个地址："
CANNOT_PLAY = "视频无法播放："
HLS_SCRIPT = (ROOT / "src" / "platform" / "relay" / "vendor" / "hls.light.min.js").read_text()


# --------------------------------------------------------------------------------------------
# Fixtures: a private X screen and a loopback web server, shared by the whole module


@pytest.fixture(scope="module")
def display(tmp_path_factory):
    """The name of a private Xvfb screen (no window manager: the probe needs none)."""
    log_path = tmp_path_factory.mktemp("xvfb") / "xvfb.log"
    read_end, write_end = os.pipe()
    with open(log_path, "wb") as log:
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten",
             "tcp"], pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=log, stderr=log)
    os.close(write_end)
    try:
        number = b""
        deadline = time.monotonic() + 30
        while not number.endswith(b"\n"):
            ready, _, _ = select.select([read_end], [], [], max(deadline - time.monotonic(), 0))
            chunk = os.read(read_end, 64) if ready else b""
            if not chunk:
                raise RuntimeError("Xvfb did not start: " + log_path.read_text(errors="replace"))
            number += chunk
    except BaseException:
        xvfb.kill()
        xvfb.wait()
        raise
    finally:
        os.close(read_end)
    yield ":" + number.decode().strip()
    xvfb.terminate()
    try:
        xvfb.wait(timeout=10)
    except subprocess.TimeoutExpired:
        xvfb.kill()
        xvfb.wait()


@pytest.fixture(scope="module")
def clip(tmp_path_factory) -> bytes:
    assert shutil.which("ffmpeg"), "ffmpeg is needed to make the test clip"
    path = tmp_path_factory.mktemp("media") / "clip.mp4"
    subprocess.run(
        ["ffmpeg", "-loglevel", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
         "testsrc=duration=6:size=320x240:rate=25", "-c:v", "libx264", "-pix_fmt", "yuv420p",
         "-movflags", "+faststart", str(path)], check=True, timeout=120)
    return path.read_bytes()


@pytest.fixture(scope="module")
def hls_files(tmp_path_factory) -> dict:
    """An HLS list of three 2-second segments: file name -> content."""
    assert shutil.which("ffmpeg"), "ffmpeg is needed to make the test clip"
    folder = tmp_path_factory.mktemp("hls")
    subprocess.run(
        ["ffmpeg", "-loglevel", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
         "testsrc=duration=6:size=320x240:rate=25", "-c:v", "libx264", "-pix_fmt", "yuv420p",
         "-g", "50", "-f", "hls", "-hls_time", "2", "-hls_playlist_type", "vod",
         str(folder / "index.m3u8")], check=True, timeout=120)
    files = {path.name: path.read_bytes() for path in folder.iterdir()}
    assert sum(name.endswith(".ts") for name in files) > 1, files.keys()
    return files


@pytest.fixture(scope="module")
def web(clip, hls_files):
    """Base address of a loopback server: any path ending .mp4 whose name starts with "clip"
    (in any case) is the clip, /hls/<name> is a file of the HLS list (index.m3u8 in any case),
    /page.html is a plain page, everything else is 404. The HLS files allow any origin, as
    servers that feed players in web pages do: the list and segments are fetched by the page."""
    page = ('<!DOCTYPE html><html><head><meta charset="utf-8"><title>page</title></head>'
            f"<body>{PAGE_TEXT}</body></html>").encode()

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            path = urllib.parse.urlsplit(self.path).path
            name = path.rsplit("/", 1)[-1].lower()
            if name.startswith("clip") and name.endswith(".mp4"):
                self._send("video/mp4", clip)
            elif path.startswith("/hls/") and name in (n.lower() for n in hls_files):
                name = next(n for n in hls_files if n.lower() == name)
                kind = "application/vnd.apple.mpegurl" if name.endswith(".m3u8") else "video/mp2t"
                self._send(kind, hls_files[name], cors=True)
            elif path == "/page.html":
                self._send("text/html; charset=utf-8", page)
            else:
                self.send_error(404)

        def _send(self, content_type: str, body: bytes, cors: bool = False):
            self.send_response(200)
            self.send_header("Content-Type", content_type)
            if cors:
                self.send_header("Access-Control-Allow-Origin", "*")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer((HOST, 0), Handler)
    server.daemon_threads = True
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    yield f"http://{HOST}:{server.server_address[1]}"
    server.shutdown()
    server.server_close()


@pytest.fixture(scope="module")
def probe(display, tmp_path_factory):
    """probe(address, seconds) opens the address and returns what the page then shows."""
    assert PROBE.is_file(), f"{PROBE} is missing: build the relay_probe target or set XINGMU_RELAY_PROBE"
    home = tmp_path_factory.mktemp("home")
    env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "GDK_BACKEND")}
    env.update(DISPLAY=display, WEBKIT_DISABLE_COMPOSITING_MODE="1", NO_AT_BRIDGE="1",
               XDG_CACHE_HOME=str(home / "cache"), XDG_DATA_HOME=str(home / "data"),
               XDG_CONFIG_HOME=str(home / "config"))

    def run(address: str, seconds: float) -> dict:
        done = subprocess.run([str(PROBE), address, str(seconds)], env=env,
                              stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=90)
        assert done.returncode == 0, done.stderr[-3000:]
        return json.loads(done.stdout.strip().splitlines()[-1])

    return run


# --------------------------------------------------------------------------------------------
# Tests


# Where the engine has no HLS of its own, the HLS list plays through the bundled hls.js.
@pytest.mark.parametrize("path", [
    "/clip.mp4",
    "/media/Clip.MP4?token=a%26b#start",
    "/hls/index.m3u8",
    "/hls/INDEX.M3U8?token=a%26b",
])
def test_direct_video_address_plays_in_the_page(probe, web, path):
    report = probe(RELAY + web + path, 5)
    assert report["href"].startswith(RELAY), report
    video = report["video"]
    assert video is not None, report
    assert video["error"] is None, report
    assert not video["paused"], report
    assert video["currentTime"] > 0.5, report


@pytest.mark.parametrize("typed, expected", [
    ("{web}/page.html", "{web}/page.html"),
    # Blanks around the text go; escapes that belong to the address stay as they are.
    ("  {web}/page.html?q=a%26b&r=%E8%A7%86#part  ", "{web}/page.html?q=a%26b&r=%E8%A7%86#part"),
    ("\u3000{web}/page.html?q=视频\u3000", "{web}/page.html?q=%E8%A7%86%E9%A2%91"),
    # An address pasted in percent-encoded form as a whole.
    ("{quoted}", "{web}/page.html"),
])
def test_web_page_address_is_opened_in_place_of_the_relay_page(probe, web, typed, expected):
    quoted = urllib.parse.quote(f"{web}/page.html", safe="")
    report = probe(RELAY + typed.format(web=web, quoted=quoted), 3)
    assert report["href"] == expected.format(web=web), report
    assert report["text"].strip() == PAGE_TEXT, report


@pytest.mark.parametrize("typed, lead, shown", [
    ("", ASK_FOR_ADDRESS, None),
    ("  \t ", ASK_FOR_ADDRESS, None),
    ("javascript:alert(1)", UNUSABLE, "javascript:alert(1)"),
    ("data:text/html,<b>x</b>", UNUSABLE, "data:text/html,<b>x</b>"),
    ("file:///etc/passwd", UNUSABLE, "file:///etc/passwd"),
    # Shown as text: put in as markup, the image's error handler would retitle the page, and the
    # tag itself would not be part of the visible text.
    ("<img src=x onerror=\"document.title='PWN'+'ED'\">", UNUSABLE,
     "<img src=x onerror=\"document.title='PWN'+'ED'\">"),
    ("%E0%A4%A", UNUSABLE, "%E0%A4%A"),
    ("{web}/missing.mp4", CANNOT_PLAY, "{web}/missing.mp4"),
    ("{web}/hls/missing.m3u8", CANNOT_PLAY, "{web}/hls/missing.m3u8"),
])
def test_unusable_text_is_explained_and_not_followed(probe, web, typed, lead, shown):
    report = probe(RELAY + typed.format(web=web), 2.5)
    assert report["href"].startswith(RELAY), report
    text = report["text"]
    assert lead in text, report
    if shown is not None:
        assert shown.format(web=web) in text, report
    assert report["title"] == PAGE_TITLE, report


@pytest.mark.parametrize("address, serves", [
    ("xingmu://relay/ckplayer/play.html", "page"),
    ("xingmu://relay/ckplayer/play.html#top", "page"),
    ("xingmu://relay/ckplayer/hls.light.min.js", "script"),
    ("xingmu://relay/ckplayer/other.html?x", None),
    ("xingmu://relay/ckplayer/hls.min.js", None),
    ("xingmu://relay/hls.light.min.js", None),
    ("xingmu://elsewhere/ckplayer/play.html?x", None),
    ("xingmu://elsewhere/ckplayer/hls.light.min.js", None),
    ("xingmu://relay/", None),
])
def test_scheme_serves_only_the_relay_page_and_its_script(probe, address, serves):
    report = probe(address, 1.5)
    assert (report["title"] == PAGE_TITLE) == (serves == "page"), report["title"]
    # The whole script, as a text document.
    assert (report["text"].strip() == HLS_SCRIPT.strip()) == (serves == "script"), \
        report["text"][:300]
