#include "browser/script_channel.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <limits>
#include <thread>

namespace lectern {
namespace {

std::vector<ScriptValue> OneOfEachKind() {
  return {
      ScriptValue(),
      ScriptValue::Null(),
      ScriptValue::Int32(std::numeric_limits<int32_t>::min()),
      ScriptValue::Int32(-1),
      ScriptValue::Bool(true),
      ScriptValue::Bool(false),
      ScriptValue::Double(-2.5e300),
      ScriptValue::Double(std::numeric_limits<double>::infinity()),
      ScriptValue::WideString(u"h\u00e9llo \U0001F4D6"),
      ScriptValue::WideString(WideString(u"a\0b", 3)),
      ScriptValue::WideString(u""),
      ScriptValue::String("caf\xc3\xa9"),
      ScriptValue::String(std::string("x\0y", 3)),
      ScriptValue::Object(7),
      ScriptValue::Frame(0xFFFFFFFFFFFFull),
  };
}

TEST(ScriptValueTest, EveryKindSurvivesTheWire) {
  std::string bytes;
  auto values = OneOfEachKind();
  for (const auto& v : values) EncodeScriptValue(v, &bytes);
  std::string_view in = bytes;
  for (const auto& expected : values) {
    ScriptValue decoded;
    ASSERT_TRUE(DecodeScriptValue(&in, &decoded));
    EXPECT_EQ(decoded, expected);
  }
  EXPECT_TRUE(in.empty());

  std::string nan_bytes;
  EncodeScriptValue(ScriptValue::Double(std::nan("")), &nan_bytes);
  std::string_view nan_in = nan_bytes;
  ScriptValue nan;
  ASSERT_TRUE(DecodeScriptValue(&nan_in, &nan));
  EXPECT_TRUE(std::isnan(nan.number()));
  EXPECT_EQ(ScriptValue::WideString(u"\u00e9").text(), "\xc3\xa9");
  EXPECT_EQ(ScriptValue::Int32(3).text(), "");
}

TEST(ScriptValueTest, RefusesTruncatedAndMalformedValues) {
  for (const auto& v : OneOfEachKind()) {
    std::string bytes;
    EncodeScriptValue(v, &bytes);
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
      std::string_view in(bytes.data(), cut);
      ScriptValue out;
      EXPECT_FALSE(DecodeScriptValue(&in, &out)) << "kind " << int(v.kind()) << " cut at " << cut;
    }
  }
  auto refuses = [](std::string bytes) {
    std::string_view in = bytes;
    ScriptValue out;
    return !DecodeScriptValue(&in, &out);
  };
  EXPECT_TRUE(refuses("\x09"));                         // unknown tag
  EXPECT_TRUE(refuses(std::string("\x03\x02", 2)));     // a boolean is 0 or 1
  EXPECT_TRUE(refuses(std::string("\x07\0\0\0\0", 5))); // handle 0 names nothing
  // A length far beyond the bytes that follow: refused without reading or allocating for it.
  EXPECT_TRUE(refuses(std::string("\x06\xff\xff\xff\xff" "abc", 8)));
  EXPECT_TRUE(refuses(std::string("\x05\xff\xff\xff\x7f" "ab", 7)));
  EXPECT_TRUE(refuses(std::string("\x05\x02\0\0\0" "abc", 8)));  // odd byte count for UTF-16
}

ScriptRequest SampleInvoke() {
  ScriptRequest request;
  request.type = ScriptMessageType::kInvoke;
  request.page_id = 0x1122334455667788ull;
  request.handle = 9;
  request.dispatch_id = int32_t(0xF0013);
  request.kind = ScriptMemberKind::kPropertyPut;
  request.arguments = OneOfEachKind();
  return request;
}

TEST(ScriptMessageTest, RequestsAndRepliesRoundTrip) {
  ScriptRequest describe;
  describe.type = ScriptMessageType::kDescribe;
  describe.page_id = 4;
  describe.handle = kExternalHandle;
  ScriptRequest release;
  release.type = ScriptMessageType::kRelease;
  release.page_id = 4;
  release.released = {{2, 1}, {3, 40}};
  for (const auto& request : {describe, SampleInvoke(), release}) {
    ScriptRequest decoded;
    ASSERT_TRUE(DecodeScriptRequest(EncodeScriptRequest(request), &decoded));
    EXPECT_EQ(decoded, request);
  }

  ScriptReply members;
  members.type = ScriptMessageType::kDescribe;
  members.members = {{"reader", 3005, ScriptMemberKind::kPropertyGet},
                     {"activeFrame", 3000, ScriptMemberKind::kPropertyPut},
                     {"shellopen", 3003, ScriptMemberKind::kMethod}};
  ScriptReply value;
  value.type = ScriptMessageType::kInvoke;
  value.result = DISP_E_TYPEMISMATCH;
  value.value = ScriptValue::WideString(u"x");
  ScriptReply error;
  error.result = E_INVALIDARG;
  for (const auto& reply : {members, value, error}) {
    ScriptReply decoded;
    ASSERT_TRUE(DecodeScriptReply(EncodeScriptReply(reply), &decoded));
    EXPECT_EQ(decoded, reply);
  }
}

TEST(ScriptMessageTest, RefusesTruncatedTrailingAndHostileMessages) {
  std::string invoke = EncodeScriptRequest(SampleInvoke());
  ScriptRequest request;
  for (size_t cut = 0; cut < invoke.size(); ++cut)
    EXPECT_FALSE(DecodeScriptRequest(std::string_view(invoke.data(), cut), &request)) << cut;
  EXPECT_FALSE(DecodeScriptRequest(invoke + "x", &request));

  // 2^32-1 arguments announced in a few bytes.
  std::string many = invoke.substr(0, 1 + 8 + 4 + 4 + 1) + std::string("\xff\xff\xff\xff", 4);
  EXPECT_FALSE(DecodeScriptRequest(many, &request));
  // More arguments than a call may have, even when the bytes are there.
  ScriptRequest too_many = SampleInvoke();
  too_many.arguments.assign(kMaxScriptArguments + 1, ScriptValue::Null());
  EXPECT_FALSE(DecodeScriptRequest(EncodeScriptRequest(too_many), &request));
  ScriptRequest bad_kind = SampleInvoke();
  bad_kind.kind = ScriptMemberKind(9);
  EXPECT_FALSE(DecodeScriptRequest(EncodeScriptRequest(bad_kind), &request));
  EXPECT_FALSE(DecodeScriptRequest(std::string("\x07" "12345678", 9), &request));  // unknown type
  EXPECT_FALSE(DecodeScriptRequest("", &request));

  ScriptReply reply;
  // A describe reply announcing a million members in a few bytes.
  EXPECT_FALSE(DecodeScriptReply(std::string("\x01\0\0\0\0\x40\x42\x0f\0", 9), &reply));
  ScriptReply empty_name;
  empty_name.type = ScriptMessageType::kDescribe;
  empty_name.members = {{"", 1, ScriptMemberKind::kMethod}};
  EXPECT_FALSE(DecodeScriptReply(EncodeScriptReply(empty_name), &reply));
  ScriptReply long_name;
  long_name.type = ScriptMessageType::kDescribe;
  long_name.members = {{std::string(kMaxMemberNameBytes + 1, 'n'), 1, ScriptMemberKind::kMethod}};
  EXPECT_FALSE(DecodeScriptReply(EncodeScriptReply(long_name), &reply));
}

TEST(FrameTest, AssemblerCutsFramesFromPiecesAndRefusesOversizedLengths) {
  std::string stream;
  ASSERT_TRUE(AppendFrame("first", &stream));
  ASSERT_TRUE(AppendFrame("", &stream));
  ASSERT_TRUE(AppendFrame(std::string(70000, 'z'), &stream));
  FrameAssembler assembler;
  std::vector<std::string> payloads;
  std::string payload;
  for (char c : stream) {
    assembler.Append(std::string_view(&c, 1));
    while (assembler.Next(&payload) == ChannelStatus::kOk) payloads.push_back(payload);
  }
  ASSERT_EQ(payloads.size(), 3u);
  EXPECT_EQ(payloads[0], "first");
  EXPECT_EQ(payloads[1], "");
  EXPECT_EQ(payloads[2], std::string(70000, 'z'));
  EXPECT_EQ(assembler.buffered(), 0u);

  FrameAssembler hostile;
  hostile.Append(std::string("\x01\x00\x40\x00", 4));  // 4 MiB + 1
  EXPECT_EQ(hostile.Next(&payload), ChannelStatus::kOversized);
  EXPECT_FALSE(AppendFrame(std::string(kMaxFrameBytes + 1, 'x'), &stream));
}

struct SocketPair {
  SocketPair() {
    int fds[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    a.reset(fds[0]);
    b.reset(fds[1]);
  }
  UniqueFd a, b;
};

TEST(FrameTest, SocketFramesAndTheirFailures) {
  SocketPair pair;
  ASSERT_EQ(WriteFrame(pair.a.get(), "hello"), ChannelStatus::kOk);
  std::string payload;
  ASSERT_EQ(ReadFrame(pair.b.get(), &payload), ChannelStatus::kOk);
  EXPECT_EQ(payload, "hello");

  ASSERT_EQ(write(pair.a.get(), "\xff\xff\xff\xff", 4), 4);
  EXPECT_EQ(ReadFrame(pair.b.get(), &payload), ChannelStatus::kOversized);

  SocketPair cut;
  ASSERT_EQ(write(cut.a.get(), "\x0a\0\0\0abc", 7), 7);
  cut.a.reset();
  EXPECT_EQ(ReadFrame(cut.b.get(), &payload), ChannelStatus::kMalformed);
  EXPECT_EQ(ReadFrame(cut.b.get(), &payload), ChannelStatus::kClosed);
  // Writing to a closed peer is an error, not a signal that ends the process.
  EXPECT_EQ(WriteFrame(cut.b.get(), "late"), ChannelStatus::kClosed);
}

// A small object for the server tests: "name" (get/put), "add"(a, b), "child" (an object),
// "fail" (an error) and "noop".
class Counter : public ScriptEndpoint {
 public:
  std::vector<ScriptMember> Describe() override {
    return {{"name", 1, ScriptMemberKind::kPropertyGet}, {"name", 1, ScriptMemberKind::kPropertyPut},
            {"add", 2, ScriptMemberKind::kMethod},       {"child", 3, ScriptMemberKind::kPropertyGet},
            {"fail", 4, ScriptMemberKind::kMethod},      {"", 5, ScriptMemberKind::kMethod}};
  }
  HRESULT Invoke(int32_t id, ScriptMemberKind kind, std::span<const ScriptValue> args, ScriptObjectRegistry& objects,
                 ScriptValue* result) override {
    switch (id) {
      case 1:
        if (kind == ScriptMemberKind::kPropertyPut) {
          if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
          name = args[0].text();
          return S_OK;
        }
        *result = ScriptValue::String(name);
        return S_OK;
      case 2:
        if (args.size() != 2 || args[0].kind() != ScriptValue::Kind::kInt32 ||
            args[1].kind() != ScriptValue::Kind::kInt32)
          return DISP_E_TYPEMISMATCH;
        *result = ScriptValue::Int32(args[0].int32() + args[1].int32());
        return S_OK;
      case 3:
        if (!child) child = std::make_shared<Counter>();
        *result = ScriptValue::Object(objects.Add(child));
        return S_OK;
      case 4:
        // Registers an object and then fails: the registration must not outlive the call.
        objects.Add(std::make_shared<Counter>());
        return E_INVALIDARG;
    }
    return DISP_E_MEMBERNOTFOUND;
  }
  std::string name = "counter";
  std::shared_ptr<Counter> child;
};

TEST(ScriptObjectRegistryTest, HandlesLiveWhileHandedOut) {
  auto external = std::make_shared<Counter>();
  ScriptObjectRegistry objects([&](uint64_t page) { return page == 5 ? external : nullptr; });
  EXPECT_EQ(objects.Find(kExternalHandle, 5), external);
  EXPECT_EQ(objects.Find(kExternalHandle, 6), nullptr);
  EXPECT_EQ(objects.Find(99, 5), nullptr);

  auto a = std::make_shared<Counter>();
  ScriptHandle ha = objects.Add(a);
  EXPECT_GT(ha, kExternalHandle);
  EXPECT_EQ(objects.Add(a), ha);
  int key;
  ScriptHandle hb = objects.Add(std::make_shared<Counter>(), &key);
  EXPECT_EQ(objects.Add(std::make_shared<Counter>(), &key), hb) << "same identity, same handle";
  EXPECT_NE(ha, hb);

  objects.CountHandedOut(ha);
  objects.CountHandedOut(ha);
  objects.DropUnclaimed();
  EXPECT_EQ(objects.size(), 1u) << "b was never handed out";
  objects.Release(ha, 1);
  EXPECT_EQ(objects.Find(ha, 5), a);
  objects.Release(ha, 1000);
  EXPECT_EQ(objects.Find(ha, 5), nullptr);
  EXPECT_NE(objects.Add(a), ha) << "a handle is not reused";
  objects.Release(12345, 1);  // unknown: nothing happens
}

class ServerOnThread {
 public:
  explicit ServerOnThread(std::shared_ptr<ScriptEndpoint> external)
      : server_([external](uint64_t page) { return page == 1 ? external : nullptr; }) {
    thread_ = std::thread([this, fd = pair_.b.get()] {
      while (server_.ServeOne(fd) == ChannelStatus::kOk) {
      }
      pair_.b.reset();
    });
  }
  ~ServerOnThread() {
    if (pair_.a) shutdown(pair_.a.get(), SHUT_RDWR);
    thread_.join();
  }
  UniqueFd TakeClientEnd() { return std::move(pair_.a); }
  // Only after the client is done with its end.
  size_t live_objects() { return server_.objects().size(); }

