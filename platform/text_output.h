// Writes the host's aligned text tables: Windows-1252 cells, UTF-8 lines.
#pragma once

#include <string>
#include <vector>

namespace qv::platform {

// An aligned text table: columns padded to their widest cell, split by two
// blanks, trailing blanks dropped, one line per row after the header.
//   Key  Text
//   c1   Target one
class TextTable {
 public:
  explicit TextTable(std::vector<std::string> headers1252);
  void AddRow(std::vector<std::string> cells1252);
  // Returns the table in UTF-8, every line ended by "\n".
  std::string Render() const;

 private:
  std::vector<std::vector<std::string>> rows_;
};

}  // namespace qv::platform
