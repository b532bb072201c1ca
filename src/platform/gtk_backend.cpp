#include "platform/gtk_backend.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <glib-unix.h>
#include <gtk/gtk.h>

#include <csignal>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/app_icon.h"
#include "platform/browser_box.h"
#include "platform/encoding.h"

// Xlib's None would shadow the enumerators of the same name.
#undef None

namespace xm {
namespace {

// The width of the window manager's frame on each side of the client window.
struct Extents {
  int left = 0, right = 0, top = 0, bottom = 0;
  friend bool operator==(const Extents&, const Extents&) = default;
};

// Frames last seen per kind of window, for window managers that cannot be asked in advance.
std::map<bool, Extents>& LastExtents() {
  static std::map<bool, Extents> extents;
  return extents;
}

std::optional<Extents> ReadFrameExtents(GdkWindow* gdk_window) {
  GdkDisplay* display = gdk_window_get_display(gdk_window);
  Display* xdisplay = GDK_DISPLAY_XDISPLAY(display);
  Atom property = gdk_x11_get_xatom_by_name_for_display(display, "_NET_FRAME_EXTENTS");
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  gdk_x11_display_error_trap_push(display);
  int status = XGetWindowProperty(xdisplay, GDK_WINDOW_XID(gdk_window), property, 0, 4, False,
                                  XA_CARDINAL, &type, &format, &count, &after, &data);
  gdk_x11_display_error_trap_pop_ignored(display);
  std::optional<Extents> result;
  if (status == Success && type == XA_CARDINAL && format == 32 && count == 4 && data != nullptr) {
    const long* v = reinterpret_cast<const long*>(data);
    result = Extents{static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]),
                     static_cast<int>(v[3])};
  }
  if (data != nullptr) XFree(data);
  return result;
}

// Asks the window manager which frame it will draw around a window that is not mapped yet, and
// waits a moment for the answer.
std::optional<Extents> RequestFrameExtents(GdkWindow* gdk_window) {
  GdkDisplay* display = gdk_window_get_display(gdk_window);
  GdkScreen* screen = gdk_window_get_screen(gdk_window);
  if (!gdk_x11_screen_supports_net_wm_hint(
          screen, gdk_atom_intern_static_string("_NET_REQUEST_FRAME_EXTENTS"))) {
    return std::nullopt;
  }
  Display* xdisplay = GDK_DISPLAY_XDISPLAY(display);
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = GDK_WINDOW_XID(gdk_window);
  event.xclient.message_type =
      gdk_x11_get_xatom_by_name_for_display(display, "_NET_REQUEST_FRAME_EXTENTS");
  event.xclient.format = 32;
  XSendEvent(xdisplay, GDK_WINDOW_XID(gdk_get_default_root_window()), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &event);
  XFlush(xdisplay);
  constexpr int kWaitMs = 300, kStepMs = 1;
  for (int waited = 0; waited < kWaitMs; waited += kStepMs) {
    if (auto extents = ReadFrameExtents(gdk_window)) return extents;
    g_usleep(kStepMs * 1000);
  }
  return std::nullopt;
}

GtkWidget* MakeLabel(const char* utf8, bool wrap) {
  GtkWidget* label = gtk_label_new(utf8);
  gtk_label_set_line_wrap(GTK_LABEL(label), wrap);
  gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
  gtk_label_set_use_underline(GTK_LABEL(label), FALSE);
  return label;
}

