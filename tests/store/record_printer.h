// Prints records in test failures as their layout name and image.
#pragma once

#include <ostream>

#include "store/records.h"

namespace qv {

inline void PrintTo(const Record& r, std::ostream* os) {
  *os << r.layout().name << "[" << r.image() << "]";
}

}  // namespace qv
