// Drives the real lectern-pack binary, reading its books back with lectern-unpack and the archive.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <sstream>

#include "archive/zpk.h"
#include "common/run_tool.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::ReadWholeFile;
using testing::RunTool;
using testing::SnapshotTree;
using testing::TempDir;
using testing::ToolRun;

const std::string kPack = LECTERN_PACK_BINARY;
const std::string kUnpack = LECTERN_UNPACK_BINARY;
const std::string kIdentity = "0123456789abcdeffedcba9876543210";

// Text that compresses like prose: words from a small vocabulary in random order.
std::string Prose(size_t words, unsigned seed) {
  static const char* kWords[] = {"book", "page", "reader", "the", "opens", "a", "contents", "search", "of", "tree"};
  std::mt19937 gen(seed);
  std::string s;
  for (size_t i = 0; i < words; ++i) s += std::string(kWords[gen() % 10]) + (i % 12 == 11 ? ".\n" : " ");
  return s;
}

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = char(gen());
  return s;
}

// A failure is one line on stderr that starts with the tool's name, and nothing on stdout.
void ExpectOneLineFailure(const ToolRun& run, int status, const std::string& fragment) {
  EXPECT_EQ(run.status, status) << run.err;
  EXPECT_EQ(run.err.rfind("lectern-pack: ", 0), 0u) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_NE(run.err.find(fragment), std::string::npos) << run.err;
  EXPECT_TRUE(run.out.empty()) << run.out;
}

class LecternPackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree_ = dir_.Join("tree");
    dir_.Write("tree/index.html", "<html><body>" + Prose(5000, 3) + "</body></html>");
    dir_.Write("tree/pages/one.html", "one");
    dir_.Write("tree/pages/\xC3\xBC" "berblick.html", "\xC3\xBC");
    dir_.Write("tree/img/pic.png", RandomBytes(5000, 1));
    dir_.Write("tree/media/tone.wav", RandomBytes(200000, 2));
    std::filesystem::create_directories(tree_ + "/empty");
    out_ = dir_.Join("out");
    std::filesystem::create_directories(out_);
    book_ = out_ + "/book.ebk";
  }

  ToolRun Pack(std::vector<std::string> extra) {
    std::vector<std::string> args{tree_, "-o", book_};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunTool(kPack, args);
  }

  // Files of the output folder: after a failure, nothing but what was there before.
  std::vector<std::string> OutputFiles() {
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(out_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::map<std::string, std::string> Extracted(const std::string& book, const std::string& into) {
    ToolRun run = RunTool(kUnpack, {book, "--extract", into});
    EXPECT_EQ(run.status, 0) << run.err;
    return SnapshotTree(into);
  }

  TempDir dir_;
  std::string tree_, out_, book_;
};

TEST_F(LecternPackTest, PacksATreeThatUnpacksToTheSameTree) {
  ToolRun run = Pack({"--identity", kIdentity, "--no-settings"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(run.err.empty());
  EXPECT_NE(run.out.find("5 files (1 raw), 4 folders"), std::string::npos) << run.out;
  EXPECT_TRUE(Extracted(book_, dir_.Join("x")) == SnapshotTree(tree_));

  ZPK zpk;
  ASSERT_TRUE(zpk.Open(book_));
  EXPECT_EQ(zpk.format_version(), 12u);
  EXPECT_EQ(zpk.archive_base(), 0u);
  EXPECT_EQ(zpk.identity()[0], 0x01);
  EXPECT_EQ(zpk.identity()[15], 0x10);
#ifndef _WIN32  // no permission bits there
  struct stat st;
  ASSERT_EQ(::stat(book_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
#endif
}

TEST_F(LecternPackTest, AFixedIdentityMakesTheSameBytesARandomOneDoesNot) {
  ASSERT_EQ(Pack({"--identity", kIdentity}).status, 0);
  std::string first = ReadWholeFile(book_);
  ASSERT_EQ(Pack({"--identity=" + kIdentity}).status, 0);
  EXPECT_TRUE(first == ReadWholeFile(book_));
  // Without settings (whose guid is the identity, compressed) the identity changes no size.
  ASSERT_EQ(Pack({"--identity", kIdentity, "--no-settings"}).status, 0);
  std::string bare = ReadWholeFile(book_);
  ASSERT_EQ(Pack({"--no-settings"}).status, 0);
  std::string random1 = ReadWholeFile(book_);
  ASSERT_EQ(Pack({"--no-settings"}).status, 0);
  EXPECT_FALSE(random1 == ReadWholeFile(book_));
  EXPECT_EQ(random1.size(), bare.size());
}

TEST_F(LecternPackTest, AStubMakesASelfContainedExecutableBook) {
  std::string stub = dir_.Write("stub.bin", "#!/bin/sh\necho a reader would start here\nexit 0\n" + std::string(100, '#'));
  ToolRun run = Pack({"--stub", stub});
  ASSERT_EQ(run.status, 0) << run.err;
  std::string bytes = ReadWholeFile(book_);
  std::string stub_bytes = ReadWholeFile(stub);
  EXPECT_EQ(bytes.compare(0, stub_bytes.size(), stub_bytes), 0);
  EXPECT_TRUE(HasArchiveTrailer(book_));
#ifndef _WIN32  // no execute bits there
  struct stat st;
  ASSERT_EQ(::stat(book_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0111, 0111u);
#endif
  ToolRun info = RunTool(kUnpack, {book_, "--info"});
  EXPECT_NE(info.out.find("archive base:     " + std::to_string(stub_bytes.size()) + " (appended)"),
            std::string::npos)
      << info.out;
  EXPECT_TRUE(Extracted(book_, dir_.Join("x")) == SnapshotTree(tree_));
}

TEST_F(LecternPackTest, LevelsRawSetsAndFormatVersionsAllRoundTrip) {
  // The stored size of the compressible page, from the listing's second column.
  auto stored_page = [&] {
    std::string list = RunTool(kUnpack, {book_, "--list"}).out;
    size_t line = list.rfind('\n', list.find("  index.html\n"));
    return std::stoul(list.substr(line + 1 + 10));
  };
  ASSERT_EQ(Pack({"--level", "fast"}).status, 0);
  unsigned long fast = stored_page();
  EXPECT_TRUE(Extracted(book_, dir_.Join("fast")) == SnapshotTree(tree_));
  ASSERT_EQ(Pack({"--level", "best"}).status, 0);
  EXPECT_LT(stored_page(), fast);

  ASSERT_EQ(Pack({"--raw-ext", ".png,.HTML"}).status, 0);
  ToolRun list = RunTool(kUnpack, {book_, "--list"});
  EXPECT_NE(list.out.find("raw     img/pic.png"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("raw     pages/one.html"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("lzo     media/tone.wav"), std::string::npos) << list.out;
  EXPECT_TRUE(Extracted(book_, dir_.Join("raw")) == SnapshotTree(tree_));

  ASSERT_EQ(Pack({"--raw-ext="}).status, 0);
  list = RunTool(kUnpack, {book_, "--list"});
  EXPECT_EQ(list.out.find("raw "), std::string::npos) << list.out;

  for (const char* version : {"10", "11"}) {
    SCOPED_TRACE(version);
    ASSERT_EQ(Pack({"--format-version", version}).status, 0);
    ZPK zpk;
    ASSERT_TRUE(zpk.Open(book_));
    EXPECT_EQ(zpk.format_version(), uint32_t(std::stoi(version)));
    zpk.Close();
    EXPECT_TRUE(Extracted(book_, dir_.Join(std::string("v") + version)) == SnapshotTree(tree_));
  }
}

TEST_F(LecternPackTest, BadArgumentsAreUsageErrors) {
  const std::vector<std::vector<std::string>> cases = {
      {"--level", "medium"},       {"--identity", "1234"},       {"--identity", std::string(32, '0')},
      {"--format-version", "9"},   {"--format-version", "13"},   {"--format-version", "12x"},
      {"--raw-ext", ".a,,.b"},     {"--frobnicate"},             {"--stub"},
  };
  for (const auto& extra : cases) {
    SCOPED_TRACE(extra[0]);
    ExpectOneLineFailure(Pack(extra), 2, "");
  }
  ExpectOneLineFailure(RunTool(kPack, {tree_}), 2, "-o BOOK");
  ExpectOneLineFailure(RunTool(kPack, {"-o", book_}), 2, "no folder");
  ExpectOneLineFailure(RunTool(kPack, {tree_, tree_, "-o", book_}), 2, "more than one folder");
  EXPECT_TRUE(OutputFiles().empty());

  ToolRun help = RunTool(kPack, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("usage: lectern-pack FOLDER -o BOOK"), std::string::npos);
  EXPECT_NE(help.out.find("--format-version"), std::string::npos);
}

#ifndef _WIN32  // symbolic links need privileges there
TEST_F(LecternPackTest, AFailedPackLeavesNoBookAndKeepsTheOldOne) {
  ExpectOneLineFailure(RunTool(kPack, {dir_.Join("absent"), "-o", book_}), 1, "No such file");
  ExpectOneLineFailure(RunTool(kPack, {tree_ + "/index.html", "-o", book_}), 1, "not a folder");
  ExpectOneLineFailure(Pack({"--stub", dir_.Join("no-stub")}), 1, "no-stub");
  ExpectOneLineFailure(RunTool(kPack, {tree_, "-o", dir_.Join("no/such/dir/b.ebk")}), 1, "cannot create");
  EXPECT_TRUE(OutputFiles().empty());

  ASSERT_EQ(Pack({}).status, 0);
  std::string good = ReadWholeFile(book_);
  std::string outside = dir_.Write("secret.txt", "secret");
  ASSERT_EQ(::symlink(outside.c_str(), (tree_ + "/pages/leak.html").c_str()), 0);
  ToolRun run = Pack({});
  ExpectOneLineFailure(run, 1, tree_ + "/pages/leak.html: symbolic link that leads out of the folder");
  EXPECT_EQ(OutputFiles(), std::vector<std::string>{"book.ebk"});
  EXPECT_TRUE(ReadWholeFile(book_) == good);
}

#endif
TEST_F(LecternPackTest, AFolderBecomesABookReadyToRead) {
  dir_.Write("tree/index.html", "<html><title>Tree Book</title></html>");
  dir_.Write("tree/pages/one.html", "<title>Page One</title>");
  ToolRun run = Pack({"--identity", kIdentity});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("\"Tree Book\", starting at index.html"), std::string::npos) << run.out;
  std::string settings = RunTool(kUnpack, {book_, "--settings"}).out;
  for (const char* line : {"bookname=Tree Book\n", "start_page=index.html\n", "guid=" /* below */, "enable_menubar=true\n",
                           "enable_toolbar=true\n", "enable_searchbar=true\n", "enable_statusbar=true\n",
                           "enable_contenttree=true\n", "border_icon_close=true\n"})
    EXPECT_NE(settings.find(line), std::string::npos) << line << " in\n" << settings;
  EXPECT_NE(settings.find("guid=" + kIdentity + "\n"), std::string::npos) << settings;
  std::string config = RunTool(kUnpack, {book_, "--config"}).out;
  EXPECT_NE(config.find("<item text=\"pages\">"), std::string::npos) << config;
  EXPECT_NE(config.find("<item text=\"Page One\" url=\"pages/one.html\"/>"), std::string::npos) << config;

  ASSERT_EQ(Pack({"--title", "Named", "--start", "PAGES/ONE.HTML", "--set", "enable_toolbar=false", "--set",
                  "copyright=(c) 2026"})
                .status,
            0);
  settings = RunTool(kUnpack, {book_, "--settings"}).out;
  EXPECT_NE(settings.find("bookname=Named\n"), std::string::npos) << settings;
  EXPECT_NE(settings.find("start_page=pages/one.html\n"), std::string::npos) << settings;
  EXPECT_NE(settings.find("copyright=(c) 2026\n"), std::string::npos) << settings;
  EXPECT_EQ(settings.find("enable_toolbar"), std::string::npos) << settings;

  // The bare archive of before, on request.
  ASSERT_EQ(Pack({"--no-settings"}).status, 0);
  EXPECT_EQ(RunTool(kUnpack, {book_, "--settings"}).out, "");

  ExpectOneLineFailure(Pack({"--set", "enable_toolbar=yes"}), 2, "enable_toolbar is a flag");
  ExpectOneLineFailure(Pack({"--set", "colour=red"}), 2, "unknown setting \"colour\"");
  ExpectOneLineFailure(Pack({"--start", "nowhere.html"}), 1, "--start: nowhere.html");
  ExpectOneLineFailure(Pack({"--no-settings", "--title", "x"}), 2, "--title");
}

TEST_F(LecternPackTest, ABookWrittenIntoItsFolderLeavesItselfOut) {
  std::string inside = tree_ + "/pages/self.ebk";
  std::string first;
  for (int run = 0; run < 3; ++run) {
    ASSERT_EQ(RunTool(kPack, {tree_, "-o", inside, "--identity", kIdentity}).status, 0);
    if (run == 0) first = ReadWholeFile(inside);
  }
  EXPECT_TRUE(first == ReadWholeFile(inside)) << "the book grew from run to run";
  EXPECT_EQ(RunTool(kUnpack, {inside, "--list"}).out.find("self.ebk"), std::string::npos);
}

TEST_F(LecternPackTest, InitWritesAProjectThatCompilesToTheSameBook) {
#ifdef _WIN32
  GTEST_SKIP() << "the tree's non-ASCII file name reaches the runtime's ANSI file calls there";
#endif
  dir_.Write("tree/index.html", "<html><title>Tree Book</title></html>");
  ToolRun init = RunTool(kPack, {"--init", tree_, "--identity", kIdentity});
  ASSERT_EQ(init.status, 0) << init.err;
  std::string project = dir_.Join("tree.bpj");
  std::string text = ReadWholeFile(project);
  EXPECT_NE(text.find("<ebook_directory>tree</ebook_directory>"), std::string::npos) << text;
  EXPECT_NE(text.find("<guid>" + kIdentity + "</guid>"), std::string::npos) << text;
  ExpectOneLineFailure(RunTool(kPack, {"--init", tree_}), 1, "exists; not replaced");
  EXPECT_TRUE(ReadWholeFile(project) == text);
  ExpectOneLineFailure(RunTool(kPack, {"--init", tree_, "--level", "fast"}), 2, "--level applies when");

  ASSERT_EQ(Pack({"--identity", kIdentity}).status, 0);
  std::string from_folder = RunTool(kUnpack, {book_, "--settings"}).out;
  std::string compiled_book = out_ + "/compiled.ebk";
  ToolRun compile = RunTool(kPack, {project, "-o", compiled_book, "--identity", kIdentity});
  ASSERT_EQ(compile.status, 0) << compile.err;
  EXPECT_EQ(compile.out.find("has no <guid>"), std::string::npos) << compile.out;
  // The project answers every flag and number, which the folder's book leaves to their defaults.
  std::string from_project = RunTool(kUnpack, {compiled_book, "--settings"}).out;
  std::istringstream lines(from_folder);
  for (std::string line; std::getline(lines, line);)
    EXPECT_NE(from_project.find(line + "\n"), std::string::npos) << line;
  EXPECT_EQ(RunTool(kUnpack, {compiled_book, "--config"}).out.find("<toc>") != std::string::npos, true);
}

TEST_F(LecternPackTest, AProjectWithoutAGuidTakesItsIdentityAndSaysSo) {
  dir_.Write("p.bpj", "<p><config><ebook_directory>tree</ebook_directory><start_page>INDEX.HTML</start_page>"
                      "</config></p>");
  ToolRun run = RunTool(kPack, {dir_.Join("p.bpj"), "-o", book_, "--identity", kIdentity});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("p.bpj has no <guid>: the book's guid is its identity " + kIdentity), std::string::npos)
      << run.out;
  EXPECT_NE(RunTool(kUnpack, {book_, "--settings"}).out.find("guid=" + kIdentity + "\n"), std::string::npos);
  ExpectOneLineFailure(RunTool(kPack, {dir_.Join("p.bpj"), "-o", book_, "--title", "x"}), 2, "is for folders");
}

TEST_F(LecternPackTest, CompilesTheSampleProjectIntoABookWithItsSettings) {
  std::string project = testing::SourceDir() + "/samples/guide.bpj";
#ifdef _WIN32
  GTEST_SKIP() << "the sample's non-ASCII file names reach the runtime's ANSI file calls there";
#endif
  ToolRun run = RunTool(kPack, {project, "-o", book_});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(HasArchiveTrailer(book_)) << "the sample asks for a self-contained book";
  ToolRun settings = RunTool(kUnpack, {book_, "--settings"});
  ASSERT_EQ(settings.status, 0) << settings.err;
  EXPECT_NE(settings.out.find("bookname=Lectern: a guide to the reader\n"), std::string::npos) << settings.out;
  EXPECT_NE(settings.out.find("start_page=index.html\n"), std::string::npos);
  ToolRun config = RunTool(kUnpack, {book_, "--config"});
  ASSERT_EQ(config.status, 0) << config.err;
  EXPECT_NE(config.out.find("<toc>"), std::string::npos);
  EXPECT_NE(config.out.find("url=\"pages/\xC3\xBC" "berblick.html\""), std::string::npos);
}

TEST_F(LecternPackTest, AFaultyProjectIsReportedAndWritesNothing) {
  dir_.Write("bad.bpj", "<p><config><ebook_directory>tree</ebook_directory><start_page>index.html</start_page>"
                        "<splash_image>gone.png</splash_image>"
                        "</config></p>");
  ExpectOneLineFailure(RunTool(kPack, {dir_.Join("bad.bpj"), "-o", book_}), 1, "splash_image: gone.png");
  dir_.Write("broken.bpj", "<p><config>");
  ExpectOneLineFailure(RunTool(kPack, {dir_.Join("broken.bpj"), "-o", book_}), 1, "broken.bpj:1:");
  dir_.Write("empty.bpj", "<p/>");
  ExpectOneLineFailure(RunTool(kPack, {dir_.Join("empty.bpj"), "-o", book_}), 1, "\"config\"");
  EXPECT_TRUE(OutputFiles().empty());
}

}  // namespace
}  // namespace lectern
