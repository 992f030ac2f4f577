// Helpers of the engine tests: distributions written into a store, and one
// side of the engine driven through the record-access library as a source of
// its kind answers it (remote commands on AS/400, engine services on NT).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "connection/dllparam.h"
#include "dllparam/admin/store_admin.h"
#include "dllparam/embedded/store_schema.h"
#include "operations/engine_text.h"
#include "store/record_layouts.h"
#include "store/records.h"

namespace qv::test {

struct EngineKind {
  embedded::SourceKind kind;
  const char* name;
  const char* code;      // engine kind code of NT sources
  const char* instance;  // instance sent to StrReplication
};

inline const EngineKind kEngineKinds[] = {
    {embedded::SourceKind::AS400, "AS400", "", ""},
    {embedded::SourceKind::ODBC, "ODBC", DllParam::kKindOdbc, DllParam::kKindOdbc},
    {embedded::SourceKind::SQLServer, "SQLSERVER", DllParam::kKindSqlServer, "*"},
    {embedded::SourceKind::Oracle, "ORACLE", DllParam::kKindOracle, "QVORA"},
};

// Writes distribution env/tgt/grp with its recovery point and hold flag,
// and, when files are given, one distributed table per file of DEMOLIB.
inline void PutDistribution(embedded::StoreAdmin& admin, const std::string& env, const std::string& tgt,
                            const std::string& grp, const std::string& hold = "0",
                            const std::string& repriseType = "C", const std::string& receiver = "",
                            const std::string& point = "0000000000", std::vector<std::string> files = {}) {
  Record gc(layout::QV_GC);
  gc.Set("ENVID", env);
  gc.Set("TGTID", tgt);
  gc.Set("GRPID", grp);
  gc.Set("HOLD", hold);
  gc.Set("SCHEDULED", "0");
  gc.Set("REPRISETYP", repriseType);
  gc.Set("REPRISERCV", receiver);
  gc.Set("REPRISELIB", receiver.empty() ? "" : "JRNLIB");
  gc.Set("REPRISEPNT", point);
  admin.PutRecord(gc);
  int n = 0;
  for (const std::string& file : files) {
    const std::string ficid = "000000000" + std::to_string(++n);
    Record fx(layout::QV_FX);
    fx.Set("ENVID", env);
    fx.Set("GRPID", grp);
    fx.Set("FICID", ficid);
    fx.Set("SRCTBL", FitText("DEMOLIB", 10) + FitText(file, 10) + FitText(file, 10));
    fx.Set("HOLD", "0");
    admin.PutRecord(fx);
    Record fc(layout::QV_FC);
    fc.Set("ENVID", env);
    fc.Set("TGTID", tgt);
    fc.Set("GRPID", grp);
    fc.Set("FICID", ficid);
    fc.Set("HOLD", "0");
    admin.PutRecord(fc);
  }
}

// The error state of the last call of a library.
struct EngineError {
  int32_t code = 0;
  int32_t num = 0;
  std::string text;
};

inline EngineError LastError(DllParam& lib) {
  EngineError e;
  std::string text(DllParam::kErrorTextBuffer, ' ');
  lib.GetLastError(e.code, e.num, text);
  e.text = std::string(dllparam::CutAtNul(text));
  return e;
}

// One connection to a store, speaking to its engine as the library does.
class EngineSide {
 public:
  EngineSide(DllParam& lib, const EngineKind& kind) : lib_(lib), kind_(kind) {}

  bool AS400() const { return kind_.kind == embedded::SourceKind::AS400; }
  DllParam& lib() { return lib_; }
  EngineError Error() { return LastError(lib_); }

  bool Open(const std::string& address) {
    std::string v(10, ' '), j(10, ' ');
    if (!lib_.OpenMConnection(address, v, j, conn_)) return false;
    if (!AS400()) {
      std::string out(DllParam::kListBuffer, ' ');
      return lib_.ConnectDSN("DSN=QVSOURCE;UID=QVADMIN;PWD=QVADMIN", " ", " ", out) != 0;
    }
    return true;
  }
  bool Close() { return lib_.CloseMConnection(conn_) != 0; }
  bool Current() { return lib_.SwitchMConnection(conn_) != 0; }

