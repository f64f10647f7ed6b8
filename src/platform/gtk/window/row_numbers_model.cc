#include "platform/gtk/window/row_numbers_model.h"

namespace lectern {
namespace {

struct RowNumbers {
  GObject parent;
  guint rows;
  gint stamp;
};
struct RowNumbersClass {
  GObjectClass parent;
};

void InitModelInterface(gpointer iface, gpointer);
GType RowNumbersType();

RowNumbers* Self(GtkTreeModel* model) { return G_TYPE_CHECK_INSTANCE_CAST(model, RowNumbersType(), RowNumbers); }

GType RowNumbersType() {
  static GType type = [] {
    GType t = g_type_register_static_simple(
        G_TYPE_OBJECT, "LecternRowNumbers", sizeof(RowNumbersClass), nullptr, sizeof(RowNumbers),
        [](GTypeInstance* instance, gpointer) { reinterpret_cast<RowNumbers*>(instance)->stamp = g_random_int(); },
        GTypeFlags(0));
    static const GInterfaceInfo model_info = {InitModelInterface, nullptr, nullptr};
    g_type_add_interface_static(t, GTK_TYPE_TREE_MODEL, &model_info);
    return t;
  }();
  return type;
}

// An iterator holds its row number; it is valid while the row exists.
bool SetIter(RowNumbers* self, GtkTreeIter* iter, guint row) {
  if (row >= self->rows) {
    iter->stamp = 0;
    return false;
  }
  iter->stamp = self->stamp;
  iter->user_data = GUINT_TO_POINTER(row);
  return true;
}

guint RowOf(GtkTreeIter* iter) { return GPOINTER_TO_UINT(iter->user_data); }

void InitModelInterface(gpointer interface, gpointer) {
  auto* iface = static_cast<GtkTreeModelIface*>(interface);
  iface->get_flags = [](GtkTreeModel*) { return GtkTreeModelFlags(GTK_TREE_MODEL_LIST_ONLY | GTK_TREE_MODEL_ITERS_PERSIST); };
  iface->get_n_columns = [](GtkTreeModel*) { return 1; };
  iface->get_column_type = [](GtkTreeModel*, gint) { return G_TYPE_UINT; };
  iface->get_iter = [](GtkTreeModel* model, GtkTreeIter* iter, GtkTreePath* path) -> gboolean {
    if (gtk_tree_path_get_depth(path) != 1) return FALSE;
    gint row = gtk_tree_path_get_indices(path)[0];
    return row >= 0 && SetIter(Self(model), iter, guint(row));
  };
  iface->get_path = [](GtkTreeModel*, GtkTreeIter* iter) {
    return gtk_tree_path_new_from_indices(gint(RowOf(iter)), -1);
  };
  iface->get_value = [](GtkTreeModel*, GtkTreeIter* iter, gint, GValue* value) {
    g_value_init(value, G_TYPE_UINT);
    g_value_set_uint(value, RowOf(iter));
  };
  iface->iter_next = [](GtkTreeModel* model, GtkTreeIter* iter) -> gboolean {
    return SetIter(Self(model), iter, RowOf(iter) + 1);
  };
  iface->iter_previous = [](GtkTreeModel* model, GtkTreeIter* iter) -> gboolean {
    guint row = RowOf(iter);
    if (row == 0) {
      iter->stamp = 0;
      return FALSE;
    }
    return SetIter(Self(model), iter, row - 1);
  };
  iface->iter_children = [](GtkTreeModel* model, GtkTreeIter* iter, GtkTreeIter* parent) -> gboolean {
    return !parent && SetIter(Self(model), iter, 0);
  };
  iface->iter_has_child = [](GtkTreeModel*, GtkTreeIter*) -> gboolean { return FALSE; };
  iface->iter_n_children = [](GtkTreeModel* model, GtkTreeIter* iter) -> gint {
    return iter ? 0 : gint(Self(model)->rows);
  };
  iface->iter_nth_child = [](GtkTreeModel* model, GtkTreeIter* iter, GtkTreeIter* parent, gint n) -> gboolean {
    return !parent && n >= 0 && SetIter(Self(model), iter, guint(n));
  };
  iface->iter_parent = [](GtkTreeModel*, GtkTreeIter* iter, GtkTreeIter*) -> gboolean {
    iter->stamp = 0;
    return FALSE;
  };
}

}  // namespace

GtkTreeModel* NewRowNumbersModel(guint rows) {
  auto* self = static_cast<RowNumbers*>(g_object_new(RowNumbersType(), nullptr));
  self->rows = rows > guint(G_MAXINT) ? guint(G_MAXINT) : rows;
  return GTK_TREE_MODEL(self);
}

}  // namespace lectern
