// Trace of the record-access library: writes one line per call to a file.
#include "dllparam/trace/trace.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <utility>
#include <vector>

#include "presentation/strutil.h"

namespace qv {
namespace {

using dllparam::CutAtNul;

// Returns the first n bytes of buffer, n kept within the buffer.
std::string_view Head(const std::string& buffer, int64_t n) {
  if (n <= 0) return {};
  return std::string_view(buffer).substr(0, static_cast<std::size_t>(n));
}

std::string LocalStamp() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char stamp[96];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(millis));
  return stamp;
}

}  // namespace

std::string QuoteText(std::string_view text) {
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
          static const char kHex[] = "0123456789ABCDEF";
          out += "\\x";
          out += kHex[c >> 4];
          out += kHex[c & 0x0F];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
  return out;
}

std::string TraceText(std::string_view text) {
  const std::size_t last = text.find_last_not_of(' ');
  const std::size_t core = last == std::string_view::npos ? 0 : last + 1;
  if (core > kTraceHead) {
    return QuoteText(text.substr(0, kTraceHead)) + "...(" + std::to_string(text.size()) + " bytes)";
  }
  std::string out = QuoteText(text.substr(0, core));
  if (const std::size_t blanks = text.size() - core; blanks > 0) {
    out += "(+" + std::to_string(blanks) + " blanks)";
  }
  return out;
}

// ---- What a line shows --------------------------------------------------------
//
// The arguments are shown in call order by their kind: numbers and handles
// passed in as decimal, texts between quotes, output buffers as their size
// ("[216]"), in/out buffers as their text; numbers and handles that the call
// only writes are not inputs. The outputs follow the result in argument
// order: numbers and handles, and buffers as the caller reads them. Beyond
// that:
// - a text or buffer followed by its length ("len") shows that many bytes;
//   a block read's buffer shows count records of recLen bytes, after count;
//   any other buffer written by the call shows its text up to the first NUL;
// - Rreadk shows its options in hexadecimal;
// - every password is masked (trace_secrets.h): password arguments and
//   settings, the passwords of connection strings in any text, the password
//   fields of the records and rows read or written, the password literals of
//   statements;
// - Execute shows code and ctl among the outputs only when the call changed
//   them; Snext's statement handle, which it never changes, is no output.

namespace {

using dllparam::ArgKind;

bool Named(const DllParamCall& call, std::size_t i, std::string_view name) { return name == call.argName(i); }

bool IsBuffer(ArgKind kind) { return kind == ArgKind::Buffer || kind == ArgKind::BufferInOut; }

// Returns the position of the count of records when argument i is the
// buffer of a block read.
std::optional<std::size_t> BlockCount(const DllParamCall& call, std::size_t i) {
  if (!IsBuffer(call.kind(i)) || i + 1 >= call.size() || !Named(call, i + 1, "count") || !call.Find("recLen"))
    return std::nullopt;
  return i + 1;
}

// Returns the bytes of text or buffer argument i that the line shows, before
// the call (input) or after it.
std::string_view Content(const DllParamCall& call, std::size_t i, bool output) {
  const std::string& text = call.Text(i);
  if (i + 1 < call.size() && Named(call, i + 1, "len")) return Head(text, call.Number(i + 1));
  if (auto count = BlockCount(call, i))
    return Head(text, static_cast<int64_t>(call.Number(*count)) * call.Number(*call.Find("recLen")));
  return output ? CutAtNul(text) : std::string_view(text);
}

// Tells whether argument i is shown among the outputs only when the call
// changed it.
bool ShownWhenChanged(const DllParamCall& call, std::size_t i) {
  return call.op() == DllParamOp::Execute && (Named(call, i, "code") || Named(call, i, "ctl"));
}

}  // namespace

