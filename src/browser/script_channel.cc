#include "browser/script_channel.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace lectern {
namespace {

// ---- little-endian writer and bounds-checked reader ----

void PutU8(std::string* out, uint8_t v) { out->push_back(char(v)); }
void PutU32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(char((v >> (8 * i)) & 0xFF));
}
void PutU64(std::string* out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out->push_back(char((v >> (8 * i)) & 0xFF));
}
void PutI32(std::string* out, int32_t v) { PutU32(out, uint32_t(v)); }
void PutBytes(std::string* out, std::string_view bytes) {
  PutU32(out, uint32_t(bytes.size()));
  out->append(bytes);
}

class Reader {
 public:
  explicit Reader(std::string_view in) : in_(in) {}
  bool U8(uint8_t* v) {
    if (in_.size() < 1) return false;
    *v = uint8_t(in_[0]);
    in_.remove_prefix(1);
    return true;
  }
  bool U32(uint32_t* v) {
    if (in_.size() < 4) return false;
    uint32_t r = 0;
    for (int i = 0; i < 4; ++i) r |= uint32_t(uint8_t(in_[i])) << (8 * i);
    in_.remove_prefix(4);
    *v = r;
    return true;
  }
  bool U64(uint64_t* v) {
    if (in_.size() < 8) return false;
    uint64_t r = 0;
    for (int i = 0; i < 8; ++i) r |= uint64_t(uint8_t(in_[i])) << (8 * i);
    in_.remove_prefix(8);
    *v = r;
    return true;
  }
  bool I32(int32_t* v) {
    uint32_t u;
    if (!U32(&u)) return false;
    *v = int32_t(u);
    return true;
  }
  // A length-prefixed run of `unit`-byte elements, checked against what is left before anything
  // is copied.
  bool Bytes(size_t unit, size_t max_bytes, std::string_view* bytes) {
    uint32_t count;
    if (!U32(&count)) return false;
    if (uint64_t(count) * unit > in_.size() || uint64_t(count) * unit > max_bytes) return false;
    *bytes = in_.substr(0, count * unit);
    in_.remove_prefix(count * unit);
    return true;
  }
  // A count of elements that each need at least `min_element_bytes`: refused when the rest of the
  // payload could not possibly hold them, so a hostile count never sizes an allocation.
  bool Count(size_t min_element_bytes, size_t max_count, uint32_t* count) {
    if (!U32(count)) return false;
    return *count <= max_count && uint64_t(*count) * min_element_bytes <= in_.size();
  }
  std::string_view* rest() { return &in_; }
  bool done() const { return in_.empty(); }

 private:
  std::string_view in_;
};

bool ValidKind(uint8_t kind) { return kind >= 1 && kind <= 3; }

// The smallest wire value: a tag alone.
constexpr size_t kMinValueBytes = 1;
constexpr size_t kMinMemberBytes = 4 + 4 + 1;
constexpr size_t kReleasedHandleBytes = 8;

}  // namespace

std::string ScriptValue::text() const {
  if (kind() == Kind::kString) return string();
  if (kind() == Kind::kWideString) return WideToUtf8(wide_string());
  return {};
}

void EncodeScriptValue(const ScriptValue& value, std::string* out) {
  PutU8(out, uint8_t(value.kind()));
  switch (value.kind()) {
    case ScriptValue::Kind::kEmpty:
    case ScriptValue::Kind::kNull:
      return;
    case ScriptValue::Kind::kInt32:
      PutI32(out, value.int32());
      return;
    case ScriptValue::Kind::kBool:
      PutU8(out, value.boolean() ? 1 : 0);
      return;
    case ScriptValue::Kind::kDouble: {
      uint64_t bits;
      double d = value.number();
      std::memcpy(&bits, &d, 8);
      PutU64(out, bits);
      return;
    }
    case ScriptValue::Kind::kWideString: {
      const auto& wide = value.wide_string();
      PutU32(out, uint32_t(wide.size()));
      for (char16_t c : wide) {
        out->push_back(char(c & 0xFF));
        out->push_back(char(c >> 8));
      }
      return;
    }
    case ScriptValue::Kind::kString:
      PutBytes(out, value.string());
      return;
    case ScriptValue::Kind::kObject:
      PutU32(out, value.object());
      return;
    case ScriptValue::Kind::kFrame:
      PutU64(out, value.frame());
      return;
  }
}

