// Definition of the configuration store as SQL (SQLite dialect), derived from
// the record layouts and the access paths.
#pragma once

#include <string>
#include <vector>

#include "store/record_layouts.h"

namespace qv {

// Which kind of source the store plays.
enum class StoreKind {
  As400,  // physical files: every field of a record is a column
  Nt,     // NT tables: no column for the fields marked nt = false; QV_MX added
};

// Returns the CREATE TABLE statement of a configuration table:
//   CREATE TABLE QV_CX (ENVID CHAR(2) NOT NULL DEFAULT '' COLLATE RTRIM
//     CHECK (length(ENVID) <= 2), ..., PRIMARY KEY (ENVID, TGTID))
// Columns are fixed-width CHAR(n) that ignore trailing blanks in comparisons
// (so "A" finds "A ") and refuse a value longer than the field. QV_VER, a
// one-record file, has no key. Throws std::invalid_argument when the layout
// is not a table.
std::string CreateTableSql(const Layout& table, StoreKind kind);

// Columns as a database server takes them, for a store kept in a real
// database: "ENVID CHAR(2) NOT NULL DEFAULT ''" followed by suffix (" COLLATE
// RTRIM" where CHAR comparisons do not ignore trailing blanks by themselves).
struct ServerColumns {
  std::string suffix;
};
std::string CreateTableSql(const Layout& table, StoreKind kind, const ServerColumns& columns);

// Returns every statement that creates an empty store of that kind, in
// order: the thirteen tables, an index per logical file whose key is not a
// leading part of its table's key ("CREATE INDEX IX_QV_FC_L1 ON QV_FC (ENVID,
// GRPID, FICID, TGTID)"), and for NT the table QV_MX of long text lengths.
std::vector<std::string> StoreSchemaSql(StoreKind kind);
// Returns the same statements with columns declared as a database server
// takes them.
std::vector<std::string> StoreSchemaSql(StoreKind kind, const ServerColumns& columns);

}  // namespace qv
