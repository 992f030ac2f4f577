// Recording and scripted DllParam for tests.
#include "support/recording_fake.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <utility>

namespace qv::test {
namespace {

using dllparam::PutInBuffer;

std::string Int(int32_t value) { return std::to_string(value); }

}  // namespace

// An argument as recorded: its text and whether it is a number.
struct RecordingFake::In {
  In(const std::string& value) : text(value) {}  // NOLINT: implicit on purpose
  In(std::string text_, bool number_) : text(std::move(text_)), number(number_) {}
  operator std::string() const { return text; }  // NOLINT
  std::string text;
  bool number = false;
};

namespace {

RecordingFake::In Num(int32_t value) { return {std::to_string(value), true}; }

bool IsNumber(const std::string& text) {
  if (text.empty()) return false;
  std::size_t i = text[0] == '-' ? 1 : 0;
  if (i == text.size()) return false;
  return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i), text.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

// Drops the trailing blanks and underscores that pad a command code.
std::string BareCode(std::string code) {
  while (!code.empty() && (code.back() == ' ' || code.back() == '_')) code.pop_back();
  return code;
}

bool IsSqlOp(const std::string& op) {
  return op == "Sread" || op == "Sreadblock" || op == "Saction";
}

// Returns text in double quotes with \\, \", \n, \r, \t and other bytes
// outside printable ASCII escaped.
std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c > 0x7E) {
          char hex[5];
          std::snprintf(hex, sizeof hex, "\\x%02X", c);
          out += hex;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

// Shows a text argument: quoted; beyond 40 bytes, trailing blanks counted and
// long texts cut.
std::string Show(const std::string& text) {
  if (text.size() <= 40) return Quote(text);
  std::size_t end = text.find_last_not_of(' ');
  std::size_t core = end == std::string::npos ? 0 : end + 1;
  std::size_t blanks = text.size() - core;
  constexpr std::size_t kShown = 160;
  std::string out;
  if (core > kShown) {
    out = Quote(std::string_view(text).substr(0, kShown)) + "...(" + Int(static_cast<int32_t>(text.size())) + " bytes)";
  } else {
    out = Quote(std::string_view(text).substr(0, core));
    if (blanks > 0) out += "+" + Int(static_cast<int32_t>(blanks)) + " blanks";
  }
  return out;
}

}  // namespace

// ---- FakeCall ---------------------------------------------------------------

const std::string& FakeCall::Arg(std::size_t i) const {
  static const std::string kNone;
  return i < args.size() ? args[i] : kNone;
}

int32_t FakeCall::IntArg(std::size_t i) const {
  const std::string& text = Arg(i);
  return IsNumber(text) ? static_cast<int32_t>(std::stol(text)) : 0;
}

std::string FakeCall::ToString() const {
  std::string out = op + "(";
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i > 0) out += ", ";
    out += i < numeric.size() && numeric[i] ? args[i] : Show(args[i]);
  }
  return out + ") -> " + Int(result);
}

std::ostream& operator<<(std::ostream& out, const FakeCall& call) {
  return out << call.ToString();
}

void PrintTo(const FakeCall& call, std::ostream* out) { *out << call.ToString(); }

