// Recording and scripted DllParam for tests.
#include "support/recording_fake.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <utility>

#include "dllparam/trace/trace.h"

namespace qv::test {
namespace {

using dllparam::PutInBuffer;

std::string Int(int32_t value) { return std::to_string(value); }

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

// Shows a text argument: quoted; beyond 40 bytes, trailing blanks counted and
// long texts cut.
std::string Show(const std::string& text) {
  if (text.size() <= 40) return QuoteText(text);
  std::size_t end = text.find_last_not_of(' ');
  std::size_t core = end == std::string::npos ? 0 : end + 1;
  std::size_t blanks = text.size() - core;
  constexpr std::size_t kShown = 160;
  std::string out;
  if (core > kShown) {
    out = QuoteText(std::string_view(text).substr(0, kShown)) + "...(" + Int(static_cast<int32_t>(text.size())) + " bytes)";
  } else {
    out = QuoteText(std::string_view(text).substr(0, core));
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
FakeRule& FakeRule::Arg(std::size_t index, std::string value) {
  args_.emplace_back(index, std::move(value));
  return *this;
}

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

FakeRule& FakeRule::Rows(std::vector<std::string> rows) {
  FakeAnswer answer;
  answer.set = std::move(rows);
  return Answer(answer);
}

FakeRule& FakeRule::Records(std::vector<std::string> records) { return Rows(std::move(records)); }

FakeRule& FakeRule::NotFound() { return Fail(DllParam::kCodeNotFound, 0, "not found"); }

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

bool FakeRule::Matches(const FakeCall& call) const {
  if (op_ != "*" && op_ != call.op) return false;
  if (file_ && call.file != *file_) return false;
  if (key_ && call.key != *key_) return false;
  if (sql_ || sqlPrefix_ || sqlRegex_) {
    if (!IsSqlOp(call.op)) return false;
    if (sql_ && call.sql != *sql_) return false;
    if (sqlPrefix_ && call.sql.rfind(*sqlPrefix_, 0) != 0) return false;
    if (sqlRegex_ && !std::regex_search(call.sql, *sqlRegex_)) return false;
  }
  if (code_ || dataPrefix_) {
    if (call.op != "Execute") return false;
    if (code_ && BareCode(call.Arg(0)) != *code_) return false;
    if (dataPrefix_ && call.Arg(2).rfind(*dataPrefix_, 0) != 0) return false;
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

void RecordingFake::ClearCalls() {
  calls_.clear();
}

std::map<int32_t, std::string> RecordingFake::OpenFiles() const {
  std::map<int32_t, std::string> out;
  for (const auto& [h, handle] : handles_) out[h] = handle->file;
  return out;
}

// ---- RecordingFake: helpers -------------------------------------------------

// Records every call but GetLastError, which only counts, around its answer.
int32_t RecordingFake::Perform(const DllParamCall& call) {
  if (call.op() == DllParamOp::GetLastError) return Answer(call);
  Begin(call);
  const std::size_t at = calls_.size() - 1;
  const int32_t result = Refused(call) ? 0 : Answer(call);
  FakeCall& recorded = calls_[at];
  recorded.result = result;
  for (std::size_t i = 0; i < call.size(); ++i) {
    if (!dllparam::IsWritten(call.kind(i))) continue;
    recorded.outs.push_back(dllparam::IsNumeric(call.kind(i)) ? Int(call.Number(i)) : call.Text(i));
  }
  return result;
}

bool RecordingFake::Refused(const DllParamCall& call) {
  const DllParamOp op = call.op();
  if (op == DllParamOp::OpenMConnection || op == DllParamOp::SwitchMConnection ||
      op == DllParamOp::CloseMConnection)
    return false;
  for (std::size_t i = 0; i < call.size(); ++i)
    if (call.kind(i) == dllparam::ArgKind::NumberOut) call.Number(i) = 0;
  if (op != DllParamOp::Rclose && NoConnection()) {
    FailWith(kCodeBadCall, 0, "no current connection");
    return true;
  }
  for (std::size_t i = 0; i < call.size(); ++i) {
    if (call.kind(i) != dllparam::ArgKind::Handle) continue;
    if (strict_ && FindHandle(call.Number(i)) == nullptr) {
      FailWith(kCodeBadCall, 0, "file handle " + Int(call.Number(i)) + " is not open");
      return true;
    }
    break;
  }
  return false;
}

int32_t RecordingFake::Answer(const DllParamCall& call) {
  switch (call.op()) {
#define DLLPARAM_OP(Name, Code, Params, Args) \
  case DllParamOp::Name: return call.Apply(*this, &RecordingFake::Answer##Name);
#include "connection/dllparam_ops.def"
  }
  return 0;
}

void RecordingFake::Begin(const DllParamCall& in) {
  FakeCall call;
  call.index = static_cast<int>(calls_.size()) + 1;
  call.op = in.name();
  for (std::size_t i = 0; i < in.size(); ++i) {
    const bool number = dllparam::IsNumeric(in.kind(i));
    call.args.push_back(number ? Int(in.Number(i)) : in.Text(i));
    call.numeric.push_back(number);
  }
  // The file of the handle used; Ropen: the file opened.
  if (in.op() == DllParamOp::Ropen) {
    call.file = in.Text(*in.Find("file"));
  } else {
    for (std::size_t i = 0; i < in.size(); ++i) {
      if (in.kind(i) == dllparam::ArgKind::Handle || in.kind(i) == dllparam::ArgKind::HandleInOut) {
        call.file = FileOf(in.Number(i));
        break;
      }
    }
  }
  if (const auto sql = in.Find("sql")) call.sql = in.Text(*sql);
  const auto key = in.Find("key");
  const auto keyLen = in.Find("keyLen");
  if (key && keyLen)
    call.key = in.Text(*key).substr(0, static_cast<std::size_t>(std::max(in.Number(*keyLen), 0)));
  calls_.push_back(std::move(call));
  errorCode_ = kCodeNone;
  errorNum_ = 0;
  errorText_.clear();
}

std::optional<FakeAnswer> RecordingFake::Resolve(const FakeCall& call) {
  for (auto rule = rules_.rbegin(); rule != rules_.rend(); ++rule) {
    if ((*rule)->HasAnswer() && (*rule)->Matches(call)) return (*rule)->Take(call);
  }
  return std::nullopt;
}

int32_t RecordingFake::FailWith(int32_t code, int32_t num, std::string text) {
  errorCode_ = code;
  errorNum_ = num;
  errorText_ = std::move(text);
  return 0;
}

int32_t RecordingFake::NotFoundResult() { return FailWith(kCodeNotFound, 0, "not found"); }

int32_t RecordingFake::ResultOr(int32_t byDefault) {
  std::optional<FakeAnswer> answer = Resolve(Now());
  return answer ? ResultOf(*answer) : byDefault;
}

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

int32_t RecordingFake::Change(int32_t h, const std::string* rec, int32_t len, bool locked) {
  OpenHandle* handle = FindHandle(h);
  if (strict_ && rec && (len < 0 || static_cast<std::size_t>(len) > rec->size()))
    return FailWith(kCodeBadCall, 0, "record length " + Int(len) + " longer than the record");
  if (strict_ && !handle->update) return FailWith(kCodeRefused, 0, "file " + handle->file + " is open read-only");
  if (strict_ && locked && !handle->locked) return FailWith(kCodeBadCall, 0, "no record locked on handle " + Int(h));
  const int32_t result = ResultOr(1);
  if (handle && locked) handle->locked = false;
  return result;
}

int32_t RecordingFake::AnswerText(const FakeCall& call, std::string& buffer, int32_t* len,
                                  std::optional<std::string> fallback, bool foundByDefault, int32_t* number) {
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
  if (number && answer->number) *number = *answer->number;
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

int32_t RecordingFake::ReadBlock(const FakeCall& call, OpenHandle* handle, std::string& buf, int32_t& count,
                                 int32_t recLen, const std::string* key, bool keyTooShort) {
  if (recLen <= 0 || static_cast<std::size_t>(recLen) > buf.size())
    return FailWith(kCodeBadCall, 0, "record length " + Int(recLen) + " does not fit the buffer");
  if (strict_ && keyTooShort) return FailWith(kCodeBadCall, 0, "key shorter than keyLen");
  if (handle) handle->locked = false;
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

int32_t RecordingFake::AnswerGetLastError(int32_t& code, int32_t& errNum, std::string& text) {
  ++errorQueries_;
  code = errorCode_;
  errNum = errorNum_;
  PutInBuffer(text, std::string_view(errorText_).substr(0, kErrorTextMax));
  return 1;
}

int32_t RecordingFake::AnswerOpenMConnection(const std::string& /*address*/, std::string& serverVersion,
                                             std::string& serverJob, int32_t& hConn) {
  const FakeCall& call = Now();
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
  return result;
}

int32_t RecordingFake::AnswerSwitchMConnection(int32_t hConn) {
  const FakeCall& call = Now();
  if (strict_ && connections_.count(hConn) == 0) {
    return FailWith(kCodeBadCall, 0, "connection " + Int(hConn) + " is not open");
  }
  std::optional<FakeAnswer> answer = Resolve(call);
  int32_t result = answer ? ResultOf(*answer) : 1;
  if (result) current_ = hConn;
  return result;
}

int32_t RecordingFake::AnswerCloseMConnection(int32_t hConn) {
  const FakeCall& call = Now();
  if (strict_ && connections_.count(hConn) == 0) {
    return FailWith(kCodeBadCall, 0, "connection " + Int(hConn) + " is not open");
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
  return result;
}

int32_t RecordingFake::AnswerPingPong() {
  return ResultOr(1);
}

int32_t RecordingFake::AnswerRopen(const std::string& file, const std::string& mode, int32_t& h) {
  const FakeCall& call = Now();
  std::optional<FakeAnswer> answer = Resolve(call);
  int32_t result = 1;
  if (answer && Failed(*answer)) {
    result = ResultOf(*answer);
  } else {
    if (answer) result = answer->result;
    h = NewHandle(file, mode.rfind("rr+", 0) == 0, answer ? answer->handle : std::nullopt);
  }
  return result;
}

int32_t RecordingFake::AnswerRreadk(int32_t h, std::string& rec, int32_t& len, int32_t opts,
                                    const std::string& key, int32_t keyLen) {
  const FakeCall& call = Now();
  OpenHandle* handle = FindHandle(h);
  int32_t result;
  if (strict_ && keyLen > static_cast<int32_t>(key.size())) {
    result = FailWith(kCodeBadCall, 0, "key shorter than keyLen");
  } else {
    if (handle) handle->locked = false;
    result = ReadOne(call, handle, rec, len, nullptr);
    if (result && handle && opts == kKeyEqualLocked) handle->locked = true;
  }
  return result;
}

int32_t RecordingFake::AnswerRreadf(int32_t h, std::string& rec, int32_t& len, int32_t /*opts*/) {
  OpenHandle* handle = FindHandle(h);
  if (handle) handle->locked = false;
  return ReadOne(Now(), handle, rec, len, nullptr);
}

int32_t RecordingFake::AnswerRreadn(int32_t h, std::string& rec, int32_t& len, int32_t /*opts*/) {
  OpenHandle* handle = FindHandle(h);
  if (handle) handle->locked = false;
  return ReadOne(Now(), handle, rec, len, "seq");
}

int32_t RecordingFake::AnswerRreadblock(int32_t h, std::string& buf, int32_t& count, int32_t recLen,
                                        const std::string& key, int32_t keyLen) {
  const FakeCall& call = Now();
  return ReadBlock(call, FindHandle(h), buf, count, recLen, &call.key, keyLen > static_cast<int32_t>(key.size()));
}

int32_t RecordingFake::AnswerRreadblockD(int32_t h, std::string& buf, int32_t& count, int32_t recLen) {
  return ReadBlock(Now(), FindHandle(h), buf, count, recLen, nullptr, false);
}

int32_t RecordingFake::AnswerRupdate(int32_t h, const std::string& rec, int32_t len) {
  return Change(h, &rec, len, true);
}

int32_t RecordingFake::AnswerRwrite(int32_t h, const std::string& rec, int32_t len) {
  return Change(h, &rec, len, false);
}

int32_t RecordingFake::AnswerRdelete(int32_t h) { return Change(h, nullptr, 0, true); }

int32_t RecordingFake::AnswerRclose(int32_t h) {
  const int32_t result = ResultOr(1);
  if (result) handles_.erase(h);
  return result;
}

int32_t RecordingFake::AnswerSread(int32_t& hStmt, std::string& buf, int32_t& len,
                                   const std::string& /*sql*/, int32_t /*option*/) {
  const FakeCall& call = Now();
  int32_t result;
  OpenHandle* handle = hStmt >= 0 ? FindHandle(hStmt) : nullptr;
  if (hStmt >= 0 && strict_ && handle == nullptr) {
    result = FailWith(kCodeBadCall, 0, "statement handle " + Int(hStmt) + " is not open");
  } else {
    if (hStmt < 0) {
      hStmt = NewHandle(kStatementFile, false, std::nullopt);
      handle = FindHandle(hStmt);
    }
    result = ReadOne(call, handle, buf, len, nullptr);
  }
  return result;
}

int32_t RecordingFake::AnswerSnext(int32_t& hStmt, std::string& rec, int32_t& len, int32_t& flag) {
  OpenHandle* handle = FindHandle(hStmt);
  if (strict_ && handle == nullptr)
    return FailWith(kCodeBadCall, 0, "statement handle " + Int(hStmt) + " is not open");
  const int32_t result = ReadOne(Now(), handle, rec, len, "rows");
  if (result) flag = 1;
  return result;
}

int32_t RecordingFake::AnswerSreadblock(int32_t& hStmt, std::string& buf, int32_t& len,
                                        const std::string& /*sql*/, const std::string& first,
                                        int32_t& flag) {
  const bool isFirst = first == kFirstBlock;
  OpenHandle* handle = hStmt >= 0 ? FindHandle(hStmt) : nullptr;
  if (strict_ && !isFirst && first != kNextBlock) return FailWith(kCodeBadCall, 0, "first must be \"1\" or \"0\"");
  if (hStmt >= 0 && strict_ && handle == nullptr)
    return FailWith(kCodeBadCall, 0, "statement handle " + Int(hStmt) + " is not open");
  if (!isFirst && strict_ && (handle == nullptr || !handle->blockStarted))
    return FailWith(kCodeBadCall, 0, "Sreadblock \"0\" without a first call");
  if (hStmt < 0) {
    hStmt = NewHandle(kStatementFile, false, std::nullopt);
    handle = FindHandle(hStmt);
  }
  if (isFirst && handle) handle->blockStarted = true;
  return ReadRows(Now(), handle, buf, len, flag, isFirst);
}

int32_t RecordingFake::AnswerSaction(const std::string& /*sql*/) {
  return ResultOr(1);
}

int32_t RecordingFake::AnswerSetConnectOption(int32_t /*option*/) {
  return ResultOr(1);
}

int32_t RecordingFake::AnswerConnectDSN(const std::string& connect, const std::string& /*user*/,
                                        const std::string& /*password*/, std::string& out) {
  const FakeCall& call = Now();
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
  return result;
}

int32_t RecordingFake::AnswerCloseConnectionDSN(const std::string& /*connect*/, std::string& out) {
  return AnswerText(Now(), out, nullptr, std::nullopt, true);
}

int32_t RecordingFake::AnswerGetConfigStringWithoutDefVal(const std::string& /*section*/,
                                                          const std::string& /*key*/, std::string& value,
                                                          int32_t& len) {
  return AnswerText(Now(), value, &len, std::nullopt, false);
}

int32_t RecordingFake::AnswerGetDBParamKeys(std::string& connect, std::string& driver, std::string& user,
                                            std::string& password, std::string& database) {
  std::optional<FakeAnswer> answer = Resolve(Now());
  if (!answer) return 1;
  if (Failed(*answer)) return ResultOf(*answer);
  std::string* slots[] = {&connect, &driver, &user, &password, &database};
  for (std::size_t i = 0; i < answer->outs.size() && i < 5; ++i) PutInBuffer(*slots[i], answer->outs[i]);
  if (answer->out) PutInBuffer(connect, *answer->out);
  return answer->result;
}

int32_t RecordingFake::AnswerGetComputerName(std::string& name) {
  return AnswerText(Now(), name, nullptr, std::string("FAKEHOST"), true);
}

int32_t RecordingFake::AnswerExecute(std::string& code, std::string& ctl, std::string& data) {
  const FakeCall& call = Now();
  std::size_t area = data.size();
  const bool ctlIsNumber = ctl.size() == static_cast<std::size_t>(kControlWidth) &&
                           std::all_of(ctl.begin(), ctl.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (ctlIsNumber) area = std::min<std::size_t>(area, std::stoul(ctl));
  int32_t result;
  if (strict_ && code.size() != static_cast<std::size_t>(kCommandCodeWidth)) {
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
  return result;
}

int32_t RecordingFake::AnswerStrReplication(const std::string& /*name*/, const std::string& /*kind*/,
                                            const std::string& /*instance*/) {
  return ResultOr(1);
}

int32_t RecordingFake::AnswerSJobList(const std::string& /*job*/, std::string& answer,
                                      const std::string& /*kind*/) {
  return AnswerText(Now(), answer, nullptr, std::string("00000"), true);
}

int32_t RecordingFake::AnswerActivity(std::string& name, const std::string& /*request*/) {
  return AnswerText(Now(), name, nullptr, std::nullopt, true);
}

int32_t RecordingFake::AnswerReadQVMSGQ(std::string& queue, int32_t& count, const std::string& /*kind*/) {
  return AnswerText(Now(), queue, nullptr, std::string("0000000000"), true, &count);
}

int32_t RecordingFake::AnswerWriteFile(const std::string& /*file*/, const std::string& /*text*/,
                                       int32_t /*replace*/) {
  return ResultOr(1);
}

int32_t RecordingFake::AnswerDeleteFile(const std::string& /*file*/) {
  return ResultOr(1);
}

int32_t RecordingFake::AnswerWriteFileWithFullPath(const std::string& /*path*/, const std::string& /*text*/,
                                                   int32_t /*replace*/) {
  return ResultOr(1);
}

int32_t RecordingFake::AnswerDeleteFileWithFullPath(const std::string& /*path*/) {
  return ResultOr(1);
}

int32_t RecordingFake::AnswerGetDSNsAndDrivers(std::string& list, int32_t& len, int32_t /*first*/) {
  return AnswerText(Now(), list, &len, std::string(), true);
}

int32_t RecordingFake::AnswerFillDB(const std::string& /*filter*/, std::string& list, int32_t& len,
                                    int32_t /*first*/) {
  return AnswerText(Now(), list, &len, std::string(), true);
}

int32_t RecordingFake::AnswerFillTBL(const std::string& /*database*/, const std::string& /*mask*/,
                                     std::string& list, int32_t& len, int32_t /*first*/) {
  return AnswerText(Now(), list, &len, std::string(), true);
}

int32_t RecordingFake::AnswerFillColumnsList(const std::string& /*database*/, const std::string& /*table*/,
                                             const std::string& /*mask*/, std::string& list, int32_t& len,
                                             int32_t /*first*/) {
  return AnswerText(Now(), list, &len, std::string(), true);
}

int32_t RecordingFake::AnswerFillColumnsListSource(const std::string& /*kind*/, const std::string& /*table*/,
                                                   std::string& list, int32_t& len, int32_t /*first*/) {
  return AnswerText(Now(), list, &len, std::string(), true);
}

int32_t RecordingFake::AnswerGetPrimaryKey(const std::string& /*table*/, std::string& keys, int32_t& len) {
  return AnswerText(Now(), keys, &len, std::string(), true);
}

int32_t RecordingFake::AnswerTableNTExist(const std::string& /*table*/) {
  std::optional<FakeAnswer> answer = Resolve(Now());
  return answer ? ResultOf(*answer) : NotFoundResult();
}

int32_t RecordingFake::AnswerCreateTable(const std::string& /*table*/, const std::string& /*definition*/) {
  return ResultOr(1);
}

int32_t RecordingFake::AnswerBuildReceiverListNT(const std::string& /*journal*/,
                                                 const std::string& /*library*/, std::string& list,
                                                 int32_t& len, int32_t /*first*/) {
  return AnswerText(Now(), list, &len, std::string(), true);
}

}  // namespace qv::test