// A label painted straight on its window: only the text, in its colour and font.
void StyleLabel(GtkWidget* label, const UnitSpec& desc) {
  const bool centred = desc.align == Align::Center;
  gtk_label_set_justify(GTK_LABEL(label), centred ? GTK_JUSTIFY_CENTER : GTK_JUSTIFY_LEFT);
  gtk_label_set_xalign(GTK_LABEL(label), centred ? 0.5f : 0.0f);
  gtk_label_set_yalign(GTK_LABEL(label), 0.0f);
  PangoAttrList* attrs = pango_attr_list_new();
  if (desc.color != nullptr) {
    pango_attr_list_insert(
        attrs,
        pango_attr_foreground_new(desc.color->r * 257, desc.color->g * 257, desc.color->b * 257));
  }
  if (desc.font != nullptr) {
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, desc.font->face);
    const int pixels = desc.font->height < 0 ? -desc.font->height : desc.font->height;
    if (pixels > 0) pango_font_description_set_absolute_size(font, pixels * PANGO_SCALE);
    pango_font_description_set_weight(font, static_cast<PangoWeight>(desc.font->weight));
    pango_font_description_set_style(font,
                                     desc.font->italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    pango_attr_list_insert(attrs, pango_attr_font_desc_new(font));
    if (desc.font->underline)
      pango_attr_list_insert(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    if (desc.font->strike_out) pango_attr_list_insert(attrs, pango_attr_strikethrough_new(TRUE));
    pango_font_description_free(font);
    // Lines as tall as the characters, as the Song faces these texts were laid out for set them.
    if (pixels > 0)
      pango_attr_list_insert(attrs, pango_attr_line_height_new_absolute(pixels * PANGO_SCALE));
  }
  gtk_label_set_attributes(GTK_LABEL(label), attrs);
  pango_attr_list_unref(attrs);
}

// Controls keep the small sizes of their descriptions instead of the theme's roomy minimums.
void InstallCompactStyle() {
  static const char* const kCss =
      "window.xingmu { font-family: \"Noto Sans CJK SC\", sans-serif; font-size: 9pt; }"
      "window.xingmu button { min-height: 0; min-width: 0; padding: 0 1px; }"
      "window.xingmu entry { min-height: 0; padding: 0 4px; }"
      "window.xingmu checkbutton { padding: 0; }"
      "window.xingmu checkbutton check { margin: 0 3px 0 0; }";
  GtkCssProvider* provider = gtk_css_provider_new();
  gtk_css_provider_load_from_data(provider, kCss, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(provider),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(provider);
}

class GtkNativeWindow final : public NativeWindow {
 public:
  GtkNativeWindow(const WindowSpec& desc, std::span<const UnitState> units, Rect outer,
                  GtkNativeWindow* owner, bool taskbar, WindowEvents& events);
  ~GtkNativeWindow() override;

  void SetOuterRect(Rect outer) override;
  void SetControlRect(int unit, Rect rect) override;
  void Show(ShowMode mode) override;
  void Hide() override { gtk_widget_hide(window_); }
  void SetControlVisible(int unit, bool visible) override {
    gtk_widget_set_visible(controls_[static_cast<size_t>(unit)], visible);
  }
  void SetEnabled(bool enabled) override { gtk_widget_set_sensitive(window_, enabled); }
  bool IsMinimized() const override { return minimized_; }
  void Restore() override {
    gtk_window_deiconify(GTK_WINDOW(window_));
    gtk_window_present(GTK_WINDOW(window_));
  }
  void Activate() override { gtk_window_present(GTK_WINDOW(window_)); }
  std::string ReadContent(int unit) override {
    return Utf8ToCp936(gtk_entry_get_text(GTK_ENTRY(controls_[static_cast<size_t>(unit)])));
  }
  void WriteContent(int unit, std::string_view cp936) override {
    gtk_entry_set_text(GTK_ENTRY(controls_[static_cast<size_t>(unit)]), Cp936ToUtf8(cp936).c_str());
  }
  std::string ReadUrl(int unit) override { return Browser(unit).Url(); }
  void WriteUrl(int unit, std::string_view cp936) override { Browser(unit).Navigate(cp936); }
  bool ReadChecked(int unit) override {
    return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(controls_[static_cast<size_t>(unit)]));
  }
  void WriteChecked(int unit, bool checked) override {
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(controls_[static_cast<size_t>(unit)]), checked);
  }
  void BrowserCommand(int unit, int command) override { Browser(unit).Command(command); }

  bool created() const { return window_ != nullptr; }
  GtkWidget* window() const { return window_; }

 private:
  BrowserBox& Browser(int unit) { return *browsers_.at(static_cast<size_t>(unit)); }
  GtkWidget* MakeControl(int unit, const UnitSpec& desc, const UnitState& state);
  void ApplyGeometry();
  Rect OuterFromClient(int x, int y, int width, int height) const;
  void Settle();

  static gboolean OnDelete(GtkWidget*, GdkEvent*, GtkNativeWindow* self);
  static gboolean OnKey(GtkWidget*, GdkEventKey* event, GtkNativeWindow* self);
  static gboolean OnConfigure(GtkWidget*, GdkEventConfigure* event, GtkNativeWindow* self);
  static GdkFilterReturn OnXEvent(GdkXEvent* xevent, GdkEvent*, gpointer data);
  void WatchFrame();
  void Reported(Rect outer);
  static gboolean OnWindowState(GtkWidget*, GdkEventWindowState* event, GtkNativeWindow* self);
  static gboolean OnProperty(GtkWidget*, GdkEventProperty* event, GtkNativeWindow* self);
  static gboolean OnMap(GtkWidget*, GdkEvent*, GtkNativeWindow* self);
  static gboolean OnUnmap(GtkWidget*, GdkEvent*, GtkNativeWindow* self) {
    self->managed_ = false;
    self->frame_ = 0;
    return FALSE;
  }
  static void OnClicked(GtkWidget* widget, GtkNativeWindow* self);
  static gboolean OnSettleTimeout(GtkNativeWindow* self);

  WindowEvents& events_;
  const bool resizable_;
  GtkWidget* window_ = nullptr;
  GtkWidget* layout_ = nullptr;
  std::vector<GtkWidget*> controls_;                   // by unit; [0] unused
  std::vector<std::unique_ptr<BrowserBox>> browsers_;  // by unit
  Rect outer_;                                         // what the toolkit counts as current
  Extents extents_;
  std::vector<Rect> pending_;  // our own requests the manager has not confirmed yet
  std::optional<Rect> seen_;   // the last rectangle the manager reported
  bool minimized_ = false;
  guint settle_source_ = 0;
  bool reasserted_ = false;
  bool managed_ = false;
  bool activate_on_map_ = false;  // shown by the program: takes the focus when mapped
  unsigned long frame_ = 0;  // the manager's frame window, while mapped  // mapped by the window
                             // manager  // the current rectangle has been asked for a second time
};

