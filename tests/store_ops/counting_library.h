// A record-access library for tests and benchmarks that passes every call on
// to another one and counts the calls by operation. It can also stand in for
// the engine's job lists (the jobs named in `running` are active, every other
// job is not) and make chosen calls fail before they reach the source.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "connection/dllparam.h"

namespace qv::test {

class CountingLibrary final : public DllParam {
 public:
  explicit CountingLibrary(std::unique_ptr<DllParam> inner) : inner_(std::move(inner)) {}

  DllParam& inner() { return *inner_; }

  // Calls received, by operation (GetLastError included, under its name).
  std::map<std::string, int64_t> counts;
  // Returns the calls received other than GetLastError.
  int64_t Calls() const;
  void Reset() { counts.clear(); }

  // When set, the job lists are answered here: a job is active when its
  // name (10 characters, as JobRun sends it) is in running.
  bool answerJobLists = false;
  std::set<std::string> running;

  // When set and it returns true for an operation and its SQL text (Saction,
  // Sread, Sreadblock) or file handle's call, the call fails with
  // kCodeRefused "injected failure" without reaching the source.
  std::function<bool(const std::string& op, const std::string& sql)> failWhen;

  int32_t GetLastError(int32_t& code, int32_t& errNum, std::string& text) override;
  int32_t OpenMConnection(const std::string& address, std::string& serverVersion, std::string& serverJob, int32_t& hConn) override;
  int32_t SwitchMConnection(int32_t hConn) override;
  int32_t CloseMConnection(int32_t hConn) override;
  int32_t PingPong() override;
  int32_t Ropen(const std::string& file, const std::string& mode, int32_t& h) override;
  int32_t Rreadk(int32_t h, std::string& rec, int32_t& len, int32_t opts, const std::string& key, int32_t keyLen) override;
  int32_t Rreadf(int32_t h, std::string& rec, int32_t& len, int32_t opts) override;
  int32_t Rreadn(int32_t h, std::string& rec, int32_t& len, int32_t opts) override;
  int32_t Rreadblock(int32_t h, std::string& buf, int32_t& count, int32_t recLen, const std::string& key, int32_t keyLen) override;
  int32_t RreadblockD(int32_t h, std::string& buf, int32_t& count, int32_t recLen) override;
  int32_t Rupdate(int32_t h, const std::string& rec, int32_t len) override;
  int32_t Rwrite(int32_t h, const std::string& rec, int32_t len) override;
  int32_t Rdelete(int32_t h) override;
  int32_t Rclose(int32_t h) override;
  int32_t Sread(int32_t& hStmt, std::string& buf, int32_t& len, const std::string& sql, int32_t option) override;
  int32_t Snext(int32_t& hStmt, std::string& rec, int32_t& len, int32_t& flag) override;
  int32_t Sreadblock(int32_t& hStmt, std::string& buf, int32_t& len, const std::string& sql, const std::string& first, int32_t& flag) override;
  int32_t Saction(const std::string& sql) override;
  int32_t SetConnectOption(int32_t option) override;
  int32_t ConnectDSN(const std::string& connect, const std::string& user, const std::string& password, std::string& out) override;
  int32_t CloseConnectionDSN(const std::string& connect, std::string& out) override;
  int32_t GetConfigStringWithoutDefVal(const std::string& section, const std::string& key, std::string& value, int32_t& len) override;
  int32_t GetDBParamKeys(std::string& connect, std::string& driver, std::string& user, std::string& password, std::string& database) override;
  int32_t GetComputerName(std::string& name) override;
  int32_t Execute(std::string& code, std::string& ctl, std::string& data) override;
  int32_t StrReplication(const std::string& name, const std::string& kind, const std::string& instance) override;
  int32_t SJobList(const std::string& job, std::string& answer, const std::string& kind) override;
  int32_t Activity(std::string& name, const std::string& request) override;
  int32_t ReadQVMSGQ(std::string& queue, int32_t& count, const std::string& kind) override;
  int32_t WriteFile(const std::string& file, const std::string& text, int32_t replace) override;
  int32_t DeleteFile(const std::string& file) override;
  int32_t WriteFileWithFullPath(const std::string& path, const std::string& text, int32_t replace) override;
  int32_t DeleteFileWithFullPath(const std::string& path) override;
  int32_t GetDSNsAndDrivers(std::string& list, int32_t& len, int32_t first) override;
  int32_t FillDB(const std::string& filter, std::string& list, int32_t& len, int32_t first) override;
  int32_t FillTBL(const std::string& database, const std::string& mask, std::string& list, int32_t& len, int32_t first) override;
  int32_t FillColumnsList(const std::string& database, const std::string& table, const std::string& mask, std::string& list, int32_t& len, int32_t first) override;
  int32_t FillColumnsListSource(const std::string& kind, const std::string& table, std::string& list, int32_t& len, int32_t first) override;
  int32_t GetPrimaryKey(const std::string& table, std::string& keys, int32_t& len) override;
  int32_t TableNTExist(const std::string& table) override;
  int32_t CreateTable(const std::string& table, const std::string& definition) override;
  int32_t BuildReceiverListNT(const std::string& journal, const std::string& library, std::string& list, int32_t& len, int32_t first) override;

 private:
  int32_t Pass(const char* op, const std::function<int32_t()>& call, const std::string& sql = "");

  std::unique_ptr<DllParam> inner_;
  bool injected_ = false;
};

}  // namespace qv::test