bool DecodeScriptValue(std::string_view* in, ScriptValue* value) {
  Reader r(*in);
  uint8_t tag;
  if (!r.U8(&tag)) return false;
  switch (ScriptValue::Kind(tag)) {
    case ScriptValue::Kind::kEmpty:
      *value = ScriptValue();
      break;
    case ScriptValue::Kind::kNull:
      *value = ScriptValue::Null();
      break;
    case ScriptValue::Kind::kInt32: {
      int32_t v;
      if (!r.I32(&v)) return false;
      *value = ScriptValue::Int32(v);
      break;
    }
    case ScriptValue::Kind::kBool: {
      uint8_t v;
      if (!r.U8(&v) || v > 1) return false;
      *value = ScriptValue::Bool(v == 1);
      break;
    }
    case ScriptValue::Kind::kDouble: {
      uint64_t bits;
      if (!r.U64(&bits)) return false;
      double d;
      std::memcpy(&d, &bits, 8);
      *value = ScriptValue::Double(d);
      break;
    }
    case ScriptValue::Kind::kWideString: {
      std::string_view bytes;
      if (!r.Bytes(2, kMaxFrameBytes, &bytes)) return false;
      WideString wide(bytes.size() / 2, u'\0');
      for (size_t i = 0; i < wide.size(); ++i)
        wide[i] = char16_t(uint8_t(bytes[2 * i]) | (uint16_t(uint8_t(bytes[2 * i + 1])) << 8));
      *value = ScriptValue::WideString(std::move(wide));
      break;
    }
    case ScriptValue::Kind::kString: {
      std::string_view bytes;
      if (!r.Bytes(1, kMaxFrameBytes, &bytes)) return false;
      *value = ScriptValue::String(std::string(bytes));
      break;
    }
    case ScriptValue::Kind::kObject: {
      uint32_t handle;
      if (!r.U32(&handle) || handle == 0) return false;
      *value = ScriptValue::Object(handle);
      break;
    }
    case ScriptValue::Kind::kFrame: {
      uint64_t id;
      if (!r.U64(&id)) return false;
      *value = ScriptValue::Frame(id);
      break;
    }
    default:
      return false;
  }
  *in = *r.rest();
  return true;
}

// ---- registry ----

ScriptHandle ScriptObjectRegistry::Add(std::shared_ptr<ScriptEndpoint> object, const void* identity) {
  if (!object) return 0;
  if (!identity) identity = object.get();
  if (auto it = by_identity_.find(identity); it != by_identity_.end()) return it->second;
  ScriptHandle handle = next_handle_;
  // Handles are never reused while one is live; after 2^32 registrations the counter wraps past
  // the reserved values.
  while (handle <= kExternalHandle || entries_.count(handle)) ++handle;
  next_handle_ = handle + 1;
  entries_[handle] = Entry{std::move(object), identity, 0};
  by_identity_[identity] = handle;
  return handle;
}

std::shared_ptr<ScriptEndpoint> ScriptObjectRegistry::Find(ScriptHandle handle, uint64_t page_id) const {
  if (handle == kExternalHandle) return external_ ? external_(page_id) : nullptr;
  auto it = entries_.find(handle);
  return it == entries_.end() ? nullptr : it->second.object;
}

void ScriptObjectRegistry::CountHandedOut(ScriptHandle handle) {
  if (auto it = entries_.find(handle); it != entries_.end()) ++it->second.handed_out;
}

void ScriptObjectRegistry::Release(ScriptHandle handle, uint32_t count) {
  auto it = entries_.find(handle);
  if (it == entries_.end()) return;
  // A page that gives back more than it was given cannot take the object from anyone else.
  it->second.handed_out -= std::min<uint64_t>(count, it->second.handed_out);
  if (it->second.handed_out > 0) return;
  by_identity_.erase(it->second.identity);
  entries_.erase(it);
}