GtkNativeWindow::GtkNativeWindow(const WindowSpec& desc, std::span<const UnitState> units,
                                 Rect outer, GtkNativeWindow* owner, bool taskbar,
                                 WindowEvents& events)
    : events_(events),
      resizable_(desc.style.border == Border::Sizable || desc.style.border == Border::ToolSizable ||
                 desc.style.border == Border::SunkenSizable),
      outer_(outer) {
  const UnitSpec& self = desc.units[0];
  const WindowStyle& style = desc.style;
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWindow* window = GTK_WINDOW(window_);
  gtk_style_context_add_class(gtk_widget_get_style_context(window_), "xingmu");
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  gtk_window_set_wmclass(window, self.name, "Xingmu-huibo");
  G_GNUC_END_IGNORE_DEPRECATIONS
  // An empty caption must show no text; window managers print a placeholder for an empty name.
  const std::string caption = Cp936ToUtf8(units[0].text);
  gtk_window_set_title(window, caption.empty() ? " " : caption.c_str());
  gtk_window_set_resizable(window, resizable_);
  gtk_window_set_decorated(window, style.border != Border::None);
  gtk_window_set_deletable(window, style.control_box);
  gtk_window_set_skip_taskbar_hint(window, !taskbar);
  gtk_window_set_skip_pager_hint(window, !taskbar);
  gtk_window_set_keep_above(window, style.topmost);
  if (style.border == Border::ToolSizable || style.border == Border::ToolFixed) {
    gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_UTILITY);
  }
  if (owner != nullptr) gtk_window_set_transient_for(window, GTK_WINDOW(owner->window()));
  gtk_widget_set_sensitive(window_, !units[0].disabled);

  layout_ = gtk_layout_new(nullptr, nullptr);
  gtk_container_add(GTK_CONTAINER(window_), layout_);
  gtk_widget_show(layout_);
  controls_.resize(units.size(), nullptr);
  browsers_.resize(units.size());
  for (size_t i = 1; i < units.size(); ++i) {
    GtkWidget* control = MakeControl(static_cast<int>(i), desc.units[i], units[i]);
    controls_[i] = control;
    gtk_layout_put(GTK_LAYOUT(layout_), control, units[i].left, units[i].top);
    gtk_widget_set_size_request(control, units[i].width, units[i].height);
    gtk_widget_set_sensitive(control, !units[i].disabled);
    gtk_widget_set_visible(control, units[i].visible);
  }

  gtk_widget_add_events(window_, GDK_PROPERTY_CHANGE_MASK | GDK_STRUCTURE_MASK);
  g_signal_connect(window_, "delete-event", G_CALLBACK(OnDelete), this);
  g_signal_connect_after(window_, "key-press-event", G_CALLBACK(OnKey), this);
  g_signal_connect(window_, "configure-event", G_CALLBACK(OnConfigure), this);
  g_signal_connect(window_, "window-state-event", G_CALLBACK(OnWindowState), this);
  g_signal_connect(window_, "property-notify-event", G_CALLBACK(OnProperty), this);
  g_signal_connect(window_, "map-event", G_CALLBACK(OnMap), this);
  g_signal_connect(window_, "unmap-event", G_CALLBACK(OnUnmap), this);

  gdk_window_add_filter(nullptr, OnXEvent, this);
  gtk_widget_realize(window_);
  GdkWindow* gdk_window = gtk_widget_get_window(window_);
  int functions = GDK_FUNC_CLOSE;
  if (resizable_) functions |= GDK_FUNC_RESIZE;
  if (style.movable) functions |= GDK_FUNC_MOVE;
  if (style.min_button) functions |= GDK_FUNC_MINIMIZE;
  if (style.max_button && resizable_) functions |= GDK_FUNC_MAXIMIZE;
  if (!style.control_box) functions &= ~GDK_FUNC_CLOSE;
  gdk_window_set_functions(gdk_window, static_cast<GdkWMFunction>(functions));
  if (!resizable_) {
    // The frame a manager draws depends on whether the window can be resized: say so first.
    GdkGeometry hints{};
    hints.min_width = hints.max_width = outer.width;
    hints.min_height = hints.max_height = outer.height;
    gdk_window_set_geometry_hints(
        gdk_window, &hints, static_cast<GdkWindowHints>(GDK_HINT_MIN_SIZE | GDK_HINT_MAX_SIZE));
  }
  if (auto asked = RequestFrameExtents(gdk_window)) {
    extents_ = *asked;
    LastExtents()[resizable_] = extents_;
  } else if (auto seen = LastExtents().find(resizable_); seen != LastExtents().end()) {
    extents_ = seen->second;
  }
  ApplyGeometry();
}

