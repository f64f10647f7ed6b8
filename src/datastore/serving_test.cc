#include "datastore/serving.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "archive/test_books.h"
#include "book/ebk_manager.h"
#include "datastore/native_file_functions.h"
#include "datastore/virtual_file_layer.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::TempDir;
using testing::TestBook;
using testing::WriteTestBook;

std::span<const uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

TEST(ServingRequestTest, UrlAndPathForms) {
  EXPECT_EQ(DatastorePathFromRequest("file://c:/datastore/a/b.htm"), "c:/datastore/a/b.htm");
  EXPECT_EQ(DatastorePathFromRequest("file:///C:/DataStore/a/b.htm"), "C:/DataStore/a/b.htm");
  EXPECT_EQ(DatastorePathFromRequest("FILE:///c:/datastore/my%20page.htm"), "c:/datastore/my page.htm");
  EXPECT_EQ(DatastorePathFromRequest("file:///c:/datastore/caf%C3%A9.htm"), "c:/datastore/caf\xc3\xa9.htm");
  EXPECT_EQ(DatastorePathFromRequest("file:///c:/datastore/p.htm?x=1#top"), "c:/datastore/p.htm");
  EXPECT_EQ(DatastorePathFromRequest("file:///c:/datastore/100%.htm"), "c:/datastore/100%.htm")
      << "a malformed escape stays";
  EXPECT_EQ(DatastorePathFromRequest("file:///c:/datastore/a%4"), "c:/datastore/a%4");
  EXPECT_EQ(DatastorePathFromRequest("file:///c%3a/datastore/x"), "c:/datastore/x");
  EXPECT_EQ(DatastorePathFromRequest("c:\\datastore\\a b.htm"), "c:\\datastore\\a b.htm") << "paths as they are";
  EXPECT_EQ(DatastorePathFromRequest("c:\\datastore\\a%20b.htm"), "c:\\datastore\\a%20b.htm");

  EXPECT_EQ(DatastorePathFromRequest("file:///c:/datastore/a%00.htm"), std::nullopt);
  EXPECT_EQ(DatastorePathFromRequest(std::string_view("c:\\datastore\\a.htm\0.png", 23)), std::nullopt);
  EXPECT_EQ(DatastorePathFromRequest("file:///etc/passwd"), std::nullopt);
  EXPECT_EQ(DatastorePathFromRequest("file:c:/datastore/x"), std::nullopt);
  EXPECT_EQ(DatastorePathFromRequest("http://c:/datastore/x"), std::nullopt);
  EXPECT_EQ(DatastorePathFromRequest("/home/user/x.htm"), std::nullopt);
  EXPECT_EQ(DatastorePathFromRequest(""), std::nullopt);
}

TEST(ServingMimeTest, ByExtension) {
  EXPECT_EQ(MimeTypeForExtension("c:/datastore/a.HTM"), "text/html");
  EXPECT_EQ(MimeTypeForExtension("x.html"), "text/html");
  EXPECT_EQ(MimeTypeForExtension("s.css"), "text/css");
  EXPECT_EQ(MimeTypeForExtension("s.js"), "text/javascript");
  EXPECT_EQ(MimeTypeForExtension("i.png"), "image/png");
  EXPECT_EQ(MimeTypeForExtension("i.JPeG"), "image/jpeg");
  EXPECT_EQ(MimeTypeForExtension("i.svg"), "image/svg+xml");
  EXPECT_EQ(MimeTypeForExtension("i.ico"), "image/x-icon");
  EXPECT_EQ(MimeTypeForExtension("m.mp3"), "audio/mpeg");
  EXPECT_EQ(MimeTypeForExtension("m.ogv"), "video/ogg");
  EXPECT_EQ(MimeTypeForExtension("m.webm"), "video/webm");
  EXPECT_EQ(MimeTypeForExtension("d.pdf"), "application/pdf");
  EXPECT_EQ(MimeTypeForExtension("f.swf"), "application/x-shockwave-flash");
  EXPECT_EQ(MimeTypeForExtension("c:\\datastore\\dir.png\\readme"), "") << "the last component decides";
  EXPECT_EQ(MimeTypeForExtension("noext"), "");
  EXPECT_EQ(MimeTypeForExtension("odd.xyz"), "");
}

