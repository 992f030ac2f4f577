// The string tables compiled into the library, generated at build time from the
// strings_*.txt files of this folder. Texts are Windows-1252.
#pragma once

#include <span>
#include <string_view>

namespace qv::resources {

// One entry of a string table.
struct StringEntry {
  int id;
  std::string_view text;
};

// Returns the English table (language 1033), sorted by id, ids unique.
std::span<const StringEntry> EnglishStrings();

// Returns the French table (languages 1036, 2060, 3084, 4108, 5132), sorted by id.
std::span<const StringEntry> FrenchStrings();

}  // namespace qv::resources