void ScriptObjectRegistry::DropUnclaimed() {
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (it->second.handed_out == 0) {
      by_identity_.erase(it->second.identity);
      it = entries_.erase(it);
    } else {
      ++it;
    }
  }
}

// ---- messages ----

std::string EncodeScriptRequest(const ScriptRequest& request) {
  std::string out;
  PutU8(&out, uint8_t(request.type));
  PutU64(&out, request.page_id);
  switch (request.type) {
    case ScriptMessageType::kDescribe:
      PutU32(&out, request.handle);
      break;
    case ScriptMessageType::kInvoke:
      PutU32(&out, request.handle);
      PutI32(&out, request.dispatch_id);
      PutU8(&out, uint8_t(request.kind));
      PutU32(&out, uint32_t(request.arguments.size()));
      for (const auto& argument : request.arguments) EncodeScriptValue(argument, &out);
      break;
    case ScriptMessageType::kRelease:
      PutU32(&out, uint32_t(request.released.size()));
      for (const auto& released : request.released) {
        PutU32(&out, released.handle);
        PutU32(&out, released.count);
      }
      break;
    case ScriptMessageType::kError:
      break;
  }
  return out;
}

bool DecodeScriptRequest(std::string_view payload, ScriptRequest* request) {
  if (payload.size() > kMaxFrameBytes) return false;
  Reader r(payload);
  uint8_t type;
  ScriptRequest out;
  if (!r.U8(&type) || !r.U64(&out.page_id)) return false;
  out.type = ScriptMessageType(type);
  switch (out.type) {
    case ScriptMessageType::kDescribe:
      if (!r.U32(&out.handle) || out.handle == 0) return false;
      break;
    case ScriptMessageType::kInvoke: {
      uint8_t kind;
      uint32_t count;
      if (!r.U32(&out.handle) || out.handle == 0 || !r.I32(&out.dispatch_id) || !r.U8(&kind) || !ValidKind(kind))
        return false;
      out.kind = ScriptMemberKind(kind);
      if (!r.Count(kMinValueBytes, kMaxScriptArguments, &count)) return false;
      out.arguments.resize(count);
      for (auto& argument : out.arguments)
        if (!DecodeScriptValue(r.rest(), &argument)) return false;
      break;
    }
    case ScriptMessageType::kRelease: {
      uint32_t count;
      if (!r.Count(kReleasedHandleBytes, kMaxFrameBytes / kReleasedHandleBytes, &count)) return false;
      out.released.resize(count);
      for (auto& released : out.released)
        if (!r.U32(&released.handle) || !r.U32(&released.count)) return false;
      break;
    }
    default:
      return false;
  }
  if (!r.done()) return false;
  *request = std::move(out);
  return true;
}

std::string EncodeScriptReply(const ScriptReply& reply) {
  std::string out;
  PutU8(&out, uint8_t(reply.type));
  PutI32(&out, reply.result);
  switch (reply.type) {
    case ScriptMessageType::kDescribe:
      PutU32(&out, uint32_t(reply.members.size()));
      for (const auto& member : reply.members) {
        PutBytes(&out, member.name);
        PutI32(&out, member.dispatch_id);
        PutU8(&out, uint8_t(member.kind));
      }
      break;
    case ScriptMessageType::kInvoke:
      EncodeScriptValue(reply.value, &out);
      break;
    case ScriptMessageType::kRelease:
    case ScriptMessageType::kError:
      break;
  }
  return out;
}

