// Text and JSON output of the commands.
#include "qvmgr/output.h"

#include <unistd.h>

#include <algorithm>
#include <iostream>

#include "platform/encoding.h"
#include "presentation/strutil.h"

namespace qv::cli {
namespace {

// Counts the characters of a UTF-8 text (continuation bytes do not count).
std::size_t Columns(std::string_view utf8) {
  return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// Indents the continuation lines of a text under its first line.
std::string Indented(const std::string& text) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '\n') out += "             ";
  }
  return out;
}

}  // namespace

std::string Utf8(std::string_view text1252) { return Cp1252ToUtf8(text1252); }

Json MaskedJson(const Json& value) {
  if (value.is_string()) return MaskConnectionPasswords(value.get<std::string>());
  if (!value.is_structured()) return value;
  Json out = value;
  for (auto& item : out.items()) item.value() = MaskedJson(item.value());
  return out;
}

Json FieldsJson(const std::vector<NamedField>& fields) {
  Json out = Json::object();
  for (const NamedField& f : fields) out[f.name] = Utf8(f.value);
  return out;
}

std::string AlignedText(const std::vector<std::pair<std::string, std::string>>& rows, int indent) {
  std::size_t width = 0;
  for (const auto& [label, value] : rows) width = std::max(width, Columns(Utf8(label)));
  std::string out;
  for (const auto& [label, value] : rows) {
    const std::string l = Utf8(label), v = Utf8(value);
    std::string line = std::string(static_cast<std::size_t>(indent), ' ') + l;
    if (!v.empty()) line += std::string(width - Columns(l) + 2, ' ') + v;
    out += line + "\n";
  }
  return out;
}

std::string AlignedText(const std::vector<NamedField>& fields, int indent) {
  std::vector<std::pair<std::string, std::string>> rows;
  rows.reserve(fields.size());
  for (const NamedField& f : fields) rows.emplace_back(f.name, f.value);
  return AlignedText(rows, indent);
}

int Reporter::Success(const std::string& command, const Json& body, const std::string& text) {
  if (json_) {
    Json doc = Json::object();
    doc["command"] = command;
    doc["ok"] = true;
    for (const auto& item : body.items()) doc[item.key()] = item.value();
    Emit(MaskedJson(doc).dump(2) + "\n");
  } else {
    Write(text);
  }
  return 0;
}

void Reporter::Write(const std::string& text) { Emit(MaskConnectionPasswords(text)); }

void Reporter::WriteLine(const Json& doc) { Emit(MaskedJson(doc).dump() + "\n"); }

void Reporter::Emit(const std::string& text) {
  out_ << text;
  out_.flush();
}

int Reporter::Failure(const std::string& command, const std::string& what, const OperationError& error,
                      const Json& body) {
  err_ << MaskConnectionPasswords("qvmgr: " + command + ": " + what + "\n" +
                                   "  ErrorNum:  " + std::to_string(error.num) + "\n" +
                                   "  ErrorText: " + Indented(Utf8(error.text)) + "\n" +
                                   "  ErrorStep: " + Utf8(error.step) + "\n");
  err_.flush();
  if (json_) {
    Json doc = Json::object();
    doc["command"] = command;
    doc["ok"] = false;
    doc["error"] = Json{{"num", error.num}, {"text", Utf8(error.text)}, {"step", Utf8(error.step)}};
    for (const auto& item : body.items()) doc[item.key()] = item.value();
    Emit(MaskedJson(doc).dump(2) + "\n");
  }
  return 1;
}

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }

void Progress::Show(const std::string& textUtf8) {
  if (!enabled_) return;
  std::cerr << "\r\033[K" << textUtf8 << std::flush;
  shown_ = true;
}

void Progress::Clear() {
  if (!enabled_ || !shown_) return;
  std::cerr << "\r\033[K" << std::flush;
  shown_ = false;
}

}  // namespace qv::cli
