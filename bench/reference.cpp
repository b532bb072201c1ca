// The yardstick for bench/run: a bare GTK 3 window holding one WebKitWebView that loads the
// address given on the command line. It does the least such a program must do, with the same
// engine settings that matter for cost (X11 backend, sandboxed web processes), so the benchmark
// shows what xingmu-huibo adds on top of a plain web view.
// Usage: bench_reference ADDRESS
// The window's WM_CLASS instance is "Reference"; its client area is 1020 x 521, which openbox
// frames to the same 1022 x 546 outer size as the main window.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>

namespace xm {
namespace {

constexpr int kClientWidth = 1020;
constexpr int kClientHeight = 521;

}  // namespace
}  // namespace xm

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_reference ADDRESS\n");
    return 2;
  }
  gdk_set_allowed_backends("x11");
  g_set_prgname("Reference");
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fprintf(stderr, "bench_reference: cannot open the display\n");
    return 1;
  }
  webkit_web_context_set_sandbox_enabled(webkit_web_context_get_default(), TRUE);

  // GTK owns the toplevel, and the toplevel owns the view.
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "Reference");
  gtk_window_set_default_size(GTK_WINDOW(window), xm::kClientWidth, xm::kClientHeight);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  GtkWidget* view = webkit_web_view_new();
  gtk_container_add(GTK_CONTAINER(window), view);
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), argv[1]);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