  // Sends a remote command; returns the reply area when it succeeds.
  std::optional<std::string> Execute(const std::string& code, size_t length, const std::string& request) {
    std::string c = code;
    c.resize(10, '_');
    std::string ctl = std::to_string(length);
    ctl = std::string(10 - ctl.size(), '0') + ctl;
    std::string data = request;
    data.resize(length, ' ');
    data.push_back('\0');
    if (!lib_.Execute(c, ctl, data)) return std::nullopt;
    return std::string(dllparam::CutAtNul(data));
  }
  // Runs a CL command as the library frames them: its length, then itself.
  bool Cl(const std::string& command) {
    const std::string length = std::to_string(command.size());
    return Execute("RCMD", command.size() + 10, std::string(5 - length.size(), '0') + length + command).has_value();
  }

  // Starts the engine of env/tgt/grp as given.
  bool Start(const std::string& env, const std::string& tgt, const std::string& grp) {
    if (AS400()) return Cl(StartCommand(env, tgt, grp));
    return lib_.StrReplication(env + tgt + grp, kind_.code, kind_.instance) != 0;
  }

  // Lists the active jobs of a name: every page on AS/400 (pageArea bytes
  // each; pages receives the entries of each page), the one answer on NT.
  std::vector<std::string> Jobs(const std::string& name, size_t pageArea = 4096,
                                std::vector<size_t>* pages = nullptr) {
    std::vector<std::string> out;
    if (!AS400()) {
      std::string answer(DllParam::kJobListBuffer, ' ');
      if (!lib_.SJobList(name, answer, kind_.code)) {
        ADD_FAILURE() << "SJobList: " << Error().text;
        return out;
      }
      for (std::string& e : JobEntriesNt(answer)) out.push_back(e.substr(0, e.find(' ')));
      return out;
    }
    char flag = '0';
    for (int guard = 0; guard < 1000; ++guard) {
      auto reply = Execute("SYSLSTJOB", pageArea, "04096" + std::string(1, flag) + name);
      if (!reply) {
        ADD_FAILURE() << "SYSLSTJOB_: " << Error().text;
        break;
      }
      std::vector<std::string> page = JobEntriesAs400(*reply);
      if (page.empty()) break;
      if (pages) pages->push_back(page.size());
      out.insert(out.end(), page.begin(), page.end());
      flag = '1';
    }
    return out;
  }

  // Reads a job's activity block (option "I" asks it to stop); nothing when
  // the call fails.
  std::optional<Record> Activity(const std::string& job, const std::string& option = " ") {
    if (AS400()) {
      auto reply = Execute("SYSREDUSR", 305, "00300" + job + "QV_USRDATAG" + option + "00001024");
      if (!reply) return std::nullopt;
      return Record(layout::Activity, reply->size() > 35 ? reply->substr(35) : "");
    }
    std::string buffer = job;
    buffer.resize(DllParam::kActivityBuffer, ' ');
    if (!lib_.Activity(buffer, option + "00001024G")) return std::nullopt;
    return Record(layout::Activity, buffer.substr(DllParam::kActivityHeader, DllParam::kActivityBlock));
  }

  // Reads the message queue: the answer, and on NT the position it leaves.
  std::optional<std::string> Messages(bool first) {
    if (AS400()) return Execute("SYSRTVMSG", 8162, std::string("08162") + "00000" + (first ? "0" : "1"));
    if (first) position_ = 0;
    std::string queue = DllParam::kMessageQueueFile;
    queue.resize(DllParam::kMessageBuffer, ' ');
    if (!lib_.ReadQVMSGQ(queue, position_, kind_.code)) return std::nullopt;
    return std::string(dllparam::CutAtNul(queue));
  }
  int32_t position() const { return position_; }

  bool ClearQueue() {
    if (AS400()) {
      const std::string command = "CLRMSGQ MSGQ(QV_USRDATA/QVMSGQ)";
      // This command's 5-digit prefix counts the prefix itself.
      return Execute("RCMD", command.size() + 10, "000" + std::to_string(command.size() + 5) + command)
          .has_value();
    }
    return lib_.WriteFile(DllParam::kMessageQueueFile, "", DllParam::kReplaceFile) != 0;
  }

  bool DeleteSpace(const std::string& name) {
    if (AS400()) return Execute("DLTUSRSPC", 20, "00025" + name).has_value();
    return lib_.DeleteFile(name) != 0;
  }

 private:
  DllParam& lib_;
  EngineKind kind_;
  int32_t conn_ = 0;
  int32_t position_ = 0;
};

}  // namespace qv::test
