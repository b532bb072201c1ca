#pragma once

#include <cstdint>
#include <span>
#include <variant>

// Window descriptions: the stored settings of a window and its controls, written as constant
// tables by each window's own file and read by the toolkit when it prepares and loads windows.
namespace xm {

enum class Kind { Window, EditBox, Label, Button, CheckBox, HtmlViewer, TransLabel };

enum class Border {
  None = 0,
  Sizable = 1,
  Fixed = 2,
  ToolSizable = 3,
  ToolFixed = 4,
  SunkenSizable = 5,
  SunkenFixed = 6
};

enum class StartPosition { Stored = 0, Centered = 1, Minimized = 2, Maximized = 3 };

enum class Align { Left, Center };

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
};

// A font as a Windows LOGFONT describes it: a negative height is the character (em) height in
// pixels; weight 400 is normal.
struct FontSpec {
  const char* face = "";
  int height = 0;
  int weight = 400;
  bool italic = false;
  bool underline = false;
  bool strike_out = false;
};

// Settings that only a top-level window has.
struct WindowStyle {
  Border border = Border::Sizable;
  bool control_box = true;
  bool min_button = true;
  bool max_button = true;
  bool movable = true;
  bool esc_closes = false;
  bool enter_moves_focus = false;
  bool show_in_taskbar = true;
  bool topmost = false;
  StartPosition start = StartPosition::Stored;
};

// One unit: the window itself (unit 0) or one of its controls. Texts are UTF-8 here; the toolkit
// keeps them in code page 936 once the descriptions are prepared.
struct UnitSpec {
  Kind kind = Kind::Window;
  const char* name = "";
  int left = 0, top = 0, width = 0, height = 0;
  const char* text = "";  // caption, label or button text, initial edit content
  bool visible = true;
  bool enabled = true;
  bool tab_stop = true;
  Align align = Align::Left;
  const Rgb* color = nullptr;      // text colour; null keeps the system's
  const FontSpec* font = nullptr;  // null is the default GUI font
  // HtmlViewer only.
  const char* url = "";
  int font_size = 2;  // 0 (smallest) to 4 (largest)
  bool offline = false;
  bool silent = false;
};

// Window events by number, as the descriptions bind them; controls raise only kClicked.
inline constexpr int kCreated = 0;
inline constexpr int kCanBeClosed = 1;
inline constexpr int kWillBeDestroyed = 2;
inline constexpr int kPositionChanged = 3;
inline constexpr int kSizeChanged = 4;
inline constexpr int kClicked = 0;

// Handlers take nothing; a CanBeClosed handler may answer whether the window may close.
using Handler = std::variant<void (*)(), bool (*)()>;

struct Binding {
  int unit;
  int event;
  Handler handler;
};

struct WindowSpec {
  WindowStyle style;
  std::span<const UnitSpec> units;  // units[0] is the window itself
  std::span<const Binding> bindings;
};

}  // namespace xm
