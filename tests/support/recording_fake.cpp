// Recording and scripted DllParam for tests.
#include "support/recording_fake.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "dllparam/trace/trace.h"
#include "store/records.h"

namespace qv::test {
namespace {

using dllparam::PutInBuffer;

std::string Int(int32_t value) { return std::to_string(value); }

// Drops the trailing blanks and underscores that pad a command code.
std::string BareCode(std::string code) {
  while (!code.empty() && (code.back() == ' ' || code.back() == '_')) code.pop_back();
  return code;
}

// Shows a text argument: quoted; beyond 40 bytes, trailing blanks counted and
// long texts cut.
std::string Show(const std::string& text) {
  if (text.size() <= 40) return QuoteText(text);
  const std::size_t core = text.find_last_not_of(' ') + 1;  // 0 when all blank
  constexpr std::size_t kShown = 160;
  if (core > kShown)
    return QuoteText(std::string_view(text).substr(0, kShown)) + "...(" + Int(static_cast<int32_t>(text.size())) +
           " bytes)";
  std::string out = QuoteText(std::string_view(text).substr(0, core));
  if (core < text.size()) out += "+" + Int(static_cast<int32_t>(text.size() - core)) + " blanks";
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
  int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() ? value : 0;
}

std::string FakeCall::ToString() const {
  std::string out = op + "(";
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i > 0) out += ", ";
    out += i < numeric.size() && numeric[i] ? args[i] : Show(args[i]);
  }
  return out + ") -> " + Int(result);
}

void PrintTo(const FakeCall& call, std::ostream* out) { *out << call.ToString(); }

