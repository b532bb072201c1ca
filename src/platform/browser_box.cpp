#include "platform/browser_box.h"

#include <webkit2/webkit2.h>

#include <algorithm>
#include <array>
#include <vector>

#include "platform/encoding.h"
#include "platform/relay_scheme.h"

namespace xm {
namespace {

// Text sizes from smallest to largest; the default is the middle one.
constexpr std::array<double, 5> kTextZoom = {0.75, 0.875, 1.0, 1.25, 1.5};
constexpr int kReload = 4;

// Windows that pages opened for themselves. They are not program windows: nothing waits for
// them, and they go when the program ends.
std::vector<GtkWidget*>& EngineWindows() {
  static std::vector<GtkWidget*> windows;
  return windows;
}

WebKitWebContext* Context() {
  static WebKitWebContext* context = [] {
    WebKitWebContext* c = webkit_web_context_get_default();
    // Must happen before the first view exists.
    webkit_web_context_set_sandbox_enabled(c, TRUE);
    // Pages come from the disk cache where it still holds them.
    webkit_web_context_set_cache_model(c, WEBKIT_CACHE_MODEL_WEB_BROWSER);
    RegisterRelayScheme(c);
    return c;
  }();
  return context;
}

// The engine shows no dialogs of its own: alerts are dismissed, confirmations declined, leaving a
// page is allowed, prompts are cancelled.
gboolean OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer) {
  switch (webkit_script_dialog_get_dialog_type(dialog)) {
    case WEBKIT_SCRIPT_DIALOG_CONFIRM:
      webkit_script_dialog_confirm_set_confirmed(dialog, FALSE);
      break;
    case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
      webkit_script_dialog_confirm_set_confirmed(dialog, TRUE);
      break;
    case WEBKIT_SCRIPT_DIALOG_PROMPT:
      webkit_script_dialog_prompt_set_text(dialog, nullptr);
      break;
    case WEBKIT_SCRIPT_DIALOG_ALERT:
      break;
  }
  return TRUE;
}

gboolean OnPermissionRequest(WebKitWebView*, WebKitPermissionRequest* request, gpointer) {
  webkit_permission_request_deny(request);
  return TRUE;
}

gboolean OnAuthenticate(WebKitWebView*, WebKitAuthenticationRequest* request, gpointer) {
  webkit_authentication_request_cancel(request);
  return TRUE;
}

GtkWidget* OnCreate(WebKitWebView* view, WebKitNavigationAction*, gpointer);

// Settings shared by the box's view and by the views of pages' own windows.
void SetUpView(WebKitWebView* view, int font_size, bool silent) {
  WebKitSettings* settings = webkit_web_view_get_settings(view);
  webkit_settings_set_zoom_text_only(settings, TRUE);
  webkit_settings_set_javascript_can_open_windows_automatically(settings, TRUE);
  webkit_web_view_set_zoom_level(view, kTextZoom[static_cast<size_t>(std::clamp(font_size, 0, 4))]);
  if (silent) {
    g_signal_connect(view, "script-dialog", G_CALLBACK(OnScriptDialog), nullptr);
    g_signal_connect(view, "permission-request", G_CALLBACK(OnPermissionRequest), nullptr);
    g_signal_connect(view, "authenticate", G_CALLBACK(OnAuthenticate), nullptr);
  }
  g_signal_connect(view, "create", G_CALLBACK(OnCreate), GINT_TO_POINTER(silent ? 1 : 0));
}

void OnEngineWindowGone(GtkWidget* window, gpointer) {
  auto& windows = EngineWindows();
  windows.erase(std::remove(windows.begin(), windows.end(), window), windows.end());
}

void OnTitleChanged(WebKitWebView* view, GParamSpec*, GtkWindow* window) {
  const char* title = webkit_web_view_get_title(view);
  gtk_window_set_title(window, title != nullptr ? title : "");
}

// A page asked for a window of its own: give it a plain window with a view related to the first.
GtkWidget* OnCreate(WebKitWebView* view, WebKitNavigationAction*, gpointer silent) {
  GtkWidget* popup = webkit_web_view_new_with_related_view(view);
  SetUpView(WEBKIT_WEB_VIEW(popup), 2, GPOINTER_TO_INT(silent) != 0);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  gtk_window_set_wmclass(GTK_WINDOW(window), "EngineWindow", "Xingmu-huibo");
  G_GNUC_END_IGNORE_DEPRECATIONS
  gtk_window_set_default_size(GTK_WINDOW(window), 800, 600);
  gtk_container_add(GTK_CONTAINER(window), popup);
  EngineWindows().push_back(window);
  g_signal_connect(window, "destroy", G_CALLBACK(OnEngineWindowGone), nullptr);
  g_signal_connect(popup, "notify::title", G_CALLBACK(OnTitleChanged), window);
  g_signal_connect_swapped(popup, "ready-to-show", G_CALLBACK(gtk_widget_show_all), window);
  g_signal_connect_swapped(popup, "close", G_CALLBACK(gtk_widget_destroy), window);
  return popup;
}

}  // namespace

BrowserBox::BrowserBox(const UnitState& settings)
    : view_(webkit_web_view_new_with_context(Context())), last_url_(settings.url) {
  g_object_ref_sink(view_);
  SetUpView(WEBKIT_WEB_VIEW(view_), settings.font_size, settings.silent);
  g_signal_connect(view_, "web-process-terminated", G_CALLBACK(OnWebProcessTerminated), this);
  if (!settings.url.empty()) {
    // Starting the web process takes a tenth of a second; the first window should not wait for it.
    // The page starts loading as soon as the program is idle, while the windows are being mapped.
    initial_load_ = g_idle_add(G_SOURCE_FUNC(OnInitialLoad), this);
  }
}

BrowserBox::~BrowserBox() {
  if (initial_load_ != 0) g_source_remove(initial_load_);
  g_signal_handlers_disconnect_by_data(view_, this);
  g_object_unref(view_);
}

void BrowserBox::OnWebProcessTerminated(GtkWidget*, int, BrowserBox* self) {
  // The page is gone; the next reload starts a new web process.
  self->web_process_gone_ = true;
}

gboolean BrowserBox::OnInitialLoad(BrowserBox* self) {
  self->initial_load_ = 0;
  self->Navigate(self->last_url_);
  return G_SOURCE_REMOVE;
}

void BrowserBox::Navigate(std::string_view cp936) {
  if (initial_load_ != 0) {
    g_source_remove(initial_load_);  // a newer address replaces the initial one
    initial_load_ = 0;
  }
  // `cp936` may be a view of last_url_ itself: use it only through the copy.
  last_url_ = std::string(cp936);
  web_process_gone_ = false;
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view_), Cp936ToUtf8(last_url_).c_str());
}

std::string BrowserBox::Url() const {
  const char* uri = webkit_web_view_get_uri(WEBKIT_WEB_VIEW(view_));
  return uri != nullptr ? Utf8ToCp936(uri) : last_url_;
}

void BrowserBox::Command(int command) {
  if (command != kReload) return;
  if (web_process_gone_) {
    // After a crash the view has no page to reload: load the last address afresh.
    std::string url = Url();
    if (!url.empty()) {
      Navigate(url);
      return;
    }
  }
  webkit_web_view_reload(WEBKIT_WEB_VIEW(view_));
}

void BrowserBox::CloseEngineWindows() {
  std::vector<GtkWidget*> windows = EngineWindows();
  for (GtkWidget* window : windows) gtk_widget_destroy(window);
}

}  // namespace xm
