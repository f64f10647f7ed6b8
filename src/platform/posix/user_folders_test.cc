#include "platform/user_folders.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tests/support/environment.h"
#include "tests/support/temp_dir.h"

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

TEST(UserFoldersTest, PrivateFilesGoWhereOnlyThisUserCanEnter) {
  testing::TempDir dir;
  ScopedEnvironment env;
  auto mode = [](const std::string& path) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0u;
  };
  env.Set("XDG_RUNTIME_DIR", dir.path().c_str());
  SetPrivateFilesFallback(dir.Join("working"));
  EXPECT_EQ(PrivateFilesFolder(), dir.Join("lectern"));
  EXPECT_EQ(mode(dir.Join("lectern")), S_IFDIR | 0700u);

  // One of ours left open to others is closed again; a link in its place is refused, and the
  // book's working folder serves instead.
  ASSERT_EQ(::chmod(dir.Join("lectern").c_str(), 0777), 0);
  EXPECT_EQ(PrivateFilesFolder(), dir.Join("lectern"));
  EXPECT_EQ(mode(dir.Join("lectern")), S_IFDIR | 0700u);
  ASSERT_EQ(::rmdir(dir.Join("lectern").c_str()), 0);
  ASSERT_EQ(::symlink("/tmp", dir.Join("lectern").c_str()), 0);
  ASSERT_EQ(::mkdir(dir.Join("working").c_str(), 0755), 0);
  EXPECT_EQ(PrivateFilesFolder(), dir.Join("working/private"));
  EXPECT_EQ(mode(dir.Join("working/private")), S_IFDIR | 0700u);

  env.Set("XDG_RUNTIME_DIR", nullptr);
  EXPECT_EQ(PrivateFilesFolder(), dir.Join("working/private"));
  SetPrivateFilesFallback("");
  EXPECT_EQ(PrivateFilesFolder(), "") << "never the shared temporary folder";

  EXPECT_TRUE(IsOwnRegularFile(dir.Write("mine.txt", "x")));
  EXPECT_FALSE(IsOwnRegularFile(dir.Join("lectern")));
  EXPECT_FALSE(IsOwnRegularFile(dir.Join("working")));
  ASSERT_EQ(::symlink(dir.Join("mine.txt").c_str(), dir.Join("link.txt").c_str()), 0);
  EXPECT_FALSE(IsOwnRegularFile(dir.Join("link.txt")));
  if (::geteuid() != 0) {
    EXPECT_FALSE(IsOwnRegularFile("/etc/passwd")) << "another user's file";
  }
}

}  // namespace
}  // namespace lectern
