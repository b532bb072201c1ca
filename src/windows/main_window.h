#pragma once

#include "platform/toolkit.h"

namespace xm {

// Controls of MainWindow.
inline constexpr UnitId 超文本浏览框_视频{1};

// Refresh command of a browser box.
inline constexpr int kBrowserRefresh = 4;

}  // namespace xm