std::string FakeCommand::Request() const {
  std::string text(dllparam::CutAtNul(data));
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

// ---- FakeAnswer -------------------------------------------------------------

FakeAnswer FakeAnswer::Ok(std::string out) {
  FakeAnswer answer;
  answer.out = std::move(out);
  return answer;
}

FakeAnswer FakeAnswer::NotFound() {
  return Failure(DllParam::kCodeNotFound, 0, "not found");
}

FakeAnswer FakeAnswer::Failure(int32_t code, int32_t num, std::string text) {
  FakeAnswer answer;
  answer.result = 0;
  answer.errorCode = code;
  answer.errorNum = num;
  answer.errorText = std::move(text);
  return answer;
}

// ---- FakeRule ---------------------------------------------------------------

FakeRule& FakeRule::File(std::string file) { file_ = std::move(file); return *this; }
FakeRule& FakeRule::Key(std::string key) { key_ = std::move(key); return *this; }
FakeRule& FakeRule::Sql(std::string sql) { sql_ = std::move(sql); return *this; }
FakeRule& FakeRule::SqlPrefix(std::string prefix) { sqlPrefix_ = std::move(prefix); return *this; }
FakeRule& FakeRule::SqlMatches(std::string regex) {
  sqlRegex_ = std::regex(regex, std::regex::ECMAScript);
  return *this;
}
FakeRule& FakeRule::Code(std::string code) { code_ = BareCode(std::move(code)); return *this; }
FakeRule& FakeRule::DataPrefix(std::string prefix) { dataPrefix_ = std::move(prefix); return *this; }
FakeRule& FakeRule::DataMatches(std::string regex) {
  dataRegex_ = std::regex(regex, std::regex::ECMAScript);
  return *this;
}
FakeRule& FakeRule::Arg(std::size_t index, std::string value) {
  args_.emplace_back(index, std::move(value));
  return *this;
}
FakeRule& FakeRule::Nth(int n) { nth_ = n; return *this; }

FakeRule& FakeRule::Push(Producer producer) {
  answers_.push_back(std::move(producer));
  return *this;
}

FakeRule& FakeRule::Answer(FakeAnswer answer) {
  return Push([answer](const FakeCall&) { return answer; });
}

FakeRule& FakeRule::Return(int32_t result) {
  if (result == 0) return Fail(DllParam::kCodeRefused, 0, "refused by the script");
  FakeAnswer answer;
  answer.result = result;
  return Answer(answer);
}

FakeRule& FakeRule::Out(std::string text) { return Answer(FakeAnswer::Ok(std::move(text))); }

FakeRule& FakeRule::Outs(std::vector<std::string> texts) {
  FakeAnswer answer;
  answer.outs = std::move(texts);
  return Answer(answer);
}

FakeRule& FakeRule::Handle(int32_t handle) {
  FakeAnswer answer;
  answer.handle = handle;
  return Answer(answer);
}

FakeRule& FakeRule::Rows(std::vector<std::string> rows) {
  FakeAnswer answer;
  answer.set = std::move(rows);
  return Answer(answer);
}

FakeRule& FakeRule::Records(std::vector<std::string> records) { return Rows(std::move(records)); }

FakeRule& FakeRule::NotFound() { return Answer(FakeAnswer::NotFound()); }

FakeRule& FakeRule::Fail(int32_t code, int32_t num, std::string text) {
  return Answer(FakeAnswer::Failure(code, num, std::move(text)));
}

FakeRule& FakeRule::Compute(std::function<FakeAnswer(const FakeCall&)> compute) {
  return Push(std::move(compute));
}

FakeRule& FakeRule::Repeatedly() {
  repeat_ = true;
  return *this;
}

bool FakeRule::Matches(const FakeCall& call, int nthOfOp) const {
  if (op_ != "*" && op_ != call.op) return false;
  if (nth_ != 0 && nth_ != nthOfOp) return false;
  if (file_ && call.file != *file_) return false;
  if (key_ && call.key != *key_) return false;
  if (sql_ || sqlPrefix_ || sqlRegex_) {
    if (!IsSqlOp(call.op)) return false;
    if (sql_ && call.sql != *sql_) return false;
    if (sqlPrefix_ && call.sql.rfind(*sqlPrefix_, 0) != 0) return false;
    if (sqlRegex_ && !std::regex_search(call.sql, *sqlRegex_)) return false;
  }
  if (code_ || dataPrefix_ || dataRegex_) {
    if (call.op != "Execute") return false;
    if (code_ && BareCode(call.Arg(0)) != *code_) return false;
    if (dataPrefix_ && call.Arg(2).rfind(*dataPrefix_, 0) != 0) return false;
    if (dataRegex_ && !std::regex_search(call.Arg(2), *dataRegex_)) return false;
  }
  for (const auto& [index, value] : args_) {
    if (index >= call.args.size() || call.args[index] != value) return false;
  }
  return true;
}

FakeAnswer FakeRule::Take(const FakeCall& call) {
  Producer producer = answers_.front();
  if (answers_.size() > 1 || !repeat_) answers_.erase(answers_.begin());
  return producer(call);
}

// ---- RecordingFake: state ---------------------------------------------------

// A file or statement handle handed out by Ropen, Sread or Sreadblock.
struct RecordingFake::OpenHandle {
  std::string file;
  int32_t connection = 0;
  bool update = false;
  bool locked = false;        // the last read was a locked Rreadk that found a record
  bool blockStarted = false;  // Sreadblock "1" ran on it
  // A result set being read over several calls.
  std::string setKind;        // "rows", "block", "seq", "rblock", "rblockd"; empty: none
  std::string setKey;
  std::vector<std::string> set;
  std::size_t next = 0;

  void ClearSet() {
    setKind.clear();
    set.clear();
    next = 0;
  }
  void Bind(std::string kind, std::vector<std::string> rows, std::size_t from, std::string key = {}) {
    setKind = std::move(kind);
    set = std::move(rows);
    next = from;
    setKey = std::move(key);
  }
};

RecordingFake::RecordingFake() = default;
RecordingFake::~RecordingFake() = default;

FakeRule& RecordingFake::On(std::string op) {
  rules_.push_back(std::make_unique<FakeRule>(std::move(op)));
  return *rules_.back();
}

void RecordingFake::FailCall(int n, int32_t code, int32_t num, std::string text) {
  failCalls_[n] = FakeAnswer::Failure(code, num, std::move(text));
}

void RecordingFake::SetConfigString(const std::string& section, const std::string& key,
                                    const std::string& value) {
  On("GetConfigStringWithoutDefVal").Arg(0, section).Arg(1, key).Out(value).Repeatedly();
}

std::vector<FakeCall> RecordingFake::CallsNamed(const std::string& op) const {
  std::vector<FakeCall> out;
  for (const FakeCall& call : calls_) {
    if (call.op == op) out.push_back(call);
  }
  return out;
}

int RecordingFake::CallCount(const std::string& op) const {
  return static_cast<int>(std::count_if(calls_.begin(), calls_.end(),
                                        [&](const FakeCall& call) { return call.op == op; }));
}

std::vector<std::string> RecordingFake::Ops() const {
  std::vector<std::string> out;
  for (const FakeCall& call : calls_) out.push_back(call.op);
  return out;
}

std::vector<std::string> RecordingFake::Statements() const {
  std::vector<std::string> out;
  for (const FakeCall& call : calls_) {
    if (call.op == "Saction" || call.op == "Sread" ||
        (call.op == "Sreadblock" && call.Arg(4) == kFirstBlock)) {
      out.push_back(call.sql);
    }
  }
  return out;
}

std::vector<FakeCommand> RecordingFake::Commands() const {
  std::vector<FakeCommand> out;
  for (const FakeCall& call : calls_) {
    if (call.op == "Execute") out.push_back({call.Arg(0), call.Arg(1), call.Arg(2)});
  }
  return out;
}

std::vector<std::string> RecordingFake::CommandCodes() const {
  std::vector<std::string> out;
  for (const FakeCall& call : calls_) {
    if (call.op == "Execute") out.push_back(call.Arg(0));
  }
  return out;
}

const FakeCall& RecordingFake::LastCall() const {
  static const FakeCall kNone;
  if (calls_.empty()) {
    ADD_FAILURE() << "no call was recorded";
    return kNone;
  }
  return calls_.back();
}

void RecordingFake::ClearCalls() {
  calls_.clear();
  opCounts_.clear();
  failCalls_.clear();
}

std::map<int32_t, std::string> RecordingFake::OpenFiles() const {
  std::map<int32_t, std::string> out;
  for (const auto& [h, handle] : handles_) out[h] = handle->file;
  return out;
}

// ---- RecordingFake: helpers -------------------------------------------------

FakeCall& RecordingFake::Begin(std::string op, std::vector<In> args, std::string file) {
  FakeCall call;
  call.index = static_cast<int>(calls_.size()) + 1;
  call.op = std::move(op);
  for (In& arg : args) {
    call.args.push_back(std::move(arg.text));
    call.numeric.push_back(arg.number);
  }
  call.connection = current_;
  call.file = std::move(file);
  ++opCounts_[call.op];
  calls_.push_back(std::move(call));
  errorCode_ = kCodeNone;
  errorNum_ = 0;
  errorText_.clear();
  return calls_.back();
}

std::optional<FakeAnswer> RecordingFake::Resolve(const FakeCall& call) {
  if (auto failure = failCalls_.find(call.index); failure != failCalls_.end()) {
    return failure->second;
  }
  const int nth = opCounts_[call.op];
  for (auto rule = rules_.rbegin(); rule != rules_.rend(); ++rule) {
    if ((*rule)->HasAnswer() && (*rule)->Matches(call, nth)) return (*rule)->Take(call);
  }
  return std::nullopt;
}

int32_t RecordingFake::Finish(FakeCall& call, int32_t result, std::vector<std::string> outs) {
  call.result = result;
  call.outs = std::move(outs);
  return result;
}

int32_t RecordingFake::FailWith(int32_t code, int32_t num, std::string text) {
  errorCode_ = code;
  errorNum_ = num;
  errorText_ = std::move(text);
  return 0;
}

int32_t RecordingFake::NotFoundResult() { return FailWith(kCodeNotFound, 0, "not found"); }

int32_t RecordingFake::ResultOf(const FakeAnswer& answer) {
  if (answer.errorCode) return FailWith(*answer.errorCode, answer.errorNum, answer.errorText);
  if (answer.result == 0) return FailWith(kCodeRefused, 0, "refused by the script");
  return answer.result;
}

namespace {
bool Failed(const FakeAnswer& answer) { return answer.errorCode || answer.result == 0; }
}  // namespace

bool RecordingFake::NoConnection() const {
  return strict_ && connections_.count(current_) == 0;
}

RecordingFake::OpenHandle* RecordingFake::FindHandle(int32_t h) {
  auto found = handles_.find(h);
  return found == handles_.end() ? nullptr : found->second.get();
}

std::string RecordingFake::FileOf(int32_t h) const {
  auto found = handles_.find(h);
  return found == handles_.end() ? std::string() : found->second->file;
}

int32_t RecordingFake::NewHandle(std::string file, bool update, std::optional<int32_t> wanted) {
  const int32_t h = wanted ? *wanted : nextHandle_++;
  auto handle = std::make_unique<OpenHandle>();
  handle->file = std::move(file);
  handle->connection = current_;
  handle->update = update;
  handles_[h] = std::move(handle);
  return h;
}

int32_t RecordingFake::AnswerText(const FakeCall& call, std::string& buffer, int32_t* len,
                                  std::optional<std::string> fallback, bool foundByDefault) {
  std::optional<FakeAnswer> answer = Resolve(call);
  if (!answer) {
    if (!foundByDefault) return NotFoundResult();
    if (fallback) {
      const int32_t n = PutInBuffer(buffer, *fallback);
      if (len) *len = n;
    }
    return 1;
  }
  if (Failed(*answer)) return ResultOf(*answer);
  std::optional<std::string> text = answer->out;
  if (!text && !answer->outs.empty()) text = answer->outs[0];
  if (text) {
    const int32_t n = PutInBuffer(buffer, *text);
    if (len) *len = n;
  }
  return answer->result;
}

// Reads one record or row: from the set bound to the handle when the call
// continues it (continuing names that set's kind), else from the script.
int32_t RecordingFake::ReadOne(const FakeCall& call, OpenHandle* handle, std::string& rec,
                               int32_t& len, const char* continuing) {
  if (handle && continuing && handle->setKind == continuing) {
    if (handle->next >= handle->set.size()) {
      handle->ClearSet();
      return NotFoundResult();
    }
    len = PutInBuffer(rec, handle->set[handle->next++]);
    return 1;
  }
  if (handle) handle->ClearSet();
  std::optional<FakeAnswer> answer = Resolve(call);
  if (!answer) return NotFoundResult();
  if (Failed(*answer)) return ResultOf(*answer);
  if (answer->set) {
    if (answer->set->empty()) return NotFoundResult();
    len = PutInBuffer(rec, answer->set->front());
    if (handle && (call.op == "Rreadf" || call.op == "Rreadn")) {
      handle->Bind("seq", *answer->set, 1);
    } else if (handle && call.op == "Sread") {
      handle->Bind("rows", *answer->set, 1);
    }
    return 1;
  }
  if (answer->out) len = PutInBuffer(rec, *answer->out);
  return answer->result;
}

int32_t RecordingFake::ReadBlock(const FakeCall& call, OpenHandle* handle, std::string& buf,
                                 int32_t& count, int32_t recLen, const std::string* key) {
  const char* kind = key ? "rblock" : "rblockd";
  const bool continues =
      handle && handle->setKind == kind && (!key || handle->setKey == *key);
  if (!continues) {
    if (handle) handle->ClearSet();
    std::optional<FakeAnswer> answer = Resolve(call);
    if (!answer) return NotFoundResult();
    if (Failed(*answer)) return ResultOf(*answer);
    if (!answer->set) {
      if (answer->out) {
        PutInBuffer(buf, *answer->out);
        count = answer->number ? *answer->number
                               : static_cast<int32_t>(answer->out->size() / static_cast<std::size_t>(recLen));
      }
      return answer->result;
    }
    OpenHandle scratch;
    OpenHandle* target = handle ? handle : &scratch;
    target->Bind(kind, *answer->set, 0, key ? *key : std::string());
    handle = target;
  }
  const std::size_t capacity = buf.size() / static_cast<std::size_t>(recLen);
  std::string block;
  int32_t placed = 0;
  while (static_cast<std::size_t>(placed) < capacity && handle->next < handle->set.size()) {
    std::string record = handle->set[handle->next++];
    record.resize(static_cast<std::size_t>(recLen), ' ');
    block += record;
    ++placed;
  }
  if (placed == 0) {
    handle->ClearSet();
    return NotFoundResult();
  }
  PutInBuffer(buf, block);
  count = placed;
  return 1;
}

int32_t RecordingFake::ReadRows(const FakeCall& call, OpenHandle* handle, std::string& buf,
                                int32_t& len, int32_t& flag, bool first) {
  if (first || !handle || handle->setKind != "block") {
    if (handle) handle->ClearSet();
    std::optional<FakeAnswer> answer = Resolve(call);
    if (!answer) return NotFoundResult();
    if (Failed(*answer)) return ResultOf(*answer);
    if (!answer->set) {
      if (answer->out) len = PutInBuffer(buf, *answer->out);
      if (answer->number) flag = *answer->number;
      return answer->result;
    }
    if (!handle) return ResultOf(*answer);
    handle->Bind("block", *answer->set, 0);
  }
  std::string block;
  while (handle->next < handle->set.size()) {
    const std::string& row = handle->set[handle->next];
    if (block.size() + row.size() > buf.size()) {
      if (block.empty()) {  // a row wider than the buffer goes alone, cut
        block = row.substr(0, buf.size());
        ++handle->next;
      }
      break;
    }
    block += row;
    ++handle->next;
  }
  if (block.empty()) {
    handle->ClearSet();
    return NotFoundResult();
  }
  len = PutInBuffer(buf, block);
  flag = handle->next < handle->set.size() ? 1 : 0;
  return 1;
}

// ---- RecordingFake: DllParam ------------------------------------------------

int32_t RecordingFake::GetLastError(int32_t& code, int32_t& errNum, std::string& text) {
  ++errorQueries_;
  code = errorCode_;
  errNum = errorNum_;
  PutInBuffer(text, std::string_view(errorText_).substr(0, kErrorTextMax));
  return 1;
}

int32_t RecordingFake::OpenMConnection(const std::string& address, std::string& serverVersion,
                                       std::string& serverJob, int32_t& hConn) {
  FakeCall& call = Begin("OpenMConnection", {address, serverVersion, serverJob, Num(hConn)});
  std::optional<FakeAnswer> answer = Resolve(call);
  int32_t result = 1;
  if (answer && Failed(*answer)) {
    result = ResultOf(*answer);
  } else {
    if (answer) {
      if (answer->outs.size() > 0) PutInBuffer(serverVersion, answer->outs[0]);
      if (answer->outs.size() > 1) PutInBuffer(serverJob, answer->outs[1]);
      if (answer->out) PutInBuffer(serverVersion, *answer->out);
      result = answer->result;
    }
    hConn = answer && answer->handle ? *answer->handle : nextConnection_++;
    connections_.insert(hConn);
    current_ = hConn;
  }
  return Finish(call, result, {serverVersion, serverJob, Int(hConn)});
}

int32_t RecordingFake::SwitchMConnection(int32_t hConn) {
  FakeCall& call = Begin("SwitchMConnection", {Num(hConn)});
  if (strict_ && connections_.count(hConn) == 0) {
    return Finish(call, FailWith(kCodeBadCall, 0, "connection " + Int(hConn) + " is not open"), {});
  }
  std::optional<FakeAnswer> answer = Resolve(call);
  int32_t result = answer ? ResultOf(*answer) : 1;
  if (result) current_ = hConn;
  return Finish(call, result, {});
}

int32_t RecordingFake::CloseMConnection(int32_t hConn) {
  FakeCall& call = Begin("CloseMConnection", {Num(hConn)});
  if (strict_ && connections_.count(hConn) == 0) {
    return Finish(call, FailWith(kCodeBadCall, 0, "connection " + Int(hConn) + " is not open"), {});
  }
  std::optional<FakeAnswer> answer = Resolve(call);
  int32_t result = answer ? ResultOf(*answer) : 1;
  if (result) {
    connections_.erase(hConn);
    for (auto it = handles_.begin(); it != handles_.end();) {
      it = it->second->connection == hConn ? handles_.erase(it) : std::next(it);
    }
    if (current_ == hConn) current_ = 0;
  }
  return Finish(call, result, {});
}

int32_t RecordingFake::PingPong() {
  FakeCall& call = Begin("PingPong", {});
  if (NoConnection()) return Finish(call, FailWith(kCodeBadCall, 0, "no current connection"), {});
  std::optional<FakeAnswer> answer = Resolve(call);
  return Finish(call, answer ? ResultOf(*answer) : 1, {});
}

int32_t RecordingFake::Ropen(const std::string& file, const std::string& mode, int32_t& h) {
  FakeCall& call = Begin("Ropen", {file, mode, Num(h)}, file);
  if (NoConnection()) {
    return Finish(call, FailWith(kCodeBadCall, 0, "no current connection"), {Int(h)});
  }
  std::optional<FakeAnswer> answer = Resolve(call);
  int32_t result = 1;
  if (answer && Failed(*answer)) {
    result = ResultOf(*answer);
  } else {
    if (answer) result = answer->result;
    h = NewHandle(file, mode.rfind("rr+", 0) == 0, answer ? answer->handle : std::nullopt);
  }
  return Finish(call, result, {Int(h)});
}

namespace {
// Checks a file handle for a record operation; returns the failure text, or
// empty when the handle may be used.
std::string HandleProblem(bool strict, const void* handle, int32_t h) {
  if (strict && handle == nullptr) return "file handle " + std::to_string(h) + " is not open";
  return {};
}
}  // namespace

int32_t RecordingFake::Rreadk(int32_t h, std::string& rec, int32_t& len, int32_t opts,
                              const std::string& key, int32_t keyLen) {
  FakeCall& call = Begin("Rreadk", {Num(h), rec, Num(len), Num(opts), key, Num(keyLen)}, FileOf(h));
  call.key = key.substr(0, static_cast<std::size_t>(std::max(keyLen, 0)));
  OpenHandle* handle = FindHandle(h);
  len = 0;
  int32_t result;
  if (NoConnection()) {
    result = FailWith(kCodeBadCall, 0, "no current connection");
  } else if (std::string problem = HandleProblem(strict_, handle, h); !problem.empty()) {
    result = FailWith(kCodeBadCall, 0, problem);
  } else if (strict_ && keyLen > static_cast<int32_t>(key.size())) {
    result = FailWith(kCodeBadCall, 0, "key shorter than keyLen");
  } else {
    if (handle) handle->locked = false;
    result = ReadOne(call, handle, rec, len, nullptr);
    if (result && handle && opts == kKeyEqualLocked) handle->locked = true;
  }
  return Finish(call, result, {rec, Int(len)});
}

int32_t RecordingFake::Rreadf(int32_t h, std::string& rec, int32_t& len, int32_t opts) {
  FakeCall& call = Begin("Rreadf", {Num(h), rec, Num(len), Num(opts)}, FileOf(h));
  OpenHandle* handle = FindHandle(h);
  len = 0;
  int32_t result;
  if (NoConnection()) {
    result = FailWith(kCodeBadCall, 0, "no current connection");
  } else if (std::string problem = HandleProblem(strict_, handle, h); !problem.empty()) {
    result = FailWith(kCodeBadCall, 0, problem);
  } else {
    if (handle) handle->locked = false;
    result = ReadOne(call, handle, rec, len, nullptr);
  }
  return Finish(call, result, {rec, Int(len)});
}

int32_t RecordingFake::Rreadn(int32_t h, std::string& rec, int32_t& len, int32_t opts) {
  FakeCall& call = Begin("Rreadn", {Num(h), rec, Num(len), Num(opts)}, FileOf(h));
  OpenHandle* handle = FindHandle(h);
  len = 0;
  int32_t result;
  if (NoConnection()) {
    result = FailWith(kCodeBadCall, 0, "no current connection");
  } else if (std::string problem = HandleProblem(strict_, handle, h); !problem.empty()) {
    result = FailWith(kCodeBadCall, 0, problem);
  } else {
    if (handle) handle->locked = false;
    result = ReadOne(call, handle, rec, len, "seq");
  }
  return Finish(call, result, {rec, Int(len)});
}

int32_t RecordingFake::Rreadblock(int32_t h, std::string& buf, int32_t& count, int32_t recLen,
                                  const std::string& key, int32_t keyLen) {
  FakeCall& call = Begin("Rreadblock", {Num(h), buf, Num(count), Num(recLen), key, Num(keyLen)},
                         FileOf(h));
  call.key = key.substr(0, static_cast<std::size_t>(std::max(keyLen, 0)));
  OpenHandle* handle = FindHandle(h);
  count = 0;
  int32_t result;
  if (NoConnection()) {
    result = FailWith(kCodeBadCall, 0, "no current connection");
  } else if (std::string problem = HandleProblem(strict_, handle, h); !problem.empty()) {
    result = FailWith(kCodeBadCall, 0, problem);
  } else if (recLen <= 0 || static_cast<std::size_t>(recLen) > buf.size()) {
    result = FailWith(kCodeBadCall, 0, "record length " + Int(recLen) + " does not fit the buffer");
  } else if (strict_ && keyLen > static_cast<int32_t>(key.size())) {
    result = FailWith(kCodeBadCall, 0, "key shorter than keyLen");
  } else {
    if (handle) handle->locked = false;
    result = ReadBlock(call, handle, buf, count, recLen, &call.key);
  }
  return Finish(call, result, {buf, Int(count)});
}

int32_t RecordingFake::RreadblockD(int32_t h, std::string& buf, int32_t& count, int32_t recLen) {
  FakeCall& call = Begin("RreadblockD", {Num(h), buf, Num(count), Num(recLen)}, FileOf(h));
  OpenHandle* handle = FindHandle(h);
  count = 0;
  int32_t result;
  if (NoConnection()) {
    result = FailWith(kCodeBadCall, 0, "no current connection");
  } else if (std::string problem = HandleProblem(strict_, handle, h); !problem.empty()) {
    result = FailWith(kCodeBadCall, 0, problem);
  } else if (recLen <= 0 || static_cast<std::size_t>(recLen) > buf.size()) {
    result = FailWith(kCodeBadCall, 0, "record length " + Int(recLen) + " does not fit the buffer");
  } else {
    if (handle) handle->locked = false;
    result = ReadBlock(call, handle, buf, count, recLen, nullptr);
  }
  return Finish(call, result, {buf, Int(count)});
}

int32_t RecordingFake::Rupdate(int32_t h, const std::string& rec, int32_t len) {
  FakeCall& call = Begin("Rupdate", {Num(h), rec, Num(len)}, FileOf(h));
  OpenHandle* handle = FindHandle(h);
  int32_t result;
  if (NoConnection()) {
    result = FailWith(kCodeBadCall, 0, "no current connection");
  } else if (std::string problem = HandleProblem(strict_, handle, h); !problem.empty()) {
    result = FailWith(kCodeBadCall, 0, problem);
  } else if (strict_ && (len < 0 || static_cast<std::size_t>(len) > rec.size())) {
    result = FailWith(kCodeBadCall, 0, "record length " + Int(len) + " longer than the record");
  } else if (strict_ && !handle->update) {
    result = FailWith(kCodeRefused, 0, "file " + handle->file + " is open read-only");
  } else if (strict_ && !handle->locked) {
    result = FailWith(kCodeBadCall, 0, "no record locked on handle " + Int(h));
  } else {
    std::optional<FakeAnswer> answer = Resolve(call);
    result = answer ? ResultOf(*answer) : 1;
    if (handle) handle->locked = false;
  }
  return Finish(call, result, {});
}

int32_t RecordingFake::Rwrite(int32_t h, const std::string& rec, int32_t len) {
  FakeCall& call = Begin("Rwrite", {Num(h), rec, Num(len)}, FileOf(h));
  OpenHandle* handle = FindHandle(h);
  int32_t result;
  if (NoConnection()) {
    result = FailWith(kCodeBadCall, 0, "no current connection");
  } else if (std::string problem = HandleProblem(strict_, handle, h); !problem.empty()) {
    result = FailWith(kCodeBadCall, 0, problem);
  } else if (strict_ && (len < 0 || static_cast<std::size_t>(len) > rec.size())) {
    result = FailWith(kCodeBadCall, 0, "record length " + Int(len) + " longer than the record");
  } else if (strict_ && !handle->update) {
    result = FailWith(kCodeRefused, 0, "file " + handle->file + " is open read-only");
  } else {
    std::optional<FakeAnswer> answer = Resolve(call);
    result = answer ? ResultOf(*answer) : 1;
  }
  return Finish(call, result, {});
}

int32_t RecordingFake::Rdelete(int32_t h) {
  FakeCall& call = Begin("Rdelete", {Num(h)}, FileOf(h));
  OpenHandle* handle = FindHandle(h);
  int32_t result;
  if (NoConnection()) {
    result = FailWith(kCodeBadCall, 0, "no current connection");
  } else if (std::string problem = HandleProblem(strict_, handle, h); !problem.empty()) {
    result = FailWith(kCodeBadCall, 0, problem);
  } else if (strict_ && !handle->update) {
    result = FailWith(kCodeRefused, 0, "file " + handle->file + " is open read-only");
  } else if (strict_ && !handle->locked) {
    result = FailWith(kCodeBadCall, 0, "no record locked on handle " + Int(h));
  } else {
    std::optional<FakeAnswer> answer = Resolve(call);
    result = answer ? ResultOf(*answer) : 1;
    if (handle) handle->locked = false;
  }
  return Finish(call, result, {});
}

int32_t RecordingFake::Rclose(int32_t h) {
  FakeCall& call = Begin("Rclose", {Num(h)}, FileOf(h));
  OpenHandle* handle = FindHandle(h);
  int32_t result;
  if (std::string problem = HandleProblem(strict_, handle, h); !problem.empty()) {
    result = FailWith(kCodeBadCall, 0, problem);
  } else {
    std::optional<FakeAnswer> answer = Resolve(call);
    result = answer ? ResultOf(*answer) : 1;
    if (result) handles_.erase(h);
  }
  return Finish(call, result, {});
}

int32_t RecordingFake::Sread(int32_t& hStmt, std::string& buf, int32_t& len,
                             const std::string& sql, int32_t option) {
  FakeCall& call = Begin("Sread", {Num(hStmt), buf, Num(len), sql, Num(option)}, FileOf(hStmt));
  call.sql = sql;
  len = 0;
  int32_t result;
  OpenHandle* handle = hStmt >= 0 ? FindHandle(hStmt) : nullptr;
  if (NoConnection()) {
    result = FailWith(kCodeBadCall, 0, "no current connection");
  } else if (hStmt >= 0 && strict_ && handle == nullptr) {
    result = FailWith(kCodeBadCall, 0, "statement handle " + Int(hStmt) + " is not open");
  } else {
    if (hStmt < 0) {
      hStmt = NewHandle(kStatementFile, false, std::nullopt);
      handle = FindHandle(hStmt);
    }
    result = ReadOne(call, handle, buf, len, nullptr);
  }
  return Finish(call, result, {Int(hStmt), buf, Int(len)});
}

int32_t RecordingFake::Snext(int32_t& hStmt, std::string& rec, int32_t& len, int32_t& flag) {
  FakeCall& call = Begin("Snext", {Num(hStmt), rec, Num(len), Num(flag)}, FileOf(hStmt));
  OpenHandle* handle = FindHandle(hStmt);
  len = 0;
  flag = 0;
  int32_t result;
  if (NoConnection()) {
    result = FailWith(kCodeBadCall, 0, "no current connection");
  } else if (strict_ && handle == nullptr) {
    result = FailWith(kCodeBadCall, 0, "statement handle " + Int(hStmt) + " is not open");
  } else {
    result = ReadOne(call, handle, rec, len, "rows");
    if (result) flag = 1;
  }
  return Finish(call, result, {Int(hStmt), rec, Int(len), Int(flag)});
}

int32_t RecordingFake::Sreadblock(int32_t& hStmt, std::string& buf, int32_t& len,
                                  const std::string& sql, const std::string& first,
                                  int32_t& flag) {
  FakeCall& call =
      Begin("Sreadblock", {Num(hStmt), buf, Num(len), sql, first, Num(flag)}, FileOf(hStmt));
  call.sql = sql;
  len = 0;
  flag = 0;
  const bool isFirst = first == kFirstBlock;
  OpenHandle* handle = hStmt >= 0 ? FindHandle(hStmt) : nullptr;
  int32_t result;
  if (NoConnection()) {
    result = FailWith(kCodeBadCall, 0, "no current connection");
  } else if (strict_ && !isFirst && first != kNextBlock) {
    result = FailWith(kCodeBadCall, 0, "first must be \"1\" or \"0\"");
  } else if (hStmt >= 0 && strict_ && handle == nullptr) {
    result = FailWith(kCodeBadCall, 0, "statement handle " + Int(hStmt) + " is not open");
  } else if (!isFirst && strict_ && (handle == nullptr || !handle->blockStarted)) {
    result = FailWith(kCodeBadCall, 0, "Sreadblock \"0\" without a first call");
  } else {
    if (hStmt < 0) {
      hStmt = NewHandle(kStatementFile, false, std::nullopt);
      handle = FindHandle(hStmt);
    }
    if (isFirst && handle) handle->blockStarted = true;
    result = ReadRows(call, handle, buf, len, flag, isFirst);
  }
  return Finish(call, result, {Int(hStmt), buf, Int(len), Int(flag)});
}

int32_t RecordingFake::Saction(const std::string& sql) {
  FakeCall& call = Begin("Saction", {sql});
  call.sql = sql;
  if (NoConnection()) return Finish(call, FailWith(kCodeBadCall, 0, "no current connection"), {});
  std::optional<FakeAnswer> answer = Resolve(call);
  return Finish(call, answer ? ResultOf(*answer) : 1, {});
}

int32_t RecordingFake::SetConnectOption(int32_t option) {
  FakeCall& call = Begin("SetConnectOption", {Num(option)});
  if (NoConnection()) return Finish(call, FailWith(kCodeBadCall, 0, "no current connection"), {});
  std::optional<FakeAnswer> answer = Resolve(call);
  return Finish(call, answer ? ResultOf(*answer) : 1, {});
}

int32_t RecordingFake::ConnectDSN(const std::string& connect, const std::string& user,
                                  const std::string& password, std::string& out) {
  FakeCall& call = Begin("ConnectDSN", {connect, user, password, out});
  if (NoConnection()) {
    return Finish(call, FailWith(kCodeBadCall, 0, "no current connection"), {out});
  }
  std::optional<FakeAnswer> answer = Resolve(call);
  int32_t result;
  if (!answer) {
    PutInBuffer(out, connect);
    result = 1;
  } else if (Failed(*answer)) {
    // A refused login leaves the database's message in out.
    PutInBuffer(out, answer->out ? *answer->out : answer->errorText);
    result = ResultOf(*answer);
  } else {
    if (answer->out) PutInBuffer(out, *answer->out);
    result = answer->result;
  }
  return Finish(call, result, {out});
}

int32_t RecordingFake::CloseConnectionDSN(const std::string& connect, std::string& out) {
  FakeCall& call = Begin("CloseConnectionDSN", {connect, out});
  if (NoConnection()) {
    return Finish(call, FailWith(kCodeBadCall, 0, "no current connection"), {out});
  }
  return Finish(call, AnswerText(call, out, nullptr, std::nullopt, true), {out});
}

int32_t RecordingFake::GetConfigStringWithoutDefVal(const std::string& section,
                                                    const std::string& key, std::string& value,
                                                    int32_t& len) {
  FakeCall& call = Begin("GetConfigStringWithoutDefVal", {section, key, value, Num(len)});
  len = 0;
  if (NoConnection()) {
    return Finish(call, FailWith(kCodeBadCall, 0, "no current connection"), {value, Int(len)});
  }
  return Finish(call, AnswerText(call, value, &len, std::nullopt, false), {value, Int(len)});
}

int32_t RecordingFake::GetDBParamKeys(std::string& connect, std::string& driver, std::string& user,
                                      std::string& password, std::string& database) {
  FakeCall& call = Begin("GetDBParamKeys", {connect, driver, user, password, database});
  int32_t result = 1;
  if (NoConnection()) {
    result = FailWith(kCodeBadCall, 0, "no current connection");
  } else if (std::optional<FakeAnswer> answer = Resolve(call)) {
    if (Failed(*answer)) {
      result = ResultOf(*answer);
    } else {
      std::string* slots[] = {&connect, &driver, &user, &password, &database};
      for (std::size_t i = 0; i < answer->outs.size() && i < 5; ++i) PutInBuffer(*slots[i], answer->outs[i]);
      if (answer->out) PutInBuffer(connect, *answer->out);
      result = answer->result;
    }
  }
  return Finish(call, result, {connect, driver, user, password, database});
}

int32_t RecordingFake::GetComputerName(std::string& name) {
  FakeCall& call = Begin("GetComputerName", {name});
  if (NoConnection()) {
    return Finish(call, FailWith(kCodeBadCall, 0, "no current connection"), {name});
  }
  return Finish(call, AnswerText(call, name, nullptr, std::string("FAKEHOST"), true), {name});
}

int32_t RecordingFake::Execute(std::string& code, std::string& ctl, std::string& data) {
  FakeCall& call = Begin("Execute", {code, ctl, data});
  std::size_t area = data.size();
  const bool ctlIsNumber = ctl.size() == static_cast<std::size_t>(kControlWidth) &&
                           std::all_of(ctl.begin(), ctl.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (ctlIsNumber) area = std::min<std::size_t>(area, std::stoul(ctl));
  int32_t result;
  if (NoConnection()) {
    result = FailWith(kCodeBadCall, 0, "no current connection");
  } else if (strict_ && code.size() != static_cast<std::size_t>(kCommandCodeWidth)) {
    result = FailWith(kCodeBadCall, 0, "command code \"" + code + "\" is not 10 characters");
  } else if (strict_ && !ctlIsNumber) {
    result = FailWith(kCodeBadCall, 0, "control area \"" + ctl + "\" is not 10 digits");
  } else if (strict_ && data.size() < std::stoul(ctl)) {
    result = FailWith(kCodeBadCall, 0,
                      "data of " + Int(static_cast<int32_t>(data.size())) + " bytes is shorter than the control area " + ctl);
  } else {
    std::optional<FakeAnswer> answer = Resolve(call);
    auto reply = [&](const std::string& text) {
      std::string areaText = data.substr(0, area);
      PutInBuffer(areaText, text);
      data.replace(0, area, areaText);
    };
    if (!answer) {
      reply("00000");
      result = 1;
    } else if (Failed(*answer)) {
      result = ResultOf(*answer);
    } else {
      if (answer->outs.size() == 3) {
        PutInBuffer(code, answer->outs[0]);
        PutInBuffer(ctl, answer->outs[1]);
        reply(answer->outs[2]);
      }
      if (answer->out) reply(*answer->out);
      result = answer->result;
    }
  }
  return Finish(call, result, {code, ctl, data});
}

int32_t RecordingFake::StrReplication(const std::string& name, const std::string& kind,
                                      const std::string& instance) {
  FakeCall& call = Begin("StrReplication", {name, kind, instance});
  if (NoConnection()) return Finish(call, FailWith(kCodeBadCall, 0, "no current connection"), {});
  std::optional<FakeAnswer> answer = Resolve(call);
  return Finish(call, answer ? ResultOf(*answer) : 1, {});
}

int32_t RecordingFake::SJobList(const std::string& job, std::string& answer,
                                const std::string& kind) {
  FakeCall& call = Begin("SJobList", {job, answer, kind});
  if (NoConnection()) {
    return Finish(call, FailWith(kCodeBadCall, 0, "no current connection"), {answer});
  }
  return Finish(call, AnswerText(call, answer, nullptr, std::string("00000"), true), {answer});
}

int32_t RecordingFake::Activity(std::string& name, const std::string& request) {
  FakeCall& call = Begin("Activity", {name, request});
  if (NoConnection()) {
    return Finish(call, FailWith(kCodeBadCall, 0, "no current connection"), {name});
  }
  return Finish(call, AnswerText(call, name, nullptr, std::nullopt, true), {name});
}

int32_t RecordingFake::ReadQVMSGQ(std::string& queue, int32_t& count, const std::string& kind) {
  FakeCall& call = Begin("ReadQVMSGQ", {queue, Num(count), kind});
  int32_t result;
  if (NoConnection()) {
    result = FailWith(kCodeBadCall, 0, "no current connection");
  } else {
    std::optional<FakeAnswer> answer = Resolve(call);
    if (!answer) {
      PutInBuffer(queue, "0000000000");
      result = 1;
    } else if (Failed(*answer)) {
      result = ResultOf(*answer);
    } else {
      if (answer->out) PutInBuffer(queue, *answer->out);
      if (answer->number) count = *answer->number;
      result = answer->result;
    }
  }
  return Finish(call, result, {queue, Int(count)});
}

int32_t RecordingFake::WriteFile(const std::string& file, const std::string& text,
                                 int32_t replace) {
  FakeCall& call = Begin("WriteFile", {file, text, Num(replace)});
  if (NoConnection()) return Finish(call, FailWith(kCodeBadCall, 0, "no current connection"), {});
  std::optional<FakeAnswer> answer = Resolve(call);
  return Finish(call, answer ? ResultOf(*answer) : 1, {});
}

int32_t RecordingFake::DeleteFile(const std::string& file) {
  FakeCall& call = Begin("DeleteFile", {file});
  if (NoConnection()) return Finish(call, FailWith(kCodeBadCall, 0, "no current connection"), {});
  std::optional<FakeAnswer> answer = Resolve(call);
  return Finish(call, answer ? ResultOf(*answer) : 1, {});
}

int32_t RecordingFake::WriteFileWithFullPath(const std::string& path, const std::string& text,
                                             int32_t replace) {
  FakeCall& call = Begin("WriteFileWithFullPath", {path, text, Num(replace)});
  if (NoConnection()) return Finish(call, FailWith(kCodeBadCall, 0, "no current connection"), {});
  std::optional<FakeAnswer> answer = Resolve(call);
  return Finish(call, answer ? ResultOf(*answer) : 1, {});
}

int32_t RecordingFake::DeleteFileWithFullPath(const std::string& path) {
  FakeCall& call = Begin("DeleteFileWithFullPath", {path});
  if (NoConnection()) return Finish(call, FailWith(kCodeBadCall, 0, "no current connection"), {});
  std::optional<FakeAnswer> answer = Resolve(call);
  return Finish(call, answer ? ResultOf(*answer) : 1, {});
}

namespace {
constexpr const char* kNoConnectionText = "no current connection";
}  // namespace

int32_t RecordingFake::GetDSNsAndDrivers(std::string& list, int32_t& len, int32_t first) {
  FakeCall& call = Begin("GetDSNsAndDrivers", {list, Num(len), Num(first)});
  len = 0;
  if (NoConnection()) return Finish(call, FailWith(kCodeBadCall, 0, kNoConnectionText), {list, Int(len)});
  return Finish(call, AnswerText(call, list, &len, std::string(), true), {list, Int(len)});
}

int32_t RecordingFake::FillDB(const std::string& filter, std::string& list, int32_t& len,
                              int32_t first) {
  FakeCall& call = Begin("FillDB", {filter, list, Num(len), Num(first)});
  len = 0;
  if (NoConnection()) return Finish(call, FailWith(kCodeBadCall, 0, kNoConnectionText), {list, Int(len)});
  return Finish(call, AnswerText(call, list, &len, std::string(), true), {list, Int(len)});
}

int32_t RecordingFake::FillTBL(const std::string& database, const std::string& mask,
                               std::string& list, int32_t& len, int32_t first) {
  FakeCall& call = Begin("FillTBL", {database, mask, list, Num(len), Num(first)});
  len = 0;
  if (NoConnection()) return Finish(call, FailWith(kCodeBadCall, 0, kNoConnectionText), {list, Int(len)});
  return Finish(call, AnswerText(call, list, &len, std::string(), true), {list, Int(len)});
}

int32_t RecordingFake::FillColumnsList(const std::string& database, const std::string& table,
                                       const std::string& mask, std::string& list, int32_t& len,
                                       int32_t first) {
  FakeCall& call = Begin("FillColumnsList", {database, table, mask, list, Num(len), Num(first)});
  len = 0;
  if (NoConnection()) return Finish(call, FailWith(kCodeBadCall, 0, kNoConnectionText), {list, Int(len)});
  return Finish(call, AnswerText(call, list, &len, std::string(), true), {list, Int(len)});
}

int32_t RecordingFake::FillColumnsListSource(const std::string& kind, const std::string& table,
                                             std::string& list, int32_t& len, int32_t first) {
  FakeCall& call = Begin("FillColumnsListSource", {kind, table, list, Num(len), Num(first)});
  len = 0;
  if (NoConnection()) return Finish(call, FailWith(kCodeBadCall, 0, kNoConnectionText), {list, Int(len)});
  return Finish(call, AnswerText(call, list, &len, std::string(), true), {list, Int(len)});
}

int32_t RecordingFake::GetPrimaryKey(const std::string& table, std::string& keys, int32_t& len) {
  FakeCall& call = Begin("GetPrimaryKey", {table, keys, Num(len)});
  len = 0;
  if (NoConnection()) return Finish(call, FailWith(kCodeBadCall, 0, kNoConnectionText), {keys, Int(len)});
  return Finish(call, AnswerText(call, keys, &len, std::string(), true), {keys, Int(len)});
}

int32_t RecordingFake::TableNTExist(const std::string& table) {
  FakeCall& call = Begin("TableNTExist", {table});
  if (NoConnection()) return Finish(call, FailWith(kCodeBadCall, 0, kNoConnectionText), {});
  std::optional<FakeAnswer> answer = Resolve(call);
  return Finish(call, answer ? ResultOf(*answer) : NotFoundResult(), {});
}

int32_t RecordingFake::CreateTable(const std::string& table, const std::string& definition) {
  FakeCall& call = Begin("CreateTable", {table, definition});
  if (NoConnection()) return Finish(call, FailWith(kCodeBadCall, 0, kNoConnectionText), {});
  std::optional<FakeAnswer> answer = Resolve(call);
  return Finish(call, answer ? ResultOf(*answer) : 1, {});
}

int32_t RecordingFake::BuildReceiverListNT(const std::string& journal, const std::string& library,
                                           std::string& list, int32_t& len, int32_t first) {
  FakeCall& call = Begin("BuildReceiverListNT", {journal, library, list, Num(len), Num(first)});
  len = 0;
  if (NoConnection()) return Finish(call, FailWith(kCodeBadCall, 0, kNoConnectionText), {list, Int(len)});
  return Finish(call, AnswerText(call, list, &len, std::string(), true), {list, Int(len)});
}

}  // namespace qv::test
