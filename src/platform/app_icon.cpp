#include "platform/app_icon.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <array>

#include "platform/app_icon_svg.h"
#include "platform/gobject_ptr.h"

namespace xm {
namespace {

// Asks the loader for an image whose longer side is `side` pixels.
void FitInSquare(GdkPixbufLoader* loader, int width, int height, gpointer side_pointer) {
  const int side = GPOINTER_TO_INT(side_pointer);
  if (width <= 0 || height <= 0) return;
  if (width >= height) {
    gdk_pixbuf_loader_set_size(loader, side, std::max(1, height * side / width));
  } else {
    gdk_pixbuf_loader_set_size(loader, std::max(1, width * side / height), side);
  }
}

// The icon drawn at `side` pixels, or null when no image loader reads SVG.
GObjectPtr<GdkPixbuf> RenderIcon(int side) {
  GObjectPtr<GdkPixbufLoader> loader(
      gdk_pixbuf_loader_new_with_mime_type("image/svg+xml", nullptr));
  if (!loader) return nullptr;
  g_signal_connect(loader.get(), "size-prepared", G_CALLBACK(FitInSquare), GINT_TO_POINTER(side));
  // A failed write closes the loader itself; only a successful one needs the close.
  if (!gdk_pixbuf_loader_write(loader.get(), reinterpret_cast<const guchar*>(kAppIconSvg.data()),
                               kAppIconSvg.size(), nullptr) ||
      !gdk_pixbuf_loader_close(loader.get(), nullptr)) {
    return nullptr;
  }
  GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader.get());
  if (pixbuf == nullptr) return nullptr;
  return GObjectPtr<GdkPixbuf>(GDK_PIXBUF(g_object_ref(pixbuf)));
}

}  // namespace

void SetDefaultWindowIcon() {
  const std::array<GObjectPtr<GdkPixbuf>, 2> icons{RenderIcon(48), RenderIcon(128)};
  GList* list = nullptr;
  for (const auto& icon : icons) {
    if (!icon) {
      g_list_free(list);
      return;
    }
    list = g_list_append(list, icon.get());
  }
  // GTK copies the list and takes its own reference to each image.
  gtk_window_set_default_icon_list(list);
  g_list_free(list);
}

}  // namespace xm