GtkNativeWindow::~GtkNativeWindow() {
  gdk_window_remove_filter(nullptr, OnXEvent, this);
  if (settle_source_ != 0) g_source_remove(settle_source_);
  if (window_ == nullptr) return;
  g_signal_handlers_disconnect_by_data(window_, this);
  for (GtkWidget* control : controls_) {
    if (control != nullptr) g_signal_handlers_disconnect_by_data(control, this);
  }
  GtkWidget* window = window_;
  window_ = nullptr;
  gtk_widget_destroy(window);
  browsers_.clear();
}

GtkWidget* GtkNativeWindow::MakeControl(int unit, const UnitSpec& desc, const UnitState& state) {
  const std::string text = Cp936ToUtf8(state.text);
  GtkWidget* control = nullptr;
  switch (desc.kind) {
    case Kind::Button: {
      control = gtk_button_new();
      GtkWidget* caption = MakeLabel(text.c_str(), true);
      gtk_label_set_justify(GTK_LABEL(caption), GTK_JUSTIFY_CENTER);
      gtk_widget_show(caption);
      gtk_container_add(GTK_CONTAINER(control), caption);
      g_signal_connect(control, "clicked", G_CALLBACK(OnClicked), this);
      break;
    }
    case Kind::CheckBox: {
      control = gtk_check_button_new();
      GtkWidget* caption = MakeLabel(text.c_str(), true);
      gtk_label_set_xalign(GTK_LABEL(caption), 0.0f);
      gtk_widget_show(caption);
      gtk_container_add(GTK_CONTAINER(control), caption);
      gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(control), state.checked);
      g_signal_connect(control, "clicked", G_CALLBACK(OnClicked), this);
      break;
    }
    case Kind::Label:
    case Kind::TransLabel:
      control = MakeLabel(text.c_str(), true);
      StyleLabel(control, desc);
      break;
    case Kind::EditBox:
      control = gtk_entry_new();
      gtk_entry_set_text(GTK_ENTRY(control), text.c_str());
      break;
    case Kind::HtmlViewer: {
      auto box = std::make_unique<BrowserBox>(state);
      control = box->widget();
      browsers_[static_cast<size_t>(unit)] = std::move(box);
      break;
    }
    case Kind::Window:
      control = gtk_label_new("");
      break;
  }
  gtk_widget_set_can_focus(
      control, desc.tab_stop && desc.kind != Kind::Label && desc.kind != Kind::TransLabel);
  g_object_set_data(G_OBJECT(control), "xingmu-unit", GINT_TO_POINTER(unit));
  return control;
}

