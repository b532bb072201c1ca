#include "platform/app_icon.h"

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtk/gtk.h>

#include <array>
#include <span>

#include "platform/app_icon_png.h"
#include "platform/gobject_ptr.h"

namespace xm {
namespace {

// One compiled-in PNG image, or null when it cannot be read.
GObjectPtr<GdkPixbuf> LoadIcon(std::span<const unsigned char> png) {
  GObjectPtr<GdkPixbufLoader> loader(gdk_pixbuf_loader_new_with_type("png", nullptr));
  if (!loader) return nullptr;
  // A failed write closes the loader itself; only a successful one needs the close.
  if (!gdk_pixbuf_loader_write(loader.get(), png.data(), png.size(), nullptr) ||
      !gdk_pixbuf_loader_close(loader.get(), nullptr)) {
    return nullptr;
  }
  GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader.get());
  if (pixbuf == nullptr) return nullptr;
  return GObjectPtr<GdkPixbuf>(GDK_PIXBUF(g_object_ref(pixbuf)));
}

}  // namespace

void SetDefaultWindowIcon() {
  const std::array<GObjectPtr<GdkPixbuf>, 2> icons{LoadIcon(kAppIcon48), LoadIcon(kAppIcon128)};
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
