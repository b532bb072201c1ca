#include "platform/toolkit.h"

#include <algorithm>
#include <string>
#include <utility>

#include "platform/encoding.h"

namespace xm {

// What a window carries while its system window exists.
struct Toolkit::Loaded {
  std::uint64_t serial = 0;
  std::unique_ptr<NativeWindow> native;
  Window* owner = nullptr;  // the owning program window, if any
  bool has_parent = false;  // owned by a window or by the hidden owner window
  bool modal = false;
  bool destroy_pending = false;
  bool first_show_pending = true;
  bool shown = false;                              // the system window is visible
  bool hidden_with_owner = false;                  // hidden while its owner is minimized
  std::vector<Rect> rects;                         // the system's rectangle of every unit
  std::vector<std::pair<Window*, bool>> disabled;  // windows the modal load disabled
};

// Forwards what the system reports about one window to the toolkit.
class Toolkit::Events final : public WindowEvents {
 public:
  Events(Toolkit& toolkit, Window& window) : toolkit_(toolkit), window_(window) {}
  void SystemGeometry(Rect outer) override;
  void SystemMinimized(bool minimized) override;
  void SystemCloseRequested() override;
  void SystemEscape() override;
  void SystemClicked(int unit) override;

 private:
  Toolkit& toolkit_;
  Window& window_;
};

struct Toolkit::Window {
  Window(Toolkit& toolkit, const WindowSpec& s) : desc(s), events(toolkit, *this) {}
  const WindowSpec& desc;
  std::vector<UnitState> units;      // live settings
  std::vector<UnitState> load_copy;  // taken at each load, put back when the window is gone
  std::optional<Loaded> loaded;
  Events events;
};

namespace {

int Clamp(std::int32_t value, int low, int high) {
  return std::clamp<std::int32_t>(value, low, high);
}

UnitState StateFromSpec(const UnitSpec& desc) {
  UnitState s;
  s.left = desc.left;
  s.top = desc.top;
  s.width = desc.width;
  s.height = desc.height;
  s.visible = desc.visible;
  s.disabled = !desc.enabled;
  s.text = Utf8ToCp936(desc.text);
  s.url = Utf8ToCp936(desc.url);
  s.font_size = std::clamp(desc.font_size, 0, 4);
  s.offline = desc.offline;
  s.silent = desc.silent;
  return s;
}

Toolkit* g_current = nullptr;

}  // namespace

Toolkit::Toolkit(Backend& backend, std::span<const WindowSpec* const> windows, ProgramHooks& hooks)
    : backend_(backend), hooks_(hooks) {
  for (const WindowSpec* desc : windows) {
    auto w = std::make_unique<Window>(*this, *desc);
    for (const UnitSpec& unit : desc->units) w->units.push_back(StateFromSpec(unit));
    windows_.push_back(std::move(w));
  }
}

Toolkit::~Toolkit() = default;

// ---- Lookup and events -------------------------------------------------------------------------

Toolkit::Window* Toolkit::Find(WindowId id) {
  if (id.index < 0 || id.index >= static_cast<int>(windows_.size())) return nullptr;
  return windows_[static_cast<size_t>(id.index)].get();
}

Toolkit::Window& Toolkit::Declared(WindowId id) {
  Window* w = Find(id);
  if (w == nullptr) hooks_.FatalError("窗口 " + std::to_string(id.index) + " 不是程序声明的窗口");
  return *w;
}

std::optional<int> Toolkit::UnitIndex(const Window& w, UnitId unit) const {
  if (unit.index < 0 || unit.index >= static_cast<int>(w.units.size())) return std::nullopt;
  return unit.index;
}

bool Toolkit::StillLoaded(const Window& w, std::uint64_t serial) const {
  return w.loaded && w.loaded->serial == serial;
}

std::optional<bool> Toolkit::Raise(Window& w, int unit, int event) {
  if (suppress_ > 0 || cut_off_) return std::nullopt;
  for (const Binding& b : w.desc.bindings) {
    if (b.unit != unit || b.event != event) continue;
    if (auto* plain = std::get_if<void (*)()>(&b.handler)) {
      (*plain)();
      return std::nullopt;
    }
    return std::get<bool (*)()>(b.handler)();
  }
  return std::nullopt;
}

bool Toolkit::IsLoaded(WindowId window) const {
  if (window.index < 0 || window.index >= static_cast<int>(windows_.size())) return false;
  return windows_[static_cast<size_t>(window.index)]->loaded.has_value();
}

bool Toolkit::AnyWindowLoaded() const {
  return std::any_of(windows_.begin(), windows_.end(),
                     [](const auto& w) { return w->loaded.has_value(); });
}

// ---- Properties --------------------------------------------------------------------------------

std::int32_t Toolkit::ReadProperty(WindowId window, UnitId unit, Prop prop) {
  Window& w = Declared(window);
  auto u = UnitIndex(w, unit);
  if (!u) return 0;
  const UnitState& live = w.units[static_cast<size_t>(*u)];
  if (prop == Prop::checked) {
    if (!w.loaded) hooks_.FatalError("读取未载入窗口的控件属性 18");
    if (w.desc.units[static_cast<size_t>(*u)].kind != Kind::CheckBox) return 0;
    return w.loaded->native->ReadChecked(*u) ? 1 : 0;
  }
  // A loaded unit is where the system has it; one that is not loaded only has its live settings.
  const Rect r = w.loaded ? w.loaded->rects[static_cast<size_t>(*u)]
                          : Rect{live.left, live.top, live.width, live.height};
  switch (prop) {
    case Prop::left:
      return r.left;
    case Prop::top:
      return r.top;
    case Prop::width:
      return r.width;
    case Prop::height:
      return r.height;
    case Prop::visible:
      if (!w.loaded) return live.visible ? 1 : 0;
      if (*u == 0) return w.loaded->shown ? 1 : 0;
      return (w.loaded->shown && live.visible) ? 1 : 0;
    case Prop::checked:
      break;
  }
  return 0;
}

std::string Toolkit::ReadProperty(WindowId window, UnitId unit, TextProp prop) {
  Window& w = Declared(window);
  if (!w.loaded) {
    hooks_.FatalError("读取未载入窗口的控件属性 " + std::to_string(static_cast<int>(prop)));
  }
  auto u = UnitIndex(w, unit);
  if (!u) return {};
  Kind kind = w.desc.units[static_cast<size_t>(*u)].kind;
  if (prop == TextProp::content && kind == Kind::EditBox) return w.loaded->native->ReadContent(*u);
  if (prop == TextProp::url && kind == Kind::HtmlViewer) return w.loaded->native->ReadUrl(*u);
  return {};
}

void Toolkit::WriteProperty(WindowId window, UnitId unit, Prop prop, std::int32_t value) {
  Window& w = Declared(window);
  auto u = UnitIndex(w, unit);
  if (prop == Prop::checked) {
    if (!w.loaded) hooks_.FatalError("写入未载入窗口的控件属性 18");
    if (!u || w.desc.units[static_cast<size_t>(*u)].kind != Kind::CheckBox) return;
    // Setting the tick makes the control report a click; that is not the user's.
    ++suppress_;
    w.loaded->native->WriteChecked(*u, value != 0);
    --suppress_;
    return;
  }
  if (!u) return;
  UnitState& live = w.units[static_cast<size_t>(*u)];
  switch (prop) {
    case Prop::left:
      value = live.left = Clamp(value, -kMaxPosition, kMaxPosition);
      break;
    case Prop::top:
      value = live.top = Clamp(value, -kMaxPosition, kMaxPosition);
      break;
    case Prop::width:
      value = live.width = Clamp(value, 0, kMaxSize);
      break;
    case Prop::height:
      value = live.height = Clamp(value, 0, kMaxSize);
      break;
    case Prop::visible:
      live.visible = value != 0;
      break;
    case Prop::checked:
      break;
  }
  if (!w.loaded) return;
  Loaded& l = *w.loaded;
  if (prop == Prop::visible) {
    if (*u != 0) {
      l.native->SetControlVisible(*u, live.visible);
    } else if (!live.visible) {
      l.native->Hide();
      l.shown = false;
      l.hidden_with_owner = false;
    } else if (l.first_show_pending) {
      FirstShow(w);
      if (w.loaded && w.loaded->modal) RunModalLoop(w);
    } else {
      l.native->Show(ShowMode::Normal);
      l.shown = true;
    }
    return;
  }
  Rect r = l.rects[static_cast<size_t>(*u)];
  switch (prop) {
    case Prop::left:
      r.left = value;
      break;
    case Prop::top:
      r.top = value;
      break;
    case Prop::width:
      r.width = value;
      break;
    case Prop::height:
      r.height = value;
      break;
    default:
      break;
  }
  ApplyRect(w, *u, r);
}

// Puts a unit at `rect`; for a window, raises the events of what really changed, inside the call.
void Toolkit::ApplyRect(Window& w, int unit, Rect rect) {
  Loaded& l = *w.loaded;
  Rect old = l.rects[static_cast<size_t>(unit)];
  if (old == rect) return;
  l.rects[static_cast<size_t>(unit)] = rect;
  if (unit != 0) {
    l.native->SetControlRect(unit, rect);
    return;
  }
  l.native->SetOuterRect(rect);
  std::uint64_t serial = l.serial;
  if (old.left != rect.left || old.top != rect.top) Raise(w, 0, kPositionChanged);
  if ((old.width != rect.width || old.height != rect.height) && StillLoaded(w, serial)) {
    Raise(w, 0, kSizeChanged);
  }
}

void Toolkit::WriteProperty(WindowId window, UnitId unit, TextProp prop, std::string_view value) {
  Window& w = Declared(window);
  if (!w.loaded) {
    hooks_.FatalError("写入未载入窗口的控件属性 " + std::to_string(static_cast<int>(prop)));
  }
  auto u = UnitIndex(w, unit);
  if (!u) return;
  Kind kind = w.desc.units[static_cast<size_t>(*u)].kind;
  ++suppress_;
  if (prop == TextProp::content && kind == Kind::EditBox) w.loaded->native->WriteContent(*u, value);
  if (prop == TextProp::url && kind == Kind::HtmlViewer) w.loaded->native->WriteUrl(*u, value);
  --suppress_;
}

void Toolkit::BrowserCommand(WindowId window, UnitId unit, int command) {
  Window& w = Declared(window);
  auto u = UnitIndex(w, unit);
  if (!w.loaded || !u || w.desc.units[static_cast<size_t>(*u)].kind != Kind::HtmlViewer) return;
  w.loaded->native->BrowserCommand(*u, command);
}

// ---- Loading -----------------------------------------------------------------------------------

bool Toolkit::LoadWindow(WindowId window, std::optional<WindowId> owner_id, bool modal) {
  Window& w = Declared(window);
  Window* owner = nullptr;
  if (owner_id) {
    owner = &Declared(*owner_id);
    if (!owner->loaded) return false;
  }
  if (w.loaded) {
    if (!w.loaded->destroy_pending) {
      if (w.loaded->native->IsMinimized()) {
        w.loaded->native->Restore();
      } else {
        w.loaded->native->Activate();
      }
      return true;
    }
    ProcessDestroy(w);
    if (w.loaded) return true;  // a handler brought it back meanwhile
  }
  if (modal) owner = nullptr;
  const bool has_parent = modal || owner != nullptr || !w.desc.style.show_in_taskbar;

  w.load_copy = w.units;
  const bool visible_at_start = w.units[0].visible;
  UnitState& self = w.units[0];
  Rect outer{self.left, self.top, self.width, self.height};
  if (w.desc.style.start == StartPosition::Centered) {
    Size screen = backend_.PrimaryScreenSize();
    outer.left = (screen.width - outer.width) / 2;
    outer.top = (screen.height - outer.height) / 2;
  }

  ++suppress_;
  std::unique_ptr<NativeWindow> native = backend_.CreateWindow(
      w.desc, w.units, outer, owner != nullptr ? owner->loaded->native.get() : nullptr, !has_parent,
      w.events);
  --suppress_;
  if (!native) {
    w.units = w.load_copy;
    return false;
  }
  Loaded& l = w.loaded.emplace();
  l.serial = next_serial_++;
  l.native = std::move(native);
  l.owner = owner;
  l.has_parent = has_parent;
  l.modal = modal;
  l.rects.push_back(outer);
  for (size_t i = 1; i < w.units.size(); ++i) {
    const UnitState& u = w.units[i];
    l.rects.push_back(Rect{u.left, u.top, u.width, u.height});
  }
  const std::uint64_t serial = l.serial;

  for (int event : {kCreated, kPositionChanged, kSizeChanged}) {
    if (StillLoaded(w, serial)) Raise(w, 0, event);
  }
  if (StillLoaded(w, serial) && visible_at_start && w.loaded->first_show_pending) FirstShow(w);
  if (!StillLoaded(w, serial)) return true;

  if (modal) {
    for (auto& other : windows_) {
      if (other.get() == &w || !other->loaded || other->loaded->has_parent) continue;
      w.loaded->disabled.emplace_back(other.get(), !other->units[0].disabled);
      other->units[0].disabled = true;
      other->loaded->native->SetEnabled(false);
    }
    if (w.units[0].visible && w.loaded->shown) RunModalLoop(w);
  }
  return true;
}

void Toolkit::FirstShow(Window& w) {
  Loaded& l = *w.loaded;
  l.first_show_pending = false;
  ShowMode mode = ShowMode::Normal;
  if (w.desc.style.start == StartPosition::Minimized) mode = ShowMode::Minimized;
  if (w.desc.style.start == StartPosition::Maximized) mode = ShowMode::Maximized;
  l.native->Show(mode);
  l.shown = true;
}

void Toolkit::RunModalLoop(Window& w) {
  Window* saved = modal_current_;
  modal_current_ = &w;
  const std::uint64_t serial = w.loaded->serial;
  while (StillLoaded(w, serial) && !hooks_.QuitPosted()) backend_.RunOnce();
  modal_current_ = saved;
}

// ---- Destroying --------------------------------------------------------------------------------

void Toolkit::RequestDestroy(WindowId window, bool at_once) {
  Window& w = Declared(window);
  if (!w.loaded) hooks_.FatalError("销毁未载入的窗口");
  if (at_once) {
    ProcessDestroy(w);
    return;
  }
  w.loaded->destroy_pending = true;
  const std::uint64_t serial = w.loaded->serial;
  backend_.Post([this, &w, serial] {
    if (StillLoaded(w, serial) && w.loaded->destroy_pending) ProcessDestroy(w);
  });
}

void Toolkit::ProcessDestroy(Window& w) {
  w.loaded->destroy_pending = false;
  ReenableDisabled(w);
  DestroyLoaded(w);
}

void Toolkit::ReenableDisabled(Window& w) {
  for (auto& [other, was_enabled] : std::exchange(w.loaded->disabled, {})) {
    other->units[0].disabled = !was_enabled;
    if (other->loaded && was_enabled) other->loaded->native->SetEnabled(true);
  }
}

void Toolkit::DestroyLoaded(Window& w) {
  // Owned windows go first, as the system destroys them with their owner.
  for (auto& other : windows_) {
    if (other->loaded && other->loaded->owner == &w) DestroyLoaded(*other);
  }
  if (!w.loaded) return;
  const std::uint64_t serial = w.loaded->serial;
  Raise(w, 0, kWillBeDestroyed);
  if (!StillLoaded(w, serial)) return;
  ReenableDisabled(w);
  std::unique_ptr<NativeWindow> native = std::move(w.loaded->native);
  w.loaded.reset();
  native.reset();
  w.units = w.load_copy;
  if (modal_current_ == &w) backend_.Wake();
  hooks_.WindowGone();
}

void Toolkit::CloseRequested(Window& w) {
  const std::uint64_t serial = w.loaded->serial;
  std::optional<bool> answer = Raise(w, 0, kCanBeClosed);
  if (!StillLoaded(w, serial) || (answer && !*answer)) return;
  ReenableDisabled(w);
  DestroyLoaded(w);
}

// ---- What the system reports --------------------------------------------------------------------

void Toolkit::SystemGeometry(Window& w, Rect outer) {
  if (!w.loaded) return;
  Loaded& l = *w.loaded;
  Rect old = l.rects[0];
  if (old == outer) return;
  l.rects[0] = outer;
  const std::uint64_t serial = l.serial;
  if (old.left != outer.left || old.top != outer.top) Raise(w, 0, kPositionChanged);
  if ((old.width != outer.width || old.height != outer.height) && StillLoaded(w, serial)) {
    Raise(w, 0, kSizeChanged);
  }
}

void Toolkit::SystemMinimized(Window& w, bool minimized) {
  if (!w.loaded) return;
  // Owned windows are hidden with their owner and come back with it.
  for (auto& other : windows_) {
    if (!other->loaded || other->loaded->owner != &w) continue;
    Loaded& o = *other->loaded;
    if (minimized && o.shown) {
      o.hidden_with_owner = true;
      o.shown = false;
      o.native->Hide();
    } else if (!minimized && o.hidden_with_owner) {
      o.hidden_with_owner = false;
      o.shown = true;
      o.native->Show(ShowMode::Normal);
    }
  }
  const std::uint64_t serial = w.loaded->serial;
  Raise(w, 0, kPositionChanged);
  if (StillLoaded(w, serial)) Raise(w, 0, kSizeChanged);
}

void Toolkit::Events::SystemGeometry(Rect outer) {
  toolkit_.SystemGeometry(window_, outer);
}
void Toolkit::Events::SystemMinimized(bool minimized) {
  toolkit_.SystemMinimized(window_, minimized);
}
void Toolkit::Events::SystemCloseRequested() {
  if (window_.loaded) toolkit_.CloseRequested(window_);
}
void Toolkit::Events::SystemEscape() {
  if (window_.loaded && window_.desc.style.esc_closes) toolkit_.CloseRequested(window_);
}
void Toolkit::Events::SystemClicked(int unit) {
  if (window_.loaded) toolkit_.Raise(window_, unit, kClicked);
}

// ---- Message box, ending -----------------------------------------------------------------------

int Toolkit::ShowMessageBox(std::string_view text, int flags, std::optional<std::string_view> title,
                            std::optional<WindowId> owner) {
  if (owner) Declared(*owner);
  constexpr int kSystemModal = 0x1000;
  // Task-modal: every window of the program is disabled while the box is up.
  std::vector<Window*> disabled;
  if ((flags & kSystemModal) == 0) {
    for (auto& w : windows_) {
      if (!w->loaded || w->units[0].disabled) continue;
      w->loaded->native->SetEnabled(false);
      disabled.push_back(w.get());
    }
  }
  int answer = backend_.MessageBox(text, flags, title);
  for (Window* w : disabled) {
    if (w->loaded && !w->units[0].disabled) w->loaded->native->SetEnabled(true);
  }
  return answer;
}

void Toolkit::CutOffDispatch() {
  cut_off_ = true;
}

void Toolkit::ShutDown() {
  cut_off_ = true;
  for (auto& w : windows_) {
    if (!w->loaded) continue;
    std::unique_ptr<NativeWindow> native = std::move(w->loaded->native);
    w->loaded.reset();
    native.reset();
  }
  backend_.ShutDown();
}

bool Toolkit::QueryEndSession() {
  bool may_end = true;
  for (auto& w : windows_) {
    if (!w->loaded) continue;
    std::optional<bool> answer = Raise(*w, 0, kCanBeClosed);
    if (answer && !*answer) may_end = false;
  }
  return may_end;
}

// ---- The current toolkit -----------------------------------------------------------------------

Toolkit& CurrentToolkit() {
  return *g_current;
}
void SetCurrentToolkit(Toolkit* toolkit) {
  g_current = toolkit;
}

std::int32_t ReadProperty(WindowId window, UnitId unit, Prop prop) {
  return g_current->ReadProperty(window, unit, prop);
}
std::string ReadProperty(WindowId window, UnitId unit, TextProp prop) {
  return g_current->ReadProperty(window, unit, prop);
}
void WriteProperty(WindowId window, UnitId unit, Prop prop, std::int32_t value) {
  g_current->WriteProperty(window, unit, prop, value);
}
void WriteProperty(WindowId window, UnitId unit, TextProp prop, std::string_view value) {
  g_current->WriteProperty(window, unit, prop, value);
}
void BrowserCommand(WindowId window, UnitId unit, int command) {
  g_current->BrowserCommand(window, unit, command);
}
bool LoadWindow(WindowId window, std::optional<WindowId> owner, bool modal) {
  return g_current->LoadWindow(window, owner, modal);
}
void RequestDestroy(WindowId window, bool at_once) {
  g_current->RequestDestroy(window, at_once);
}
int ShowMessageBox(std::string_view text, int flags, std::optional<std::string_view> title,
                   std::optional<WindowId> owner) {
  return g_current->ShowMessageBox(text, flags, title, owner);
}
bool IsLoaded(WindowId window) {
  return g_current->IsLoaded(window);
}

}  // namespace xm
