// Source tables of NT stores: the tables of the source's own databases whose
// columns and keys the catalog services describe, created from a small text:
//
//   # orders of the sales database
//   table SALES.ORDERS
//   CODE     CHAR(10)       key
//   LINE     INT            key
//   AMOUNT   DECIMAL(10,2)  notnull
//   NOTE     TEXT           maxlen=500
//
// The first line that is neither blank nor a comment ("#") names the table:
// "table", the database (the schema on Oracle), a point and the table. Every
// later line is one column, in table order: its name, its SQL type (a name
// with an optional length, or precision and scale, in parentheses), then any
// of "key" (a column of the primary key, in line order; not null), "notnull",
// and, for TEXT and LONGVARCHAR columns, "maxlen=N": the length QV_MX gives
// the column.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dllparam/admin/store_admin.h"

namespace qv::embedded {

struct SourceColumn {
  std::string name;
  std::string type;  // as written: "DECIMAL(10,2)"
  bool key = false;
  bool notNull = false;
  std::optional<int32_t> maxLen;
};

struct SourceTable {
  std::string database;
  std::string table;
  std::vector<SourceColumn> columns;
};

// Reads a description. Throws StoreError naming the line and what is wrong
// with it.
SourceTable ParseSourceTable(std::string_view text);

// Creates the table in an NT store with its QV_MX rows, all or nothing.
// Throws StoreError for an AS/400 store or a table that exists already.
void AddSourceTable(StoreAdmin& store, const SourceTable& table);

// Returns a line per source table of the store, "  SALES.ORDERS  4 columns,
// key CODE, LINE, 0 rows", in name order; "" when it has none.
std::string DescribeSourceTables(StoreAdmin& store);

}  // namespace qv::embedded
