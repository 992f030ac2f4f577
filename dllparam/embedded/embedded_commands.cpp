// Implements the remote commands of the embedded AS/400 source and the engine
// services of the embedded NT sources that read and write the simulated
// system: objects, user spaces, the engine's jobs, messages and files. The
// engine itself is in embedded_engine.cpp; this file reads the requests and
// writes the answers.
#include <algorithm>
#include <cctype>
#include <optional>
#include <vector>

#include "dllparam/embedded/embedded_internal.h"
#include "store/access_paths.h"

namespace qv::embedded {
namespace {


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

}  // namespace

std::string Num(int64_t n, size_t width) {
  std::string v = std::to_string(std::max<int64_t>(n, 0));
  return v.size() >= width ? v : std::string(width - v.size(), '0') + v;
}

void Reply(std::string& data, size_t n, std::string_view text) {
  size_t len = std::min(text.size(), n);
  data.replace(0, len, text.substr(0, len));
  if (len < n && len < data.size()) data[len] = '\0';
}

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
    } else if (command == "SYSLSTJOB") {
      ListJobs(c, data, n);
    } else if (command == "SYSLSTOBJ") {
      ListObjects(c, data, n);
    } else if (command == "SYSLSTJRN") {
      ListJournaled(c, data, n);
    } else if (command == "SYSLSTRCV") {
      ListReceivers(c, data, n);
    } else if (command == "CLRDDS") {
      ClearWorkMember(c);
    } else if (command == "CRTDDS") {
      CreateFromWorkMember(c, data, n);
    } else if (command == "SYSLSTRCD") {
      ListFormats(c, data, n);
    } else if (command == "SYSRTVACPT") {
      RetrieveAccessPath(c, data, n);
    } else if (command == "SYSLSTFLD") {
      ListFields(c, data, n);
    } else if (command == "SYSWRTZX") {
      WriteFields(c, data, n);
    } else if (command == "SYSWRTTRS") {
      WriteProgram(c, data, n);
    } else if (command == "SYSGENTRS") {
      CompileProgram(c, data, n);
    } else if (command == "DLTSPLFTRS") {
      // The compile listing is not kept; nothing to remove.
    } else if (command == "SYSWRTENQV") {
      WriteEndScript(c, data, n);
    } else if (command == "SYSRTVMSG") {
      ReadMessages(c, data, n);
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
  if (RunEngineClCommand(c, command)) return;
  Fail(kCodeNotSupported, "command not supported: RCMD " + command);
}

void EmbeddedSource::ReadUserSpace(Connection& c, std::string& data, size_t n) {
  constexpr size_t kHeader = 35;  // size 5, name 10, library 10, action 1, option 1, answer size 8
  if (n < kHeader)
    Fail(kCodeBadCall, "SYSREDUSR_ area of " + std::to_string(n) + " bytes shorter than its request");
  std::string name = TrimText(std::string_view(data).substr(5, 10));
  std::string library = TrimText(std::string_view(data).substr(15, 10));
  // The space of an active job shows its activity as of now; option "I"
  // asks the job to end.
  if (library == kLibraryName) RefreshJob(c.db, c.kind, name, n > 26 && data[26] == 'I');
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
  if (SpaceInUse(c.db, name))
    Fail(kCodeRefused, "user space " + name + " in library " + std::string(kLibraryName) +
                           " is in use by its active job; stop the job first");
  Stmt st = c.db.prepareOnce("DELETE FROM qvs_usrspc WHERE library = ? AND name = ?");
  st.bind(1, kLibraryName);
  st.bind(2, name);
  st.step();
  if (sqlite3_changes(c.db.get()) == 0)
    Fail(kCodeRefused, "CPF2105: object " + name + " in library " + std::string(kLibraryName) +
                           " type *USRSPC not found", 2105);
}

// ---- Engine commands of AS/400 sources -------------------------------

