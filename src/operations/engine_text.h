// Names and request texts of the replication engine's jobs.
#pragma once

#include <string>
#include <string_view>

namespace qv {

// Returns an identifier upper-cased, trimmed and padded with "_" (or cut) to
// width: (" a", 2) gives "A_", ("t1", 3) gives "T1_".
std::string NormalizeId(std::string_view id, std::size_t width);

// Returns the name of a distribution's source job: "S" + environment (2) +
// "_" + target (3) + model (3), each identifier normalised.
std::string JobName(std::string_view environment, std::string_view target, std::string_view model);

// Returns the activity action: "F" or "G" after upper-casing, anything else "G".
std::string ActivityAction(std::string_view action);

}  // namespace qv
