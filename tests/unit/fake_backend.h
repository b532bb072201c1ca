#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/backend.h"
#include "platform/window_spec.h"

// A backend without a display for the unit tests. It records what the toolkit asks of it, runs
// posted tasks and scripted user actions from RunOnce, and lets a test report what the system or
// the user does to a window.
namespace xm {

inline std::ostream& operator<<(std::ostream& out, const Rect& r) {
  return out << "{" << r.left << ", " << r.top << ", " << r.width << ", " << r.height << "}";
}

class FakeBackend;

// What the fake knows of one system window. Kept after the window is destroyed, so a test can
// still look at what happened to it.
struct FakeWindow {
  FakeBackend* backend = nullptr;
  std::string name;
  const WindowSpec* desc = nullptr;
  FakeWindow* owner = nullptr;  // the owning program window, if any
  bool taskbar = false;
  WindowEvents* events = nullptr;  // valid while alive
  bool alive = true;

  Rect created_outer;
  Rect outer;                        // the last rectangle asked for
  std::vector<Rect> outer_requests;  // every SetOuterRect, in order
  bool shown = false;
  bool minimized = false;
  bool enabled = true;
  std::vector<std::string> calls;  // "show", "show-minimized", "hide", "restore", "activate", ...

  // Per unit: the settings the window was created with, then the control's own state (rect,
  // text = edit content, url, checked, visible).
  std::vector<UnitState> units;
  std::vector<std::pair<int, std::string>> url_writes;
  std::vector<std::pair<int, int>> browser_commands;

  // The user's acts, reported to the toolkit the way a window system reports them. A hidden,
  // disabled or destroyed window takes no clicks, close requests or keys.
  void UserClick(int unit);
  void UserClose();
  void UserEscape();
  void UserMinimize(bool minimized);
  void UserSetGeometry(Rect outer);

  void RequireUsable(const char* what) const {
    if (!alive || !shown || !enabled) {
      throw std::logic_error(
          "FakeWindow " + name + ": the user cannot " + what +
          (alive ? (shown ? " a disabled window" : " a hidden window") : " a destroyed window"));
    }
  }
};

struct MessageBoxCall {
  std::string text;
  int flags = 0;
  std::optional<std::string> title;
  std::map<std::string, bool> enabled;  // every live window's enabled state while the box is up
};

class FakeNativeWindow final : public NativeWindow {
 public:
  explicit FakeNativeWindow(FakeWindow& state) : s_(state) {}
  ~FakeNativeWindow() override;

  void SetOuterRect(Rect outer) override {
    s_.outer = outer;
    s_.outer_requests.push_back(outer);
    Note("rect " + std::to_string(outer.left) + "," + std::to_string(outer.top) + "," +
         std::to_string(outer.width) + "," + std::to_string(outer.height));
  }
  void SetControlRect(int unit, Rect rect) override {
    UnitState& u = Unit(unit);
    u.left = rect.left;
    u.top = rect.top;
    u.width = rect.width;
    u.height = rect.height;
  }
  void Show(ShowMode mode) override {
    s_.shown = true;
    s_.minimized = mode == ShowMode::Minimized;
    Note(mode == ShowMode::Normal      ? "show"
         : mode == ShowMode::Minimized ? "show-minimized"
                                       : "show-maximized");
  }
  void Hide() override {
    s_.shown = false;
    Note("hide");
  }
  void SetControlVisible(int unit, bool visible) override { Unit(unit).visible = visible; }
  void SetEnabled(bool enabled) override {
    s_.enabled = enabled;
    Note(enabled ? "enable" : "disable");
  }
  bool IsMinimized() const override { return s_.minimized; }
  void Restore() override {
    s_.minimized = false;
    Note("restore");
  }
  void Activate() override { Note("activate"); }
  std::string ReadContent(int unit) override { return Unit(unit).text; }
  void WriteContent(int unit, std::string_view cp936) override { Unit(unit).text = cp936; }
  std::string ReadUrl(int unit) override { return Unit(unit).url; }
  void WriteUrl(int unit, std::string_view cp936) override {
    Unit(unit).url = cp936;
    s_.url_writes.emplace_back(unit, std::string(cp936));
  }
  bool ReadChecked(int unit) override { return Unit(unit).checked; }
  // Like a GTK check button: a change of the tick reports a click.
  void WriteChecked(int unit, bool checked) override {
    if (Unit(unit).checked == checked) return;
    Unit(unit).checked = checked;
    s_.events->SystemClicked(unit);
  }
  void BrowserCommand(int unit, int command) override {
    s_.browser_commands.emplace_back(unit, command);
  }

 private:
  UnitState& Unit(int unit) {
    if (unit < 0 || unit >= static_cast<int>(s_.units.size())) {
      throw std::out_of_range("FakeNativeWindow " + s_.name + ": no unit " + std::to_string(unit));
    }
    return s_.units[static_cast<size_t>(unit)];
  }
  void Note(const std::string& what);

  FakeWindow& s_;
  friend class FakeBackend;
};

class FakeBackend final : public Backend {
 public:
  // ---- What a test sets ----
  Size screen{1920, 1080};
  std::set<std::string> fail_create;           // window names whose creation fails
  std::function<void(FakeWindow&)> on_create;  // runs inside CreateWindow, events usable
  int box_answer = 0;                          // what every message box answers
  std::function<void(const MessageBoxCall&)> on_message_box;
  std::function<void()> on_shut_down;
  std::vector<std::string>* journal = nullptr;  // when set, gets "~<window> <call>" lines

