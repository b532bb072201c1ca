#pragma once

#include "platform/toolkit.h"

namespace xm {

// Controls of ToolMenuWindow.
inline constexpr UnitId 按钮_刷新{1};
inline constexpr UnitId 按钮_院线一{2};
inline constexpr UnitId 按钮_院线二{3};
inline constexpr UnitId 按钮_广告院线{4};
inline constexpr UnitId 按钮_R6院线{5};
inline constexpr UnitId 按钮_m3院线{6};
inline constexpr UnitId 按钮_提示{7};
inline constexpr UnitId 标签_网址{8};
inline constexpr UnitId 编辑框_爱奇艺播放{9};
inline constexpr UnitId 按钮_爱奇艺优酷添加{10};
inline constexpr UnitId 标签1{11};
inline constexpr UnitId 按钮_爱奇艺优酷添加1{12};

// Puts ToolMenuWindow against MainWindow's right edge, level with its top.
void DockToolMenuWindow();

// NoticeWindow's "开启工具菜单窗口" box opens and closes the tool window.
void 选择框1_Clicked();

// The relay player page; the edit box's text is appended after the "?".
std::string RelayPlayerPrefix();

// The text of the tips box, in code page 936.
std::string TipsText();

}  // namespace xm
