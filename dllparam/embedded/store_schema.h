// The store file of the embedded source: its kinds, its schema (configuration
// tables derived from the record layouts, plus the tables of the simulated
// system), and opening a file with the checks that refuse foreign files.
//
// Configuration tables come from the store layer's schema: one column per
// field (NT kinds: per NT column), declared "CHAR(n)" with trailing-blank-
// insensitive comparison, so that ENVID='A' finds "A " as a CHAR column of
// the source databases does.
// Internal tables start with "qvs_" and are never reachable from served SQL:
//   qvs_meta     key/value facts: kind, computer name, creation time, the
//                folder of the source machine's text files (server_folder)
//   qvs_setting  settings sections (QV_for_SQLServer, QV_for_Oracle\INST, ...)
//   qvs_dsn      declared data sources: name, driver, server, instance, user, password
//   qvs_lock     no longer written: record locks live in the lock table
//                beside the store (record_locks.h); kept so stores of every
//                age have the same tables
//   qvs_object   simulated AS/400 objects: library, name, type, attribute, text
//   qvs_usrspc   simulated user spaces: library, name, contents
//   qvs_sysproc  answers of the SQL Server system procedures the library checks
//   qvs_job      jobs of the replication engine (embedded_engine.h)
//   qvs_message  the engine's message queue
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dllparam/embedded/sql_dialect.h"
#include "dllparam/embedded/sqlite_db.h"
#include "store/record_layouts.h"

namespace qv::embedded {

enum class SourceKind { AS400, ODBC, SQLServer, Oracle };

// Returns "AS400", "ODBC", "SQLSERVER" or "ORACLE".
std::string_view KindName(SourceKind kind);
// Reads a kind name case-insensitively; accepts "SQL Server" and "SQL_SERVER" too.
std::optional<SourceKind> ParseKind(std::string_view text);
inline bool IsNtKind(SourceKind kind) { return kind != SourceKind::AS400; }
SqlDialect DialectOf(SourceKind kind);

// Creates the tables that the emulation of journalisation keeps on NT stores
// when they are missing: JOURNAL and the server's objects (embedded_journal.cpp).
void EnsureJournalTables(Db& db);

inline constexpr int kStoreFormat = 1;
inline constexpr int kStoreApplicationId = 0x51565331;  // "QVS1"

// Name of the library that holds the configuration files on an AS/400 source.
inline constexpr std::string_view kLibraryName = "QV_USRDATA";

// Returns the declared width of a "CHAR(n)" or "VARCHAR(n)" column type, or 0.
int DeclaredWidth(const char* declaredType);

// Creates every table of a new store of that kind in db (configuration
// tables, their indexes, the internal tables) and marks the file as a store
// of this format. Throws StoreError.
void CreateStoreSchema(Db& db, SourceKind kind);

// Area of qvs_file: the engine's folder of an NT source (user spaces of
// engine jobs, the message queue file).
inline constexpr std::string_view kEngineArea = "engine";

struct OpenedStore {
  Db db;
  SourceKind kind;
};

// Opens an existing store and checks that it is one, of this format.
// Throws StoreError: "no store at PATH", "PATH is not a source store",
// "PATH is a source store of format N; this library serves format 1".
// A store that cannot be read or written, or whose folder cannot receive
// its WAL files: "cannot open PATH: Permission denied".
OpenedStore OpenStoreFile(const std::string& path, int busyTimeoutMs);

// Opens the store as OpenStoreFile does, then checks its pages (SQLite's
// quick check) and that it has every table and column of a new store of its
// kind. Returns its kind; throws StoreError ("PATH is damaged: ...").
SourceKind CheckStoreFile(const std::string& path);

// Source tables of NT stores: the tables of the source's own databases (SQL
// Server databases, Oracle schemas) that the catalog services describe, kept
// in the store under the name database + "." + table, which no table of the
// configuration has. Returns that name.
std::string SourceTableName(std::string_view database, std::string_view table);

// Busy timeout of store connections: QV_STORE_BUSY_MS when set, else 5000 ms.
int DefaultBusyTimeoutMs();

}  // namespace qv::embedded