bool DecodeScriptReply(std::string_view payload, ScriptReply* reply) {
  if (payload.size() > kMaxFrameBytes) return false;
  Reader r(payload);
  uint8_t type;
  ScriptReply out;
  if (!r.U8(&type) || !r.I32(&out.result)) return false;
  out.type = ScriptMessageType(type);
  switch (out.type) {
    case ScriptMessageType::kDescribe: {
      uint32_t count;
      if (!r.Count(kMinMemberBytes, kMaxScriptMembers, &count)) return false;
      out.members.resize(count);
      for (auto& member : out.members) {
        std::string_view name;
        uint8_t kind;
        if (!r.Bytes(1, kMaxMemberNameBytes, &name) || name.empty() || !r.I32(&member.dispatch_id) ||
            !r.U8(&kind) || !ValidKind(kind))
          return false;
        member.name = std::string(name);
        member.kind = ScriptMemberKind(kind);
      }
      break;
    }
    case ScriptMessageType::kInvoke:
      if (!DecodeScriptValue(r.rest(), &out.value)) return false;
      break;
    case ScriptMessageType::kRelease:
    case ScriptMessageType::kError:
      break;
    default:
      return false;
  }
  if (!r.done()) return false;
  *reply = std::move(out);
  return true;
}

// ---- frames ----

const char* ChannelStatusName(ChannelStatus status) {
  switch (status) {
    case ChannelStatus::kOk: return "ok";
    case ChannelStatus::kClosed: return "closed";
    case ChannelStatus::kOversized: return "oversized frame";
    case ChannelStatus::kMalformed: return "malformed message";
    case ChannelStatus::kIoError: return "I/O error";
    case ChannelStatus::kWouldBlock: return "would block";
  }
  return "?";
}

bool AppendFrame(std::string_view payload, std::string* out) {
  if (payload.size() > kMaxFrameBytes) return false;
  PutU32(out, uint32_t(payload.size()));
  out->append(payload);
  return true;
}

ChannelStatus FrameAssembler::Next(std::string* payload) {
  std::string_view pending = std::string_view(buffer_).substr(consumed_);
  Reader r(pending);
  uint32_t length;
  if (!r.U32(&length)) return ChannelStatus::kWouldBlock;
  if (length > kMaxFrameBytes) return ChannelStatus::kOversized;
  if (pending.size() - 4 < length) return ChannelStatus::kWouldBlock;
  payload->assign(pending.substr(4, length));
  consumed_ += 4 + size_t(length);
  // Compact once the consumed part dominates, so a long conversation keeps a small buffer.
  if (consumed_ == buffer_.size()) {
    buffer_.clear();
    consumed_ = 0;
  } else if (consumed_ > buffer_.size() / 2) {
    buffer_.erase(0, consumed_);
    consumed_ = 0;
  }
  return ChannelStatus::kOk;
}

namespace {

ChannelStatus WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == ENOTSOCK) n = write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        // A non-blocking end: the peer is waiting for exactly this reply, so wait for room.
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, -1) < 0 && errno != EINTR) return ChannelStatus::kIoError;
        continue;
      }
      return errno == EPIPE || errno == ECONNRESET ? ChannelStatus::kClosed : ChannelStatus::kIoError;
    }
    bytes.remove_prefix(size_t(n));
  }
  return ChannelStatus::kOk;
}

// kClosed only when the peer closed before the first byte.
ChannelStatus ReadExactly(int fd, char* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    ssize_t n = read(fd, data + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, -1) < 0 && errno != EINTR) return ChannelStatus::kIoError;
        continue;
      }
      return errno == ECONNRESET ? ChannelStatus::kClosed : ChannelStatus::kIoError;
    }
    if (n == 0) return done == 0 ? ChannelStatus::kClosed : ChannelStatus::kMalformed;
    done += size_t(n);
  }
  return ChannelStatus::kOk;
}

}  // namespace

ChannelStatus WriteFrame(int fd, std::string_view payload) {
  std::string frame;
  if (!AppendFrame(payload, &frame)) return ChannelStatus::kOversized;
  return WriteAll(fd, frame);
}

