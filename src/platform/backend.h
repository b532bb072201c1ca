#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/window_spec.h"

// What the toolkit's core needs of a windowing system. The core owns every rule (property
// clamps, events, modal loading, deferred destroy); a backend only creates, moves and shows
// system windows and reports what the system or the user did to them.
namespace xm {

struct Rect {
  int left = 0, top = 0, width = 0, height = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Size {
  int width = 0, height = 0;
};

// The live settings of one unit, as the toolkit keeps them. Texts are code page 936.
struct UnitState {
  int left = 0, top = 0, width = 0, height = 0;
  bool visible = true;
  bool disabled = false;
  std::string text;  // caption, label or button text, edit content
  std::string url;   // HtmlViewer
  bool checked = false;
  int font_size = 2;
  bool offline = false;
  bool silent = false;
};

// Reports from the system about one loaded window. The toolkit implements it; a backend calls
// it from its event handlers and must not touch the window afterwards in the same callback, since
// the report may have destroyed it.
class WindowEvents {
 public:
  // The outer rectangle as the window manager now has it (the user moved or resized the window,
  // or the manager answered or adjusted a request).
  virtual void SystemGeometry(Rect outer) = 0;
  virtual void SystemMinimized(bool minimized) = 0;
  virtual void SystemCloseRequested() = 0;  // close box, Alt+F4, the window menu
  virtual void SystemEscape() = 0;          // Esc that no control took for itself
  virtual void SystemClicked(int unit) = 0;

 protected:
  ~WindowEvents() = default;
};

enum class ShowMode { Normal, Minimized, Maximized };

// A live system window with its controls. Destroying the object destroys the system window at
// once, without reporting anything.
class NativeWindow {
 public:
  virtual ~NativeWindow() = default;
  virtual void SetOuterRect(Rect outer) = 0;  // a request; the toolkit already counts it as done
  virtual void SetControlRect(int unit, Rect rect) = 0;
  virtual void Show(ShowMode mode) = 0;
  virtual void Hide() = 0;
  virtual void SetControlVisible(int unit, bool visible) = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool IsMinimized() const = 0;
  virtual void Restore() = 0;
  virtual void Activate() = 0;
  // Kind-specific state, read from and written to the control itself.
  virtual std::string ReadContent(int unit) = 0;  // EditBox content
  virtual void WriteContent(int unit, std::string_view cp936) = 0;
  virtual std::string ReadUrl(int unit) = 0;
  virtual void WriteUrl(int unit, std::string_view cp936) = 0;  // navigates at once
  virtual bool ReadChecked(int unit) = 0;
  virtual void WriteChecked(int unit, bool checked) = 0;
  virtual void BrowserCommand(int unit, int command) = 0;
};

class Backend {
 public:
  virtual ~Backend() = default;
  virtual Size PrimaryScreenSize() = 0;
  // Creates a hidden system window at `outer` with all its controls, or returns null. `owner` is
  // the owning window, or null for a window without one; `taskbar` says whether it gets a
  // taskbar entry.
  virtual std::unique_ptr<NativeWindow> CreateWindow(const WindowSpec& desc,
                                                     std::span<const UnitState> units, Rect outer,
                                                     NativeWindow* owner, bool taskbar,
                                                     WindowEvents& events) = 0;
  // Runs `task` once the current event has been handled (a posted message).
  virtual void Post(std::function<void()> task) = 0;
  // Waits for and handles the next batch of events.
  virtual void RunOnce() = 0;
  // Makes a waiting RunOnce return.
  virtual void Wake() = 0;
  // The system message box; blocks until closed. Texts are code page 936. Returns the pressed
  // button as the toolkit numbers them (OK 0, Cancel 1, Abort 2, Retry 3, Ignore 4, Yes 5, No 6).
  virtual int MessageBox(std::string_view text, int flags,
                         std::optional<std::string_view> title) = 0;
  // Releases what the backend holds for the whole program.
  virtual void ShutDown() = 0;
};

}  // namespace xm
