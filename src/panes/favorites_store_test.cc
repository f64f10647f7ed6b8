#include "panes/favorites_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "platform/message_box.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::ReadWholeFile;
using testing::TempDir;
using testing::WriteWholeFile;

// The names in a folder, sorted.
std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(FavoritesFileTest, ParsesPairsIgnoringDoubledSeparators) {
  auto one = ParseFavoritesFile("Home\x01" "file://c:/datastore/index.htm\x02");
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].name, "Home");
  EXPECT_EQ(one[0].url, "file://c:/datastore/index.htm");
  auto doubled = ParseFavoritesFile("Home\x01\x01" "file://c:/datastore/index.htm\x02\x02");
  ASSERT_EQ(doubled.size(), 1u);
  EXPECT_EQ(doubled[0].url, one[0].url);
  // A last name without its URL is dropped; earlier records stay.
  auto cut = ParseFavoritesFile("A\x01u1\x02" "B\x01u2\x02" "C\x01");
  ASSERT_EQ(cut.size(), 2u);
  EXPECT_EQ(cut[1].name, "B");
  EXPECT_TRUE(ParseFavoritesFile("lonely").empty());
  EXPECT_TRUE(ParseFavoritesFile("").empty());
  EXPECT_TRUE(ParseFavoritesFile("\x01\x02\x02").empty());
}

TEST(FavoritesStoreTest, RoundTripKeepsOrderAndRecordsOfAnyLength) {
  TempDir dir;
  std::string path = dir.Join("favorites.dat");
  FavoritesStore store;
  EXPECT_EQ(store.Load(path), FavoritesStore::LoadResult::kNoFile);
  std::string long_url = "file://c:/datastore/" + std::string(5000, 'x') + ".htm";
  EXPECT_EQ(store.Add("file://c:/datastore/a.htm", "First"), FavoritesStore::AddResult::kAdded);
  EXPECT_EQ(store.Add(long_url, std::string(2000, 'N')), FavoritesStore::AddResult::kAdded);
  EXPECT_EQ(store.Add("file://c:/datastore/b.htm", "\xC3\x9C" "ber"), FavoritesStore::AddResult::kAdded);
  ASSERT_TRUE(store.Save(path));
  EXPECT_EQ(ReadWholeFile(path).substr(0, 32), "First\x01" "file://c:/datastore/a.htm\x02");

  FavoritesStore again;
  EXPECT_EQ(again.Load(path), FavoritesStore::LoadResult::kLoaded);
  ASSERT_EQ(again.size(), 3u);
  EXPECT_EQ(again.at(1).url, long_url);
  EXPECT_EQ(again.at(1).name, std::string(2000, 'N'));
  EXPECT_EQ(again.at(2).name, "\xC3\x9C" "ber");
  // No temporary file is left beside it; the lock file stays for the next save.
  EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"favorites.dat", "favorites.dat.lock"}));
}

TEST(FavoritesStoreTest, SameUrlAsksBeforeRenaming) {
  FavoritesStore store;
  store.Add("file://c:/datastore/a.htm", "A");
  store.Add("file://c:/datastore/b.htm", "B");
  int asked = 0;
  auto no = [&](const Bookmark& existing, std::string_view name) {
    ++asked;
    EXPECT_EQ(existing.name, "A");
    EXPECT_EQ(name, "Again");
    return false;
  };
  EXPECT_EQ(store.Add("FILE://C:/DATASTORE/A.HTM", "Again", no), FavoritesStore::AddResult::kKept);
  EXPECT_EQ(store.at(0).name, "A");
  auto yes = [&](const Bookmark&, std::string_view) { return ++asked > 0; };
  EXPECT_EQ(store.Add("file://c:/datastore/A.htm", "Renamed", yes), FavoritesStore::AddResult::kRenamed);
  EXPECT_EQ(asked, 2);
  ASSERT_EQ(store.size(), 2u);
  EXPECT_EQ(store.at(0).name, "Renamed");
  EXPECT_EQ(store.at(0).url, "file://c:/datastore/a.htm");  // position and URL stay
  // Without a question the answer is "overwrite".
  EXPECT_EQ(store.Add("file://c:/datastore/b.htm", "B2"), FavoritesStore::AddResult::kRenamed);
  EXPECT_EQ(store.at(1).name, "B2");
}

TEST(FavoritesStoreTest, DuplicateRecordsInTheFileAskWhileLoading) {
  TempDir dir;
  std::string path = dir.Write("favorites.dat", "One\x01u\x02Two\x01U\x02Three\x01v\x02");
  FavoritesStore store;
  int asked = 0;
  store.Load(path, [&](const Bookmark&, std::string_view) { return ++asked, true; });
  EXPECT_EQ(asked, 1);
  ASSERT_EQ(store.size(), 2u);
  EXPECT_EQ(store.at(0).name, "Two");
}

