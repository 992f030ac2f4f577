// Compares and folds ASCII letters the way member names, ProgIDs and keys are
// matched: bytes above 127 are left as they are.
#pragma once

#include <cstddef>
#include <string_view>

namespace qv::platform {

inline char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

}  // namespace qv::platform
