// The ODBC source: a DllParam that serves a plain ODBC source from a real
// database through unixODBC. Its configuration tables live in that database
// (created by CreateOdbcStore, odbc_store.h); every store operation of an NT
// source runs on it as SQL.
//
// Address: "odbc:" followed by a connection string ("odbc:DSN=QVSTORE", or
// "odbc:DRIVER=/path/psqlodbcw.so;SERVER=127.0.0.1;PORT=5432;DATABASE=QV").
// A bare data-source name ("odbc:QVSTORE") stands for "DSN=QVSTORE". Callers
// upper-case addresses: values that are absolute paths (DRIVER, DATABASE) are
// matched against the file system without regard to case.
//
// - OpenMConnection keeps the address; no database is reached yet.
// - GetDBParamKeys gives the address's connection string without UID and
//   PWD, and the login: UID and PWD of the string, else QV_ODBC_UID and
//   QV_ODBC_PWD from the environment.
// - ConnectDSN logs in with SQLDriverConnect (empty UID= and PWD= pairs are
//   left out so that the data source's own login applies);
//   CloseConnectionDSN logs out.
// - Ropen of a table name, or of " " with mode " ", gives a statement handle;
//   a table name (or a store access path, "QV_EX_L0", standing for its
//   table) that the database lacks fails with the driver's text. Sread,
//   Snext, Sreadblock and Saction run SQL. Rows come back as record
//   images: each column as text, padded with blanks (or cut) to its column
//   size, NULL as blanks. A statement text is prepared once per connection
//   and its handle reused when the same text comes again (the last
//   kKeptStatements texts).
// - SetConnectOption 2 turns autocommit off; 0 and 3 commit and turn it back
//   on. A statement that fails inside the unit fails alone: the database
//   must roll back the statement, not the transaction (the PostgreSQL
//   driver's default, "Protocol=7.4-2"). A connection lost inside the unit
//   loses the whole unit, which the server rolls back.
// - PingPong asks the driver whether the connection is dead, then runs
//   "SELECT 1". A connection found dead (by the ping or by a failed call)
//   stays lost: every call on it fails with kCodeNetwork, and ending a unit
//   of work says the unit was lost, until CloseConnectionDSN or a new login.
// - The catalogs: data sources with their drivers (SQLDataSources), schemas
//   (FillDB), tables (SQLTables), columns (SQLColumns), primary keys
//   (SQLPrimaryKeys), table check and creation.
// - SJobList answers from the database's QV_SPV table: the jobs whose
//   supervision record says the engine runs them (RUN "1", state neither "X"
//   nor "E"), named and matched as the embedded source names and matches its
//   jobs. A database without QV_SPV fails with the driver's text.
// - Operations that only AS/400 sources, the engine or the server's settings
//   serve (StrReplication and the other engine services among them) fail
//   with kCodeNotSupported.
//
// Errors: the driver's diagnostic text followed by " (SQLSTATE xxxxx)", with
// its native number; SQLSTATE class 08 (a lost connection) as kCodeNetwork,
// anything else as kCodeRefused. Passwords never appear in an error text.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "connection/dllparam.h"
#include "dllparam/sql_row_reads.h"

namespace qv::odbc {

// Returns the connection string an "odbc:" address names (the address
// trimmed, "odbc:" removed, a bare name made "DSN=name", path values
// resolved), or nothing for another address.
std::optional<std::string> ConnectStringOfAddress(const std::string& address);

// Returns connect without its PWD (and UID when dropUser) pairs and without
// pairs whose value is empty.
std::string WithoutLogin(const std::string& connect, bool dropUser);

// Returns the value of key (any case) in a connection string, or "".
std::string ConnectValue(const std::string& connect, const std::string& key);

class OdbcSource final : public DllParam {
 public:
  // Prepared statements a connection keeps, by their text.
  static constexpr std::size_t kKeptStatements = 64;
  // The query SJobList runs: the distributions the engine runs, with their
  // job numbers.
  static constexpr const char* kRunningJobsSql =
      "SELECT ENVID, TGTID, GRPID, JOBNBR FROM QV_SPV WHERE RUN = '1' AND STATE <> 'X' AND STATE <> 'E'";

  // handleBase is added to every connection, file and statement handle.
  explicit OdbcSource(int32_t handleBase = 0);
  ~OdbcSource() override;
  OdbcSource(const OdbcSource&) = delete;
  OdbcSource& operator=(const OdbcSource&) = delete;

#define DLLPARAM_OP(Name, Code, Params, Args) int32_t Name Params override;
#include "connection/dllparam_ops.def"

  // Returns the name of the database product the current connection is
  // logged in to ("PostgreSQL", "SQLite"), "" when it is not logged in.
  std::string DatabaseProduct();

  struct Connection;
  struct Handle;
  struct Prepared;

 private:
  struct Fault {
    int32_t code;
    int32_t errNum;
    std::string text;
  };
  template <class Source>
  friend struct dllparam::SqlRowReads;

  template <typename Fn>
  int32_t Guard(Fn&& fn);
  [[noreturn]] static void Fail(int32_t code, std::string text, int32_t errNum = 0);

  Connection& Current();
  Connection& LoggedIn();
  Handle& HandleOf(int32_t h);
  Handle& StatementHandle(int32_t& hStmt);
  int32_t NewHandle(Connection& c, const std::string& file);
  void CloseHandle(Handle& hd);
  void DropConnection(Connection& c);
  // Ends the database login of c with its statements (an open unit is lost).
  void DropConnectionLogin(Connection& c);

  // Runs sql on hd (its earlier rows end); rows are then read by FetchRow.
  void RunQuery(Handle& hd, const std::string& sql);
  bool FetchRow(Handle& hd, std::string& row);
  // Gives the prepared statement of hd back to its connection's cache.
  void Release(Handle& hd);
  std::unique_ptr<Prepared> PrepareKept(Connection& c, const std::string& sql);
  // Runs a statement that gives no rows on the logged-in connection c.
  void RunAction(Connection& c, const std::string& sql);
  void Keep(Connection& c, std::unique_ptr<Prepared> p);
  // Turns the diagnostics of a failed ODBC call on c into a Fault: a
  // connection the driver reports dead (or SQLSTATE class 08) is marked lost
  // and the fault is kCodeNetwork.
  [[noreturn]] void FailOn(Connection& c, short handleType, void* handle);
  // Runs a catalog function (call, given a fresh statement handle) on the
  // logged-in connection c and returns its rows as texts.
  std::vector<std::vector<std::string>> Catalog(Connection& c, const std::function<short(void*)>& call);
  // Writes the next part of a paged list (entries already ended by their
  // separator) into list.
  int32_t Page(Connection& c, std::string& list, int32_t& len, int32_t first,
               const std::function<std::vector<std::string>()>& entries);

  int32_t handleBase_;
  void* env_ = nullptr;  // SQLHENV
  int32_t nextId_ = 1;
  Connection* current_ = nullptr;
  std::unordered_map<int32_t, std::unique_ptr<Connection>> connections_;
  std::unordered_map<int32_t, std::unique_ptr<Handle>> handles_;
  Fault last_{kCodeNone, 0, {}};
};

}  // namespace qv::odbc
