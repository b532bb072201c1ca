#include "windows/tool_menu_window.h"

#include "app/sites.h"
#include "app/truncate_to_int.h"
#include "platform/encoding.h"
#include "windows/concat_text.h"
#include "windows/main_window.h"
#include "windows/notice_window.h"
#include "windows/windows.h"

namespace xm {

std::string RelayPlayerPrefix() {
  return Utf8ToCp936(std::string(sites::kRelaySite) + "/ckplayer/play.html?");
}

std::string TipsText() {
  return Utf8ToCp936(std::string("打开软件后会有个别广告弹出，这个不用担心，关闭即可。\r\n"
                                 "每个院线里面都会弹出广告网页，这个院线里面的广告，关闭即可。\r\n"
                                 "有的时候点开院线后没法看，等广告过去就能看了，或者刷新一下。\r\n"
                                 "此软件是调用的网页地址，本软件用 C++ 和 GTK "
                                 "编写，没有病毒，如果认为有病毒可以卸载此软件，"
                                 "或者把你反汇编的病毒证据截图给我。谢谢合作。\r\n"
                                 "可以联系我QQ：") +
                     sites::kContact);
}

void DockToolMenuWindow() {
  WriteProperty(ToolMenuWindow, kSelf, Prop::left,
                TruncateToInt(double(ReadProperty(MainWindow, kSelf, Prop::left)) +
                              double(ReadProperty(MainWindow, kSelf, Prop::width))));
  WriteProperty(ToolMenuWindow, kSelf, Prop::top, ReadProperty(MainWindow, kSelf, Prop::top));
}

void 选择框1_Clicked() {
  if (ReadProperty(NoticeWindow, 选择框1, Prop::checked) != 0) {
    LoadWindow(ToolMenuWindow, MainWindow, false);
    WriteProperty(ToolMenuWindow, kSelf, Prop::left,
                  TruncateToInt(double(ReadProperty(NoticeWindow, kSelf, Prop::left)) +
                                double(ReadProperty(NoticeWindow, kSelf, Prop::width))));
    WriteProperty(ToolMenuWindow, kSelf, Prop::top, ReadProperty(NoticeWindow, kSelf, Prop::top));
    return;
  }
  // The user may have closed the tool window already; then there is nothing left to close.
  if (IsLoaded(ToolMenuWindow)) RequestDestroy(ToolMenuWindow);
}

namespace {

void OpenSite(const char* address) {
  WriteProperty(MainWindow, 超文本浏览框_视频, TextProp::url, Utf8ToCp936(address));
}

void 按钮_刷新_Clicked() {
  BrowserCommand(MainWindow, 超文本浏览框_视频, kBrowserRefresh);
}
void 按钮_院线一_Clicked() {
  OpenSite(sites::kSite1);
}
void 按钮_院线二_Clicked() {
  OpenSite(sites::kSite2);
}
void 按钮_广告院线_Clicked() {
  OpenSite(sites::kSite3);
}
void 按钮_R6院线_Clicked() {
  OpenSite(sites::kSite4);
}
void 按钮_m3院线_Clicked() {
  OpenSite(sites::kSite5);
}

// The edit box's text goes after the relay page's "?" exactly as typed.
void 按钮_爱奇艺优酷添加_Clicked() {
  std::string typed = ReadProperty(ToolMenuWindow, 编辑框_爱奇艺播放, TextProp::content);
  std::string prefix = RelayPlayerPrefix();
  std::string address = ConcatText({prefix, typed});
  WriteProperty(MainWindow, 超文本浏览框_视频, TextProp::url, address);
}

void 按钮_爱奇艺优酷添加1_Clicked() {
  WriteProperty(ToolMenuWindow, 编辑框_爱奇艺播放, TextProp::content, "");
}

void 按钮_提示_Clicked() {
  constexpr int kInformationOk = 64;
  ShowMessageBox(TipsText(), kInformationOk, Utf8ToCp936("温馨提示"), std::nullopt);
}

constexpr UnitSpec Button(const char* name, int left, int top, int width, int height,
                          const char* text) {
  return {.kind = Kind::Button,
          .name = name,
          .left = left,
          .top = top,
          .width = width,
          .height = height,
          .text = text,
          .align = Align::Center};
}

constexpr UnitSpec Label(const char* name, int left, int top, int width, int height,
                         const char* text) {
  return {.kind = Kind::Label,
          .name = name,
          .left = left,
          .top = top,
          .width = width,
          .height = height,
          .text = text,
          .tab_stop = false};
}

constexpr UnitSpec kUnits[] = {
    {.kind = Kind::Window,
     .name = "ToolMenuWindow",
     .left = 50,
     .top = 50,
     .width = 344,
     .height = 242,
     .text = ""},
    Button("按钮_刷新", 0, 2, 72, 24, "刷新"),
    Button("按钮_院线一", 0, 32, 72, 24, "7351院线一"),
    Button("按钮_院线二", 0, 62, 72, 24, "7351院线二"),
    Button("按钮_广告院线", 0, 92, 72, 24, "9163院线"),
    Button("按钮_R6院线", 0, 122, 72, 24, "9517院线"),
    Button("按钮_m3院线", 0, 152, 72, 24, "6742院线"),
    Button("按钮_提示", 0, 183, 72, 24, "提示"),
    Label("标签_网址", 85, 16, 203, 16, "  复制网址到下边可以去广告\r\n"),
    {.kind = Kind::EditBox,
     .name = "编辑框_爱奇艺播放",
     .left = 79,
     .top = 43,
     .width = 248,
     .height = 24,
     .text = ""},
    Button("按钮_爱奇艺优酷添加", 80, 72, 248, 24, "添加"),
    Label("标签1", 88, 104, 224, 36, "优酷,爱奇艺等等把视频连接放到里面添加即可"),
    Button("按钮_爱奇艺优酷添加1", 84, 159, 248, 49, "清空连接内容"),
};

constexpr Binding kBindings[] = {
    {按钮_刷新.index, kClicked, 按钮_刷新_Clicked},
    {按钮_院线一.index, kClicked, 按钮_院线一_Clicked},
    {按钮_院线二.index, kClicked, 按钮_院线二_Clicked},
    {按钮_广告院线.index, kClicked, 按钮_广告院线_Clicked},
    {按钮_R6院线.index, kClicked, 按钮_R6院线_Clicked},
    {按钮_m3院线.index, kClicked, 按钮_m3院线_Clicked},
    {按钮_提示.index, kClicked, 按钮_提示_Clicked},
    {按钮_爱奇艺优酷添加.index, kClicked, 按钮_爱奇艺优酷添加_Clicked},
    {按钮_爱奇艺优酷添加1.index, kClicked, 按钮_爱奇艺优酷添加1_Clicked},
};

}  // namespace

// Same frame as the notice: fixed, close box only. Loaded with MainWindow as its owner.
const WindowSpec kToolMenuWindowSpec = {
    .style = kSmallFixedWindowStyle,
    .units = kUnits,
    .bindings = kBindings,
};

}  // namespace xm
