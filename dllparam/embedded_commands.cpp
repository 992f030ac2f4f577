// Implements the remote commands of the embedded AS/400 source and the engine
// services of the embedded NT sources that read and write the simulated
// system: objects, user spaces, the engine's files.
#include <cctype>

#include "dllparam/embedded_internal.h"
#include "store/access_paths.h"

namespace qv::embedded {
namespace {

constexpr int32_t kErrObjectNotFound = 9801;  // object not found

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

// Returns the command with its words upper-cased and separated by one blank.
std::string CanonicalCommand(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == ' ') {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// Writes a reply into the first n bytes of the data area, with a NUL after
// it when it is shorter.
void Reply(std::string& data, size_t n, std::string_view text) {
  size_t len = std::min(text.size(), n);
  data.replace(0, len, text.substr(0, len));
  if (len < n && len < data.size()) data[len] = '\0';
}

bool RowExists(Db& db, const char* sql, std::initializer_list<std::string_view> values) {
  Stmt st = db.prepareOnce(sql);
  int i = 1;
  for (std::string_view v : values) st.bind(i++, v);
  return st.step();
}

bool ObjectExists(Db& db, const std::string& library, const std::string& name, const std::string& type) {
  std::string lib = library == "*LIBL" ? std::string(kLibraryName) : library;
  if (type == "*LIB") {
    if (name == kLibraryName) return true;
    return RowExists(db, "SELECT 1 FROM qvs_object WHERE name = ? AND type = '*LIB'", {name});
  }
  if (type == "*FILE" && lib == kLibraryName && FindAccessPath(name)) return true;
  if (type == "*USRSPC") return RowExists(db, "SELECT 1 FROM qvs_usrspc WHERE library = ? AND name = ?", {lib, name});
  return RowExists(db, "SELECT 1 FROM qvs_object WHERE library = ? AND name = ? AND type = ?", {lib, name, type});
}

}  // namespace

int32_t EmbeddedSource::Execute(std::string& code, std::string& ctl, std::string& data) {
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    std::string sent = TrimText(code);
    std::string command = UpperText(sent);
    while (!command.empty() && (command.back() == '_' || command.back() == ' ')) command.pop_back();
    if (IsNtKind(c.kind)) Fail(kCodeNotSupported, "remote commands are served by AS/400 sources only");
    std::string control(dllparam::CutAtNul(ctl));
    if (control.size() != static_cast<size_t>(kControlWidth) || !AllDigits(control))
      Fail(kCodeBadCall, "control area \"" + control + "\" is not " + std::to_string(kControlWidth) + " digits");
    const size_t n = std::stoul(control);
    if (data.size() < n)
      Fail(kCodeBadCall, "data area of " + std::to_string(data.size()) + " bytes shorter than the " +
                             std::to_string(n) + " its control area gives");
    if (command == "RCMD") {
      RunClCommand(c, std::string_view(data).substr(0, n));
    } else if (command == "SYSCRTUSR") {
      // The server prepares the job's user profile; nothing to keep here.
    } else if (command == "CHKOBJ") {
      CheckObject(c, data, n);
    } else if (command == "SYSREDUSR") {
      ReadUserSpace(c, data, n);
    } else if (command == "DLTUSRSPC") {
      DeleteUserSpace(c, data, n);
    } else if (command == "RTVMCHNAME") {
      Stmt st = c.db.prepareOnce("SELECT value FROM qvs_meta WHERE key = 'computer_name'");
      if (!st.step()) Fail(kCodeRefused, "the source has no machine name");
      Reply(data, n, st.columnText(0));
    } else {
      Fail(kCodeNotSupported, "command not supported: " + sent);
    }
    return 1;
  });
}

