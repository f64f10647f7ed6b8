// A flat list model whose row i holds the number i in its one column (G_TYPE_UINT). Made with its
// row count, it is ready at once, with no per-row work: the search pane maps rows to hits itself.
#pragma once

#include <gtk/gtk.h>

namespace lectern {

// A new model of `rows` rows (the caller owns the reference).
GtkTreeModel* NewRowNumbersModel(guint rows);

}  // namespace lectern
