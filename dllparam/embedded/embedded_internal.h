// State of the embedded source shared by its implementation files:
// connections, file and statement handles, the error guard.
#pragma once

#include <deque>
#include <list>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "dllparam/embedded/embedded_catalog.h"
#include "dllparam/embedded/embedded_engine.h"
#include "dllparam/embedded/embedded_source.h"
#include "dllparam/embedded/record_locks.h"
#include "dllparam/embedded/sql_dialect.h"
#include "dllparam/embedded/sqlite_db.h"
#include "store/access_paths.h"

namespace qv::embedded {

// Position of a record in the order of an access path: the values of the
// order columns and the rowid of the physical row.
struct PathPosition {
  std::vector<std::string> values;
  int64_t rowid = 0;
};

// A prepared read of an access path: SELECT rowid, record fields, order
// columns ... WHERE key prefix [AND after position] ORDER BY ... LIMIT ?.
struct PathQuery {
  Stmt stmt;
  int keyParams = 0;
  int pinned = 0;  // leading order columns fixed by whole key fields
  int orderColumns = 0;
};

struct LoginState {
  std::string connect;  // completed connect string
  std::string dsn;      // data source name
  std::string server;   // server as the login named it
  std::string user;
};

// A program or end script being received by "SYSWRTTRS_" or "SYSWRTENQV":
// the key of its begin request and the lines and MI blocks received since.
struct WriteSession {
  std::string key;  // "" before a begin request
  std::vector<std::string> lines, blocks;
  bool gotLines = false, gotBlocks = false;
};

// Statements of served SQL a connection keeps prepared.
inline constexpr std::size_t kKeptStatements = 32;

// A statement of served SQL: the text prepared, the shape of the statements
// that it serves as they are with their literals bound ("" when it serves
// its own text only, see ShapeOfSql), and its prepared form.
struct ServedStatement {
  std::string adapted;
  std::string shape;
  Stmt stmt;
};

struct EmbeddedSource::Connection {
  // The SQLite connection comes first so that it closes after every
  // statement below that belongs to it.
  Db db;
  SourceKind kind = SourceKind::AS400;
  int32_t id = 0;
  int64_t serial = 0;  // unique in the process; names the connection in lock rows
  std::string address;
  std::string path;
  bool answering = true;
  bool inUnit = false;
  bool servingSql = false;  // the authorizer checks statements prepared meanwhile
  bool lockedAny = false;   // a record was locked through this connection
  std::optional<LoginState> login;
  std::string listAfter;  // last data source listed by GetDSNsAndDrivers
  std::string databasesAfter, tablesAfter;  // last names listed by FillDB, FillTBL
  int columnsNext = 0;    // next column of the table listed by FillColumnsList(Source)
  std::string database;   // SQL Server: the current database after "use", "" for the store's
  EngineCursor engine;    // positions in the engine's job list and message queue
  CatalogCursor catalog;  // positions in the file catalog's listings
  WriteSession program, endScript;  // programs and end scripts being received
  std::unique_ptr<RecordLocks> locks;
  std::map<std::tuple<const AccessPath*, int, bool>, PathQuery> reads;
  std::map<std::pair<const AccessPath*, int>, Stmt> writes;  // 1 delete, 2 insert
  // Updates of some fields of a record, by path and changed fields ('1' a field set).
  std::map<std::pair<const AccessPath*, std::string>, Stmt> updates;
  // Statements of served SQL kept for their next run, found by shape or
  // adapted text, the most recently used first (at most kKeptStatements).
  std::list<ServedStatement> kept;
  std::list<ServedStatement> spare;  // emptied entries of kept, for the next to keep
  SqlShape action;  // the statement Saction runs, whose values it reads as bound
  std::vector<int32_t> handles;
};

struct EmbeddedSource::Handle {
  int32_t id = 0;
  Connection* conn = nullptr;
  bool statement = false;
  bool member = false;  // the work source member: Rwrite appends a line