TEST(FavoritesStoreTest, ConflictQuestionThroughMessageBoxes) {
  static int answer;
  static std::string caption;
  auto previous = SetMessageBoxHandler([](void*, std::string_view text, std::string_view cap, unsigned style) {
    caption = std::string(cap) + "|" + std::string(text) + "|" + std::to_string(style & 0xF);
    return answer;
  });
  answer = kIdNo;
  EXPECT_FALSE(AskOverwriteByMessageBox({"OLESTR(", ")n"}, "m"));
  EXPECT_EQ(caption, "Bookmark Conflicts|This bookmark already exists, overwrite it?|4");
  answer = kIdYes;
  EXPECT_TRUE(AskOverwriteByMessageBox({"OLESTR(", ")n"}, "m"));
  SetMessageBoxHandler(previous);
}

TEST(FavoritesStoreTest, EmptyTextsAndSeparatorBytesNeverReachTheFile) {
  FavoritesStore store;
  EXPECT_EQ(store.Add("", "name"), FavoritesStore::AddResult::kRefused);
  EXPECT_EQ(store.Add("url", ""), FavoritesStore::AddResult::kRefused);
  EXPECT_EQ(store.Add("url", "\x01\x02"), FavoritesStore::AddResult::kRefused);
  EXPECT_EQ(store.Add(std::string_view("u\x02r\0l", 5), "na\x01me"), FavoritesStore::AddResult::kAdded);
  EXPECT_EQ(store.at(0).url, "url");
  EXPECT_EQ(store.at(0).name, "name");
  EXPECT_FALSE(store.Rename(0, ""));
  EXPECT_FALSE(store.Rename(0, "\x02"));
  EXPECT_FALSE(store.Rename(5, "x"));
  EXPECT_TRUE(store.Rename(0, "new\x01name"));
  EXPECT_EQ(store.at(0).name, "newname");
  EXPECT_EQ(ParseFavoritesFile(EncodeFavoritesFile(store.bookmarks())).size(), 1u);
  EXPECT_FALSE(store.Remove(1));
  EXPECT_TRUE(store.Remove(0));
  EXPECT_EQ(store.size(), 0u);
}

TEST(FavoritesStoreTest, UnloadedOrUnreadableListNeverOverwritesTheFile) {
  TempDir dir;
  std::string path = dir.Write("favorites.dat", "Keep\x01u\x02");
  FavoritesStore never_loaded;
  EXPECT_FALSE(never_loaded.Save(path));
  EXPECT_EQ(ReadWholeFile(path), "Keep\x01u\x02");

  // A folder where the file should be cannot be read as one.
  std::string folder = dir.Join("folder.dat");
  std::filesystem::create_directory(folder);
  FavoritesStore unreadable;
  EXPECT_EQ(unreadable.Load(folder), FavoritesStore::LoadResult::kUnreadable);
  EXPECT_FALSE(unreadable.may_save());
  EXPECT_FALSE(unreadable.Save(path));
  EXPECT_EQ(ReadWholeFile(path), "Keep\x01u\x02");

  if (geteuid() != 0) {  // root reads anything
    std::string locked = dir.Write("locked.dat", "A\x01u\x02");
    chmod(locked.c_str(), 0);
    FavoritesStore store;
    EXPECT_EQ(store.Load(locked), FavoritesStore::LoadResult::kUnreadable);
    chmod(locked.c_str(), 0600);
  }
}

TEST(FavoritesStoreTest, AReadOnlyFileStaysAsItIsAndAWritableOneKeepsItsMode) {
  TempDir dir;
  std::string path = dir.Write("favorites.dat", "Old\x01u\x02");
  FavoritesStore store;
  ASSERT_EQ(store.Load(path), FavoritesStore::LoadResult::kLoaded);
  store.Add("v", "New");
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  EXPECT_FALSE(store.Save(path));
  EXPECT_EQ(ReadWholeFile(path), "Old\x01u\x02");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  EXPECT_TRUE(store.Save(path));
  EXPECT_EQ(ReadWholeFile(path), "Old\x01u\x02New\x01v\x02");
  struct stat saved;
  ASSERT_EQ(stat(path.c_str(), &saved), 0);
  EXPECT_EQ(saved.st_mode & 07777, 0640u);
}

