// Trace of the record-access library: forwards every call and writes one line
// per call to a file.
#include "dllparam/trace/trace.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>

namespace qv {
namespace {

using dllparam::CutAtNul;

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

// Returns the first n bytes of buffer, n kept within the buffer.
std::string_view Head(const std::string& buffer, int64_t n) {
  if (n <= 0) return {};
  return std::string_view(buffer).substr(0, static_cast<std::size_t>(n));
}

bool IEquals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// Hides the value of every "PWD=" item of a connect string.
std::string MaskConnect(std::string_view text) {
  std::string out(text);
  std::size_t from = 0;
  while (from + 4 <= out.size()) {
    if (!IEquals(std::string_view(out).substr(from, 4), "PWD=")) {
      ++from;
      continue;
    }
    const std::size_t start = from + 4;
    std::size_t end = out.find(';', start);
    if (end == std::string::npos) end = out.size();
    if (end > start) out.replace(start, end - start, "***");
    from = start + 3;
  }
  return out;
}

// Hides a password: "***" unless it is empty or blank.
std::string MaskPassword(std::string_view text) {
  return text.find_first_not_of(' ') == std::string_view::npos ? std::string(text) : "***";
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

std::string TraceText(std::string_view text) {
  const std::size_t last = text.find_last_not_of(' ');
  const std::size_t core = last == std::string_view::npos ? 0 : last + 1;
  if (core > kTraceHead) {
    return Quote(text.substr(0, kTraceHead)) + "...(" + std::to_string(text.size()) + " bytes)";
  }
  std::string out = Quote(text.substr(0, core));
  if (const std::size_t blanks = text.size() - core; blanks > 0) {
    out += "(+" + std::to_string(blanks) + " blanks)";
  }
  return out;
}

// One trace line being built: the arguments in call order, then the outputs.
class TraceDllParam::Line {
 public:
  explicit Line(const char* op) : op_(op) {}

  Line& In(const char* name, int32_t value) { return AddIn(name, std::to_string(value)); }
  Line& In(const char* name, std::string_view text) { return AddIn(name, TraceText(text)); }
  // Adds an argument shown already rendered.
  Line& InShown(const char* name, std::string shown) { return AddIn(name, std::move(shown)); }
  Line& Hex(const char* name, int32_t value) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<uint32_t>(value));
    return AddIn(name, hex);
  }
  // Adds an output buffer as its size: name=[size].
  Line& Buffer(const char* name, std::size_t size) {
    return AddIn(name, "[" + std::to_string(size) + "]");
  }
  Line& Out(const char* name, int32_t value) { return AddOut(name, std::to_string(value)); }
  Line& Out(const char* name, std::string_view text) { return AddOut(name, TraceText(text)); }

  std::string Render(const std::string& stamp, int32_t result) const {
    return stamp + " " + op_ + "(" + ins_ + ") -> " + std::to_string(result) + outs_;
  }

 private:
  Line& AddIn(const char* name, std::string shown) {
    if (!ins_.empty()) ins_ += ", ";
    ins_ += name;
    ins_ += '=';
    ins_ += shown;
    return *this;
  }
  Line& AddOut(const char* name, std::string shown) {
    outs_ += ' ';
    outs_ += name;
    outs_ += '=';
    outs_ += shown;
    return *this;
  }

