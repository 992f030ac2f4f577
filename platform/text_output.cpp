// Lays out text tables and converts them to UTF-8.
#include "platform/text_output.h"

#include <algorithm>

#include "platform/encoding.h"

namespace qv::platform {

TextTable::TextTable(std::vector<std::string> headers1252) { rows_.push_back(std::move(headers1252)); }

void TextTable::AddRow(std::vector<std::string> cells1252) { rows_.push_back(std::move(cells1252)); }

std::string TextTable::Render() const {
  std::vector<std::size_t> widths;
  for (const auto& row : rows_) {
    if (row.size() > widths.size()) widths.resize(row.size(), 0);
    for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  }
  std::string out;
  for (const auto& row : rows_) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      // Keep line breaks and tabs of a cell from breaking the layout.
      std::string cell = row[c];
      std::replace_if(cell.begin(), cell.end(), [](char ch) { return ch == '\n' || ch == '\r' || ch == '\t'; }, ' ');
      line += cell;
      if (c + 1 < row.size()) line += std::string(widths[c] - cell.size() + 2, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += Cp1252ToUtf8(line);
    out += '\n';
  }
  return out;
}

}  // namespace qv::platform
