#pragma once

#include "platform/toolkit.h"

namespace xm {

// Controls of NoticeWindow.
inline constexpr UnitId 选择框1{1};
inline constexpr UnitId 选择框_同意{2};
inline constexpr UnitId 透明标签_内容{3};
inline constexpr UnitId 透明标签_注意事项{4};

// Hides MainWindow and holds its creation inside the modal notice until the user accepts it
// (or closes the notice, which ends the program).
void RunStartupGate();

}  // namespace xm
