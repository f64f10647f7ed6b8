#include "datastore/media_endpoint.h"

#include <gtest/gtest.h>

#include <random>

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

// One raw and one compressed copy of the same bytes, answered through the real layer.
class MediaEndpointTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::mt19937 gen(7);
    media.resize(300000);
    for (char& c : media) c = char(gen());
    TestBook book;
    book.files = {{"media/raw.webm", media}, {"media/packed.webm", media}, {"a page.htm", "<p>hi"}};
    book.raw = {{"media/raw.webm", true}};
    ASSERT_TRUE(WriteTestBook(dir.Join("b.ebk"), book));
    manager = CEbkManager::Create();
    ASSERT_EQ(manager->Open(Utf8ToWide(dir.Join("b.ebk")).c_str()), S_OK);
    PublishEbkManager(manager);
    layer.Install();
    address.port = 4321;
    address.token = "0123456789abcdef0123456789abcdef";
  }
  void TearDown() override {
    layer.Remove();
    PublishEbkManager(nullptr);
    manager->Release();
  }
  MediaAnswer Ask(const std::string& head) {
    HttpParseResult parsed = ParseHttpRequestHead(head);
    EXPECT_EQ(parsed.status, HttpParseResult::Status::kComplete) << head;
    return AnswerMediaRequest(parsed.request, address, layer);
  }
  std::string Get(const std::string& target, const std::string& extra = "") {
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:4321\r\n" + extra + "\r\n";
  }
  static std::string Body(MediaAnswer& answer) {
    std::string out(answer.body_length, '\0');
    size_t got = 0;
    while (got < out.size()) {
      int64_t n = answer.body->Read(out.data() + got, out.size() - got);
      if (n <= 0) break;
      got += size_t(n);
    }
    out.resize(got);
    return out;
  }

  TempDir dir;
  std::string media;
  CEbkManager* manager = nullptr;
  NativeFileFunctions real;
  VirtualFileLayer layer{real};
  MediaEndpointAddress address;
};

TEST_F(MediaEndpointTest, RangesOfRawAndCompressedEntries) {
  EXPECT_EQ(address.BaseUrl(), "http://127.0.0.1:4321/0123456789abcdef0123456789abcdef");
  for (std::string name : {"raw.webm", "packed.webm"}) {
    std::string target = "/" + address.token + "/media/" + name;
    MediaAnswer whole = Ask(Get(target));
    ASSERT_EQ(whole.status, 200) << name;
    EXPECT_NE(whole.head.find("Content-Length: 300000\r\n"), std::string::npos) << whole.head;
    EXPECT_NE(whole.head.find("Accept-Ranges: bytes\r\n"), std::string::npos);
    EXPECT_NE(whole.head.find("Content-Type: video/webm\r\n"), std::string::npos);
    EXPECT_TRUE(whole.keep_alive);
    EXPECT_EQ(Body(whole), media) << name;

    MediaAnswer part = Ask(Get(target, "Range: bytes=250000-\r\n"));
    ASSERT_EQ(part.status, 206) << name;
    EXPECT_NE(part.head.find("Content-Range: bytes 250000-299999/300000\r\n"), std::string::npos) << part.head;
    EXPECT_NE(part.head.find("Content-Length: 50000\r\n"), std::string::npos);
    EXPECT_EQ(Body(part), media.substr(250000)) << name;

    MediaAnswer head = Ask("HEAD " + target + " HTTP/1.1\r\nHost: 127.0.0.1:4321\r\nRange: bytes=-10\r\n\r\n");
    EXPECT_EQ(head.status, 206);
    EXPECT_FALSE(head.body) << "HEAD sends no body";
    EXPECT_NE(head.head.find("Content-Length: 10\r\n"), std::string::npos);

    MediaAnswer beyond = Ask(Get(target, "Range: bytes=300000-\r\n"));
    EXPECT_EQ(beyond.status, 416);
    EXPECT_NE(beyond.head.find("Content-Range: bytes */300000\r\n"), std::string::npos);
  }
  MediaAnswer escaped = Ask(Get("/" + address.token + "/a%20page.htm?x=1"));
  EXPECT_EQ(escaped.status, 200);
  EXPECT_EQ(Body(escaped), "<p>hi");
}

TEST_F(MediaEndpointTest, RefusesWhatIsNotThisBooksOrThisEndpoints) {
  std::string target = "/" + address.token + "/media/raw.webm";
  EXPECT_EQ(Ask(Get("/media/raw.webm")).status, 404) << "no token";
  EXPECT_EQ(Ask(Get("/0123456789abcdef0123456789abcdee/media/raw.webm")).status, 404) << "wrong token";
  EXPECT_EQ(Ask(Get("/" + address.token + "/media/none.webm")).status, 404);
  EXPECT_EQ(Ask(Get("/" + address.token + "/../../etc/passwd")).status, 404);
  EXPECT_EQ(Ask(Get("/" + address.token + "/%2e%2e/%2e%2e/etc/passwd")).status, 404);
  EXPECT_EQ(Ask(Get("/" + address.token + "/a%00.htm")).status, 404);

  MediaAnswer rebound = Ask("GET " + target + " HTTP/1.1\r\nHost: evil.example:4321\r\n\r\n");
  EXPECT_EQ(rebound.status, 403) << "a name that points here is not our host";
  EXPECT_FALSE(rebound.keep_alive);
  EXPECT_EQ(Ask("GET " + target + " HTTP/1.1\r\n\r\n").status, 403) << "no Host at all";
  EXPECT_EQ(Ask("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:4322\r\n\r\n").status, 403);

  MediaAnswer post = Ask("POST " + target + " HTTP/1.1\r\nHost: 127.0.0.1:4321\r\n\r\n");
  EXPECT_EQ(post.status, 405);
  EXPECT_NE(post.head.find("Allow: GET, HEAD\r\n"), std::string::npos);

  MediaAnswer bad = BadRequestAnswer({5, "control character in the request head"});
  EXPECT_EQ(bad.status, 400);
  EXPECT_NE(bad.head.find("at byte 5: control character in the request head"), std::string::npos);
  EXPECT_FALSE(bad.keep_alive);
}

TEST_F(MediaEndpointTest, ConnectionPersistenceFollowsTheClient) {
  std::string target = "/" + address.token + "/media/raw.webm";
  EXPECT_FALSE(Ask(Get(target, "Connection: close\r\n")).keep_alive);
  EXPECT_FALSE(Ask("HEAD " + target + " HTTP/1.0\r\nHost: 127.0.0.1:4321\r\n\r\n").keep_alive);
  EXPECT_TRUE(Ask("HEAD " + target + " HTTP/1.0\r\nHost: 127.0.0.1:4321\r\nConnection: Keep-Alive\r\n\r\n").keep_alive);
}

}  // namespace
}  // namespace lectern