namespace {

// Reads the parameters of a CL PARM(...) list: quoted values ('' stands for
// one quote) or bare words, separated by blanks. Returns nothing when the
// list is not closed.
std::optional<std::vector<std::string>> ParmValues(std::string_view text) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ') {
      ++i;
    } else if (text[i] == ')') {
      return out;
    } else if (text[i] == '\'') {
      std::string v;
      for (++i;; ++i) {
        if (i >= text.size()) return std::nullopt;
        if (text[i] == '\'') {
          if (i + 1 < text.size() && text[i + 1] == '\'') {
            v += '\'';
            ++i;
            continue;
          }
          ++i;
          break;
        }
        v += text[i];
      }
      out.push_back(std::move(v));
    } else {
      size_t end = text.find_first_of(" )", i);
      if (end == std::string_view::npos) return std::nullopt;
      out.emplace_back(text.substr(i, end - i));
      i = end;
    }
  }
  return std::nullopt;
}

// Returns the object of a qualified name "LIB/NAME" (or "NAME") when its
// library is the configuration library, *LIBL or none; "" otherwise.
std::string ObjectInStoreLibrary(std::string_view qualified) {
  const size_t slash = qualified.find('/');
  if (slash == std::string_view::npos) return std::string(qualified);
  const std::string_view library = qualified.substr(0, slash);
  if (library != kLibraryName && library != "*LIBL") return {};
  return std::string(qualified.substr(slash + 1));
}

}  // namespace

bool EmbeddedSource::RunEngineClCommand(Connection& c, const std::string& command) {
  // CALL PGM(QVSTR) PARM('E1' 'T01' 'M01' 'z'): starts a distribution's job.
  if (command.rfind("CALL ", 0) == 0) {
    std::string_view rest = std::string_view(command).substr(5);
    std::string program;
    if (rest.rfind("PGM(", 0) == 0) {
      const size_t close = rest.find(')');
      if (close == std::string_view::npos) return false;
      program = std::string(rest.substr(4, close - 4));
      rest = rest.substr(close + 1);
    } else {
      const size_t blank = rest.find(' ');
      program = std::string(rest.substr(0, blank));
      rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank);
    }
    if (ObjectInStoreLibrary(program) != kEngineProgram) return false;
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    std::optional<std::vector<std::string>> parms;
    if (rest.rfind("PARM(", 0) == 0) parms = ParmValues(rest.substr(5));
    if (!parms || parms->size() < 3 || parms->size() > 4)
      Fail(kCodeRefused,
           "QVSTR takes the environment, the target, the model and a mode: PARM('E1' 'T01' 'M01' 'z')");
    StartJob(c.db, c.kind, (*parms)[0], (*parms)[1], (*parms)[2], "AS400", "");
    return true;
  }
  // CLRMSGQ MSGQ(QV_USRDATA/QVMSGQ): empties the engine's message queue.
  if (command.rfind("CLRMSGQ ", 0) == 0) {
    std::string queue = command.substr(8);
    if (queue.rfind("MSGQ(", 0) == 0 && queue.back() == ')') queue = queue.substr(5, queue.size() - 6);
    if (ObjectInStoreLibrary(queue) != "QVMSGQ") {
      const size_t slash = queue.find('/');
      const std::string library = slash == std::string::npos ? "*LIBL" : queue.substr(0, slash);
      Fail(kCodeRefused, "CPF2403: message queue " + queue.substr(slash == std::string::npos ? 0 : slash + 1) +
                             " in " + library + " not found", 2403);
    }
    ClearMessages(c.db);
    return true;
  }
  return false;
}

void EmbeddedSource::ListJobs(Connection& c, std::string& data, size_t n) {
  constexpr size_t kEntry = 10;
  if (n < 6 + kEntry) Fail(kCodeBadCall, "SYSLSTJOB_ area of " + std::to_string(n) + " bytes shorter than its request");
  if (FirstPage(data, "SYSLSTJOB_")) {
    c.engine.jobsLeft.clear();
    for (const JobEntry& job : ActiveJobs(c.db, std::string_view(data).substr(6, kEntry)))
      c.engine.jobsLeft.push_back(job.name);
  }
  std::vector<std::string>& left = c.engine.jobsLeft;
  const size_t count = std::min(left.size(), (n - 5) / kEntry);
  std::string answer = count == 0 ? "00000" : Num(static_cast<int64_t>(5 + count * kEntry), 5);
  for (size_t i = 0; i < count; ++i) answer += Fit(left[i], kEntry);
  left.erase(left.begin(), left.begin() + static_cast<std::ptrdiff_t>(count));
  Reply(data, n, answer);
}

