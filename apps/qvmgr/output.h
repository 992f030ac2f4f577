// Output of the commands: aligned text for people, one JSON document per
// command for scripts, the error state of a failed operation on the error
// stream, and progress lines on a terminal.
//
// JSON documents start with the command and its outcome:
//   {"command": "dist show", "ok": true, ...}
//   {"command": "dist show", "ok": false,
//    "error": {"num": 40, "text": "...", "step": "DetailGC"}, ...}
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "qvmgr/fields.h"
#include "qvmgr/variant_json.h"

namespace qv::cli {

// The error state of the control after a false result (Windows-1252 text).
struct OperationError {
  std::int32_t num = 0;
  std::string text;
  std::string step;
};

// Returns a Windows-1252 text in UTF-8.
std::string Utf8(std::string_view text1252);

// Returns value with every text in it, keys left alone, passed through
// MaskConnectionPasswords: what qvmgr prints never shows a password held in a
// connection string.
Json MaskedJson(const Json& value);

// Returns the fields as a JSON object {"NAME": "value", ...} in record order.
Json FieldsJson(const std::vector<NamedField>& fields);

// Returns rows of (label, value) as aligned lines, each started by indent
// blanks and ended by "\n"; labels and values are Windows-1252.
std::string AlignedText(const std::vector<std::pair<std::string, std::string>>& rows, int indent = 2);
std::string AlignedText(const std::vector<NamedField>& fields, int indent = 2);

// Writes what the commands print. Every text and JSON document goes out with
// the passwords of connection strings masked (MaskConnectionPasswords).
class Reporter {
 public:
  Reporter(bool json, std::ostream& out, std::ostream& err) : json_(json), out_(out), err_(err) {}

  bool json() const { return json_; }
  std::ostream& err() { return err_; }

  // Writes UTF-8 text, or one JSON document a line, on the output stream and
  // flushes it.
  void Write(const std::string& text);
  void WriteLine(const Json& doc);

  // Writes the result of a command: the JSON document {"command", "ok": true,
  // body...} with --json, else the text (UTF-8). Returns 0.
  int Success(const std::string& command, const Json& body, const std::string& text);
  // Writes a false result: "qvmgr: COMMAND: WHAT" and the error state on the
  // error stream, and with --json the document {"command", "ok": false,
  // "error": {...}, body...}. Returns 1.
  int Failure(const std::string& command, const std::string& what, const OperationError& error,
              const Json& body = Json::object());

 private:
  // Writes text as it stands and flushes.
  void Emit(const std::string& text);

  bool json_;
  std::ostream& out_;
  std::ostream& err_;
};

// True when the error stream is a terminal.
bool StderrIsTerminal();

// One line of progress on the error stream, rewritten in place; shown only
// on a terminal and erased when done.
class Progress {
 public:
  Progress() : enabled_(StderrIsTerminal()) {}
  ~Progress() { Clear(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void Show(const std::string& textUtf8);
  void Clear();

 private:
  bool enabled_;
  bool shown_ = false;
};

}  // namespace qv::cli