TEST(ServingMimeTest, Sniffing) {
  EXPECT_EQ(SniffMimeType(Bytes("\xEF\xBB\xBF  <!DOCTYPE html><html>")), "text/html");
  EXPECT_EQ(SniffMimeType(Bytes("\n<HTML><body>")), "text/html");
  EXPECT_EQ(SniffMimeType(Bytes("<?xml version=\"1.0\"?><root/>")), "text/xml");
  EXPECT_EQ(SniffMimeType(Bytes("<?xml version=\"1.0\"?><svg xmlns=...>")), "image/svg+xml");
  EXPECT_EQ(SniffMimeType(Bytes("\x89PNG\r\n\x1a\n....")), "image/png");
  EXPECT_EQ(SniffMimeType(Bytes("GIF89a..")), "image/gif");
  EXPECT_EQ(SniffMimeType(Bytes("\xFF\xD8\xFF\xE0")), "image/jpeg");
  EXPECT_EQ(SniffMimeType(Bytes(std::string_view("RIFF\x10\0\0\0WAVEfmt ", 16))), "audio/wav");
  EXPECT_EQ(SniffMimeType(Bytes(std::string_view("OggS\0\x02", 6))), "audio/ogg");
  EXPECT_EQ(SniffMimeType(Bytes("%PDF-1.4")), "application/pdf");
  EXPECT_EQ(SniffMimeType(Bytes("plain words\r\n")), "text/plain");
  EXPECT_EQ(SniffMimeType(Bytes(std::string_view("\x01\x02\x03", 3))), "application/octet-stream");
  EXPECT_EQ(SniffMimeType(Bytes("")), "text/plain");
  EXPECT_EQ(SniffMimeType(Bytes("RIF")), "text/plain") << "short heads are no overread";
}

class ServingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::mt19937 gen(3);
    media.resize(1 << 20);
    for (char& c : media) c = char(gen());
    TestBook book;
    book.files = {{"index.htm", "<html><title>Home</title></html>"},
                  {"my page.htm", "spaced"},
                  {"movie.webm", media},
                  {"readme", "<!DOCTYPE html><p>no extension"},
                  {"blob", std::string("\x89PNG\r\n\x1a\n", 8) + "rest"},
                  {"folder/", ""}};
    book.raw = {{"movie.webm", true}};
    ASSERT_TRUE(WriteTestBook(dir.Join("b.ebk"), book));
    manager = CEbkManager::Create();
    ASSERT_EQ(manager->Open(Utf8ToWide(dir.Join("b.ebk")).c_str()), S_OK);
    PublishEbkManager(manager);
    layer.Install();
  }
  void TearDown() override {
    layer.Remove();
    PublishEbkManager(nullptr);
    manager->Release();
  }
  std::string ReadRest(DatastoreReader& reader, size_t chunk) {
    std::string out;
    std::vector<char> buf(chunk);
    for (int64_t n; (n = reader.Read(buf.data(), chunk)) > 0;) out.append(buf.data(), size_t(n));
    return out;
  }
  TempDir dir;
  std::string media;
  CEbkManager* manager = nullptr;
  NativeFileFunctions real;
  VirtualFileLayer layer{real};
};

TEST_F(ServingTest, ServesPagesWithTypeAndLength) {
  ServedFile file;
  ASSERT_EQ(ServeDatastoreRequest("file:///c:/datastore/index.htm", layer, file), ServeResult::kServed);
  EXPECT_EQ(file.mime_type, "text/html");
  EXPECT_EQ(file.length, 32u);
  EXPECT_EQ(ReadRest(*file.reader, 7), "<html><title>Home</title></html>");
  ASSERT_EQ(ServeDatastoreRequest("file://c:/datastore/my%20page.htm", layer, file), ServeResult::kServed);
  EXPECT_EQ(ReadRest(*file.reader, 100), "spaced");
  ASSERT_EQ(ServeDatastoreRequest("c:\\datastore\\index.htm", layer, file), ServeResult::kServed);
  file = ServedFile{};
  EXPECT_EQ(layer.open_stream_count(), 0u) << "a reader closes its handle";
}

TEST_F(ServingTest, SniffsFilesWithoutAKnownExtensionAndStartsAtZero) {
  ServedFile file;
  ASSERT_EQ(ServeDatastoreRequest("file:///c:/datastore/readme", layer, file), ServeResult::kServed);
  EXPECT_EQ(file.mime_type, "text/html");
  EXPECT_EQ(file.reader->position(), 0u);
  EXPECT_EQ(ReadRest(*file.reader, 5), "<!DOCTYPE html><p>no extension");
  ASSERT_EQ(ServeDatastoreRequest("file:///c:/datastore/blob", layer, file), ServeResult::kServed);
  EXPECT_EQ(file.mime_type, "image/png");
  EXPECT_EQ(ReadRest(*file.reader, 64).size(), 12u);
}