void EmbeddedSource::RunClCommand(Connection& c, std::string_view area) {
  if (area.size() < 5 || !AllDigits(area.substr(0, 5)))
    Fail(kCodeBadCall, "RCMD area without its 5-digit command length");
  const size_t n = std::stoul(std::string(area.substr(0, 5)));
  if (n == 0 || n > area.size())
    Fail(kCodeBadCall, "RCMD command length " + std::to_string(n) + " outside its area of " +
                           std::to_string(area.size()));
  std::string_view body = area.substr(5, std::min(n, area.size() - 5));
  std::string_view rest = area.substr(5 + body.size());
  rest = dllparam::CutAtNul(rest);
  if (rest.find_first_not_of(' ') != std::string_view::npos)
    Fail(kCodeBadCall, "RCMD command length " + std::to_string(n) + " does not cover the command");
  std::string command = CanonicalCommand(body);
  if (command.empty()) Fail(kCodeBadCall, "RCMD without a command");

  if (command.rfind("CHGJOB RUNPTY(", 0) == 0 && command.back() == ')') {
    std::string priority = command.substr(14, command.size() - 15);
    if (AllDigits(priority) && std::stoi(priority) >= 1 && std::stoi(priority) <= 99) return;
    Fail(kCodeRefused, "CPD0084: value " + priority + " for RUNPTY not valid");
  }
  if (command.rfind("ADDLIBLE ", 0) == 0) {
    std::string library = command.substr(9);
    if (library.find(' ') == std::string::npos && ObjectExists(c.db, "QSYS", library, "*LIB")) return;
    Fail(kCodeRefused, "CPF2110: library " + library + " not found", 2110);
  }
  Fail(kCodeNotSupported, "command not supported: RCMD " + command);
}

void EmbeddedSource::CheckObject(Connection& c, std::string& data, size_t n) {
  if (n < 30) Fail(kCodeBadCall, "CHKOBJ____ area of " + std::to_string(n) + " bytes; 40 expected");
  std::string name = TrimText(std::string_view(data).substr(0, 10));
  std::string library = TrimText(std::string_view(data).substr(10, 10));
  std::string type = TrimText(std::string_view(data).substr(20, 10));
  bool exists = ObjectExists(c.db, library, name, type);
  Reply(data, n, exists ? "000010" : "000011");
}

void EmbeddedSource::ReadUserSpace(Connection& c, std::string& data, size_t n) {
  constexpr size_t kHeader = 35;  // size 5, name 10, library 10, action 1, option 1, answer size 8
  if (n < kHeader)
    Fail(kCodeBadCall, "SYSREDUSR_ area of " + std::to_string(n) + " bytes shorter than its request");
  std::string name = TrimText(std::string_view(data).substr(5, 10));
  std::string library = TrimText(std::string_view(data).substr(15, 10));
  Stmt st = c.db.prepareOnce("SELECT data FROM qvs_usrspc WHERE library = ? AND name = ?");
  st.bind(1, library);
  st.bind(2, name);
  if (!st.step())
    Fail(kCodeRefused, "CPF9801: object " + name + " in library " + library + " type *USRSPC not found",
         kErrObjectNotFound);
  std::string answer = data.substr(0, kHeader);
  answer.append(st.columnText(0));
  Reply(data, n, answer);
}

void EmbeddedSource::DeleteUserSpace(Connection& c, std::string& data, size_t n) {
  if (n < 15) Fail(kCodeBadCall, "DLTUSRSPC_ area of " + std::to_string(n) + " bytes shorter than its request");
  std::string name = TrimText(std::string_view(data).substr(5, 10));
  Stmt st = c.db.prepareOnce("DELETE FROM qvs_usrspc WHERE library = ? AND name = ?");
  st.bind(1, kLibraryName);
  st.bind(2, name);
  st.step();
  if (sqlite3_changes(c.db.get()) == 0)
    Fail(kCodeRefused, "CPF2105: object " + name + " in library " + std::string(kLibraryName) +
                           " type *USRSPC not found", 2105);
}

// ---- Engine services of NT sources -------------------------------------

