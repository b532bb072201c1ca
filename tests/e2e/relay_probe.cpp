// Loads one address in a WebKitWebView that serves the built-in relay page, waits, then prints
// what the page shows as one JSON object on stdout:
//   {"href", "title", "text", "hls", "video": null | {"currentTime", "paused", "error",
//   "readyState", "muted"}}
// Usage: relay_probe ADDRESS SECONDS
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <cstdlib>

#include "platform/gobject_ptr.h"
#include "platform/relay_scheme.h"

namespace {

constexpr const char* kReport = R"js(
(function () {
  var video = document.querySelector('video');
  return JSON.stringify({
    href: location.href,
    title: document.title,
    text: document.body ? document.body.innerText : '',
    hls: document.createElement('video').canPlayType('application/vnd.apple.mpegurl'),
    video: video ? {
      currentTime: video.currentTime,
      paused: video.paused,
      error: video.error ? video.error.code : null,
      readyState: video.readyState,
      muted: video.muted
    } : null
  });
})())js";

struct Probe {
  WebKitWebView* view = nullptr;
  int status = 1;
};

void Reported(GObject* source, GAsyncResult* result, gpointer data) {
  auto* probe = static_cast<Probe*>(data);
  GError* error = nullptr;
  xm::GObjectPtr<JSCValue> value(
      webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error));
  if (!value) {
    std::fprintf(stderr, "relay_probe: script failed: %s\n", error->message);
    g_error_free(error);
  } else {
    char* text = jsc_value_to_string(value.get());
    std::printf("%s\n", text);
    std::fflush(stdout);
    g_free(text);
    probe->status = 0;
  }
  gtk_main_quit();
}

gboolean Report(gpointer data) {
  auto* probe = static_cast<Probe*>(data);
  webkit_web_view_evaluate_javascript(probe->view, kReport, -1, nullptr, nullptr, nullptr, Reported,
                                      probe);
  return G_SOURCE_REMOVE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: relay_probe ADDRESS SECONDS\n");
    return 2;
  }
  const double seconds = std::strtod(argv[2], nullptr);
  gdk_set_allowed_backends("x11");
  gtk_init(&argc, &argv);

  WebKitWebContext* context = webkit_web_context_get_default();
  webkit_web_context_set_sandbox_enabled(context, TRUE);
  xm::RegisterRelayScheme(context);

  Probe probe;
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 640, 480);
  probe.view = WEBKIT_WEB_VIEW(webkit_web_view_new_with_context(context));
  gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(probe.view));
  gtk_widget_show_all(window);

  webkit_web_view_load_uri(probe.view, argv[1]);
  g_timeout_add(static_cast<guint>(seconds * 1000), Report, &probe);
  gtk_main();
  gtk_widget_destroy(window);
  return probe.status;
}