ChannelStatus ReadFrame(int fd, std::string* payload) {
  char header[4];
  if (auto status = ReadExactly(fd, header, 4); status != ChannelStatus::kOk) return status;
  uint32_t length = 0;
  for (int i = 0; i < 4; ++i) length |= uint32_t(uint8_t(header[i])) << (8 * i);
  if (length > kMaxFrameBytes) return ChannelStatus::kOversized;
  payload->resize(length);
  if (length == 0) return ChannelStatus::kOk;
  auto status = ReadExactly(fd, payload->data(), length);
  return status == ChannelStatus::kClosed ? ChannelStatus::kMalformed : status;
}

UniqueFd& UniqueFd::operator=(UniqueFd&& o) noexcept {
  if (this != &o) reset(o.release());
  return *this;
}

void UniqueFd::reset(int fd) {
  if (fd_ >= 0) close(fd_);
  fd_ = fd;
}

// ---- server ----

std::string ScriptChannelServer::Answer(std::string_view request_payload) {
  ScriptRequest request;
  ScriptReply reply;
  if (!DecodeScriptRequest(request_payload, &request)) {
    reply.type = ScriptMessageType::kError;
    reply.result = E_INVALIDARG;
    return EncodeScriptReply(reply);
  }
  reply.type = request.type;
  switch (request.type) {
    case ScriptMessageType::kDescribe: {
      auto object = objects_.Find(request.handle, request.page_id);
      if (!object) {
        reply.result = DISP_E_MEMBERNOTFOUND;
        break;
      }
      reply.members = object->Describe();
      // What the page cannot be told is left out rather than spoiling the whole answer.
      std::erase_if(reply.members, [](const ScriptMember& m) {
        return m.name.empty() || m.name.size() > kMaxMemberNameBytes || !ValidKind(uint8_t(m.kind));
      });
      if (reply.members.size() > kMaxScriptMembers) reply.members.resize(kMaxScriptMembers);
      break;
    }
    case ScriptMessageType::kInvoke: {
      // Kept alive through the call, even if the call lets the page release it meanwhile.
      auto object = objects_.Find(request.handle, request.page_id);
      if (!object) {
        reply.result = DISP_E_MEMBERNOTFOUND;
        break;
      }
      ScriptValue result;
      reply.result = object->Invoke(request.dispatch_id, request.kind, request.arguments, objects_, &result);
      // A result that names an object the registry does not hold would be a dangling handle.
      if (result.kind() == ScriptValue::Kind::kObject && !objects_.Find(result.object(), request.page_id))
        result = ScriptValue::Null();
      reply.value = std::move(result);
      std::string encoded = EncodeScriptReply(reply);
      if (encoded.size() > kMaxFrameBytes) {
        reply.result = E_OUTOFMEMORY;
        reply.value = ScriptValue();
        encoded = EncodeScriptReply(reply);
      } else if (reply.value.kind() == ScriptValue::Kind::kObject && reply.value.object() != kExternalHandle) {
        objects_.CountHandedOut(reply.value.object());
      }
      objects_.DropUnclaimed();
      return encoded;
    }
    case ScriptMessageType::kRelease:
      for (const auto& released : request.released) objects_.Release(released.handle, released.count);
      break;
    case ScriptMessageType::kError:
      reply.result = E_INVALIDARG;
      break;
  }
  return EncodeScriptReply(reply);
}

ChannelStatus ScriptChannelServer::ServeOne(int fd) {
  std::string request;
  if (auto status = ReadFrame(fd, &request); status != ChannelStatus::kOk) return status;
  return WriteFrame(fd, Answer(request));
}

ChannelStatus ScriptChannelServer::ServeReadable(int fd) {
  char chunk[64 * 1024];
  for (;;) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return ChannelStatus::kWouldBlock;
      return ChannelStatus::kIoError;
    }
    if (n == 0) return incoming_.buffered() ? ChannelStatus::kMalformed : ChannelStatus::kClosed;
    incoming_.Append(std::string_view(chunk, size_t(n)));
    std::string request;
    for (;;) {
      ChannelStatus status = incoming_.Next(&request);
      if (status == ChannelStatus::kWouldBlock) break;
      if (status != ChannelStatus::kOk) return status;
      if (auto written = WriteFrame(fd, Answer(request)); written != ChannelStatus::kOk) return written;
    }
  }
}

