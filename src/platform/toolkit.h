#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/backend.h"
#include "platform/window_spec.h"

namespace xm {

// A declared window, by its place in the list the toolkit was prepared with.
struct WindowId {
  int index;
};

// A unit of a window: 0 is the window itself, then its controls in description order.
struct UnitId {
  int index;
};
inline constexpr UnitId kSelf{0};

// Properties by their numbers. 0 to 7 belong to every unit, 8 and up to one kind.
enum class Prop { left = 0, top = 1, width = 2, height = 3, visible = 5, checked = 18 };
enum class TextProp { content = 8, url = 11 };

inline constexpr int kMaxPosition = 32627;
inline constexpr int kMaxSize = 32627;

// What the toolkit needs from the program around it.
class ProgramHooks {
 public:
  // A program window is gone for good.
  virtual void WindowGone() = 0;
  // A misuse of the toolkit: does not return.
  [[noreturn]] virtual void FatalError(std::string_view what) = 0;
  // Whether the quit message has been posted: nested loops stop then too.
  virtual bool QuitPosted() const = 0;

 protected:
  ~ProgramHooks() = default;
};

class Toolkit {
 public:
  // Prepares the descriptions: every window's live settings come from its stored ones.
  Toolkit(Backend& backend, std::span<const WindowSpec* const> windows, ProgramHooks& hooks);
  ~Toolkit();
  Toolkit(const Toolkit&) = delete;
  Toolkit& operator=(const Toolkit&) = delete;

  std::int32_t ReadProperty(WindowId window, UnitId unit, Prop prop);
  std::string ReadProperty(WindowId window, UnitId unit, TextProp prop);
  void WriteProperty(WindowId window, UnitId unit, Prop prop, std::int32_t value);
  void WriteProperty(WindowId window, UnitId unit, TextProp prop, std::string_view value);
  void BrowserCommand(WindowId window, UnitId unit, int command);

  bool LoadWindow(WindowId window, std::optional<WindowId> owner, bool modal);
  void RequestDestroy(WindowId window, bool at_once = false);
  int ShowMessageBox(std::string_view text, int flags, std::optional<std::string_view> title,
                     std::optional<WindowId> owner);

  bool IsLoaded(WindowId window) const;
  bool AnyWindowLoaded() const;

  // From here on no handler runs again (a fatal error, or the program is ending).
  void CutOffDispatch();
  // Releases every loaded window without raising anything, then the backend's own resources.
  void ShutDown();

  // Asks every loaded window whether the session may end (SIGTERM, SIGHUP); false if one refused.
  bool QueryEndSession();

 private:
  struct Loaded;
  struct Window;
  class Events;

  Window& Declared(WindowId id);
  Window* Find(WindowId id);
  std::optional<bool> Raise(Window& w, int unit, int event);
  bool StillLoaded(const Window& w, std::uint64_t serial) const;
  void ApplyRect(Window& w, int unit, Rect rect);
  void FirstShow(Window& w);
  void RunModalLoop(Window& w);
  void ProcessDestroy(Window& w);
  void DestroyLoaded(Window& w);
  void ReenableDisabled(Window& w);
  void CloseRequested(Window& w);
  void SystemGeometry(Window& w, Rect outer);
  void SystemMinimized(Window& w, bool minimized);
  std::optional<int> UnitIndex(const Window& w, UnitId unit) const;

  Backend& backend_;
  ProgramHooks& hooks_;
  std::vector<std::unique_ptr<Window>> windows_;
  int suppress_ = 0;
  bool cut_off_ = false;
  Window* modal_current_ = nullptr;
  std::uint64_t next_serial_ = 1;
};

// The toolkit the program's handlers talk to; set while the program runs.
Toolkit& CurrentToolkit();
void SetCurrentToolkit(Toolkit* toolkit);

// The operations handlers use, on the current toolkit.
std::int32_t ReadProperty(WindowId window, UnitId unit, Prop prop);
std::string ReadProperty(WindowId window, UnitId unit, TextProp prop);
void WriteProperty(WindowId window, UnitId unit, Prop prop, std::int32_t value);
void WriteProperty(WindowId window, UnitId unit, TextProp prop, std::string_view value);
void BrowserCommand(WindowId window, UnitId unit, int command);
bool LoadWindow(WindowId window, std::optional<WindowId> owner, bool modal);
void RequestDestroy(WindowId window, bool at_once = false);
int ShowMessageBox(std::string_view text, int flags, std::optional<std::string_view> title,
                   std::optional<WindowId> owner);
bool IsLoaded(WindowId window);

}  // namespace xm
