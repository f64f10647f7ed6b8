// The script channel's decoders take bytes from another process. The first byte picks what the
// rest is read as: a request, a reply, or a stream of frames answered by a server.
#include <cmath>
#include <cstdlib>

#include "browser/script_channel.h"

namespace {

using namespace lectern;

class Echo : public ScriptEndpoint {
 public:
  std::vector<ScriptMember> Describe() override { return {{"echo", 1, ScriptMemberKind::kMethod}}; }
  HRESULT Invoke(int32_t id, ScriptMemberKind, std::span<const ScriptValue> args, ScriptObjectRegistry& objects,
                 ScriptValue* result) override {
    if (id == 2) {
      *result = ScriptValue::Object(objects.Add(std::make_shared<Echo>()));
      return S_OK;
    }
    if (!args.empty()) *result = args[0];
    return S_OK;
  }
};

bool HasNan(const ScriptValue& v) { return v.kind() == ScriptValue::Kind::kDouble && std::isnan(v.number()); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 3) {
    case 0: {
      ScriptRequest request;
      if (!DecodeScriptRequest(bytes, &request)) break;
      ScriptRequest again;
      if (!DecodeScriptRequest(EncodeScriptRequest(request), &again)) std::abort();
      bool nan = false;
      for (const auto& a : request.arguments) nan |= HasNan(a);
      if (!nan && !(again == request)) std::abort();
      break;
    }
    case 1: {
      ScriptReply reply;
      if (!DecodeScriptReply(bytes, &reply)) break;
      ScriptReply again;
      if (!DecodeScriptReply(EncodeScriptReply(reply), &again)) std::abort();
      if (!HasNan(reply.value) && !(again == reply)) std::abort();
      break;
    }
    case 2: {
      auto external = std::make_shared<Echo>();
      ScriptChannelServer server([external](uint64_t) { return external; });
      FrameAssembler frames;
      frames.Append(bytes);
      std::string payload;
      while (frames.Next(&payload) == ChannelStatus::kOk) {
        ScriptReply reply;
        // Whatever arrives, the answer is a well-formed reply.
        if (!DecodeScriptReply(server.Answer(payload), &reply)) std::abort();
      }
      break;
    }
  }
  return 0;
}
