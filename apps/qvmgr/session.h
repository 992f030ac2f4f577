// One QVmanager of the library linked into this program, created by its
// ProgID from the library's class table and driven by member name, the way a
// scheduler script drives it; plus late-bound access to the control on the
// hidden form for what the manager does not hand out (record images, the
// error step).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dispatch.h"
#include "qvmgr/output.h"

namespace qv::cli {

// Creates an object of a class of the linked library by ProgID (any case).
// Returns nullptr and sets error when the class is unknown or makes nothing.
platform::ObjectPtr CreateLinkedObject(std::string_view progId, std::string& error);

class Session {
 public:
  // Creates a QVmanager; nullptr with the reason in error when it cannot.
  static std::unique_ptr<Session> Create(std::string& error);
  // Releases the manager, which closes its connection when open.
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // True when the manager has a member of that name.
  bool Has(std::string_view member) const;
  platform::DispResult Call(std::string_view member, std::vector<platform::Variant>& args);
  platform::DispResult Call(std::string_view member);
  platform::DispResult Get(std::string_view member);
  platform::DispResult Put(std::string_view member, platform::Variant value);

  // Calls a Boolean method. Returns true when it answered true; otherwise
  // error holds the error state (or why the call could not be made).
  bool Ok(std::string_view member, OperationError& error);
  bool Ok(std::string_view member, std::vector<platform::Variant>& args, OperationError& error);

  // Reads and so clears the error state: ErrorNum and ErrorText of the
  // manager, ErrorStep of the control.
  OperationError TakeError();

  // The control of the hidden form, late-bound; nullptr when it cannot be made.
  platform::IDispatch* Control();
  bool ControlHas(std::string_view member);
  platform::DispResult CallControl(std::string_view member, std::vector<platform::Variant>& args);

 private:
  explicit Session(platform::ObjectPtr manager) : manager_(std::move(manager)) {}

  platform::ObjectPtr manager_;
};

// Returns the error that stands for a call that could not be made.
OperationError DispatchFailure(std::string_view className, std::string_view member,
                               const platform::DispResult& result);

}  // namespace qv::cli
