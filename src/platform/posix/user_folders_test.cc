#include "platform/user_folders.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/environment.h"

namespace lectern {
namespace {

using testing::ScopedEnvironment;

TEST(UserFoldersTest, DataAndConfigFollowTheVariablesThenTheHomeFolder) {
  ScopedEnvironment env;
  env.Set("HOME", "/home/reader/");
  env.Set("XDG_DATA_HOME", "/data//");
  env.Set("XDG_CONFIG_HOME", "/conf");
  EXPECT_EQ(UserDataFolder(), "/data/lectern");
  EXPECT_EQ(UserConfigFolder(), "/conf/lectern");

  // Unset, empty and relative settings all fall back to the home folder.
  env.Set("XDG_DATA_HOME", nullptr);
  env.Set("XDG_CONFIG_HOME", "");
  EXPECT_EQ(UserDataFolder(), "/home/reader/.local/share/lectern");
  EXPECT_EQ(UserConfigFolder(), "/home/reader/.config/lectern");
  env.Set("XDG_DATA_HOME", "relative/data");
  EXPECT_EQ(UserDataFolder(), "/home/reader/.local/share/lectern");

  env.Set("HOME", "/");
  EXPECT_EQ(UserDataFolder(), "/.local/share/lectern");
}

TEST(UserFoldersTest, TemporaryFolderIsNeverEmpty) {
  ScopedEnvironment env;
  env.Set("TMPDIR", "/var/tmp/");
  EXPECT_EQ(TemporaryFolder(), "/var/tmp");
  env.Set("TMPDIR", "not/absolute");
  EXPECT_EQ(TemporaryFolder(), "/tmp");
  env.Set("TMPDIR", nullptr);
  EXPECT_EQ(TemporaryFolder(), "/tmp");
}

}  // namespace
}  // namespace lectern
