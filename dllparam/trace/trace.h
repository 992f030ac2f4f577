// Trace of the record-access library: a DllParamWrapper that writes one line
// per call (time, operation, arguments, result, outputs, and the error after
// a 0) to a file. Users turn it on with QV_TRACE=FILE or the command line's
// --trace FILE; the line format is described in docs/trace.md.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "connection/dllparam.h"
#include "connection/dllparam_wrapper.h"
#include "dllparam/trace/trace_secrets.h"

namespace qv {

// Name of the environment variable that names the trace file.
inline constexpr const char* kTraceEnvironmentVariable = "QV_TRACE";

// Number of bytes of a long text that a trace line shows.
inline constexpr std::size_t kTraceHead = 200;

// Returns text between double quotes, with \\, \", \n, \r, \t and every
// byte outside printable ASCII as \xNN (upper-case hex).
std::string QuoteText(std::string_view text);

// Renders a text as a trace line shows it: between double quotes, with \\,
// \", \n, \r, \t and every byte outside printable ASCII as \xNN; trailing
// blanks dropped and counted ("AB"(+214 blanks)); a text longer than
// kTraceHead bytes (without its trailing blanks) cut to its first kTraceHead
// bytes and followed by its full length ("..."...(4096 bytes)).
std::string TraceText(std::string_view text);

class TraceDllParam : public DllParamWrapper {
 public:
  // Returns the time stamp that starts a line.
  using Clock = std::function<std::string()>;

  // Wraps inner, which the trace then owns, and appends lines to the file at
  // path (created when missing, readable by its owner only). IsOpen() tells whether the file opened; when
  // it did not, calls are still forwarded and nothing is written.
  TraceDllParam(std::unique_ptr<DllParam> inner, const std::string& path);
  // Wraps inner, which must outlive the trace.
  TraceDllParam(DllParam& inner, const std::string& path);
  ~TraceDllParam() override;

  bool IsOpen() const { return fd_ >= 0; }
  // Returns why the file could not be opened ("" when it is open).
  const std::string& OpenError() const { return openError_; }
  // Replaces the time stamp of the lines (the local time
  // "YYYY-MM-DD HH:MM:SS.mmm" by default).
  void SetClock(Clock clock) { clock_ = std::move(clock); }
  // Gives back the wrapped library when the trace owns it (else nullptr); the
  // trace must not be used afterwards.
  std::unique_ptr<DllParam> Release() { return ReleaseTarget(); }

 protected:
  // Describes the call's inputs, runs it, then writes its line.
  int32_t Around(const DllParamCall& call, dllparam::RunRef run) override;

 private:
  class Line;

  void Open(const std::string& path);
  void WriteLine(const std::string& line);

  int fd_ = -1;
  std::string openError_;
  trace::CallMasker masker_;
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
