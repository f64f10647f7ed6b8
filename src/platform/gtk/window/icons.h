// The reader's own pictures for bars, panes and buttons: SVG files of resources/icons built into
// the program, drawn at the size asked for.
#pragma once

#include <gtk/gtk.h>

#include <string_view>

namespace lectern {

// `name` is the file name without ".svg"; null when there is no such picture. The caller owns the
// reference.
GdkPixbuf* LoadIcon(std::string_view name, int size = 16);
// An image widget of the picture, or of nothing when it is missing.
GtkWidget* IconImage(std::string_view name, int size = 16);

}  // namespace lectern