 private:
  SocketPair pair_;
  ScriptChannelServer server_;
  std::thread thread_;
};

TEST(ScriptChannelTest, ClientCallsObjectsThroughTheServer) {
  auto external = std::make_shared<Counter>();
  ServerOnThread server(external);
  ScriptChannelClient client(server.TakeClientEnd());

  std::vector<ScriptMember> members;
  ASSERT_EQ(client.Describe(1, kExternalHandle, &members), S_OK);
  EXPECT_EQ(members.size(), 5u) << "the nameless member is left out";
  EXPECT_EQ(client.Describe(2, kExternalHandle, &members), DISP_E_MEMBERNOTFOUND) << "unknown page";

  ScriptValue result;
  ScriptValue args[] = {ScriptValue::Int32(40), ScriptValue::Int32(2)};
  ASSERT_EQ(client.Invoke(1, kExternalHandle, 2, ScriptMemberKind::kMethod, args, &result), S_OK);
  EXPECT_EQ(result, ScriptValue::Int32(42));
  ScriptValue put[] = {ScriptValue::WideString(u"b\u00fccher")};
  ASSERT_EQ(client.Invoke(1, kExternalHandle, 1, ScriptMemberKind::kPropertyPut, put, &result), S_OK);
  EXPECT_EQ(external->name, "b\xc3\xbc" "cher");
  EXPECT_EQ(client.Invoke(1, kExternalHandle, 2, ScriptMemberKind::kMethod, put, &result), DISP_E_TYPEMISMATCH);

  ScriptValue child, again;
  ASSERT_EQ(client.Invoke(1, kExternalHandle, 3, ScriptMemberKind::kPropertyGet, {}, &child), S_OK);
  ASSERT_EQ(child.kind(), ScriptValue::Kind::kObject);
  ASSERT_EQ(client.Invoke(1, kExternalHandle, 3, ScriptMemberKind::kPropertyGet, {}, &again), S_OK);
  EXPECT_EQ(child, again);
  ASSERT_EQ(client.Invoke(1, child.object(), 1, ScriptMemberKind::kPropertyGet, {}, &result), S_OK);
  EXPECT_EQ(result.text(), "counter");

  EXPECT_EQ(client.Invoke(1, kExternalHandle, 4, ScriptMemberKind::kMethod, {}, &result), E_INVALIDARG);
  EXPECT_EQ(client.Invoke(1, 77, 1, ScriptMemberKind::kPropertyGet, {}, &result), DISP_E_MEMBERNOTFOUND);

  // Handed out twice: one release of one keeps it, the second frees it.
  ReleasedHandle once[] = {{child.object(), 1}};
  ASSERT_EQ(client.Release(1, once), S_OK);
  ASSERT_EQ(client.Invoke(1, child.object(), 1, ScriptMemberKind::kPropertyGet, {}, &result), S_OK);
  ASSERT_EQ(client.Release(1, once), S_OK);
  EXPECT_EQ(client.Invoke(1, child.object(), 1, ScriptMemberKind::kPropertyGet, {}, &result), DISP_E_MEMBERNOTFOUND);
  EXPECT_TRUE(client.connected());
}

TEST(ScriptChannelTest, GarbledRequestGetsAnErrorAndTheStreamGoesOn) {
  auto external = std::make_shared<Counter>();
  ServerOnThread server(external);
  UniqueFd end = server.TakeClientEnd();
  ASSERT_EQ(WriteFrame(end.get(), "\x02garbage"), ChannelStatus::kOk);
  std::string payload;
  ASSERT_EQ(ReadFrame(end.get(), &payload), ChannelStatus::kOk);
  ScriptReply reply;
  ASSERT_TRUE(DecodeScriptReply(payload, &reply));
  EXPECT_EQ(reply.type, ScriptMessageType::kError);
  EXPECT_EQ(reply.result, E_INVALIDARG);

  ScriptChannelClient client(std::move(end));
  std::vector<ScriptMember> members;
  EXPECT_EQ(client.Describe(1, kExternalHandle, &members), S_OK);
}

TEST(ScriptChannelTest, ClientReportsALostServer) {
  SocketPair pair;
  pair.b.reset();
  ScriptChannelClient client(std::move(pair.a));
  std::vector<ScriptMember> members;
  EXPECT_EQ(client.Describe(1, kExternalHandle, &members), kScriptChannelDisconnected);
  EXPECT_FALSE(client.connected());
  ScriptValue result;
  EXPECT_EQ(client.Invoke(1, kExternalHandle, 1, ScriptMemberKind::kMethod, {}, &result), kScriptChannelDisconnected);

  // A server that answers with garbage is dropped too.
  SocketPair liar;
  std::thread t([fd = liar.b.get()] {
    std::string request;
    ReadFrame(fd, &request);
    WriteFrame(fd, "\x01\0\0\0\0\xff\xff\xff\xff");
  });
  ScriptChannelClient fooled(std::move(liar.a));
  EXPECT_EQ(fooled.Describe(1, kExternalHandle, &members), kScriptChannelDisconnected);
  t.join();
  EXPECT_FALSE(fooled.connected());
}

TEST(ScriptChannelTest, ServeReadableAnswersFramesThatArriveInPieces) {
  auto external = std::make_shared<Counter>();
  ScriptChannelServer server([external](uint64_t) { return external; });
  SocketPair pair;
  ASSERT_EQ(fcntl(pair.b.get(), F_SETFL, O_NONBLOCK), 0);
  EXPECT_EQ(server.ServeReadable(pair.b.get()), ChannelStatus::kWouldBlock);

  ScriptRequest request;
  request.type = ScriptMessageType::kDescribe;
  request.handle = kExternalHandle;
  std::string frames;
  AppendFrame(EncodeScriptRequest(request), &frames);
  AppendFrame(EncodeScriptRequest(request), &frames);
  ASSERT_EQ(write(pair.a.get(), frames.data(), 3), 3);
  EXPECT_EQ(server.ServeReadable(pair.b.get()), ChannelStatus::kWouldBlock);
  ASSERT_EQ(write(pair.a.get(), frames.data() + 3, frames.size() - 3), ssize_t(frames.size() - 3));
  EXPECT_EQ(server.ServeReadable(pair.b.get()), ChannelStatus::kWouldBlock);
  for (int i = 0; i < 2; ++i) {
    std::string payload;
    ASSERT_EQ(ReadFrame(pair.a.get(), &payload), ChannelStatus::kOk);
    ScriptReply reply;
    ASSERT_TRUE(DecodeScriptReply(payload, &reply));
    EXPECT_EQ(reply.members.size(), 5u);
  }

  ASSERT_EQ(write(pair.a.get(), "\xff\xff\xff\x7f", 4), 4);
  EXPECT_EQ(server.ServeReadable(pair.b.get()), ChannelStatus::kOversized);

  // A peer that hangs up between requests is closed; one that hangs up inside a frame is not clean.
  ScriptChannelServer fresh([external](uint64_t) { return external; });
  SocketPair quiet;
  quiet.a.reset();
  EXPECT_EQ(fresh.ServeReadable(quiet.b.get()), ChannelStatus::kClosed);
  ScriptChannelServer other([external](uint64_t) { return external; });
  SocketPair half;
  ASSERT_EQ(write(half.a.get(), "\x05\x00", 2), 2);
  half.a.reset();
  EXPECT_EQ(other.ServeReadable(half.b.get()), ChannelStatus::kMalformed);
}

TEST(ScriptChannelTest, HresultsAreNamedInHex) {
  EXPECT_EQ(DescribeHresult(E_INVALIDARG), "0x80070057 (E_INVALIDARG)");
  EXPECT_EQ(DescribeHresult(int32_t(0x8badf00du)), "0x8BADF00D");
}

}  // namespace
}  // namespace lectern
