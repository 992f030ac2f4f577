// The embedded source: a DllParam that serves a whole source (AS/400 or NT
// kind) in-process from one store file (SQLite).
//
// - AS/400 stores: the physical and logical files of the access-path table
//   with keyed, sequential and block reads, locked reads held in the store's
//   lock table, rewrites, writes and deletes; the remote commands of the
//   server program that the connection and the activity read need ("RCMD",
//   "SYSCRTUSR_", "CHKOBJ____", "SYSREDUSR_", "DLTUSRSPC_", "RTVMCHNAME")
//   and of the replication engine ("RCMD" CALL PGM(QVSTR) and CLRMSGQ,
//   "SYSLSTJOB_", "SYSRTVMSG_"), answered from the simulated system tables
//   and the engine (embedded_engine.h).
// - NT stores (plain ODBC, SQL Server, Oracle): SQL statements run by SQLite
//   after the dialect adapter, rows returned as fixed-width record images,
//   units of work, data-source logins, settings sections, the SQL Server
//   installation checks and Oracle session statements, the engine services
//   (StrReplication, SJobList, Activity, ReadQVMSGQ, WriteFile, DeleteFile).
//
// Each connection opens its own SQLite connection to the store file; a store
// may be shared by several connections and processes. Store writes wait at
// most the busy timeout (QV_STORE_BUSY_MS, default 5 s), then fail with
// kCodeBusy "source store busy".
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "connection/dllparam.h"
#include "dllparam/embedded/store_schema.h"

namespace qv::embedded {

// Returns the store path named by an address that the embedded source
// serves, or nothing. "FILE:PATH" (any case of "file:") names PATH; an
// address that names an existing regular file names it. Paths are matched
// without regard to case when the exact spelling does not exist, since
// callers upper-case addresses.
std::optional<std::string> StorePathOfAddress(const std::string& address);

class EmbeddedSource final : public DllParam {
 public:
  // handleBase is added to every connection, file and statement handle this
  // source gives out, so that several sources can share one handle space.
  explicit EmbeddedSource(int32_t handleBase = 0);
  ~EmbeddedSource() override;
  EmbeddedSource(const EmbeddedSource&) = delete;
  EmbeddedSource& operator=(const EmbeddedSource&) = delete;

  // Test hook: connection hConn stops answering (PingPong and every call on
  // it fail with kCodeNetwork) until it is closed. Returns false for an
  // unknown connection.
  bool StopAnswering(int32_t hConn);
  // Busy timeout of the store connections opened from now on.
  void SetBusyTimeoutMs(int ms) { busyTimeoutMs_ = ms; }

  int32_t GetLastError(int32_t& code, int32_t& errNum, std::string& text) override;

  int32_t OpenMConnection(const std::string& address, std::string& serverVersion, std::string& serverJob,
                          int32_t& hConn) override;
  int32_t SwitchMConnection(int32_t hConn) override;
  int32_t CloseMConnection(int32_t hConn) override;
  int32_t PingPong() override;

  int32_t Ropen(const std::string& file, const std::string& mode, int32_t& h) override;
  int32_t Rreadk(int32_t h, std::string& rec, int32_t& len, int32_t opts, const std::string& key,
                 int32_t keyLen) override;
  int32_t Rreadf(int32_t h, std::string& rec, int32_t& len, int32_t opts) override;
  int32_t Rreadn(int32_t h, std::string& rec, int32_t& len, int32_t opts) override;
  int32_t Rreadblock(int32_t h, std::string& buf, int32_t& count, int32_t recLen, const std::string& key,
                     int32_t keyLen) override;
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

  int32_t ConnectDSN(const std::string& connect, const std::string& user, const std::string& password,
                     std::string& out) override;
  int32_t CloseConnectionDSN(const std::string& connect, std::string& out) override;
  int32_t GetConfigStringWithoutDefVal(const std::string& section, const std::string& key, std::string& value,
                                       int32_t& len) override;
  int32_t GetDBParamKeys(std::string& connect, std::string& driver, std::string& user, std::string& password,
                         std::string& database) override;
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
  int32_t FillTBL(const std::string& database, const std::string& mask, std::string& list, int32_t& len,
                  int32_t first) override;
  int32_t FillColumnsList(const std::string& database, const std::string& table, const std::string& mask,
                          std::string& list, int32_t& len, int32_t first) override;
  int32_t FillColumnsListSource(const std::string& kind, const std::string& table, std::string& list,
                                int32_t& len, int32_t first) override;
  int32_t GetPrimaryKey(const std::string& table, std::string& keys, int32_t& len) override;
  int32_t TableNTExist(const std::string& table) override;
  int32_t CreateTable(const std::string& table, const std::string& definition) override;
  int32_t BuildReceiverListNT(const std::string& journal, const std::string& library, std::string& list,
                              int32_t& len, int32_t first) override;

  struct Connection;
  struct Handle;

 private:
  // Failure raised inside a member and turned into the error state.
  struct Fault {
    int32_t code;
    int32_t errNum;
    std::string text;
  };
  [[noreturn]] static void Fail(int32_t code, std::string text, int32_t errNum = 0);

  // Runs a member body: clears the error state, maps Fault, StoreError and
  // std::exception to error codes, returns 0 on failure.
  template <typename Fn>
  int32_t Guard(Fn&& fn);

  Connection& Current();
  Connection& Live(Connection& c);
  Handle& HandleOf(int32_t h);
  Handle& StatementHandle(int32_t& hStmt);
  int32_t NewHandleId();
  void CloseHandle(Handle& handle);
  void DropConnection(Connection& c);

  // AS/400 files (embedded_records.cpp).
  int32_t OpenFile(Connection& c, const std::string& file, const std::string& mode);
  bool ReadOne(Handle& hd, std::string& rec, int32_t& len, const std::string* key, int32_t keyLen, bool after,
               bool lock);
  int32_t ReadBlock(Handle& hd, std::string& buf, int32_t& count, int32_t recLen, std::string key);
  void ReleaseLock(Handle& hd);

  // NT statements (embedded_sql.cpp).
  int32_t OpenStatementHandle(Connection& c, const std::string& file);
  void RunQuery(Handle& hd, const std::string& sql);
  bool FetchRow(Handle& hd, std::string& row);
  void RunAction(Connection& c, const std::string& sql);
  bool SpecialStatement(Connection& c, Handle* hd, const std::string& sql);

  // Remote commands (embedded_commands.cpp).
  void RunClCommand(Connection& c, std::string_view area);
  void CheckObject(Connection& c, std::string& data, size_t n);
  void ReadUserSpace(Connection& c, std::string& data, size_t n);
  void DeleteUserSpace(Connection& c, std::string& data, size_t n);
  // Engine commands of AS/400 sources (embedded_commands.cpp).
  bool RunEngineClCommand(Connection& c, const std::string& command);
  void ListJobs(Connection& c, std::string& data, size_t n);
  void ReadMessages(Connection& c, std::string& data, size_t n);

  int32_t handleBase_;
  int busyTimeoutMs_;
  int32_t nextHandle_ = 0;
  int32_t nextConnection_ = 1;
  Connection* current_ = nullptr;
  std::unordered_map<int32_t, std::unique_ptr<Connection>> connections_;
  std::unordered_map<int32_t, std::unique_ptr<Handle>> handles_;
  Fault last_{kCodeNone, 0, {}};
};

}  // namespace qv::embedded