Rect GtkNativeWindow::OuterFromClient(int x, int y, int width, int height) const {
  return Rect{x - extents_.left, y - extents_.top, width + extents_.left + extents_.right,
              height + extents_.top + extents_.bottom};
}

void GtkNativeWindow::ApplyGeometry() {
  const int client_width = std::max(1, outer_.width - extents_.left - extents_.right);
  const int client_height = std::max(1, outer_.height - extents_.top - extents_.bottom);
  GtkWindow* window = GTK_WINDOW(window_);
  gtk_window_move(window, outer_.left, outer_.top);
  if (!resizable_) gtk_widget_set_size_request(layout_, client_width, client_height);
  gtk_window_resize(window, client_width, client_height);
  pending_.push_back(outer_);
  // If the manager adjusts a request instead of granting it, no confirmation ever matches; after
  // a short while the last reported rectangle counts.
  if (settle_source_ != 0) g_source_remove(settle_source_);
  settle_source_ = g_timeout_add(250, G_SOURCE_FUNC(OnSettleTimeout), this);
}

void GtkNativeWindow::SetOuterRect(Rect outer) {
  outer_ = outer;
  reasserted_ = false;
  ApplyGeometry();
}

void GtkNativeWindow::SetControlRect(int unit, Rect rect) {
  GtkWidget* control = controls_[static_cast<size_t>(unit)];
  gtk_layout_move(GTK_LAYOUT(layout_), control, rect.left, rect.top);
  gtk_widget_set_size_request(control, rect.width, rect.height);
}

void GtkNativeWindow::Show(ShowMode mode) {
  GtkWindow* window = GTK_WINDOW(window_);
  ApplyGeometry();
  if (mode == ShowMode::Minimized) gtk_window_iconify(window);
  if (mode == ShowMode::Maximized) gtk_window_maximize(window);
  // A window the program shows is the active one, as the user expects of a newly opened window
  // (Esc closes the notice right away); some managers would leave the focus where it was.
  activate_on_map_ = mode != ShowMode::Minimized;
  if (activate_on_map_) {
    gtk_window_present(window);
  } else {
    gtk_widget_show(window_);
  }
}