std::string FakeCommand::Request() const {
  std::string text(dllparam::CutAtNul(data));
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
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

FakeRule& FakeRule::Answer(FakeAnswer answer) { return Push([answer](const FakeCall&) { return answer; }); }

FakeRule& FakeRule::Return(int32_t result) {
  if (result == 0) return Fail(DllParam::kCodeRefused, 0, "refused by the script");
  return Answer(FakeAnswer{.result = result});
}

FakeRule& FakeRule::Out(std::string text) { return Answer(FakeAnswer::Ok(std::move(text))); }

FakeRule& FakeRule::Outs(std::vector<std::string> texts) { return Answer(FakeAnswer{.outs = std::move(texts)}); }

FakeRule& FakeRule::Rows(std::vector<std::string> rows) { return Answer(FakeAnswer{.set = std::move(rows)}); }

FakeRule& FakeRule::NotFound() { return Fail(DllParam::kCodeNotFound, 0, "not found"); }

FakeRule& FakeRule::Fail(int32_t code, int32_t num, std::string text) {
  return Answer(FakeAnswer{.result = 0, .errorCode = code, .errorNum = num, .errorText = std::move(text)});
}

FakeRule& FakeRule::Compute(std::function<FakeAnswer(const FakeCall&)> compute) { return Push(std::move(compute)); }

FakeRule& FakeRule::Repeatedly() {
  repeat_ = true;
  return *this;
}

bool FakeRule::Matches(const FakeCall& call) const {
  if (op_ != "*" && op_ != call.op) return false;
  if (file_ && call.file != *file_) return false;
  if (key_ && call.key != *key_) return false;
  if (sql_ || sqlPrefix_ || sqlRegex_) {
    if (call.op != "Sread" && call.op != "Sreadblock" && call.op != "Saction") return false;
    if (sql_ && call.sql != *sql_) return false;
    if (sqlPrefix_ && call.sql.rfind(*sqlPrefix_, 0) != 0) return false;
    if (sqlRegex_ && !std::regex_search(call.sql, *sqlRegex_)) return false;
  }
  if (code_ || dataPrefix_) {
    if (call.op != "Execute") return false;
    if (code_ && BareCode(call.Arg(0)) != *code_) return false;
    if (dataPrefix_ && call.Arg(2).rfind(*dataPrefix_, 0) != 0) return false;
  }
  for (const auto& [index, value] : args_)
    if (index >= call.args.size() || call.args[index] != value) return false;
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

  void ClearSet() { Bind({}, {}, 0); }
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

std::vector<FakeCall> RecordingFake::CallsNamed(const std::string& op) const {
  std::vector<FakeCall> out;
  for (const FakeCall& call : calls_)
    if (call.op == op) out.push_back(call);
  return out;
}

std::vector<std::string> RecordingFake::Statements() const {
  std::vector<std::string> out;
  for (const FakeCall& call : calls_)
    if (call.op == "Saction" || call.op == "Sread" || (call.op == "Sreadblock" && call.Arg(4) == kFirstBlock))
      out.push_back(call.sql);
  return out;
}

std::vector<FakeCommand> RecordingFake::Commands() const {
  std::vector<FakeCommand> out;
  for (const FakeCall& call : CallsNamed("Execute")) out.push_back({call.Arg(0), call.Arg(1), call.Arg(2)});
  return out;
}

std::vector<std::string> RecordingFake::CommandCodes() const {
  std::vector<std::string> out;
  for (const FakeCommand& command : Commands()) out.push_back(command.code);
  return out;
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
  const int32_t result = Refused(call) ? 0 : Answer(call);
  Now().result = result;
  return result;
}

bool RecordingFake::Refused(const DllParamCall& call) {
  const DllParamOp op = call.op();
  if (op == DllParamOp::OpenMConnection || op == DllParamOp::SwitchMConnection ||
      op == DllParamOp::CloseMConnection)
    return false;
  for (std::size_t i = 0; i < call.size(); ++i)
    if (call.kind(i) == dllparam::ArgKind::NumberOut) call.Number(i) = 0;
  if (op != DllParamOp::Rclose && strict_ && connections_.count(current_) == 0) {
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
#define QV_ANSWER(Name) \
  case DllParamOp::Name: return call.Apply(*this, &RecordingFake::Answer##Name)
  switch (call.op()) {
    QV_ANSWER(GetLastError);
    QV_ANSWER(OpenMConnection);
    QV_ANSWER(SwitchMConnection);
    QV_ANSWER(CloseMConnection);
    QV_ANSWER(Ropen);
    QV_ANSWER(Rreadk);
    QV_ANSWER(Sread);
    QV_ANSWER(Snext);
    QV_ANSWER(Sreadblock);
    QV_ANSWER(ConnectDSN);
    QV_ANSWER(Execute);
    case DllParamOp::Rreadf: return ReadNext(call, nullptr);
    case DllParamOp::Rreadn: return ReadNext(call, "seq");
    case DllParamOp::Rreadblock: return ReadBlock(call, true);
    case DllParamOp::RreadblockD: return ReadBlock(call, false);
    case DllParamOp::Rupdate: return Change(call.Number(0), &call.Text(1), call.Number(2), true);
    case DllParamOp::Rwrite: return Change(call.Number(0), &call.Text(1), call.Number(2), false);
    case DllParamOp::Rdelete: return Change(call.Number(0), nullptr, 0, true);
    case DllParamOp::Rclose: {
      const int32_t result = ResultOr(1);
      if (result) handles_.erase(call.Number(0));
      return result;
    }
    default: return AnswerPlain(call);
  }
#undef QV_ANSWER
}

void RecordingFake::Begin(const DllParamCall& in) {
  FakeCall call;
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
      if (in.kind(i) != dllparam::ArgKind::Handle && in.kind(i) != dllparam::ArgKind::HandleInOut) continue;
      if (const OpenHandle* handle = FindHandle(in.Number(i))) call.file = handle->file;
      break;
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
  for (auto rule = rules_.rbegin(); rule != rules_.rend(); ++rule)
    if ((*rule)->HasAnswer() && (*rule)->Matches(call)) return (*rule)->Take(call);
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

RecordingFake::OpenHandle* RecordingFake::FindHandle(int32_t h) {
  auto found = handles_.find(h);
  return found == handles_.end() ? nullptr : found->second.get();
}

int32_t RecordingFake::OnConnection(int32_t hConn) {
  if (strict_ && connections_.count(hConn) == 0)
    return FailWith(kCodeBadCall, 0, "connection " + Int(hConn) + " is not open");
  return ResultOr(1);
}

RecordingFake::OpenHandle* RecordingFake::Statement(int32_t& hStmt) {
  if (hStmt < 0) hStmt = NewHandle(kStatementFile, false);
  OpenHandle* handle = FindHandle(hStmt);
  if (strict_ && handle == nullptr) FailWith(kCodeBadCall, 0, "statement handle " + Int(hStmt) + " is not open");
  return handle;
}

int32_t RecordingFake::NewHandle(std::string file, bool update) {
  const int32_t h = nextHandle_++;
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

// Answers Rreadf and Rreadn: reads a record in arrival order (continuing:
// see ReadOne).
int32_t RecordingFake::ReadNext(const DllParamCall& call, const char* continuing) {
  OpenHandle* handle = FindHandle(call.Number(0));
  if (handle) handle->locked = false;
  return ReadOne(Now(), handle, call.Buffer(1), call.Number(2), continuing);
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
    if (handle && (call.op == "Rreadf" || call.op == "Rreadn" || call.op == "Sread"))
      handle->Bind(call.op == "Sread" ? "rows" : "seq", *answer->set, 1);
    return 1;
  }
  if (answer->out) len = PutInBuffer(rec, *answer->out);
  return answer->result;
}

int32_t RecordingFake::ReadBlock(const DllParamCall& in, bool byKey) {
  const FakeCall& call = Now();
  OpenHandle* handle = FindHandle(in.Number(0));
  std::string& buf = in.Buffer(1);
  int32_t& count = in.Number(2);
  const int32_t recLen = in.Number(3);
  const std::string* key = byKey ? &call.key : nullptr;
  if (recLen <= 0 || static_cast<std::size_t>(recLen) > buf.size())
    return FailWith(kCodeBadCall, 0, "record length " + Int(recLen) + " does not fit the buffer");
  if (strict_ && byKey && in.Number(5) > static_cast<int32_t>(in.Text(4).size()))
    return FailWith(kCodeBadCall, 0, "key shorter than keyLen");
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
        count = static_cast<int32_t>(answer->out->size() / static_cast<std::size_t>(recLen));
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
  for (; static_cast<std::size_t>(placed) < capacity && handle->next < handle->set.size(); ++placed)
    block += FitText(handle->set[handle->next++], static_cast<std::size_t>(recLen));
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

int32_t RecordingFake::AnswerOpenMConnection(const std::string& /*address*/, std::string& /*serverVersion*/,
                                             std::string& /*serverJob*/, int32_t& hConn) {
  const int32_t result = ResultOr(1);
  if (!result) return 0;
  hConn = nextConnection_++;
  connections_.insert(hConn);
  current_ = hConn;
  return result;
}

int32_t RecordingFake::AnswerSwitchMConnection(int32_t hConn) {
  const int32_t result = OnConnection(hConn);
  if (result) current_ = hConn;
  return result;
}

int32_t RecordingFake::AnswerCloseMConnection(int32_t hConn) {
  const int32_t result = OnConnection(hConn);
  if (result) {
    connections_.erase(hConn);
    std::erase_if(handles_, [&](const auto& entry) { return entry.second->connection == hConn; });
    if (current_ == hConn) current_ = 0;
  }
  return result;
}

int32_t RecordingFake::AnswerRopen(const std::string& file, const std::string& mode, int32_t& h) {
  const int32_t result = ResultOr(1);
  if (result) h = NewHandle(file, mode.rfind("rr+", 0) == 0);
  return result;
}

int32_t RecordingFake::AnswerRreadk(int32_t h, std::string& rec, int32_t& len, int32_t opts,
                                    const std::string& key, int32_t keyLen) {
  if (strict_ && keyLen > static_cast<int32_t>(key.size()))
    return FailWith(kCodeBadCall, 0, "key shorter than keyLen");
  OpenHandle* handle = FindHandle(h);
  if (handle) handle->locked = false;
  const int32_t result = ReadOne(Now(), handle, rec, len, nullptr);
  if (result && handle && opts == kKeyEqualLocked) handle->locked = true;
  return result;
}

int32_t RecordingFake::AnswerSread(int32_t& hStmt, std::string& buf, int32_t& len,
                                   const std::string& /*sql*/, int32_t /*option*/) {
  OpenHandle* handle = Statement(hStmt);
  if (strict_ && handle == nullptr) return 0;
  return ReadOne(Now(), handle, buf, len, nullptr);
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
  if (strict_ && !isFirst && first != kNextBlock) return FailWith(kCodeBadCall, 0, "first must be \"1\" or \"0\"");
  const char* const noFirst = "Sreadblock \"0\" without a first call";
  if (strict_ && !isFirst && hStmt < 0) return FailWith(kCodeBadCall, 0, noFirst);
  OpenHandle* handle = Statement(hStmt);
  if (strict_ && handle == nullptr) return 0;
  if (strict_ && !isFirst && !handle->blockStarted) return FailWith(kCodeBadCall, 0, noFirst);
  if (isFirst && handle) handle->blockStarted = true;
  return ReadRows(Now(), handle, buf, len, flag, isFirst);
}

int32_t RecordingFake::AnswerConnectDSN(const std::string& connect, const std::string& /*user*/,
                                        const std::string& /*password*/, std::string& out) {
  std::optional<FakeAnswer> answer = Resolve(Now());
  if (!answer) {
    PutInBuffer(out, connect);
    return 1;
  }
  if (Failed(*answer)) {
    // A refused login leaves the database's message in out.
    PutInBuffer(out, answer->out ? *answer->out : answer->errorText);
    return ResultOf(*answer);
  }
  if (answer->out) PutInBuffer(out, *answer->out);
  return answer->result;
}

int32_t RecordingFake::AnswerExecute(std::string& code, std::string& ctl, std::string& data) {
  const bool ctlIsNumber = ctl.size() == static_cast<std::size_t>(kControlWidth) &&
                           std::all_of(ctl.begin(), ctl.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (strict_ && code.size() != static_cast<std::size_t>(kCommandCodeWidth))
    return FailWith(kCodeBadCall, 0, "command code \"" + code + "\" is not 10 characters");
  if (strict_ && !ctlIsNumber) return FailWith(kCodeBadCall, 0, "control area \"" + ctl + "\" is not 10 digits");
  if (strict_ && data.size() < std::stoul(ctl))
    return FailWith(kCodeBadCall, 0,
                    "data of " + Int(static_cast<int32_t>(data.size())) + " bytes is shorter than the control area " + ctl);
  const std::size_t area = ctlIsNumber ? std::min<std::size_t>(data.size(), std::stoul(ctl)) : data.size();
  auto reply = [&](const std::string& text) {
    std::string areaText = data.substr(0, area);
    PutInBuffer(areaText, text);
    data.replace(0, area, areaText);
  };
  std::optional<FakeAnswer> answer = Resolve(Now());
  if (!answer) {
    reply("00000");
    return 1;
  }
  if (Failed(*answer)) return ResultOf(*answer);
  if (answer->out) reply(*answer->out);
  return answer->result;
}

// Answers an operation whose answer is its result and, when it has buffers,
// the answer's text in the first (its length in its length argument) or its
// texts in each, and the answer's number in its count; without a rule, the
// defaults of the header.
int32_t RecordingFake::AnswerPlain(const DllParamCall& call) {
  std::vector<std::string*> buffers;
  int32_t* len = nullptr;
  int32_t* count = nullptr;
  for (std::size_t i = 0; i < call.size(); ++i) {
    const dllparam::ArgKind kind = call.kind(i);
    if (kind == dllparam::ArgKind::Buffer || kind == dllparam::ArgKind::BufferInOut)
      buffers.push_back(&call.Buffer(i));
    if (kind == dllparam::ArgKind::NumberOut) len = &call.Number(i);
    if (kind == dllparam::ArgKind::NumberInOut) count = &call.Number(i);
  }
  auto put = [&](const std::string& text) {
    const int32_t n = PutInBuffer(*buffers.front(), text);
    if (len) *len = n;
  };
  std::optional<FakeAnswer> answer = Resolve(Now());
  if (!answer) {
    switch (call.op()) {
      case DllParamOp::GetConfigStringWithoutDefVal:
      case DllParamOp::TableNTExist: return NotFoundResult();
      case DllParamOp::GetComputerName: put("FAKEHOST"); break;
      case DllParamOp::SJobList: put("00000"); break;
      case DllParamOp::ReadQVMSGQ: put("0000000000"); break;
      default:
        if (!buffers.empty() && len) put("");  // an empty list
    }
    return 1;
  }
  if (Failed(*answer)) return ResultOf(*answer);
  if (!buffers.empty() && answer->out) put(*answer->out);
  for (std::size_t i = 0; i < answer->outs.size() && i < buffers.size(); ++i)
    PutInBuffer(*buffers[i], answer->outs[i]);
  if (count && answer->number) *count = *answer->number;
  return answer->result;
}

}  // namespace qv::test
