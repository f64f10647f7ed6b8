#include "panes/contents_tree_model.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <string>

#include "archive/test_books.h"
#include "archive/zpk.h"
#include "book/xml/parse_xml.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using Open = ContentsTreeModel::OpenEvent;
using Kind = DirectoryRecord::Kind;

// The items as "label(image)" lines, indented by depth, for whole-tree comparisons.
std::string Outline(const ContentsTreeModel& model) {
  std::string out;
  struct Pending {
    int index;
    int depth;
  };
  std::vector<Pending> pending;
  for (auto it = model.top_level().rbegin(); it != model.top_level().rend(); ++it) pending.push_back({*it, 0});
  while (!pending.empty()) {
    Pending next = pending.back();
    pending.pop_back();
    const auto& item = model.item(next.index);
    out += std::string(size_t(next.depth) * 2, ' ') + item.label + "(" + std::to_string(item.image) + ")\n";
    for (auto it = item.children.rbegin(); it != item.children.rend(); ++it) pending.push_back({*it, next.depth + 1});
  }
  return out;
}

int Find(const ContentsTreeModel& model, std::string_view label) {
  for (size_t i = 0; i < model.items().size(); ++i)
    if (model.items()[i].label == label) return int(i);
  return ContentsTreeModel::kNone;
}

ContentsTreeModel ContentsOf(std::string_view xml, bool preview) {
  XmlParseResult parsed = ParseXml(xml);
  EXPECT_TRUE(parsed.ok()) << xml;
  ContentsTreeModel model(preview, "Guide");
  model.SetMode(TreeMode::kContents);
  model.FillFromContents(parsed.document ? parsed.document->GetRoot() : nullptr);
  return model;
}

constexpr char kConfig[] =
    "<book><other><toc><item text='Hidden' url='no.htm'/></toc></other>"
    "<toc>"
    "  <chapter text='One' url='one.htm'>"
    "    <page text='One A' url='pages\\one a.htm'/>"
    "    <page text='One B'><leaf text='Deep' url='/deep.htm' extra='x'/></page>"
    "  </chapter>"
    "  <x text='Site' url='https://example.org/x?y=1'/>"
    "  <x text='No link'/>"
    "</toc>"
    "<toc><item text='Second toc' url='second.htm'/></toc></book>";

TEST(ContentsTreeModelTest, ContentsFillTakesTheFirstDirectTocAndClearsTheRoot) {
  ContentsTreeModel model = ContentsOf(kConfig, false);
  EXPECT_EQ(Outline(model),
            "One(0)\n"
            "  One A(4)\n"
            "  One B(0)\n"
            "    Deep(4)\n"
            "Site(4)\n"
            "No link(4)\n");
  EXPECT_EQ(model.item(Find(model, "One")).url, "one.htm");
  EXPECT_EQ(model.item(Find(model, "One B")).url, "");
  EXPECT_EQ(Find(model, "Guide"), ContentsTreeModel::kNone) << "the book's root item goes";

  // Without a "toc" of its own (only a nested one) the tree is empty, the root item gone too.
  ContentsTreeModel nested = ContentsOf("<book><a><toc><i text='x' url='x.htm'/></toc></a></book>", false);
  EXPECT_TRUE(nested.items().empty());
  ContentsTreeModel none(false, "");
  none.FillFromContents(nullptr);
  EXPECT_TRUE(none.items().empty());
}

TEST(ContentsTreeModelTest, ContentsUrlsInArchiveMode) {
  ContentsTreeModel model = ContentsOf(kConfig, false);
  EXPECT_EQ(model.TargetUrl(Find(model, "One"), ""), "file://c:/datastore/one.htm");
  EXPECT_EQ(model.TargetUrl(Find(model, "One A"), ""), "file://c:/datastore/pages/one a.htm") << "'\\' becomes '/'";
  EXPECT_EQ(model.TargetUrl(Find(model, "Deep"), ""), "file://c:/datastore/deep.htm");
  EXPECT_EQ(model.TargetUrl(Find(model, "Site"), ""), "https://example.org/x?y=1") << "URLs pass unchanged";
  EXPECT_EQ(model.TargetUrl(Find(model, "No link"), ""), "");
  EXPECT_EQ(model.TargetUrl(Find(model, "One B"), ""), "");

  // A section with a page opens when selected, not when clicked; a leaf only when clicked or on
  // Enter, not when the arrow keys move the selection onto it.
  int one = Find(model, "One"), leaf = Find(model, "One A");
  EXPECT_EQ(model.UrlToOpen(one, Open::kSelectionChange, ""), "file://c:/datastore/one.htm");
  EXPECT_EQ(model.UrlToOpen(one, Open::kClick, ""), "file://c:/datastore/one.htm") << "a picked section opens too";
  EXPECT_EQ(model.UrlToOpen(one, Open::kEnter, ""), "file://c:/datastore/one.htm");
  EXPECT_EQ(model.UrlToOpen(leaf, Open::kSelectionChange, ""), "");
  EXPECT_EQ(model.UrlToOpen(leaf, Open::kClick, ""), "file://c:/datastore/pages/one a.htm");
  EXPECT_EQ(model.UrlToOpen(leaf, Open::kEnter, ""), "file://c:/datastore/pages/one a.htm");
  EXPECT_EQ(model.UrlToOpen(-1, Open::kClick, ""), "");
  EXPECT_EQ(model.UrlToOpen(999, Open::kClick, ""), "");

  ContentsTreeModel bare = ContentsOf("<b><toc><i text='Root' url='/'/><i text='Back' url='\\'/></toc></b>", false);
  EXPECT_EQ(bare.UrlToOpen(Find(bare, "Root"), Open::kClick, ""), "") << "the bare root opens nothing";
  EXPECT_EQ(bare.UrlToOpen(Find(bare, "Back"), Open::kClick, ""), "");
}

