#pragma once

#include <span>

#include "platform/toolkit.h"
#include "platform/window_spec.h"

// The program's three windows, in the order the toolkit is prepared with them.
namespace xm {

inline constexpr WindowId MainWindow{0};
inline constexpr WindowId NoticeWindow{1};
inline constexpr WindowId ToolMenuWindow{2};

// The notice and the tool window: a small fixed frame with a close box only, centred when loaded,
// closed by Esc.
inline constexpr WindowStyle kSmallFixedWindowStyle = {.border = Border::Fixed,
                                                       .control_box = true,
                                                       .min_button = false,
                                                       .max_button = false,
                                                       .movable = true,
                                                       .esc_closes = true,
                                                       .enter_moves_focus = false,
                                                       .show_in_taskbar = true,
                                                       .topmost = false,
                                                       .start = StartPosition::Centered};

extern const WindowSpec kMainWindowSpec;
extern const WindowSpec kNoticeWindowSpec;
extern const WindowSpec kToolMenuWindowSpec;

std::span<const WindowSpec* const> ProgramWindows();

}  // namespace xm
