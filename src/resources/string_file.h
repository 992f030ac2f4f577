// Reads the text form of a string table (the strings_*.txt files) for the generator.
//
// The file is UTF-8, one entry per line:
//
//   # a comment line; blank lines are ignored too
//   2020    "Target &1 not found"
//
// An entry is a decimal id (0-65535) at the start of the line, one or more blanks or
// tabs, then the text between double quotes, then nothing but blanks or tabs. Inside
// the quotes \" stands for a quote, \\ for a backslash, \n for a line feed, \r for a
// carriage return and \t for a tab; any other backslash, a raw control character or an
// unclosed quote is an error. A UTF-8 byte-order mark at the start is skipped, and a
// carriage return at the end of a line is ignored.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qv::resources {

// One parsed entry: its id, its text converted to Windows-1252 and its line number.
struct ParsedEntry {
  int id = 0;
  std::string text;
  int line = 0;
};

// Where and why a file was refused.
struct ParseError {
  int line = 0;
  std::string reason;
};

// Parses a string-table file. Returns true with the entries sorted by id; returns
// false with error set at the first malformed line, duplicate id, bad UTF-8 or
// character that Windows-1252 cannot hold.
bool ParseStringFile(std::string_view content, std::vector<ParsedEntry>& entries, ParseError& error);

// Writes a Windows-1252 text as the body of a C++ string literal: printable ASCII as
// itself; quotes, backslashes and the second "?" of "??" escaped (no trigraph can
// form); every other byte as a three-digit octal escape (so "é" gives \351 and a
// following digit cannot join the escape).
std::string CxxLiteralBody(std::string_view cp1252);

}  // namespace qv::resources
