// Our automation objects as the page's script channel sees them: a member list ahead of the calls,
// and calls with the channel's values converted to and from VARIANT at this one boundary.
#pragma once

#include <memory>
#include <vector>

#include "browser/script_channel.h"
#include "script/variant.h"

namespace lectern {

// A page frame's window, handed to the window side as an object (for `activeFrame`).
class IFrameWindowRef : public IDispatch {
 public:
  virtual uint64_t frame_id() const = 0;

 protected:
  ~IFrameWindowRef() = default;
};

class DispatchEndpoint : public ScriptEndpoint {
 public:
  // Members from the object's own member table (TableDispatch); `members` for objects without one.
  explicit DispatchEndpoint(IDispatch* object, std::vector<ScriptMember> members = {});
  ~DispatchEndpoint() override;

  std::vector<ScriptMember> Describe() override { return members_; }
  HRESULT Invoke(int32_t dispatch_id, ScriptMemberKind kind, std::span<const ScriptValue> arguments,
                 ScriptObjectRegistry& objects, ScriptValue* result) override;
  IDispatch* object() const { return object_; }

 private:
  IDispatch* object_;
  std::vector<ScriptMember> members_;
};

// The channel's value as a VARIANT (objects of `objects` become their IDispatch) and back (an
// IDispatch result is registered in `objects`).
void ToVariant(const ScriptValue& value, ScriptObjectRegistry& objects, VARIANT* out);
ScriptValue FromVariant(const VARIANT& value, ScriptObjectRegistry& objects);

}  // namespace lectern
