// The manager of a command: creation by ProgID, calls by name, error state.
#include "qvmgr/session.h"

#include <mutex>

#include "automation/classes.h"
#include "automation/hidden_form.h"
#include "platform/ascii.h"
#include "platform/server.h"

namespace qv::cli {
namespace {

using platform::DispResult;
using platform::InvokeKind;
using platform::Variant;

}  // namespace

platform::ObjectPtr CreateLinkedObject(std::string_view progId, std::string& error) {
  static std::once_flag once;
  try {
    std::call_once(once, [] { automation::AddLibraryClasses(); });
  } catch (const std::exception& e) {
    error = std::string("cannot list the classes of the library: ") + e.what();
    return nullptr;
  }
  for (const platform::ClassInfo& c : platform::ModuleClasses()) {
    if (!platform::EqualsNoCase(c.progId, progId)) continue;
    platform::IClassFactory* factory = platform::FindClassFactory(c.classId);
    platform::ObjectPtr object = factory != nullptr ? factory->CreateInstance() : nullptr;
    if (!object) error = "the class " + c.progId + " could not create an object";
    return object;
  }
  error = "the library serves no class " + std::string(progId);
  return nullptr;
}

OperationError DispatchFailure(std::string_view className, std::string_view member, const DispResult& result) {
  OperationError e;
  e.num = platform::StatusCode(result.status);
  e.step = std::string(member);
  if (result.status == platform::DispStatus::UnknownName)
    e.text = std::string(className) + " of this library has no member " + std::string(member);
  else
    e.text = std::string(className) + "." + std::string(member) + ": " + result.text;
  return e;
}

std::unique_ptr<Session> Session::Create(std::string& error) {
  platform::ObjectPtr manager = CreateLinkedObject(automation::kQVmanagerProgId, error);
  if (!manager) return nullptr;
  return std::unique_ptr<Session>(new Session(std::move(manager)));
}

Session::~Session() { manager_.reset(); }

bool Session::Has(std::string_view member) const {
  return manager_->GetIDsOfNames(member) != platform::kDispidUnknown;
}

DispResult Session::Call(std::string_view member, std::vector<Variant>& args) {
  return platform::InvokeByName(*manager_, member, InvokeKind::Method, args);
}

DispResult Session::Call(std::string_view member) {
  std::vector<Variant> none;
  return Call(member, none);
}

DispResult Session::Get(std::string_view member) { return platform::GetProperty(*manager_, member); }

DispResult Session::Put(std::string_view member, Variant value) {
  return platform::PutProperty(*manager_, member, std::move(value));
}

bool Session::Ok(std::string_view member, OperationError& error) {
  std::vector<Variant> none;
  return Ok(member, none, error);
}

bool Session::Ok(std::string_view member, std::vector<Variant>& args, OperationError& error) {
  const DispResult r = Call(member, args);
  if (!r.ok()) {
    error = DispatchFailure(manager_->ClassName(), member, r);
    return false;
  }
  bool value = false;
  try {
    value = r.value.ToBool();
  } catch (const std::exception&) {
    value = false;
  }
  if (!value) error = TakeError();
  return value;
}

OperationError Session::TakeError() {
  OperationError e;
  const DispResult num = Call("ErrorNum");
  if (num.ok()) {
    try {
      e.num = num.value.ToLong();
    } catch (const std::exception&) {
    }
  }
  const DispResult text = Call("ErrorText");
  if (text.ok()) {
    try {
      e.text = text.value.ToString();
    } catch (const std::exception&) {
    }
  }
  if (platform::IDispatch* control = Control()) {
    const DispResult step = platform::GetProperty(*control, "ErrorStep");
    if (step.ok()) {
      try {
        e.step = step.value.ToString();
      } catch (const std::exception&) {
      }
    }
  }
  return e;
}

platform::IDispatch* Session::Control() {
  try {
    return &automation::frm().Dispatch();
  } catch (const std::exception&) {
    return nullptr;
  }
}

bool Session::ControlHas(std::string_view member) {
  platform::IDispatch* control = Control();
  return control != nullptr && control->GetIDsOfNames(member) != platform::kDispidUnknown;
}

DispResult Session::CallControl(std::string_view member, std::vector<Variant>& args) {
  platform::IDispatch* control = Control();
  if (control == nullptr) return DispResult::Error(platform::DispStatus::Exception, "the control cannot be made");
  return platform::InvokeByName(*control, member, InvokeKind::Method, args);
}

}  // namespace qv::cli
