#include "windows/notice_window.h"

#include "app/program.h"
#include "windows/tool_menu_window.h"
#include "windows/windows.h"

namespace xm {

void RunStartupGate() {
  WriteProperty(MainWindow, kSelf, Prop::visible, 0);
  LoadWindow(NoticeWindow, std::nullopt, true);
}

namespace {

void 选择框_同意_Clicked() {
  if (ReadProperty(NoticeWindow, 选择框_同意, Prop::checked) == 0) return;
  RequestDestroy(NoticeWindow);
  WriteProperty(MainWindow, kSelf, Prop::visible, 1);
}

// Closing the notice in any way ends the program at once; nothing is saved.
bool NoticeWindow_CanBeClosed() {
  EndProgram(0);
}

constexpr Rgb kRed{255, 0, 0};
constexpr const char* kSongFaces = "宋体, SimSun, Noto Serif CJK SC, serif";
constexpr FontSpec kContentFont{.face = kSongFaces, .height = -16};
constexpr FontSpec kHeadingFont{.face = kSongFaces, .height = -35};

constexpr UnitSpec kUnits[] = {
    {.kind = Kind::Window,
     .name = "NoticeWindow",
     .left = 50,
     .top = 50,
     .width = 380,
     .height = 237,
     .text = ""},
    {.kind = Kind::CheckBox,
     .name = "选择框1",
     .left = 195,
     .top = 176,
     .width = 120,
     .height = 24,
     .text = "开启工具菜单窗口"},
    {.kind = Kind::CheckBox,
     .name = "选择框_同意",
     .left = 16,
     .top = 176,
     .width = 176,
     .height = 24,
     .text = "我已经接受上边的注意事项。"},
    {.kind = Kind::TransLabel,
     .name = "透明标签_内容",
     .left = 3,
     .top = 47,
     .width = 373,
     .height = 121,
     .text = "①此软件只是调用网页操作，不参与法律纠纷、\r\n\r\n"
             "②此软件无病毒，如果不能打开请检测杀毒是否被杀\r\n\r\n"
             "③如果此软件违反了你的利益请联系作者删除、\r\n\r\n"
             "④请不要做违法事情\r\n\r\n\r\n",
     .tab_stop = false,
     .align = Align::Left,
     .color = &kRed,
     .font = &kContentFont},
    {.kind = Kind::TransLabel,
     .name = "透明标签_注意事项",
     .left = 88,
     .top = 8,
     .width = 200,
     .height = 40,
     .text = "注意事项",
     .tab_stop = false,
     .align = Align::Center,
     .color = &kRed,
     .font = &kHeadingFont},
};

constexpr Binding kBindings[] = {
    {0, kCanBeClosed, NoticeWindow_CanBeClosed},
    {选择框1.index, kClicked, 选择框1_Clicked},
    {选择框_同意.index, kClicked, 选择框_同意_Clicked},
};

}  // namespace

// A small fixed window: no caption text, close box only.
const WindowSpec kNoticeWindowSpec = {
    .style = kSmallFixedWindowStyle,
    .units = kUnits,
    .bindings = kBindings,
};

}  // namespace xm
