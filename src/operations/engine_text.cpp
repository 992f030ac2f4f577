// Builds the names and request texts of the replication engine's jobs.
#include "operations/engine_text.h"

#include "presentation/strutil.h"

namespace qv {

std::string NormalizeId(std::string_view id, std::size_t width) {
  std::string v = UCase(Trim(id)) + std::string(width, '_');
  return v.substr(0, width);
}

std::string JobName(std::string_view environment, std::string_view target, std::string_view model) {
  return "S" + NormalizeId(environment, 2) + "_" + NormalizeId(target, 3) + NormalizeId(model, 3);
}

std::string ActivityAction(std::string_view action) {
  const std::string a = UCase(Trim(action));
  return (a == "F" || a == "G") ? a : "G";
}

}  // namespace qv
