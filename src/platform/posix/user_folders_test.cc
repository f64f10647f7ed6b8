#include "platform/user_folders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

namespace lectern {
namespace {

// Sets variables for one test and puts the old values back afterwards.
class Environment {
 public:
  ~Environment() {
    for (auto& [name, value] : saved_) {
      if (value) setenv(name.c_str(), value->c_str(), 1);
      else unsetenv(name.c_str());
    }
  }
  void Set(const char* name, const char* value) {
    if (!saved_.count(name)) {
      const char* old = std::getenv(name);
      saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

TEST(UserFoldersTest, DataAndConfigFollowTheVariablesThenTheHomeFolder) {
  Environment env;
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
  Environment env;
  env.Set("TMPDIR", "/var/tmp/");
  EXPECT_EQ(TemporaryFolder(), "/var/tmp");
  env.Set("TMPDIR", "not/absolute");
  EXPECT_EQ(TemporaryFolder(), "/tmp");
  env.Set("TMPDIR", nullptr);
  EXPECT_EQ(TemporaryFolder(), "/tmp");
}

}  // namespace
}  // namespace lectern