void EmbeddedSource::ReadMessages(Connection& c, std::string& data, size_t n) {
  if (n < 11) Fail(kCodeBadCall, "SYSRTVMSG_ area of " + std::to_string(n) + " bytes shorter than its request");
  const char flag = data[10];
  if (flag != '0' && flag != '1')
    Fail(kCodeBadCall, std::string("SYSRTVMSG_ flag \"") + flag + "\" is neither \"0\" nor \"1\"");
  EngineCursor& at = c.engine;
  const int64_t generation = MessageGeneration(c.db);
  if (flag == '1' && at.msgGeneration >= 0 && at.msgGeneration != generation) {
    // Cleared since this connection's last read: the reader starts again.
    at.msgGeneration = -1;
    at.msgLast = 0;
    Reply(data, n, "0000099999");
    return;
  }
  const int64_t after = flag == '1' && at.msgGeneration == generation ? at.msgLast : 0;
  std::string entries;
  int64_t count = 0, last = after;
  for (const StoredMessage& m : MessagesAfter(c.db, after)) {
    std::string entry = MessageEntry(m);
    if (10 + entries.size() + entry.size() > n || entries.size() + entry.size() > 99999) break;
    entries += entry;
    last = m.id;
    ++count;
  }
  at.msgGeneration = generation;
  at.msgLast = last;
  Reply(data, n, Num(static_cast<int64_t>(entries.size()), 5) + Num(count, 5) + entries);
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
  StmtLoan st = db.lend("DELETE FROM qvs_file WHERE area = ? AND name = ?");
  st->bind(1, area);
  st->bind(2, name);
  st->step();
  return sqlite3_changes(db.get()) > 0;
}

}  // namespace

namespace {

// Tells whether kind is a kind code of the NT engine.
bool EngineKindCode(const std::string& kind) {
  return kind == DllParam::kKindOdbc || kind == DllParam::kKindSqlServer || kind == DllParam::kKindOracle;
}

bool IsQueueFile(const std::string& file) { return UpperText(TrimText(file)) == DllParam::kMessageQueueFile; }

}  // namespace

int32_t EmbeddedSource::StrReplication(const std::string& name, const std::string& kind,
                                       const std::string& instance) {
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    if (!IsNtKind(c.kind)) Fail(kCodeNotSupported, "the StrReplication service is served by NT sources only");
    if (!EngineKindCode(kind)) Fail(kCodeNotSupported, "unknown engine kind \"" + kind + "\"");
    std::string n(dllparam::CutAtNul(name));
    if (TrimText(n).empty() || n.size() > 8)
      Fail(kCodeBadCall, "StrReplication name \"" + n + "\" is not environment (2), target (3) and model (3)");
    StartJobByName(c.db, c.kind, n, kind, TrimText(instance).empty() ? "*" : TrimText(instance));
    return 1;
  });
}

int32_t EmbeddedSource::SJobList(const std::string& job, std::string& answer, const std::string& kind) {
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    if (!IsNtKind(c.kind)) Fail(kCodeNotSupported, "the SJobList service is served by NT sources only");
    if (!EngineKindCode(kind)) Fail(kCodeNotSupported, "unknown engine kind \"" + kind + "\"");
    if (TrimText(job).empty()) Fail(kCodeBadCall, "SJobList without a job name");
    dllparam::PutInBuffer(answer, JobListAnswer(ActiveJobs(c.db, job), answer.size()));
    return 1;
  });
}

int32_t EmbeddedSource::Activity(std::string& name, const std::string& request) {
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    if (!IsNtKind(c.kind)) Fail(kCodeNotSupported, "the Activity service is served by NT sources only");
    std::string job = TrimText(std::string_view(name).substr(0, std::min<size_t>(name.size(), 10)));
    if (job.empty()) Fail(kCodeBadCall, "Activity without a job name");
    std::string req(dllparam::CutAtNul(request));
    if (req.size() < 10 || !AllDigits(req.substr(1, 8)))
      Fail(kCodeBadCall, "Activity request \"" + req + "\" is not option, size (8 digits) and action");
    if (name.size() < static_cast<size_t>(kActivityHeader + kActivityBlock))
      Fail(kCodeBadCall, "Activity buffer of " + std::to_string(name.size()) + " bytes; " +
                             std::to_string(kActivityHeader + kActivityBlock) + " needed");
    // An active job's block shows its activity as of now; option "I" asks
    // the job to end.
    if (RefreshJob(c.db, c.kind, job, req[0] == 'I')) job = JobKey(job);
    std::string block = ReadEngineFile(c.db, kEngineArea, job).value_or("");
    std::string answer = Num(kActivityHeader + kActivityBlock, 5) + Fit(job, 10) + std::string(26, ' ') +
                         Fit(block, kActivityBlock);
    dllparam::PutInBuffer(name, answer);
    return 1;
  });
}

