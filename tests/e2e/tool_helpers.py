"""What the tool window and the size store tests share: control positions, opening the tool
window, typing, the size files and the program's web processes."""

import os
import signal
from pathlib import Path

from harness import AGREE_BOX_POINT, EVENT_TIMEOUT, Display

# NoticeWindow: the check box "开启工具菜单窗口" at (195, 176), 120 x 24.
TOOL_BOX_POINT = (203, 188)
TOOL_SIZE = (344, 242)

# ToolMenuWindow, client points inside each control. Points sit near the left edge of the wide
# controls so that they stay on the screen when the window is docked far to the right.
REFRESH_POINT = (36, 14)  # 刷新 (0, 2) 72 x 24
SITE_POINTS = [(36, top + 12) for top in (32, 62, 92, 122, 152)]  # 7351院线一 .. 6742院线
TIPS_POINT = (36, 195)  # 提示 (0, 183)
EDIT_POINT = (90, 55)  # edit box (79, 43) 248 x 24
ADD_POINT = (90, 84)  # 添加 (80, 72) 248 x 24
CLEAR_POINT = (95, 183)  # 清空连接内容 (84, 159) 248 x 49

TIPS_TITLE = "温馨提示"

# The two size files in the state directory, and what a save writes into them.
WIDTH_FILE = "7351视频播放器宽度.ini"
HEIGHT_FILE = "7351视频播放器高度.ini"


def size_file_bytes(key: str, value: int) -> bytes:
    """A size file as the program writes it: code page 936 text, CR LF line ends."""
    return f"[配置]\r\n{key}={value}\r\n".encode("gb18030")


def open_tool_window(display: Display, notice: int) -> int:
    """Ticks "开启工具菜单窗口" and returns the tool window that it opens."""
    display.click(notice, *TOOL_BOX_POINT)
    return display.wait_window("ToolMenuWindow", EVENT_TIMEOUT)


def accept_notice(display: Display, notice: int) -> int:
    """Ticks the agreement box and returns the main window that it shows."""
    display.click(notice, *AGREE_BOX_POINT)
    return display.wait_window("MainWindow", EVENT_TIMEOUT)


def type_into_edit_box(display: Display, tool: int, text: str) -> None:
    """Clicks the tool window's edit box and types text into it as key presses."""
    display.click(tool, *EDIT_POINT)
    display.x11("xdotool", "type", "--delay", "20", text)


def _descendants(pid: int) -> list[int]:
    found = []
    for children in Path(f"/proc/{pid}/task").glob("*/children"):
        try:
            pids = [int(p) for p in children.read_text().split()]
        except OSError:
            continue
        for child in pids:
            found.append(child)
            found.extend(_descendants(child))
    return found


def web_process_pids(pid: int) -> list[int]:
    """The web engine's page processes started by the process `pid` (the sandbox's own helper
    processes, whose command lines merely name the page process, are left out)."""
    result = []
    for child in _descendants(pid):
        try:
            argv0 = Path(f"/proc/{child}/cmdline").read_bytes().split(b"\0")[0]
        except OSError:
            continue
        if os.path.basename(argv0) == b"WebKitWebProcess":
            result.append(child)
    return result


def kill_pids(pids: list[int]) -> None:
    for pid in pids:
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