void GtkNativeWindow::Settle() {
  pending_.clear();
  if (!managed_ || !seen_ || *seen_ == outer_) {
    reasserted_ = false;
    return;
  }
  if (!reasserted_) {
    // A manager that places a window while taking it over may overrule a move made meanwhile:
    // ask once more. If it keeps its own rectangle, that one stands.
    reasserted_ = true;
    ApplyGeometry();
    gdk_window_move(gtk_widget_get_window(window_), outer_.left, outer_.top);
    return;
  }
  reasserted_ = false;
  outer_ = *seen_;
  events_.SystemGeometry(outer_);
}

gboolean GtkNativeWindow::OnSettleTimeout(GtkNativeWindow* self) {
  self->settle_source_ = 0;
  self->Settle();
  return G_SOURCE_REMOVE;
}

gboolean GtkNativeWindow::OnDelete(GtkWidget*, GdkEvent*, GtkNativeWindow* self) {
  self->events_.SystemCloseRequested();
  return TRUE;  // the toolkit decides, and destroys the window itself
}

gboolean GtkNativeWindow::OnKey(GtkWidget*, GdkEventKey* event, GtkNativeWindow* self) {
  // Runs after the focused control has had the key: only what it left comes here.
  if (event->keyval != GDK_KEY_Escape) return FALSE;
  self->events_.SystemEscape();
  return TRUE;
}

gboolean GtkNativeWindow::OnConfigure(GtkWidget*, GdkEventConfigure* event, GtkNativeWindow* self) {
  self->Reported(self->OuterFromClient(event->x, event->y, event->width, event->height));
  return FALSE;
}

// Some managers tell the client of a drag only when it ends; the frame itself moves all along.
GdkFilterReturn GtkNativeWindow::OnXEvent(GdkXEvent* xevent, GdkEvent*, gpointer data) {
  auto* self = static_cast<GtkNativeWindow*>(data);
  const XEvent* e = static_cast<const XEvent*>(xevent);
  if (e->type == ConfigureNotify && self->frame_ != 0 && e->xconfigure.window == self->frame_) {
    const XConfigureEvent& c = e->xconfigure;
    self->Reported(Rect{c.x, c.y, c.width + 2 * c.border_width, c.height + 2 * c.border_width});
  }
  return GDK_FILTER_CONTINUE;
}

// Follows the frame the manager put around the window, if there is one.
void GtkNativeWindow::WatchFrame() {
  GdkWindow* gdk_window = gtk_widget_get_window(window_);
  Display* display = GDK_DISPLAY_XDISPLAY(gdk_window_get_display(gdk_window));
  ::Window root = 0, parent = 0, current = GDK_WINDOW_XID(gdk_window);
  ::Window* children = nullptr;
  unsigned int count = 0;
  frame_ = 0;
  gdk_x11_display_error_trap_push(gdk_window_get_display(gdk_window));
  while (XQueryTree(display, current, &root, &parent, &children, &count) != 0) {
    if (children != nullptr) XFree(children);
    children = nullptr;
    if (parent == 0 || parent == root) break;
    current = parent;
  }
  if (current != GDK_WINDOW_XID(gdk_window)) {
    frame_ = current;
    XSelectInput(display, frame_, StructureNotifyMask);
  }
  gdk_x11_display_error_trap_pop_ignored(gdk_window_get_display(gdk_window));
}

void GtkNativeWindow::Reported(Rect outer) {
  // Until the manager has mapped the window it may still place it by its own rules: nothing
  // reported before that is the window's place.
  if (!managed_) return;
  seen_ = outer;
  for (size_t i = 0; i < pending_.size(); ++i) {
    if (pending_[i] == outer) {
      // The answer to one of our own requests: the toolkit has counted it already.
      pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(i) + 1);
      return;
    }
  }
  if (!pending_.empty()) return;  // on the way to a requested rectangle
  if (outer != outer_) {
    outer_ = outer;
    events_.SystemGeometry(outer);
  }
}