  // ---- What the fake keeps ----
  std::vector<std::unique_ptr<FakeWindow>> windows;  // every window created, in order
  std::deque<std::function<void()>> posted;
  std::deque<std::function<void()>> actions;  // the user's acts, run when nothing is posted
  std::vector<MessageBoxCall> boxes;
  int wakes = 0;
  bool shut_down = false;

  // Queues a user action.
  void Then(std::function<void()> action) { actions.push_back(std::move(action)); }

  // The newest window of that name, whether alive or not; null if none was created.
  FakeWindow* Last(std::string_view name) {
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
      if ((*it)->name == name) return it->get();
    }
    return nullptr;
  }
  // The live window of that name; throws if there is none.
  FakeWindow& Live(std::string_view name) {
    FakeWindow* w = Last(name);
    if (w == nullptr || !w->alive) {
      throw std::logic_error("FakeBackend: no live window " + std::string(name));
    }
    return *w;
  }
  bool IsAlive(std::string_view name) {
    FakeWindow* w = Last(name);
    return w != nullptr && w->alive;
  }
  int CountCreated(std::string_view name) const {
    int n = 0;
    for (const auto& w : windows) n += w->name == name ? 1 : 0;
    return n;
  }
  // Runs every posted task, as the system does once the current event has been handled.
  void RunPosted() {
    while (!posted.empty()) RunNextPosted();
  }

  void Note(const FakeWindow& w, const std::string& what) {
    if (journal != nullptr) journal->push_back("~" + w.name + " " + what);
  }

  // ---- Backend ----
  Size PrimaryScreenSize() override { return screen; }

  std::unique_ptr<NativeWindow> CreateWindow(const WindowSpec& desc,
                                             std::span<const UnitState> units, Rect outer,
                                             NativeWindow* owner, bool taskbar,
                                             WindowEvents& events) override {
    std::string name = desc.units.empty() ? "" : desc.units[0].name;
    if (fail_create.contains(name)) return nullptr;
    FakeWindow& w = *windows.emplace_back(std::make_unique<FakeWindow>());
    w.backend = this;
    w.name = name;
    w.desc = &desc;
    w.owner = owner != nullptr ? &static_cast<FakeNativeWindow*>(owner)->s_ : nullptr;
    w.taskbar = taskbar;
    w.events = &events;
    w.created_outer = w.outer = outer;
    w.units.assign(units.begin(), units.end());
    w.enabled = units.empty() || !units[0].disabled;
    w.calls.push_back("create");
    Note(w, "create");
    auto native = std::make_unique<FakeNativeWindow>(w);
    if (on_create) on_create(w);
    return native;
  }

  void Post(std::function<void()> task) override { posted.push_back(std::move(task)); }

  // One event at a time: a posted task first, else the next user action. With nothing left the
  // program would wait for ever, which in a test is a fault.
  void RunOnce() override {
    if (!posted.empty()) {
      RunNextPosted();
    } else if (!actions.empty()) {
      std::function<void()> action = std::move(actions.front());
      actions.pop_front();
      action();
    } else {
      throw std::logic_error("FakeBackend: RunOnce with nothing posted and no user action left");
    }
  }

  void Wake() override { ++wakes; }

  int MessageBox(std::string_view text, int flags, std::optional<std::string_view> title) override {
    MessageBoxCall& call = boxes.emplace_back();
    call.text = text;
    call.flags = flags;
    if (title) call.title = std::string(*title);
    for (const auto& w : windows) {
      if (w->alive) call.enabled[w->name] = w->enabled;
    }
    if (on_message_box) on_message_box(call);
    return box_answer;
  }

  void ShutDown() override {
    shut_down = true;
    if (on_shut_down) on_shut_down();
  }

 private:
  void RunNextPosted() {
    std::function<void()> task = std::move(posted.front());
    posted.pop_front();
    task();
  }
};

inline FakeNativeWindow::~FakeNativeWindow() {
  s_.alive = false;
  s_.shown = false;
  s_.events = nullptr;
  Note("destroy");
}

inline void FakeNativeWindow::Note(const std::string& what) {
  s_.calls.push_back(what);
  s_.backend->Note(s_, what);
}

inline void FakeWindow::UserClick(int unit) {
  RequireUsable("click in");
  if (desc->units[static_cast<size_t>(unit)].kind == Kind::CheckBox) {
    units[static_cast<size_t>(unit)].checked = !units[static_cast<size_t>(unit)].checked;
  }
  events->SystemClicked(unit);
}

inline void FakeWindow::UserClose() {
  RequireUsable("close");
  events->SystemCloseRequested();
}

inline void FakeWindow::UserEscape() {
  RequireUsable("press Esc in");
  events->SystemEscape();
}

inline void FakeWindow::UserMinimize(bool minimize) {
  if (!alive) throw std::logic_error("FakeWindow " + name + ": minimized after destroy");
  minimized = minimize;
  events->SystemMinimized(minimize);
}

inline void FakeWindow::UserSetGeometry(Rect rect) {
  if (!alive) throw std::logic_error("FakeWindow " + name + ": moved after destroy");
  outer = rect;
  events->SystemGeometry(rect);
}

}  // namespace xm