namespace {

std::optional<std::string> ReadEngineFile(Db& db, std::string_view area, std::string_view name) {
  Stmt st = db.prepareOnce("SELECT data FROM qvs_file WHERE area = ? AND name = ?");
  st.bind(1, area);
  st.bind(2, name);
  if (!st.step()) return std::nullopt;
  return std::string(st.columnText(0));
}

void WriteEngineFile(Db& db, std::string_view area, std::string_view name, std::string_view text, bool replace) {
  Stmt st = db.prepareOnce(replace ? "INSERT OR REPLACE INTO qvs_file (area, name, data) VALUES (?, ?, ?)"
                                   : "INSERT INTO qvs_file (area, name, data) VALUES (?, ?, ?) "
                                     "ON CONFLICT (area, name) DO UPDATE SET data = data || excluded.data");
  st.bind(1, area);
  st.bind(2, name);
  st.bind(3, text);
  st.step();
}

bool DeleteEngineFile(Db& db, std::string_view area, std::string_view name) {
  Stmt st = db.prepareOnce("DELETE FROM qvs_file WHERE area = ? AND name = ?");
  st.bind(1, area);
  st.bind(2, name);
  st.step();
  return sqlite3_changes(db.get()) > 0;
}

}  // namespace

int32_t EmbeddedSource::Activity(std::string& name, const std::string& request) {
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    if (!IsNtKind(c.kind)) Fail(kCodeNotSupported, "the Activity service is served by NT sources only");
    std::string job = TrimText(std::string_view(name).substr(0, std::min<size_t>(name.size(), 10)));
    if (job.empty()) Fail(kCodeBadCall, "Activity without a job name");
    std::string req(dllparam::CutAtNul(request));
    if (req.size() < 10 || !AllDigits(req.substr(1, 8)))
      Fail(kCodeBadCall, "Activity request \"" + req + "\" is not option, size (8 digits) and action");
    std::string block = ReadEngineFile(c.db, kEngineArea, job).value_or("");
    std::string answer = std::to_string(kActivityHeader + kActivityBlock);
    answer = std::string(5 - answer.size(), '0') + answer + Fit(job, 10) + std::string(26, ' ') +
             Fit(block, kActivityBlock);
    dllparam::PutInBuffer(name, answer);
    return 1;
  });
}

int32_t EmbeddedSource::WriteFile(const std::string& file, const std::string& text, int32_t replace) {
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    if (!IsNtKind(c.kind)) Fail(kCodeNotSupported, "engine files are served by NT sources only");
    if (replace != kReplaceFile && replace != kAppendFile) Fail(kCodeBadCall, "unknown write mode");
    WriteEngineFile(c.db, kEngineArea, TrimText(file), text, replace == kReplaceFile);
    return 1;
  });
}

int32_t EmbeddedSource::DeleteFile(const std::string& file) {
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    if (!IsNtKind(c.kind)) Fail(kCodeNotSupported, "engine files are served by NT sources only");
    if (!DeleteEngineFile(c.db, kEngineArea, TrimText(file))) {
      last_ = {kCodeNotFound, 0, "no file " + TrimText(file)};
      return 0;
    }
    return 1;
  });
}

int32_t EmbeddedSource::WriteFileWithFullPath(const std::string& path, const std::string& text, int32_t replace) {
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    if (replace != kReplaceFile && replace != kAppendFile) Fail(kCodeBadCall, "unknown write mode");
    WriteEngineFile(c.db, kPathArea, TrimText(path), text, replace == kReplaceFile);
    return 1;
  });
}

int32_t EmbeddedSource::DeleteFileWithFullPath(const std::string& path) {
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    if (!DeleteEngineFile(c.db, kPathArea, TrimText(path))) {
      last_ = {kCodeNotFound, 0, "no file " + TrimText(path)};
      return 0;
    }
    return 1;
  });
}

}  // namespace qv::embedded
