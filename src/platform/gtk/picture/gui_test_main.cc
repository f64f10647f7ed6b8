// The picture tests run on a real display (a virtual one under CTest).
#include <gtest/gtest.h>
#include <gtk/gtk.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  gtk_init(&argc, &argv);
  return RUN_ALL_TESTS();
}
