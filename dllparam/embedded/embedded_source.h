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
//   and the engine (embedded_engine.h), and of the file catalog
//   ("SYSLSTRCD_", "SYSRTVACPT", "SYSLSTFLD_", "SYSWRTZX__",
//   embedded_catalog.h).
// - NT stores (plain ODBC, SQL Server, Oracle): SQL statements run by SQLite
//   after the dialect adapter, rows returned as fixed-width record images,
//   units of work, data-source logins, settings sections, the SQL Server
//   installation checks and Oracle session statements, the engine services
//   (StrReplication, SJobList, Activity, ReadQVMSGQ, WriteFile, DeleteFile),
//   the catalogs of databases, schemas and tables, table creation, and the
//   text files of the source machine (embedded_nt_catalog.cpp).
//
// Each connection opens its own SQLite connection to the store file; a store
// may be shared by several connections and processes. Store writes wait at
// most the busy timeout (QV_STORE_BUSY_MS, default 5 s), then fail with
// kCodeBusy "source store busy".
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "connection/dllparam.h"
#include "dllparam/sql_row_reads.h"
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

  // Busy timeout of the store connections opened from now on.
  void SetBusyTimeoutMs(int ms) { busyTimeoutMs_ = ms; }

  // The operations (dllparam_ops.def).
#define DLLPARAM_OP(Name, Code, Params, Args) int32_t Name Params override;
#include "connection/dllparam_ops.def"

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

  template <class Source>
  friend struct dllparam::SqlRowReads;

  // Runs a member body: clears the error state, maps Fault, StoreError and
  // std::exception to error codes, returns 0 on failure.
  template <typename Fn>
  int32_t Guard(Fn&& fn);

  Connection& Current();
  Connection& Live(Connection& c);
  Handle& HandleOf(int32_t h);
  // Returns the handle of an open file (refuses a statement handle).
  Handle& FileHandleOf(int32_t h);
  Handle& StatementHandle(int32_t& hStmt);
  int32_t NewHandleId();
  void CloseHandle(Handle& handle);
  void DropConnection(Connection& c);

  // AS/400 files (embedded_records.cpp).
  int32_t OpenFile(Connection& c, const std::string& file, const std::string& mode);
  bool ReadOne(Handle& hd, std::string& rec, int32_t& len, const std::string* key, int32_t keyLen, bool after,
               bool lock);
  int32_t ReadBlock(Handle& hd, std::string& buf, int32_t& count, int32_t recLen, std::string key);
  void ReleaseLock(Handle& hd, bool changed = false);

  // NT statements (embedded_sql.cpp).
  int32_t OpenStatementHandle(Connection& c, const std::string& file);
  // Refuses an empty statement and text after the first statement.
  static void CheckServed(const Stmt& st, std::string_view tail);
  void RunQuery(Handle& hd, const std::string& sql);
  bool FetchRow(Handle& hd, std::string& row);
  void RunAction(Connection& c, const std::string& sql);
  bool SpecialStatement(Connection& c, Handle* hd, const std::string& sql);
  // Answers the statements of journalisation (embedded_journal.cpp) as
  // SpecialStatement does; false for any other statement.
  bool JournalStatement(Connection& c, Handle* hd, const std::string& sql);

  // Source tables of NT stores (embedded_columns.cpp): the store's name of
  // the table a catalog call names, and the paged listing of its columns.
  std::string SourceTableOf(Connection& c, const std::string& database, const std::string& table);
  int32_t ListColumns(const std::string& database, const std::string& table, const std::string& mask,
                      std::string& list, int32_t& len, int32_t first);

  // Catalogs of NT stores (embedded_nt_catalog.cpp): the databases or
  // schemas, the tables of one ("" on a plain ODBC source: every one) as the
  // table service names them, whether a table exists, the statements that
  // list databases and schemas, and the file of the source machine a path
  // names inside the store's server folder (a path that leaves it fails).
  std::vector<std::string> DatabasesOf(Connection& c);
  std::vector<std::string> TablesOf(Connection& c, const std::string& database);
  bool TableExists(Connection& c, const std::string& database, const std::string& table);
  bool CatalogStatement(Connection& c, Handle* hd, const std::string& canon);
  std::string ServerFile(Connection& c, const std::string& path);

  // Remote commands (embedded_commands.cpp).
  void RunClCommand(Connection& c, std::string_view area);
  void ReadUserSpace(Connection& c, std::string& data, size_t n);
  void DeleteUserSpace(Connection& c, std::string& data, size_t n);
  // Engine commands of AS/400 sources (embedded_commands.cpp).
  bool RunEngineClCommand(Connection& c, const std::string& command);
  void ListJobs(Connection& c, std::string& data, size_t n);
  void ReadMessages(Connection& c, std::string& data, size_t n);
  // Object listings, object check and the work source member of AS/400
  // sources (embedded_objects.cpp).
  void CheckObject(Connection& c, std::string& data, size_t n);
  void ListObjects(Connection& c, std::string& data, size_t n);
  void ListJournaled(Connection& c, std::string& data, size_t n);
  void ListReceivers(Connection& c, std::string& data, size_t n);
  // Checks a paged listing request with fields 10-character fields; true for
  // its first page.
  static bool PagedRequest(const std::string& data, size_t n, size_t fields, const char* command);
  // Checks a paged journal request; on its first page clears left, refuses a
  // journal the source lacks and tells whether it names the engine's journal.
  bool FirstPageOfEngineJournal(Connection& c, const std::string& data, size_t n, const char* command,
                                std::deque<std::string>& left);
  int32_t OpenWorkMember(Connection& c, const std::string& member, bool update);
  void ClearWorkMember(Connection& c);
  void CreateFromWorkMember(Connection& c, std::string& data, size_t n);
  // File catalog commands of AS/400 sources (embedded_catalog.cpp).
  // Reads the page flag of a paged request of command: true for a first page
  // ("0"), false for a next one ("1"); any other flag fails the call.
  static bool FirstPage(const std::string& data, const char* command);
  void ListFormats(Connection& c, std::string& data, size_t n);
  void RetrieveAccessPath(Connection& c, std::string& data, size_t n);
  void ListFields(Connection& c, std::string& data, size_t n);
  void WriteFields(Connection& c, std::string& data, size_t n);
  // Program and end-script commands of AS/400 sources (embedded_programs.cpp):
  // the program lines and MI source ("SYSWRTTRS_"), the simulated compile
  // ("SYSGENTRS_") and the end-script lines ("SYSWRTENQV").
  void WriteProgram(Connection& c, std::string& data, size_t n);
  void CompileProgram(Connection& c, std::string& data, size_t n);
  void WriteEndScript(Connection& c, std::string& data, size_t n);

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