  const char* op_;
  std::string ins_;
  std::string outs_;
};

// ---- Set-up -----------------------------------------------------------------

TraceDllParam::TraceDllParam(std::unique_ptr<DllParam> inner, const std::string& path)
    : owned_(std::move(inner)), inner_(owned_.get()), clock_(LocalStamp) {
  Open(path);
}

TraceDllParam::TraceDllParam(DllParam& inner, const std::string& path)
    : inner_(&inner), clock_(LocalStamp) {
  Open(path);
}

TraceDllParam::~TraceDllParam() {
  if (fd_ >= 0) ::close(fd_);
}

void TraceDllParam::Open(const std::string& path) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
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

void TraceDllParam::Emit(const char* op, int32_t result, const std::function<void(Line&)>& build,
                         bool withError) {
  if (fd_ < 0) return;
  try {
    Line line(op);
    build(line);
    std::string text = line.Render(clock_(), result);
    if (withError && result == 0) {
      int32_t code = 0;
      int32_t num = 0;
      std::string message(static_cast<std::size_t>(kErrorTextBuffer), ' ');
      inner_->GetLastError(code, num, message);
      text += " error=" + std::to_string(code) + ":" + CodeName(code) + " num=" +
              std::to_string(num) + " text=" + TraceText(CutAtNul(message));
    }
    WriteLine(text);
  } catch (...) {
    // A trace that cannot be written never changes the call's outcome.
  }
}

// ---- Forwarding ---------------------------------------------------------------
//
// Each member calls the wrapped library first, then describes the call. Texts
// that the call may overwrite are rendered before it.

int32_t TraceDllParam::GetLastError(int32_t& code, int32_t& errNum, std::string& text) {
  const std::size_t size = text.size();
  const int32_t r = inner_->GetLastError(code, errNum, text);
  Emit("GetLastError", r, [&](Line& l) {
    l.Buffer("text", size).Out("code", code).Out("errNum", errNum).Out("text", CutAtNul(text));
  }, false);
  return r;
}

int32_t TraceDllParam::OpenMConnection(const std::string& address, std::string& serverVersion,
                                       std::string& serverJob, int32_t& hConn) {
  const std::size_t versionSize = serverVersion.size(), jobSize = serverJob.size();
  const int32_t r = inner_->OpenMConnection(address, serverVersion, serverJob, hConn);
  Emit("OpenMConnection", r, [&](Line& l) {
    l.In("address", address).Buffer("serverVersion", versionSize).Buffer("serverJob", jobSize);
    l.Out("serverVersion", CutAtNul(serverVersion)).Out("serverJob", CutAtNul(serverJob));
    l.Out("hConn", hConn);
  });
  return r;
}

int32_t TraceDllParam::SwitchMConnection(int32_t hConn) {
  const int32_t r = inner_->SwitchMConnection(hConn);
  Emit("SwitchMConnection", r, [&](Line& l) { l.In("hConn", hConn); });
  return r;
}

int32_t TraceDllParam::CloseMConnection(int32_t hConn) {
  const int32_t r = inner_->CloseMConnection(hConn);
  Emit("CloseMConnection", r, [&](Line& l) { l.In("hConn", hConn); });
  return r;
}

int32_t TraceDllParam::PingPong() {
  const int32_t r = inner_->PingPong();
  Emit("PingPong", r, [](Line&) {});
  return r;
}

int32_t TraceDllParam::Ropen(const std::string& file, const std::string& mode, int32_t& h) {
  const int32_t r = inner_->Ropen(file, mode, h);
  Emit("Ropen", r, [&](Line& l) {
    l.In("file", file).In("mode", mode).Out("h", h);
  });
  return r;
}

int32_t TraceDllParam::Rreadk(int32_t h, std::string& rec, int32_t& len, int32_t opts,
                              const std::string& key, int32_t keyLen) {
  const std::size_t size = rec.size();
  const int32_t r = inner_->Rreadk(h, rec, len, opts, key, keyLen);
  Emit("Rreadk", r, [&](Line& l) {
    l.In("h", h).Buffer("rec", size).Hex("opts", opts).In("key", key).In("keyLen", keyLen);
    l.Out("rec", Head(rec, len)).Out("len", len);
  });
  return r;
}

int32_t TraceDllParam::Rreadf(int32_t h, std::string& rec, int32_t& len, int32_t opts) {
  const std::size_t size = rec.size();
  const int32_t r = inner_->Rreadf(h, rec, len, opts);
  Emit("Rreadf", r, [&](Line& l) {
    l.In("h", h).Buffer("rec", size).In("opts", opts);
    l.Out("rec", Head(rec, len)).Out("len", len);
  });
  return r;
}

int32_t TraceDllParam::Rreadn(int32_t h, std::string& rec, int32_t& len, int32_t opts) {
  const std::size_t size = rec.size();
  const int32_t r = inner_->Rreadn(h, rec, len, opts);
  Emit("Rreadn", r, [&](Line& l) {
    l.In("h", h).Buffer("rec", size).In("opts", opts);
    l.Out("rec", Head(rec, len)).Out("len", len);
  });
  return r;
}

int32_t TraceDllParam::Rreadblock(int32_t h, std::string& buf, int32_t& count, int32_t recLen,
                                  const std::string& key, int32_t keyLen) {
  const std::size_t size = buf.size();
  const int32_t r = inner_->Rreadblock(h, buf, count, recLen, key, keyLen);
  Emit("Rreadblock", r, [&](Line& l) {
    l.In("h", h).Buffer("buf", size).In("recLen", recLen).In("key", key).In("keyLen", keyLen);
    l.Out("count", count).Out("buf", Head(buf, static_cast<int64_t>(count) * recLen));
  });
  return r;
}

int32_t TraceDllParam::RreadblockD(int32_t h, std::string& buf, int32_t& count, int32_t recLen) {
  const std::size_t size = buf.size();
  const int32_t r = inner_->RreadblockD(h, buf, count, recLen);
  Emit("RreadblockD", r, [&](Line& l) {
    l.In("h", h).Buffer("buf", size).In("recLen", recLen);
    l.Out("count", count).Out("buf", Head(buf, static_cast<int64_t>(count) * recLen));
  });
  return r;
}

int32_t TraceDllParam::Rupdate(int32_t h, const std::string& rec, int32_t len) {
  const int32_t r = inner_->Rupdate(h, rec, len);
  Emit("Rupdate", r, [&](Line& l) {
    l.In("h", h).In("rec", Head(rec, len)).In("len", len);
  });
  return r;
}

int32_t TraceDllParam::Rwrite(int32_t h, const std::string& rec, int32_t len) {
  const int32_t r = inner_->Rwrite(h, rec, len);
  Emit("Rwrite", r, [&](Line& l) {
    l.In("h", h).In("rec", Head(rec, len)).In("len", len);
  });
  return r;
}

int32_t TraceDllParam::Rdelete(int32_t h) {
  const int32_t r = inner_->Rdelete(h);
  Emit("Rdelete", r, [&](Line& l) { l.In("h", h); });
  return r;
}

int32_t TraceDllParam::Rclose(int32_t h) {
  const int32_t r = inner_->Rclose(h);
  Emit("Rclose", r, [&](Line& l) { l.In("h", h); });
  return r;
}

int32_t TraceDllParam::Sread(int32_t& hStmt, std::string& buf, int32_t& len,
                             const std::string& sql, int32_t option) {
  const int32_t hIn = hStmt;
  const std::size_t size = buf.size();
  const int32_t r = inner_->Sread(hStmt, buf, len, sql, option);
  Emit("Sread", r, [&](Line& l) {
    l.In("hStmt", hIn).Buffer("buf", size).In("sql", sql).In("option", option);
    l.Out("hStmt", hStmt).Out("buf", Head(buf, len)).Out("len", len);
  });
  return r;
}

int32_t TraceDllParam::Snext(int32_t& hStmt, std::string& rec, int32_t& len, int32_t& flag) {
  const int32_t hIn = hStmt;
  const std::size_t size = rec.size();
  const int32_t r = inner_->Snext(hStmt, rec, len, flag);
  Emit("Snext", r, [&](Line& l) {
    l.In("hStmt", hIn).Buffer("rec", size);
    l.Out("rec", Head(rec, len)).Out("len", len).Out("flag", flag);
  });
  return r;
}

int32_t TraceDllParam::Sreadblock(int32_t& hStmt, std::string& buf, int32_t& len,
                                  const std::string& sql, const std::string& first,
                                  int32_t& flag) {
  const int32_t hIn = hStmt;
  const std::size_t size = buf.size();
  const int32_t r = inner_->Sreadblock(hStmt, buf, len, sql, first, flag);
  Emit("Sreadblock", r, [&](Line& l) {
    l.In("hStmt", hIn).Buffer("buf", size).In("sql", sql).In("first", first);
    l.Out("hStmt", hStmt).Out("buf", Head(buf, len)).Out("len", len).Out("flag", flag);
  });
  return r;
}

int32_t TraceDllParam::Saction(const std::string& sql) {
  const int32_t r = inner_->Saction(sql);
  Emit("Saction", r, [&](Line& l) { l.In("sql", sql); });
  return r;
}

int32_t TraceDllParam::SetConnectOption(int32_t option) {
  const int32_t r = inner_->SetConnectOption(option);
  Emit("SetConnectOption", r, [&](Line& l) { l.In("option", option); });
  return r;
}

int32_t TraceDllParam::ConnectDSN(const std::string& connect, const std::string& user,
                                  const std::string& password, std::string& out) {
  const std::size_t size = out.size();
  const int32_t r = inner_->ConnectDSN(connect, user, password, out);
  Emit("ConnectDSN", r, [&](Line& l) {
    l.In("connect", MaskConnect(connect)).In("user", user).In("password", MaskPassword(password));
    l.Buffer("out", size).Out("out", MaskConnect(CutAtNul(out)));
  });
  return r;
}

int32_t TraceDllParam::CloseConnectionDSN(const std::string& connect, std::string& out) {
  const std::size_t size = out.size();
  const int32_t r = inner_->CloseConnectionDSN(connect, out);
  Emit("CloseConnectionDSN", r, [&](Line& l) {
    l.In("connect", MaskConnect(connect)).Buffer("out", size);
    l.Out("out", MaskConnect(CutAtNul(out)));
  });
  return r;
}

int32_t TraceDllParam::GetConfigStringWithoutDefVal(const std::string& section,
                                                    const std::string& key, std::string& value,
                                                    int32_t& len) {
  const std::size_t size = value.size();
  const int32_t r = inner_->GetConfigStringWithoutDefVal(section, key, value, len);
  Emit("GetConfigStringWithoutDefVal", r, [&](Line& l) {
    l.In("section", section).In("key", key).Buffer("value", size);
    const std::string_view shown = Head(value, len);
    l.Out("value", IEquals(key, kKeyParamPwd) ? MaskPassword(shown) : std::string(shown));
    l.Out("len", len);
  });
  return r;
}

int32_t TraceDllParam::GetDBParamKeys(std::string& connect, std::string& driver, std::string& user,
                                      std::string& password, std::string& database) {
  const std::size_t sizes[] = {connect.size(), driver.size(), user.size(), password.size(),
                               database.size()};
  const int32_t r = inner_->GetDBParamKeys(connect, driver, user, password, database);
  Emit("GetDBParamKeys", r, [&](Line& l) {
    l.Buffer("connect", sizes[0]).Buffer("driver", sizes[1]).Buffer("user", sizes[2]);
    l.Buffer("password", sizes[3]).Buffer("database", sizes[4]);
    l.Out("connect", MaskConnect(CutAtNul(connect))).Out("driver", CutAtNul(driver));
    l.Out("user", CutAtNul(user)).Out("password", MaskPassword(CutAtNul(password)));
    l.Out("database", CutAtNul(database));
  });
  return r;
}

int32_t TraceDllParam::GetComputerName(std::string& name) {
  const std::size_t size = name.size();
  const int32_t r = inner_->GetComputerName(name);
  Emit("GetComputerName", r, [&](Line& l) {
    l.Buffer("name", size).Out("name", CutAtNul(name));
  });
  return r;
}

int32_t TraceDllParam::Execute(std::string& code, std::string& ctl, std::string& data) {
  const bool tracing = fd_ >= 0;
  const std::string codeIn = tracing ? code : std::string();
  const std::string ctlIn = tracing ? ctl : std::string();
  const std::string dataIn = tracing ? TraceText(data) : std::string();
  const int32_t r = inner_->Execute(code, ctl, data);
  Emit("Execute", r, [&](Line& l) {
    l.In("code", codeIn).In("ctl", ctlIn).InShown("data", dataIn);
    if (code != codeIn) l.Out("code", code);
    if (ctl != ctlIn) l.Out("ctl", ctl);
    l.Out("data", CutAtNul(data));
  });
  return r;
}

int32_t TraceDllParam::StrReplication(const std::string& name, const std::string& kind,
                                      const std::string& instance) {
  const int32_t r = inner_->StrReplication(name, kind, instance);
  Emit("StrReplication", r, [&](Line& l) {
    l.In("name", name).In("kind", kind).In("instance", instance);
  });
  return r;
}

int32_t TraceDllParam::SJobList(const std::string& job, std::string& answer,
                                const std::string& kind) {
  const std::size_t size = answer.size();
  const int32_t r = inner_->SJobList(job, answer, kind);
  Emit("SJobList", r, [&](Line& l) {
    l.In("job", job).Buffer("answer", size).In("kind", kind);
    l.Out("answer", CutAtNul(answer));
  });
  return r;
}

int32_t TraceDllParam::Activity(std::string& name, const std::string& request) {
  const std::string nameIn = fd_ >= 0 ? TraceText(name) : std::string();
  const int32_t r = inner_->Activity(name, request);
  Emit("Activity", r, [&](Line& l) {
    l.InShown("name", nameIn).In("request", request).Out("name", CutAtNul(name));
  });
  return r;
}

int32_t TraceDllParam::ReadQVMSGQ(std::string& queue, int32_t& count, const std::string& kind) {
  const std::string queueIn = fd_ >= 0 ? TraceText(queue) : std::string();
  const int32_t countIn = count;
  const int32_t r = inner_->ReadQVMSGQ(queue, count, kind);
  Emit("ReadQVMSGQ", r, [&](Line& l) {
    l.InShown("queue", queueIn).In("count", countIn).In("kind", kind);
    l.Out("queue", CutAtNul(queue)).Out("count", count);
  });
  return r;
}

int32_t TraceDllParam::WriteFile(const std::string& file, const std::string& text,
                                 int32_t replace) {
  const int32_t r = inner_->WriteFile(file, text, replace);
  Emit("WriteFile", r, [&](Line& l) {
    l.In("file", file).In("text", text).In("replace", replace);
  });
  return r;
}

int32_t TraceDllParam::DeleteFile(const std::string& file) {
  const int32_t r = inner_->DeleteFile(file);
  Emit("DeleteFile", r, [&](Line& l) { l.In("file", file); });
  return r;
}

int32_t TraceDllParam::WriteFileWithFullPath(const std::string& path, const std::string& text,
                                             int32_t replace) {
  const int32_t r = inner_->WriteFileWithFullPath(path, text, replace);
  Emit("WriteFileWithFullPath", r, [&](Line& l) {
    l.In("path", path).In("text", text).In("replace", replace);
  });
  return r;
}

int32_t TraceDllParam::DeleteFileWithFullPath(const std::string& path) {
  const int32_t r = inner_->DeleteFileWithFullPath(path);
  Emit("DeleteFileWithFullPath", r, [&](Line& l) { l.In("path", path); });
  return r;
}

int32_t TraceDllParam::GetDSNsAndDrivers(std::string& list, int32_t& len, int32_t first) {
  const std::size_t size = list.size();
  const int32_t r = inner_->GetDSNsAndDrivers(list, len, first);
  Emit("GetDSNsAndDrivers", r, [&](Line& l) {
    l.Buffer("list", size).In("first", first);
    l.Out("list", Head(list, len)).Out("len", len);
  });
  return r;
}

int32_t TraceDllParam::FillDB(const std::string& filter, std::string& list, int32_t& len,
                              int32_t first) {
  const std::size_t size = list.size();
  const int32_t r = inner_->FillDB(filter, list, len, first);
  Emit("FillDB", r, [&](Line& l) {
    l.In("filter", filter).Buffer("list", size).In("first", first);
    l.Out("list", Head(list, len)).Out("len", len);
  });
  return r;
}

int32_t TraceDllParam::FillTBL(const std::string& database, const std::string& mask,
                               std::string& list, int32_t& len, int32_t first) {
  const std::size_t size = list.size();
  const int32_t r = inner_->FillTBL(database, mask, list, len, first);
  Emit("FillTBL", r, [&](Line& l) {
    l.In("database", database).In("mask", mask).Buffer("list", size).In("first", first);
    l.Out("list", Head(list, len)).Out("len", len);
  });
  return r;
}

int32_t TraceDllParam::FillColumnsList(const std::string& database, const std::string& table,
                                       const std::string& mask, std::string& list, int32_t& len,
                                       int32_t first) {
  const std::size_t size = list.size();
  const int32_t r = inner_->FillColumnsList(database, table, mask, list, len, first);
  Emit("FillColumnsList", r, [&](Line& l) {
    l.In("database", database).In("table", table).In("mask", mask).Buffer("list", size);
    l.In("first", first).Out("list", Head(list, len)).Out("len", len);
  });
  return r;
}

int32_t TraceDllParam::FillColumnsListSource(const std::string& kind, const std::string& table,
                                             std::string& list, int32_t& len, int32_t first) {
  const std::size_t size = list.size();
  const int32_t r = inner_->FillColumnsListSource(kind, table, list, len, first);
  Emit("FillColumnsListSource", r, [&](Line& l) {
    l.In("kind", kind).In("table", table).Buffer("list", size).In("first", first);
    l.Out("list", Head(list, len)).Out("len", len);
  });
  return r;
}

int32_t TraceDllParam::GetPrimaryKey(const std::string& table, std::string& keys, int32_t& len) {
  const std::size_t size = keys.size();
  const int32_t r = inner_->GetPrimaryKey(table, keys, len);
  Emit("GetPrimaryKey", r, [&](Line& l) {
    l.In("table", table).Buffer("keys", size).Out("keys", Head(keys, len)).Out("len", len);
  });
  return r;
}

int32_t TraceDllParam::TableNTExist(const std::string& table) {
  const int32_t r = inner_->TableNTExist(table);
  Emit("TableNTExist", r, [&](Line& l) { l.In("table", table); });
  return r;
}

int32_t TraceDllParam::CreateTable(const std::string& table, const std::string& definition) {
  const int32_t r = inner_->CreateTable(table, definition);
  Emit("CreateTable", r, [&](Line& l) {
    l.In("table", table).In("definition", definition);
  });
  return r;
}

int32_t TraceDllParam::BuildReceiverListNT(const std::string& journal, const std::string& library,
                                           std::string& list, int32_t& len, int32_t first) {
  const std::size_t size = list.size();
  const int32_t r = inner_->BuildReceiverListNT(journal, library, list, len, first);
  Emit("BuildReceiverListNT", r, [&](Line& l) {
    l.In("journal", journal).In("library", library).Buffer("list", size).In("first", first);
    l.Out("list", Head(list, len)).Out("len", len);
  });
  return r;
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
