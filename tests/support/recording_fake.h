// A DllParam for tests: records every call with its arguments and answers
// from a script, so a test can check the exact statements, commands and
// record images the control sends and steer what it gets back.
//
//   RecordingFake fake;
//   fake.On("Execute").Code("SYSLSTOBJ_").Reply("00020LIB1      ...").Reply("00000");
//   fake.On("Sread").Sql("SELECT * FROM QV_VER ").Row("1V1R0      1");
//   fake.On("Sreadblock").SqlPrefix("SELECT * FROM QV_USRDATA..QV_FX").Rows({fx1, fx2});
//   fake.On("Rreadk").File("QV_USRDATA/QV_EX").Key("AA").Record(ex);
//   fake.On("Saction").SqlMatches("^DELETE").Fail(DllParam::kCodeRefused, 547, "conflict");
//   ... run the control ...
//   EXPECT_EQ(fake.Statements(), (std::vector<std::string>{"DELETE FROM ...", ...}));
//   EXPECT_EQ(fake.CallsNamed("Execute")[0].Arg(2).substr(0, 22), "00017CHGJOB RUNPTY(20)");
//
// Scripting. On(op) adds a rule: matchers (File, Key, Sql, SqlPrefix,
// SqlMatches, Code, DataPrefix, Arg) and a queue of answers. A call is
// answered by the newest rule that matches it and still has an answer; each
// answer serves one call, in order, and a spent rule no longer matches, unless
// Repeatedly() keeps its last answer. op "*" matches every operation. A call
// that no rule answers gets the default below.
//
// Defaults. OpenMConnection succeeds with handles 1, 2, 3...; Ropen succeeds
// with file handles 1, 2, 3... (Sread and Sreadblock on a handle below 0 take
// one too); every read finds nothing (0, kCodeNotFound); Rwrite, Rupdate,
// Rdelete, Saction, SetConnectOption, ConnectDSN, the engine and file
// services succeed; Execute succeeds with the reply "00000" (an empty
// listing); SJobList answers "00000"; ReadQVMSGQ answers "0000000000"; the
// paged lists are empty (nonzero, length 0); GetConfigStringWithoutDefVal
// finds nothing; GetComputerName gives "FAKEHOST"; TableNTExist finds
// nothing.
//
// Strict checks (on by default, SetStrict(false) turns them off). A call
// fails with kCodeBadCall when the caller breaks the interface: no current
// connection, an unknown or closed handle, Rupdate or Rdelete without a
// locked read on that handle, an Execute whose code is not 10 characters,
// whose control area is not 10 digits or whose data is shorter than it, a
// record length longer than its buffer, Sreadblock "0" without a "1" first.
// Rwrite, Rupdate and Rdelete on a file opened read-only fail with
// kCodeRefused.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "connection/dllparam.h"
#include "connection/dllparam_wrapper.h"

namespace qv::test {

// One call the fake received.
struct FakeCall {
  std::string op;                  // "Execute", "Rreadk", ...
  std::vector<std::string> args;   // every argument as received, in signature order;
                                   // numbers in decimal, texts as given
  std::vector<bool> numeric;       // numeric[i]: argument i is a number
  int32_t result = 0;
  std::string file;                // the file of the handle used (Ropen: the file opened)
  std::string sql;                 // the SQL text of Sread, Sreadblock, Saction
  std::string key;                 // the key of Rreadk, Rreadblock, cut to keyLen

  // Returns argument i (empty when there is none).
  const std::string& Arg(std::size_t i) const;
  // Returns argument i read as a number (0 when it is not one).
  int32_t IntArg(std::size_t i) const;
  // Shows the call as Op("text", 12, ...) -> result, long texts shortened.
  std::string ToString() const;
};

void PrintTo(const FakeCall& call, std::ostream* out);

// One remote command sent with Execute.
struct FakeCommand {
  std::string code;
  std::string ctl;
  std::string data;  // the data area as sent
  // Returns the request: data cut at its first NUL, trailing blanks removed.
  std::string Request() const;
};

// One scripted answer. Build it through FakeRule, or return one from Compute.
struct FakeAnswer {
  int32_t result = 1;
  // A failure: result 0 with this error state.
  std::optional<int32_t> errorCode{};
  int32_t errorNum = 0;
  std::string errorText{};
  // Text for the call's main output buffer (the record, row, block, reply,
  // list, value...).
  std::optional<std::string> out{};
  // Texts for every output buffer in signature order, when the call has
  // several (GetDBParamKeys: five).
  std::vector<std::string> outs{};
  // A number for the count of ReadQVMSGQ.
  std::optional<int32_t> number{};
  // A result set spread over several calls: rows of Sread then Snext, or of
  // Sreadblock "1" then "0"; records of Rreadf then Rreadn, of Rreadblock
  // with one key, of RreadblockD.
  std::optional<std::vector<std::string>> set{};

