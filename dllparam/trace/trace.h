// Trace of the record-access library: a DllParam that forwards every call to
// another one and writes one line per call (time, operation, arguments,
// result, outputs, and the error after a 0) to a file. Users turn it on with
// QV_TRACE=FILE or the command line's --trace FILE; the line format is
// described in docs/trace.md.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "connection/dllparam.h"

namespace qv {

// Name of the environment variable that names the trace file.
inline constexpr const char* kTraceEnvironmentVariable = "QV_TRACE";

// Number of bytes of a long text that a trace line shows.
inline constexpr std::size_t kTraceHead = 200;

// Renders a text as a trace line shows it: between double quotes, with \\,
// \", \n, \r, \t and every byte outside printable ASCII as \xNN; trailing
// blanks dropped and counted ("AB"(+214 blanks)); a text longer than
// kTraceHead bytes (without its trailing blanks) cut to its first kTraceHead
// bytes and followed by its full length ("..."...(4096 bytes)).
std::string TraceText(std::string_view text);

class TraceDllParam : public DllParam {
 public:
  // Returns the time stamp that starts a line.
  using Clock = std::function<std::string()>;

  // Wraps inner, which the trace then owns, and appends lines to the file at
  // path (created when missing). IsOpen() tells whether the file opened; when
  // it did not, calls are still forwarded and nothing is written.
  TraceDllParam(std::unique_ptr<DllParam> inner, const std::string& path);
  // Wraps inner, which must outlive the trace.
  TraceDllParam(DllParam& inner, const std::string& path);
  ~TraceDllParam() override;

  TraceDllParam(const TraceDllParam&) = delete;
  TraceDllParam& operator=(const TraceDllParam&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  // Returns why the file could not be opened ("" when it is open).
  const std::string& OpenError() const { return openError_; }
  // Replaces the time stamp of the lines (the local time
  // "YYYY-MM-DD HH:MM:SS.mmm" by default).
  void SetClock(Clock clock) { clock_ = std::move(clock); }
  // Gives back the wrapped library when the trace owns it (else nullptr); the
  // trace must not be used afterwards.
  std::unique_ptr<DllParam> Release() { inner_ = nullptr; return std::move(owned_); }

  int32_t GetLastError(int32_t& code, int32_t& errNum, std::string& text) override;
  int32_t OpenMConnection(const std::string& address, std::string& serverVersion,
                          std::string& serverJob, int32_t& hConn) override;
  int32_t SwitchMConnection(int32_t hConn) override;
  int32_t CloseMConnection(int32_t hConn) override;
  int32_t PingPong() override;
  int32_t Ropen(const std::string& file, const std::string& mode, int32_t& h) override;
  int32_t Rreadk(int32_t h, std::string& rec, int32_t& len, int32_t opts, const std::string& key,
                 int32_t keyLen) override;
  int32_t Rreadf(int32_t h, std::string& rec, int32_t& len, int32_t opts) override;
  int32_t Rreadn(int32_t h, std::string& rec, int32_t& len, int32_t opts) override;
  int32_t Rreadblock(int32_t h, std::string& buf, int32_t& count, int32_t recLen,
                     const std::string& key, int32_t keyLen) override;
  int32_t RreadblockD(int32_t h, std::string& buf, int32_t& count, int32_t recLen) override;
  int32_t Rupdate(int32_t h, const std::string& rec, int32_t len) override;
  int32_t Rwrite(int32_t h, const std::string& rec, int32_t len) override;
  int32_t Rdelete(int32_t h) override;
  int32_t Rclose(int32_t h) override;
  int32_t Sread(int32_t& hStmt, std::string& buf, int32_t& len, const std::string& sql,
                int32_t option) override;
  int32_t Snext(int32_t& hStmt, std::string& rec, int32_t& len, int32_t& flag) override;
  int32_t Sreadblock(int32_t& hStmt, std::string& buf, int32_t& len, const std::string& sql,
                     const std::string& first, int32_t& flag) override;
  int32_t Saction(const std::string& sql) override;
  int32_t SetConnectOption(int32_t option) override;
  int32_t ConnectDSN(const std::string& connect, const std::string& user,
                     const std::string& password, std::string& out) override;
  int32_t CloseConnectionDSN(const std::string& connect, std::string& out) override;
  int32_t GetConfigStringWithoutDefVal(const std::string& section, const std::string& key,
                                       std::string& value, int32_t& len) override;
  int32_t GetDBParamKeys(std::string& connect, std::string& driver, std::string& user,
                         std::string& password, std::string& database) override;
  int32_t GetComputerName(std::string& name) override;
  int32_t Execute(std::string& code, std::string& ctl, std::string& data) override;
  int32_t StrReplication(const std::string& name, const std::string& kind,
                         const std::string& instance) override;
  int32_t SJobList(const std::string& job, std::string& answer, const std::string& kind) override;
  int32_t Activity(std::string& name, const std::string& request) override;
  int32_t ReadQVMSGQ(std::string& queue, int32_t& count, const std::string& kind) override;
  int32_t WriteFile(const std::string& file, const std::string& text, int32_t replace) override;
  int32_t DeleteFile(const std::string& file) override;
  int32_t WriteFileWithFullPath(const std::string& path, const std::string& text,
                                int32_t replace) override;
  int32_t DeleteFileWithFullPath(const std::string& path) override;
  int32_t GetDSNsAndDrivers(std::string& list, int32_t& len, int32_t first) override;
  int32_t FillDB(const std::string& filter, std::string& list, int32_t& len,
                 int32_t first) override;
  int32_t FillTBL(const std::string& database, const std::string& mask, std::string& list,
                  int32_t& len, int32_t first) override;
  int32_t FillColumnsList(const std::string& database, const std::string& table,
                          const std::string& mask, std::string& list, int32_t& len,
                          int32_t first) override;
  int32_t FillColumnsListSource(const std::string& kind, const std::string& table,
                                std::string& list, int32_t& len, int32_t first) override;
  int32_t GetPrimaryKey(const std::string& table, std::string& keys, int32_t& len) override;
  int32_t TableNTExist(const std::string& table) override;
  int32_t CreateTable(const std::string& table, const std::string& definition) override;
  int32_t BuildReceiverListNT(const std::string& journal, const std::string& library,
                              std::string& list, int32_t& len, int32_t first) override;

 private:
  class Line;

  void Open(const std::string& path);
  // Builds a line with build, adds the error state after a 0 result and
  // writes it; a fault while tracing is swallowed, the call's result stands.
  void Emit(const char* op, int32_t result, const std::function<void(Line&)>& build,
            bool withError = true);
  void WriteLine(const std::string& line);

  std::unique_ptr<DllParam> owned_;
  DllParam* inner_;
  int fd_ = -1;
  std::string openError_;
  Clock clock_;
};

// Wraps inner in a trace to path. When the file cannot be opened, returns
// inner unwrapped and puts the reason into *error (when given).
std::unique_ptr<DllParam> WrapWithTrace(std::unique_ptr<DllParam> inner, const std::string& path,
                                        std::string* error = nullptr);

// Wraps inner in a trace to the file named by QV_TRACE when that variable is
// set and not empty; otherwise returns inner unchanged.
std::unique_ptr<DllParam> WrapWithTraceFromEnv(std::unique_ptr<DllParam> inner,
                                               std::string* error = nullptr);

}  // namespace qv
