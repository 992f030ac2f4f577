// Late-bound calls from the public classes to the control on this thread's
// hidden form: each member is named once, resolved to its DISPID on first use
// and called by DISPID from then on.
//
//   const ControlMember kOpen{"OpenConnection"};
//   std::vector<Variant> args{Variant(address)};
//   bool ok = CallControl(kOpen, InvokeKind::Method, args).AsBool();
#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "platform/dispatch.h"

namespace qv::automation {

// A member of the control reached by name, its DISPID kept once resolved.
class ControlMember {
 public:
  explicit constexpr ControlMember(const char* name) : name_(name) {}
  ControlMember(const ControlMember&) = delete;
  ControlMember& operator=(const ControlMember&) = delete;

  std::string_view name() const { return name_; }
  // Returns the member's DISPID on object, resolving it by name the first
  // time (kDispidUnknown when the object has no such member).
  platform::DISPID Id(platform::IDispatch& object) const;

 private:
  static constexpr platform::DISPID kUnresolved = platform::kDispidUnknown - 1;
  const char* name_;
  mutable std::atomic<platform::DISPID> id_{kUnresolved};
};

// Outcome of a call to the control, read the way the caller needs it. A call
// that failed to dispatch (no form, no such member, wrong arguments) reads as
// False, 0 or "".
struct ControlResult {
  platform::DispResult result;

  bool ok() const { return result.ok(); }
  bool AsBool() const;
  std::int32_t AsLong() const;
  std::string AsString() const;
};

// Calls a member of the control on this thread's form, creating the form on
// first use. Never throws.
ControlResult CallControl(const ControlMember& member, platform::InvokeKind kind,
                          platform::Args args = {});
// Reads and writes a property of the control.
ControlResult GetControl(const ControlMember& member);
ControlResult PutControl(const ControlMember& member, platform::Variant value);

}  // namespace qv::automation