  // File handles (AS/400 stores).
  const AccessPath* path = nullptr;
  bool update = false;
  std::optional<PathPosition> position;  // last record read (Rreadk, Rreadf, Rreadn)
  bool blockActive = false;
  std::string blockKey;
  std::optional<PathPosition> blockPosition;
  std::optional<int64_t> lockedRowid;
  std::string lockedImage;  // the record as read when it was locked
  std::string image;  // scratch record image

  // Statement handles (NT stores).
  std::string file;  // table named at Ropen, "" for a bare statement handle
  SqlShape bound;                    // the statement run, whose values the query reads as bound
  ServedStatement served;            // the query
  bool active = false;               // a query result is being read
  std::vector<int> widths;           // declared width per result column (0: as is), set at the first row
  std::deque<std::string> rows;      // rows read ahead, or the rows of an emulated statement
  bool exhausted = true;             // stmt has no more rows
};

template <typename Fn>
int32_t EmbeddedSource::Guard(Fn&& fn) {
  last_ = {kCodeNone, 0, {}};
  try {
    return fn();
  } catch (const Fault& f) {
    last_ = f;
  } catch (const StoreError& e) {
    last_ = {e.busy() ? kCodeBusy : kCodeRefused, 0, e.what()};
  } catch (const SqlAdaptError& e) {
    last_ = {kCodeRefused, 0, e.what()};
  } catch (const std::bad_alloc&) {
    last_ = {kCodeRefused, 0, "out of memory"};
  } catch (const std::exception& e) {
    last_ = {kCodeRefused, 0, e.what()};
  }
  return 0;
}

// Keeps the statement of served SQL, reset, for the next run of its shape
// or adapted text on c (nothing when its statement is not valid).
void KeepServed(EmbeddedSource::Connection& c, ServedStatement served);

// Returns the value of key in the settings section, nothing when it has none
// (embedded_sql.cpp).
std::optional<std::string> SettingOf(Db& db, const std::string& section, const std::string& key);

// Returns s without leading and trailing blanks (and NULs after the first NUL).
std::string TrimText(std::string_view s);
// Returns s upper-cased (ASCII letters).
std::string UpperText(std::string_view s);
// Returns value padded with blanks or cut to width.
std::string Fit(std::string_view value, size_t width);
// Returns n (0 when negative) as zero-filled decimal digits of at least width
// (embedded_commands.cpp).
std::string Num(int64_t n, size_t width);
// Writes a reply into the first n bytes of a command's data area, with a NUL
// after it when it is shorter (embedded_commands.cpp).
void Reply(std::string& data, size_t n, std::string_view text);

// Splits a qualified table ("SALES..ORDERS", "SALES.dbo.ORDERS",
// "SCOTT.EMP", "ORDERS") into database (empty when not given) and table
// (embedded_columns.cpp).
std::pair<std::string, std::string> SplitQualified(const std::string& qualified);

// The "object not found" error number of AS/400 commands.
inline constexpr int32_t kErrObjectNotFound = 9801;
// The work source member that files are created from: QTEMP/QDDSSRC(QUORVANE).
inline constexpr std::string_view kWorkMemberLibrary = "QTEMP";
inline constexpr std::string_view kWorkMemberFile = "QDDSSRC";
inline constexpr std::string_view kWorkMember = "(QUORVANE)";

// Tells whether the source has object name of type in library ("*LIBL":
// the store library): the store library, its files, the journal, user
// spaces and the objects kept in qvs_object (embedded_objects.cpp).
bool ObjectExists(Db& db, const std::string& library, const std::string& name, const std::string& type);
// Answers one page of a paged listing from the entries left, as many as
// fit the area of n bytes after the 5-digit count (embedded_catalog.cpp).
void ReplyPage(std::deque<std::string>& left, size_t width, std::string& data, size_t n);

}  // namespace qv::embedded