TEST_F(ServingTest, RefusesWhatItCannotServe) {
  ServedFile file;
  EXPECT_EQ(ServeDatastoreRequest("file:///c:/datastore/missing.htm", layer, file), ServeResult::kNotFound);
  EXPECT_EQ(ServeDatastoreRequest("file:///c:/datastore/folder", layer, file), ServeResult::kNotFound);
  EXPECT_EQ(ServeDatastoreRequest("file:///c:/datastore/%2e%2e/%2e%2e/etc/passwd", layer, file),
            ServeResult::kNotFound);
  EXPECT_EQ(ServeDatastoreRequest("file:///c:/datastore/index.htm%00.png", layer, file), ServeResult::kNotDatastore);
  std::string disk = dir.Write("disk.htm", "on disk");
  EXPECT_EQ(ServeDatastoreRequest(disk, layer, file), ServeResult::kNotDatastore) << "only the book is served";
  EXPECT_EQ(ServeDatastoreRequest("file://" + disk, layer, file), ServeResult::kNotDatastore);
  EXPECT_EQ(file.reader, nullptr);
  EXPECT_EQ(layer.open_stream_count(), 0u);
}

TEST_F(ServingTest, StreamsRawMediaWithRanges) {
  ServedFile file;
  ASSERT_EQ(ServeDatastoreRequest("file:///c:/datastore/movie.webm", layer, file), ServeResult::kServed);
  EXPECT_EQ(file.mime_type, "video/webm");
  ASSERT_EQ(file.length, media.size());
  DatastoreReader& reader = *file.reader;
  EXPECT_EQ(ReadRest(reader, 65536), media);
  EXPECT_EQ(reader.position(), media.size());

  char buf[4096];
  ASSERT_TRUE(reader.Seek(500000));
  ASSERT_EQ(reader.Read(buf, sizeof buf), 4096);
  EXPECT_EQ(std::string(buf, 4096), media.substr(500000, 4096));
  ASSERT_TRUE(reader.Seek(100)) << "ranges may go backwards";
  ASSERT_EQ(reader.Read(buf, 10), 10);
  EXPECT_EQ(std::string(buf, 10), media.substr(100, 10));
  ASSERT_TRUE(reader.Seek(media.size() - 3));
  EXPECT_EQ(reader.Read(buf, sizeof buf), 3) << "a read stops at the end";
  ASSERT_TRUE(reader.Seek(media.size())) << "the end itself is a valid place for an empty range";
  EXPECT_EQ(reader.Read(buf, sizeof buf), 0);
  EXPECT_FALSE(reader.Seek(media.size() + 1));
  EXPECT_EQ(reader.position(), media.size());
  ASSERT_TRUE(reader.Seek(0));
  EXPECT_EQ(reader.Read(buf, 0), 0);
  EXPECT_EQ(reader.Read(buf, 1), 1);
  EXPECT_EQ(buf[0], media[0]);
}

TEST_F(ServingTest, ReadersFromSeveralThreads) {
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 10; ++round) {
        ServedFile file;
        if (ServeDatastoreRequest("file:///c:/datastore/movie.webm", layer, file) != ServeResult::kServed) {
          ++failures;
          continue;
        }
        uint64_t at = uint64_t(t * 100000 + round * 777);
        char buf[2000];
        if (!file.reader->Seek(at) || file.reader->Read(buf, sizeof buf) != 2000 ||
            std::string(buf, 2000) != media.substr(at, 2000))
          ++failures;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(layer.open_stream_count(), 0u);
}

TEST_F(ServingTest, ReaderOutlivingRemovalFailsCleanly) {
  ServedFile file;
  ASSERT_EQ(ServeDatastoreRequest("file:///c:/datastore/index.htm", layer, file), ServeResult::kServed);
  layer.Remove();
  char buf[8];
  EXPECT_EQ(file.reader->Read(buf, sizeof buf), -1);
  EXPECT_FALSE(file.reader->Seek(3));
}

}  // namespace
}  // namespace lectern
