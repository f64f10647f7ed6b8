// The entry point of every window test program: a private per-user store, GTK, and the book's
// file layer, as the reader's own start-up sets them.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <string>

#include "datastore/virtual_file_layer.h"
#include "platform/posix/registry_store.h"
#include "tests/support/temp_dir.h"

namespace {

// Each test starts with a reader that remembers nothing of the tests before it (window places,
// reading positions, script's lists): a configuration folder, and so a registry store, of its own.
class FreshMemory : public ::testing::EmptyTestEventListener {
 public:
  explicit FreshMemory(const lectern::testing::TempDir& home) : home_(home) {}
  void OnTestStart(const ::testing::TestInfo&) override {
    setenv("XDG_CONFIG_HOME", home_.Join("config-" + std::to_string(++count_)).c_str(), 1);
    lectern::UseRegistryStore({lectern::DefaultRegistryStorePath(), 500});
  }

 private:
  const lectern::testing::TempDir& home_;
  int count_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  lectern::testing::TempDir home;
  setenv("XDG_CONFIG_HOME", home.Join("config").c_str(), 1);
  ::testing::UnitTest::GetInstance()->listeners().Append(new FreshMemory(home));
  setenv("XDG_DATA_HOME", home.Join("data").c_str(), 1);
  gtk_init(&argc, &argv);
  lectern::InstallFileInterception();
  return RUN_ALL_TESTS();
}
