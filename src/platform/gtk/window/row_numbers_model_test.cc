// The search pane's list model: row i holds i, for GTK's own walks and lookups, and nothing past
// its last row.
#include "platform/gtk/window/row_numbers_model.h"

#include <gtest/gtest.h>

namespace lectern {
namespace {

guint ValueOf(GtkTreeModel* model, GtkTreeIter* iter) {
  guint value = G_MAXUINT;
  gtk_tree_model_get(model, iter, 0, &value, -1);
  return value;
}

TEST(RowNumbersModelTest, RowsHoldTheirNumbersAndNothingLiesPastTheEnd) {
  GtkTreeModel* model = NewRowNumbersModel(3);
  EXPECT_EQ(gtk_tree_model_get_n_columns(model), 1);
  EXPECT_EQ(gtk_tree_model_get_column_type(model, 0), G_TYPE_UINT);
  EXPECT_EQ(gtk_tree_model_iter_n_children(model, nullptr), 3);

  GtkTreeIter iter;
  guint seen = 0;
  for (bool more = gtk_tree_model_get_iter_first(model, &iter); more; more = gtk_tree_model_iter_next(model, &iter)) {
    EXPECT_EQ(ValueOf(model, &iter), seen);
    GtkTreePath* path = gtk_tree_model_get_path(model, &iter);
    EXPECT_EQ(gtk_tree_path_get_indices(path)[0], gint(seen));
    gtk_tree_path_free(path);
    EXPECT_FALSE(gtk_tree_model_iter_has_child(model, &iter));
    EXPECT_EQ(gtk_tree_model_iter_n_children(model, &iter), 0);
    ++seen;
  }
  EXPECT_EQ(seen, 3u);

  ASSERT_TRUE(gtk_tree_model_iter_nth_child(model, &iter, nullptr, 2));
  EXPECT_EQ(ValueOf(model, &iter), 2u);
  ASSERT_TRUE(gtk_tree_model_iter_previous(model, &iter));
  EXPECT_EQ(ValueOf(model, &iter), 1u);
  GtkTreeIter child;
  EXPECT_FALSE(gtk_tree_model_iter_children(model, &child, &iter));
  EXPECT_FALSE(gtk_tree_model_iter_nth_child(model, &iter, nullptr, 3));
  EXPECT_FALSE(gtk_tree_model_iter_nth_child(model, &iter, nullptr, -1));
  GtkTreePath* past = gtk_tree_path_new_from_indices(3, -1);
  EXPECT_FALSE(gtk_tree_model_get_iter(model, &iter, past));
  gtk_tree_path_free(past);
  GtkTreePath* deep = gtk_tree_path_new_from_indices(0, 0, -1);
  EXPECT_FALSE(gtk_tree_model_get_iter(model, &iter, deep));
  gtk_tree_path_free(deep);
  g_object_unref(model);

  GtkTreeModel* empty = NewRowNumbersModel(0);
  EXPECT_FALSE(gtk_tree_model_get_iter_first(empty, &iter));
  EXPECT_EQ(gtk_tree_model_iter_n_children(empty, nullptr), 0);
  g_object_unref(empty);
}

// A list view over it shows every row and follows a row changed.
TEST(RowNumbersModelTest, AListShowsEveryRow) {
  GtkTreeModel* model = NewRowNumbersModel(1000);
  GtkWidget* list = gtk_tree_view_new_with_model(model);
  g_object_ref_sink(list);
  GtkTreePath* path = gtk_tree_path_new_from_indices(999, -1);
  gtk_tree_view_set_cursor(GTK_TREE_VIEW(list), path, nullptr, FALSE);
  GtkTreePath* cursor = nullptr;
  gtk_tree_view_get_cursor(GTK_TREE_VIEW(list), &cursor, nullptr);
  ASSERT_NE(cursor, nullptr);
  EXPECT_EQ(gtk_tree_path_get_indices(cursor)[0], 999);
  GtkTreeIter iter;
  ASSERT_TRUE(gtk_tree_model_get_iter(model, &iter, path));
  gtk_tree_model_row_changed(model, path, &iter);
  gtk_tree_path_free(cursor);
  gtk_tree_path_free(path);
  g_object_unref(list);
  g_object_unref(model);
}

}  // namespace
}  // namespace lectern