// ---- client ----

HRESULT ScriptChannelClient::Call(const ScriptRequest& request, ScriptReply* reply) {
  if (!socket_) return kScriptChannelDisconnected;
  std::string payload = EncodeScriptRequest(request);
  if (payload.size() > kMaxFrameBytes) return E_OUTOFMEMORY;
  std::string answer;
  if (WriteFrame(socket_.get(), payload) != ChannelStatus::kOk || ReadFrame(socket_.get(), &answer) != ChannelStatus::kOk ||
      !DecodeScriptReply(answer, reply) ||
      (reply->type != request.type && reply->type != ScriptMessageType::kError)) {
    // Once a reply is lost or garbled, request and reply no longer pair up on this stream.
    socket_.reset();
    return kScriptChannelDisconnected;
  }
  return reply->result;
}

HRESULT ScriptChannelClient::Describe(uint64_t page_id, ScriptHandle handle, std::vector<ScriptMember>* members) {
  ScriptRequest request;
  request.type = ScriptMessageType::kDescribe;
  request.page_id = page_id;
  request.handle = handle;
  ScriptReply reply;
  HRESULT result = Call(request, &reply);
  if (SUCCEEDED(result)) *members = std::move(reply.members);
  return result;
}

HRESULT ScriptChannelClient::Invoke(uint64_t page_id, ScriptHandle handle, int32_t dispatch_id,
                                    ScriptMemberKind kind, std::span<const ScriptValue> arguments,
                                    ScriptValue* result) {
  if (arguments.size() > kMaxScriptArguments) return DISP_E_BADPARAMCOUNT;
  ScriptRequest request;
  request.type = ScriptMessageType::kInvoke;
  request.page_id = page_id;
  request.handle = handle;
  request.dispatch_id = dispatch_id;
  request.kind = kind;
  request.arguments.assign(arguments.begin(), arguments.end());
  ScriptReply reply;
  HRESULT hr = Call(request, &reply);
  // An object handed out counts even when the call failed; the caller must see it to give it back.
  *result = std::move(reply.value);
  return hr;
}

HRESULT ScriptChannelClient::Release(uint64_t page_id, std::span<const ReleasedHandle> handles) {
  ScriptRequest request;
  request.type = ScriptMessageType::kRelease;
  request.page_id = page_id;
  request.released.assign(handles.begin(), handles.end());
  ScriptReply reply;
  return Call(request, &reply);
}

std::string DescribeHresult(HRESULT result) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", unsigned(uint32_t(result)));
  const char* name = nullptr;
  switch (result) {
    case S_OK: name = "S_OK"; break;
    case S_FALSE: name = "S_FALSE"; break;
    case E_NOTIMPL: name = "E_NOTIMPL"; break;
    case E_NOINTERFACE: name = "E_NOINTERFACE"; break;
    case E_POINTER: name = "E_POINTER"; break;
    case E_FAIL: name = "E_FAIL"; break;
    case E_UNEXPECTED: name = "E_UNEXPECTED"; break;
    case E_OUTOFMEMORY: name = "E_OUTOFMEMORY"; break;
    case E_INVALIDARG: name = "E_INVALIDARG"; break;
    case DISP_E_MEMBERNOTFOUND: name = "DISP_E_MEMBERNOTFOUND"; break;
    case DISP_E_TYPEMISMATCH: name = "DISP_E_TYPEMISMATCH"; break;
    case DISP_E_UNKNOWNNAME: name = "DISP_E_UNKNOWNNAME"; break;
    case DISP_E_NONAMEDARGS: name = "DISP_E_NONAMEDARGS"; break;
    case DISP_E_BADPARAMCOUNT: name = "DISP_E_BADPARAMCOUNT"; break;
    case DISP_E_EXCEPTION: name = "DISP_E_EXCEPTION"; break;
    case kScriptChannelDisconnected: name = "RPC_E_DISCONNECTED"; break;
    default: break;
  }
  return name ? std::string(hex) + " (" + name + ")" : std::string(hex);
}

}  // namespace lectern
