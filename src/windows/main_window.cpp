#include "windows/main_window.h"

#include "app/sites.h"
#include "app/truncate_to_int.h"
#include "app/window_size_store.h"
#include "windows/notice_window.h"
#include "windows/tool_menu_window.h"
#include "windows/windows.h"

namespace xm {
namespace {

// The browser box fills the client area: 5 px in from the left, 4 down, and the window's frame
// taken off its outer size.
void ApplySizeRule() {
  WriteProperty(MainWindow, 超文本浏览框_视频, Prop::width,
                TruncateToInt(double(ReadProperty(MainWindow, kSelf, Prop::width)) - 10.0));
  WriteProperty(MainWindow, 超文本浏览框_视频, Prop::height,
                TruncateToInt(double(ReadProperty(MainWindow, kSelf, Prop::height)) - 40.0));
}

void MainWindow_Created() {
  RunStartupGate();
  RestoreMainWindowSize();
}

void MainWindow_SizeChanged() {
  ApplySizeRule();
  DockToolMenuWindow();
}

void MainWindow_PositionChanged() {
  DockToolMenuWindow();
}

void MainWindow_WillBeDestroyed() {
  SaveMainWindowSize();
}

constexpr UnitSpec kUnits[] = {
    {.kind = Kind::Window,
     .name = "MainWindow",
     .left = 50,
     .top = 50,
     .width = 1022,
     .height = 546,
     .text = "星幕汇播V1.65 "},
    {.kind = Kind::HtmlViewer,
     .name = "超文本浏览框_视频",
     .left = 5,
     .top = 4,
     .width = 1003,
     .height = 503,
     .url = sites::kSite1,
     .font_size = 1,
     .offline = true,
     .silent = true},
};

constexpr Binding kBindings[] = {
    {0, kCreated, MainWindow_Created},
    {0, kSizeChanged, MainWindow_SizeChanged},
    {0, kPositionChanged, MainWindow_PositionChanged},
    {0, kWillBeDestroyed, MainWindow_WillBeDestroyed},
};

}  // namespace

const WindowSpec kMainWindowSpec = {
    .style = {.border = Border::Sizable,
              .control_box = true,
              .min_button = true,
              .max_button = false,
              .movable = true,
              .esc_closes = true,
              .enter_moves_focus = false,
              .show_in_taskbar = true,
              .topmost = false,
              .start = StartPosition::Centered},
    .units = kUnits,
    .bindings = kBindings,
};

}  // namespace xm