TEST(ContentsTreeModelTest, ContentsUrlsInPreviewModeJoinTheBookFolder) {
  ContentsTreeModel model = ContentsOf(kConfig, true);
  EXPECT_EQ(model.TargetUrl(Find(model, "One A"), "/home/me/book"), "file:///home/me/book/pages/one a.htm");
  EXPECT_EQ(model.TargetUrl(Find(model, "Deep"), "/home/me/book"), "file:///home/me/book/deep.htm")
      << "a leading '/' is dropped before the join";
  EXPECT_EQ(model.TargetUrl(Find(model, "Deep"), "/home/me/book/"), "file:///home/me/book/deep.htm");
  EXPECT_EQ(model.TargetUrl(Find(model, "Site"), "/home/me/book"), "https://example.org/x?y=1");
  EXPECT_EQ(model.TargetUrl(Find(model, "One A"), ""), "") << "no book folder, no page";
  // The first section of a project's contents is a section like any other.
  EXPECT_EQ(model.UrlToOpen(Find(model, "One"), Open::kSelectionChange, "/b"), "file:///b/one.htm");
}

TEST(ContentsTreeModelTest, DeeplyNestedContentsFillWithoutRecursion) {
  std::string xml = "<book><toc>";
  constexpr int kDepth = 20000;
  for (int i = 0; i < kDepth; ++i) xml += "<i text='n" + std::to_string(i) + "'>";
  for (int i = 0; i < kDepth; ++i) xml += "</i>";
  xml += "</toc></book>";
  XmlParseResult parsed = ParseXml(xml);
  if (!parsed.ok()) GTEST_SKIP() << "the parser refuses this depth: " << parsed.description;
  ContentsTreeModel model(false, "B");
  model.FillFromContents(parsed.document->GetRoot());
  ASSERT_EQ(model.items().size(), size_t(kDepth));
  EXPECT_EQ(model.item(kDepth - 1).parent, kDepth - 2);
  EXPECT_EQ(model.item(kDepth - 1).image, kImagePage);
  EXPECT_EQ(model.item(0).image, kImageClosedFolder);
}

std::vector<DirectoryRecord> Records(std::initializer_list<DirectoryRecord> records) { return records; }

TEST(ContentsTreeModelTest, DirectoryFillFollowsTheRecords) {
  ContentsTreeModel model(false, "");
  model.SetMode(TreeMode::kDirectory);
  model.FillFromDirectoryRecords(Records({
      {Kind::kFile, "index.htm"},
      {Kind::kDirectory, "Pages"},
      {Kind::kFile, "a.htm"},
      {Kind::kDirectory, "empty"},
      {Kind::kLeave, {}},
      {Kind::kFile, "tone.wav:"},
      {Kind::kLeave, {}},
      {Kind::kLeave, {}},  // at the root: stays there
      {Kind::kFile, "tone.wav"},
      {Kind::kEnd, {}},
      {Kind::kFile, "after-end.htm"},
  }));
  EXPECT_EQ(Outline(model),
            "E-Book(0)\n"
            "  index.htm(4)\n"
            "  Pages(0)\n"
            "    a.htm(4)\n"
            "    empty(4)\n"
            "  tone.wav(4)\n");

  EXPECT_EQ(model.TargetUrl(Find(model, "a.htm"), ""), "file://c:/datastore/Pages/a.htm");
  EXPECT_EQ(model.TargetUrl(Find(model, "index.htm"), ""), "file://c:/datastore/index.htm");
  EXPECT_EQ(model.UrlToOpen(Find(model, "Pages"), Open::kSelectionChange, ""), "") << "folders never open";
  EXPECT_EQ(model.UrlToOpen(Find(model, "Pages"), Open::kClick, ""), "");
  EXPECT_EQ(model.UrlToOpen(Find(model, "a.htm"), Open::kClick, ""), "file://c:/datastore/Pages/a.htm");
  EXPECT_EQ(model.UrlToOpen(Find(model, "a.htm"), Open::kSelectionChange, ""), "");
  // An empty folder is a leaf by its look; it opens as the book path of that name.
  EXPECT_EQ(model.UrlToOpen(Find(model, "empty"), Open::kClick, ""), "file://c:/datastore/Pages/empty");

  ContentsTreeModel lonely(false, "Only root");
  lonely.SetMode(TreeMode::kDirectory);
  lonely.FillFromDirectoryRecords({});
  EXPECT_EQ(lonely.ItemPath(lonely.root()), "/");
  EXPECT_EQ(lonely.UrlToOpen(lonely.root(), Open::kClick, ""), "") << "the bare root opens nothing";
}