gboolean GtkNativeWindow::OnWindowState(GtkWidget*, GdkEventWindowState* event,
                                        GtkNativeWindow* self) {
  if ((event->changed_mask & GDK_WINDOW_STATE_ICONIFIED) == 0) return FALSE;
  self->minimized_ = (event->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0;
  self->events_.SystemMinimized(self->minimized_);
  return FALSE;
}

gboolean GtkNativeWindow::OnProperty(GtkWidget*, GdkEventProperty* event, GtkNativeWindow* self) {
  if (event->atom != gdk_atom_intern_static_string("_NET_FRAME_EXTENTS")) return FALSE;
  auto extents = ReadFrameExtents(gtk_widget_get_window(self->window_));
  if (!extents || *extents == self->extents_) return FALSE;
  // The frame differs from what we sized for: keep the outer rectangle, fit the client to it.
  self->extents_ = *extents;
  LastExtents()[self->resizable_] = *extents;
  self->ApplyGeometry();
  return FALSE;
}

gboolean GtkNativeWindow::OnMap(GtkWidget*, GdkEvent*, GtkNativeWindow* self) {
  // A manager may place a newly mapped window by its own rules, and it may have dropped a move
  // that came while it was taking the window over; GTK would not repeat a move it has already
  // asked for, so the toolkit's place is asked for again on the window itself.
  self->managed_ = true;
  self->seen_.reset();
  self->WatchFrame();
  if (std::exchange(self->activate_on_map_, false)) {
    // openbox gives no focus to a new window without a taskbar entry, even when asked to
    // activate it; the notice must take Esc at once, so it takes the focus itself.
    GdkWindow* gdk_window = gtk_widget_get_window(self->window_);
    GdkDisplay* display = gdk_window_get_display(gdk_window);
    gdk_x11_display_error_trap_push(display);
    XSetInputFocus(GDK_DISPLAY_XDISPLAY(display), GDK_WINDOW_XID(gdk_window), RevertToParent,
                   gdk_x11_display_get_user_time(display));
    gdk_x11_display_error_trap_pop_ignored(display);
  }
  self->ApplyGeometry();
  gdk_window_move(gtk_widget_get_window(self->window_), self->outer_.left, self->outer_.top);
  return FALSE;
}

void GtkNativeWindow::OnClicked(GtkWidget* widget, GtkNativeWindow* self) {
  self->events_.SystemClicked(GPOINTER_TO_INT(g_object_get_data(G_OBJECT(widget), "xingmu-unit")));
}

// ---- The backend ----------------------------------------------------------------------------

struct MessageButton {
  const char* label;
  int id;  // the system's button id; the toolkit answers id - 1
};

constexpr int kIdOk = 1, kIdCancel = 2, kIdAbort = 3, kIdRetry = 4, kIdIgnore = 5, kIdYes = 6,
              kIdNo = 7;

std::vector<MessageButton> ButtonsFor(int flags) {
  switch (flags & 0xF) {
    case 1:
      return {{"确定", kIdOk}, {"取消", kIdCancel}};
    case 2:
      return {{"中止", kIdAbort}, {"重试", kIdRetry}, {"忽略", kIdIgnore}};
    case 3:
      return {{"是", kIdYes}, {"否", kIdNo}, {"取消", kIdCancel}};
    case 4:
      return {{"是", kIdYes}, {"否", kIdNo}};
    case 5:
      return {{"重试", kIdRetry}, {"取消", kIdCancel}};
    default:
      return {{"确定", kIdOk}};
  }
}

GtkMessageType MessageTypeFor(int flags) {
  switch (flags & 0xF0) {
    case 0x10:
      return GTK_MESSAGE_ERROR;
    case 0x20:
      return GTK_MESSAGE_QUESTION;
    case 0x30:
      return GTK_MESSAGE_WARNING;
    case 0x40:
      return GTK_MESSAGE_INFO;
    default:
      return GTK_MESSAGE_OTHER;
  }
}

// GTK 3 message boxes show no icon of their own; the system's box shows one per type.
const char* IconNameFor(int flags) {
  switch (flags & 0xF0) {
    case 0x10:
      return "dialog-error";
    case 0x20:
      return "dialog-question";
    case 0x30:
      return "dialog-warning";
    case 0x40:
      return "dialog-information";
    default:
      return nullptr;
  }
}

class GtkBackend final : public Backend {
 public:
  explicit GtkBackend(std::function<void()> session_ending)
      : session_ending_(std::move(session_ending)) {
    InstallCompactStyle();
    SetDefaultWindowIcon();
    for (int signal : {SIGTERM, SIGHUP}) {
      signal_sources_.push_back(g_unix_signal_add(signal, G_SOURCE_FUNC(OnSignal), this));
    }
  }
  ~GtkBackend() override {
    for (guint source : signal_sources_) g_source_remove(source);
  }

  Size PrimaryScreenSize() override {
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
    if (monitor == nullptr) return {};
    GdkRectangle area;
    gdk_monitor_get_geometry(monitor, &area);
    return {area.width, area.height};
  }

  std::unique_ptr<NativeWindow> CreateWindow(const WindowSpec& desc,
                                             std::span<const UnitState> units, Rect outer,
                                             NativeWindow* owner, bool taskbar,
                                             WindowEvents& events) override {
    auto window = std::make_unique<GtkNativeWindow>(
        desc, units, outer, static_cast<GtkNativeWindow*>(owner), taskbar, events);
    if (!window->created()) return nullptr;
    return window;
  }

  void Post(std::function<void()> task) override {
    auto holder = std::make_unique<std::function<void()>>(std::move(task));
    g_idle_add_full(
        G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
          (*static_cast<std::function<void()>*>(data))();
          return G_SOURCE_REMOVE;
        },
        holder.release(),
        [](gpointer data) {
          std::unique_ptr<std::function<void()>>(static_cast<std::function<void()>*>(data));
        });
  }

  void RunOnce() override { g_main_context_iteration(nullptr, TRUE); }
  void Wake() override { g_main_context_wakeup(nullptr); }

  int MessageBox(std::string_view text, int flags, std::optional<std::string_view> title) override {
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, MessageTypeFor(flags),
                                               GTK_BUTTONS_NONE, "%s", Cp936ToUtf8(text).c_str());
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_window_set_wmclass(GTK_WINDOW(dialog), "MessageBox", "Xingmu-huibo");
    G_GNUC_END_IGNORE_DEPRECATIONS
    gtk_window_set_title(GTK_WINDOW(dialog), title ? Cp936ToUtf8(*title).c_str() : "错误");
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    if (const char* icon = IconNameFor(flags)) {
      GtkWidget* image = gtk_image_new_from_icon_name(icon, GTK_ICON_SIZE_DIALOG);
      gtk_widget_show(image);
      G_GNUC_BEGIN_IGNORE_DEPRECATIONS
      gtk_message_dialog_set_image(GTK_MESSAGE_DIALOG(dialog), image);
      G_GNUC_END_IGNORE_DEPRECATIONS
    }
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    const std::vector<MessageButton> buttons = ButtonsFor(flags);
    for (const MessageButton& b : buttons) gtk_dialog_add_button(GTK_DIALOG(dialog), b.label, b.id);
    const int response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    int id = response;
    if (response <= 0) {
      // Closed by its close box or Esc: Cancel where there is one, else the only button.
      id = buttons.front().id;
      for (const MessageButton& b : buttons) {
        if (b.id == kIdCancel) id = kIdCancel;
      }
    }
    return id - 1;
  }

  void ShutDown() override { BrowserBox::CloseEngineWindows(); }

 private:
  static gboolean OnSignal(GtkBackend* self) {
    self->session_ending_();
    return G_SOURCE_CONTINUE;
  }

  std::function<void()> session_ending_;
  std::vector<guint> signal_sources_;
};

}  // namespace

std::unique_ptr<Backend> OpenGtkBackend(std::function<void()> session_ending) {
  // Window positions are part of the program's behaviour; only X11 lets a program place windows.
  gdk_set_allowed_backends("x11");
  g_set_prgname("xingmu-huibo");
  gdk_set_program_class("Xingmu-huibo");
  if (!gtk_init_check(nullptr, nullptr)) return nullptr;
  return std::make_unique<GtkBackend>(std::move(session_ending));
}

}  // namespace xm
