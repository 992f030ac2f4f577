// Late-bound calls to the control of the thread's hidden form.
#include "automation/late_bound.h"

#include <exception>

#include "automation/hidden_form.h"

namespace qv::automation {

using platform::DispResult;
using platform::DispStatus;
using platform::InvokeKind;
using platform::Variant;

platform::DISPID ControlMember::Id(platform::IDispatch& object) const {
  platform::DISPID id = id_.load(std::memory_order_relaxed);
  if (id == kUnresolved) {
    id = object.GetIDsOfNames(name_);
    id_.store(id, std::memory_order_relaxed);
  }
  return id;
}

bool ControlResult::AsBool() const {
  try {
    return result.ok() && result.value.ToBool();
  } catch (const std::exception&) {
    return false;
  }
}

std::int32_t ControlResult::AsLong() const {
  try {
    return result.ok() ? result.value.ToLong() : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

std::string ControlResult::AsString() const {
  try {
    return result.ok() ? result.value.ToString() : std::string();
  } catch (const std::exception&) {
    return std::string();
  }
}

ControlResult CallControl(const ControlMember& member, InvokeKind kind, platform::Args args) {
  try {
    platform::IDispatch& control = frm().Dispatch();
    const platform::DISPID id = member.Id(control);
    if (id == platform::kDispidUnknown) {
      return {DispResult::Error(DispStatus::UnknownName,
                                "QVSource has no member " + std::string(member.name()))};
    }
    return {control.Invoke(id, kind, args)};
  } catch (const std::exception& e) {
    return {DispResult::Error(DispStatus::Exception, e.what())};
  }
}

ControlResult GetControl(const ControlMember& member) {
  return CallControl(member, InvokeKind::PropertyGet);
}

ControlResult PutControl(const ControlMember& member, Variant value) {
  return CallControl(member, InvokeKind::PropertyPut, platform::Args(&value, 1));
}

}  // namespace qv::automation