TEST(ContentsTreeModelTest, DirectoryFillEdgeRecords) {
  ContentsTreeModel model(false, "Book");
  model.SetMode(TreeMode::kDirectory);
  model.FillFromDirectoryRecords(Records({
      {Kind::kDirectory, "Docs"},
      {Kind::kDirectory, "/"},  // back to the root after its item is in
      {Kind::kFile, "top.htm"},
      {Kind::kDirectory, "media:"},  // not shown, and nothing inside it either
      {Kind::kFile, "inside.htm"},
      {Kind::kDirectory, "deeper"},
      {Kind::kLeave, {}},
      {Kind::kLeave, {}},
      {Kind::kFile, "still-top.htm"},
      {Kind::kDirectory, ""},  // ends the fill
      {Kind::kFile, "never.htm"},
  }));
  EXPECT_EQ(Outline(model),
            "Book(0)\n"
            "  Docs(0)\n"
            "    /(4)\n"
            "  top.htm(4)\n"
            "  still-top.htm(4)\n");

  // The folder that becomes current is the first child of that name, letter case ignored.
  ContentsTreeModel twice(false, "Book");
  twice.SetMode(TreeMode::kDirectory);
  twice.FillFromDirectoryRecords(Records({
      {Kind::kDirectory, "Img"},
      {Kind::kLeave, {}},
      {Kind::kDirectory, "IMG"},
      {Kind::kFile, "x.png"},
      {Kind::kLeave, {}},
  }));
  EXPECT_EQ(Outline(twice), "Book(0)\n  Img(0)\n    x.png(4)\n  IMG(4)\n");
}

TEST(ContentsTreeModelTest, DeepDirectoryRecordsAndLongNames) {
  std::vector<DirectoryRecord> records;
  constexpr int kDepth = 50000;
  for (int i = 0; i < kDepth; ++i) records.push_back({Kind::kDirectory, "d"});
  records.push_back({Kind::kFile, "f.htm"});
  ContentsTreeModel model(false, "Book");
  model.SetMode(TreeMode::kDirectory);
  model.FillFromDirectoryRecords(records);
  ASSERT_EQ(model.items().size(), size_t(kDepth + 2));
  std::string url = model.TargetUrl(int(model.items().size()) - 1, "");
  EXPECT_EQ(url.size(), std::string("file://c:/datastore/").size() + size_t(kDepth) * 2 + 5);

  // A name longer than any label buffer still becomes the current folder.
  std::string long_name(400, 'n');
  ContentsTreeModel wide(false, "Book");
  wide.SetMode(TreeMode::kDirectory);
  wide.FillFromDirectoryRecords(Records({{Kind::kDirectory, long_name}, {Kind::kFile, "in.htm"}}));
  EXPECT_EQ(wide.TargetUrl(Find(wide, "in.htm"), ""), "file://c:/datastore/" + long_name + "/in.htm");
}