// One trace line being built: the inputs, rendered before the call, then the
// outputs.
class TraceDllParam::Line {
 public:
  Line(const DllParamCall& call, const trace::CallMasker& masker) : op_(call.name()) {
    for (std::size_t i = 0; i < call.size(); ++i) {
      const char* name = call.argName(i);
      switch (call.kind(i)) {
        case ArgKind::NumberOut:
        case ArgKind::HandleOut:
          break;
        case ArgKind::Number:
          if (call.op() == DllParamOp::Rreadk && Named(call, i, "opts")) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%08X", static_cast<uint32_t>(call.Number(i)));
            AddIn(name, hex);
            break;
          }
          [[fallthrough]];
        case ArgKind::NumberInOut:
        case ArgKind::Handle:
        case ArgKind::HandleInOut:
          AddIn(name, std::to_string(call.Number(i)));
          break;
        case ArgKind::Buffer:
          AddIn(name, "[" + std::to_string(call.Text(i).size()) + "]");
          break;
        case ArgKind::Text:
        case ArgKind::BufferInOut:
          AddIn(name, TraceText(masker.Shown(call, i, Content(call, i, false))));
          break;
      }
      if (ShownWhenChanged(call, i)) sent_.emplace_back(i, call.Text(i));
    }
  }

  // Adds the outputs of the call that ran.
  void Outputs(const DllParamCall& call, const trace::CallMasker& masker) {
    for (std::size_t i = 0; i < call.size(); ++i) {
      const char* name = call.argName(i);
      if (!dllparam::IsWritten(call.kind(i))) continue;
      if (i > 0 && BlockCount(call, i - 1) == i) continue;  // shown before its block
      if (call.op() == DllParamOp::Snext && Named(call, i, "hStmt")) continue;
      if (ShownWhenChanged(call, i)) {
        for (const auto& [at, text] : sent_)
          if (at == i && call.Text(i) != text) AddOut(name, TraceText(masker.Shown(call, i, call.Text(i))));
        continue;
      }
      if (auto count = BlockCount(call, i)) AddOut(call.argName(*count), std::to_string(call.Number(*count)));
      if (dllparam::IsNumeric(call.kind(i))) {
        AddOut(name, std::to_string(call.Number(i)));
      } else {
        AddOut(name, TraceText(masker.Shown(call, i, Content(call, i, true))));
      }
    }
  }

  std::string Render(const std::string& stamp, int32_t result) const {
    return stamp + " " + op_ + "(" + ins_ + ") -> " + std::to_string(result) + outs_;
  }

 private:
  void AddIn(const char* name, const std::string& shown) {
    if (!ins_.empty()) ins_ += ", ";
    ins_ += name;
    ins_ += '=';
    ins_ += shown;
  }
  void AddOut(const char* name, const std::string& shown) {
    outs_ += ' ';
    outs_ += name;
    outs_ += '=';
    outs_ += shown;
  }

  const char* op_;
  std::string ins_;
  std::string outs_;
  std::vector<std::pair<std::size_t, std::string>> sent_;  // arguments shown when changed, as sent
};

// ---- Set-up -----------------------------------------------------------------

TraceDllParam::TraceDllParam(std::unique_ptr<DllParam> inner, const std::string& path)
    : DllParamWrapper(std::move(inner)), clock_(LocalStamp) {
  Open(path);
}

TraceDllParam::TraceDllParam(DllParam& inner, const std::string& path)
    : DllParamWrapper(inner), clock_(LocalStamp) {
  Open(path);
}

TraceDllParam::~TraceDllParam() {
  if (fd_ >= 0) ::close(fd_);
}

void TraceDllParam::Open(const std::string& path) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd_ < 0) {
    openError_ = "cannot open trace file " + path + ": " + std::strerror(errno);
    return;
  }
  WriteLine(clock_() + " # trace of process " + std::to_string(::getpid()));
}

void TraceDllParam::WriteLine(const std::string& line) {
  if (fd_ < 0) return;
  const std::string text = line + "\n";
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // a full disk or a closed file must not stop the caller
    done += static_cast<std::size_t>(n);
  }
}

int32_t TraceDllParam::Around(const DllParamCall& call, dllparam::RunRef run) {
  if (fd_ < 0) return run();
  // A trace that cannot be written never changes the call's outcome.
  std::optional<Line> line;
  try {
    line.emplace(call, masker_);
  } catch (...) {
  }
  const int32_t result = run();
  try {
    masker_.Ran(call, result);
  } catch (...) {
  }
  if (!line) return result;
  try {
    line->Outputs(call, masker_);
    std::string text = line->Render(clock_(), result);
    if (result == 0 && call.op() != DllParamOp::GetLastError) {
      int32_t code = 0;
      int32_t num = 0;
      std::string message(static_cast<std::size_t>(kErrorTextBuffer), ' ');
      target().GetLastError(code, num, message);
      text += " error=" + std::to_string(code) + ":" + CodeName(code) + " num=" +
              std::to_string(num) + " text=" + TraceText(MaskConnectionPasswords(CutAtNul(message)));
    }
    WriteLine(text);
  } catch (...) {
  }
  return result;
}

// ---- Wrapping -------------------------------------------------------------------

std::unique_ptr<DllParam> WrapWithTrace(std::unique_ptr<DllParam> inner, const std::string& path,
                                        std::string* error) {
  auto trace = std::make_unique<TraceDllParam>(std::move(inner), path);
  if (trace->IsOpen()) return trace;
  if (error) *error = trace->OpenError();
  // Hand the library back unwrapped: tracing is a help, never a reason to fail.
  return trace->Release();
}

std::unique_ptr<DllParam> WrapWithTraceFromEnv(std::unique_ptr<DllParam> inner,
                                               std::string* error) {
  const char* path = std::getenv(kTraceEnvironmentVariable);
  if (path == nullptr || *path == '\0') return inner;
  return WrapWithTrace(std::move(inner), path, error);
}

}  // namespace qv
