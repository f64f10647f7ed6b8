// The entry point of every window test program: a private per-user store, GTK, and the book's
// file layer, as the reader's own start-up sets them.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>

#include "datastore/virtual_file_layer.h"
#include "tests/support/temp_dir.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  lectern::testing::TempDir home;
  setenv("XDG_CONFIG_HOME", home.Join("config").c_str(), 1);
  setenv("XDG_DATA_HOME", home.Join("data").c_str(), 1);
  gtk_init(&argc, &argv);
  lectern::InstallFileInterception();
  return RUN_ALL_TESTS();
}