TEST(ContentsTreeModelTest, RecordsOfAPackedBookAreInStoredOrder) {
  testing::TempDir dir;
  testing::TestBook book;
  book.files = {{"index.htm", "<p>i</p>"}, {"pages/b.htm", "b"}, {"pages/a.htm", "a"},
                {"media/tone.wav", "RIFF...."}, {"empty/", ""}};
  book.raw = {{"media/tone.wav", true}};
  ASSERT_TRUE(testing::WriteTestBook(dir.Join("b.ebk"), book));
  ZPK zpk;
  ASSERT_TRUE(zpk.Open(dir.Join("b.ebk")));
  std::vector<DirectoryRecord> records = DirectoryRecordsOf(zpk.directory());
  std::string listed;
  for (const DirectoryRecord& r : records) {
    switch (r.kind) {
      case Kind::kDirectory: listed += "[" + r.name + " "; break;
      case Kind::kLeave: listed += "] "; break;
      case Kind::kFile: listed += r.name + " "; break;
      case Kind::kEnd: listed += "."; break;
    }
  }
  // The writer stores the files in the order it was given them; the records replay that order.
  EXPECT_EQ(listed, "[empty ] index.htm [media tone.wav tone.wav: ] [pages a.htm b.htm ] .");

  ContentsTreeModel model(false, "Packed");
  model.SetMode(TreeMode::kDirectory);
  model.FillFromDirectoryRecords(records);
  EXPECT_EQ(Outline(model),
            "Packed(0)\n  empty(4)\n  index.htm(4)\n  media(0)\n    tone.wav(4)\n  pages(0)\n    a.htm(4)\n"
            "    b.htm(4)\n");
  EXPECT_EQ(model.UrlToOpen(Find(model, "tone.wav"), Open::kClick, ""), "file://c:/datastore/media/tone.wav");

  FileSystem empty_tree;
  EXPECT_EQ(DirectoryRecordsOf(empty_tree).size(), 1u);
}

TEST(ContentsTreeModelTest, FolderFillListsTheDiskAndOpensFileUrls) {
  testing::TempDir dir;
  dir.Write("book/index.htm", "i");
  dir.Write("book/.hidden", "h");
  dir.Write("book/pages/one.htm", "1");
  dir.Write("book/pages/deep/two.htm", "2");
  ASSERT_EQ(::mkdir(dir.Join("book/nothing").c_str(), 0755), 0);

  ContentsTreeModel model(true, "ignored in Preview Mode");
  model.SetMode(TreeMode::kDirectory);
  EXPECT_TRUE(model.top_level().empty());
  ASSERT_TRUE(model.FillFromFolder(dir.Join("book") + "//"));
  std::string folder = dir.Join("book");
  ASSERT_EQ(model.top_level().size(), 1u);
  int top = model.root();
  EXPECT_EQ(model.item(top).label, folder) << "trailing separators removed";
  std::set<std::string> top_names;
  for (int child : model.item(top).children) top_names.insert(model.item(child).label);
  EXPECT_EQ(top_names, (std::set<std::string>{"index.htm", ".hidden", "pages", "nothing"}));
  EXPECT_EQ(model.item(Find(model, "pages")).image, kImageClosedFolder);
  EXPECT_EQ(model.item(Find(model, "nothing")).image, kImageClosedFolder) << "a folder looks like one, empty or not";
  EXPECT_EQ(model.item(Find(model, "two.htm")).image, kImagePage);

  EXPECT_EQ(model.UrlToOpen(Find(model, "two.htm"), Open::kClick, ""), "file://" + folder + "/pages/deep/two.htm");
  EXPECT_EQ(model.UrlToOpen(Find(model, "index.htm"), Open::kEnter, ""), "file://" + folder + "/index.htm");
  EXPECT_EQ(model.UrlToOpen(top, Open::kSelectionChange, ""), "") << "the project's folder opens nothing";
  EXPECT_EQ(model.UrlToOpen(Find(model, "pages"), Open::kSelectionChange, ""), "");

  model.SetExpanded(Find(model, "pages"), true);
  EXPECT_EQ(model.item(Find(model, "pages")).image, kImageOpenFolder);
  model.SetExpanded(Find(model, "pages"), false);
  EXPECT_EQ(model.item(Find(model, "pages")).image, kImageClosedFolder);
  model.SetExpanded(12345, true);  // ignored
}

TEST(ContentsTreeModelTest, FolderFillFailuresAndLinkLoops) {
  testing::TempDir dir;
  ContentsTreeModel missing(true, "");
  missing.SetMode(TreeMode::kDirectory);
  EXPECT_FALSE(missing.FillFromFolder(dir.Join("not-there")));
  ASSERT_EQ(missing.items().size(), 1u) << "only the folder's own item";

  // A link back up the tree is listed but not entered.
  dir.Write("loop/page.htm", "p");
  ASSERT_EQ(::symlink(dir.Join("loop").c_str(), dir.Join("loop/again").c_str()), 0);
  ContentsTreeModel loop(true, "");
  loop.SetMode(TreeMode::kDirectory);
  ASSERT_TRUE(loop.FillFromFolder(dir.Join("loop")));
  EXPECT_EQ(loop.items().size(), 3u);
  EXPECT_TRUE(loop.item(Find(loop, "again")).children.empty());
}

}  // namespace
}  // namespace lectern
