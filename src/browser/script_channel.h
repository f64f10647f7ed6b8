// The synchronous channel between a page's script and the window's script objects, for a page
// component that runs script in another process. The page side asks over a stream socket and
// blocks for the answer; the window side keeps the objects, answers one request at a time, and
// may take as long as it likes (a modal dialog) before it does.
//
// A frame is a little-endian u32 payload length followed by the payload; payloads are at most
// kMaxFrameBytes. A payload is a message-type byte followed by the message's fields, all
// little-endian. Every request gets exactly one reply, in order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "platform/com.h"

namespace lectern {

inline constexpr size_t kMaxFrameBytes = 4u << 20;
inline constexpr size_t kMaxScriptArguments = 64;
inline constexpr size_t kMaxScriptMembers = 4096;
inline constexpr size_t kMaxMemberNameBytes = 512;
inline constexpr uint32_t kScriptChannelVersion = 1;

// The channel itself failed (peer gone, garbled reply); the object cannot be reached any more.
inline constexpr HRESULT kScriptChannelDisconnected = int32_t(0x80010108u);

using ScriptHandle = uint32_t;
// Handle 1 names the `window.external` object of the page that asks.
inline constexpr ScriptHandle kExternalHandle = 1;

// ---- values ---------------------------------------------------------------------------------

struct ScriptNull {
  bool operator==(const ScriptNull&) const = default;
};
// An object that lives on the window side, by its handle.
struct ScriptObjectRef {
  ScriptHandle handle = 0;
  bool operator==(const ScriptObjectRef&) const = default;
};
// A frame of the page (its window object), by the page component's frame id.
struct ScriptFrameRef {
  uint64_t frame_id = 0;
  bool operator==(const ScriptFrameRef&) const = default;
};

// What crosses the channel as an argument or a result. Empty is "no value" (undefined in script).
class ScriptValue {
 public:
  enum class Kind : uint8_t { kEmpty, kNull, kInt32, kBool, kDouble, kWideString, kString, kObject, kFrame };

  ScriptValue() = default;
  static ScriptValue Null() { return ScriptValue(ScriptNull{}); }
  static ScriptValue Int32(int32_t v) { return ScriptValue(v); }
  static ScriptValue Bool(bool v) { return ScriptValue(v); }
  static ScriptValue Double(double v) { return ScriptValue(v); }
  static ScriptValue WideString(lectern::WideString v) { return ScriptValue(std::move(v)); }
  static ScriptValue String(std::string utf8) { return ScriptValue(std::move(utf8)); }
  static ScriptValue Object(ScriptHandle handle) { return ScriptValue(ScriptObjectRef{handle}); }
  static ScriptValue Frame(uint64_t frame_id) { return ScriptValue(ScriptFrameRef{frame_id}); }

  Kind kind() const { return Kind(value_.index()); }
  bool is_empty() const { return kind() == Kind::kEmpty; }
  int32_t int32() const { return std::get<int32_t>(value_); }
  bool boolean() const { return std::get<bool>(value_); }
  double number() const { return std::get<double>(value_); }
  const lectern::WideString& wide_string() const { return std::get<lectern::WideString>(value_); }
  const std::string& string() const { return std::get<std::string>(value_); }
  ScriptHandle object() const { return std::get<ScriptObjectRef>(value_).handle; }
  uint64_t frame() const { return std::get<ScriptFrameRef>(value_).frame_id; }
  // Either string form as UTF-8; empty for every other kind.
  std::string text() const;

  bool operator==(const ScriptValue&) const = default;

 private:
  template <typename T>
  explicit ScriptValue(T v) : value_(std::move(v)) {}
  // Order matches Kind.
  std::variant<std::monostate, ScriptNull, int32_t, bool, double, lectern::WideString, std::string, ScriptObjectRef,
               ScriptFrameRef>
      value_;
};

// Appends the wire form of `value`.
void EncodeScriptValue(const ScriptValue& value, std::string* out);
// Reads one value from the front of `*in` and advances past it; false (with `*in` unspecified) for
// truncated or malformed bytes.
bool DecodeScriptValue(std::string_view* in, ScriptValue* value);

// ---- members and the objects that have them ---------------------------------------------------

enum class ScriptMemberKind : uint8_t { kMethod = 1, kPropertyGet = 2, kPropertyPut = 3 };

struct ScriptMember {
  std::string name;  // UTF-8
  int32_t dispatch_id = 0;
  ScriptMemberKind kind = ScriptMemberKind::kMethod;
  bool operator==(const ScriptMember&) const = default;
};

class ScriptObjectRegistry;

// A window-side object that script may call. Arguments arrive in the order script wrote them.
// Objects that a call hands back are registered in `objects` and returned as ScriptValue::Object.
class ScriptEndpoint {
 public:
  virtual ~ScriptEndpoint() = default;
  virtual std::vector<ScriptMember> Describe() = 0;
  virtual HRESULT Invoke(int32_t dispatch_id, ScriptMemberKind kind, std::span<const ScriptValue> arguments,
                         ScriptObjectRegistry& objects, ScriptValue* result) = 0;
};

// The objects that one page process holds, by handle. A handle stays valid while the page side
// holds it: every time a reply hands a handle out it is counted, and the page side gives the count
// back (Release) when its document goes away.
class ScriptObjectRegistry {
 public:
  using ExternalLookup = std::function<std::shared_ptr<ScriptEndpoint>(uint64_t page_id)>;
  explicit ScriptObjectRegistry(ExternalLookup external) : external_(std::move(external)) {}

  // The handle of `object`; the same `identity` (the object's own address by default) always
  // gives the same handle while it is registered.
  ScriptHandle Add(std::shared_ptr<ScriptEndpoint> object, const void* identity = nullptr);
  // The object behind `handle` (handle 1: the `window.external` of `page_id`); null when unknown.
  std::shared_ptr<ScriptEndpoint> Find(ScriptHandle handle, uint64_t page_id) const;

