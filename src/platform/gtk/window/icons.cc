#include "platform/gtk/window/icons.h"

#include <string>

extern "C" void lectern_icons_register_resource(void);

namespace lectern {

GdkPixbuf* LoadIcon(std::string_view name, int size) {
  static const bool registered = (lectern_icons_register_resource(), true);
  (void)registered;
  std::string path = "/lectern/icons/" + std::string(name) + ".svg";
  return gdk_pixbuf_new_from_resource_at_scale(path.c_str(), size, size, TRUE, nullptr);
}

GtkWidget* IconImage(std::string_view name, int size) {
  GdkPixbuf* pixbuf = LoadIcon(name, size);
  if (!pixbuf) return gtk_image_new();
  GtkWidget* image = gtk_image_new_from_pixbuf(pixbuf);
  g_object_unref(pixbuf);
  return image;
}

}  // namespace lectern
