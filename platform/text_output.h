// Writes the host's text output: Windows-1252 text converted to UTF-8, JSON
// values and aligned text tables. The host's own small copy, kept apart from
// the library's text helpers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv::platform {

// Converts Windows-1252 bytes to UTF-8. The five unassigned bytes (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) become the code points of the same number.
std::string Utf8From1252(std::string_view text);

// Converts UTF-8 to Windows-1252; characters that have no byte there, and
// malformed sequences, become `replacement`.
std::string Cp1252FromUtf8(std::string_view text, char replacement = '?');

// Returns a Windows-1252 text as a quoted JSON string in UTF-8, with quotes,
// backslashes and control characters escaped: "Caf\u00e9" is written "Café".
std::string JsonQuote(std::string_view text1252);

// Builds one JSON value; commas are placed by the writer.
//   JsonWriter w; w.BeginObject(); w.Key("view"); w.Int(3); w.EndObject();
//   w.str() == "{\"view\":3}"
class JsonWriter {
 public:
  void BeginObject();
  void EndObject();
  void BeginArray();
  void EndArray();
  void Key(std::string_view key1252);
  void String(std::string_view text1252);
  void Int(std::int64_t value);
  void Bool(bool value);
  void Null();
  // Inserts an already written JSON value.
  void Raw(std::string_view json);
  const std::string& str() const { return out_; }

 private:
  void Separate();

  std::string out_;
  std::vector<bool> first_;  // per open container: nothing written yet
  bool afterKey_ = false;
};

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