  static FakeAnswer Ok(std::string out) { return FakeAnswer{.out = std::move(out)}; }
};

// One rule of the script: which calls it matches and its queue of answers.
class FakeRule {
 public:
  explicit FakeRule(std::string op) : op_(std::move(op)) {}

  // ---- Matchers (all must hold)
  FakeRule& File(std::string file);          // file of the handle, exact
  FakeRule& Key(std::string key);            // key cut to keyLen, exact
  FakeRule& Sql(std::string sql);            // SQL text, exact
  FakeRule& SqlPrefix(std::string prefix);   // SQL text starts with prefix
  FakeRule& SqlMatches(std::string regex);   // SQL text contains a match (ECMAScript)
  FakeRule& Code(std::string code);          // Execute code, trailing blanks and "_" ignored
  FakeRule& DataPrefix(std::string prefix);  // Execute data starts with prefix
  FakeRule& Arg(std::size_t index, std::string value);  // argument index equals value

  // ---- Answers (queued; each serves one call)
  FakeRule& Return(int32_t result);  // nonzero: success without output; 0: kCodeRefused
  FakeRule& Out(std::string text);   // success, text in the main output buffer
  FakeRule& Record(std::string record) { return Out(std::move(record)); }
  FakeRule& Row(std::string row) { return Out(std::move(row)); }
  FakeRule& Reply(std::string reply) { return Out(std::move(reply)); }
  FakeRule& Outs(std::vector<std::string> texts);
  FakeRule& Rows(std::vector<std::string> rows);        // a result set
  FakeRule& Records(std::vector<std::string> records) { return Rows(std::move(records)); }
  FakeRule& NotFound();
  FakeRule& Fail(int32_t code, int32_t num, std::string text);
  FakeRule& Answer(FakeAnswer answer);
  // Computes the answer from the call when it comes.
  FakeRule& Compute(std::function<FakeAnswer(const FakeCall&)> compute);
  // Keeps the last answer for every later call.
  FakeRule& Repeatedly();

  // Tells whether the rule matches call.
  bool Matches(const FakeCall& call) const;
  bool HasAnswer() const { return !answers_.empty(); }
  // Takes the next answer for call.
  FakeAnswer Take(const FakeCall& call);

 private:
  using Producer = std::function<FakeAnswer(const FakeCall&)>;
  FakeRule& Push(Producer producer);

  std::string op_;
  std::optional<std::string> file_, key_, sql_, sqlPrefix_, code_, dataPrefix_;
  std::optional<std::regex> sqlRegex_;
  std::vector<std::pair<std::size_t, std::string>> args_;
  std::vector<Producer> answers_;
  bool repeat_ = false;
};

class RecordingFake : public DllParamDispatch {
 public:
  RecordingFake();
  ~RecordingFake() override;

  // ---- Script
  FakeRule& On(std::string op);
  // Answers GetConfigStringWithoutDefVal(section, key) with value, always.
  void SetConfigString(const std::string& section, const std::string& key, const std::string& value) {
    On("GetConfigStringWithoutDefVal").Arg(0, section).Arg(1, key).Out(value).Repeatedly();
  }
  void SetStrict(bool strict) { strict_ = strict; }

  // ---- What was called
  const std::vector<FakeCall>& Calls() const { return calls_; }
  std::vector<FakeCall> CallsNamed(const std::string& op) const;
  int CallCount(const std::string& op) const { return static_cast<int>(CallsNamed(op).size()); }
  // Returns the SQL texts run: Sread, Sreadblock with "1", Saction, in order.
  std::vector<std::string> Statements() const;
  // Returns the remote commands sent with Execute, in order.
  std::vector<FakeCommand> Commands() const;
  std::vector<std::string> CommandCodes() const;
  // Forgets the recorded calls; the script and the handles stay.
  void ClearCalls() { calls_.clear(); }
  // Returns how often GetLastError was called (it is not recorded as a call).
  int ErrorQueries() const { return errorQueries_; }

