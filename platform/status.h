// Carries the outcome of a host operation: ok, or a text that says what failed.
#pragma once

#include <string>

namespace qv::platform {

struct Status {
  std::string error;  // empty on success

  bool ok() const { return error.empty(); }
  static Status Ok() { return {}; }
  static Status Fail(std::string text) { return Status{std::move(text)}; }
};

}  // namespace qv::platform