TEST(FavoritesStoreTest, FailedWriteLeavesTheOldFile) {
  TempDir dir;
  std::string path = dir.Write("favorites.dat", "Old\x01u\x02");
  FavoritesStore store;
  ASSERT_EQ(store.Load(path), FavoritesStore::LoadResult::kLoaded);
  store.Add("v", "New");
  // Missing folder: the temporary file cannot be made, nothing changes.
  EXPECT_FALSE(store.Save(dir.Join("missing/favorites.dat")));
  // The target is a non-empty folder: the rename fails and the temporary file is removed.
  std::string blocked = dir.Join("blocked.dat");
  std::filesystem::create_directories(blocked + "/inside");
  EXPECT_FALSE(store.Save(blocked));
  EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"blocked.dat", "blocked.dat.lock", "favorites.dat"}));
  EXPECT_EQ(ReadWholeFile(path), "Old\x01u\x02");
  ASSERT_TRUE(store.Save(path));
  EXPECT_EQ(ReadWholeFile(path), "Old\x01u\x02New\x01v\x02");
}

std::vector<std::string> Names(const std::vector<Bookmark>& list) {
  std::vector<std::string> names;
  for (const Bookmark& b : list) names.push_back(b.name);
  return names;
}

TEST(FavoritesMergeTest, BothSidesAdditionsAndRemovalsSurviveAndTheLaterNameWins) {
  std::vector<Bookmark> base{{"u/a", "A"}, {"u/b", "B"}, {"u/c", "C"}, {"u/d", "D"}};
  // We removed b, renamed c, added e; they removed d, renamed a and c, added f.
  std::vector<Bookmark> ours{{"u/a", "A"}, {"u/c", "C ours"}, {"u/d", "D"}, {"u/e", "E"}};
  std::vector<Bookmark> theirs{{"U/A", "A theirs"}, {"u/b", "B"}, {"u/c", "C theirs"}, {"u/f", "F"}};
  EXPECT_EQ(Names(MergeFavorites(base, ours, theirs)),
            (std::vector<std::string>{"A theirs", "C ours", "F", "E"}));
  // One they removed but we renamed since is kept; both adding one URL keeps it once, ours.
  std::vector<Bookmark> renamed_gone{{"u/a", "A"}, {"u/d", "D renamed"}, {"u/x", "X ours"}};
  EXPECT_EQ(Names(MergeFavorites(base, renamed_gone, {{"u/a", "A"}, {"u/x", "X theirs"}})),
            (std::vector<std::string>{"A", "X ours", "D renamed"}));
  EXPECT_EQ(Names(MergeFavorites({}, {}, theirs)), Names(theirs)) << "nothing of ours changes nothing";
}

TEST(FavoritesStoreTest, TwoProcessesAddingAtOnceLoseNothing) {
  TempDir dir;
  std::string path = dir.Join("favorites.dat");
  // Every save syncs the file and its folder, which a busy disk makes slow; forty saves each
  // still interleave many times over (a store without the lock loses most of one side's marks).
  constexpr int kEach = 40;
  std::vector<pid_t> children;
  for (int process = 0; process < 2; ++process) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Each as a window would: loaded once at the start, saved after every change.
      FavoritesStore store;
      store.Load(path);
      bool ok = true;
      for (int i = 0; i < kEach; ++i) {
        std::string id = std::to_string(process) + "-" + std::to_string(i);
        ok = store.Add("file://c:/datastore/" + id + ".htm", "Mark " + id) == FavoritesStore::AddResult::kAdded && ok;
        ok = store.Save(path) && ok;
      }
      ::_exit(ok ? 0 : 1);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  FavoritesStore result;
  ASSERT_EQ(result.Load(path), FavoritesStore::LoadResult::kLoaded);
  EXPECT_EQ(result.size(), size_t(2 * kEach));
  // A save's list is the merged one: the other process's bookmarks show up in it.
  FavoritesStore late;
  late.Load(dir.Join("elsewhere.dat"));
  ASSERT_TRUE(late.Add("file://c:/datastore/late.htm", "Late") == FavoritesStore::AddResult::kAdded);
  ASSERT_TRUE(late.Save(path));
  EXPECT_EQ(late.size(), size_t(2 * kEach + 1));
}

TEST(FavoritesStoreTest, ASaveRemovesWhatKilledSavesLeftBehind) {
  TempDir dir;
  std::string path = dir.Join("favorites.dat");
  std::string stale = dir.Write("favorites.dat.tmp-12345", "half a list");
  std::string other = dir.Write("other.dat.tmp-1", "not ours to clean");
  FavoritesStore store;
  store.Load(path);
  store.Add("file://c:/datastore/a.htm", "A");
  ASSERT_TRUE(store.Save(path));
  EXPECT_FALSE(std::filesystem::exists(stale));
  EXPECT_TRUE(std::filesystem::exists(other));
  EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"favorites.dat", "favorites.dat.lock", "other.dat.tmp-1"}));
}

}  // namespace
}  // namespace lectern
