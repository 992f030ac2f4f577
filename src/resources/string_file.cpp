// Parses the text form of a string table and writes its texts as C++ literals.
#include "resources/string_file.h"

#include <algorithm>
#include <set>
#include <utility>

#include "platform/encoding.h"

namespace qv::resources {
namespace {

constexpr int kMaxId = 65535;

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

// Reads the quoted text that starts at pos (on the opening quote) into utf8; returns
// false with reason set when it is malformed. On success pos is past the closing quote.
bool ReadQuoted(std::string_view line, std::size_t& pos, std::string& utf8, std::string& reason) {
  ++pos;  // opening quote
  while (pos < line.size()) {
    const char c = line[pos];
    if (c == '"') {
      ++pos;
      return true;
    }
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      reason = "control character inside the text (write \\t, \\n or \\r)";
      return false;
    }
    if (c != '\\') {
      utf8 += c;
      ++pos;
      continue;
    }
    if (pos + 1 >= line.size()) break;
    switch (line[pos + 1]) {
      case '"': utf8 += '"'; break;
      case '\\': utf8 += '\\'; break;
      case 'n': utf8 += '\n'; break;
      case 'r': utf8 += '\r'; break;
      case 't': utf8 += '\t'; break;
      default:
        reason = std::string("unknown escape \\") + line[pos + 1];
        return false;
    }
    pos += 2;
  }
  reason = "missing closing quote";
  return false;
}

// Parses one non-comment line into entry; returns false with reason set on a fault.
bool ParseEntryLine(std::string_view line, ParsedEntry& entry, std::string& reason) {
  std::size_t pos = 0;
  long id = 0;
  while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9') {
    id = id * 10 + (line[pos] - '0');
    if (id > kMaxId) {
      reason = "id above " + std::to_string(kMaxId);
      return false;
    }
    ++pos;
  }
  if (pos == 0) {
    reason = "expected a decimal id at the start of the line";
    return false;
  }
  const std::size_t idEnd = pos;
  while (pos < line.size() && IsSpace(line[pos])) ++pos;
  if (pos == idEnd) {
    reason = "expected a blank or tab after the id";
    return false;
  }
  if (pos >= line.size() || line[pos] != '"') {
    reason = "expected the text between double quotes after the id";
    return false;
  }
  std::string utf8;
  if (!ReadQuoted(line, pos, utf8, reason)) return false;
  while (pos < line.size() && IsSpace(line[pos])) ++pos;
  if (pos != line.size()) {
    reason = "unexpected characters after the closing quote";
    return false;
  }
  std::size_t bad = 0;
  if (!Utf8ToCp1252Exact(utf8, entry.text, bad)) {
    reason = "character with no Windows-1252 form, or malformed UTF-8, at byte " +
             std::to_string(bad) + " of the text";
    return false;
  }
  entry.id = static_cast<int>(id);
  return true;
}

}  // namespace

bool ParseStringFile(std::string_view content, std::vector<ParsedEntry>& entries, ParseError& error) {
  entries.clear();
  error = ParseError{};
  if (content.substr(0, 3) == "\xEF\xBB\xBF") content.remove_prefix(3);

  std::set<int> seen;
  int lineNumber = 0;
  while (!content.empty()) {
    const std::size_t nl = content.find('\n');
    std::string_view line = content.substr(0, nl);
    content = nl == std::string_view::npos ? std::string_view() : content.substr(nl + 1);
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos || line[first] == '#') continue;

    ParsedEntry entry;
    entry.line = lineNumber;
    std::string reason;
    if (!ParseEntryLine(line, entry, reason)) {
      error = {lineNumber, reason};
      return false;
    }
    if (!seen.insert(entry.id).second) {
      const auto previous = std::find_if(entries.begin(), entries.end(),
                                         [&](const ParsedEntry& e) { return e.id == entry.id; });
      error = {lineNumber, "duplicate id " + std::to_string(entry.id) + " (first on line " +
                               std::to_string(previous->line) + ")"};
      return false;
    }
    entries.push_back(std::move(entry));
  }
  std::sort(entries.begin(), entries.end(),
            [](const ParsedEntry& a, const ParsedEntry& b) { return a.id < b.id; });
  return true;
}

std::string CxxLiteralBody(std::string_view cp1252) {
  std::string out;
  out.reserve(cp1252.size());
  char previous = '\0';
  for (char c : cp1252) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\' || (c == '?' && previous == '?')) {
      out += '\\';
      out += c;
    } else if (b >= 0x20 && b < 0x7F) {
      out += c;
    } else {
      out += '\\';
      out += static_cast<char>('0' + ((b >> 6) & 7));
      out += static_cast<char>('0' + ((b >> 3) & 7));
      out += static_cast<char>('0' + (b & 7));
    }
    previous = c;
  }
  return out;
}

}  // namespace qv::resources