  // ---- State
  // Returns the files and statement handles still open, by handle.
  std::map<int32_t, std::string> OpenFiles() const;
  std::set<int32_t> OpenConnections() const { return connections_; }

 protected:
  int32_t Perform(const DllParamCall& call) override;

 private:
  struct OpenHandle;

  // Records call (the error state starts clear).
  void Begin(const DllParamCall& call);
  // Returns the call being answered.
  FakeCall& Now() { return calls_.back(); }
  // Refuses, with the error state set, a call that breaks the interface
  // whatever its operation: no current connection, a file handle that is not
  // open. The numbers the call writes start at 0 either way.
  bool Refused(const DllParamCall& call);
  // Answers call with the member below that answers its operation.
  int32_t Answer(const DllParamCall& call);
  // The answers of the operations that do more than AnswerPlain, with the
  // arguments of their members.
  int32_t AnswerGetLastError(int32_t& code, int32_t& errNum, std::string& text);
  int32_t AnswerOpenMConnection(const std::string& address, std::string& serverVersion, std::string& serverJob,
                                int32_t& hConn);
  int32_t AnswerSwitchMConnection(int32_t hConn);
  int32_t AnswerCloseMConnection(int32_t hConn);
  int32_t AnswerRopen(const std::string& file, const std::string& mode, int32_t& h);
  int32_t AnswerRreadk(int32_t h, std::string& rec, int32_t& len, int32_t opts, const std::string& key,
                       int32_t keyLen);
  int32_t AnswerSread(int32_t& hStmt, std::string& buf, int32_t& len, const std::string& sql, int32_t option);
  int32_t AnswerSnext(int32_t& hStmt, std::string& rec, int32_t& len, int32_t& flag);
  int32_t AnswerSreadblock(int32_t& hStmt, std::string& buf, int32_t& len, const std::string& sql,
                           const std::string& first, int32_t& flag);
  int32_t AnswerConnectDSN(const std::string& connect, const std::string& user, const std::string& password,
                           std::string& out);
  int32_t AnswerExecute(std::string& code, std::string& ctl, std::string& data);
  int32_t AnswerPlain(const DllParamCall& call);

  std::optional<FakeAnswer> Resolve(const FakeCall& call);
  int32_t FailWith(int32_t code, int32_t num, std::string text);
  int32_t NotFoundResult();
  int32_t ResultOf(const FakeAnswer& answer);
  // Returns the result of the script's answer to the call being answered, or
  // byDefault when no rule answers it.
  int32_t ResultOr(int32_t byDefault);
  OpenHandle* FindHandle(int32_t h);
  int32_t NewHandle(std::string file, bool update);
  // Returns the result of a call on connection hConn, refused when it is not open.
  int32_t OnConnection(int32_t hConn);
  // Returns statement hStmt, or a fresh one when hStmt is below 0; nullptr,
  // with the error state set when strict, when it is not open.
  OpenHandle* Statement(int32_t& hStmt);
  // Answers a change of the records of file h (Rupdate, Rwrite, Rdelete): the
  // first len bytes of rec must lie within it (no rec: nothing written), the
  // file must be open for update and, when locked, hold a locked record,
  // which the change releases.
  int32_t Change(int32_t h, const std::string* rec, int32_t len, bool locked);
  int32_t ReadNext(const DllParamCall& call, const char* continuing);
  int32_t ReadOne(const FakeCall& call, OpenHandle* handle, std::string& rec, int32_t& len,
                  const char* continuing);
  // Answers Rreadblock (byKey) or RreadblockD: the record length must fit the
  // buffer and the key hold keyLen bytes.
  int32_t ReadBlock(const DllParamCall& call, bool byKey);
  int32_t ReadRows(const FakeCall& call, OpenHandle* handle, std::string& buf, int32_t& len,
                   int32_t& flag, bool first);

  std::vector<std::unique_ptr<FakeRule>> rules_;
  std::vector<FakeCall> calls_;
  std::map<int32_t, std::unique_ptr<OpenHandle>> handles_;
  std::set<int32_t> connections_;
  int32_t current_ = 0;
  int32_t nextConnection_ = 1;
  int32_t nextHandle_ = 1;
  bool strict_ = true;
  int errorQueries_ = 0;
  int32_t errorCode_ = 0;
  int32_t errorNum_ = 0;
  std::string errorText_;
};

}  // namespace qv::test