  void CountHandedOut(ScriptHandle handle);
  void Release(ScriptHandle handle, uint32_t count);
  // Drops objects registered during a call that never reached the page.
  void DropUnclaimed();
  size_t size() const { return entries_.size(); }

 private:
  struct Entry {
    std::shared_ptr<ScriptEndpoint> object;
    const void* identity = nullptr;
    uint64_t handed_out = 0;
  };
  ExternalLookup external_;
  std::unordered_map<ScriptHandle, Entry> entries_;
  std::unordered_map<const void*, ScriptHandle> by_identity_;
  ScriptHandle next_handle_ = kExternalHandle + 1;
};

// ---- messages -------------------------------------------------------------------------------

enum class ScriptMessageType : uint8_t { kError = 0, kDescribe = 1, kInvoke = 2, kRelease = 3 };

struct ReleasedHandle {
  ScriptHandle handle = 0;
  uint32_t count = 0;
  bool operator==(const ReleasedHandle&) const = default;
};

struct ScriptRequest {
  ScriptMessageType type = ScriptMessageType::kDescribe;
  uint64_t page_id = 0;
  ScriptHandle handle = 0;                 // describe, invoke
  int32_t dispatch_id = 0;                 // invoke
  ScriptMemberKind kind = ScriptMemberKind::kMethod;  // invoke
  std::vector<ScriptValue> arguments;      // invoke
  std::vector<ReleasedHandle> released;    // release
  bool operator==(const ScriptRequest&) const = default;
};

struct ScriptReply {
  ScriptMessageType type = ScriptMessageType::kError;  // the request's type; kError for an unreadable request
  HRESULT result = S_OK;
  std::vector<ScriptMember> members;  // describe
  ScriptValue value;                  // invoke
  bool operator==(const ScriptReply&) const = default;
};

// Payloads (without the frame's length prefix). Decoding refuses truncated, oversized, trailing
// or unknown content.
std::string EncodeScriptRequest(const ScriptRequest& request);
bool DecodeScriptRequest(std::string_view payload, ScriptRequest* request);
std::string EncodeScriptReply(const ScriptReply& reply);
bool DecodeScriptReply(std::string_view payload, ScriptReply* reply);

// ---- frames and sockets ----------------------------------------------------------------------

enum class ChannelStatus { kOk, kClosed, kOversized, kMalformed, kIoError, kWouldBlock };
const char* ChannelStatusName(ChannelStatus status);

// The length prefix and the payload; false when the payload is over the limit.
bool AppendFrame(std::string_view payload, std::string* out);

// Cuts complete frames out of bytes that arrive in pieces. Holds at most one frame and one
// read's worth of bytes; a length over the limit is refused before anything is allocated for it.
class FrameAssembler {
 public:
  void Append(std::string_view bytes) { buffer_.append(bytes); }
  // kOk with the next payload, kWouldBlock while the next frame is incomplete, kOversized for a
  // length over the limit (the stream cannot be trusted after that).
  ChannelStatus Next(std::string* payload);
  size_t buffered() const { return buffer_.size() - consumed_; }

 private:
  std::string buffer_;
  size_t consumed_ = 0;
};

// Blocking frame I/O on a stream socket (EINTR retried, no SIGPIPE).
ChannelStatus WriteFrame(int fd, std::string_view payload);
ChannelStatus ReadFrame(int fd, std::string* payload);

// An owned file descriptor.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& o) noexcept : fd_(o.release()) {}
  UniqueFd& operator=(UniqueFd&& o) noexcept;
  ~UniqueFd() { reset(); }
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset(int fd = -1);
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// ---- the two ends -----------------------------------------------------------------------------

// The window side of one connection: the objects that its page process holds and the answers.
class ScriptChannelServer {
 public:
  explicit ScriptChannelServer(ScriptObjectRegistry::ExternalLookup external) : objects_(std::move(external)) {}

  // The reply payload for one request payload. A request that cannot be read gets a kError reply
  // with E_INVALIDARG; the stream stays usable because its framing was sound.
  std::string Answer(std::string_view request_payload);
  // Blocking: reads one request from `fd` and writes its reply.
  ChannelStatus ServeOne(int fd);
  // For a non-blocking `fd` that polled readable: reads what is there and answers every complete
  // request. kWouldBlock when all is answered and the connection stays; any other status but kOk
  // means the connection is finished.
  ChannelStatus ServeReadable(int fd);

  ScriptObjectRegistry& objects() { return objects_; }

 private:
  ScriptObjectRegistry objects_;
  FrameAssembler incoming_;
};

// The page side: each call sends one request and blocks for its reply. After a transport failure
// every call answers kScriptChannelDisconnected at once.
class ScriptChannelClient {
 public:
  explicit ScriptChannelClient(UniqueFd socket) : socket_(std::move(socket)) {}

  HRESULT Describe(uint64_t page_id, ScriptHandle handle, std::vector<ScriptMember>* members);
  HRESULT Invoke(uint64_t page_id, ScriptHandle handle, int32_t dispatch_id, ScriptMemberKind kind,
                 std::span<const ScriptValue> arguments, ScriptValue* result);
  HRESULT Release(uint64_t page_id, std::span<const ReleasedHandle> handles);
  bool connected() const { return bool(socket_); }

 private:
  HRESULT Call(const ScriptRequest& request, ScriptReply* reply);
  UniqueFd socket_;
};

// "0x80070057" and, for the codes script objects use, its name: "0x80070057 (E_INVALIDARG)".
std::string DescribeHresult(HRESULT result);

}  // namespace lectern