int32_t EmbeddedSource::ReadQVMSGQ(std::string& queue, int32_t& count, const std::string& kind) {
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    if (!IsNtKind(c.kind)) Fail(kCodeNotSupported, "the ReadQVMSGQ service is served by NT sources only");
    if (!EngineKindCode(kind)) Fail(kCodeNotSupported, "unknown engine kind \"" + kind + "\"");
    if (!IsQueueFile(queue))
      Fail(kCodeRefused, "no message queue file " + TrimText(queue.substr(0, 64)) + "; the engine's is " +
                             std::string(kMessageQueueFile));
    if (count < 0) Fail(kCodeBadCall, "ReadQVMSGQ position " + std::to_string(count) + " below 0");
    if (queue.size() < 10) Fail(kCodeBadCall, "ReadQVMSGQ buffer of " + std::to_string(queue.size()) + " bytes");
    const int64_t generation = MessageGeneration(c.db);
    const std::vector<StoredMessage> all = MessagesAfter(c.db, 0);
    // A position past the end, or the one this connection was given before
    // the queue was cleared, starts the reading again from the first message.
    const bool restart = static_cast<size_t>(count) > all.size() ||
                         (count > 0 && c.engine.ntCount == count && c.engine.ntGeneration != generation);
    size_t from = restart ? 0 : static_cast<size_t>(count);
    std::string entries;
    int64_t read = 0;
    for (size_t i = from; i < all.size(); ++i) {
      std::string entry = MessageEntry(all[i]);
      if (10 + entries.size() + entry.size() > queue.size() || entries.size() + entry.size() > 99999) break;
      entries += entry;
      ++read;
    }
    dllparam::PutInBuffer(queue, Num(static_cast<int64_t>(entries.size()), 5) +
                                     (restart ? std::string("99999") : Num(read, 5)) + entries);
    count = static_cast<int32_t>(from + static_cast<size_t>(read));
    c.engine.ntCount = count;
    c.engine.ntGeneration = generation;
    return 1;
  });
}

int32_t EmbeddedSource::WriteFile(const std::string& file, const std::string& text, int32_t replace) {
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    if (!IsNtKind(c.kind)) Fail(kCodeNotSupported, "engine files are served by NT sources only");
    if (replace != kReplaceFile && replace != kAppendFile) Fail(kCodeBadCall, "unknown write mode");
    if (IsQueueFile(file)) {
      // The queue file holds messages in the form the reads give them.
      const std::vector<StoredMessage> messages = ParseMessageEntries(text);
      WithWriteTransaction(c.db, [&] {
        if (replace == kReplaceFile) ClearMessages(c.db);
        for (const StoredMessage& m : messages) AddMessage(c.db, m);
      });
      return 1;
    }
    if (SpaceInUse(c.db, TrimText(file)))
      Fail(kCodeRefused, "file " + TrimText(file) + " is in use by its active job; stop the job first");
    WriteEngineFile(c.db, kEngineArea, TrimText(file), text, replace == kReplaceFile);
    return 1;
  });
}

int32_t EmbeddedSource::DeleteFile(const std::string& file) {
  return Guard([&]() -> int32_t {
    Connection& c = Current();
    if (!IsNtKind(c.kind)) Fail(kCodeNotSupported, "engine files are served by NT sources only");
    if (IsQueueFile(file)) {
      ClearMessages(c.db);
      return 1;
    }
    if (SpaceInUse(c.db, TrimText(file)))
      Fail(kCodeRefused, "file " + TrimText(file) + " is in use by its active job; stop the job first");
    if (!DeleteEngineFile(c.db, kEngineArea, TrimText(file))) {
      last_ = {kCodeNotFound, 0, "no file " + TrimText(file)};
      return 0;
    }
    return 1;
  });
}

}  // namespace qv::embedded
